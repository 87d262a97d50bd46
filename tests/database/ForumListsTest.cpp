#include "DatabaseTestSupport.h"

namespace {

NSVundListInfoPtr circle(int64_t id, const QString& title, const QString& count)
{
    auto info = std::make_shared<NSVundListInfo>();
    info->vundId = id;
    info->vundTitle = title;
    info->vundCount = count;
    return info;
}

NSVundCategoryInfoPtr category(int64_t id, const QString& title)
{
    auto info = std::make_shared<NSVundCategoryInfo>();
    info->categoryId = id;
    info->categoryTitle = title;
    return info;
}

const QString kRefuseDelete = QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, "
                                             "'refused'); END");

}  // namespace

class ForumListsTest : public DatabaseTest
{
protected:
    static QStringList categories(DatabaseOperate& store)
    {
        QStringList names;
        EXPECT_TRUE(store.HotProduct_getList(names));
        return names;
    }
    static QList<NewsListDataPtr> all(DatabaseOperate& store, bool byId)
    {
        QList<NewsListDataPtr> list;
        EXPECT_TRUE(store.ForumList_getAllForumList(list, byId));
        return list;
    }
};

TEST_F(ForumListsTest, DealCategoriesStartWithTheBuiltIns)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    QStringList names{"before"};
    ASSERT_TRUE(store->HotProduct_getList(names));
    EXPECT_EQ(names, QStringList({"before", "全部", "爆品", "白菜价", "福利"}));
}

TEST_F(ForumListsTest, DealCategoryUpdatePutsAllFirst)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->HotProduct_update({"数码", ""}));
    EXPECT_EQ(categories(*store), QStringList({"全部", "数码"}));
    EXPECT_TRUE(store->HotProduct_update({}));
    EXPECT_EQ(categories(*store), QStringList({"全部"}));
    EXPECT_TRUE(store->HotProduct_update({"全部", "it's"}));
    EXPECT_EQ(categories(*store), QStringList({"全部", "全部", "it's"}));

    // When the old names cannot be removed, they stay and nothing is added.
    ASSERT_TRUE(file().executeUpdate(kRefuseDelete.arg("HotProductList")));
    EXPECT_FALSE(store->HotProduct_update({"新"}));
    EXPECT_EQ(categories(*store), QStringList({"全部", "全部", "it's"}));
    EXPECT_FALSE(file().inTransaction());
}

TEST_F(ForumListsTest, BuiltInCirclesByIdAndByPlace)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    const QList<NewsListDataPtr> byId = all(*store, true);
    EXPECT_EQ(ids(byId), QList<int64_t>({21, 22, 23, 25}));
    EXPECT_EQ(ids(all(*store, false)), QList<int64_t>({21, 25, 22, 23}));
    for (const NewsListDataPtr& c : byId) {
        EXPECT_EQ(c->ListUrl, "");
        EXPECT_FALSE(c->ListUrl.isNull());
        EXPECT_EQ(c->SlideUrl, "");
        EXPECT_EQ(c->LoadMoreUrl, "");
        EXPECT_EQ(c->ListCount, "0");
        EXPECT_EQ(c->iLoadType, 1);
        EXPECT_TRUE(c->bDisplay);
        EXPECT_FALSE(c->bCanDelete);
        EXPECT_FALSE(c->bCanChangeOrder);
    }
    EXPECT_EQ(byId[3]->ListName, "Win10手机Vund");
    EXPECT_EQ(byId[3]->iDisplayOrder, 3);
    EXPECT_EQ(file().stringForQuery("SELECT SlideUrl FROM ForumList1 WHERE ListId = 21"), "nohave");

    // A circle named "全部" is never among the shown ones; a negative id is never read.
    ASSERT_TRUE(file().executeUpdate("INSERT INTO ForumList1 (ListId, ListName, bDisplay, displayOrder) VALUES "
                                     "(30, '全部', 1, 1), (-4, 'neg', 0, 0), (31, 'hidden', 0, 9)"));
    QList<NewsListDataPtr> shown;
    ASSERT_TRUE(store->ForumList_getCurrentDisplayForumList(shown));
    EXPECT_EQ(ids(shown), QList<int64_t>({21, 25, 22, 23}));
    QList<NewsListDataPtr> hidden{editorChoice(1, false, 0)};
    ASSERT_TRUE(store->ForumList_getCurrentNoDisplayForumList(hidden));
    EXPECT_EQ(ids(hidden), QList<int64_t>({1, 31}));
    EXPECT_EQ(ids(all(*store, false)), QList<int64_t>({30, 21, 25, 22, 23, 31}));
}

TEST_F(ForumListsTest, ReplacingCirclesNumbersThemFromOne)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->ForumList_ReplaceForumList({circle(40, "甲", "12"), circle(38, "it's", QString())}));
    const QList<NewsListDataPtr> circles = all(*store, false);
    ASSERT_EQ(ids(circles), QList<int64_t>({40, 38}));
    EXPECT_EQ(circles[0]->iDisplayOrder, 1);
    EXPECT_EQ(circles[1]->iDisplayOrder, 2);
    EXPECT_TRUE(circles[0]->bDisplay && circles[1]->bDisplay);
    EXPECT_EQ(circles[0]->ListCount, "12");
    EXPECT_EQ(circles[1]->ListName, "it's");
    EXPECT_TRUE(circles[1]->ListCount.isNull());
    EXPECT_EQ(rowCount("ForumList1", "WHERE ListUrl = 'nohave' AND SlideUrl = 'nohave' AND LoadMoreUrl = 'nohave'"), 2);

    // A replace that cannot remove the old rows changes nothing.
    ASSERT_TRUE(file().executeUpdate(kRefuseDelete.arg("ForumList1")));
    EXPECT_FALSE(store->ForumList_ReplaceForumList({circle(50, "乙", "1")}));
    EXPECT_EQ(ids(all(*store, true)), QList<int64_t>({38, 40}));
    ASSERT_TRUE(file().executeUpdate("DROP TRIGGER refuse"));

    // No circles: an empty table, which is not filled again.
    EXPECT_TRUE(store->ForumList_ReplaceForumList({}));
    EXPECT_TRUE(all(*store, true).isEmpty());
    EXPECT_FALSE(file().inTransaction());
}

TEST_F(ForumListsTest, EditorChoicesWriteShownFlagAndPlaceOnly)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    EXPECT_FALSE(store->ForumList_OnlyUpdateForumListByForumListID({}));
    EXPECT_EQ(ids(all(*store, false)), QList<int64_t>({21, 25, 22, 23}));

    EXPECT_TRUE(store->ForumList_OnlyUpdateForumListByForumListID({editorChoice(23, false, 0)}));
    EXPECT_EQ(rowCount("ForumList1", "WHERE bDisplay = 0"), 1);

    EXPECT_TRUE(store->ForumList_OnlyUpdateForumListByForumListID(
        {editorChoice(22, true, 1), editorChoice(25, true, 2), editorChoice(21, false, 7)}));
    QList<NewsListDataPtr> shown;
    ASSERT_TRUE(store->ForumList_getCurrentDisplayForumList(shown));
    EXPECT_EQ(ids(shown), QList<int64_t>({22, 25}));
    QList<NewsListDataPtr> hidden;
    ASSERT_TRUE(store->ForumList_getCurrentNoDisplayForumList(hidden));
    EXPECT_EQ(ids(hidden), QList<int64_t>({21, 23}));
    EXPECT_EQ(hidden[0]->iDisplayOrder, 7);
    EXPECT_EQ(hidden[0]->ListName, "Win10Vund");
}

TEST_F(ForumListsTest, CategoriesAreReplacedOneCircleAtATime)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->ForumCategory_setCategoryList({category(1, "a"), category(2, "b")}, 22));
    EXPECT_TRUE(store->ForumCategory_setCategoryList({category(5, "x"), category(0, "zero"), category(6, "y")}, 21));

    QList<NSVundCategoryInfoPtr> of22;
    ASSERT_TRUE(store->ForumCategory_getCategoryList(of22, 22));
    ASSERT_EQ(of22.size(), 2);
    EXPECT_EQ(of22[0]->categoryId, 1);
    EXPECT_EQ(of22[1]->categoryTitle, "b");

    // The stored sub-category 0 is left out when read; the array is appended to.
    QList<NSVundCategoryInfoPtr> of21{category(99, "kept")};
    ASSERT_TRUE(store->ForumCategory_getCategoryList(of21, 21));
    ASSERT_EQ(of21.size(), 3);
    EXPECT_EQ(of21[0]->categoryId, 99);
    EXPECT_EQ(of21[1]->categoryId, 5);
    EXPECT_EQ(of21[2]->categoryTitle, "y");
    EXPECT_EQ(rowCount("ForumCategory", "WHERE ListId = 21"), 3);

    // A failed replace keeps the circle's rows; an empty one removes them.
    ASSERT_TRUE(file().executeUpdate(kRefuseDelete.arg("ForumCategory")));
    EXPECT_FALSE(store->ForumCategory_setCategoryList({category(7, "z")}, 21));
    EXPECT_EQ(rowCount("ForumCategory", "WHERE ListId = 21"), 3);
    ASSERT_TRUE(file().executeUpdate("DROP TRIGGER refuse"));
    EXPECT_TRUE(store->ForumCategory_setCategoryList({}, 21));
    EXPECT_EQ(rowCount("ForumCategory", "WHERE ListId = 21"), 0);
    EXPECT_EQ(rowCount("ForumCategory", "WHERE ListId = 22"), 2);
}

TEST_F(ForumListsTest, AnUnusableStoreLeavesArraysAlone)
{
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    QStringList names{"kept"};
    EXPECT_FALSE(store->HotProduct_getList(names));
    EXPECT_EQ(names, QStringList({"kept"}));
    QList<NewsListDataPtr> circles;
    EXPECT_FALSE(store->ForumList_getAllForumList(circles, true));
    EXPECT_TRUE(circles.isEmpty());
    EXPECT_FALSE(store->HotProduct_update({"a"}));
    EXPECT_FALSE(store->ForumList_ReplaceForumList({circle(1, "a", "1")}));
    EXPECT_FALSE(store->ForumCategory_setCategoryList({category(1, "a")}, 21));
}
