#include "article/ArticlePane.h"

#include "article/ArticleCacheFile.h"
#include "article/HtmlText.h"
#include "database/DatabaseOperate.h"
#include "networking/AFHTTPSessionManager.h"
#include "networking/URLSession.h"
#include "platform/Dispatch.h"

ArticlePane::ArticlePane(ArticlePaneHost* host, QObject* parent) : QObject(parent), m_host(host) {}

ArticlePane::~ArticlePane()
{
    cancelSessions();
    if (scoreSession)
        scoreSession->invalidateSessionCancelingTasks(true);
}

void ArticlePane::show(const FeedPtr& f)
{
    // Ids end up in file names and addresses: an item without a plain news id is not opened.
    if (!f || !ArticleIds::isNewsId(f->guid))
        return;
    emit articleShown(f->guid);
    if (m_recordNewsAndHot.size() < 2)
        m_host->setBackButtonVisible(false);
    m_host->changeForNews();
    m_host->showArticlePage();
    if (m_feed && f->guid == m_feed->guid) {
        // The history ends with the article on screen, also after the list emptied it and chose
        // that article again: back always has it to return to.
        const bool recorded = !m_recordNewsAndHot.isEmpty() && m_recordNewsAndHot.last().kind == QLatin1String("news")
                              && m_recordNewsAndHot.last().feed && m_recordNewsAndHot.last().feed->guid == m_feed->guid;
        if (!recorded)
            m_recordNewsAndHot.append({QStringLiteral("news"), m_feed, QString()});
        if (!m_feed->detail.isEmpty()) {
            refreshNews(false);
            return;
        }
        // Still loading: nothing to do. A road that ended without a page opens again.
        if (!m_loading)
            openNews();
        return;
    }
    m_recordNewsAndHot.append({QStringLiteral("news"), f, QString()});
    m_feed = f;
    if (m_feed->title.isNull())
        m_feed->title = QStringLiteral("");
    if (!f->commentCount.isEmpty())
        m_host->setCommentCount(f->commentCount);
    updateCanComment();
    {
        DatabaseOperate::Lease store;
        if (store)
            store->setNewsState(m_feed->guid, true, m_feed->title);
    }
    m_feed->isHaveRead = true;
    openNews();
}

void ArticlePane::cleanSharedCacheAndCookie()
{
    URLSession::clearSharedCookies();
    URLSession::clearSharedCache();
    URLSession::clearSharedCache();
    URLSession::setSharedCacheCapacities(0, 0);
}

void ArticlePane::showHotProductAndhideSelf()
{
    m_host->showDealPage(QString());
}

void ArticlePane::updateCommentCount()
{
    m_host->setCommentCount(m_feed ? m_feed->commentCount : QStringLiteral(""));
}

QString ArticlePane::getNewsLastUpdateTimeByType(int64_t kind) const
{
    if (!m_feed || m_feed->guid.isEmpty())
        return {};
    DatabaseOperate::Lease store;
    if (!store)
        return {};
    return store->getNewsLastUpdateTimeforNewsType(kind, m_feed->guid);
}

void ArticlePane::setNewsLastUpdateTime(const QString& time, int64_t kind)
{
    if (time.isNull() || !m_feed || m_feed->guid.isEmpty())
        return;
    DatabaseOperate::Lease store;
    if (store)
        store->setNewsLastUpdateTime(time, kind, m_feed->guid);
}

std::optional<QString> ArticlePane::handOff(const QString& fragment, const QString& identifier)
{
    if (identifier.isEmpty() || fragment.size() <= identifier.size() || !fragment.startsWith(identifier))
        return std::nullopt;
    return fragment.mid(identifier.size());
}

void ArticlePane::buildOffMainThread(std::function<QString()> build, std::function<void(ArticlePane*, const QString&)> done)
{
    QPointer<ArticlePane> self(this);
    dispatch::asyncGlobal([self, build = std::move(build), done = std::move(done)]() {
        QString result = build();
        dispatch::asyncMain([self, result = std::move(result), done]() {
            if (self)
                done(self.data(), result);
        });
    });
}

// ---- Page blocks ----

void ArticlePane::injectSlot(const char* function, const QString& html, const QString& id)
{
    if (html.isEmpty() || !m_bSucLoad || id != currentGuid())
        return;
    m_host->evaluateScript(QStringLiteral("%1(%2);").arg(QLatin1String(function), HtmlText::scriptLiteral(html)));
}

// Keeps the block with the article it belongs to (a null text as "") and injects it when that
// article's page is loaded; otherwise the page's load end does.
void ArticlePane::keepBlock(const char* function, QString& slot, QString& slotId, const QString& html,
                            const QString& newsId)
{
    slot = html.isNull() ? QStringLiteral("") : html;
    slotId = newsId.isNull() ? QStringLiteral("") : newsId;
    injectSlot(function, slot, slotId);
}

void ArticlePane::insertScore(const QString& html, const QString& newsId)
{
    keepBlock("padappinsertscore", _scoreStr, _scoreID, html, newsId);
}

void ArticlePane::insertReward(const QString& html, const QString& newsId)
{
    keepBlock("padappinsertreward", _rewardStr, _rewardID, html, newsId);
}

void ArticlePane::insertRelateNews(const QString& html, const QString& newsId)
{
    keepBlock("padappinsertrelatednews", _relatedNewsStr, _relatedNewsNewsID, html, newsId);
}

void ArticlePane::insertHotComment(const QString& html, const QString& newsId)
{
    keepBlock("appinserthotcomment", hotCommentStr, hotCommentNewsID, html, newsId);
}

void ArticlePane::insertDouZaiMai(const QString& html, const QString& newsId)
{
    keepBlock("padappinsertdouzaimai", _douZaiMaiStr, _douZaiMaiID, html, newsId);
}

void ArticlePane::insertVote(const QString& html, const QString& voteId)
{
    if (!ArticleIds::isVoteId(voteId) || html.isEmpty() || !m_feed)
        return;
    // A page still loading has no script to take the block yet: its load end injects it.
    m_votes.insert(voteId, html);
    if (m_bSucLoad)
        injectVote(voteId, html);
}

void ArticlePane::injectVote(const QString& voteId, const QString& html)
{
    m_host->evaluateScript(QStringLiteral("appinsertvote(%1,%2);")
                               .arg(HtmlText::scriptLiteral(html), HtmlText::scriptLiteral(QStringLiteral("vote") + voteId)));
}

void ArticlePane::pageLoadFinished()
{
    m_bSucLoad = true;
    injectSlot("padappinsertreward", _rewardStr, _rewardID);
    injectSlot("padappinsertscore", _scoreStr, _scoreID);
    injectSlot("padappinsertrelatednews", _relatedNewsStr, _relatedNewsNewsID);
    injectSlot("padappinsertdouzaimai", _douZaiMaiStr, _douZaiMaiID);
    injectSlot("padappinserthotcomment", hotCommentStr, hotCommentNewsID);
    for (auto vote = m_votes.cbegin(); vote != m_votes.cend(); ++vote)
        injectVote(vote.key(), vote.value());
}

// ---- Bridge ----

void ArticlePane::postVoteempty()
{
    m_host->alert(QStringLiteral("确定"), QStringLiteral("至少选择一项"));
}

void ArticlePane::showpagecomment()
{
    m_host->setBackButtonVisible(true);
    m_host->openComment();
}

void ArticlePane::showRelatedNews(const QString& newsId)
{
    if (!ArticleIds::isNewsId(newsId))
        return;
    auto item = std::make_shared<Feed>();
    item->guid = newsId;
    show(item);
    m_host->setBackButtonVisible(true);
}

void ArticlePane::openNewsInNews(const QString& newsId)
{
    showRelatedNews(newsId);
}

void ArticlePane::openHot(const QString& dealId)
{
    if (!ArticleIds::isDealId(dealId))
        return;
    m_host->showDealPage(dealId);
    m_recordNewsAndHot.append({QStringLiteral("hot"), nullptr, dealId});
    m_host->setBackButtonVisible(true);
}
