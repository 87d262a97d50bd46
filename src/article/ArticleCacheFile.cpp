#include "article/ArticleCacheFile.h"

#include "database/CacheLayout.h"
#include "foundation/DigitIds.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "platform/StorageRoot.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace ArticleIds {

bool isNewsId(const QString& id)
{
    return isDigitId(id);
}

bool isDealId(const QString& id)
{
    return isNewsId(id);
}

bool isVoteId(const QString& id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_/]+$"));
    return !id.isEmpty() && pattern.match(id).hasMatch();
}

}  // namespace ArticleIds

NewsIdPath NewsIdPath::forNewsId(const QString& newsId)
{
    const qsizetype n = newsId.size();
    if (n <= 3)
        return {QStringLiteral("0"), newsId};
    return {newsId.left(n - 3), newsId.right(3)};
}

namespace ArticleUrls {

QString newsContentUrl(const QString& newsId)
{
    if (!ArticleIds::isNewsId(newsId))
        return {};
    return QStringLiteral("%1/%2").arg(kUrlNewsContent, NewsIdPath::forNewsId(newsId).xmlPath());
}

QString feedUrl(const QString& newsId)
{
    if (!ArticleIds::isNewsId(newsId))
        return {};
    return QStringLiteral("%1/%2.xml").arg(kUrlRss, newsId);
}

int64_t kindOfUrl(const QString& url)
{
    if (!kUrlNewsContent.isEmpty() && url.startsWith(kUrlNewsContent))
        return ArticleKind::kNewsContent;
    if (!kUrlRss.isEmpty() && url.startsWith(kUrlRss))
        return ArticleKind::kFeed;
    return 0;
}

QString hotCommentUrl(const QString& newsId)
{
    if (!ArticleIds::isNewsId(newsId))
        return {};
    const QString stem = CommonFunction::EncrypteUTF8(newsId, kDesKeyRequest).toUpper();
    const QString folder = NewsIdPath::forNewsId(newsId).folder;
    return QStringLiteral("%1/%2/%3.json").arg(kUrlHotCommentList, folder, stem);
}

QString relatedNewsUrl(const QString& newsId)
{
    if (!ArticleIds::isNewsId(newsId))
        return {};
    // Ids too long for a 64-bit number still give a path; only their thousands are printed.
    bool ok = false;
    const qulonglong value = newsId.toULongLong(&ok);
    const QString thousands = ok ? QStringLiteral("%1").arg(value / 1000, 4, 10, QLatin1Char('0'))
                                 : newsId.left(newsId.size() - 3);
    return QStringLiteral("%1/%2/%3.json").arg(kUrlTags, thousands, newsId);
}

QString voteUrl(const QString& voteId, int64_t userId)
{
    if (!ArticleIds::isVoteId(voteId))
        return {};
    return QStringLiteral("%1/%2_%3.xml").arg(kUrlVoteXml, voteId).arg(userId);
}

}  // namespace ArticleUrls

QString ArticleCacheFile::folderPath()
{
    const QString path = CacheLayout::folderPath(CacheLayout::kSingleNewsFolder);
    StorageRoot::ensureFolder(path);
    return path;
}

QString ArticleCacheFile::filePathForGuid(const QString& newsId, int64_t kind)
{
    if (!ArticleIds::isNewsId(newsId))
        return {};
    return QDir(folderPath()).filePath(QStringLiteral("%1_%2.xml").arg(newsId).arg(kind));
}

bool ArticleCacheFile::write(const QString& newsId, int64_t kind, const QByteArray& bytes)
{
    const QString path = filePathForGuid(newsId, kind);
    return !path.isEmpty() && StorageRoot::writeFileAtomically(path, bytes);
}

QByteArray ArticleCacheFile::read(const QString& newsId, int64_t kind)
{
    const QString path = filePathForGuid(newsId, kind);
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
