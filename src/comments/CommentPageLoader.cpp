#include "comments/CommentPageLoader.h"

#include "comments/CommentFeedJsonp.h"
#include "comments/CommentPageBuilder.h"
#include "comments/CommentVoter.h"
#include "comments/CommentWriter.h"
#include "comments/CommentsShell.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/GlobalValues.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"
#include "platform/NotificationCenter.h"

#include <QVariantMap>

#include <limits>
#include <optional>

namespace {

// The user's own votes on these comments: every build of a row marks them.
CommentPageBuilder::Votes recordedVotes(const QVariantList& comments)
{
    CommentPageBuilder::Votes votes;
    for (const QVariant& item : comments) {
        const QString id = QString::number(item.toMap().value(QStringLiteral("CI")).toLongLong());
        if (const int64_t vote = CommentVoter::recordedVote(id); vote != CommentVoter::None)
            votes.insert(id, vote);
    }
    return votes;
}

}  // namespace

CommentPageLoader::CommentPageLoader(QObject* parent) : QObject(parent)
{
    // A comment on another article than the one this page holds changes nothing here: that
    // article's page fetches its list when it is opened.
    NotificationCenter::defaultCenter().addObserver(
        this, QLatin1String(CommentEvents::kReloadCommentView), nullptr, [this](const Notification& note) {
            if (note.userInfo.value(QString::fromLatin1(CommentEvents::kNewsIdKey)).toString() == m_newsId)
                reload();
        });
}

CommentPageLoader::~CommentPageLoader()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
}

void CommentPageLoader::giveUpLoad()
{
    m_load.next();
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
    m_session.reset();
    m_loading = false;
}

void CommentPageLoader::openNewsComment(const QString& newsId, const QString& title, const QString& link)
{
    giveUpLoad();
    // The same article opened again keeps its list on screen while it is fetched anew.
    const bool again = newsId == m_newsId && m_state == PageState::Shown;
    m_newsId = newsId;
    m_title = title;
    m_link = link;
    m_userAsked = false;
    const QString url = CommentUrls::commentListUrl(kUrlCommentList, newsId);
    if (again && !url.isEmpty()) {
        get(url, QString(), m_load.next());
        return;
    }
    m_lastModified.clear();
    m_comments.clear();
    // The article's own page at once: nothing of the article before stays on screen meanwhile.
    setState(url.isEmpty() ? PageState::Shown : PageState::Loading);
    render();
    if (!url.isEmpty())
        get(url, QString(), m_load.next());
}

void CommentPageLoader::refreshComment(bool userAsked)
{
    // The reader's refresh runs the same check: an unchanged list is not fetched again.
    const QString url = CommentUrls::commentListUrl(kUrlCommentList, m_newsId);
    if (url.isEmpty())
        return;
    // A load that hangs must not hold the refresh until its timeout: it is given up, and this
    // refresh answers for it too (its failure is then the reader's to hear of when either asked).
    m_userAsked = m_userAsked || userAsked;
    if (m_loading)
        giveUpLoad();
    startLoading();
    const quint64 load = m_load.next();
    m_session = AFNetManager::requestWithUrlString(
        url, false, QVariant(), 1, nullptr, session(),
        m_load.guard(this, load, [url, load](CommentPageLoader& loader, const std::shared_ptr<URLSessionDataTask>& task, const QVariant&) {
            const QString lastModified = responseHeaderField(task, QStringLiteral("Last-Modified"));
            if (!lastModified.isEmpty() && lastModified == loader.m_lastModified) {
                loader.loaded();
                return;
            }
            loader.get(url, lastModified, load);
        }),
        m_load.guard(this, load, [](CommentPageLoader& loader, const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (error.code != NSURLErrorCancelled)
                loader.failed();
        }));
}

void CommentPageLoader::reload()
{
    const QString url = CommentUrls::commentListUrl(kUrlCommentList, m_newsId);
    if (url.isEmpty())
        return;
    // The running load may have been answered before the comment was stored, and one that hangs
    // would hold the comment back until its timeout: it is given up, and the list asked for now.
    if (m_loading)
        giveUpLoad();
    get(url, QString(), m_load.next());
}

void CommentPageLoader::get(const QString& url, const QString& lastModified, quint64 load)
{
    startLoading();
    m_session = AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr, session(),
        m_load.guard(this, load, [lastModified](CommentPageLoader& loader, const std::shared_ptr<URLSessionDataTask>& task, const QVariant& body) {
            const auto comments = CommentFeedJsonp::parse(body.toByteArray());
            if (!comments) {
                loader.failed();
                return;
            }
            loader.m_comments = *comments;
            const QString modified = responseHeaderField(task, QStringLiteral("Last-Modified"));
            loader.m_lastModified = modified.isEmpty() ? lastModified : modified;
            loader.storeRepliesSeen();
            loader.setState(PageState::Shown);
            loader.render();
            loader.loaded();
        }),
        m_load.guard(this, load, [](CommentPageLoader& loader, const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (error.code != NSURLErrorCancelled)
                loader.failed();
        }));
}

void CommentPageLoader::setRequestTimeout(double seconds)
{
    m_requestTimeout = seconds;
    // The session holds the timeout it was made with: an idle one makes way for a new one.
    if (m_session && !m_loading) {
        m_session->invalidateSessionCancelingTasks(true);
        m_session.reset();
    }
}

std::shared_ptr<AFHTTPSessionManager> CommentPageLoader::session()
{
    if (!m_session) {
        URLSessionConfiguration configuration = URLSessionConfiguration::defaultSessionConfiguration();
        configuration.timeoutIntervalForRequest = m_requestTimeout;
        m_session = std::make_shared<AFHTTPSessionManager>(QUrl(), configuration);
    }
    return m_session;
}

void CommentPageLoader::startLoading()
{
    m_loading = true;
    if (m_state != PageState::Failed)
        return;
    setState(PageState::Loading);
    render();
}

void CommentPageLoader::failed()
{
    // A list on screen stays; without one the page is a failure, never an empty list. Only the
    // reader's own refresh says that it failed: the automatic ones keep quiet.
    if (m_state == PageState::Shown) {
        if (m_userAsked)
            emit refreshFailed();
    } else {
        setState(PageState::Failed);
        render();
    }
    loaded();
}

void CommentPageLoader::setState(PageState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit pageStateChanged(state);
}

void CommentPageLoader::loaded()
{
    m_loading = false;
    m_userAsked = false;
}

qint64 CommentPageLoader::newestReplyTo(const QVariantList& comments, const QString& userId)
{
    qint64 newest = 0;
    if (userId.isEmpty())
        return newest;
    for (const QVariant& item : comments) {
        const QVariantMap comment = item.toMap();
        if (comment.value(QStringLiteral("Ui")).toString() != userId)
            continue;
        for (const QVariant& reply : comment.value(QStringLiteral("R")).toList())
            newest = std::max(newest, reply.toMap().value(QStringLiteral("CI")).toLongLong());
    }
    return newest;
}

void CommentPageLoader::storeRepliesSeen()
{
    UserLandDataPtr account;
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            account = settings->UserLandData_getCurrentUserData();
    }
    if (!account || !account->bHaveLand || account->UserID.isEmpty())
        return;
    const qint64 newest = newestReplyTo(m_comments, account->UserID);
    // The table keeps a 32-bit id.
    if (newest <= 0 || newest > std::numeric_limits<int>::max())
        return;
    {
        DatabaseOperate::Lease store;
        if (!store || newest <= store->CommentManageMaxId_getMaxId(account->UserID))
            return;
        // Storing the newest id seen also clears the reminder.
        if (!store->CommentManageMaxId_setMaxId(int(newest), account->UserID))
            return;
    }
    if (const auto shell = CommentsShell::installed())
        shell->replyRemindCleared();
}

void CommentPageLoader::applyVote(const QString& commentId, int64_t type, bool zhiChi)
{
    const QString key = type == CommentVoter::Support ? QStringLiteral("S") : QStringLiteral("A");
    // A vote that returns after the reader moved on to another article changes nothing shown.
    std::optional<QVariantMap> changed;
    for (QVariant& item : m_comments) {
        QVariantMap comment = item.toMap();
        if (QString::number(comment.value(QStringLiteral("CI")).toLongLong()) != commentId)
            continue;
        const qlonglong count = comment.value(key).toLongLong();
        comment.insert(key, std::max<qlonglong>(0, count + (zhiChi ? 1 : -1)));
        item = comment;
        changed = comment;
    }
    if (!changed)
        return;
    m_htmlStale = true;
    const QVariantList row{*changed};
    emit commentChanged(commentId, CommentPageBuilder::rowsHtml(row, recordedVotes(row)));
}

void CommentPageLoader::render()
{
    m_html = pageHtml();
    m_htmlStale = false;
    emit pageReady(m_html);
}

QString CommentPageLoader::html() const
{
    if (m_htmlStale) {
        m_html = pageHtml();
        m_htmlStale = false;
    }
    return m_html;
}

QString CommentPageLoader::pageHtml() const
{
    return CommentPageBuilder::pageHtml(m_title, m_link, m_comments, gThemeMode, recordedVotes(m_comments),
                                        m_state == PageState::Shown);
}
