#include "article/views/popovers/ArticleShare.h"

#include "article/views/popovers/ShareViewController.h"
#include "database/ServerUrls.h"
#include "platform/UrlOpener.h"

namespace ArticleShare {

QString articleAddress(const QString& link)
{
    return ServerUrls::siteAddress(link);
}

// The Touch Bar's Weibo share uses the same title line as the popover's, with the address
// readable in it: escaping the address before it goes into the line would escape it twice and
// show the reader "%3A%2F%2F" where the address belongs.
bool touchBarShareToSina(const FeedPtr& feed)
{
    if (!feed)
        return false;
    return UrlOpener::open(ShareViewController::sinaShareUrl(articleAddress(feed->link), feed->title));
}

bool touchBarShareToQQzone(const FeedPtr& feed)
{
    if (!feed)
        return false;
    return UrlOpener::open(
        ShareViewController::qqZoneShareUrl(articleAddress(feed->link), feed->title, feed->description));
}

bool touchBarShareToPaste(const FeedPtr& feed, QWidget* window)
{
    if (!feed)
        return false;
    return ShareViewController::copyToPasteboard(articleAddress(feed->link), window);
}

}  // namespace ArticleShare
