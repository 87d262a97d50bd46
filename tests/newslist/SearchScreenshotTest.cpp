#include "SearchTestSupport.h"
#include "newslist/views/search/SearchNewsViewController.h"

#include "PendingLayout.h"
#include "ScopeGuard.h"
#include "ScreenshotCompare.h"
#include "foundation/GlobalValues.h"
#include "newslist/search/SearchModels.h"
#include "platform/NotificationCenter.h"

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QLineEdit>
#include <QListView>

using namespace h24;

namespace {

void compareWithReference(const QImage& shot, const QString& name)
{
    expectLikeReference(shot, referencePicture(__FILE__, name));
}

class SearchScreenshotTest : public Fixture
{
protected:
    QImage grab(SearchNewsViewController& controller)
    {
        EXPECT_TRUE(applyPendingLayout(controller.window()));
        return controller.window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

}  // namespace

TEST_F(SearchScreenshotTest, HistoryShowsTheHeaderAndTheKeywords)
{
    {
        DatabaseOperate::Lease store;
        for (const QString& keyword : {QStringLiteral("手机"), QStringLiteral("苹果")}) {
            SearchInfo info;
            info.searchKey = keyword;
            store->SearchHistory_insert(info);
        }
    }
    QWidget column;
    SearchNewsViewController* controller = openSearchWindow(&column);
    const QImage shot = grab(*controller);
    ASSERT_EQ(shot.size(), QSize(SearchNewsViewController::kWindowWidth, SearchNewsViewController::kWindowHeight));
    // Under the 60-high bar: the 30-high header, then 63-high keyword rows.
    EXPECT_TRUE(holdsColour(shot, QRect(310, 62, 90, 26), QColor(210, 34, 34), 40));  // "清空记录" in red
    EXPECT_TRUE(holdsColour(shot, QRect(10, 90 + 10, 120, 40), QColor(25, 25, 25), 40));  // the newest keyword
    EXPECT_TRUE(holdsColour(shot, QRect(360, 90 + 15, 30, 30), QColor(153, 153, 153), 40));  // its cross
    EXPECT_EQ(QColor(shot.pixel(200, 90 + 40)), QColor(Qt::white));
    // Nothing is drawn below the last row.
    EXPECT_EQ(QColor(shot.pixel(200, 90 + 2 * 63 + 40)), QColor(Qt::white));
    compareWithReference(shot, QStringLiteral("SearchHistory.png"));
}

TEST_F(SearchScreenshotTest, ResultsShowTheOpenedRowAndTheMoreButton)
{
    Clock::setLocalZone(Clock::beijingZone());
    server.route("GET", QStringLiteral("/xml/search/fa4beb691647450f.xml"),
                 xml(searchPage({searchItem(QStringLiteral("3"), QStringLiteral("第一条搜索结果的标题")),
                                 searchItem(QStringLiteral("2"), QStringLiteral("第二条搜索结果的标题，很长很长很长很长很长很长很长很长")),
                                 searchItem(QStringLiteral("1"), QStringLiteral("第三条"))})));
    QWidget column;
    SearchNewsViewController* controller = openSearchWindow(&column);
    controller->searchBar()->setText(QStringLiteral("苹果"));
    controller->presenter()->Search(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return controller->presenter()->resultModel()->rowCount() == 4; }));
    controller->searchResultTV()->setCurrentIndex(controller->presenter()->resultModel()->index(1));
    const QImage shot = grab(*controller);
    Clock::resetLocalZone();

    const QImage selected = QImage(QStringLiteral(":/images/CellSelectedBg.png")).convertToFormat(QImage::Format_RGB32);
    const QImage plain = QImage(QStringLiteral(":/images/CellNOSelectedBg.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(selected.isNull());
    ASSERT_FALSE(plain.isNull());
    // Row 1 (the opened one) has the selected background, rows 0 and 2 the plain one.
    EXPECT_EQ(QColor(shot.pixel(300, 60 + 63 + 55)), QColor(selected.pixel(selected.width() / 2, selected.height() / 2)));
    EXPECT_EQ(QColor(shot.pixel(300, 60 + 55)), QColor(plain.pixel(plain.width() / 2, plain.height() / 2)));
    // Dark titles, grey dates.
    EXPECT_TRUE(holdsColour(shot, QRect(15, 60 + 5, 200, 36), QColor(25, 25, 25), 30));
    EXPECT_TRUE(holdsColour(shot, QRect(10, 60 + 44, 120, 14), QColor(115, 115, 115), 30));
    // The fourth row is the more button, the rest is empty.
    EXPECT_NE(QColor(shot.pixel(200, 60 + 3 * 63 + 31)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(200, 60 + 4 * 63 + 40)), QColor(Qt::white));
    compareWithReference(shot, QStringLiteral("SearchResults.png"));
}

// Result rows are kept as painted; a change of the system font must not leave old rows behind.
TEST(SearchResultRows, AFontChangeRepaintsRowsPaintedBefore)
{
    const auto restoreThin = restoreOnScopeExit(gbThinFont);
    gbThinFont = false;
    QStandardItemModel model(1, 1);
    QStandardItem* item = new QStandardItem(QStringLiteral("第一条搜索结果的标题"));
    item->setData(QStringLiteral("2024-03-01"), SearchResultModel::DateRole);
    item->setData(false, SearchResultModel::SelectedRole);
    model.setItem(0, 0, item);
    const auto paint = [&](const SearchResultDelegate& delegate) {
        QImage row(400, SearchResultCell::kHeight, QImage::Format_RGB32);
        row.fill(Qt::white);
        QPainter painter(&row);
        QStyleOptionViewItem option;
        option.rect = row.rect();
        delegate.paint(&painter, option, model.index(0, 0));
        return row;
    };

    SearchResultDelegate shown;
    const QImage regular = paint(shown);
    EXPECT_EQ(paint(shown), regular);
    gbThinFont = true;
    const QImage thin = paint(SearchResultDelegate());
    if (thin == regular)
        GTEST_SKIP() << "the system font has no lighter face here";
    EXPECT_EQ(paint(shown), regular);  // nobody said the font changed
    NotificationCenter::defaultCenter().post(QStringLiteral("fontChanged"));
    EXPECT_EQ(paint(shown), thin);

    // Another text or state in the same place is painted anew.
    item->setData(true, SearchResultModel::SelectedRole);
    EXPECT_NE(paint(shown), thin);
}
