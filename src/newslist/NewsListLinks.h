#pragma once

#include "foundation/models/Feed.h"
#include "newslist/NewsListEntry.h"

#include <QString>
#include <QUrl>

#include <memory>

// What the news lists need of the program around them. Each seam is installed once by the
// program's composition root; tests install fakes. Without an installation the calls do nothing.

// The article pane of the detail column.
class ArticlePaneLink
{
public:
    virtual ~ArticlePaneLink() = default;
    // Opens a news item (the pane records it, marks it read and loads it).
    virtual void show(const FeedPtr& feed) = 0;
    // Empties the pane's back history (recordNewsAndHot).
    virtual void emptyRecordNewsAndHot() = 0;
    // Opens a deal page by product id text.
    virtual void showDealByClick(const QString& productId, bool byClick) = 0;

    static std::shared_ptr<ArticlePaneLink> instance();
    static void install(std::shared_ptr<ArticlePaneLink> link);
};

// The application delegate's flag that a push notification has just opened an article.
class PushNewsFlag
{
public:
    virtual ~PushNewsFlag() = default;
    virtual bool isPushNews() const = 0;
    virtual void setIsPushNews(bool value) = 0;

    static std::shared_ptr<PushNewsFlag> instance();
    static void install(std::shared_ptr<PushNewsFlag> flag);
};

// The system browser. The lists hand it only absolute http and https addresses.
class NewsBrowserLink
{
public:
    virtual ~NewsBrowserLink() = default;
    // True when the address was handed to the browser.
    virtual bool openURL(const QUrl& url) = 0;

    static std::shared_ptr<NewsBrowserLink> instance();
    static void install(std::shared_ptr<NewsBrowserLink> link);
    // An absolute http or https address with a host.
    static bool isWebAddress(const QUrl& url);
    // Opens the address through the installed link when it is a web address.
    static bool open(const QUrl& url);
};

// Where the list ads of channel 101 come in. Nothing is placed until one is installed.
class ListAdHook
{
public:
    virtual ~ListAdHook() = default;
    // No ad load is in flight.
    virtual bool isAdDownloaded() const = 0;
    // Places the ads of the slots from fromSlot on into the list.
    virtual void insertAds(NewsListEntries& list, int fromSlot) = 0;
    // Swaps the ads of a list kept on a pretend refresh; answers the rows to animate.
    virtual void rotateAds(NewsListEntries& list) = 0;
    // A click on an ad row of a list with slides.
    virtual void adClicked(const NSListADInfoPtr& ad, NewsListEntries& list) = 0;

    static std::shared_ptr<ListAdHook> instance();
    static void install(std::shared_ptr<ListAdHook> hook);
};
