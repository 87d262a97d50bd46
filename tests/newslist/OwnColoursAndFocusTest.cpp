// The channel editor and the search window keep their own light look on a dark desktop, and the
// search window opens ready for a keyword.

#include "HeldReply.h"
#include "PendingLayout.h"
#include "ScreenshotCompare.h"
#include "SearchTestSupport.h"
#include "newslist/views/editor/editColumnViewController.h"
#include "newslist/views/search/SearchNewsViewController.h"
#include "ui/controls/CustomButton.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTabBar>
#include <QTest>

using namespace h24;

namespace {

class OwnColoursTest : public Fixture
{
protected:
    // The ink of a child's area on the picture of its window.
    static int inkOf(const QImage& image, const QWidget* window, const QWidget* child, const QColor& background,
                     const QRect& area = QRect())
    {
        const QRect local = area.isNull() ? child->rect() : area;
        return contrastingPixels(image, local.translated(child->mapTo(window, QPoint(0, 0))), background);
    }
    // Opens the search window in the column and searches the news for "苹果", answered with
    // results of those ids; the window once the results and the more button are in.
    SearchNewsViewController* searchWithResults(QWidget* column, const QStringList& ids)
    {
        QList<QByteArray> items;
        for (const QString& id : ids)
            items.append(searchItem(id, QStringLiteral("标题") + id));
        server.route("GET", QStringLiteral("/xml/search/fa4beb691647450f.xml"), xml(searchPage(items)));
        SearchNewsViewController* controller = openSearchWindow(column);
        controller->searchBar()->setFocus();
        controller->searchBar()->setText(QStringLiteral("苹果"));
        QTest::keyClick(controller->searchBar(), Qt::Key_Return);
        EXPECT_TRUE(waitUntil([&] { return !controller->presenter()->requestInFlight() && controller->MoreBtn(); }));
        return controller;
    }
};

}  // namespace

TEST_F(OwnColoursTest, TheChannelEditorsHeadingsAndChannelsReadOnADarkDesktop)
{
    const DarkDesktopPalette dark;
    editColumnViewController editor({});
    const QImage image = editor.grab().toImage();
    const QColor background = image.pixelColor(image.width() - 3, image.height() - 3);
    ASSERT_GT(background.lightness(), 200) << "the editor keeps its white";
    const QList<QLabel*> headings = editor.findChildren<QLabel*>();
    ASSERT_EQ(headings.size(), 2);
    for (const QLabel* heading : headings)
        EXPECT_GT(inkOf(image, &editor, heading, background), 20) << heading->text().toStdString();
    ASSERT_FALSE(editor.itemArray().isEmpty());
    for (const CustomButton* channel : editor.itemArray())
        EXPECT_GT(inkOf(image, &editor, channel, background), 20) << channel->text().toStdString();
}

TEST_F(OwnColoursTest, TheSearchWindowsKeywordKindsAndMoreButtonReadOnADarkDesktop)
{
    const DarkDesktopPalette dark;
    QWidget column;
    SearchNewsViewController* controller = searchWithResults(&column, {QStringLiteral("105")});
    ASSERT_TRUE(controller->MoreBtn());
    ASSERT_TRUE(applyPendingLayout(controller->window()));
    QWidget* window = controller->window();
    const QImage image = window->grab().toImage();
    const QColor background = image.pixelColor(image.width() - 3, image.height() - 3);
    ASSERT_GT(background.lightness(), 200) << "the window keeps its white";
    EXPECT_GT(inkOf(image, window, controller->searchBar(), background), 20) << "the typed keyword";
    for (int kind = 0; kind < controller->segmentControl()->count(); ++kind)
        EXPECT_GT(inkOf(image, window, controller->segmentControl(), background, controller->segmentControl()->tabRect(kind)), 20)
            << controller->segmentControl()->tabText(kind).toStdString();
    EXPECT_GT(inkOf(image, window, controller->MoreBtn(), background), 20) << "搜索更多";
}

// However the focus moved while the window was open, each opening puts it in the keyword field.
TEST_F(OwnColoursTest, EachOpeningOfTheSearchWindowPutsTheFocusInTheKeywordField)
{
    QWidget column;
    SearchNewsViewController* controller = openSearchWindow(&column);
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    EXPECT_TRUE(waitUntil([&] { return controller->searchBar()->hasFocus(); }));
    controller->segmentControl()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(controller->segmentControl()->hasFocus());
    controller->window()->close();
    ASSERT_TRUE(waitUntil([&] { return !controller->window()->isVisible(); }));
    ASSERT_EQ(openSearchWindow(&column), controller);
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    EXPECT_TRUE(waitUntil([&] { return controller->searchBar()->hasFocus(); })) << "typed text would go nowhere";
}

// The results take the news list's keys: Down in the keyword field moves into them and opens the
// first, Up, Down and End open the result they reach as a click does (End and Down the more
// button's row, which asks for more, as Return on it does again after a failed page), and Return
// opens the selected result again. Tab reaches them too.
TEST_F(OwnColoursTest, TheSearchResultsTakeTheNewsListsKeys)
{
    QWidget column;
    SearchNewsViewController* controller =
        searchWithResults(&column, {QStringLiteral("105"), QStringLiteral("104"), QStringLiteral("103")});
    ASSERT_TRUE(controller->MoreBtn());
    {
        // While a search is on its way, the results shown are the last one's: Down stays.
        HeldReply held;
        server.route("GET", QStringLiteral("/xml/search/fa4beb691647450f.xml"),
                     held.handler(xml(searchPage({searchItem(QStringLiteral("105"), QStringLiteral("标题105")),
                                                  searchItem(QStringLiteral("104"), QStringLiteral("标题104")),
                                                  searchItem(QStringLiteral("103"), QStringLiteral("标题103"))}))));
        QTest::keyClick(controller->searchBar(), Qt::Key_Return);
        ASSERT_TRUE(controller->presenter()->requestInFlight());
        QTest::keyClick(controller->searchBar(), Qt::Key_Down);
        EXPECT_EQ(controller->window()->focusWidget(), controller->searchBar()) << "Down went into the last search's results";
        EXPECT_TRUE(pane->shown.isEmpty());
    }
    ASSERT_TRUE(waitUntil([&] { return !controller->presenter()->requestInFlight() && controller->MoreBtn(); }));
    QTest::keyClick(controller->searchBar(), Qt::Key_Down);
    EXPECT_EQ(controller->window()->focusWidget(), controller->searchResultTV()) << "the keys stayed in the keyword field";
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Up, Qt::Key_Return, Qt::Key_Down})
        QTest::keyClick(controller->searchResultTV(), key);
    QStringList opened;
    for (const FeedPtr& feed : pane->shown)
        opened.append(feed->guid);
    EXPECT_EQ(opened, (QStringList{QStringLiteral("105"), QStringLiteral("104"), QStringLiteral("105"), QStringLiteral("103"),
                                   QStringLiteral("103")}));
    EXPECT_EQ(controller->searchResultTV()->focusPolicy(), Qt::StrongFocus) << "a click or Tab gives the results the keys";
    ASSERT_TRUE(waitUntil([&] { return !controller->presenter()->requestInFlight(); }));
    server.route("GET", QStringLiteral("/xml/search/fa4beb691647450f_103.xml"),
                 xml(searchPage({searchItem(QStringLiteral("102"), QStringLiteral("标题"))})));
    QTest::keyClick(controller->searchResultTV(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return controller->presenter()->resultCount() == 4; })) << "Return asked for nothing";
    QTest::keyClick(controller->searchResultTV(), Qt::Key_Down);
    EXPECT_EQ(pane->shown.last()->guid, QStringLiteral("102")) << "Down did not read on into the further results";
}
