#include "AppTestSupport.h"

#include "ScreenshotCompare.h"
#include "TestEnvironment.h"
#include "app/views/AccountWindows.h"
#include "app/views/LeftBarButton.h"
#include "app/views/LeftViewController.h"
#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "app/views/PaneFactory.h"
#include "article/views/RightViewController.h"
#include "deals/views/HotProductScrollView.h"
#include "newslist/views/SlideView.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QKeyEvent>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <optional>

namespace {

// Counts the keys that reach it.
class KeyProbe : public QWidget
{
public:
    explicit KeyProbe(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
    int presses = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        ++presses;
        event->accept();
    }
};

class ProbePanes : public PaneFactory
{
public:
    QWidget* makeCenterViewController(QWidget* parent) override { return new QWidget(parent); }
    QWidget* makeRightViewController(QWidget* parent) override
    {
        probe = new KeyProbe(parent);
        return probe;
    }
    QPointer<KeyProbe> probe;
};

class FakeAccountWindow : public AccountWindow
{
public:
    explicit FakeAccountWindow(int* shows) : m_shows(shows) {}
    void showWindow() override { ++*m_shows; }

private:
    int* m_shows;
};

class FakeAccountWindows : public AccountWindowFactory
{
public:
    std::unique_ptr<AccountWindow> makeUserInfoWD() override
    {
        ++userInfoMade;
        return std::make_unique<FakeAccountWindow>(&shows);
    }
    std::unique_ptr<AccountWindow> makeUserLandWD() override
    {
        ++userLandMade;
        return std::make_unique<FakeAccountWindow>(&shows);
    }
    int userInfoMade = 0;
    int userLandMade = 0;
    int shows = 0;
};

QColor sample(QWidget* widget, QPoint point)
{
    return widget->grab().toImage().pixelColor(point);
}

void hover(QWidget* widget, bool enter)
{
    if (enter) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(widget, &event);
    } else {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }
}

// A key press as the window system delivers it: offered as a shortcut first, then pressed.
void pressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QKeyEvent shortcut(QEvent::ShortcutOverride, key, modifiers, text);
    QApplication::sendEvent(target, &shortcut);
    if (shortcut.isAccepted() && shortcut.spontaneous())
        return;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
}

// Largest difference of one channel between two images of one size.
int largestDifference(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            worst = std::max({worst, std::abs(p.red() - q.red()), std::abs(p.green() - q.green()),
                              std::abs(p.blue() - q.blue())});
        }
    return worst;
}

}  // namespace

class MainWindowTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        PaneFactory::install(nullptr);
        AccountWindowFactory::install(nullptr);
    }
    decltype(restoreProcessState()) restore = restoreProcessState();
    AppDelegate delegate;
};

TEST_F(MainWindowTest, StripListAndDetailWidths)
{
    MainWindowController window;
    window.show();
    MainSplitViewController* split = window.MainVC()->MainSplitVC();
    for (int width : {1100, 1600, 2600}) {
        window.resize(width, 800);
        // The split view reaches the right edge at every width; past the widest detail pane the
        // window stops growing.
        EXPECT_TRUE(waitUntil([&] { return split->geometry().right() == window.MainVC()->width() - 1; }, 30000))
            << width << ": the split view ends at " << split->geometry().right();
        EXPECT_EQ(window.width(), std::min(width, 70 + 300 + split->handleWidth() + 2000));
        EXPECT_EQ(window.MainVC()->leftViewController()->width(), 70) << width;
        EXPECT_EQ(window.MainVC()->leftViewController()->height(), 800) << width;
        EXPECT_EQ(split->x(), 70) << width;
        EXPECT_EQ(split->CenterViewController()->width(), 300) << width;
        const int detail = split->RightViewController()->width();
        EXPECT_GE(detail, 635) << width;
        EXPECT_LE(detail, 2000) << width;
        // The detail pane takes what the strip, the list and the divider leave, up to 2000.
        EXPECT_EQ(detail, std::min(2000, window.width() - 70 - 300 - split->handleWidth())) << width;
    }
    EXPECT_FALSE(split->isCollapsible(0));
    EXPECT_FALSE(split->isCollapsible(1));
}

// The window is never narrower or lower than its panes. The test screen (800 x 600) is narrower
// than them: there the window keeps the whole available width and the content scrolls, so the
// toolbar's rightmost button can still be reached.
TEST_F(MainWindowTest, NeverSmallerThanItsPanesAndTheToolbarsLastButtonStaysReachable)
{
    struct ArticlePanes : PaneFactory
    {
        // A first list that takes the keys while the window is made, as the real one does.
        QWidget* makeCenterViewController(QWidget* parent) override { auto* list = new QListView(parent); list->setFocus(); return list; }
        QWidget* makeRightViewController(QWidget* parent) override { return new RightViewController(parent); }
    };
    PaneFactory::install(std::make_shared<ArticlePanes>());
    MainWindowController window;
    window.show();
    EXPECT_EQ(window.focusWidget(), window.MainVC()->MainSplitVC()->CenterViewController())
        << "the keys stayed behind the content moved into its scroller";
    auto* pane = qobject_cast<RightViewController*>(window.MainVC()->MainSplitVC()->RightViewController());
    ASSERT_NE(pane, nullptr);
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    const QSize panes(70 + 300 + 635, 408);
    ASSERT_LT(screen.width(), panes.width()) << "this test expects a screen narrower than the panes";

    window.resize(400, 200);
    EXPECT_EQ(window.width(), screen.width()) << "the window shrank below its panes";
    EXPECT_GE(window.height(), panes.height()) << "the window shrank below its panes";
    ASSERT_TRUE(waitUntil([&] { return window.MainVC()->width() >= panes.width(); }))
        << "the content is " << window.MainVC()->width() << " wide";
    // The toolbar laid out at the content's width: its last button ends 10 before the right edge.
    QWidget* last = pane->toolBar()->commentBtn;
    const auto inContent = [&] { return QRect(last->mapTo(window.MainVC(), QPoint()), last->size()); };
    ASSERT_TRUE(waitUntil([&] { return inContent().right() == window.MainVC()->width() - 1 - 10; }))
        << "the toolbar's last button ends at " << inContent().right() << " in content " << window.MainVC()->width()
        << " wide";
    EXPECT_EQ(window.contentScroller()->verticalScrollBar()->maximum(), 0) << "the panes' full height does not show";
    window.contentScroller()->ensureWidgetVisible(last);
    QApplication::processEvents();
    const QRect inWindow(last->mapTo(&window, QPoint()), last->size());
    EXPECT_TRUE(window.rect().contains(inWindow)) << "the toolbar's last button cannot be scrolled into the window";

    // On a screen big enough for them the panes alone decide.
    EXPECT_EQ(MainWindowController::minimumSizeOn(QSize(1920, 1080), 1), panes + QSize(1, 0));
}

// On a dark desktop the main window keeps the program's light look: the deals column's category
// names read on their bar (the chosen one on a light pill), the slide strip has no dark bands
// where its picture does not reach, and a list without rows stays white.
TEST_F(MainWindowTest, TheDealsColumnKeepsItsLightLookOnADarkDesktop)
{
    const DarkDesktopPalette dark;
    MainWindowController window;
    // The deals view in the list column, its strip where the list puts that of its first row.
    auto* deals = new HotProductScrollView(window.MainVC()->MainSplitVC()->CenterViewController());
    deals->setGeometry(0, 0, 300, 600);
    auto* strip = new SlideView({std::make_shared<slideData>()}, deals->listView()->viewport());
    strip->setGeometry(0, 0, 300, SlideView::kHeight);
    window.resize(1280, 800);
    window.show();
    QWidget* rows = deals->listView()->viewport();
    ASSERT_TRUE(waitUntil([&] { return rows->height() > 300; }));
    ASSERT_FALSE(deals->categoryButtons().isEmpty());
    deals->categoryButtons().first()->setChecked(true);
    const QImage image = window.grab().toImage();
    const auto at = [&](QWidget* widget, QPoint point) { return image.pixelColor(widget->mapTo(&window, point)); };
    for (QPushButton* button : deals->categoryButtons()) {
        const QColor ground = at(button, QPoint(4, button->height() / 2));
        EXPECT_GT(ground.lightness(), 200) << button->text().toStdString() << " stands on a dark pill";
        EXPECT_GT(contrastingPixels(image, QRect(button->mapTo(&window, QPoint()), button->size()), ground), 20)
            << button->text().toStdString() << " does not read on its bar";
    }
    EXPECT_GT(at(strip, QPoint(150, 100)).lightness(), 200) << "the slide strip's bands are dark";
    EXPECT_GT(at(rows, QPoint(150, 250)).lightness(), 200) << "the empty list area is dark";
}

TEST_F(MainWindowTest, WindowIsFramelessWhiteOnTheAvailableArea)
{
    MainWindowController window;
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(window.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
}

TEST_F(MainWindowTest, KeyEquivalentCharacters)
{
    struct Case
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        bool consumed;
    };
    const Case cases[] = {
        {Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier, "I", true},
        {Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier, "\t", true},  // a control character
        {Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier, "", true},
        {Qt::Key_I, Qt::ControlModifier, "i", false},
        {Qt::Key_I, Qt::ControlModifier, "\t", false},
        {Qt::Key_I, Qt::ShiftModifier, "I", false},  // not a key equivalent
        {Qt::Key_J, Qt::ControlModifier | Qt::ShiftModifier, "J", false},
        {Qt::Key_1, Qt::ControlModifier, "1", false},
    };
    MainViewController view;
    for (const Case& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, QString::fromLatin1(c.text));
        EXPECT_EQ(view.performKeyEquivalent(event), c.consumed) << c.key << " " << c.modifiers.toInt();
    }
}

TEST_F(MainWindowTest, CtrlShiftIIsSwallowedBeforeTheFocusedView)
{
    auto panes = std::make_shared<ProbePanes>();
    PaneFactory::install(panes);
    MainWindowController window;
    window.show();
    // The detail pane comes once the first screen is up.
    window.firstScreenShown();
    ASSERT_TRUE(panes->probe);
    pressKey(panes->probe, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("\t"));
    EXPECT_EQ(panes->probe->presses, 0);
    pressKey(panes->probe, Qt::Key_I, Qt::ControlModifier, QStringLiteral("\t"));
    EXPECT_EQ(panes->probe->presses, 1);
    pressKey(panes->probe, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("K"));
    EXPECT_EQ(panes->probe->presses, 2);
}

TEST_F(MainWindowTest, CommentCountFollowsTheToolbar)
{
    MainViewController view;
    EXPECT_TRUE(view.CommentCount().isEmpty());
    NotificationCenter::defaultCenter().post(QStringLiteral("touchBarCommentCount"),
                                             NotificationObject::from(std::make_shared<QString>(QStringLiteral("42"))));
    EXPECT_EQ(view.CommentCount(), QStringLiteral("42"));
}

TEST_F(MainWindowTest, BarMatchesItsReferenceImage)
{
    LeftViewController bar;
    bar.resize(70, 600);
    const QImage shot = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString path = referencePicture(__FILE__, QStringLiteral("left_bar.png"));
    if (qEnvironmentVariableIsSet("TIDWEN_UPDATE_REFERENCES"))
        shot.save(path);
    const QImage reference = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(reference.isNull()) << path.toStdString();
    ASSERT_EQ(shot.size(), reference.size());
    EXPECT_LE(largestDifference(shot, reference), 24);
}

TEST_F(MainWindowTest, BarColoursAfterSelectionAndHover)
{
    LeftViewController bar;
    bar.resize(70, 600);
    LeftBarButton* news = bar.newsItem();
    LeftBarButton* deals = bar.hotProductItem();
    const QPoint newsCorner = news->geometry().topLeft() + QPoint(3, 3);
    const QPoint dealsCorner = deals->geometry().topLeft() + QPoint(3, 3);
    const QColor bg(210, 34, 34), selected(235, 52, 52), hovered(223, 41, 41);

    EXPECT_EQ(sample(&bar, QPoint(35, 140)), bg);
    EXPECT_EQ(sample(&bar, newsCorner), selected);
    EXPECT_EQ(sample(&bar, dealsCorner), bg);

    int newsPosts = 0, dealsPosts = 0;
    QObject owner;
    NotificationCenter::defaultCenter().addObserver(&owner, QStringLiteral("NEWS"), nullptr,
                                                    [&](const Notification&) { ++newsPosts; });
    NotificationCenter::defaultCenter().addObserver(&owner, QStringLiteral("ZQ"), nullptr,
                                                    [&](const Notification&) { ++dealsPosts; });

    bar.ItemClick(deals);
    EXPECT_EQ(dealsPosts, 1);
    EXPECT_EQ(sample(&bar, newsCorner), bg);
    EXPECT_EQ(sample(&bar, dealsCorner), selected);
    EXPECT_EQ(news->imageName(), QStringLiteral("zixun_selected"));
    EXPECT_EQ(deals->imageName(), QStringLiteral("zefup"));

    // Over and off the news item while deals are selected: back to the bar colour.
    hover(news, true);
    EXPECT_EQ(sample(&bar, newsCorner), hovered);
    hover(news, false);
    EXPECT_EQ(sample(&bar, newsCorner), bg);
    EXPECT_EQ(sample(&bar, dealsCorner), selected);
    hover(deals, true);
    EXPECT_EQ(sample(&bar, dealsCorner), hovered);
    hover(deals, false);
    EXPECT_EQ(sample(&bar, dealsCorner), selected);

    bar.ItemClick(news);
    bar.ItemClick(news);
    EXPECT_EQ(newsPosts, 2) << "a click on the selected news item posts again";
    EXPECT_EQ(sample(&bar, newsCorner), selected);
    EXPECT_EQ(sample(&bar, dealsCorner), bg);

    // The settings button swaps its picture instead.
    hover(bar.feedbackBtn(), true);
    EXPECT_EQ(bar.feedbackBtn()->imageName(), QStringLiteral("Setting_hover"));
    EXPECT_FALSE(bar.feedbackBtn()->layerColor().has_value());
    hover(bar.feedbackBtn(), false);
    EXPECT_EQ(bar.feedbackBtn()->imageName(), QStringLiteral("Setting"));
}

TEST_F(MainWindowTest, BarLayout)
{
    LeftViewController bar;
    bar.resize(70, 700);
    bar.show();
    EXPECT_EQ(bar.HeadBtn()->geometry(), QRect(10, 50, 50, 50));
    EXPECT_EQ(bar.newsItem()->geometry(), QRect(0, 178, 70, 80));
    EXPECT_EQ(bar.hotProductItem()->geometry(), QRect(0, 258, 70, 80));
    EXPECT_EQ(bar.feedbackBtn()->geometry(), QRect(15, 700 - 30 - 40, 40, 40));
    EXPECT_EQ(bar.closeButton()->geometry(), QRect(8, 10, 14, 14));
    EXPECT_EQ(bar.minButton()->geometry(), QRect(29, 10, 14, 14));
    EXPECT_EQ(bar.maxButton()->geometry(), QRect(50, 10, 14, 14));
    EXPECT_EQ(bar.HeadBtn()->imageName(), QStringLiteral("UserHeadIcon"));
    EXPECT_EQ(bar.HeadBtn()->toolTip(), QStringLiteral("个人中心"));
}

// The bar asks for the account's avatar once it has first been painted, so the window's first
// paint does not wait on the settings store; a call made before that paint stands for it. With
// nobody logged in an ask shows "UserHeadIcon" at once, over a marker put on the button.
TEST_F(MainWindowTest, BarAsksForTheAvatarOnceAfterItsFirstPaint)
{
    struct Case
    {
        const char* name;
        bool askedBeforePaint;
        const char* afterPaint;  // the button's picture once the paint's events are delivered
    };
    const Case cases[] = {
        {"built, then painted", false, "UserHeadIcon"},
        {"asked before its first paint", true, "marker"},
    };
    for (const Case& c : cases) {
        LeftViewController bar;
        bar.resize(LeftViewController::kWidth, 600);
        if (c.askedBeforePaint)
            bar.GetUserAvatar();
        bar.HeadBtn()->setImage(QPixmap(), QStringLiteral("marker"));
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(bar.HeadBtn()->imageName(), QStringLiteral("marker")) << c.name << ": asked before the first paint";
        bar.grab();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(bar.HeadBtn()->imageName(), QLatin1String(c.afterPaint)) << c.name;
        // Later paints ask nothing more.
        bar.HeadBtn()->setImage(QPixmap(), QStringLiteral("marker"));
        bar.grab();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(bar.HeadBtn()->imageName(), QStringLiteral("marker")) << c.name << ": asked again";
    }
}

TEST_F(MainWindowTest, SettingsPopoverIsMadeOnceAndPopsUp)
{
    MainWindowController window;
    window.show();
    LeftViewController* bar = window.MainVC()->leftViewController();
    EXPECT_EQ(bar->popover(), nullptr);
    bar->ItemClick(bar->feedbackBtn());
    QWidget* popover = bar->popover();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->isVisible());
    EXPECT_EQ(popover->windowType(), Qt::Popup);
    // Right of the settings button.
    EXPECT_GE(popover->x(), bar->feedbackBtn()->mapToGlobal(QPoint(bar->feedbackBtn()->width(), 0)).x());
    popover->hide();
    bar->ItemClick(bar->feedbackBtn());
    EXPECT_EQ(bar->popover(), popover);
}

// The popover stands beside the settings button and inside the screen's available area, as the
// platform's popovers do, wherever the bar stands: a button low or high on a small screen, a bar
// at the screen's right edge.
TEST_F(MainWindowTest, SettingsPopoverStaysInsideTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case
    {
        const char* name;
        QPoint barAt;  // relative to the available area's top left
    };
    const Case cases[] = {
        {"button low on the screen", QPoint(0, 0)},
        {"button high on the screen", QPoint(0, 110 - screen.height())},
        {"bar at the right edge", QPoint(screen.width() - LeftViewController::kWidth, 0)},
    };
    for (const Case& c : cases) {
        LeftViewController bar;
        bar.setWindowFlags(Qt::FramelessWindowHint);
        bar.setGeometry(QRect(screen.topLeft() + c.barAt, QSize(LeftViewController::kWidth, screen.height())));
        bar.show();
        bar.ItemClick(bar.feedbackBtn());
        QWidget* popover = bar.popover();
        ASSERT_NE(popover, nullptr) << c.name;
        ASSERT_TRUE(popover->isVisible()) << c.name;
        const QRect frame = popover->frameGeometry();
        EXPECT_TRUE(screen.contains(frame)) << c.name << ": " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                            << frame.height() << " on a screen of " << screen.width() << "x" << screen.height();
        // Still beside the button: level with it, on one side of it.
        const QRect button(bar.feedbackBtn()->mapToGlobal(QPoint(0, 0)), bar.feedbackBtn()->size());
        EXPECT_FALSE(frame.intersects(button)) << c.name;
        EXPECT_TRUE(frame.top() <= button.bottom() && frame.bottom() >= button.top()) << c.name << ": not level with the button";
        popover->hide();
    }
}

TEST_F(MainWindowTest, AvatarOpensLoginOrProfile)
{
    auto windows = std::make_shared<FakeAccountWindows>();
    AccountWindowFactory::install(windows);
    LeftViewController bar;
    bar.ItemClick(bar.HeadBtn());
    bar.ItemClick(bar.HeadBtn());
    EXPECT_EQ(windows->userLandMade, 1) << "the login window is kept";
    EXPECT_EQ(windows->shows, 2);

    delegate.setCurrLandUser(std::make_shared<NSMyUserInfo>(), false);
    bar.ItemClick(bar.HeadBtn());
    bar.ItemClick(bar.HeadBtn());
    EXPECT_EQ(windows->userInfoMade, 2) << "a new profile window each time";
    EXPECT_NE(bar.userInfoWD(), nullptr);
    EXPECT_EQ(windows->shows, 4);
}

TEST_F(MainWindowTest, BarClosesItsWindow)
{
    MainWindowController window;
    window.show();
    ASSERT_TRUE(window.isVisible());
    window.MainVC()->leftViewController()->closeButton()->click();
    EXPECT_FALSE(window.isVisible());
}

// The rounded avatar and the window buttons are drawn once into the picture cache and reused by
// every window: what shows must be what drawing them directly gives, for each layer, picture and
// size, and a new layer or picture must not show a stale drawing.
TEST_F(MainWindowTest, RoundedButtonsDrawnFromTheCacheMatchADirectDrawing)
{
    QPixmap opaque(100, 100);
    opaque.fill(QColor(20, 160, 60));
    QPixmap seeThrough(40, 40);
    seeThrough.fill(QColor(0, 0, 255, 100));

    struct Case
    {
        const char* what;
        int side;
        std::optional<QColor> layer;
        QPixmap image;
        bool fill;
    };
    const Case cases[] = {
        {"layer alone", 50, QColor(210, 34, 34), QPixmap(), false},
        {"another layer on the same button size", 50, QColor(223, 41, 41), QPixmap(), false},
        {"picture scaled to fill", 50, std::nullopt, opaque, true},
        {"see-through picture on a layer", 50, QColor(235, 52, 52), seeThrough, false},
        {"the same at another size", 40, QColor(235, 52, 52), seeThrough, false},
    };
    LeftBarButton button(0, nullptr);
    button.setCornerRadius(20);
    for (const Case& c : cases) {
        button.resize(c.side, c.side);
        button.setLayerColor(c.layer);
        button.setImage(c.image, QString());
        button.setScalesImageToFill(c.fill);
        const QImage shown = button.grab().toImage().convertToFormat(QImage::Format_RGB32);

        QImage direct(c.side, c.side, QImage::Format_RGB32);
        direct.fill(button.palette().color(QPalette::Window));
        QPainter painter(&direct);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QRectF bounds(0, 0, c.side, c.side);
        if (c.layer) {
            painter.setBrush(*c.layer);
            painter.drawRoundedRect(bounds, 20, 20);
        }
        if (!c.image.isNull()) {
            painter.setBrush(c.fill ? c.image.scaled(c.side, c.side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : c.image);
            painter.drawRoundedRect(bounds, 20, 20);
        }
        painter.end();
        ASSERT_EQ(shown.size(), direct.size()) << c.what;
        EXPECT_LE(largestDifference(shown, direct), 2) << c.what;
    }

    // The close button's disc: the sign shows over it while hovered and goes with the mouse.
    QWidget bar;
    bar.resize(40, 40);
    auto* close = new WindowControlButton(WindowControlButton::Kind::Close, &bar);
    close->setGeometry(10, 10, 14, 14);
    const QImage plain = bar.grab().toImage();
    EXPECT_GT(plain.pixelColor(17, 17).lightness(), bar.palette().color(QPalette::Window).lightness() - 10);
    hover(close, true);
    const QImage signed_ = bar.grab().toImage();
    EXPECT_LT(signed_.pixelColor(17, 17).lightness(), plain.pixelColor(17, 17).lightness() - 40);
    hover(close, false);
    EXPECT_EQ(bar.grab().toImage(), plain);
}
