#pragma once

#include "database/StoreConnection.h"
#include "database/StoreLock.h"
#include "foundation/models/NewsListData.h"
#include "foundation/models/CommentFeed.h"
#include "foundation/models/Feed.h"
#include "foundation/models/ForumFeed.h"
#include "foundation/models/HotProductModel.h"
#include "foundation/models/NSAppInfo.h"
#include "foundation/models/NSListADInfo.h"
#include "foundation/models/SearchInfo.h"
#include "foundation/models/Favrite_Data.h"
#include "foundation/models/FavriteUserAndContents.h"
#include "foundation/models/NSVundCategoryInfo.h"
#include "foundation/models/NSVundListInfo.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class FMDatabase;

// The content store: channels, server URLs, update times, read marks, favourites and the small
// state tables, all in the one database file. One instance, one connection, one lock.
//
// Every use is a bracket on one thread: getInstance (takes the lock), operations on the
// instance, revertInstance (gives it back). The system's own code holds a Lease instead, which
// gives the lock back however its scope ends:
//
//     DatabaseOperate::Lease store;
//     if (!store)
//         return;  // this thread already holds the store
//     store->UrlList_get();
//
// The lock is not re-entrant: a thread inside a bracket must not take it again (the request is
// logged and refused, never waited on), and the operations call each other without it.
//
// Operations report failure by their result (NO, null, -1 or 0) and never show a message. Each
// begins with the connection step and, where it has a table, makes the table on first use
// (StoreConnection). Values are bound, never put into the statement text.
class DatabaseOperate
{
public:
    // Holds the store's lock for its scope. Null (false) when this thread already holds it.
    using Lease = StoreLease<DatabaseOperate>;

    // Takes the lock, blocking while another thread holds it, and returns the one instance
    // (made on first use). Null, at once and logged, when this thread already holds it.
    static DatabaseOperate* getInstance();
    // Gives the lock back. After a refused getInstance it gives nothing back, so the pair may be
    // written as usual.
    static void revertInstance();

    // Makes the refresh stamps of CommonFunction (getWebFileLastUpdateTime and the rest) use
    // this store. Start-up calls it once before anything asks for a stamp.
    static void installWebFileStampStore();

    DatabaseOperate(const DatabaseOperate&) = delete;
    DatabaseOperate& operator=(const DatabaseOperate&) = delete;

    // ---- Connection ----

    // Opens a new connection on Documents/fileName in place of the current one; the opened
    // connection, or null (the unopened one is kept and fails every statement).
    std::shared_ptr<FMDatabase> loadDB(const QString& fileName);
    // Drops the connection when it no longer answers.
    void CheckConnection();
    // Closes and drops the connection; the next operation opens the file again (used when the
    // storage folder moves).
    void closeDB();

    // ---- LastUpdateTime: time of the last download of each web file ----

    // True when the row of the tag holds the time afterwards.
    bool setLastUpdateTime(const QString& time, int64_t tableIndex);
    // The stored time, or null.
    QString getLastUpdateTime(int64_t tableIndex);
    // True when a row with this time has the tag. Does not open the file.
    bool updateSuccess(const QString& time, int64_t tableIndex);

    // ---- UrlList1: the server URLs (see ServerUrls.h) ----

    // Makes the table with its 100 built-in rows (and "UrlsVersion1" = "1"), or re-adds a
    // missing u100 row. False when the file cannot be opened or the table made.
    bool UrlList_check();
    // Gives every URL global its built-in value, then the stored one. False (every global at its
    // built-in value) when the table cannot be used or holds an empty value. Called once, at
    // start-up, before any global is read.
    bool UrlList_get();
    // Writes item i to key u(i+1) for i = 1 ... 99 (u1 is never written) in one transaction. False
    // and nothing changed when there are fewer than 100 items or any write fails. The running
    // globals keep their values until the next start.
    bool UrlList_update(const QStringList& urls);

    // ---- CategoryList: the news channels ----

    bool NewsList_check();
    // The server's channel list: replaces the table, or merges it into the user's arrangement
    // when "NewListEdit" is set (then the kept channels are taken out of list). False, the table
    // as it was, when the transaction does not commit (a tag map that cannot be made ends it).
    bool NewsList_update(QList<NewsListDataPtr>& list);
    // Append the shown channels by order / the hidden ones by id; channels without a list address
    // are left out.
    bool NewsList_getCurrentDisplayNewsList(QList<NewsListDataPtr>& list);
    bool NewsList_getCurrentNoDisplayNewsList(QList<NewsListDataPtr>& list);
    bool NewsList_getAllNewsList(QList<NewsListDataPtr>& list, bool orderByNewsID);
    // The channel editor's write of each channel's shown state and order.
    bool NewsList_OnlyUpdateNewsListByNewsListID(const QList<NewsListDataPtr>& list);
    // Adds the hot-comments channel 153 at the fourth place, or renames it when present.
    bool HotComment_insert(const QString& name, const QString& url);
    void HotComment_delete();

    // ---- Channel tag maps: channel id -> the tags of its stored state ----

    bool WebFileLastUpdateTime_check();
    bool WebFileLastUpdateTime_insert(int64_t listId);
    bool WebFileLastUpdateTime_delete(int64_t listId);
    int64_t WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(int64_t listId);

    bool WebFileLastModifyTime_check();
    bool WebFileLastModifyTime_insert(int64_t listId);
    bool WebFileLastModifyTime_delete(int64_t listId);
    int64_t WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(int64_t listId, bool isSlide);

    bool ListMaxNewsID_check();
    bool ListMaxNewsID_insert(int64_t listId);
    bool ListMaxNewsID_delete(int64_t listId);
    int64_t ListMaxNewsID_getListMaxNewsIDByListType(int64_t listId);

    // ---- Update-time and max-id tables ----

    void setCurrentMaxNewsID(int64_t newsId, int64_t newsType);
    // The stored id, or -1.
    int64_t getCurrentMaxNewsIDforNewsType(int64_t newsType);
    // The Last-Modified text of a downloaded file, by file tag.
    void setWebFileLastModifyTime(const QString& text, int64_t fileType);
    QString getWebFileLastModifyTimeforFileType(int64_t fileType);
    // Article page times, under "<guid>_<type>".
    void setNewsLastUpdateTime(const QString& time, int64_t newsType, const QString& newsGuid);
    QString getNewsLastUpdateTimeforNewsType(int64_t newsType, const QString& newsGuid);
    // Clear operations never make their table: YES when it is missing.
    bool clearNewsLastUpdateTimeDB();
    bool autoClearNewsLastUpdateTimeDB(const QStringList& keys);
    void setForumLastUpdateTime(const QString& time, const QString& forumGuid);
    QString getForumLastUpdateTimeforForumGuid(const QString& forumGuid);
    bool clearForumLastUpdateTimeDB();
    bool autoClearForumLastUpdateTimeDB(const QStringList& keys);

    // ---- Read-mark tables (DatabaseOperate_ReadMarks.cpp) ----
    //
    // Lists draw an item opened before in the read colour and leave out ads the user closed. The
    // getters set isHaveRead on the records that are marked, and never clear it.

    // What the nesting getters walk: records, and arrays of records one level deep (a ranking
    // list's sections). A deeper array cannot be expressed, so it is never walked; null records
    // are skipped.
    template <class Record>
    using ReadMarkItem = std::variant<std::shared_ptr<Record>, QList<std::shared_ptr<Record>>>;
    template <class Record>
    using ReadMarkList = QList<ReadMarkItem<Record>>;

    // NewsState: articles opened. Records once: a second call answers false and keeps the first
    // title. News ids are compared as numbers written without quotes would be: "123456" finds the
    // row of 123456; a key that is not a decimal number finds nothing and records nothing.
    bool setNewsState(const QString& guid, bool haveread, const QString& title);
    // False only when the file cannot be opened or the table made.
    bool getNewsState(const ReadMarkList<Feed>& list);
    // True when a row of the id holds the mark. Never opens the file.
    bool updateSuccessHaveread(const QString& guid, bool haveread);
    // Ids up to and including guid, compared as numbers.
    bool autoClearNewsStateDB(const QString& guid);
    bool clearNewsStateDB();

    // NewsADState: own list ads opened, by URL. Only ads of list type 1 are marked. An older table
    // keeping "readtime" texts gains "freadtime" on the first of these two calls.
    bool setListADState(const QString& adUrl, bool haveread);
    bool getListADState(const ReadMarkList<NSListADInfo>& list);
    bool clearListADStateDB();
    bool autoClearListADStateDB();  // read 30 days ago or earlier

    // NewsADDeleteState: ads the user closed, under the URL (own ads) or the title (isTg: ads of
    // outside networks).
    bool setListADDeleteState(const QString& key, bool haveDelete);
    // The stored mark of the ad's title (isTg) or URL; false when there is no row or no ad.
    bool isListADDelete(const NSListADInfoPtr& ad, bool isTg);
    bool clearListADDeleteStateDB();
    bool autoClearListADDeleteStateDB();  // closed 365 days ago or earlier

    // ForumState: community threads opened, with the last-reply time seen. A second record
    // renews the times.
    bool setForumState(int64_t forumId, bool haveread, double replyTime);
    // byReplyTime: a thread with a newer reply than the one recorded reads as unread.
    bool getForumState(const ReadMarkList<ForumFeed>& list, bool byReplyTime);
    bool clearForumStateDB();
    bool autoClearForumStateDB();

    // ZefupState: deals opened, by product id (compared as a number, like the news ids). A second
    // record renews the time.
    bool setZefupState(const QString& productId, bool haveread);
    bool getZefupState(const QList<HotProductModelPtr>& list);
    bool clearZefupStateDB();
    bool autoClearZefupStateDB();

    // HotCommentState: hot comments opened, by comment id as decimal text. Records with an id of
    // 0 or less are skipped.
    bool setHotCommentState(const QString& commentId, bool haveread);
    bool getHotCommentState(const QList<CommentFeedPtr>& list);
    bool clearHotCommentStateDB();
    bool autoClearHotCommentStateDB();

    // ---- Small state tables (DatabaseOperate_SmallTables.cpp) ----

    // UserReadNews: an article is counted once per user. The number of articles the user read on
    // the date's day (UTC+8 with BJtimeZone, else local), this one included; 0 when it was
    // recorded before or could not be added.
    int64_t addReadedNews(const QString& guid, int64_t userID, const QDateTime& readedDate, bool BJtimeZone);
    bool clearReadedNewsDB();

    // ADClickDate: the last click day of each ad URL; URLs match in any letter case.
    bool addADUrl(const QString& url, const QDateTime& clickDate);
    // Whether the URL was clicked today, in UTC+8 days (BJZone) or local days.
    bool IsClickToday(const QString& url, bool BJZone);
    // The URLs clicked today (lower case); empty when the store fails.
    QStringList GetHaveClickTodayBJZone(bool BJZone);

    // CommentManageMaxId / ForumManageMaxId, per account (matched in any letter case): the newest
    // reply id seen and whether a reminder is pending. Storing an id clears the reminder; setting
    // the reminder of an unknown account stores id 0 with it.
    bool CommentManageMaxId_check();
    bool CommentManageMaxId_setMaxId(int maxId, const QString& userAccount);
    bool CommentManageMaxId_setRemind(bool remind, const QString& userAccount);
    int CommentManageMaxId_getMaxId(const QString& userAccount);      // 0 when none
    bool CommentManageMaxId_hasRemind(const QString& userAccount);
    bool ForumManageMaxId_check();
    bool ForumManageMaxId_setMaxId(int maxId, const QString& userAccount);
    bool ForumManageMaxId_setRemind(bool remind, const QString& userAccount);
    int ForumManageMaxId_getMaxId(const QString& userAccount);
    bool ForumManageMaxId_hasRemind(const QString& userAccount);

    // AppManage / AppManageTX: recommended apps per app type and their reminder flags.
    bool AppManage_check();
    // Replaces the apps of the type; an empty list leaves the type without apps.
    bool AppManage_setData(const QList<NSAppInfoPtr>& apps, int type);
    QList<NSAppInfoPtr> AppManage_getData(int type);
    // True when some given app name is not stored for the type; false for an empty list.
    bool AppManage_hasNewData(int type, const QList<NSAppInfoPtr>& apps);
    bool AppManageTX_check();
    bool AppManageTX_setRemind(bool remind, int type);
    bool AppManageTX_hasRemind(int type);

    // SearchHistory: texts per search kind, matched exactly (letter case included).
    bool SearchHistory_check();
    // Newest first; nothing when the table cannot be used.
    std::optional<QList<SearchInfoPtr>> SearchHistory_get(int64_t searchType);
    // A repeated text moves to the front.
    bool SearchHistory_insert(const SearchInfo& info);
    bool SearchHistory_delete(const SearchInfo& info);
    bool SearchHistory_clear(int64_t searchType);

    // ZhiChiFanDui / ZhiChiFanDuiVund: the user's vote on a comment / community reply (decimal
    // id). A new vote replaces the old one; 0 reads as no vote.
    bool ZhiChiFanDui_check();
    int64_t ZhiChiFanDui_get(const QString& commentId);
    bool ZhiChiFanDui_insert(const QString& commentId, int64_t type);
    bool ZhiChiFanDui_delete(const QString& commentId);
    bool ZhiChiFanDuiVund_check();
    int64_t ZhiChiFanDuiVund_get(const QString& commentId);
    bool ZhiChiFanDuiVund_insert(const QString& commentId, int64_t type);
    bool ZhiChiFanDuiVund_delete(const QString& commentId);

    // NewsScore: the user's own score of an article; user and article match in any letter case.
    bool NewsScore_check();
    bool NewsScore_setScore(const QString& newsId, const QString& userId, const QString& score);
    // "-1" when the article was not scored by the user.
    QString NewsScore_getScore(const QString& newsId, const QString& userId);

    // ---- Forum lists, deal categories and forum categories (DatabaseOperate_ForumLists.cpp) ----

    // ForumList1: the community circles, laid out like the channel table with ListCount added.
    // Made with the built-in circles 21, 25, 22 and 23.
    bool ForumList_check();
    // Appended to list: the shown circles by place (never one named "全部"), the hidden ones by id,
    // or all of them by id or by place. The "nohave" marker reads as "".
    bool ForumList_getCurrentDisplayForumList(QList<NewsListDataPtr>& list);
    bool ForumList_getCurrentNoDisplayForumList(QList<NewsListDataPtr>& list);
    bool ForumList_getAllForumList(QList<NewsListDataPtr>& list, bool orderByForumID);
    // Writes only the shown flag and the place of each given circle. False for an empty list.
    bool ForumList_OnlyUpdateForumListByForumListID(const QList<NewsListDataPtr>& list);
    // The server's circles replace all rows in one transaction, shown and numbered 1, 2, ... in
    // list order; an empty list empties the table. False, nothing changed, when the delete or
    // the commit fails.
    bool ForumList_ReplaceForumList(const QList<NSVundListInfoPtr>& list);

    // HotProductList: the deals channel's category names. Made with "全部", "爆品", "白菜价", "福利".
    bool HotProduct_check();
    // "全部" followed by the non-empty names, in one transaction. False, old names kept, when the
    // old names cannot be removed or the commit fails.
    bool HotProduct_update(const QStringList& names);
    // Appends the names in their stored order.
    bool HotProduct_getList(QStringList& list);

    // ForumCategory: the sub-categories of each circle.
    bool ForumCategory_check();
    // Appends the circle's sub-categories whose id is above 0.
    bool ForumCategory_getCategoryList(QList<NSVundCategoryInfoPtr>& list, int64_t categoryId);
    // The circle's sub-categories are replaced in one transaction; other circles keep theirs.
    // False, nothing changed, when the delete or the commit fails.
    bool ForumCategory_setCategoryList(const QList<NSVundCategoryInfoPtr>& list, int64_t categoryId);

    // ---- Favourites tables (DatabaseOperate_Favourites.cpp) ----
    //
    // Favrite_Data: saved articles per account (kFavriteNoUserAccount while nobody is logged in).
    // FavriteUserAndContents: per account, the version of its favourites file, whether the local
    // favourites changed since the last upload, and the time of the last change or sync. Accounts
    // match in any letter case (folded as SQLite's upper() folds them), except in
    // Favrite_Data_isHaveSaveFavriteData; times are stored in whole
    // seconds. A write that fails is tried once more before it counts as failed.

    // The table is ready (an older one gains ffavritetime) and the account has a sync row (made
    // with version 0 when missing).
    bool Favrite_Data_check(const QString& userAccount);
    // Saves the article once per account (true when it was saved already). A local save
    // (cloudSyn false) marks the account changed.
    bool Favrite_Data_setNewsFavriteData(const Favrite_Data& data, bool cloudSyn);
    // Adds every item as it is, duplicates included, in one transaction; the commit's result.
    bool Favrite_Data_setNewsFavriteDataArray(const QList<Favrite_DataPtr>& array);
    // What a download does: the account's favourites become the items, in one transaction. False,
    // the old favourites kept, when any statement fails. The sync row is not touched.
    bool Favrite_Data_replaceAllFavriteDataByUserAccount(const QString& userAccount,
                                                         const QList<Favrite_DataPtr>& array);
    // Appended to array, newest first: the account's favourites with the logged-out ones / the
    // account's own.
    bool Favrite_Data_getCurrentAccountAndNoAccountAllFavriteURLAndTitleData(QList<Favrite_DataPtr>& array,
                                                                             const QString& userAccount);
    bool Favrite_Data_getAllFavriteURLAndTitleData(QList<Favrite_DataPtr>& array, const QString& userAccount);
    // Distinct articles of the account and the logged-out favourites; 0 when the store fails.
    int Favrite_Data_getCurrentAccountAndNoAccountAllFavriteCountByUserAccount(const QString& userAccount);
    // The sync row is not touched.
    bool Favrite_Data_deleteAllFavriteDataByUserAccount(const QString& userAccount);
    // The row id alone picks the row, whoever owns it; userAccount is marked changed.
    bool Favrite_Data_deleteFavriteDataWithFavriteDataId(int64_t favriteDataTag, const QString& userAccount);
    bool Favrite_Data_deleteFavriteDataWithNewsId(const QString& newsID, const QString& userAccount);
    // Whether the article is saved under exactly this account (letter case included).
    bool Favrite_Data_isHaveSaveFavriteData(const QString& newsID, const QString& userAccount);

    // The table is ready; an older one gains flastUpdateTime.
    bool FavriteUserAndContents_check();
    // Stores the record, the account text in its letter case; writes nothing when the row equals it.
    bool FavriteUserAndContents_setNewsData(const FavriteUserAndContents& data);
    // Null when the account has no row.
    FavriteUserAndContentsPtr FavriteUserAndContents_getDataByUser(const QString& userAccount);
    bool FavriteUserAndContents_deleteDataByUser(const QString& userAccount);
    // A local change at date: marks the account changed, raising the version at the first change
    // after an upload. False, nothing made, when the account has no row.
    bool FavriteUserAndContents_updateLastDate(const QDateTime& date, const QString& userAccount);
    bool FavriteUserAndContents_bhaveModifiedByUser(const QString& userAccount);
    // After an upload: clears the changed mark; version and time stay.
    bool FavriteUserAndContents_setModifiedNoUser(const QString& userAccount);

private:
    DatabaseOperate() = default;
    ~DatabaseOperate() = default;

    // The bracket of a Lease (see StoreLock).
    friend class StoreLease<DatabaseOperate>;
    static DatabaseOperate* enterScope();
    static void leaveScope();
    static DatabaseOperate* instance();
    // The connection step and the create-on-first-use step of a table without default rows.
    bool openTable(const QString& table, const QString& createStatement);
    // The editor's write of the shown flags and orders of a channel table (CategoryList or
    // ForumList1): one plain UPDATE per entry when fewer than two, else one CASE statement.
    bool updateShownAndOrder(const QString& table, const QList<NewsListDataPtr>& list);
    // The common part of the two clear and the two auto-clear operations.
    // A deleteStatement made for this call only (reusable false) does not stay in the cache.
    bool clearTable(const QString& table, const QString& deleteStatement, const QVariantList& arguments,
                    bool reusable = true);
    // The channel rows of a query, read as the getters read them (no NewsList_check); false when
    // they could not all be read.
    bool readChannels(const QString& condition, const QVariantList& arguments, QList<NewsListDataPtr>& list);
    // One server channel's row with the field rules of the channel list update.
    void insertServerChannel(const NewsListData& channel, int64_t displayOrder);
    // The check of one tag map: drop the table of the earlier layout, make the map with its rows.
    bool checkMap(const QString& oldTable, const QString& table, const QString& createStatement,
                  const QList<BoundStatement>& defaultRows);

    StoreConnection m_connection;
};
