#pragma once

#include "article/ArticlePane.h"
#include "article/ArticleServices.h"
#include "LoopbackHttpServer.h"
#include "TaskCompletionCount.h"
#include "TestEnvironment.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <source_location>

// Points every server URL of UrlList1 at a loopback server (scheme and host replaced, paths
// kept) for its scope, then puts the built-in table back.
class ServerUrlScope
{
public:
    explicit ServerUrlScope(const LoopbackHttpServer& server);
    ~ServerUrlScope();
    ServerUrlScope(const ServerUrlScope&) = delete;
    ServerUrlScope& operator=(const ServerUrlScope&) = delete;
};

// A reader that answers getCurrLandUser with the profile set here (null: nobody).
class FakeAppDelegate : public ArticleAppDelegate
{
public:
    NSMyUserInfoPtr user;
    NSMyUserInfoPtr getCurrLandUser() override { return user; }
};

// Remembers everything the pane asks of its view.
class RecordingHost : public ArticlePaneHost
{
public:
    QStringList pages;
    QStringList scripts;
    QStringList alerts;
    int clears = 0;
    int errorViews = 0;
    int loginPrompts = 0;
    int comments = 0;
    bool errorShown = false;
    bool logoShown = false;
    bool backVisible = true;
    QString commentCount;
    QStringList deals;

    void clearContent() override { ++clears; }
    void loadArticlePage(const QString& html, const QString&) override { pages.append(html); }
    void evaluateScript(const QString& script) override { scripts.append(script); }
    void showLogo() override { logoShown = true; }
    void hideLogo() override { logoShown = false; }
    void showErrorView() override
    {
        ++errorViews;
        errorShown = true;
    }
    void removeErrorView() override { errorShown = false; }
    void setCommentCount(const QString& count) override { commentCount = count; }
    void setBackButtonVisible(bool visible) override { backVisible = visible; }
    void changeForNews() override {}
    void showArticlePage() override {}
    void showDealPage(const QString& dealId) override { deals.append(dealId); }
    void openComment() override { ++comments; }
    void alert(const QString&, const QString& informative) override { alerts.append(informative); }
    void showLoginPrompt() override { ++loginPrompts; }

    QStringList scriptsCalling(const QString& function) const;
};

// Every test of the pane starts from an empty article cache, no stored times, nobody logged in
// and the default switches; the switches and the delegate are put back afterwards.
class ArticleFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A news-content document.
    static QByteArray articleXml(const QString& newsId, const QString& title, const QString& detail,
                                 const QString& extra = QString());
    FeedPtr item(const QString& newsId, const QString& postDate = QStringLiteral("2026-12-01 10:00:00"));
    // Stores a remembered, logged-in account (password remembered unless said) as the current one.
    static void rememberAccount(bool rememberPassword = true, const QString& name = QStringLiteral("reader@tidwen.example"),
                                const QString& password = QStringLiteral("secret"));
    // Requests whose path starts with the prefix.
    QList<LoopbackRequest> requestsTo(const QString& pathPrefix) const;
    // Waits until `requests` network tasks to paths starting with the prefix have ended since
    // `ended` was made, the page blocks built from their replies off the main thread are done, and
    // what those queued has run: the proof, before a check that a reply changed nothing, that it
    // has had its chance.
    static bool settleReplies(const TaskCompletionCount& ended, const QString& pathPrefix, qsizetype requests,
                              std::source_location where = std::source_location::current());

    LoopbackHttpServer server;
    std::unique_ptr<ServerUrlScope> urls;
    std::shared_ptr<FakeAppDelegate> delegate = std::make_shared<FakeAppDelegate>();
    RecordingHost host;

private:
    bool m_apiRandom = false;
    bool m_douZaiMai = true;
    bool m_loadAll = true;
    long m_related = 3;
    long m_scoreMax = 5;
    long m_minRaters = 5;
};
