// Arbitrary bytes as a fault rule sent to the stand-in's control address: a rule that parses is
// matched against a request and applied to a reply, which must stay a reply the server can send.
#include "standin/Faults.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const standin::FaultRule rule = standin::FaultRule::parse(text, &error);
    if (rule.actions.isEmpty() == error.isEmpty()) {
        std::fprintf(stderr, "fault_rule: a rule both with and without an error\n");
        std::abort();
    }
    if (rule.actions.isEmpty())
        return 0;
    HttpRequest request;
    request.method = "GET";
    request.host = QStringLiteral("api.tidwen.example");
    request.path = QStringLiteral("/xml/newslist/news.xml");
    (void)rule.matches(request);
    HttpReply reply = HttpReply::text(200, "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss>手机</rss>");
    rule.apply(reply);
    if (reply.status < 100 || reply.status > 599 || reply.delayMs < 0 || reply.dripSize < 0 || reply.dripDelayMs < 0) {
        std::fprintf(stderr, "fault_rule: a reply the server cannot send\n");
        std::abort();
    }
    return 0;
}
