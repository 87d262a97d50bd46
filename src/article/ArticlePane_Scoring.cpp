#include "article/ArticlePane.h"

#include "article/ArticleCacheFile.h"
#include "article/ArticleServices.h"
#include "article/CommentHtmlManager.h"
#include "article/GoldCoinTask.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "database/SessionAccount.h"
#include "foundation/CommonFunction.h"
#include "foundation/URLErrorCodes.h"
#include "foundation/xml/TTXMLParser.h"
#include "networking/AFNetManager.h"

#include <QJsonDocument>
#include <QJsonObject>

void ArticlePane::postScore(long grade, const QString& newsIdOfPage)
{
    // Judged by the page that sent it: a page of an article other than the one on screen (the
    // page the reader is leaving) scores nothing, and the next article is not scored for it.
    if (newsIdOfPage != currentGuid())
        return;
    const QString gradeText = QString::number(grade);
    if (m_bScoring)
        return;
    m_bScoring = true;
    if (gradeText == QStringLiteral("-1")) {
        m_host->alert(QStringLiteral("确定"), QStringLiteral("每篇文章只能打分一次"));
        m_bScoring = false;
        return;
    }
    const NSMyUserInfoPtr user = ArticleAppDelegate::currentUser();
    if (!user) {
        m_bScoring = false;
        m_host->showLoginPrompt();
        return;
    }
    if (!CommonFunction::checkNetworkState() || !m_feed || !ArticleIds::isNewsId(m_feed->guid)) {
        m_bScoring = false;
        return;
    }
    // The gate comes before the reader sees the choice: a refused score must leave the block.
    const UserLandDataPtr account = SessionAccount::current();
    if (!account) {
        m_bScoring = false;
        return;
    }
    const QString newsId = m_feed->guid;
    if (!m_scoreDic.isEmpty()) {
        if (const auto html = handOff(CommentHtmlManager::RefreshNewsScoreBody(m_scoreDic, newsId, gradeText), newsId))
            insertScore(*html, newsId);
    }
    QVariantMap parameters;
    parameters.insert(QStringLiteral("user"), GoldCoinTask::userHash(*account));
    parameters.insert(QStringLiteral("newsid"), newsId);
    parameters.insert(QStringLiteral("grade"), gradeText);
    const int64_t userId = user->userID;
    QPointer<ArticlePane> self(this);
    AFNetManager::requestWithUrlString(
        kUrlNewsGradeCreate, true, parameters, 1, nullptr,
        [self, newsId, gradeText, userId](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
            if (self)
                self->scoreSubmitted(reply.toByteArray(), newsId, gradeText, userId);
        },
        [self, newsId](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (!self)
                return;
            self->m_bScoring = false;
            if (error.code != NSURLErrorCancelled) {
                CommonFunction::checkNetworkState();
                if (self->stillShows(newsId))
                    self->restoreScoreBlock();
            }
        });
}

void ArticlePane::scoreSubmitted(const QByteArray& bytes, const QString& newsId, const QString& grade, int64_t userId)
{
    m_bScoring = false;
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonObject reply = document.object();
    const bool accepted = document.isObject() && !reply.isEmpty() && reply.value(QStringLiteral("status")).isDouble()
        && reply.value(QStringLiteral("status")).toDouble() == 1.0;
    if (!accepted) {
        if (stillShows(newsId))
            restoreScoreBlock();
        return;
    }
    {
        DatabaseOperate::Lease store;
        if (store)
            store->NewsScore_setScore(newsId, QString::number(userId), grade);
    }
    // Recorded for its article in any case; shown only while that article is on screen.
    if (stillShows(newsId)) {
        if (const auto html = handOff(CommentHtmlManager::RefreshNewsScoreBody(reply.toVariantMap(), newsId, grade), newsId))
            insertScore(*html, newsId);
    }
}

void ArticlePane::restoreScoreBlock()
{
    if (m_scoreDic.isEmpty() || !m_feed)
        return;
    const NSMyUserInfoPtr user = ArticleAppDelegate::currentUser();
    const QString guid = m_feed->guid;
    const QString userId = QString::number(user ? user->userID : 0);
    if (const auto html = handOff(CommentHtmlManager::GetNewsScoreBody(m_scoreDic, guid, userId), guid))
        insertScore(*html, guid);
}

void ArticlePane::postVote(const QString& voteIdArgument, const QString& itemsArgument)
{
    const QString voteId = voteIdArgument;
    if (!ArticleIds::isVoteId(voteId))
        return;
    const QString items = itemsArgument.left(std::max<qsizetype>(0, itemsArgument.size() - 1));
    const UserLandDataPtr account = SessionAccount::current();
    if (!account) {
        m_host->showLoginPrompt();
        return;
    }
    m_host->evaluateScript(QStringLiteral("voteButtonState('正在投票...')"));
    QVariantMap fields;
    fields.insert(QStringLiteral("userhash"), GoldCoinTask::userHash(*account));
    fields.insert(QStringLiteral("voteid"), voteId);
    fields.insert(QStringLiteral("items"), items);
    fields.insert(QStringLiteral("os"), QStringLiteral("iphone"));
    fields.insert(QStringLiteral("device"), CommonFunction::getDeviceVersionStr());
    QPointer<ArticlePane> self(this);
    AFNetManager::requestWithUrlString(
        kUrlPostVote, false, fields, 1, nullptr,
        [self, voteId](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
            if (!self)
                return;
            TTXMLParser parser(reply.toByteArray());
            parser.parse();
            const auto& root = parser.rootObject();
            if (root && !root->value(TTXMLKeys::kValue).toString().isEmpty())
                self->getVoteById(voteId);
            self->m_host->evaluateScript(QStringLiteral("voteButtonState('投票')"));
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error&) {
            if (self)
                self->m_host->evaluateScript(QStringLiteral("voteButtonState('投票')"));
        });
}
