#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/NumericKey.h"
#include "database/StoreStatements.h"
#include "platform/Clock.h"

#include <cmath>

namespace {

using StoreStatements::integer;
using StoreStatements::run;

const QString kNewsState = QStringLiteral("NewsState");
const QString kNewsADState = QStringLiteral("NewsADState");
const QString kNewsADDeleteState = QStringLiteral("NewsADDeleteState");
const QString kForumState = QStringLiteral("ForumState");
const QString kZefupState = QStringLiteral("ZefupState");
const QString kHotCommentState = QStringLiteral("HotCommentState");

const QString kCreateNewsState = QStringLiteral("CREATE TABLE NewsState (guid text PRIMARY KEY ,state Boolean,title text)");
const QString kCreateNewsADState =
    QStringLiteral("CREATE TABLE NewsADState (guid text PRIMARY KEY ,state Boolean, freadtime double)");
const QString kCreateNewsADDeleteState =
    QStringLiteral("CREATE TABLE NewsADDeleteState (guid text PRIMARY KEY ,state Boolean, fdeletetime double)");
const QString kCreateForumState = QStringLiteral(
    "CREATE TABLE ForumState (forumid int PRIMARY KEY ,state Boolean,freplytime double,freadtime double)");
const QString kCreateZefupState =
    QStringLiteral("CREATE TABLE ZefupState (proid text PRIMARY KEY ,state Boolean,freadtime double)");
const QString kCreateHotCommentState =
    QStringLiteral("CREATE TABLE HotCommentState (guid text PRIMARY KEY ,state Boolean, freadtime double)");

const QString kNewsStateLookup = QStringLiteral("SELECT state FROM NewsState where guid = ?");

constexpr double kReadMarkLifetime = 2592000.0;   // 30 days
constexpr double kClosedAdLifetime = 31536000.0;  // 365 days

// Rows of one copying UPDATE of the old ad table: three bound values each, well under SQLite's
// limit on the values of one statement.
constexpr qsizetype kCopiedRowsPerStatement = 300;

// Times are stored as whole seconds since 1970.
double wholeSecondsNow()
{
    return std::trunc(Clock::nowSeconds());
}

// A time as the six-decimal text the table has always been given, so that a stored last-reply
// time and the one a list compares it with agree to the same digits.
double sixDecimals(double seconds)
{
    return QString::number(seconds, 'f', 6).toDouble();
}

QVariant markValue(bool mark)
{
    return integer(mark ? 1 : 0);
}

// The state of the last row the look-up returns; nothing when no row came back or it failed.
std::optional<bool> lastState(FMDatabase& db, const BoundStatement& lookup)
{
    std::optional<bool> state;
    StoreStatements::eachRow(db, lookup, [&](FMResultSet& row) {
        state = row.boolForColumn(QStringLiteral("state"));
        return true;
    });
    return state;
}

void setReadIfMarked(bool& isHaveRead, std::optional<bool> state)
{
    if (state.value_or(false))
        isHaveRead = true;
}

// Every record of the list, and of its nested arrays, in order.
template <class Record, class Visit>
void eachRecord(const DatabaseOperate::ReadMarkList<Record>& list, Visit&& visit)
{
    for (const DatabaseOperate::ReadMarkItem<Record>& item : list) {
        if (const auto* record = std::get_if<std::shared_ptr<Record>>(&item)) {
            if (*record)
                visit(**record);
            continue;
        }
        for (const std::shared_ptr<Record>& member : std::get<QList<std::shared_ptr<Record>>>(item)) {
            if (member)
                visit(*member);
        }
    }
}

// A table of an earlier version keeps the read time as a local "yyyy-MM-dd HH:mm:ss" text in
// readtime. It gains freadtime, filled from that text (0 where there is no readable time), so the
// conversion runs once per file. False when the column cannot be added.
bool addReadTimeColumn(FMDatabase& db)
{
    if (db.columnExists(kNewsADState, QStringLiteral("freadtime")))
        return true;
    if (!run(db, {QStringLiteral("alter TABLE NewsADState add freadtime double"), {}})) {
        FMDBLog::write(QStringLiteral("添加列失败"));
        return false;
    }

    struct OldRow
    {
        QString guid;
        double readTime;
    };
    QList<OldRow> rows;
    StoreStatements::eachRow(db, {QStringLiteral("SELECT guid,readtime FROM NewsADState"), {}}, [&](FMResultSet& row) {
        const QDateTime read = row.dateForColumnFromDateTime(QStringLiteral("readtime"));
        rows.append({row.stringForColumn(QStringLiteral("guid")), read.isValid() ? double(read.toSecsSinceEpoch()) : 0.0});
        return true;
    });
    if (rows.isEmpty())
        return true;

    // All rows change together, as the one statement they once were.
    bool copied = db.beginTransaction();
    for (qsizetype from = 0; copied && from < rows.size(); from += kCopiedRowsPerStatement) {
        const qsizetype count = std::min(kCopiedRowsPerStatement, rows.size() - from);
        QString cases;
        QVariantList times;
        QVariantList keys;
        for (qsizetype i = from; i < from + count; ++i) {
            cases += QStringLiteral("WHEN ? THEN ? ");
            times << rows[i].guid << rows[i].readTime;
            keys << rows[i].guid;
        }
        copied = run(db, {QStringLiteral("UPDATE NewsADState SET freadtime = CASE guid ") + cases +
                              QStringLiteral("END WHERE guid IN ") + StoreStatements::parameterList(count),
                          times + keys, false});
    }
    if (copied)
        copied = StoreStatements::commit(db);
    if (!copied) {
        db.rollback();
        // The rows keep a NULL freadtime, which no pruning removes; the operation goes on.
        FMDBLog::write(QStringLiteral("no"));
    }
    return true;
}

}  // namespace

// ---- NewsState ----

bool DatabaseOperate::setNewsState(const QString& guid, bool haveread, const QString& title)
{
    if (!openTable(kNewsState, kCreateNewsState))
        return false;
    return run(*m_connection.db(), {QStringLiteral("INSERT INTO NewsState (guid, state, title) VALUES (?,?,?)"),
                                    {guid, markValue(haveread), title}});
}

bool DatabaseOperate::getNewsState(const ReadMarkList<Feed>& list)
{
    if (!openTable(kNewsState, kCreateNewsState))
        return false;
    FMDatabase& db = *m_connection.db();
    eachRecord(list, [&](Feed& feed) {
        if (const std::optional<QVariant> key = numericKey(feed.guid))
            setReadIfMarked(feed.isHaveRead, lastState(db, {kNewsStateLookup, {*key}}));
    });
    return true;
}

bool DatabaseOperate::updateSuccessHaveread(const QString& guid, bool haveread)
{
    const std::shared_ptr<FMDatabase>& db = m_connection.db();
    const std::optional<QVariant> key = numericKey(guid);
    if (!db || !key)
        return false;
    bool found = false;
    StoreStatements::eachRow(*db, {kNewsStateLookup, {*key}}, [&](FMResultSet& row) {
        found = row.boolForColumn(QStringLiteral("state")) == haveread;
        return !found;
    });
    return found;
}

bool DatabaseOperate::autoClearNewsStateDB(const QString& guid)
{
    // Ids are compared as numbers: as texts, 1000000 would sort before 500000 and go with it.
    // Keys that are no decimal id are never pruned, and a limit that is none prunes nothing.
    return clearTable(kNewsState,
                      QStringLiteral("DELETE FROM NewsState WHERE guid NOT GLOB '*[^0-9]*' AND CAST(guid AS INTEGER) <= ?"),
                      {numericKey(guid).value_or(QVariant())});
}

bool DatabaseOperate::clearNewsStateDB()
{
    return clearTable(kNewsState, QStringLiteral("DELETE FROM NewsState"), {});
}

// ---- NewsADState ----

bool DatabaseOperate::setListADState(const QString& adUrl, bool haveread)
{
    if (!openTable(kNewsADState, kCreateNewsADState) || !addReadTimeColumn(*m_connection.db()))
        return false;
    return run(*m_connection.db(),
               {QStringLiteral("INSERT INTO NewsADState (guid, state, freadtime) VALUES (?,?,?)"),
                {adUrl, markValue(haveread), wholeSecondsNow()}});
}

bool DatabaseOperate::getListADState(const ReadMarkList<NSListADInfo>& list)
{
    if (!openTable(kNewsADState, kCreateNewsADState) || !addReadTimeColumn(*m_connection.db()))
        return false;
    FMDatabase& db = *m_connection.db();
    eachRecord(list, [&](NSListADInfo& ad) {
        // Ads of outside networks are never marked.
        if (ad.listADType != 1)
            return;
        setReadIfMarked(ad.isHaveRead,
                        lastState(db, {QStringLiteral("SELECT state FROM NewsADState where guid = ?"), {ad.adUrl}}));
    });
    return true;
}

bool DatabaseOperate::clearListADStateDB()
{
    return clearTable(kNewsADState, QStringLiteral("DELETE FROM NewsADState"), {});
}

bool DatabaseOperate::autoClearListADStateDB()
{
    return clearTable(kNewsADState, QStringLiteral("DELETE FROM NewsADState WHERE freadtime < ?"),
                      {wholeSecondsNow() - kReadMarkLifetime});
}

// ---- NewsADDeleteState ----

bool DatabaseOperate::setListADDeleteState(const QString& key, bool haveDelete)
{
    if (!openTable(kNewsADDeleteState, kCreateNewsADDeleteState))
        return false;
    return run(*m_connection.db(),
               {QStringLiteral("INSERT INTO NewsADDeleteState (guid, state, fdeletetime) VALUES (?,?,?)"),
                {key, markValue(haveDelete), wholeSecondsNow()}});
}

bool DatabaseOperate::isListADDelete(const NSListADInfoPtr& ad, bool isTg)
{
    if (!openTable(kNewsADDeleteState, kCreateNewsADDeleteState))
        return false;
    QString key = QStringLiteral("");
    if (ad)
        key = isTg ? ad->adTitle : ad->adUrl;
    return lastState(*m_connection.db(),
                     {QStringLiteral("SELECT state FROM NewsADDeleteState where guid = ?"), {key}})
        .value_or(false);
}

bool DatabaseOperate::clearListADDeleteStateDB()
{
    return clearTable(kNewsADDeleteState, QStringLiteral("DELETE FROM NewsADDeleteState"), {});
}

bool DatabaseOperate::autoClearListADDeleteStateDB()
{
    return clearTable(kNewsADDeleteState, QStringLiteral("DELETE FROM NewsADDeleteState WHERE fdeletetime < ?"),
                      {wholeSecondsNow() - kClosedAdLifetime});
}

// ---- ForumState ----

bool DatabaseOperate::setForumState(int64_t forumId, bool haveread, double replyTime)
{
    if (!openTable(kForumState, kCreateForumState))
        return false;
    const double now = wholeSecondsNow();
    return StoreStatements::insertElseUpdate(
        *m_connection.db(),
        {QStringLiteral("INSERT INTO ForumState (forumid, state, freplytime, freadtime) VALUES (?, ?, ?, ?)"),
         {integer(forumId), markValue(haveread), sixDecimals(replyTime), now}},
        {QStringLiteral("UPDATE ForumState SET freplytime = ?,freadtime = ? WHERE forumid = ?"),
         {sixDecimals(replyTime), now, integer(forumId)}});
}

bool DatabaseOperate::getForumState(const ReadMarkList<ForumFeed>& list, bool byReplyTime)
{
    if (!openTable(kForumState, kCreateForumState))
        return false;
    FMDatabase& db = *m_connection.db();
    eachRecord(list, [&](ForumFeed& thread) {
        const BoundStatement lookup =
            byReplyTime ? BoundStatement{QStringLiteral("SELECT state FROM ForumState where forumid = ? and freplytime = ?"),
                                         {integer(thread.forumId), sixDecimals(thread.replyTime)}}
                        : BoundStatement{QStringLiteral("SELECT state FROM ForumState where forumid = ?"),
                                         {integer(thread.forumId)}};
        setReadIfMarked(thread.isHaveRead, lastState(db, lookup));
    });
    return true;
}

bool DatabaseOperate::clearForumStateDB()
{
    return clearTable(kForumState, QStringLiteral("DELETE FROM ForumState"), {});
}

bool DatabaseOperate::autoClearForumStateDB()
{
    return clearTable(kForumState, QStringLiteral("DELETE FROM ForumState WHERE freadtime < ?"),
                      {wholeSecondsNow() - kReadMarkLifetime});
}

// ---- ZefupState ----

bool DatabaseOperate::setZefupState(const QString& productId, bool haveread)
{
    if (!openTable(kZefupState, kCreateZefupState))
        return false;
    const std::optional<QVariant> key = numericKey(productId);
    if (!key)
        return false;
    const double now = wholeSecondsNow();
    return StoreStatements::insertElseUpdate(
        *m_connection.db(),
        {QStringLiteral("INSERT INTO ZefupState (proid, state, freadtime) VALUES (?, ?, ?)"), {*key, markValue(haveread), now}},
        {QStringLiteral("UPDATE ZefupState SET freadtime = ? WHERE proid = ?"), {now, *key}});
}

bool DatabaseOperate::getZefupState(const QList<HotProductModelPtr>& list)
{
    if (!openTable(kZefupState, kCreateZefupState))
        return false;
    FMDatabase& db = *m_connection.db();
    for (const HotProductModelPtr& product : list) {
        if (!product)
            continue;
        if (const std::optional<QVariant> key = numericKey(product->pro_productid)) {
            setReadIfMarked(product->isHaveRead,
                            lastState(db, {QStringLiteral("SELECT state FROM ZefupState where proid = ?"), {*key}}));
        }
    }
    return true;
}

bool DatabaseOperate::clearZefupStateDB()
{
    return clearTable(kZefupState, QStringLiteral("DELETE FROM ZefupState"), {});
}

bool DatabaseOperate::autoClearZefupStateDB()
{
    return clearTable(kZefupState, QStringLiteral("DELETE FROM ZefupState WHERE freadtime < ?"),
                      {wholeSecondsNow() - kReadMarkLifetime});
}

// ---- HotCommentState ----

bool DatabaseOperate::setHotCommentState(const QString& commentId, bool haveread)
{
    if (!openTable(kHotCommentState, kCreateHotCommentState))
        return false;
    return run(*m_connection.db(),
               {QStringLiteral("INSERT INTO HotCommentState (guid, state, freadtime) VALUES (?,?,?)"),
                {commentId, markValue(haveread), wholeSecondsNow()}});
}

bool DatabaseOperate::getHotCommentState(const QList<CommentFeedPtr>& list)
{
    if (!openTable(kHotCommentState, kCreateHotCommentState))
        return false;
    FMDatabase& db = *m_connection.db();
    for (const CommentFeedPtr& comment : list) {
        if (!comment || comment->commentId <= 0)
            continue;
        setReadIfMarked(comment->isHaveRead,
                        lastState(db, {QStringLiteral("SELECT state FROM HotCommentState where guid = ?"),
                                       {QString::number(comment->commentId)}}));
    }
    return true;
}

bool DatabaseOperate::clearHotCommentStateDB()
{
    return clearTable(kHotCommentState, QStringLiteral("DELETE FROM HotCommentState"), {});
}

bool DatabaseOperate::autoClearHotCommentStateDB()
{
    return clearTable(kHotCommentState, QStringLiteral("DELETE FROM HotCommentState WHERE freadtime < ?"),
                      {wholeSecondsNow() - kReadMarkLifetime});
}
