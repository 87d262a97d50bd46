#include "ui/controls/LoadStateOverlay.h"

#include "foundation/GlobalValues.h"
#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"

#include <QChildEvent>
#include <QWidget>

LoadStateOverlay::LoadStateOverlay(QWidget* host, const QString& failureTitle, int spinnerSize)
    : QObject(host), m_host(host), m_failureTitle(failureTitle), m_spinnerSize(spinnerSize)
{
    host->installEventFilter(this);
}

void LoadStateOverlay::showLoading()
{
    if (m_errorView)
        m_errorView->hide();
    if (!m_spinner) {
        m_spinner = new DJActivityIndicator(m_host);
        m_spinner->resize(m_spinnerSize, m_spinnerSize);
    }
    place();
    m_spinner->show();
    raiseMarks();
    m_spinner->startAnimation();
}

void LoadStateOverlay::showFailure(std::function<void()> reload)
{
    if (m_spinner) {
        m_spinner->stopAnimation();
        m_spinner->hide();
    }
    m_reload = std::move(reload);
    if (!m_errorView) {
        m_errorView = new DDErrorView(m_host->rect(), m_host);
        m_errorView->setTitle(m_failureTitle);
        m_errorView->setSubtitle(QStringLiteral("点击刷新按钮重新加载"));
        m_errorView->addReloadButton();
        // The action is looked up when the press is handled: a later failure may give another.
        m_errorView->reloadButton()->addTarget(this, std::function<void()>([this] {
            if (m_reload)
                m_reload();
        }));
    }
    m_errorView->fitColor(gThemeMode.load());
    place();
    m_errorView->show();
    raiseMarks();
}

void LoadStateOverlay::clear()
{
    if (m_spinner) {
        m_spinner->stopAnimation();
        m_spinner->hide();
    }
    if (m_errorView)
        m_errorView->hide();
}

void LoadStateOverlay::finish(bool ok, bool rowsShown, std::function<void()> reload, QWidget* toastOver)
{
    if (!ok && !rowsShown) {
        showFailure(std::move(reload));
        return;
    }
    clear();
    if (!ok)
        DJProgressHUD::showToast(QStringLiteral("新闻加载失败，请查看网络设置"), toastOver);
}

bool LoadStateOverlay::isLoadingShown() const
{
    return m_spinner && !m_spinner->isHidden();
}

bool LoadStateOverlay::isFailureShown() const
{
    return m_errorView && !m_errorView->isHidden();
}

bool LoadStateOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host) {
        if (event->type() == QEvent::Resize) {
            place();
        } else if (event->type() == QEvent::ChildAdded) {
            // A child comes while it is still being made (and the host perhaps too): the marks go
            // back on top once it is whole.
            if (static_cast<QChildEvent*>(event)->child()->isWidgetType())
                QMetaObject::invokeMethod(this, &LoadStateOverlay::raiseMarks, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

void LoadStateOverlay::place()
{
    if (m_spinner)
        m_spinner->move((m_host->width() - m_spinnerSize) / 2, (m_host->height() - m_spinnerSize) / 2);
    if (m_errorView)
        m_errorView->setGeometry(m_host->rect());
}

void LoadStateOverlay::raiseMarks()
{
    if (m_spinner)
        m_spinner->raise();
    if (m_errorView)
        m_errorView->raise();
    if (QWidget* hud = DJProgressHUD::instance()->hudView(); hud && hud->parentWidget() == m_host)
        hud->raise();
}
