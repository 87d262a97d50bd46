#include "Faults.h"

#include "Sites.h"
#include "httpcore/HttpRouter.h"
#include "networking/TextEncoding.h"

#include <algorithm>

namespace standin {
namespace {

// Numbers of an action (milliseconds, bytes) above this are no test's intent.
constexpr int kMaxNumber = 3600000;

bool knownAction(const QString& action)
{
    const QString name = action.section(QLatin1Char(':'), 0, 0);
    static const QStringList kNames{QStringLiteral("delay"), QStringLiteral("drip"), QStringLiteral("status"),
                                    QStringLiteral("truncate"), QStringLiteral("charset"),
                                    QStringLiteral("no-last-modified"), QStringLiteral("silent"),
                                    QStringLiteral("close"), QStringLiteral("cacheable")};
    if (!kNames.contains(name))
        return false;
    const QStringList parts = action.split(QLatin1Char(':'));
    // Numbers are plain digits: a sign, taken by toInt, would reach a header as it was written.
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const bool digits = !parts[i].isEmpty() && std::all_of(parts[i].cbegin(), parts[i].cend(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        });
        bool ok = false;
        if (!digits || parts[i].toInt(&ok) > kMaxNumber || !ok)
            return false;
    }
    if (name == QLatin1String("status")) {
        const int code = parts.value(1).toInt();
        return code >= 100 && code <= 599;
    }
    return name == QLatin1String("delay") || name == QLatin1String("cacheable") ? parts.size() == 2 : true;
}

}  // namespace

FaultRule FaultRule::parse(const QString& text, QString* error)
{
    FaultRule rule;
    rule.text = text.simplified();
    const QStringList words = rule.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const auto failWith = [&](const QString& message) {
        if (error)
            *error = message;
        rule.actions.clear();
        return rule;
    };
    if (words.size() != 5)
        return failWith(QStringLiteral("a fault rule is METHOD HOST PATH COUNT ACTIONS"));
    rule.method = words[0].toLatin1().toUpper();
    rule.host = words[1].toLower();
    rule.path = words[2];
    if (words[3] == QLatin1String("*")) {
        rule.remaining = 0;
    } else {
        bool ok = false;
        rule.remaining = words[3].toInt(&ok);
        if (!ok || rule.remaining < 0)
            return failWith(QStringLiteral("count must be a number or *"));
    }
    rule.actions = words[4].split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (rule.actions.isEmpty())
        return failWith(QStringLiteral("no action"));
    for (const QString& action : rule.actions) {
        if (!knownAction(action))
            return failWith(QStringLiteral("unknown action: ") + action);
    }
    if (error)
        error->clear();
    return rule;
}

bool FaultRule::matches(const HttpRequest& request) const
{
    return (method == "*" || method == request.method) && httpGlobMatch(host, request.host) &&
           httpGlobMatch(path, request.path);
}

void FaultRule::apply(HttpReply& reply) const
{
    for (const QString& action : actions) {
        const QStringList parts = action.split(QLatin1Char(':'));
        const QString& name = parts[0];
        if (name == QLatin1String("delay")) {
            reply.delayMs = std::min(reply.delayMs + parts.value(1).toInt(), kMaxNumber);
        } else if (name == QLatin1String("drip")) {
            reply.dripSize = parts.size() > 1 ? std::max(1, parts[1].toInt()) : 64;
            reply.dripDelayMs = parts.size() > 2 ? parts[2].toInt() : 50;
        } else if (name == QLatin1String("status")) {
            const int code = parts.value(1).toInt();
            const QByteArray body = QByteArray::number(code) + ' ' + httpReasonPhrase(code);
            const HttpReply replacement = HttpReply::text(code, body);
            reply.status = replacement.status;
            reply.headers = replacement.headers;
            reply.body = replacement.body;
        } else if (name == QLatin1String("truncate")) {
            reply.truncateAt = parts.size() > 1 ? parts[1].toInt() : static_cast<int>(reply.body.size() / 2);
        } else if (name == QLatin1String("charset")) {
            reply.body = TextEncoding::encode(QString::fromUtf8(reply.body), QStringLiteral("gb18030")).value_or(QByteArray());
        } else if (name == QLatin1String("no-last-modified")) {
            reply.setHeader("Last-Modified", QByteArray());
        } else if (name == QLatin1String("cacheable")) {
            reply.setHeader("Cache-Control", "max-age=" + parts.value(1).toLatin1());
            if (reply.header("Last-Modified").isNull())
                reply.setHeader("Last-Modified", sites::httpDate(QDateTime::currentDateTimeUtc()));
        } else if (name == QLatin1String("silent")) {
            reply.mode = HttpReply::Mode::Silent;
        } else if (name == QLatin1String("close")) {
            reply.mode = HttpReply::Mode::Close;
        }
    }
}

QString FaultList::apply(const HttpRequest& request, HttpReply& reply)
{
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        FaultRule& rule = m_rules[i];
        if (!rule.matches(request))
            continue;
        rule.apply(reply);
        const QString text = rule.text;
        if (rule.remaining > 0 && --rule.remaining == 0)
            m_rules.removeAt(i);
        return text;
    }
    return QString();
}

}  // namespace standin
