#include "app/views/MainWindowController.h"

#include "app/views/LeftViewController.h"
#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "ui/alert/AlertSheet.h"
#include "ui/controls/LightPalette.h"
#include "ui/web/WebViewGraphics.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>
#include <QCloseEvent>
#include <QWindow>
#include <QOpenGLWidget>
#include <QPointer>

MainWindowController::MainWindowController(QWidget* parent) : QWidget(parent)
{
    // The name by which the alert sheet finds the window to stand on.
    setObjectName(QLatin1String(AlertSheet::kMainWindowName));
    setWindowTitle(QStringLiteral("Tidwen"));
    windowDidLoad();
}

MainWindowController::~MainWindowController()
{
    qApp->removeEventFilter(this);
}

void MainWindowController::windowDidLoad()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // The window is white with dark ink whatever the desktop's colour scheme, and every view in it
    // takes the same light palette: set before they are made, so each is born with it.
    setPalette(lightPalette());

    // A web view that draws through OpenGL needs an OpenGL window, and a window whose surface
    // cannot is made again when the view arrives (a black frame). The detail pane comes after the
    // first list, so the window is told now: a GL widget that is never shown makes it an OpenGL
    // window from the start. A web view that draws in software needs nothing.
    if (webgraphics::drawsThroughOpenGL()) {
        auto* surfaceForWebView = new QOpenGLWidget(this);
        surfaceForWebView->setObjectName(QStringLiteral("surfaceForWebView"));
        surfaceForWebView->hide();
    }
    m_mainVC = new MainViewController(this);
    const int divider = m_mainVC->MainSplitVC()->handleWidth();
    const QSize panes = panesMinimumSize(divider);
    m_mainVC->setMinimumSize(panes);
    // The split view is pinned to both sides and its panes stop at 300 and 2000: the window is
    // no wider than that, so the split view always reaches its right edge.
    setMaximumWidth(LeftViewController::kWidth + MainSplitViewController::kCenterWidth + divider +
                    MainSplitViewController::kRightMaxWidth);
    // The content fills the window and never gets smaller than its panes. On a screen too small
    // for them the window takes the screen's available area and the content scrolls (see
    // resizeEvent), so the toolbar's far buttons stay reachable.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        setMinimumSize(minimumSizeOn(screen->availableGeometry().size(), divider,
                                     style()->pixelMetric(QStyle::PM_ScrollBarExtent)));
        setGeometry(screen->availableGeometry());
    } else {
        setMinimumSize(panes);
    }
    qApp->installEventFilter(this);
}

void MainWindowController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A scroller costs the window's first paint dearly, and a window that holds its panes needs
    // none: the content goes into one the first time the window is smaller than the panes, and
    // stays there (it shows no bar once the window is big enough again).
    const QSize panes = m_mainVC->minimumSize();
    if (m_scroller == nullptr && (width() < panes.width() || height() < panes.height()))
        scrollContent();
    // No layout: the one child fills the window.
    if (m_scroller != nullptr)
        m_scroller->setGeometry(rect());
    else
        m_mainVC->setGeometry(rect());
}

void MainWindowController::scrollContent()
{
    // Qt takes the keys from a view moved to another parent. The content moves when the window is
    // first shown on a small screen, before it is active: the first list, which holds them by then,
    // would lose them and the window's activation would give them to its first Tab stop.
    const QPointer<QWidget> keys = focusWidget();
    m_scroller = new QScrollArea(this);
    m_scroller->setObjectName(QStringLiteral("contentScroller"));
    m_scroller->setFrameShape(QFrame::NoFrame);
    m_scroller->setFocusPolicy(Qt::NoFocus);
    m_scroller->setWidgetResizable(true);
    m_scroller->setWidget(m_mainVC);
    m_scroller->show();
    if (keys)
        keys->setFocus(Qt::OtherFocusReason);
}

QSize MainWindowController::panesMinimumSize(int dividerWidth)
{
    return {LeftViewController::kWidth + MainSplitViewController::kCenterWidth + dividerWidth +
                MainSplitViewController::kRightMinWidth,
            LeftViewController::kMinimumHeight};
}

QSize MainWindowController::minimumSizeOn(const QSize& available, int dividerWidth, int scrollBarExtent)
{
    const QSize panes = panesMinimumSize(dividerWidth);
    QSize minimum = panes.boundedTo(available);
    // Where the content scrolls sideways, its scroll bar needs room under the panes too.
    if (minimum.width() < panes.width())
        minimum.setHeight(std::min(available.height(), minimum.height() + scrollBarExtent));
    return minimum;
}

void MainWindowController::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit windowClosed();
}

void MainWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
    qInfo("main window: shown with the left bar and two panes");
}

void MainWindowController::firstScreenShown()
{
    m_mainVC->MainSplitVC()->RightViewController();
}

void MainWindowController::GetUserAvatar()
{
    m_mainVC->leftViewController()->GetUserAvatar();
}

// A key in a web page reaches the engine's own scene items, whose classes carry no type
// information: the undefined-behaviour checker's test of the receiver's dynamic type cannot read
// them and would end the program at every key typed into a page. Only the object's flag is asked.
#if defined(__has_attribute) && __has_attribute(no_sanitize)
__attribute__((no_sanitize("vptr")))
#endif
bool MainWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // Key equivalents are offered to the window's content before the focused view sees the key.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        // The filter sees every object of the application, some of them half destroyed (a web
        // view losing its focus as it goes): ask the object's flag, not its virtual type.
        const auto* target = watched->isWidgetType() ? static_cast<QWidget*>(watched) : nullptr;
        if (target != nullptr && target->window() == this &&
            m_mainVC->performKeyEquivalent(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindowController::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}
