#include "comments/HotCommentListModel.h"

#include "comments/CommentFeedJsonp.h"
#include "database/CacheLayout.h"
#include "database/DatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "platform/StorageRoot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QPointer>
#include <QUrl>

namespace {
int64_t integer(const QVariantMap& object, const char* key)
{
    return object.value(QString::fromLatin1(key)).toLongLong();
}
QString text(const QVariantMap& object, const char* key)
{
    const QVariant value = object.value(QString::fromLatin1(key));
    return value.isValid() && !value.isNull() ? value.toString() : QStringLiteral("");
}
}  // namespace

HotCommentListModel::HotCommentListModel(NewsListDataPtr channel, QObject* parent)
    : QAbstractListModel(parent), m_channel(channel ? std::move(channel) : std::make_shared<NewsListData>())
{
}

HotCommentListModel::~HotCommentListModel()
{
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
}

std::optional<QList<CommentFeedPtr>> HotCommentListModel::parse(const QByteArray& reply)
{
    QVariantList items;
    if (const auto wrapped = CommentFeedJsonp::parse(reply)) {
        items = *wrapped;
    } else {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(reply, &error);
        if (error.error != QJsonParseError::NoError || !document.isArray())
            return std::nullopt;
        items = document.array().toVariantList();
    }
    QList<CommentFeedPtr> comments;
    for (const QVariant& item : items) {
        if (item.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap object = item.toMap();
        auto feed = std::make_shared<CommentFeed>();
        feed->rank = comments.size() + 1;
        feed->newsId = integer(object, "I");
        feed->newsTitle = text(object, "T");
        feed->newsUrl = text(object, "U");
        feed->commentId = integer(object, "CI");
        feed->comment = text(object, "C");
        feed->userId = integer(object, "Ui");
        feed->userName = text(object, "N");
        feed->imgUrl = CommonFunction::GetAvatarAddress(QString::number(feed->userId));
        feed->location = text(object, "Y");
        feed->postTime = text(object, "D");
        feed->device = text(object, "Ta");
        feed->client = integer(object, "Cl");
        feed->sCount = integer(object, "S");
        feed->aCount = integer(object, "A");
        feed->floor = text(object, "SF");
        comments.append(feed);
    }
    return comments;
}

QString HotCommentListModel::filePathForUrl(const QString& url)
{
    return CacheLayout::filePathForUrl(CacheLayout::kNewsListFolder, url);
}

int HotCommentListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_comments.size());
}

QVariant HotCommentListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const CommentFeed& feed = *m_comments[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case CommentRole:
        return feed.comment;
    case NewsTitleRole:
        return feed.newsTitle;
    case UserNameRole:
        return feed.userName;
    case SupportRole:
        return qlonglong(feed.sCount);
    case NewsIdRole:
        return qlonglong(feed.newsId);
    case AvatarRole:
        return QUrl(feed.imgUrl);
    case HaveReadRole:
        return feed.isHaveRead;
    case CommentIdRole:
        return qlonglong(feed.commentId);
    case Qt::ForegroundRole:
        return feed.isHaveRead ? QVariant(kReadColour) : QVariant();
    default:
        return {};
    }
}

QHash<int, QByteArray> HotCommentListModel::roleNames() const
{
    return {{NewsTitleRole, "T"}, {CommentRole, "C"}, {UserNameRole, "N"}, {SupportRole, "S"}, {NewsIdRole, "I"}};
}

void HotCommentListModel::showByClick(bool byClick)
{
    if (m_comments.isEmpty())
        loadLocalData();
    const int64_t type = CommonFunction::getWebFileLastUpdateTimeTypeByListType(m_channel->iListID);
    if (!m_shownOnce || !byClick || CommonFunction::needReloadWebFile(type))
        load();
    m_shownOnce = true;
}

void HotCommentListModel::setComments(const QList<CommentFeedPtr>& comments)
{
    beginResetModel();
    m_comments = comments;
    endResetModel();
}

void HotCommentListModel::showComments(QList<CommentFeedPtr> comments)
{
    {
        DatabaseOperate::Lease store;
        if (store)
            store->getHotCommentState(comments);
    }
    setComments(comments);
}

void HotCommentListModel::loadLocalData()
{
    if (m_channel->ListUrl.isEmpty())
        return;
    QFile file(filePathForUrl(m_channel->ListUrl));
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (const auto comments = parse(file.readAll()); comments && !comments->isEmpty())
        showComments(*comments);
}

void HotCommentListModel::markRead(int row)
{
    if (row < 0 || row >= m_comments.size())
        return;
    const CommentFeedPtr& feed = m_comments[row];
    {
        DatabaseOperate::Lease store;
        if (store)
            store->setHotCommentState(QString::number(feed->commentId), true);
    }
    feed->isHaveRead = true;
    emit dataChanged(index(row), index(row));
}

void HotCommentListModel::load()
{
    if (m_channel->ListUrl.isEmpty())
        return;
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
    m_loading = true;
    QPointer<HotCommentListModel> self(this);
    m_session = AFNetManager::requestWithUrlString(
        m_channel->ListUrl, true, QVariant(), 1, nullptr,
        [self](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!self)
                return;
            self->m_loading = false;
            const QByteArray bytes = body.toByteArray();
            const auto comments = parse(bytes);
            if (comments) {
                // A reply without rows leaves the kept one in place.
                if (!comments->isEmpty())
                    StorageRoot::writeFileAtomically(filePathForUrl(self->m_channel->ListUrl), bytes);
                self->showComments(*comments);
                CommonFunction::saveWebFileLastUpdateTime(
                    CommonFunction::getWebFileLastUpdateTimeTypeByListType(self->m_channel->iListID));
            }
            emit self->loadFinished(comments.has_value());
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (!self || error.code == NSURLErrorCancelled)
                return;
            self->m_loading = false;
            emit self->loadFinished(false);
        });
}
