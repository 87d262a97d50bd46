#include "deals/views/DealLoadState.h"

#include "foundation/GlobalValues.h"
#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"

#include <QEvent>
#include <QWidget>

namespace {

constexpr int kSpinnerSize = 94;

}  // namespace

DealLoadState::DealLoadState(QWidget* host) : QObject(host), m_host(host)
{
    host->installEventFilter(this);
}

void DealLoadState::showLoading()
{
    if (m_errorView)
        m_errorView->hide();
    if (!m_spinner) {
        m_spinner = new DJActivityIndicator(m_host);
        m_spinner->resize(kSpinnerSize, kSpinnerSize);
    }
    place();
    m_spinner->show();
    m_spinner->raise();
    m_spinner->startAnimation();
}

void DealLoadState::showFailure(std::function<void()> reload)
{
    if (m_spinner) {
        m_spinner->stopAnimation();
        m_spinner->hide();
    }
    m_reload = std::move(reload);
    if (!m_errorView) {
        m_errorView = new DDErrorView(m_host->rect(), m_host);
        m_errorView->setTitle(QStringLiteral("新闻加载失败"));
        m_errorView->setSubtitle(QStringLiteral("点击刷新按钮重新加载"));
        m_errorView->addReloadButton();
        // The view may be gone by the time a press is handled; the action is looked up then.
        m_errorView->reloadButton()->addTarget(this, std::function<void()>([this] {
            if (m_reload)
                m_reload();
        }));
    }
    m_errorView->fitColor(gThemeMode.load());
    place();
    m_errorView->show();
    m_errorView->raise();
}

void DealLoadState::clear()
{
    if (m_spinner) {
        m_spinner->stopAnimation();
        m_spinner->hide();
    }
    if (m_errorView)
        m_errorView->hide();
}

bool DealLoadState::isLoadingShown() const
{
    return m_spinner && !m_spinner->isHidden();
}

bool DealLoadState::isFailureShown() const
{
    return m_errorView && !m_errorView->isHidden();
}

bool DealLoadState::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Resize)
        place();
    return QObject::eventFilter(watched, event);
}

void DealLoadState::place()
{
    if (m_spinner)
        m_spinner->move((m_host->width() - kSpinnerSize) / 2, (m_host->height() - kSpinnerSize) / 2);
    if (m_errorView)
        m_errorView->setGeometry(m_host->rect());
}
