#include "database/SessionAccount.h"

#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/CredentialTexts.h"
#include "foundation/EncryptionKeys.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

struct Credentials
{
    QMutex mutex;
    QString account;
    QString password;
};

Credentials& credentials()
{
    static Credentials kept;
    return kept;
}

// The store matches account names by SQL upper(), which folds ASCII letters only.
QString asciiUpper(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return folded;
}

}  // namespace

void SessionAccount::loggedIn(const QString& account, const QString& password)
{
    Credentials& kept = credentials();
    QMutexLocker lock(&kept.mutex);
    kept.account = account;
    kept.password = password;
}

void SessionAccount::loggedOut()
{
    Credentials& kept = credentials();
    QMutexLocker lock(&kept.mutex);
    kept.account.clear();
    kept.password.clear();
}

UserLandDataPtr SessionAccount::current()
{
    UserLandDataPtr account;
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            account = settings->UserLandData_getCurrentUserData();
    }
    if (!account || !account->bHaveLand || account->UserAccount.isEmpty())
        return nullptr;
    if (account->bRememberPassWord && !account->UserPassWord.isEmpty())
        return account;
    Credentials& kept = credentials();
    QMutexLocker lock(&kept.mutex);
    if (kept.password.isEmpty() || asciiUpper(kept.account) != asciiUpper(account->UserAccount))
        return nullptr;
    account->UserPassWord = kept.password;
    return account;
}

QString SessionAccount::userHash(const QString& account, const QString& password)
{
    const QString hash = CommonFunction::EncrypteUTF8(account + QChar(0x0C) + password, kDesKeyRequest);
    CredentialTexts::note(hash);
    return hash;
}
