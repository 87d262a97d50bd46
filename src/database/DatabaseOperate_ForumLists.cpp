#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreStatements.h"

#include <array>

namespace {

using StoreStatements::integer;

// The stored marker of "no address".
const QString kNoAddress = QStringLiteral("nohave");
const QString kAllCategories = QStringLiteral("全部");

const QString kCircleColumns = QStringLiteral(
    "ListId, ListName, ListUrl, SlideUrl, LoadMoreUrl, LoadType, CanDelete, bDisplay, canChangeOrder, displayOrder, "
    "ListCount");
const QString kInsertCircle = QStringLiteral("INSERT INTO ForumList1 (") + kCircleColumns +
                              QStringLiteral(") VALUES (?, ?,?,?,?, ?, ?, ?, ?, ?,?)");
const QString kInsertCategoryName = QStringLiteral("INSERT INTO HotProductList (ListName) VALUES (?)");

struct BuiltInCircle
{
    int64_t listId;
    const char16_t* name;
    int64_t displayOrder;
};

// In the order the rows are made; their places start at 2.
const std::array<BuiltInCircle, 4> kBuiltInCircles = {{
    {21, u"Win10Vund", 2},
    {25, u"Win10手机Vund", 3},
    {22, u"畅谈", 4},
    {23, u"反馈建议", 5},
}};

const std::array<const char16_t*, 4> kBuiltInCategoryNames = {u"全部", u"爆品", u"白菜价", u"福利"};

// A stored address as the readers hand it out: the marker and NULL become "".
QString circleAddress(FMResultSet& row, const QString& column)
{
    const QString value = row.stringForColumn(column);
    return value.isNull() || value == kNoAddress ? QStringLiteral("") : value;
}

void readCircles(FMDatabase& db, const QString& condition, const QVariantList& arguments, QList<NewsListDataPtr>& list)
{
    const BoundStatement query{QStringLiteral("SELECT ") + kCircleColumns + QStringLiteral(" FROM ForumList1 ") + condition,
                               arguments};
    StoreStatements::eachRow(db, query, [&](FMResultSet& row) {
        auto circle = std::make_shared<NewsListData>();
        circle->iListID = row.longLongIntForColumn(QStringLiteral("ListId"));
        circle->ListName = row.stringForColumn(QStringLiteral("ListName"));
        circle->ListUrl = circleAddress(row, QStringLiteral("ListUrl"));
        circle->SlideUrl = circleAddress(row, QStringLiteral("SlideUrl"));
        circle->LoadMoreUrl = circleAddress(row, QStringLiteral("LoadMoreUrl"));
        circle->iLoadType = row.longLongIntForColumn(QStringLiteral("LoadType"));
        circle->bCanDelete = row.boolForColumn(QStringLiteral("CanDelete"));
        circle->bDisplay = row.boolForColumn(QStringLiteral("bDisplay"));
        circle->bCanChangeOrder = row.boolForColumn(QStringLiteral("canChangeOrder"));
        circle->iDisplayOrder = row.longLongIntForColumn(QStringLiteral("displayOrder"));
        circle->ListCount = row.stringForColumn(QStringLiteral("ListCount"));
        if (circle->iListID >= 0)
            list.append(circle);
        return true;
    });
}

// A value that may be null is stored as NULL, not as some text standing for it.
QVariant textOrNull(const QString& text)
{
    return text.isNull() ? FMDatabase::null() : QVariant(text);
}

// The rows of a replace: remove, then write, in one transaction. The writes' own failures are
// not counted (such a row is missing afterwards); a failed removal or commit changes nothing.
bool replaceInTransaction(FMDatabase& db, const BoundStatement& remove, const QList<BoundStatement>& inserts)
{
    if (!db.beginTransaction())
        return false;
    if (!StoreStatements::run(db, remove)) {
        db.rollback();
        return false;
    }
    for (const BoundStatement& insert : inserts)
        StoreStatements::run(db, insert);
    if (!StoreStatements::commit(db)) {
        db.rollback();
        return false;
    }
    return true;
}

}  // namespace

// ---- ForumList1 ----

bool DatabaseOperate::ForumList_check()
{
    if (!m_connection.connect())
        return false;
    QList<BoundStatement> builtIn;
    for (const BuiltInCircle& c : kBuiltInCircles) {
        builtIn.append({kInsertCircle,
                        {integer(c.listId), QString::fromUtf16(c.name), kNoAddress, kNoAddress, kNoAddress, integer(1),
                         false, true, false, integer(c.displayOrder), QStringLiteral("0")}});
    }
    return m_connection.ensureTable(
        QStringLiteral("ForumList1"),
        QStringLiteral("CREATE TABLE ForumList1 (ListId INTEGER PRIMARY KEY, ListName text, ListUrl text, SlideUrl "
                       "text, LoadMoreUrl text, LoadType INTEGER, CanDelete BOOLEAN, bDisplay BOOLEAN, canChangeOrder "
                       "BOOLEAN, displayOrder INTEGER, ListCount text)"),
        nullptr, builtIn);
}

bool DatabaseOperate::ForumList_getCurrentDisplayForumList(QList<NewsListDataPtr>& list)
{
    if (!ForumList_check())
        return false;
    readCircles(*m_connection.db(), QStringLiteral("where bDisplay = ? and ListName <> ? order by displayOrder asc"),
                {1, kAllCategories}, list);
    return true;
}

bool DatabaseOperate::ForumList_getCurrentNoDisplayForumList(QList<NewsListDataPtr>& list)
{
    if (!ForumList_check())
        return false;
    readCircles(*m_connection.db(), QStringLiteral("where bDisplay = ? order by ListId asc"), {0}, list);
    return true;
}

bool DatabaseOperate::ForumList_getAllForumList(QList<NewsListDataPtr>& list, bool orderByForumID)
{
    if (!ForumList_check())
        return false;
    readCircles(*m_connection.db(),
                orderByForumID ? QStringLiteral("order by ListId asc") : QStringLiteral("order by displayOrder asc"), {},
                list);
    return true;
}

bool DatabaseOperate::ForumList_OnlyUpdateForumListByForumListID(const QList<NewsListDataPtr>& list)
{
    if (!ForumList_check())
        return false;
    return updateShownAndOrder(QStringLiteral("ForumList1"), list);
}

bool DatabaseOperate::ForumList_ReplaceForumList(const QList<NSVundListInfoPtr>& list)
{
    if (!ForumList_check())
        return false;
    QList<BoundStatement> inserts;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const NSVundListInfoPtr& circle = list.at(i);
        if (!circle)
            continue;
        inserts.append({kInsertCircle,
                        {integer(circle->vundId), circle->vundTitle, kNoAddress, kNoAddress, kNoAddress, integer(1),
                         false, true, false, integer(i + 1), textOrNull(circle->vundCount)}});
    }
    return replaceInTransaction(*m_connection.db(), {QStringLiteral("DELETE FROM ForumList1"), {}}, inserts);
}

// ---- HotProductList ----

bool DatabaseOperate::HotProduct_check()
{
    if (!m_connection.connect())
        return false;
    QList<BoundStatement> builtIn;
    for (const char16_t* name : kBuiltInCategoryNames)
        builtIn.append({kInsertCategoryName, {QString::fromUtf16(name)}});
    return m_connection.ensureTable(
        QStringLiteral("HotProductList"),
        QStringLiteral("CREATE TABLE HotProductList (ListId INTEGER PRIMARY KEY AUTOINCREMENT, ListName text)"), nullptr,
        builtIn);
}

bool DatabaseOperate::HotProduct_update(const QStringList& names)
{
    if (!HotProduct_check())
        return false;
    QList<BoundStatement> inserts{{kInsertCategoryName, {kAllCategories}}};
    for (const QString& name : names) {
        if (!name.isEmpty())
            inserts.append({kInsertCategoryName, {name}});
    }
    return replaceInTransaction(*m_connection.db(), {QStringLiteral("DELETE FROM HotProductList"), {}}, inserts);
}

bool DatabaseOperate::HotProduct_getList(QStringList& list)
{
    if (!HotProduct_check())
        return false;
    StoreStatements::eachRow(*m_connection.db(),
                             {QStringLiteral("SELECT ListName FROM HotProductList order by ListId asc"), {}},
                             [&](FMResultSet& row) {
                                 const QString name = row.stringForColumn(QStringLiteral("ListName"));
                                 if (!name.isEmpty())
                                     list.append(name);
                                 return true;
                             });
    return true;
}

// ---- ForumCategory ----

bool DatabaseOperate::ForumCategory_check()
{
    return openTable(QStringLiteral("ForumCategory"),
                     QStringLiteral("CREATE TABLE ForumCategory (ForumCategoryid INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "ListId INTEGER, CategoryId INTEGER, CategoryName text)"));
}

bool DatabaseOperate::ForumCategory_getCategoryList(QList<NSVundCategoryInfoPtr>& list, int64_t categoryId)
{
    if (!ForumCategory_check())
        return false;
    StoreStatements::eachRow(*m_connection.db(),
                             {QStringLiteral("SELECT CategoryId, CategoryName FROM ForumCategory where ListId = ?"),
                              {integer(categoryId)}},
                             [&](FMResultSet& row) {
                                 auto category = std::make_shared<NSVundCategoryInfo>();
                                 category->categoryId = row.longLongIntForColumn(QStringLiteral("CategoryId"));
                                 category->categoryTitle = row.stringForColumn(QStringLiteral("CategoryName"));
                                 if (category->categoryId > 0)
                                     list.append(category);
                                 return true;
                             });
    return true;
}

bool DatabaseOperate::ForumCategory_setCategoryList(const QList<NSVundCategoryInfoPtr>& list, int64_t categoryId)
{
    if (!ForumCategory_check())
        return false;
    QList<BoundStatement> inserts;
    for (const NSVundCategoryInfoPtr& category : list) {
        if (category) {
            inserts.append({QStringLiteral("INSERT INTO ForumCategory (ListId, CategoryId, CategoryName) VALUES (?, ?,?)"),
                            {integer(categoryId), integer(category->categoryId), category->categoryTitle}});
        }
    }
    return replaceInTransaction(
        *m_connection.db(),
        {QStringLiteral("DELETE FROM ForumCategory where ListId = ?"), {integer(categoryId)}}, inserts);
}
