#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace standin {

// A small deterministic generator (splitmix64): the same seed gives the same content on every
// machine and build.
class Random
{
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next();
    // A number in [low, high].
    int range(int low, int high);
    template <typename T>
    const T& pick(const QList<T>& list) { return list.at(range(0, static_cast<int>(list.size()) - 1)); }

private:
    uint64_t m_state;
};

// The project's sample texts (content/corpus.txt): sections of lines.
class Corpus
{
public:
    // The corpus compiled into the program.
    static const Corpus& builtIn();
    static Corpus fromText(const QString& text);

    QStringList section(const QString& name) const { return m_sections.value(name); }

private:
    QMap<QString, QStringList> m_sections;
};

// One news item of the service: list entry and article at once.
struct NewsItem
{
    qint64 id = 0;
    int channel = 0;
    QString title;
    QDateTime postDate;  // UTC
    QString source;
    QString author;      // "-" for none
    QString editor;
    QString titleColor;
    QString flags;       // "v": video, vote, own reporting
    bool pinned = false;
    int hitCount = 0;
    int commentCount = 0;
    bool forbidComment = false;
    QString description;
    QStringList paragraphs;
    QStringList pictures;    // article body picture addresses
    QString thumbnail;       // list picture address (".jpg"; the client asks "_240.jpg")
    qint64 linkTo = 0;       // in-site link to this article (0: none)
    qint64 voteId = 0;       // embedded vote (0: none)
    bool scoreOff = false;   // "ndg" 1: no score block
    int version = 0;         // raised by touching
};

struct Slide
{
    QString title;
    QString link;
    QString newsType;
    QString openType;
    QString image;
    QString device;
};

struct Comment
{
    qint64 id = 0;
    qint64 newsId = 0;
    QString newsTitle;
    QString newsUrl;
    QString text;
    qint64 userId = 0;
    QString userName;
    QString location;
    QDateTime postTime;  // UTC
    QString device;
    int client = 14;
    int support = 0;
    int against = 0;
    QString floor;
    QList<Comment> replies;
};

struct Deal
{
    qint64 productId = 0;
    QString name;
    QDateTime createTime;  // UTC
    QString store;
    QString picture;       // path under the deals picture base
    QString promotion;
    int tag = 0;           // category 1-3
};

// Everything the stand-in serves, made from a seed and a content clock. Same seed and clock,
// same content; publishing and touching change it the same way every time.
class StandinContent
{
public:
    static constexpr int kMainChannel = 101;
    static constexpr int kRankChannel = 102;
    static constexpr int kHotCommentChannel = 153;
    static constexpr int kMainListSize = 20;
    static constexpr int kPageSize = 20;
    static constexpr int kMainPoolSize = 24;

    StandinContent(uint64_t seed, const QDateTime& now, const Corpus& corpus = Corpus::builtIn());

    QDateTime now() const { return m_now; }
    uint64_t seed() const { return m_seed; }

    // List feeds by their file stem ("news", "ios", "phone", ...); -1 when none.
    static int channelOfListName(const QString& stem);
    static QString listNameOfChannel(int channel);
    // Channels with a slide feed, by slide file stem ("slide" for 101).
    static int channelOfSlideName(const QString& stem);

    // The channel's items, newest first (channel 101: its first page only when firstPage).
    QList<const NewsItem*> channelItems(int channel) const;
    QList<const NewsItem*> firstPage(int channel) const;
    // Items of the channel older than id (lower ids), at most kPageSize.
    QList<const NewsItem*> olderItems(int channel, qint64 id) const;
    // The four ranking sections of 12.
    QList<QList<const NewsItem*>> rankSections() const;
    QList<Slide> slides(int channel) const;
    const NewsItem* item(qint64 id) const;
    // Items whose title holds the word, newest first, below the cursor when cursor > 0.
    QList<const NewsItem*> search(const QString& word, qint64 belowId, int count) const;
    QList<const NewsItem*> related(qint64 id) const;

    QList<Comment> hotComments(qint64 newsId) const;       // 4
    QList<Comment> comments(qint64 newsId) const;          // a page with replies
    QList<Comment> channelHotComments() const;             // 10, for channel 153
    QList<Deal> deals() const { return m_deals; }          // 30
    const Deal* deal(qint64 productId) const;

    // Publishes n new items on top of channel 101; returns their ids.
    QList<qint64> publish(int n);
    // Changes an article's bytes; false for an unknown id.
    bool touch(qint64 id);
    // Stores a comment a user posted: on top of the article's comment page, or as a reply under
    // the posted comment parentId names. Null for an unknown article or parent.
    const Comment* postComment(qint64 newsId, qint64 parentId, const QString& text, qint64 userId,
                               const QString& userName);
    // How many replies to the user's posted comments have an id above afterId.
    int repliesTo(qint64 userId, qint64 afterId) const;

    // The article page of an item on the main site: its path, as the feeds give it, and its whole
    // address.
    static QString htmlPath(const NewsItem& item);
    static QString htmlAddress(const NewsItem& item);

private:
    NewsItem makeItem(Random& random, qint64 id, int channel, const QDateTime& postDate);
    QString fill(Random& random, const QString& pattern) const;
    Comment makeComment(Random& random, qint64 id, const NewsItem* news, int floor) const;
    // The slides of a channel that has a slide feed.
    QList<Slide> makeSlides(int channel) const;

    uint64_t m_seed;
    QDateTime m_now;
    Corpus m_corpus;
    QHash<qint64, NewsItem> m_items;
    QMap<int, QList<qint64>> m_channels;  // newest first
    QList<Deal> m_deals;
    QMap<int, QList<Slide>> m_slides;
    int m_published = 0;
    QHash<qint64, QList<Comment>> m_posted;  // per article, newest first
    qint64 m_lastPostedId = 0;
};

}  // namespace standin
