#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Article document kinds: 1 the news-content document, 2 the feed document.
namespace ArticleKind {
inline constexpr int64_t kNewsContent = 1;
inline constexpr int64_t kFeed = 2;
}  // namespace ArticleKind

// Identifiers that end up in file names, URL paths and page scripts. Ids from the network or
// from a page are checked here before they are used anywhere.
namespace ArticleIds {
// One or more ASCII digits.
bool isNewsId(const QString& id);
// Deal ids are digits as well.
bool isDealId(const QString& id);
// Vote ids: [A-Za-z0-9_/]+.
bool isVoteId(const QString& id);
}  // namespace ArticleIds

// The server path of per-article files: news ids of three characters or fewer live in folder
// "0", longer ones in the folder of all but their last three characters.
struct NewsIdPath
{
    QString folder;
    QString stem;

    static NewsIdPath forNewsId(const QString& newsId);
    // "folder/stem.xml".
    QString xmlPath() const { return folder + QLatin1Char('/') + stem + QStringLiteral(".xml"); }
};

// Article addresses; each answers a null text for an id that is not a news id.
namespace ArticleUrls {
// kUrlNewsContent + "/" + NewsIdPath.
QString newsContentUrl(const QString& newsId);
// kUrlRss + "/" + id + ".xml".
QString feedUrl(const QString& newsId);
// The kind an address belongs to: 1 for the news-content base, 2 for the feed base, else 0.
int64_t kindOfUrl(const QString& url);
// kUrlHotCommentList + "/" + folder + "/" + upper-case DES-hex of the id + ".json".
QString hotCommentUrl(const QString& newsId);
// kUrlTags + "/" + "%04ld" of id / 1000 + "/" + id + ".json".
QString relatedNewsUrl(const QString& newsId);
// kUrlVoteXml + "/" + vote id + "_" + user id + ".xml".
QString voteUrl(const QString& voteId, int64_t userId);
}  // namespace ArticleUrls

// The article cache: Documents/tmp/tidwensinglenewspath/<id>_<kind>.xml under the storage root.
class ArticleCacheFile
{
public:
    ArticleCacheFile() = delete;

    // CacheLayout's article folder, created with its parents.
    static QString folderPath();
    // The file of a news id and kind; null for an id that is not a news id.
    static QString filePathForGuid(const QString& newsId, int64_t kind);
    // Writes the bytes atomically; false when the id is not a news id or the write failed.
    static bool write(const QString& newsId, int64_t kind, const QByteArray& bytes);
    // The file's bytes; empty when it is missing or the id is not a news id.
    static QByteArray read(const QString& newsId, int64_t kind);
};
