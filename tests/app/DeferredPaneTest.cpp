#include "AppTestSupport.h"

#include "TestEnvironment.h"
#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "app/views/PaneFactory.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QWindow>

namespace {

bool hasOpenGL()
{
    const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    return shared != nullptr && shared->isValid();
}

// Counts the detail panes made; the pane draws through OpenGL, as the article's web view does.
class CountingPanes : public PaneFactory
{
public:
    QWidget* makeCenterViewController(QWidget* parent) override { return new QWidget(parent); }
    QWidget* makeRightViewController(QWidget* parent) override
    {
        ++madeRight;
        auto* pane = new QWidget(parent);
        if (hasOpenGL())
            new QOpenGLWidget(pane);
        made = pane;
        return pane;
    }
    int madeRight = 0;
    QPointer<QWidget> made;
};

// Counts the native surfaces made for one window.
class SurfaceCounter : public QObject
{
public:
    int created = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated)
            ++created;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

class DeferredPaneTest : public ::testing::Test
{
protected:
    void SetUp() override { PaneFactory::install(panes); }
    void TearDown() override { PaneFactory::install(nullptr); }

    decltype(restoreProcessState()) restore = restoreProcessState();
    AppDelegate delegate;
    std::shared_ptr<CountingPanes> panes = std::make_shared<CountingPanes>();
};

// The window shows with a blank stand-in of the detail pane's widths; the first request makes
// the pane once and puts it in the stand-in's place, where it takes the width the list leaves.
TEST_F(DeferredPaneTest, DetailPaneIsMadeOnTheFirstRequestInTheStandInsPlace)
{
    MainWindowController window;
    window.resize(1600, 800);
    window.show();
    MainSplitViewController* split = window.MainVC()->MainSplitVC();
    EXPECT_EQ(panes->madeRight, 0) << "the detail pane was made with the window";
    ASSERT_EQ(split->count(), 2);
    EXPECT_EQ(split->widget(1)->minimumWidth(), MainSplitViewController::kRightMinWidth);
    EXPECT_EQ(split->widget(1)->maximumWidth(), MainSplitViewController::kRightMaxWidth);

    QWidget* pane = split->RightViewController();
    EXPECT_EQ(panes->madeRight, 1);
    ASSERT_EQ(pane, panes->made.data());
    EXPECT_EQ(split->RightViewController(), pane) << "a second request made another pane";
    EXPECT_EQ(panes->madeRight, 1);
    ASSERT_EQ(split->count(), 2);
    EXPECT_EQ(split->widget(1), pane);
    EXPECT_EQ(pane->minimumWidth(), MainSplitViewController::kRightMinWidth);
    EXPECT_EQ(pane->maximumWidth(), MainSplitViewController::kRightMaxWidth);
    EXPECT_FALSE(split->isCollapsible(1));
    const int expected = std::min(MainSplitViewController::kRightMaxWidth,
                                  window.width() - 70 - MainSplitViewController::kCenterWidth - split->handleWidth());
    EXPECT_TRUE(waitUntil([&] { return pane->isVisible() && pane->width() == expected; }, 5000))
        << "waited for the pane shown " << expected << " wide; it is " << pane->width();
}

// The window is an OpenGL window before its pane exists, so the pane's GL drawing arrives
// without the native window being made a second time (which shows a black frame).
TEST_F(DeferredPaneTest, WindowIsMadeOnceForTheGLPaneThatComesLater)
{
    if (!hasOpenGL())
        GTEST_SKIP() << "no OpenGL on this platform: the window and its web view draw in software";
    MainWindowController window;
    window.winId();
    QWindow* handle = window.windowHandle();
    ASSERT_NE(handle, nullptr);
    SurfaceCounter counter;
    handle->installEventFilter(&counter);
    window.show();
    EXPECT_EQ(handle->surfaceType(), QSurface::OpenGLSurface);

    window.firstScreenShown();
    ASSERT_EQ(panes->madeRight, 1) << "the first screen did not make the pane";
    QCoreApplication::processEvents();
    EXPECT_EQ(window.windowHandle(), handle) << "the window was made again for the pane";
    EXPECT_EQ(counter.created, 0) << "the window's native surface was made again";
    EXPECT_EQ(handle->surfaceType(), QSurface::OpenGLSurface);
}
