#include "RecordingUrlOpener.h"
#include "ScopeGuard.h"
#include "TestEnvironment.h"

#include "article/views/popovers/ArticleShare.h"
#include "article/views/popovers/ShareViewController.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "platform/UrlOpener.h"
#include "ui/controls/CustomButton.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QUrlQuery>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kSite = QStringLiteral("http://www.tidwen.example");
const QString kDownload = QStringLiteral("http://download.tidwen.example/tidwen/download");
const QString kArticle = QStringLiteral("http://www.tidwen.example/articles/1024.htm");

class RecordedAlerts : public AlertPresenter
{
public:
    struct Alert
    {
        QString message, informative, button;
        QWidget* window = nullptr;
    };
    QList<Alert> alerts;
    void presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                      QWidget* window) override
    {
        alerts.append({messageText, informativeText, buttonTitle, window});
    }
};

QStringList keysOf(const QUrl& url)
{
    QStringList keys;
    for (const auto& item : QUrlQuery(url).queryItems())
        keys.append(item.first);
    return keys;
}

QString valueOf(const QUrl& url, const QString& key)
{
    return QUrlQuery(url).queryItemValue(key, QUrl::FullyDecoded);
}

// The raw (still escaped) value of a key, as the share page receives it.
QString rawValueOf(const QUrl& url, const QString& key)
{
    for (const QString& pair : url.query(QUrl::FullyEncoded).split(QLatin1Char('&')))
        if (pair.startsWith(key + QLatin1Char('=')))
            return pair.mid(key.size() + 1);
    return QStringLiteral("<missing>");
}

class ShareTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kUrlSiteHome = kSite;
        kUrlAppDownload = kDownload;
        UrlOpener::install(opener);
        previousAlerts = CommonFunction::setAlertPresenter(alerts);
    }
    void TearDown() override
    {
        CommonFunction::setAlertPresenter(previousAlerts);
        UrlOpener::install(previousOpener);
    }

    const decltype(restoreOnScopeExit(kUrlSiteHome)) restoreSite = restoreOnScopeExit(kUrlSiteHome);
    const decltype(restoreOnScopeExit(kUrlAppDownload)) restoreDownload = restoreOnScopeExit(kUrlAppDownload);
    std::shared_ptr<UrlOpener> previousOpener = UrlOpener::shared();
    std::shared_ptr<RecordingUrlOpener> opener = std::make_shared<RecordingUrlOpener>();
    std::shared_ptr<RecordedAlerts> alerts = std::make_shared<RecordedAlerts>();
    std::shared_ptr<AlertPresenter> previousAlerts;
};

TEST(ShareEncodeString, EscapesEverythingButTheUnreservedCharacters)
{
    const struct
    {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"A&B#C", "A%26B%23C"},
        {"!*'();:@&=+$,/?%#[]", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D"},
        {"az-AZ.09_~", "az-AZ.09_~"},
        {"a b", "a%20b"},
        {"中文", "%E4%B8%AD%E6%96%87"},
        {"【", "%E3%80%90"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShareViewController::encodeString(QString::fromUtf8(c.text)), QString::fromUtf8(c.escaped)) << c.text;
}

TEST_F(ShareTest, ShareTextCarriesTitleAddressAndDownloadPage)
{
    EXPECT_EQ(ShareViewController::shareText(QStringLiteral("标题"), kArticle),
              QStringLiteral("【标题】分享自@Tidwen，详情点击：") + kArticle +
                  QStringLiteral(" | 下载TidwenAPP查看更多精彩内容：") + kDownload);
    // A title that looks like a placeholder is not filled a second time.
    EXPECT_TRUE(ShareViewController::shareText(QStringLiteral("%2 off"), kArticle).startsWith(QStringLiteral("【%2 off】")));
}

TEST_F(ShareTest, WeiboGetsEveryValueEscapedInItsOrder)
{
    ShareViewController popover(kArticle, QStringLiteral("A&B#C"), QStringLiteral("summary"));
    popover.sinaButton()->click();

    ASSERT_EQ(opener->urls.size(), 1);
    const QUrl opened = opener->urls[0];
    EXPECT_EQ(opened.scheme() + QStringLiteral("://") + opened.host() + opened.path(),
              QStringLiteral("https://service.weibo.com/share/share.php"));
    EXPECT_EQ(keysOf(opened), (QStringList{"url", "title", "pic", "appkey"}));
    EXPECT_EQ(rawValueOf(opened, QStringLiteral("url")), ShareViewController::encodeString(kArticle));
    EXPECT_TRUE(rawValueOf(opened, QStringLiteral("title")).contains(QStringLiteral("A%26B%23C")));
    EXPECT_EQ(valueOf(opened, QStringLiteral("title")), ShareViewController::shareText(QStringLiteral("A&B#C"), kArticle));
    EXPECT_EQ(valueOf(opened, QStringLiteral("url")), kArticle);
    EXPECT_EQ(rawValueOf(opened, QStringLiteral("pic")), QString());
    EXPECT_EQ(valueOf(opened, QStringLiteral("appkey")), QStringLiteral("2841539076"));
}

TEST_F(ShareTest, QQZoneKeepsTheAddressReadableAndEscapesTitleAndSummary)
{
    const QString summary = QStringLiteral("价格 & 配置 #1");
    ShareViewController popover(kArticle, QStringLiteral("A&B#C"), summary);
    popover.qqZoneButton()->click();

    ASSERT_EQ(opener->urls.size(), 1);
    const QUrl opened = opener->urls[0];
    EXPECT_EQ(opened.scheme() + QStringLiteral("://") + opened.host() + opened.path(),
              QStringLiteral("https://sns.qzone.qq.com/cgi-bin/qzshare/cgi_qzshare_onekey"));
    EXPECT_EQ(keysOf(opened), (QStringList{"url", "title", "summary"}));
    EXPECT_TRUE(opened.query(QUrl::FullyEncoded).startsWith(QStringLiteral("url=") + kArticle + QStringLiteral("&title=")));
    EXPECT_EQ(rawValueOf(opened, QStringLiteral("title")),
              ShareViewController::encodeString(ShareViewController::shareText(QStringLiteral("A&B#C"), kArticle)));
    EXPECT_EQ(rawValueOf(opened, QStringLiteral("summary")), ShareViewController::encodeString(summary));
    EXPECT_EQ(valueOf(opened, QStringLiteral("summary")), summary);
}

TEST_F(ShareTest, QQZoneAddressWithQueryDelimitersArrivesWhole)
{
    const QString deal = QStringLiteral("http://deal.tidwen.example/p?id=7&from=share#top");
    const QUrl opened = ShareViewController::qqZoneShareUrl(deal, QStringLiteral("t"), QStringLiteral("s"));
    EXPECT_EQ(keysOf(opened), (QStringList{"url", "title", "summary"}));
    EXPECT_EQ(valueOf(opened, QStringLiteral("url")), deal);
    EXPECT_TRUE(opened.fragment().isNull());
    EXPECT_EQ(valueOf(opened, QStringLiteral("summary")), QStringLiteral("s"));
}

TEST_F(ShareTest, CopyLeavesExactlyTheAddressAndSaysWhetherItDid)
{
    QWidget mainWindow;
    auto* popup = new QWidget(&mainWindow, Qt::Popup);
    auto* popover = new ShareViewController(kArticle, QStringLiteral("t"), QStringLiteral("s"), popup);
    QGuiApplication::clipboard()->setText(QStringLiteral("something older"));

    popover->copyButton()->click();

    EXPECT_EQ(QGuiApplication::clipboard()->text(), kArticle);
    ASSERT_EQ(alerts->alerts.size(), 1);
    EXPECT_EQ(alerts->alerts[0].informative, QStringLiteral("复制文章链接成功"));
    EXPECT_EQ(alerts->alerts[0].button, QStringLiteral("确定"));
    EXPECT_EQ(alerts->alerts[0].message, QStringLiteral("提示"));
    // The sheet belongs on the window the popover came from, not on the popup.
    EXPECT_EQ(alerts->alerts[0].window, &mainWindow);
    EXPECT_TRUE(opener->urls.isEmpty());

    // Nothing to copy is a failure, and the clipboard keeps what it had.
    EXPECT_FALSE(ShareViewController::copyToPasteboard(QString(), &mainWindow));
    ASSERT_EQ(alerts->alerts.size(), 2);
    EXPECT_EQ(alerts->alerts[1].informative, QStringLiteral("复制文章链接失败"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kArticle);
}

TEST_F(ShareTest, ButtonsStackInsideThePopupThatHostsIt)
{
    // Hosted the way the pane shows it: a popup whose layout takes the popover's own size.
    QWidget mainWindow;
    auto* popup = new QWidget(&mainWindow, Qt::Popup);
    auto* layout = new QVBoxLayout(popup);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* popover = new ShareViewController(kArticle, QStringLiteral("t"), QStringLiteral("s"));
    layout->addWidget(popover);
    popup->show();
    ASSERT_TRUE(waitUntil([&] { return popover->copyButton()->y() > 0; }));
    EXPECT_EQ(popup->size(), popover->sizeHint());
    const QRect sina = popover->sinaButton()->geometry();
    const QRect qq = popover->qqZoneButton()->geometry();
    const QRect copy = popover->copyButton()->geometry();
    EXPECT_LT(sina.bottom(), qq.top());
    EXPECT_LT(qq.bottom(), copy.top());
    for (const QRect& r : {sina, qq, copy})
        EXPECT_TRUE(popover->rect().contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

// ---- The Touch Bar's three shares of the article ----

FeedPtr article()
{
    auto feed = std::make_shared<Feed>();
    feed->link = QStringLiteral("/articles/1024.htm");
    feed->title = QStringLiteral("A&B#C");
    feed->description = QStringLiteral("摘要 & more");
    return feed;
}

TEST_F(ShareTest, TouchBarSharesUseTheArticleAddress)
{
    EXPECT_EQ(ArticleShare::articleAddress(QStringLiteral("/articles/1024.htm")), kArticle);
    ASSERT_TRUE(ArticleShare::touchBarShareToSina(article()));
    ASSERT_TRUE(ArticleShare::touchBarShareToQQzone(article()));
    ASSERT_EQ(opener->urls.size(), 2);

    const QUrl sina = opener->urls[0];
    EXPECT_EQ(sina.host(), QStringLiteral("service.weibo.com"));
    EXPECT_EQ(keysOf(sina), (QStringList{"url", "title", "pic", "appkey"}));
    EXPECT_EQ(valueOf(sina, QStringLiteral("url")), kArticle);
    // The reader sees the address itself in the title line, not an escaped copy of it.
    EXPECT_EQ(valueOf(sina, QStringLiteral("title")), ShareViewController::shareText(QStringLiteral("A&B#C"), kArticle));

    const QUrl qq = opener->urls[1];
    EXPECT_EQ(qq.host(), QStringLiteral("sns.qzone.qq.com"));
    EXPECT_EQ(rawValueOf(qq, QStringLiteral("url")), kArticle);
    EXPECT_EQ(valueOf(qq, QStringLiteral("summary")), QStringLiteral("摘要 & more"));

    QWidget mainWindow;
    ASSERT_TRUE(ArticleShare::touchBarShareToPaste(article(), &mainWindow));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kArticle);
    ASSERT_EQ(alerts->alerts.size(), 1);
    EXPECT_EQ(alerts->alerts[0].informative, QStringLiteral("复制文章链接成功"));
    EXPECT_EQ(alerts->alerts[0].window, &mainWindow);
}

TEST_F(ShareTest, TouchBarSharesWithoutAnArticleDoNothing)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    EXPECT_FALSE(ArticleShare::touchBarShareToSina(nullptr));
    EXPECT_FALSE(ArticleShare::touchBarShareToQQzone(nullptr));
    EXPECT_FALSE(ArticleShare::touchBarShareToPaste(nullptr, nullptr));
    EXPECT_TRUE(opener->urls.isEmpty());
    EXPECT_TRUE(alerts->alerts.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

}  // namespace
