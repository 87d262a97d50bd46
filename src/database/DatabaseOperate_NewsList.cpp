#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/ServerUrls.h"
#include "database/StoreStatements.h"
#include "platform/UserDefaults.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {

using StoreStatements::integer;

constexpr int64_t kHotCommentChannel = 153;
constexpr int64_t kFirstChannel = 101;    // can be neither hidden nor moved
constexpr int64_t kRankingChannel = 102;  // a ranking list without next pages
// Where the hot-comments channel goes among the shown channels.
constexpr int64_t kHotCommentPlace = 4;

// The stored marker of "no address".
const QString kNoAddress = QStringLiteral("nohave");

const QString kChannelColumns = QStringLiteral(
    "ListId, ListName, ListUrl, SlideUrl, LoadMoreUrl, LoadType, CanDelete, bDisplay, canChangeOrder, displayOrder");
const QString kInsertChannel = QStringLiteral("INSERT INTO CategoryList (") + kChannelColumns +
                               QStringLiteral(") VALUES (?, ?,?,?,?, ?, ?, ?, ?, ?)");

struct BuiltInChannel
{
    int64_t listId;
    const char16_t* name;
    const char* listPath;
    const char* slidePath;     // nullptr: no slide feed
    const char* loadMorePath;  // nullptr: no next pages
    int64_t loadType;
    bool canDelete;
    bool display;
    bool canChangeOrder;
    int64_t displayOrder;
};

// In the order the rows are made. 153 and 103 share the fourth place.
const std::array<BuiltInChannel, 17> kBuiltInChannels = {{
    {101, u"最新", "/xml/newslist/news.xml", "/xml/slide/slide.xml", "/xml/newslist/news_", 1, false, true, false, 1},
    {102, u"排行榜", "/xml/newslist/rank.xml", nullptr, nullptr, 2, true, true, true, 2},
    {109, u"苹果", "/xml/newslist/ios.xml", "/xml/slide/ios.xml", "/xml/newslist/ios_", 1, true, true, true, 3},
    {153, u"上热评", "/api/comment/hotcommentlist", nullptr, "/api/comment/hotcommentlist?s=", 1, true, true, true, 4},
    {103, u"手机", "/xml/newslist/phone.xml", nullptr, "/xml/newslist/phone_", 1, true, true, true, 4},
    {104, u"数码", "/xml/newslist/digi.xml", nullptr, "/xml/newslist/digi_", 1, true, true, true, 5},
    {105, u"评测室", "/xml/newslist/labs.xml", nullptr, "/xml/newslist/labs_", 1, true, true, true, 6},
    {151, u"极客学院", "/xml/newslist/geek.xml", nullptr, "/xml/newslist/geek_", 1, true, true, true, 7},
    {106, u"VR", "/xml/newslist/vr.xml", nullptr, "/xml/newslist/vr_", 1, true, true, true, 8},
    {107, u"智能汽车", "/xml/newslist/auto.xml", nullptr, "/xml/newslist/auto_", 1, true, true, true, 9},
    {108, u"电脑", "/xml/newslist/pc.xml", nullptr, "/xml/newslist/pc_", 1, true, true, true, 10},
    {111, u"网络焦点", "/xml/newslist/internet.xml", nullptr, "/xml/newslist/internet_", 1, true, false, true, 0},
    {112, u"行业前沿", "/xml/newslist/it.xml", nullptr, "/xml/newslist/it_", 1, true, false, true, 0},
    {113, u"游戏电竞", "/xml/newslist/game.xml", nullptr, "/xml/newslist/game_", 1, true, false, true, 0},
    {110, u"Windows", "/xml/newslist/windows.xml", "/xml/slide/windows.xml", "/xml/newslist/windows_", 1, true, false, true, 0},
    {152, u"安卓", "/xml/newslist/android.xml", "/xml/slide/android.xml", "/xml/newslist/android_", 1, true, false, true, 0},
    {114, u"科普", "/xml/newslist/discovery.xml", nullptr, "/xml/newslist/discovery_", 1, true, false, true, 0},
}};

// A built-in address on the news host, or the marker.
QString newsAddress(const char* path)
{
    if (!path)
        return kNoAddress;
    return QStringLiteral("http://") + QLatin1String(ServerHosts::kNewsApi) + QLatin1String(path);
}

// A stored address as the readers hand it out: the marker and NULL become "".
QString readAddress(FMResultSet& row, const QString& column)
{
    const QString value = row.stringForColumn(column);
    if (value.isNull() || value == kNoAddress)
        return QStringLiteral("");
    return value;
}

QVariantList channelArguments(int64_t listId, const QString& name, const QString& listUrl, const QString& slideUrl,
                              const QString& loadMoreUrl, int64_t loadType, bool canDelete, bool display,
                              bool canChangeOrder, int64_t displayOrder)
{
    return {integer(listId), name, listUrl, slideUrl, loadMoreUrl, integer(loadType),
            canDelete, display, canChangeOrder, integer(displayOrder)};
}

// Field rules for a channel of the server's list.
QString serverSlideUrl(const NewsListData& channel)
{
    return channel.SlideUrl.isEmpty() ? kNoAddress : channel.SlideUrl;
}

QString serverLoadMoreUrl(const NewsListData& channel)
{
    if (channel.iListID == kRankingChannel)
        return kNoAddress;
    QString address = channel.ListUrl.isNull() ? QStringLiteral("") : channel.ListUrl;
    return address.replace(QStringLiteral(".xml"), QStringLiteral("_"));
}

}  // namespace

bool DatabaseOperate::NewsList_check()
{
    if (!m_connection.connect())
        return false;
    // The table of the earlier layout goes whenever it is found; its rows are not carried over.
    if (m_connection.tableState(QStringLiteral("NewsList")).value_or(false))
        StoreStatements::run(*m_connection.db(), {QStringLiteral("DROP TABLE NewsList"), {}});
    // The built-in channels come with the table, in its transaction.
    QList<BoundStatement> builtIn;
    for (const BuiltInChannel& c : kBuiltInChannels) {
        builtIn.append({kInsertChannel, channelArguments(c.listId, QString::fromUtf16(c.name), newsAddress(c.listPath),
                                                         newsAddress(c.slidePath), newsAddress(c.loadMorePath), c.loadType,
                                                         c.canDelete, c.display, c.canChangeOrder, c.displayOrder)});
    }
    bool created = false;
    if (!m_connection.ensureTable(
            QStringLiteral("CategoryList"),
            QStringLiteral("CREATE TABLE CategoryList (ListId INTEGER PRIMARY KEY, ListName text, ListUrl text, SlideUrl "
                           "text, LoadMoreUrl text, LoadType INTEGER, CanDelete BOOLEAN, bDisplay BOOLEAN, canChangeOrder "
                           "BOOLEAN, displayOrder INTEGER)"),
            &created, builtIn))
        return false;
    if (!created)
        return true;

    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setString(QStringLiteral("1"), QStringLiteral("NewsListVersion"));
    defaults.setBool(false, QStringLiteral("NewListEdit"));
    defaults.synchronize();
    return true;
}

bool DatabaseOperate::readChannels(const QString& condition, const QVariantList& arguments, QList<NewsListDataPtr>& list)
{
    const std::shared_ptr<FMDatabase>& db = m_connection.db();
    if (!db)
        return false;
    const BoundStatement query{QStringLiteral("SELECT ") + kChannelColumns + QStringLiteral(" FROM CategoryList ") + condition,
                               arguments};
    return StoreStatements::eachRow(*db, query, [&](FMResultSet& row) {
        auto channel = std::make_shared<NewsListData>();
        channel->iListID = row.longLongIntForColumn(QStringLiteral("ListId"));
        channel->ListName = row.stringForColumn(QStringLiteral("ListName"));
        channel->ListUrl = readAddress(row, QStringLiteral("ListUrl"));
        channel->SlideUrl = readAddress(row, QStringLiteral("SlideUrl"));
        channel->LoadMoreUrl = readAddress(row, QStringLiteral("LoadMoreUrl"));
        channel->iLoadType = row.longLongIntForColumn(QStringLiteral("LoadType"));
        channel->bCanDelete = row.boolForColumn(QStringLiteral("CanDelete"));
        channel->bDisplay = row.boolForColumn(QStringLiteral("bDisplay"));
        channel->bCanChangeOrder = row.boolForColumn(QStringLiteral("canChangeOrder"));
        channel->iDisplayOrder = row.longLongIntForColumn(QStringLiteral("displayOrder"));
        // A channel without a list address cannot be shown at all.
        if (!channel->ListUrl.isEmpty())
            list.append(channel);
        return true;
    });
}

bool DatabaseOperate::NewsList_getCurrentDisplayNewsList(QList<NewsListDataPtr>& list)
{
    return NewsList_check() && readChannels(QStringLiteral("where bDisplay = ? order by displayOrder asc"), {1}, list);
}

bool DatabaseOperate::NewsList_getCurrentNoDisplayNewsList(QList<NewsListDataPtr>& list)
{
    return NewsList_check() && readChannels(QStringLiteral("where bDisplay = ? order by ListId asc"), {0}, list);
}

bool DatabaseOperate::NewsList_getAllNewsList(QList<NewsListDataPtr>& list, bool orderByNewsID)
{
    return NewsList_check() &&
           readChannels(orderByNewsID ? QStringLiteral("order by ListId asc") : QStringLiteral("order by displayOrder asc"),
                        {}, list);
}

void DatabaseOperate::insertServerChannel(const NewsListData& channel, int64_t displayOrder)
{
    const bool first = channel.iListID == kFirstChannel;
    StoreStatements::run(*m_connection.db(),
                         {kInsertChannel,
                          channelArguments(channel.iListID, channel.ListName, channel.ListUrl, serverSlideUrl(channel),
                                           serverLoadMoreUrl(channel), channel.iListID == kRankingChannel ? 2 : 1,
                                           !first, channel.bDisplay, !first, channel.bDisplay ? displayOrder : 0)});
}

bool DatabaseOperate::NewsList_update(QList<NewsListDataPtr>& list)
{
    if (!NewsList_check())
        return false;
    // Held, not borrowed: a map step may drop the store's connection.
    const std::shared_ptr<FMDatabase> transaction = m_connection.db();
    FMDatabase& db = *transaction;
    if (!db.beginTransaction())
        return false;
    // Runs the map steps of a channel in order. A map that cannot be made closes the connection,
    // and the open transaction with it: false then, before a later step opens the file again and
    // writes outside the transaction.
    using MapStep = bool (DatabaseOperate::*)(int64_t);
    const auto updateMaps = [&](std::initializer_list<MapStep> steps, int64_t listId) {
        for (const MapStep step : steps) {
            (this->*step)(listId);
            if (m_connection.db() != transaction)
                return false;
        }
        return true;
    };

    // Shown channels are numbered on from this place, in list order.
    int64_t order = 0;
    const bool merge = UserDefaults::standardUserDefaults().boolForKey(QStringLiteral("NewListEdit"));
    if (!merge) {
        // Replace: the server's list becomes the table. Map rows of channels that left stay.
        StoreStatements::run(db, {QStringLiteral("DELETE FROM CategoryList"), {}});
    } else {
        // Merge into the user's arrangement: a kept channel keeps its place and shown state.
        QList<NewsListDataPtr> stored;
        readChannels(QStringLiteral("order by displayOrder asc"), {}, stored);
        for (qsizetype i = 0; i < list.size(); ++i) {
            const NewsListData& channel = *list.at(i);
            if (!StoreStatements::hasRow(db, {QStringLiteral("SELECT * FROM CategoryList WHERE ListId = ?"),
                                              {integer(channel.iListID)}}))
                continue;
            StoreStatements::run(db, {QStringLiteral("UPDATE CategoryList SET ListName = ?, ListUrl = ?, SlideUrl = ?, "
                                                     "LoadMoreUrl = ? WHERE ListId = ?"),
                                      {channel.ListName, channel.ListUrl, serverSlideUrl(channel),
                                       serverLoadMoreUrl(channel), integer(channel.iListID)}});
            const auto kept = std::find_if(stored.begin(), stored.end(), [&](const NewsListDataPtr& s) {
                return s->iListID == channel.iListID;
            });
            if (kept != stored.end()) {
                order = std::max(order, (*kept)->iDisplayOrder);
                stored.erase(kept);
            }
            list.removeAt(i--);
        }
        // What is left of the stored channels is no longer on the server's list.
        for (const NewsListDataPtr& gone : std::as_const(stored)) {
            StoreStatements::run(db, {QStringLiteral("DELETE FROM CategoryList WHERE ListId = ?"), {integer(gone->iListID)}});
            if (!updateMaps({&DatabaseOperate::WebFileLastModifyTime_delete, &DatabaseOperate::WebFileLastUpdateTime_delete,
                             &DatabaseOperate::ListMaxNewsID_delete},
                            gone->iListID))
                return false;
        }
    }

    // New channels (all of them when replacing) follow the kept ones.
    for (const NewsListDataPtr& channel : std::as_const(list)) {
        if (channel->bDisplay)
            ++order;
        insertServerChannel(*channel, order);
        if (!updateMaps({&DatabaseOperate::WebFileLastModifyTime_insert, &DatabaseOperate::WebFileLastUpdateTime_insert,
                         &DatabaseOperate::ListMaxNewsID_insert},
                        channel->iListID))
            return false;
    }

    if (merge) {
        // Close the gaps the merge left: the shown channels are numbered 1, 2, 3, ...
        QList<NewsListDataPtr> all;
        readChannels(QStringLiteral("order by displayOrder asc"), {}, all);
        int64_t place = 0;
        for (const NewsListDataPtr& channel : std::as_const(all)) {
            if (channel->bDisplay)
                StoreStatements::run(db, {QStringLiteral("UPDATE CategoryList SET displayOrder = ? WHERE ListId = ?"),
                                          {integer(++place), integer(channel->iListID)}});
        }
    }

    if (!StoreStatements::commit(db)) {
        db.rollback();
        return false;
    }
    return true;
}

bool DatabaseOperate::NewsList_OnlyUpdateNewsListByNewsListID(const QList<NewsListDataPtr>& list)
{
    if (!NewsList_check())
        return false;
    return updateShownAndOrder(QStringLiteral("CategoryList"), list);
}

bool DatabaseOperate::updateShownAndOrder(const QString& table, const QList<NewsListDataPtr>& list)
{
    FMDatabase& db = *m_connection.db();
    if (list.size() < 2) {
        bool result = false;
        for (const NewsListDataPtr& channel : list) {
            result = StoreStatements::run(
                db, {QStringLiteral("UPDATE %1 SET bDisplay = ?,displayOrder = ? WHERE ListId = ?").arg(table),
                     {channel->bDisplay, integer(channel->iDisplayOrder), integer(channel->iListID)}});
        }
        return result;
    }

    // Two or more channels in one statement.
    QString shownCases;
    QString orderCases;
    QVariantList shownArguments;
    QVariantList orderArguments;
    QVariantList ids;
    for (const NewsListDataPtr& channel : list) {
        shownCases += QStringLiteral("WHEN ? THEN ? ");
        shownArguments << integer(channel->iListID) << channel->bDisplay;
        orderCases += QStringLiteral("WHEN ? THEN ? ");
        orderArguments << integer(channel->iListID) << integer(channel->iDisplayOrder);
        ids << integer(channel->iListID);
    }
    const QString sql = QStringLiteral("UPDATE %1 SET bDisplay = CASE ListId %2 END, displayOrder = CASE ListId "
                                       "%3 END WHERE ListId IN %4")
                            .arg(table, shownCases, orderCases, StoreStatements::parameterList(ids.size()));
    return StoreStatements::run(db, {sql, shownArguments + orderArguments + ids, false});
}

bool DatabaseOperate::HotComment_insert(const QString& name, const QString& url)
{
    // No NewsList_check: on a file without the channel table this makes nothing and answers NO.
    if (!m_connection.connect())
        return false;
    FMDatabase& db = *m_connection.db();
    if (StoreStatements::hasRow(db, {QStringLiteral("SELECT * FROM CategoryList where ListId = ?"),
                                     {integer(kHotCommentChannel)}})) {
        StoreStatements::run(db, {QStringLiteral("UPDATE CategoryList SET ListName = ?, ListUrl = ?, LoadMoreUrl = ? "
                                                 "WHERE ListId = ?"),
                                  {name, url, url + QStringLiteral("?s="), integer(kHotCommentChannel)}});
        return true;
    }

    QList<NewsListDataPtr> shown;
    readChannels(QStringLiteral("where bDisplay = ? order by displayOrder asc"), {1}, shown);
    const int64_t place = shown.size() < kHotCommentPlace - 1 ? shown.size() + 1 : kHotCommentPlace;
    int64_t k = 0;
    for (const NewsListDataPtr& channel : std::as_const(shown)) {
        ++k;
        StoreStatements::run(db, {QStringLiteral("UPDATE CategoryList SET displayOrder = ? WHERE ListId = ?"),
                                  {integer(k < place ? k : k + 1), integer(channel->iListID)}});
    }
    return StoreStatements::run(db, {kInsertChannel,
                                     channelArguments(kHotCommentChannel, name, url, kNoAddress, url + QStringLiteral("?s="),
                                                      1, true, true, true, place)});
}

void DatabaseOperate::HotComment_delete()
{
    if (!NewsList_check())
        return;
    StoreStatements::run(*m_connection.db(),
                         {QStringLiteral("DELETE FROM CategoryList WHERE ListId = ?"), {integer(kHotCommentChannel)}});
}
