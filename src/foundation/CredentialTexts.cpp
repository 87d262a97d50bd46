#include "foundation/CredentialTexts.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>

namespace {

struct Noted
{
    QMutex mutex;
    QSet<QString> texts;  // a handful: one per account and password this run used
};

Noted& noted()
{
    static Noted kept;
    return kept;
}

}  // namespace

void CredentialTexts::note(const QString& text)
{
    if (text.isEmpty())
        return;
    Noted& n = noted();
    QMutexLocker lock(&n.mutex);
    n.texts.insert(text);
}

bool CredentialTexts::appearIn(const QString& text)
{
    if (text.isEmpty())
        return false;
    Noted& n = noted();
    QMutexLocker lock(&n.mutex);
    for (const QString& secret : std::as_const(n.texts)) {
        if (text.contains(secret))
            return true;
    }
    return false;
}
