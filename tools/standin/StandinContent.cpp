#include "StandinContent.h"

#include <QFile>

#include <algorithm>

namespace standin {
namespace {

struct ChannelName
{
    int channel;
    const char* list;
    const char* slide;  // nullptr: no slide feed
};

constexpr ChannelName kChannels[] = {
    {101, "news", "slide"}, {102, "rank", nullptr},   {109, "ios", "ios"},         {103, "phone", nullptr},
    {104, "digi", nullptr}, {105, "labs", nullptr},   {151, "geek", nullptr},      {106, "vr", nullptr},
    {107, "auto", nullptr}, {108, "pc", nullptr},     {111, "internet", nullptr},  {112, "it", nullptr},
    {113, "game", nullptr}, {110, "windows", "windows"}, {152, "android", "android"}, {114, "discovery", nullptr},
};

constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 3600;
constexpr qint64 kDay = 86400;

// Mixes a number into the seed, so each item's content depends on its id only.
uint64_t mix(uint64_t seed, uint64_t value)
{
    return seed * 0x9E3779B97F4A7C15ULL ^ (value + 0x632BE59BD9B4E019ULL);
}

}  // namespace

uint64_t Random::next()
{
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int Random::range(int low, int high)
{
    if (high <= low)
        return low;
    return low + static_cast<int>(next() % static_cast<uint64_t>(high - low + 1));
}

Corpus Corpus::fromText(const QString& text)
{
    Corpus corpus;
    QString current;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2);
            continue;
        }
        if (!current.isEmpty())
            corpus.m_sections[current].append(line);
    }
    return corpus;
}

const Corpus& Corpus::builtIn()
{
    static const Corpus corpus = [] {
        QFile file(QStringLiteral(":/standin/corpus.txt"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("stand-in: the content corpus is missing from the program");
        return fromText(QString::fromUtf8(file.readAll()));
    }();
    return corpus;
}

int StandinContent::channelOfListName(const QString& stem)
{
    for (const ChannelName& c : kChannels) {
        if (stem == QLatin1String(c.list))
            return c.channel;
    }
    return -1;
}

QString StandinContent::listNameOfChannel(int channel)
{
    for (const ChannelName& c : kChannels) {
        if (c.channel == channel)
            return QString::fromLatin1(c.list);
    }
    return QString();
}

int StandinContent::channelOfSlideName(const QString& stem)
{
    for (const ChannelName& c : kChannels) {
        if (c.slide && stem == QLatin1String(c.slide))
            return c.channel;
    }
    return -1;
}

QString StandinContent::fill(Random& random, const QString& pattern) const
{
    QString text = pattern;
    const auto replace = [&](const QString& key, const QString& section) {
        while (text.contains(key))
            text.replace(text.indexOf(key), key.size(), random.pick(m_corpus.section(section)));
    };
    replace(QStringLiteral("{firm}"), QStringLiteral("firms"));
    replace(QStringLiteral("{product}"), QStringLiteral("products"));
    replace(QStringLiteral("{kind}"), QStringLiteral("kinds"));
    replace(QStringLiteral("{city}"), QStringLiteral("cities"));
    replace(QStringLiteral("{person}"), QStringLiteral("people"));
    while (text.contains(QLatin1String("{number}")))
        text.replace(text.indexOf(QLatin1String("{number}")), 8, QString::number(random.range(3, 98) * 10));
    return text;
}

NewsItem StandinContent::makeItem(Random& random, qint64 id, int channel, const QDateTime& postDate)
{
    NewsItem item;
    item.id = id;
    item.channel = channel;
    item.postDate = postDate;
    item.title = fill(random, random.pick(m_corpus.section(QStringLiteral("titles"))));
    item.source = random.pick(m_corpus.section(QStringLiteral("sources")));
    item.author = random.range(0, 3) == 0 ? QStringLiteral("-") : random.pick(m_corpus.section(QStringLiteral("people")));
    item.editor = random.pick(m_corpus.section(QStringLiteral("people")));
    item.flags = item.source == QLatin1String("Tidwen 原创") ? QStringLiteral("001") : QStringLiteral("000");
    item.hitCount = random.range(200, 90000);
    item.commentCount = random.range(0, 400);
    const int paragraphs = random.range(3, 5);
    for (int i = 0; i < paragraphs; ++i)
        item.paragraphs.append(fill(random, random.pick(m_corpus.section(QStringLiteral("paragraphs")))));
    item.description = item.paragraphs.first();
    const QString month = postDate.toUTC().toString(QStringLiteral("yyyy/MM"));
    const int pictures = random.range(1, 3);
    for (int k = 1; k <= pictures; ++k)
        item.pictures.append(QStringLiteral("http://img.tidwen.example/newsuploadfiles/2/%1/%2_%3_640x400.jpg")
                                 .arg(month).arg(id).arg(k));
    item.thumbnail = QStringLiteral("http://img.tidwen.example/newsuploadfiles/2/thumb/%1.jpg").arg(id);
    return item;
}

StandinContent::StandinContent(uint64_t seed, const QDateTime& now, const Corpus& corpus)
    : m_seed(seed), m_now(now.toUTC()), m_corpus(corpus)
{
    const qint64 nowSecs = m_now.toSecsSinceEpoch();
    Random layout(mix(seed, 1));
    qint64 id = 712000 + static_cast<qint64>(seed % 1000);

    // Channel 101: 24 articles, each a little older than the one above.
    QList<qint64>& main = m_channels[kMainChannel];
    qint64 minutesAgo = 0;
    for (int i = 0; i < kMainPoolSize; ++i) {
        minutesAgo += layout.range(20, 150);
        qint64 age = minutesAgo * kMinute;
        if (i == kMainPoolSize - 1)
            age = 31 * kDay + kHour;  // old enough that its comments are closed
        Random random(mix(seed, static_cast<uint64_t>(id)));
        NewsItem item = makeItem(random, id, kMainChannel, QDateTime::fromSecsSinceEpoch(nowSecs - age, Qt::UTC));
        m_items.insert(id, item);
        main.append(id);
        id -= layout.range(1, 6);
    }
    // The special ones among them.
    m_items[main[2]].linkTo = main[7];
    m_items[main[4]].voteId = 7000 + static_cast<qint64>(seed % 100);
    m_items[main[4]].flags = QStringLiteral("010");
    m_items[main[6]].pinned = true;
    m_items[main[0]].source = QStringLiteral("Tidwen 原创");
    m_items[main[0]].flags = QStringLiteral("001");
    m_items[main[9]].scoreOff = true;
    m_items[main[11]].forbidComment = true;

    // The other list channels: 6 to 12 items each, within the last 30 days.
    id -= 50;
    for (const ChannelName& c : kChannels) {
        if (c.channel == kMainChannel || c.channel == kRankChannel)
            continue;
        const int count = layout.range(6, 12);
        qint64 hoursAgo = 0;
        for (int i = 0; i < count; ++i) {
            hoursAgo += layout.range(2, 40);
            Random random(mix(seed, static_cast<uint64_t>(id)));
            NewsItem item =
                makeItem(random, id, c.channel, QDateTime::fromSecsSinceEpoch(nowSecs - hoursAgo * kHour, Qt::UTC));
            m_items.insert(id, item);
            m_channels[c.channel].append(id);
            id -= layout.range(1, 4);
        }
    }

    // Deals: 30 products in three categories.
    const QString month = m_now.toString(QStringLiteral("yyyy/MM"));
    for (int i = 0; i < 30; ++i) {
        Random random(mix(seed, 51001 + static_cast<uint64_t>(i)));
        Deal deal;
        deal.productId = 51001 + i;
        deal.name = fill(random, random.pick(m_corpus.section(QStringLiteral("deals"))));
        deal.createTime = QDateTime::fromSecsSinceEpoch(nowSecs - (i + 1) * 2 * kHour - random.range(0, 59) * kMinute, Qt::UTC);
        deal.store = i % 7 == 3 ? QString() : random.pick(m_corpus.section(QStringLiteral("stores")));
        deal.picture = QStringLiteral("/%1/%2_240x240.jpg").arg(month).arg(deal.productId);
        deal.promotion = fill(random, random.pick(m_corpus.section(QStringLiteral("promotions"))));
        deal.tag = 1 + i % 3;
        m_deals.append(deal);
    }
    // Slides are made once: publishing adds news, not slides.
    for (const ChannelName& c : kChannels) {
        if (c.slide)
            m_slides.insert(c.channel, makeSlides(c.channel));
    }
}

QList<Slide> StandinContent::slides(int channel) const
{
    return m_slides.value(channel);
}

QList<const NewsItem*> StandinContent::channelItems(int channel) const
{
    QList<const NewsItem*> items;
    for (qint64 id : m_channels.value(channel))
        items.append(&m_items.find(id).value());
    return items;
}

QList<const NewsItem*> StandinContent::firstPage(int channel) const
{
    QList<const NewsItem*> items = channelItems(channel);
    if (channel == kMainChannel && items.size() > kMainListSize)
        items.resize(kMainListSize);
    return items;
}

QList<const NewsItem*> StandinContent::olderItems(int channel, qint64 id) const
{
    QList<const NewsItem*> items;
    for (const NewsItem* item : channelItems(channel)) {
        if (item->id < id && items.size() < kPageSize)
            items.append(item);
    }
    return items;
}

QList<QList<const NewsItem*>> StandinContent::rankSections() const
{
    QList<const NewsItem*> all;
    for (auto it = m_channels.constBegin(); it != m_channels.constEnd(); ++it) {
        for (qint64 id : it.value())
            all.append(&m_items.find(id).value());
    }
    std::sort(all.begin(), all.end(), [](const NewsItem* a, const NewsItem* b) { return a->id > b->id; });
    QList<QList<const NewsItem*>> sections;
    for (int s = 0; s < 4; ++s) {
        Random random(mix(m_seed, 900 + static_cast<uint64_t>(s)));
        QList<const NewsItem*> pool = all;
        QList<const NewsItem*> section;
        while (section.size() < 12 && !pool.isEmpty())
            section.append(pool.takeAt(random.range(0, static_cast<int>(pool.size()) - 1)));
        std::sort(section.begin(), section.end(),
                  [s](const NewsItem* a, const NewsItem* b) {
                      return s == 2 ? a->commentCount > b->commentCount : a->hitCount > b->hitCount;
                  });
        sections.append(section);
    }
    return sections;
}

QList<Slide> StandinContent::makeSlides(int channel) const
{
    const QList<const NewsItem*> items = channelItems(channel);
    if (items.isEmpty())
        return {};
    const bool main = channel == kMainChannel;
    const int count = main ? 5 : 3;
    static const char* const kOpenTypes[] = {"1", "1", "2", "3", "1"};
    static const char* const kDevices[] = {"", "6", "56", "", "6"};
    Random random(mix(m_seed, 700 + static_cast<uint64_t>(channel)));
    QList<Slide> slides;
    for (int i = 0; i < count; ++i) {
        Slide slide;
        slide.title = fill(random, random.pick(m_corpus.section(QStringLiteral("slides"))));
        slide.openType = QString::fromLatin1(kOpenTypes[i]);
        slide.device = QString::fromLatin1(kDevices[i]);
        slide.newsType = QStringLiteral("1");
        const NewsItem* item = items.at(i % items.size());
        if (slide.openType == QLatin1String("1"))
            slide.link = QString::number(item->id);
        else if (slide.openType == QLatin1String("2"))
            slide.link = QStringLiteral("http://www.tidwen.example/special/%1.htm").arg(channel * 10 + i);
        else
            slide.link = QString::number(m_deals.at(i).productId);
        slide.image = QStringLiteral("http://img.tidwen.example/slide/%1_%2_640x300.jpg").arg(channel).arg(i + 1);
        slides.append(slide);
    }
    return slides;
}

const NewsItem* StandinContent::item(qint64 id) const
{
    const auto it = m_items.constFind(id);
    return it == m_items.constEnd() ? nullptr : &it.value();
}

QList<const NewsItem*> StandinContent::search(const QString& word, qint64 belowId, int count) const
{
    QList<const NewsItem*> found;
    if (word.trimmed().isEmpty())
        return found;
    for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
        if (it->title.contains(word, Qt::CaseInsensitive) && (belowId <= 0 || it->id < belowId))
            found.append(&it.value());
    }
    std::sort(found.begin(), found.end(), [](const NewsItem* a, const NewsItem* b) { return a->id > b->id; });
    if (found.size() > count)
        found.resize(count);
    return found;
}

QList<const NewsItem*> StandinContent::related(qint64 id) const
{
    const NewsItem* self = item(id);
    if (!self)
        return {};
    QList<const NewsItem*> pool = channelItems(self->channel == kMainChannel ? 103 : kMainChannel);
    Random random(mix(m_seed, static_cast<uint64_t>(id) + 31));
    QList<const NewsItem*> related;
    while (related.size() < 5 && !pool.isEmpty()) {
        const NewsItem* other = pool.takeAt(random.range(0, static_cast<int>(pool.size()) - 1));
        if (other->id != id)
            related.append(other);
    }
    return related;
}

Comment StandinContent::makeComment(Random& random, qint64 id, const NewsItem* news, int floor) const
{
    Comment comment;
    comment.id = id;
    if (news) {
        comment.newsId = news->id;
        comment.newsTitle = news->title;
        comment.newsUrl = htmlAddress(*news);
    }
    comment.text = fill(random, random.pick(m_corpus.section(QStringLiteral("comments"))));
    comment.userId = 100000 + random.range(1, 899999);
    comment.userName = random.pick(m_corpus.section(QStringLiteral("nicknames")));
    comment.location = random.pick(m_corpus.section(QStringLiteral("cities")));
    const QDateTime base = news ? news->postDate : m_now.addSecs(-kDay);
    comment.postTime = base.addSecs(random.range(5, 600) * kMinute / 10);
    comment.device = random.pick(m_corpus.section(QStringLiteral("devices")));
    comment.client = random.range(0, 1) == 0 ? 14 : 8;
    comment.support = random.range(0, 500);
    comment.against = random.range(0, 40);
    comment.floor = QStringLiteral("%1楼").arg(floor);
    return comment;
}

QList<Comment> StandinContent::hotComments(qint64 newsId) const
{
    const NewsItem* news = item(newsId);
    if (!news)
        return {};
    Random random(mix(m_seed, static_cast<uint64_t>(newsId) + 77));
    QList<Comment> comments;
    for (int k = 0; k < 4; ++k)
        comments.append(makeComment(random, newsId * 100 + k + 1, news, k + 1));
    std::sort(comments.begin(), comments.end(), [](const Comment& a, const Comment& b) { return a.support > b.support; });
    return comments;
}

QList<Comment> StandinContent::comments(qint64 newsId) const
{
    const NewsItem* news = item(newsId);
    if (!news)
        return {};
    Random random(mix(m_seed, static_cast<uint64_t>(newsId) + 78));
    QList<Comment> comments;
    for (int k = 0; k < 12; ++k) {
        Comment comment = makeComment(random, newsId * 100 + 20 + k, news, 12 - k);
        const int replies = random.range(0, 2);
        for (int r = 0; r < replies; ++r)
            comment.replies.append(makeComment(random, newsId * 100 + 60 + k * 3 + r, news, r + 1));
        comments.append(comment);
    }
    // What users posted stands on top, newest first.
    return m_posted.value(newsId) + comments;
}

const Comment* StandinContent::postComment(qint64 newsId, qint64 parentId, const QString& text, qint64 userId,
                                           const QString& userName)
{
    const NewsItem* news = item(newsId);
    if (!news)
        return nullptr;
    QList<Comment>& posted = m_posted[newsId];
    Comment comment;
    comment.id = newsId * 100 + 9000 + (++m_lastPostedId);
    comment.newsId = newsId;
    comment.newsTitle = news->title;
    comment.newsUrl = htmlAddress(*news);
    comment.text = text;
    comment.userId = userId;
    comment.userName = userName;
    comment.location = QStringLiteral("北京");
    comment.postTime = m_now;
    comment.device = QStringLiteral("iMac");
    comment.client = 14;
    if (parentId != 0) {
        for (Comment& top : posted) {
            if (top.id == parentId) {
                comment.floor = QStringLiteral("%1楼").arg(top.replies.size() + 1);
                top.replies.append(comment);
                return &top.replies.last();
            }
        }
        return nullptr;
    }
    comment.floor = QStringLiteral("%1楼").arg(comments(newsId).size() + 1);
    posted.prepend(comment);
    return &posted.first();
}

int StandinContent::repliesTo(qint64 userId, qint64 afterId) const
{
    int count = 0;
    for (const QList<Comment>& posted : m_posted) {
        for (const Comment& comment : posted) {
            if (comment.userId != userId)
                continue;
            for (const Comment& reply : comment.replies)
                count += reply.id > afterId ? 1 : 0;
        }
    }
    return count;
}

QList<Comment> StandinContent::channelHotComments() const
{
    const QList<const NewsItem*> items = firstPage(kMainChannel);
    Random random(mix(m_seed, 153));
    QList<Comment> comments;
    for (int k = 0; k < 10; ++k) {
        const NewsItem* news = items.at(k % items.size());
        comments.append(makeComment(random, news->id * 100 + 90 + k, news, k + 1));
    }
    return comments;
}

const Deal* StandinContent::deal(qint64 productId) const
{
    for (const Deal& deal : m_deals) {
        if (deal.productId == productId)
            return &deal;
    }
    return nullptr;
}

QList<qint64> StandinContent::publish(int n)
{
    QList<qint64> ids;
    QList<qint64>& main = m_channels[kMainChannel];
    qint64 top = 0;
    for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it)
        top = std::max(top, it->id);
    for (int i = 0; i < n; ++i) {
        const qint64 id = top + 1 + i;
        ++m_published;
        Random random(mix(m_seed, static_cast<uint64_t>(id)));
        m_items.insert(id, makeItem(random, id, kMainChannel, m_now.addSecs(m_published * 30)));
        main.prepend(id);
        ids.append(id);
    }
    return ids;
}

bool StandinContent::touch(qint64 id)
{
    const auto it = m_items.find(id);
    if (it == m_items.end())
        return false;
    ++it->version;
    return true;
}

QString StandinContent::htmlPath(const NewsItem& item)
{
    return QStringLiteral("/html/%1/%2.htm").arg(item.postDate.toUTC().toString(QStringLiteral("yyyy/MMdd"))).arg(item.id);
}

QString StandinContent::htmlAddress(const NewsItem& item)
{
    return QStringLiteral("http://www.tidwen.example") + htmlPath(item);
}

}  // namespace standin
