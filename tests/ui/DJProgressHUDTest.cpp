#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"
#include "ui/hud/DJProgressIndicator.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QtMath>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

std::unique_ptr<QWidget> whiteView(QSize size = {400, 300})
{
    auto view = std::make_unique<QWidget>();
    view->setAutoFillBackground(true);
    QPalette p = view->palette();
    p.setColor(QPalette::Window, Qt::white);
    view->setPalette(p);
    view->resize(size);
    return view;
}

DJProgressHUD* hud()
{
    return DJProgressHUD::instance();
}

bool settled()
{
    return waitUntil([] { return !hud()->animatingShow(); }, 30000);
}

// Every test starts and ends with the HUD hidden and counting from where it is.
class DJProgressHUDTest : public ::testing::Test
{
protected:
    void SetUp() override { hideNow(); }
    void TearDown() override { hideNow(); }
    static void hideNow()
    {
        hud()->keepActivityCount = false;
        if (hud()->displaying() || hud()->animatingShow()) {
            DJProgressHUD::dismiss();
            waitUntil([] { return !hud()->displaying() && !hud()->animatingShow(); }, 30000);
        }
    }
};

int grey(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y));
}

}  // namespace

TEST_F(DJProgressHUDTest, ToastIsCentredTwentyHighAndTwentyPerCharacterWide)
{
    auto view = whiteView();
    DJProgressHUD::showMessage(QStringLiteral("abcde"), view.get());
    ASSERT_TRUE(settled());
    EXPECT_TRUE(hud()->displaying());
    EXPECT_EQ(hud()->hudView()->parentWidget(), view.get());
    EXPECT_EQ(hud()->hudView()->geometry(), QRect(0, 0, 400, 300));
    EXPECT_EQ(hud()->mainHUD()->geometry(), QRect(130, 140, 140, 20));
    EXPECT_NEAR(hud()->boxOpacity(), 0.9, 1e-6);
    EXPECT_EQ(hud()->label()->text(), QStringLiteral("abcde"));
    ASSERT_TRUE(hud()->backgroundMask());
    EXPECT_EQ(hud()->backgroundMask()->parentWidget(), view.get());
    EXPECT_TRUE(hud()->backgroundMask()->isEnabled()) << "clicks are swallowed";

    // The view is dimmed outside the box and dark inside it.
    const QImage image = view->grab().toImage();
    EXPECT_NEAR(grey(image, 20, 20), 153, 3);
    EXPECT_NEAR(grey(image, 390, 290), 153, 3);
    EXPECT_LE(grey(image, 140, 150), 60);
    // The text is drawn light on the box.
    int brightest = 0;
    for (int x = 170; x < 230; ++x)
        for (int y = 140; y < 160; ++y)
            brightest = std::max(brightest, grey(image, x, y));
    EXPECT_GT(brightest, 150);
}

TEST_F(DJProgressHUDTest, ToastWhileSomethingShowsIsDropped)
{
    auto view = whiteView();
    DJProgressHUD::showMessage(QStringLiteral("first"), view.get());
    DJProgressHUD::showMessage(QStringLiteral("second one"), view.get());
    ASSERT_TRUE(settled());
    EXPECT_EQ(hud()->label()->text(), QStringLiteral("first"));
    EXPECT_EQ(hud()->mainHUD()->width(), 5 * 20 + 40);

    hideNow();
    DJProgressHUD::showStatus(QStringLiteral("加载中"), view.get());
    DJProgressHUD::showMessage(QStringLiteral("toast"), view.get());
    ASSERT_TRUE(settled());
    EXPECT_EQ(hud()->label()->text(), QStringLiteral("加载中"));
    EXPECT_NE(hud()->mainHUD()->size(), QSize(5 * 20 + 40, 20));
}

TEST_F(DJProgressHUDTest, EmptyStatusIsASixtySquareWithTheSpinner)
{
    auto view = whiteView();
    DJProgressHUD::showStatus(QString(), view.get());
    ASSERT_TRUE(settled());
    EXPECT_EQ(hud()->pSize(), QSizeF(60, 60));
    EXPECT_EQ(hud()->mainHUD()->geometry(), QRect(170, 120, 60, 60));
    EXPECT_EQ(hud()->activityIndicator()->geometry(), QRect(10, 10, 40, 40));
    EXPECT_TRUE(hud()->activityIndicator()->isAnimating());
    EXPECT_FALSE(hud()->progressIndicator()->isVisibleTo(hud()->mainHUD()));
    EXPECT_EQ(hud()->label()->height(), 0);
}

TEST_F(DJProgressHUDTest, LongStatusWrapsAtTheLargestLabel)
{
    auto view = whiteView();
    DJProgressHUD::showStatus(QString(60, QChar(u'字')), view.get());
    ASSERT_TRUE(settled());
    EXPECT_EQ(hud()->label()->width(), 230);
    EXPECT_LE(hud()->label()->height(), 125);
    EXPECT_EQ(hud()->pSize().width(), 250);
    // Spinner above the text (y down: smaller y).
    EXPECT_LT(hud()->activityIndicator()->geometry().bottom(), hud()->label()->geometry().top());
}

TEST_F(DJProgressHUDTest, KeptActivityCountNeedsOneDismissPerShow)
{
    auto view = whiteView();
    hud()->keepActivityCount = true;
    const uint64_t start = hud()->activityCount();
    DJProgressHUD::showStatus(QStringLiteral("a"), view.get());
    DJProgressHUD::showStatus(QStringLiteral("b"), view.get());
    EXPECT_EQ(hud()->activityCount(), start + 2);
    if (start == 0) {
        DJProgressHUD::dismiss();
        ASSERT_TRUE(settled());
        EXPECT_TRUE(hud()->displaying());
        DJProgressHUD::dismiss();
        ASSERT_TRUE(waitUntil([] { return !hud()->displaying(); }, 30000));
        EXPECT_EQ(hud()->hudView()->parentWidget(), nullptr);
        EXPECT_EQ(hud()->backgroundMask()->parentWidget(), nullptr);
        EXPECT_EQ(hud()->parentView(), nullptr);
    }
}

TEST_F(DJProgressHUDTest, PopAtZeroDoesNotWrapTheCount)
{
    auto view = whiteView();
    // Bring the count to 0 (hiding never resets it).
    while (hud()->activityCount() > 0)
        hud()->popActivityCount();
    ASSERT_TRUE(waitUntil([] { return !hud()->displaying() && !hud()->animatingShow(); }, 30000));
    DJProgressHUD::popActivity();
    EXPECT_EQ(hud()->activityCount(), 0u);

    hud()->keepActivityCount = true;
    DJProgressHUD::showStatus(QStringLiteral("x"), view.get());
    ASSERT_TRUE(settled());
    DJProgressHUD::dismiss();
    ASSERT_TRUE(waitUntil([] { return !hud()->displaying(); }, 30000)) << "one show, one dismiss: hidden again";
}

TEST_F(DJProgressHUDTest, CoveredViewDestroyedWhileShownThenToastElsewhere)
{
    auto doomed = whiteView();
    DJProgressHUD::showStatus(QStringLiteral("loading"), doomed.get());
    ASSERT_TRUE(settled());
    doomed.reset();  // takes the HUD's widgets with it
    EXPECT_EQ(hud()->hudView(), nullptr);
    EXPECT_FALSE(hud()->displaying()) << "nothing shows over a destroyed widget";

    auto other = whiteView();
    DJProgressHUD::showMessage(QStringLiteral("abcde"), other.get());
    ASSERT_TRUE(settled());
    EXPECT_TRUE(hud()->displaying());
    EXPECT_EQ(hud()->activityCount(), 1u);
    EXPECT_EQ(hud()->hudView()->parentWidget(), other.get());
    EXPECT_EQ(hud()->mainHUD()->geometry(), QRect(130, 140, 140, 20));
}

TEST_F(DJProgressHUDTest, ViewOffItsSuperviewOriginIsCoveredExactly)
{
    auto window = whiteView({500, 400});
    auto* view = new QWidget(window.get());
    view->setGeometry(50, 40, 200, 100);
    DJProgressHUD::showMessage(QStringLiteral("abcde"), view);
    ASSERT_TRUE(settled());
    EXPECT_EQ(hud()->hudView()->geometry(), QRect(0, 0, 200, 100));
    EXPECT_EQ(hud()->backgroundMask()->geometry(), QRect(0, 0, 200, 100));
    EXPECT_EQ(hud()->mainHUD()->geometry(), QRect(30, 40, 140, 20));
    const QImage image = window->grab().toImage();
    EXPECT_NEAR(grey(image, 10, 10), 255, 2) << "outside the covered view: not dimmed";
    EXPECT_NEAR(grey(image, 55, 45), 153, 3);
}

TEST_F(DJProgressHUDTest, ProgressShowsTheRingInPlaceOfTheSpinner)
{
    auto view = whiteView();
    DJProgressHUD::showProgress(0.5, QStringLiteral("下载"), view.get());
    ASSERT_TRUE(settled());
    EXPECT_TRUE(hud()->progressIndicator()->isVisibleTo(hud()->mainHUD()));
    EXPECT_FALSE(hud()->activityIndicator()->isVisibleTo(hud()->mainHUD()));
    EXPECT_DOUBLE_EQ(hud()->progressIndicator()->strokeEnd(), 0.5);
    EXPECT_DOUBLE_EQ(hud()->progressIndicator()->ringRadius(), 20 - 6);
    // A second show while displayed replaces the content at once.
    DJProgressHUD::showStatus(QStringLiteral("again"), view.get());
    EXPECT_FALSE(hud()->animatingShow());
    EXPECT_NEAR(hud()->boxOpacity(), 0.9, 1e-6);
}

// ---- the spinner ----

TEST(DJActivityIndicatorTest, FinsIdleOneTickAndFadeOut)
{
    DJActivityIndicator spinner;
    spinner.resize(48, 48);
    spinner.setBackgroundColor(Qt::white);
    QImage image = spinner.grab().toImage();
    EXPECT_NEAR(grey(image, 24, 9), 217, 3) << "idle fins at alpha 0.15";
    EXPECT_NEAR(grey(image, 24, 39), 217, 3);

    spinner.show();
    spinner.startAnimation();
    EXPECT_TRUE(spinner.timerActive());
    spinner.updateFrame();
    EXPECT_EQ(spinner.position(), 0);
    image = spinner.grab().toImage();
    EXPECT_LE(grey(image, 24, 9), 10) << "fin 0 (up) lit";
    EXPECT_NEAR(grey(image, 24, 39), 38, 3) << "the others faded once, to 0.85";
    // Fin 3 lies a quarter turn counter-clockwise: on the left.
    EXPECT_NEAR(grey(image, 9, 24), 38, 3);

    spinner.stopAnimation();
    int ticks = 0;
    while (spinner.isAnimating() && ticks < 100) {
        spinner.updateFrame();
        ++ticks;
    }
    EXPECT_EQ(ticks, 12);
    EXPECT_FALSE(spinner.timerActive());
}

// A spinner nobody sees (a list not shown, for one) turns on, but its timer runs only on screen.
TEST(DJActivityIndicatorTest, TimerRunsOnlyWhileOnScreen)
{
    QWidget page;
    auto* spinner = new DJActivityIndicator(&page);
    spinner->startAnimation();
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_FALSE(spinner->timerActive()) << "started off screen";
    page.show();
    EXPECT_TRUE(spinner->timerActive()) << "its page shown";
    page.hide();
    EXPECT_FALSE(spinner->timerActive()) << "its page hidden";
    EXPECT_TRUE(spinner->isAnimating());
    page.show();
    spinner->stopAnimation();
    for (int tick = 0; tick < 100 && spinner->isAnimating(); ++tick)
        spinner->updateFrame();
    page.hide();
    page.show();
    EXPECT_FALSE(spinner->timerActive()) << "a stopped spinner stays stopped when shown again";
}

TEST(DJActivityIndicatorTest, AStopOffScreenOrAHideWhileFadingEndsTheAnimation)
{
    QWidget page;
    auto* spinner = new DJActivityIndicator(&page);
    spinner->startAnimation();
    spinner->stopAnimation();
    EXPECT_FALSE(spinner->isAnimating()) << "stopped while off screen, it kept animating with no frames to end it";

    page.show();
    spinner->startAnimation();
    spinner->stopAnimation();
    EXPECT_TRUE(spinner->isAnimating()) << "on screen it fades out over its frames";
    page.hide();
    EXPECT_FALSE(spinner->isAnimating()) << "hidden while fading, its fade can never end";
}

TEST(DJActivityIndicatorTest, StartWhileFadingRestarts)
{
    DJActivityIndicator spinner;
    spinner.show();  // only a spinner on screen fades out
    spinner.startAnimation();
    spinner.updateFrame();
    spinner.stopAnimation();
    EXPECT_TRUE(spinner.isFadingOut());
    spinner.startAnimation();
    EXPECT_FALSE(spinner.isFadingOut());
    EXPECT_EQ(spinner.position(), 1);
    spinner.setColor(Qt::red);
    for (const QColor& fin : spinner.finColors())
        EXPECT_EQ(fin.rgb(), QColor(Qt::red).rgb());
}

// ---- the ring ----

TEST(DJProgressIndicatorTest, QuarterRingFromTheTopClockwise)
{
    DJProgressIndicator ring;
    ring.resize(40, 40);
    ring.setBackgroundColor(Qt::white);
    ring.setRingColor(Qt::red, Qt::blue);
    ring.sizeToFit();
    ring.showProgress(0.25f);
    ASSERT_TRUE(ring.hasRingLayers());
    auto at = [&](const QImage& image, double degrees) {
        const double a = qDegreesToRadians(degrees);
        return QColor(image.pixel(int(20 + 14 * std::cos(a)), int(20 - 14 * std::sin(a))));
    };
    QImage image = ring.grab().toImage();
    const QColor upperRight = at(image, 45);
    EXPECT_GT(upperRight.red(), 200);
    EXPECT_LT(upperRight.blue(), 60);
    const QColor left = at(image, 180);
    EXPECT_GT(left.blue(), 200) << "the back ring at 9 o'clock";
    EXPECT_LT(left.red(), 60);

    ring.showProgress(-1);
    EXPECT_FALSE(ring.hasRingLayers());
    image = ring.grab().toImage();
    EXPECT_EQ(at(image, 45).rgb(), QColor(Qt::white).rgb());
    EXPECT_EQ(at(image, 180).rgb(), QColor(Qt::white).rgb());
    ring.showProgress(0.1f);
    EXPECT_TRUE(ring.hasRingLayers());
}

TEST(DJProgressIndicatorTest, CirclePathAndItsConversion)
{
    const DJBezierPath path = DJProgressIndicator::createCirclePathWithCenter({}, 10, 72);
    ASSERT_EQ(path.elementCount(), 73);
    EXPECT_EQ(path.elementAtIndex(0).type, DJBezierPath::ElementType::MoveTo);
    EXPECT_NEAR(path.elementAtIndex(0).points[0].x(), 10, 1e-5);
    EXPECT_NEAR(path.elementAtIndex(0).points[0].y(), 20, 1e-5);
    // Clockwise, y up: the 18th step is at 0 degrees (the right).
    EXPECT_NEAR(path.elementAtIndex(18).points[0].x(), 20, 1e-5);
    EXPECT_NEAR(path.elementAtIndex(18).points[0].y(), 10, 1e-5);

    EXPECT_FALSE(DJBezierPath().quartzPath().has_value());
    DJBezierPath open;
    open.moveToPoint({0, 0});
    open.lineToPoint({5, 0});
    open.curveToPoint({5, 5}, {6, 1}, {6, 4});
    const auto converted = open.quartzPath();
    ASSERT_TRUE(converted.has_value());
    // move, line, cubic (3 elements), then the closing line back to the start.
    EXPECT_EQ(converted->elementCount(), 1 + 1 + 3 + 1);
    EXPECT_EQ(converted->currentPosition(), QPointF(0, 0));
}

// A toast dismisses itself a second later and then runs what the caller gave; a toast whose
// covered widget went meanwhile leaves alone whatever the HUD shows by then.
TEST_F(DJProgressHUDTest, AToastDismissesItselfOnlyWhileItsWidgetLives)
{
    auto view = whiteView();
    int after = 0;
    QElapsedTimer shown;
    shown.start();
    DJProgressHUD::showToast(QStringLiteral("abcde"), view.get(), [&] { ++after; });
    ASSERT_TRUE(settled());
    EXPECT_TRUE(hud()->displaying());
    ASSERT_TRUE(waitUntil([&] { return after == 1; }, 30000));
    EXPECT_GE(shown.elapsed(), 900);
    ASSERT_TRUE(waitUntil([] { return !hud()->displaying(); }, 30000));

    auto doomed = whiteView();
    DJProgressHUD::showToast(QStringLiteral("gone"), doomed.get(), [&] { ++after; });
    ASSERT_TRUE(settled());
    doomed.reset();
    DJProgressHUD::showStatus(QStringLiteral("loading"), view.get());
    ASSERT_TRUE(waitUntil([&] { return after == 2; }, 30000));
    EXPECT_TRUE(hud()->displaying()) << "the spinner shown after the toast's widget went stays";
    EXPECT_EQ(hud()->label()->text(), QStringLiteral("loading"));
}
