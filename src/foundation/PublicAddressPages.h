#pragma once

#include <QUrl>

#include <chrono>

// The two pages that echo the machine's public address, asked in this order by
// CommonFunction::getCurrentIP, and how long each may take.
namespace PublicAddressPages {

struct Pages
{
    QUrl first = QUrl(QStringLiteral("https://www.tidwen.example/ip.aspx"));  // the service's own page
    QUrl second = QUrl(QStringLiteral("https://ip.tidwen.example/ip"));       // the fallback echo service
    std::chrono::milliseconds timeout{10000};                                 // per page
};

Pages current();
void set(const Pages& pages);
// Back to the built-in pages.
void reset();

}  // namespace PublicAddressPages
