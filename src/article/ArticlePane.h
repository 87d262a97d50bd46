#pragma once

#include "article/ArticlePageBuilder.h"
#include "foundation/models/Feed.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>

class AFHTTPSessionManager;
class URLSessionDataTask;
struct Error;

// What the pane's view does for the pane: the web page, the spinner, the error view, the
// toolbar and the neighbouring pages. RightViewController implements it; tests record it.
class ArticlePaneHost
{
public:
    virtual ~ArticlePaneHost() = default;

    // Loads the blank page of clearContent.
    virtual void clearContent() = 0;
    // Loads a built page of the article newsId; the host answers page loads through
    // ArticlePane::pageLoadFinished and tells the page's bridge calls which article they come from.
    virtual void loadArticlePage(const QString& html, const QString& newsId) = 0;
    // Runs a script in the article page; the result is ignored.
    virtual void evaluateScript(const QString& script) = 0;
    virtual void showLogo() = 0;
    virtual void hideLogo() = 0;
    // The error view "新闻加载失败" / "点击刷新按钮重新加载" over the page, made once.
    virtual void showErrorView() = 0;
    virtual void removeErrorView() = 0;
    // Toolbar.
    virtual void setCommentCount(const QString& count) = 0;
    virtual void setBackButtonVisible(bool visible) = 0;
    virtual void changeForNews() = 0;
    // Shows the article page, hides the comment and deal pages.
    virtual void showArticlePage() = 0;
    // Loads the deal into the deal page (by a click) and shows it instead of the others.
    virtual void showDealPage(const QString& dealId) = 0;
    // The comment page of the article on screen.
    virtual void openComment() = 0;
    // An information sheet "提示" with the text and one button.
    virtual void alert(const QString& buttonTitle, const QString& informative) = 0;
    // "文章打分" with the login invitation; closing it opens the login window.
    virtual void showLoginPrompt() = 0;
};

// One entry of the back history: ("news", item) or ("hot", deal id).
struct ArticleHistoryEntry
{
    QString kind;
    FeedPtr feed;
    QString dealId;
};

// The detail pane's logic without its widgets: the item on screen and the back history, the
// article road (HEAD, cache or download, page build), the side blocks and their hand-over to the
// page, and the answers to the page's bridge calls. Main thread only.
class ArticlePane : public QObject
{
    Q_OBJECT

public:
    explicit ArticlePane(ArticlePaneHost* host, QObject* parent = nullptr);
    ~ArticlePane() override;

    // ---- Items and history ----
    void show(const FeedPtr& f);
    const FeedPtr& feed() const { return m_feed; }
    QList<ArticleHistoryEntry>& recordNewsAndHot() { return m_recordNewsAndHot; }
    void showHotProductAndhideSelf();
    void updateCommentCount();
    void updateCanComment() {}
    // The program's cookies deleted and its shared URL cache emptied, then emptied once more and
    // given no room (capacities 0): nothing is kept afterwards. The web page's own cookies and
    // cache are the view's to clear.
    static void cleanSharedCacheAndCookie();

    // ---- Loading ----
    void openNews();
    void refreshNews(bool byUser);
    bool loadLocalDataRefresh(bool refresh, int64_t kind);
    // Builds the page of the item on screen again (a new font size) and loads it; the page's
    // load end puts its blocks back. Nothing without an article body. A size given here is used
    // for this page instead of the stored setting (a size tried but not kept).
    void rebuildPage(const QString& fontSize = QString());
    // The parsed document; starts the score query when the document asks for a score block.
    FeedPtr parseXML(const QByteArray& data);
    ArticlePageResult complateHtmlCode(const QString& html, const QString& author, const QString& postDate,
                                       const QString& newsSource, const QString& newsID, const QString& commentCount,
                                       bool refresh, bool yuanChuang, const QString& newsAuthor,
                                       const QString& newsZeBian);
    QString getNewsLastUpdateTimeByType(int64_t kind) const;
    void setNewsLastUpdateTime(const QString& time, int64_t kind);
    void getVoteById(const QString& voteId);
    // True while an article road runs (from openNews to its page, cache or error view).
    bool isLoading() const { return m_loading; }
    const QStringList& currentNewsImageArray() const { return m_currentNewsImageArray; }
    // Bumped by every page load request: the host tags its article page with it.
    quint64 pageGeneration() const { return m_pageGeneration; }

    // ---- Page blocks ----
    void insertScore(const QString& html, const QString& newsId);
    void insertReward(const QString& html, const QString& newsId);
    void insertRelateNews(const QString& html, const QString& newsId);
    void insertHotComment(const QString& html, const QString& newsId);
    void insertDouZaiMai(const QString& html, const QString& newsId);
    // A vote block of the article on screen: kept for its page (a page may hold several votes),
    // run at once when the page has loaded, else when it does.
    void insertVote(const QString& html, const QString& voteId);
    // The host reports the end of a load of the current article page.
    void pageLoadFinished();
    bool bSucLoad() const { return m_bSucLoad; }

    // ---- Bridge (window.external) ----
    // A score from the page of the article newsId: only that article on screen is scored.
    void postScore(long grade, const QString& newsId);
    void postVote(const QString& voteId, const QString& items);
    void postVoteempty();
    void showpagecomment();
    void showRelatedNews(const QString& newsId);
    void openNewsInNews(const QString& newsId);
    void openHot(const QString& dealId);
    const QVariantMap& scoreDic() const { return m_scoreDic; }
    bool isScoring() const { return m_bScoring; }

    // The fragment minus its identifier when it belongs to that identifier; else nothing.
    static std::optional<QString> handOff(const QString& fragment, const QString& identifier);

    // ---- Reply handlers ----
    // Each handler is made when its request is sent and knows the article it was asked for: a
    // reply that lands after the reader moved to another article drops itself.
    using ReplyHandler = std::function<void(const std::shared_ptr<URLSessionDataTask>&, const QVariant&)>;
    using FailureHandler = std::function<void(const std::shared_ptr<URLSessionDataTask>&, const Error&)>;
    // The article GET sent to that address (which tells its kind and whether it refreshes).
    ReplyHandler getNewsDataFinishedBlock(const QString& url);
    FailureHandler getNewsDataFailedBlock(const QString& url);
    ReplyHandler getHotCommentDataFinishedBlock();
    ReplyHandler getRelatedNewsDataFinishedBlock();

signals:
    // An article is opened (again) in the pane, from wherever: a list, a link, the back button.
    void articleShown(const QString& newsId);

private:
    QString m_fontSizeOnce;
    struct Session;

    void cancelSessions();
    void sendSideRequests(bool refresh);
    void sendArticleGet(const QString& url);
    void articleHeadReplied(const std::shared_ptr<URLSessionDataTask>& task, const QString& url, quint64 road,
                            bool refresh);
    void articleHeadFailed(const std::shared_ptr<URLSessionDataTask>& task, const Error& error, const QString& url,
                           quint64 road, bool refresh);
    void articleReplied(const QByteArray& bytes, const QString& url);
    void articleFailed(const Error& error, const QString& url);
    void fallBackToCache(int64_t kind);
    void buildAndLoadPage(bool refresh);
    void takeDocumentFields(const Feed& document);
    void loadHTMLString(const QString& html, const QString& guid);
    void requestScore();
    void scoreReplied(const QByteArray& bytes, const QString& newsId, const QString& userId);
    void hotCommentReplied(const QByteArray& bytes, const QString& newsId);
    void relatedNewsReplied(const QByteArray& bytes, const QString& newsId);
    void dealsReplied(const QByteArray& bytes, const QString& newsId);
    void voteReplied(const QByteArray& bytes, const QString& voteId, const QString& newsId);
    void scoreSubmitted(const QByteArray& bytes, const QString& newsId, const QString& grade, int64_t userId);
    void restoreScoreBlock();
    void injectSlot(const char* function, const QString& html, const QString& id);
    void keepBlock(const char* function, QString& slot, QString& slotId, const QString& html,
                   const QString& newsId);
    void injectVote(const QString& voteId, const QString& html);
    // Runs a fragment build off the main thread, then hands the result back here.
    void buildOffMainThread(std::function<QString()> build, std::function<void(ArticlePane*, const QString&)> done);
    QString currentGuid() const { return m_feed ? m_feed->guid : QString(); }
    // The article a reply was asked for is still the one on screen.
    bool stillShows(const QString& newsId) const { return !newsId.isEmpty() && newsId == currentGuid(); }
    // A side request's reply handler, bound to the article on screen when the request is sent.
    ReplyHandler sideReplyHandler(void (ArticlePane::*replied)(const QByteArray&, const QString&));
    // Hands a built fragment to its slot when it is still the article on screen's.
    void handOverFragment(const QString& result, const QString& newsId,
                          void (ArticlePane::*insert)(const QString&, const QString&));

    ArticlePaneHost* m_host;
    FeedPtr m_feed;
    QList<ArticleHistoryEntry> m_recordNewsAndHot;
    QStringList m_currentNewsImageArray;

    std::shared_ptr<AFHTTPSessionManager> loadSession;
    std::shared_ptr<AFHTTPSessionManager> hotCommentLoadSession;
    std::shared_ptr<AFHTTPSessionManager> relatedNewsLoadSession;
    std::shared_ptr<AFHTTPSessionManager> mySession;
    std::shared_ptr<AFHTTPSessionManager> zefupSession;
    std::shared_ptr<AFHTTPSessionManager> scoreSession;
    QString lastTimeStr;

    QString hotCommentStr, hotCommentNewsID;
    QString _relatedNewsStr, _relatedNewsNewsID;
    QString _douZaiMaiStr, _douZaiMaiID;
    QString _scoreStr, _scoreID;
    QString _rewardStr, _rewardID;
    // Vote blocks of the article on screen, by vote id.
    QMap<QString, QString> m_votes;
    QVariantMap m_scoreDic;
    bool m_bSucLoad = false;
    bool m_bScoring = false;
    bool m_loading = false;
    // Every road (openNews, refreshNews) gets a number; replies of an older road are dropped.
    quint64 m_road = 0;
    quint64 m_pageGeneration = 0;
};
