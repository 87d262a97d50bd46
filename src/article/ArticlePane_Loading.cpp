#include "article/ArticlePane.h"

#include "article/ArticleCacheFile.h"
#include "article/ArticleDocument.h"
#include "article/ArticleServices.h"
#include "article/CommentHtmlManager.h"
#include "article/GoldCoinTask.h"
#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"
#include "platform/Clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString withRandom(const QString& url)
{
    return QStringLiteral("%1?r=%2").arg(url).arg(CommonFunction::getRandom());
}

bool isRefreshUrl(const QString& url)
{
    return url.contains(QStringLiteral("?r=shuaxin"));
}

int statusOf(const std::shared_ptr<URLSessionDataTask>& task)
{
    if (!task)
        return 0;
    const auto response = task->response();
    return response ? response->statusCode : 0;
}

void cancel(std::shared_ptr<AFHTTPSessionManager>& session)
{
    if (session) {
        session->invalidateSessionCancelingTasks(true);
        session.reset();
    }
}

// JSON read leniently: a document of any top-level value.
QVariant readJson(const QByteArray& bytes, bool* ok)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    *ok = error.error == QJsonParseError::NoError;
    if (!*ok) {
        // A bare value (a number, a text) is no document for Qt; wrap it to read it all the same.
        const QJsonDocument wrapped = QJsonDocument::fromJson("[" + bytes + "]", &error);
        *ok = error.error == QJsonParseError::NoError && wrapped.array().size() == 1;
        return *ok ? wrapped.array().at(0).toVariant() : QVariant();
    }
    if (document.isObject())
        return document.object().toVariantMap();
    return document.array().toVariantList();
}

int64_t userIdOfReader()
{
    const NSMyUserInfoPtr user = ArticleAppDelegate::currentUser();
    return user ? user->userID : 0;
}

}  // namespace

void ArticlePane::cancelSessions()
{
    cancel(loadSession);
    cancel(hotCommentLoadSession);
    cancel(relatedNewsLoadSession);
    cancel(mySession);
    cancel(zefupSession);
}

FeedPtr ArticlePane::parseXML(const QByteArray& data)
{
    FeedPtr parsed = ArticleDocument::parseXML(data);
    if (parsed->isScore && !data.isEmpty())
        requestScore();
    return parsed;
}

void ArticlePane::openNews()
{
    if (!m_feed || !ArticleIds::isNewsId(m_feed->guid))
        return;
    m_host->removeErrorView();
    m_host->clearContent();
    for (QString* field : {&hotCommentStr, &hotCommentNewsID, &_relatedNewsStr, &_relatedNewsNewsID, &_douZaiMaiStr,
                           &_douZaiMaiID, &_scoreStr, &_scoreID, &_rewardStr, &_rewardID})
        *field = QStringLiteral("");
    m_votes.clear();
    m_bSucLoad = false;
    m_loading = true;
    m_host->showLogo();
    cancelSessions();
    // The score belongs to the article left: its reply must not arrive, nor its counts stay.
    cancel(scoreSession);
    m_scoreDic.clear();
    const quint64 road = ++m_road;

    QString url = ArticleUrls::newsContentUrl(m_feed->guid);
    if (m_feed->postDate.isEmpty())
        url = ArticleUrls::feedUrl(m_feed->guid);
    lastTimeStr = QString();
    const QString head = gbApiRandom.load() ? withRandom(url) : url;
    QPointer<ArticlePane> self(this);
    loadSession = AFNetManager::requestWithUrlString(
        head, false, QVariant(), 1, nullptr, std::shared_ptr<AFHTTPSessionManager>(),
        [self, url, road](const std::shared_ptr<URLSessionDataTask>& task, const QVariant&) {
            if (self)
                self->articleHeadReplied(task, url, road, false);
        },
        [self, url, road](const std::shared_ptr<URLSessionDataTask>& task, const Error& error) {
            if (self)
                self->articleHeadFailed(task, error, url, road, false);
        });
    if (!CommonFunction::checkNetworkState())
        return;
    sendSideRequests(false);
}

void ArticlePane::refreshNews(bool byUser)
{
    if (!m_feed || !ArticleIds::isNewsId(m_feed->guid))
        return;
    cancelSessions();
    const quint64 road = ++m_road;
    const QString article = ArticleUrls::newsContentUrl(m_feed->guid);
    const QString head = QStringLiteral("%1?r=%2%3")
                             .arg(article, byUser ? QStringLiteral("shuaxin") : QStringLiteral("shuaxinnoneed"))
                             .arg(CommonFunction::getRandom());
    lastTimeStr = QString();
    QPointer<ArticlePane> self(this);
    loadSession = AFNetManager::requestWithUrlString(
        head, false, QVariant(), 1, nullptr, std::shared_ptr<AFHTTPSessionManager>(),
        [self, head, road](const std::shared_ptr<URLSessionDataTask>& task, const QVariant&) {
            if (self)
                self->articleHeadReplied(task, head, road, true);
        },
        [self, head, road](const std::shared_ptr<URLSessionDataTask>& task, const Error& error) {
            if (self)
                self->articleHeadFailed(task, error, head, road, true);
        });
    if (CommonFunction::checkNetworkState())
        sendSideRequests(true);
}

void ArticlePane::articleHeadReplied(const std::shared_ptr<URLSessionDataTask>& task, const QString& url, quint64 road,
                                     bool refresh)
{
    if (road != m_road)
        return;
    lastTimeStr = responseHeaderField(task, QStringLiteral("Last-Modified"));
    const int64_t kind = ArticleUrls::kindOfUrl(url);
    if (kind != 0) {
        const QString stored = getNewsLastUpdateTimeByType(kind);
        if (!stored.isNull() && !lastTimeStr.isNull() && stored == lastTimeStr) {
            if (loadLocalDataRefresh(refresh, kind)) {
                m_loading = false;
                return;
            }
            // Nothing to show from here: a refresh the user did not ask for ends.
            if (refresh && url.contains(QStringLiteral("?r=shuaxinnoneed")))
                return;
        }
    }
    sendArticleGet(refresh ? url : withRandom(url));
}

void ArticlePane::articleHeadFailed(const std::shared_ptr<URLSessionDataTask>& task, const Error& error,
                                    const QString& url, quint64 road, bool refresh)
{
    if (error.code == NSURLErrorCancelled || road != m_road)
        return;
    if (statusOf(task) == 404 && ArticleUrls::kindOfUrl(url) == ArticleKind::kNewsContent) {
        const QString feed = ArticleUrls::feedUrl(m_feed->guid);
        if (refresh)
            sendArticleGet(QStringLiteral("%1?r=shuaxin%2").arg(feed).arg(CommonFunction::getRandom()));
        else
            sendArticleGet(gbApiRandom.load() ? withRandom(feed) : feed);
        return;
    }
    articleFailed(error, url);
}

void ArticlePane::sendArticleGet(const QString& url)
{
    loadSession = AFNetManager::requestWithUrlString(url, true, QVariant(), 1, nullptr, loadSession,
                                                     getNewsDataFinishedBlock(url), getNewsDataFailedBlock(url));
}

// Both handlers belong to the road that sent the request: a reply of an earlier road is dropped.
// The address is the one asked for, as written: it tells the kind and whether it refreshes.
ArticlePane::ReplyHandler ArticlePane::getNewsDataFinishedBlock(const QString& url)
{
    QPointer<ArticlePane> self(this);
    const quint64 road = m_road;
    return [self, road, url](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
        if (self && road == self->m_road)
            self->articleReplied(reply.toByteArray(), url);
    };
}

ArticlePane::FailureHandler ArticlePane::getNewsDataFailedBlock(const QString& url)
{
    QPointer<ArticlePane> self(this);
    const quint64 road = m_road;
    return [self, road, url](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
        if (self && road == self->m_road && error.code != NSURLErrorCancelled)
            self->articleFailed(error, url);
    };
}

void ArticlePane::fallBackToCache(int64_t kind)
{
    // After a 404 switched to the feed document, the news-content copy still is this article.
    const int64_t other = kind == ArticleKind::kFeed ? ArticleKind::kNewsContent : ArticleKind::kFeed;
    if (!loadLocalDataRefresh(false, kind) && !loadLocalDataRefresh(false, other))
        m_host->showErrorView();
    m_loading = false;
}

// The parsed document fills in what the item from the list left empty; its flags add to the item's.
// Its guid comes in only as a plain news id: ids end up in file names and addresses.
void ArticlePane::takeDocumentFields(const Feed& p)
{
    Feed& f = *m_feed;
    const auto copy = [](const QString& from, QString& to) {
        if (!from.isEmpty())
            to = from;
    };
    copy(p.link, f.link);
    copy(p.description, f.description);
    copy(p.detail, f.detail);
    copy(p.author, f.author);
    copy(p.newsSource, f.newsSource);
    copy(p.newsZeBian, f.newsZeBian);
    copy(p.forbidcomment, f.forbidcomment);
    updateCanComment();
    copy(p.title, f.title);
    copy(p.postDate, f.postDate);
    if (ArticleIds::isNewsId(p.guid))
        f.guid = p.guid;
    copy(p.imgurl, f.imgurl);
    copy(p.hitCount, f.hitCount);
    copy(p.commentCount, f.commentCount);
    copy(p.titlecolor, f.titlecolor);
    f.isYuanChuang = f.isYuanChuang || p.isYuanChuang;
    f.isTouPiao = f.isTouPiao || p.isTouPiao;
    f.isShiPin = f.isShiPin || p.isShiPin;
    f.isScore = f.isScore || p.isScore;
    f.isReward = f.isReward || p.isReward;
    updateCommentCount();
}

void ArticlePane::articleFailed(const Error& error, const QString& url)
{
    Q_UNUSED(error);
    m_host->hideLogo();
    if (isRefreshUrl(url))
        return;
    const int64_t kind = ArticleUrls::kindOfUrl(url);
    fallBackToCache(kind == 0 ? ArticleKind::kNewsContent : kind);
}

void ArticlePane::articleReplied(const QByteArray& bytes, const QString& url)
{
    m_host->hideLogo();
    const FeedPtr p = parseXML(bytes);
    const int64_t kind = ArticleUrls::kindOfUrl(url);
    if (p->detail.isEmpty()) {
        if (isRefreshUrl(url))
            return;
        fallBackToCache(kind == 0 ? ArticleKind::kNewsContent : kind);
        return;
    }
    if (kind != 0 && ArticleCacheFile::write(m_feed->guid, kind, bytes))
        setNewsLastUpdateTime(lastTimeStr, kind);

    takeDocumentFields(*p);
    buildAndLoadPage(isRefreshUrl(url));
    m_loading = false;
    GoldCoinTask::report(GoldCoinTask::Kind::ReadNews);
}

ArticlePageResult ArticlePane::complateHtmlCode(const QString& html, const QString& author, const QString& postDate,
                                                const QString& newsSource, const QString& newsID,
                                                const QString& commentCount, bool refresh, bool yuanChuang,
                                                const QString& newsAuthor, const QString& newsZeBian)
{
    ArticlePageInput input;
    input.html = html;
    input.author = author;
    input.postDate = postDate;
    input.newsSource = newsSource;
    input.newsID = newsID;
    input.commentCount = commentCount;
    input.refresh = refresh;
    input.YuanChuang = yuanChuang;
    input.newsAuthor = newsAuthor;
    input.newsZeBian = newsZeBian;
    input.title = m_feed ? m_feed->title : QString();
    input.hitCount = m_feed ? m_feed->hitCount : QString();
    const NSMyUserInfoPtr user = ArticleAppDelegate::currentUser();
    input.staffReader = user && user->bTidwenM;
    input.networkReachable = CommonFunction::checkNetworkState();
    input.thinFont = gbThinFont.load();
    input.douZaiMai = gbDouZaiMai.load();
    {
        SettingsDatabaseOperate::Lease settings;
        if (!m_fontSizeOnce.isEmpty())
            input.fontSize = m_fontSizeOnce;
        else if (settings)
            input.fontSize = settings->contentFontSize();
    }
    ArticlePageResult result = ArticlePageBuilder::complateHtmlCode(input);
    m_currentNewsImageArray = result.currentNewsImageArray;
    if (m_feed)
        m_feed->firstimgurlInHtml = result.firstimgurlInHtml;
    for (const QString& voteId : result.voteIds)
        getVoteById(voteId);
    return result;
}

void ArticlePane::buildAndLoadPage(bool refresh)
{
    const Feed& f = *m_feed;
    const ArticlePageResult page = complateHtmlCode(f.detail, f.author.isNull() ? QStringLiteral("Tidwen") : f.author,
                                                    f.postDate, f.newsSource.isNull() ? QStringLiteral("Tidwen") : f.newsSource,
                                                    f.guid, f.commentCount, refresh, f.isYuanChuang, f.author, f.newsZeBian);
    loadHTMLString(page.page, f.guid);
}

void ArticlePane::rebuildPage(const QString& fontSize)
{
    if (!m_feed || m_feed->detail.isEmpty())
        return;
    m_fontSizeOnce = fontSize;
    buildAndLoadPage(false);
    m_fontSizeOnce.clear();
}

void ArticlePane::loadHTMLString(const QString& html, const QString& guid)
{
    if (html.isEmpty() || guid.isEmpty())
        return;
    ++m_pageGeneration;
    m_host->loadArticlePage(html, guid);
}

bool ArticlePane::loadLocalDataRefresh(bool refresh, int64_t kind)
{
    m_host->removeErrorView();
    m_host->hideLogo();
    if ((kind != ArticleKind::kNewsContent && kind != ArticleKind::kFeed) || !m_feed)
        return false;
    if (!m_feed->detail.isEmpty()) {
        buildAndLoadPage(refresh);
        if (m_feed->isReward) {
            if (const auto html = handOff(CommentHtmlManager::GetNewsRewardBody(m_feed->guid), m_feed->guid))
                insertReward(*html, m_feed->guid);
        }
        if (m_feed->isScore)
            requestScore();
        return true;
    }
    const QByteArray bytes = ArticleCacheFile::read(m_feed->guid, kind);
    if (bytes.isEmpty())
        return false;
    const FeedPtr p = parseXML(bytes);
    if (p->detail.isEmpty())
        return false;
    takeDocumentFields(*p);
    buildAndLoadPage(refresh);
    return true;
}

void ArticlePane::requestScore()
{
    if (!m_feed || !ArticleIds::isNewsId(m_feed->guid))
        return;
    cancel(scoreSession);
    const int64_t userId = userIdOfReader();
    const QString url = QStringLiteral("%1?newsid=%2&userid=%3&r=%4")
                            .arg(kUrlNewsGradeGet, m_feed->guid)
                            .arg(userId)
                            .arg(CommonFunction::getRandom());
    QPointer<ArticlePane> self(this);
    const QString userText = QString::number(userId);
    const QString newsId = m_feed->guid;
    scoreSession = AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr,
        [self, newsId, userText](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
            if (self)
                self->scoreReplied(reply.toByteArray(), newsId, userText);
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}

void ArticlePane::scoreReplied(const QByteArray& bytes, const QString& newsId, const QString& userId)
{
    if (bytes.isEmpty() || !stillShows(newsId))
        return;
    bool ok = false;
    const QVariant value = readJson(bytes, &ok);
    // Only an object with entries is a score; anything else gives no block.
    if (!ok || value.typeId() != QMetaType::QVariantMap || value.toMap().isEmpty())
        return;
    const QVariantMap grade = value.toMap();
    if (const auto html = handOff(CommentHtmlManager::GetNewsScoreBody(grade, newsId, userId), newsId))
        insertScore(*html, newsId);
    m_scoreDic = grade;
}

void ArticlePane::sendSideRequests(bool refresh)
{
    const QString guid = m_feed->guid;
    QPointer<ArticlePane> self(this);
    const quint64 road = m_road;
    const auto ignore = [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {};
    const auto hideOnFailure = [self, refresh, road](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
        if (self && !refresh && error.code != NSURLErrorCancelled && road == self->m_road)
            self->m_host->hideLogo();
    };

    hotCommentLoadSession = AFNetManager::requestWithUrlString(withRandom(ArticleUrls::hotCommentUrl(guid)), true, QVariant(), 1,
                                                               nullptr, getHotCommentDataFinishedBlock(), ignore);
    if (gbLoadAllData.load()) {
        relatedNewsLoadSession = AFNetManager::requestWithUrlString(withRandom(ArticleUrls::relatedNewsUrl(guid)), true, QVariant(),
                                                                    1, nullptr, getRelatedNewsDataFinishedBlock(), hideOnFailure);
    }
    if (gbDouZaiMai.load()) {
        const auto timestamp = static_cast<qint64>(Clock::nowSeconds());
        QVariantMap parameters;
        parameters.insert(QStringLiteral("count"), 3);
        parameters.insert(QStringLiteral("signature"), CommonFunction::getHotProductSignature(static_cast<double>(timestamp)));
        parameters.insert(QStringLiteral("timestamp"), timestamp);
        zefupSession = AFNetManager::requestWithUrlString(kUrlZefupDouZaiMai, true, parameters, 1, nullptr,
                                                          sideReplyHandler(&ArticlePane::dealsReplied), hideOnFailure);
    }
    QVariantMap count;
    count.insert(QStringLiteral("strNewsID"), CommonFunction::EncrypteUTF8(guid, kDesKeyRequest));
    mySession = AFNetManager::requestWithUrlString(
        kUrlCommentCount, false, count, 1, nullptr, [](const std::shared_ptr<URLSessionDataTask>&, const QVariant&) {},
        ignore);
}

ArticlePane::ReplyHandler ArticlePane::sideReplyHandler(void (ArticlePane::*replied)(const QByteArray&, const QString&))
{
    QPointer<ArticlePane> self(this);
    const QString newsId = currentGuid();
    return [self, newsId, replied](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
        if (self)
            (self.data()->*replied)(reply.toByteArray(), newsId);
    };
}

ArticlePane::ReplyHandler ArticlePane::getHotCommentDataFinishedBlock()
{
    return sideReplyHandler(&ArticlePane::hotCommentReplied);
}

ArticlePane::ReplyHandler ArticlePane::getRelatedNewsDataFinishedBlock()
{
    return sideReplyHandler(&ArticlePane::relatedNewsReplied);
}

void ArticlePane::handOverFragment(const QString& result, const QString& newsId,
                                   void (ArticlePane::*insert)(const QString&, const QString&))
{
    if (!stillShows(newsId))
        return;
    if (const auto html = handOff(result, newsId))
        (this->*insert)(*html, newsId);
}

void ArticlePane::hotCommentReplied(const QByteArray& bytes, const QString& newsId)
{
    if (!stillShows(newsId) || bytes.size() < 14 || bytes.left(12).toLower() != "showcomment(")
        return;
    bool ok = false;
    const QVariant value = readJson(bytes.mid(12, bytes.size() - 13), &ok);
    if (!ok || value.typeId() != QMetaType::QVariantList || value.toList().isEmpty())
        return;
    const bool online = CommonFunction::checkNetworkState();
    const QVariantList comments = value.toList();
    buildOffMainThread([comments, online, newsId]() { return CommentHtmlManager::GetNewsPageHotCommentBody(comments, online, newsId); },
                       [newsId](ArticlePane* pane, const QString& result) {
                           pane->handOverFragment(result, newsId, &ArticlePane::insertHotComment);
                       });
}

void ArticlePane::relatedNewsReplied(const QByteArray& bytes, const QString& newsId)
{
    if (!stillShows(newsId) || bytes.size() < 19)
        return;
    const qsizetype open = bytes.indexOf('[');
    const qsizetype close = bytes.lastIndexOf(']');
    if (open < 0 || close < 0 || close <= open)
        return;
    bool ok = false;
    const QVariant value = readJson(bytes.mid(open, close - open + 1), &ok);
    if (!ok || value.typeId() != QMetaType::QVariantList || value.toList().isEmpty())
        return;
    const QVariantList related = value.toList();
    buildOffMainThread([related, newsId]() { return CommentHtmlManager::GetNewsPageRelateNewsBody(related, newsId); },
                       [newsId](ArticlePane* pane, const QString& result) {
                           pane->handOverFragment(result, newsId, &ArticlePane::insertRelateNews);
                       });
}

void ArticlePane::dealsReplied(const QByteArray& bytes, const QString& newsId)
{
    if (!stillShows(newsId))
        return;
    bool ok = false;
    const QVariant value = readJson(bytes, &ok);
    if (!ok || value.typeId() != QMetaType::QVariantMap)
        return;
    const QVariantMap reply = value.toMap();
    const QVariant success = reply.value(QStringLiteral("success"));
    const QVariantList content = reply.value(QStringLiteral("content")).toList();
    if (reply.isEmpty() || !success.toBool() || content.isEmpty())
        return;
    buildOffMainThread([content, newsId]() { return CommentHtmlManager::GetNewsPageDouZaiMaiBody(content, newsId); },
                       [newsId](ArticlePane* pane, const QString& result) {
                           pane->handOverFragment(result, newsId, &ArticlePane::insertDouZaiMai);
                       });
}

void ArticlePane::getVoteById(const QString& voteId)
{
    const QString url = ArticleUrls::voteUrl(voteId, userIdOfReader());
    if (url.isEmpty())
        return;
    QPointer<ArticlePane> self(this);
    const QString newsId = currentGuid();
    AFNetManager::requestWithUrlString(
        withRandom(url), true, QVariant(), 1, nullptr,
        [self, voteId, newsId](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
            if (self)
                self->voteReplied(reply.toByteArray(), voteId, newsId);
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}

void ArticlePane::voteReplied(const QByteArray& bytes, const QString& voteId, const QString& newsId)
{
    // The vote of an article left meanwhile has no place on the page now on screen.
    if (bytes.isEmpty() || newsId != currentGuid())
        return;
    const auto vote = CommentHtmlManager::parseVoteDocument(bytes);
    if (!vote)
        return;
    const QVariantMap document = *vote;
    buildOffMainThread([document, voteId]() { return CommentHtmlManager::GetNewsPageVoteBody(document, voteId); },
                       [voteId, newsId](ArticlePane* pane, const QString& result) {
                           if (newsId != pane->currentGuid())
                               return;
                           if (const auto html = handOff(result, voteId))
                               pane->insertVote(*html, voteId);
                       });
}
