#include "ui/web/ProgramWebView.h"

#include "platform/UrlOpener.h"
#include "ui/controls/LoadStateOverlay.h"

#include <QApplication>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QDebug>
#include <QMenu>
#include <QNativeGestureEvent>
#include <QWebEngineContextMenuRequest>
#include <QWheelEvent>

ProgramWebView::ProgramWebView(QWidget* parent)
    : QWebEngineView(parent), m_rendererEnded(new LoadStateOverlay(this, webViewFailedTitle(), 50)),
      m_rendererEndedReload([this] { triggerPageAction(QWebEnginePage::Reload); })
{
    for (QObject* child : children())
        watchChild(child);
    connect(this, &QWebEngineView::renderProcessTerminated, this, &ProgramWebView::rendererEnded);
    // A page load starts a renderer again.
    connect(this, &QWebEngineView::loadStarted, m_rendererEnded, &LoadStateOverlay::clear);
}

void ProgramWebView::setRendererEndedReload(std::function<void()> reload)
{
    m_rendererEndedReload = std::move(reload);
}

QString ProgramWebView::webViewFailedTitle()
{
    return QStringLiteral("网页视图未能启动");
}

void ProgramWebView::rendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    if (status == QWebEnginePage::NormalTerminationStatus)
        return;
    qWarning().noquote() << QStringLiteral("tidwen: the web view %1 could not start or stopped (status %2, exit code %3)")
                                .arg(QString::fromLatin1(metaObject()->className()))
                                .arg(int(status))
                                .arg(exitCode);
    m_rendererEnded->showFailure([this] { m_rendererEndedReload(); });
    const QWidget* keys = QApplication::focusWidget();
    m_keysOutsideWhenEnded = keys && !isInside(keys);
}

bool ProgramWebView::isInside(const QWidget* widget) const
{
    return widget == this || isAncestorOf(widget);
}

void ProgramWebView::keysCame(const QFocusEvent& event)
{
    // The first keys the view or its drawing widget gets after its renderer ended: the engine's
    // own hand-over gives no reason, the reader's click or Tab does. The application announces
    // that change of the keys right after: it tells where they came from.
    if (m_keysOutsideWhenEnded && event.reason() == Qt::OtherFocusReason)
        connect(qApp, &QApplication::focusChanged, this, &ProgramWebView::giveKeysBack, Qt::SingleShotConnection);
    m_keysOutsideWhenEnded = false;
}

void ProgramWebView::giveKeysBack(QWidget* old, QWidget* now)
{
    if (old && now && isInside(now) && !isInside(old))
        old->setFocus(Qt::OtherFocusReason);
}

void ProgramWebView::watchChild(QObject* child)
{
    if (child->isWidgetType())
        child->installEventFilter(this);
}

bool ProgramWebView::event(QEvent* event)
{
    if (event->type() == QEvent::ChildAdded)
        watchChild(static_cast<QChildEvent*>(event)->child());
    else if (event->type() == QEvent::FocusIn)
        keysCame(*static_cast<QFocusEvent*>(event));
    return QWebEngineView::event(event);
}

bool ProgramWebView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        keysCame(*static_cast<QFocusEvent*>(event));
        break;
    case QEvent::Wheel:
        // The reader's text size is the program's font size, not the engine's zoom.
        if (static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier)
            return true;
        break;
    case QEvent::NativeGesture:
        if (static_cast<QNativeGestureEvent*>(event)->gestureType() == Qt::ZoomNativeGesture)
            return true;
        break;
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

void ProgramWebView::copySelection()
{
    triggerPageAction(QWebEnginePage::Copy);
}

bool ProgramWebView::offersLinkAddress(const QUrl& link) const
{
    return UrlOpener::isWebAddress(link);
}

void ProgramWebView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (QMenu* menu = elementMenu())
        menu->popup(event->globalPos());
}

QMenu* ProgramWebView::elementMenu()
{
    const QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    if (!request)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    const auto add = [&](const QString& text, auto&& run) { connect(menu->addAction(text), &QAction::triggered, this, run); };
    if (!request->selectedText().isEmpty())
        add(QStringLiteral("复制"), [this] { copySelection(); });
    if (offersLinkAddress(request->linkUrl()))
        add(QStringLiteral("复制链接地址"), [this] { triggerPageAction(QWebEnginePage::CopyLinkToClipboard); });
    if (request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage) {
        add(QStringLiteral("复制图片"), [this] { triggerPageAction(QWebEnginePage::CopyImageToClipboard); });
        if (UrlOpener::isWebAddress(request->mediaUrl()))
            add(QStringLiteral("复制图片地址"), [this] { triggerPageAction(QWebEnginePage::CopyImageUrlToClipboard); });
    }
    if (menu->isEmpty()) {
        delete menu;
        return nullptr;
    }
    return menu;
}
