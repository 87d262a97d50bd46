#include "newslist/SlideLinks.h"

#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "newslist/NewsListLinks.h"
#include "platform/UrlOpener.h"

#include <QRegularExpression>

namespace {

// Spaces and tabs only; other white space stays part of the link.
QString trimmedOfBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The deals pages live on the deals service's domain and its sub-hosts.
QString dealsDomainPattern()
{
    QString host = QLatin1String(ServerHosts::kDealsApi);
    const qsizetype dot = host.indexOf(QLatin1Char('.'));
    if (dot > 0)
        host = host.mid(dot + 1);
    return QStringLiteral("(?:[\\w-]+\\.)*") + QRegularExpression::escape(host);
}

int64_t capturedNumber(const QRegularExpression& pattern, const QString& link)
{
    const QRegularExpressionMatch match = pattern.match(link);
    if (!match.hasMatch())
        return 0;
    QString digits = match.captured(1);
    digits.remove(QLatin1Char('/'));
    if (digits.isEmpty())
        return 0;
    bool ok = false;
    const qlonglong number = digits.toLongLong(&ok);
    return ok && number > 0 ? number : 0;
}

bool isDecimalDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

}  // namespace

namespace SlideLinks {

int64_t nextPosition(int64_t current, int64_t count)
{
    if (count <= 0)
        return current;
    return current >= count - 1 || current < 0 ? 0 : current + 1;
}

int64_t previousPosition(int64_t current, int64_t count)
{
    if (count <= 0)
        return current;
    return current <= 0 || current >= count ? count - 1 : current - 1;
}

int64_t dealIdFromLink(const QString& link)
{
    static const QRegularExpression pattern(dealsDomainPattern() + QStringLiteral("/item(/\\d*/\\d*).htm"));
    return capturedNumber(pattern, link);
}

int64_t communityPostIdFromLink(const QString& link)
{
    static const QRegularExpression pattern(QRegularExpression::escape(QLatin1String(ServerHosts::kCommunityWeb))
                                            + QStringLiteral("/?\\w*?(/\\d*/\\d*/\\d*).htm"));
    return capturedNumber(pattern, link);
}

bool clickLink(const QString& rawLink, const QString& linkType)
{
    if (linkType.isEmpty())
        return false;
    const QString link = trimmedOfBlanks(rawLink);
    if (link.isEmpty())
        return false;
    if (linkType == QStringLiteral("1")) {
        if (!isDecimalDigits(link))
            return false;
        const auto pane = ArticlePaneLink::instance();
        if (!pane)
            return false;
        auto feed = std::make_shared<Feed>();
        feed->guid = link;
        pane->show(feed);
        return true;
    }
    if (linkType == QStringLiteral("2")) {
        // No view exists for community posts: such a link is consumed here.
        if (communityPostIdFromLink(link) != 0)
            return false;
        if (const int64_t deal = dealIdFromLink(link); deal > 0) {
            const auto pane = ArticlePaneLink::instance();
            if (pane)
                pane->showDealByClick(QString::number(deal), true);
            return pane != nullptr;
        }
        // A path is a page of the web site, as the lists' article links are.
        return UrlOpener::open(QUrl(ServerUrls::siteAddress(link), QUrl::StrictMode));
    }
    if (linkType == QStringLiteral("3")) {
        if (!CommonFunction::isPureInt(link))
            return false;
        const auto pane = ArticlePaneLink::instance();
        if (pane)
            pane->showDealByClick(link, true);
        return pane != nullptr;
    }
    return false;
}

bool openSlide(const slideData& slide)
{
    if (!slide.slideOpenType.isEmpty())
        return clickLink(slide.slideLinkUrl, slide.slideOpenType);
    // A deals slide names no link type: its deal, else its article, else its web link.
    if (!slide.slideProductid.isEmpty())
        return clickLink(slide.slideProductid, QStringLiteral("3"));
    if (!slide.slideNewsid.isEmpty())
        return clickLink(slide.slideNewsid, QStringLiteral("1"));
    return clickLink(slide.slideLinkUrl, QStringLiteral("2"));
}

}  // namespace SlideLinks
