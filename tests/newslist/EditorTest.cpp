#include "SearchTestSupport.h"
#include "newslist/views/editor/editColumnViewController.h"
#include "ui/controls/CustomButton.h"

#include <QFrame>

using namespace h24;

namespace {

class EditorTest : public Fixture
{
protected:
    QList<NewsListDataPtr> stored(bool shown)
    {
        QList<NewsListDataPtr> list;
        DatabaseOperate::Lease store;
        if (shown)
            store->NewsList_getCurrentDisplayNewsList(list);
        else
            store->NewsList_getCurrentNoDisplayNewsList(list);
        return list;
    }
    static QList<int64_t> ids(const QList<NewsListDataPtr>& list)
    {
        QList<int64_t> result;
        for (const NewsListDataPtr& channel : list)
            result.append(channel->iListID);
        return result;
    }
    static QList<int64_t> orders(const QList<NewsListDataPtr>& list)
    {
        QList<int64_t> result;
        for (const NewsListDataPtr& channel : list)
            result.append(channel->iDisplayOrder);
        return result;
    }
    static QList<int64_t> oneTo(int n)
    {
        QList<int64_t> result;
        for (int i = 1; i <= n; ++i)
            result.append(i);
        return result;
    }
    CustomButton* button(editColumnViewController& view, bool shown, int64_t id)
    {
        for (CustomButton* b : view.gridButtons(shown)) {
            if (b->property("editorTag").toLongLong() == id)
                return b;
        }
        return nullptr;
    }

    editColumnModel::ColumnLink link()
    {
        return {[this](const QList<NewsListDataPtr>& shown) { created.append(ids(shown)); },
                [this](const QList<NewsListDataPtr>& shown) { updated.append(ids(shown)); }};
    }

    QList<QList<int64_t>> created;
    QList<QList<int64_t>> updated;
};

}  // namespace

TEST_F(EditorTest, HidingAndShowingBuiltInChannels)
{
    editColumnViewController view(link());
    const QList<int64_t> before = ids(stored(true));
    // The built-in table starts with two channels sharing place 4.
    const QList<int64_t> builtInOrders = orders(stored(true));
    ASSERT_EQ(before.size(), 11);
    ASSERT_EQ(ids(view.model().selectedArray()), before);

    // Channel 101 is never hidden, and nothing is stored for its click.
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->NewsList_OnlyUpdateNewsListByNewsListID({std::make_shared<NewsListData>(NewsListData{
            102, QStringLiteral("排行榜"), {}, {}, {}, 2, true, true, true, 77, {}})}));
    }
    button(view, true, 101)->click();
    EXPECT_EQ(stored(true).size(), 11);
    EXPECT_EQ(orders(stored(true)).last(), 77);
    EXPECT_TRUE(created.isEmpty());
    view.model().updateDataSource();  // puts 102's order back from the editor's copy
    EXPECT_EQ(orders(stored(true)), builtInOrders);

    // Hiding the seventh channel numbers the others 1..10 without a gap and gives it 0.
    const int64_t hidden = before.at(6);
    button(view, true, hidden)->click();
    EXPECT_EQ(orders(stored(true)), oneTo(10));
    EXPECT_FALSE(ids(stored(true)).contains(hidden));
    ASSERT_EQ(created.size(), 1);
    EXPECT_EQ(created[0].size(), 10);
    for (const NewsListDataPtr& channel : stored(false)) {
        if (channel->iListID == hidden)
            EXPECT_EQ(channel->iDisplayOrder, 0);
    }
    EXPECT_EQ(view.gridButtons(true).size(), 10);

    // Showing it again puts it last, with order 11.
    button(view, false, hidden)->click();
    const QList<NewsListDataPtr> shown = stored(true);
    ASSERT_EQ(shown.size(), 11);
    EXPECT_EQ(shown.last()->iListID, hidden);
    EXPECT_EQ(shown.last()->iDisplayOrder, 11);
    ASSERT_EQ(updated.size(), 1);
    EXPECT_EQ(updated[0].last(), hidden);
}

TEST_F(EditorTest, HiddenGridIsInChannelIdOrderAndStaleButtonsDoNothing)
{
    editColumnViewController view(link());
    button(view, true, 108)->click();
    button(view, true, 104)->click();
    const QList<int64_t> hiddenIds = ids(view.model().optionalArray());
    EXPECT_TRUE(std::is_sorted(hiddenIds.begin(), hiddenIds.end()));
    EXPECT_TRUE(hiddenIds.contains(104) && hiddenIds.contains(108));

    // Buttons made before a channel moved: nothing happens.
    const qsizetype createdBefore = created.size();
    view.model().BeOptional(104);   // already hidden
    view.model().BeSelected(103);   // shown, not hidden
    view.model().BeSelected(9999);  // no such channel
    EXPECT_EQ(created.size(), createdBefore);
    EXPECT_TRUE(updated.isEmpty());
    EXPECT_EQ(stored(true).size(), 9);
}

TEST_F(EditorTest, NineShownChannelsFillRowsOfFour)
{
    editColumnViewController view(link());
    button(view, true, 108)->click();
    button(view, true, 107)->click();
    const QList<CustomButton*> grid = view.gridButtons(true);
    ASSERT_EQ(grid.size(), 9);
    const int lineBottom = view.firstLine()->geometry().bottom() + 1;
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(grid[i]->geometry(), QRect(20 + (i % 4) * 80, lineBottom + 10 + (i / 4) * 30, 70, 20)) << i;
        EXPECT_EQ(grid[i]->text(), view.model().selectedArray().at(i)->ListName);
    }
    EXPECT_EQ(grid[4]->y() - grid[0]->y(), 30);
    EXPECT_EQ(grid[8]->y() - grid[4]->y(), 30);
    // The hidden grid hangs below secondLine, under the shown one.
    const QList<CustomButton*> hiddenGrid = view.gridButtons(false);
    ASSERT_FALSE(hiddenGrid.isEmpty());
    EXPECT_GT(view.secondLine()->y(), grid[8]->geometry().bottom());
    EXPECT_EQ(hiddenGrid[0]->geometry().topLeft(), QPoint(20, view.secondLine()->geometry().bottom() + 1 + 10));
}
