#pragma once

#include "httpcore/HttpMessage.h"

#include <QList>
#include <QString>

namespace standin {

// A fault rule: "METHOD HOST PATH COUNT ACTION[,ACTION...]". METHOD is a method or "*"; HOST
// and PATH are patterns ('*', '?'); COUNT is how many matching requests it spoils (0 or "*":
// every one). Actions:
//   delay:MS         wait MS milliseconds before the status line
//   drip[:BYTES[:MS]] send the body in pieces (default 64 bytes every 50 ms)
//   status:CODE      answer CODE (a small text body) instead
//   truncate[:BYTES] send only BYTES of the body (default half) and close
//   charset          the body's text in GB 18030 under its UTF-8 declaration
//   no-last-modified drop the Last-Modified field
//   cacheable:SECONDS "Cache-Control: max-age=SECONDS" in place of the service's no-store or
//                    no-cache, and a Last-Modified (now) where there is none: a reply caches keep
//   silent           read the request and never answer
//   close            read the request and close the connection
struct FaultRule
{
    QByteArray method = "*";
    QString host = QStringLiteral("*");
    QString path = QStringLiteral("*");
    int remaining = 0;  // 0: no limit
    QStringList actions;
    QString text;       // as given

    // The rule of a text, or an error message in *error and a rule with no actions.
    static FaultRule parse(const QString& text, QString* error);
    bool matches(const HttpRequest& request) const;
    // Spoils the reply as the actions say.
    void apply(HttpReply& reply) const;
};

// The rules in force, first match wins; a counted rule goes when it is used up. Not locked:
// the service's lock guards it.
class FaultList
{
public:
    void add(const FaultRule& rule) { m_rules.append(rule); }
    void clear() { m_rules.clear(); }
    qsizetype size() const { return m_rules.size(); }
    // Applies the first matching rule; its text, or null when none matched.
    QString apply(const HttpRequest& request, HttpReply& reply);

private:
    QList<FaultRule> m_rules;
};

}  // namespace standin
