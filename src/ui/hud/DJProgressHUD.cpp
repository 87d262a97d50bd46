#include "ui/hud/DJProgressHUD.h"

#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressIndicator.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr int kAnimationMs = 150;

// The dimming layer over the covered widget.
class HUDView : public QWidget
{
public:
    double backgroundAlpha = 0.4;
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QColor black(Qt::black);
        black.setAlphaF(float(backgroundAlpha));
        painter.fillRect(rect(), black);
    }
};

// The near-black rounded box.
class HUDBox : public QWidget
{
public:
    QColor color;
    double cornerRadius = 0;
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        // The radius never exceeds half the shorter side: a large covered view still gives a
        // box, not an ellipse.
        const double r = std::min(cornerRadius, std::min(width(), height()) / 2.0);
        painter.drawRoundedRect(QRectF(rect()), r, r);
    }
};

// The click-catching mask: a button that draws nothing.
class HUDMask : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {}
};

QRect toRect(const QRectF& r)
{
    return QRect(int(std::lround(r.x())), int(std::lround(r.y())), int(std::lround(r.width())),
                 int(std::lround(r.height())));
}

// A rectangle given y-up inside a container of that height, in the container's y-down
// coordinates with its edges rounded.
QRect fromYUp(const QRectF& r, double containerHeight)
{
    return toRect(QRectF(r.x(), containerHeight - r.y() - r.height(), r.width(), r.height()));
}

QPointer<DJProgressHUD>& theInstance()
{
    static QPointer<DJProgressHUD> instance;
    return instance;
}

}  // namespace

DJProgressHUD* DJProgressHUD::instance()
{
    auto& instance = theInstance();
    if (!instance) {
        instance = new DJProgressHUD(qApp);
        instance->initializePopup();
        // Hidden, the HUD's widgets belong to no window: let them go while widgets still work,
        // before the application object is torn down.
        qAddPostRoutine([] {
            if (DJProgressHUD* hud = theInstance())
                hud->deleteUnparentedParts();
        });
    }
    return instance;
}

DJProgressHUD::DJProgressHUD(QObject* parent) : QObject(parent) {}

DJProgressHUD::~DJProgressHUD()
{
    deleteUnparentedParts();
}

void DJProgressHUD::deleteUnparentedParts()
{
    if (m_hudView && !m_hudView->parentWidget())
        delete m_hudView;
    if (m_backgroundMask && !m_backgroundMask->parentWidget())
        delete m_backgroundMask;
}

void DJProgressHUD::showStatus(const QString& status, QWidget* view)
{
    instance()->showStatusFromView(status, view);
}

void DJProgressHUD::showProgress(double progress, const QString& status, QWidget* view)
{
    instance()->showProgressWithStatus(progress, status, view);
}

void DJProgressHUD::showMessage(const QString& message, QWidget* view)
{
    instance()->showMessageFromView(message, view);
}

void DJProgressHUD::showToast(const QString& message, QWidget* view, std::function<void()> after)
{
    showMessage(message, view);
    QTimer::singleShot(1000, instance(), [covered = QPointer<QWidget>(view), after = std::move(after)] {
        if (covered)
            dismiss();
        if (after)
            after();
    });
}

QSize DJProgressHUD::messageSize(const QString& message)
{
    return QSize(static_cast<int>(message.size()) * 20 + 40, 20);
}

void DJProgressHUD::dismiss()
{
    DJProgressHUD* hud = instance();
    if (hud->keepActivityCount)
        hud->popActivityCount();
    else
        hud->hideViewAnimated();
}

void DJProgressHUD::popActivity()
{
    instance()->popActivityCount();
}

void DJProgressHUD::setBackgroundAlpha(double alpha, bool disableActions)
{
    Q_UNUSED(disableActions);
    DJProgressHUD* hud = instance();
    hud->backgroundAlpha = alpha;
    hud->setBackground();
}

bool DJProgressHUD::partsAlive() const
{
    return m_hudView && m_mainHUD && m_label && m_activityIndicator && m_progressIndicator && m_backgroundMask;
}

void DJProgressHUD::initializePopup()
{
    if (partsAlive())
        return;
    // Parts that survived (the covered widget took only some of them) are made again with the rest.
    for (QObject* part : {static_cast<QObject*>(m_backgroundMask.data()), static_cast<QObject*>(m_hudView.data())})
        delete part;
    m_hudView = new HUDView;
    m_hudView->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    // A covered widget destroyed while the HUD shows takes its widgets with it: nothing shows
    // then, and no show is left to count.
    connect(m_hudView, &QObject::destroyed, this, [this] {
        m_parentView = nullptr;
        m_displaying = false;
        m_animatingShow = false;
        m_animatingDismiss = false;
        m_activityCount = 0;
    });
    m_mainHUD = new HUDBox(m_hudView);
    auto* effect = new QGraphicsOpacityEffect(m_mainHUD);
    effect->setOpacity(0);
    m_mainHUD->setGraphicsEffect(effect);

    m_label = new QLabel(m_mainHUD);
    m_label->setFrameShape(QFrame::NoFrame);
    m_label->setAutoFillBackground(false);
    m_label->setTextInteractionFlags(Qt::NoTextInteraction);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(12);
    font.setBold(true);
    m_label->setFont(font);
    QPalette palette = m_label->palette();
    QColor text(Qt::white);
    text.setAlphaF(0.85f);
    palette.setColor(QPalette::WindowText, text);
    m_label->setPalette(palette);

    m_activityIndicator = new DJActivityIndicator(m_mainHUD);
    m_progressIndicator = new DJProgressIndicator(m_mainHUD);
    m_backgroundMask = new HUDMask;
    m_backgroundMask->setFlat(true);
    m_backgroundMask->setFocusPolicy(Qt::NoFocus);

    m_parentView = nullptr;
    m_displaying = false;
    m_animatingShow = false;
    m_animatingDismiss = false;
    m_activityCount = 0;
}

double DJProgressHUD::boxOpacity() const
{
    if (!m_mainHUD)
        return 0;
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_mainHUD->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

void DJProgressHUD::setBoxOpacity(double opacity)
{
    if (!m_mainHUD)
        return;
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_mainHUD->graphicsEffect()))
        effect->setOpacity(opacity);
}

void DJProgressHUD::showStatusFromView(const QString& status, QWidget* view)
{
    initializePopup();
    m_parentView = view;
    m_label->setText(status);
    m_activityIndicator->show();
    m_progressIndicator->hide();
    m_activityIndicator->startAnimation(this);
    if (m_displaying)
        replaceViewQuick();
    else
        showViewAnimated();
}

void DJProgressHUD::showProgressWithStatus(double progress, const QString& status, QWidget* view)
{
    initializePopup();
    m_parentView = view;
    m_label->setText(status);
    m_activityIndicator->hide();
    m_progressIndicator->show();
    m_activityIndicator->stopAnimation(this);
    m_progressIndicator->showProgress(float(progress));
    if (m_displaying)
        replaceViewQuick();
    else
        showViewAnimated();
}

void DJProgressHUD::showMessageFromView(const QString& message, QWidget* view)
{
    initializePopup();
    m_parentView = view;
    m_activityIndicator->hide();
    m_progressIndicator->hide();
    if (m_displaying || !view)
        return;  // a toast never replaces what shows
    setBackground();
    m_pSize = QSizeF(messageSize(message));
    m_label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_label->setGeometry(QRect(QPoint(0, 0), m_pSize.toSize()));
    m_label->setText(message);

    if (m_hudView->parentWidget() != view)
        m_hudView->setParent(view);
    m_hudView->setGeometry(view->rect());
    m_hudView->show();
    placeBox(getCenterWithinRect(view->rect(), 1));
    m_mainHUD->show();
    m_displaying = true;
    ++m_activityCount;
    addMask();
    animateBoxIn();
}

void DJProgressHUD::popActivityCount()
{
    // At 0 there is nothing to count down: unsigned, it would wrap and never hide again.
    if (m_activityCount == 0)
        return;
    --m_activityCount;
    if (m_activityCount == 0)
        hideViewAnimated();
}

void DJProgressHUD::placeBox(const QRectF& yUpRect)
{
    if (!m_mainHUD || !m_hudView)
        return;
    m_mainHUD->setGeometry(fromYUp(yUpRect, m_hudView->height()));
}

QRectF DJProgressHUD::getCenterWithinRect(const QRectF& rect, double scale) const
{
    const QSizeF size = m_pSize * scale;
    return QRectF(pOffset.x() + (rect.width() / 2 - size.width() / 2),
                  pOffset.y() + (rect.height() / 2 - size.height() / 2), size.width(), size.height());
}

double DJProgressHUD::heightForString(const QString& text, const QFont& font, double width)
{
    if (text.isEmpty())
        return 0;
    const QFontMetricsF fm(font);
    return fm.boundingRect(QRectF(0, 0, width, FLT_MAX), Qt::TextWordWrap, text).height();
}

void DJProgressHUD::setBackground()
{
    if (auto* box = static_cast<HUDBox*>(m_mainHUD.data())) {
        box->color = QColor::fromRgbF(0.05f, 0.05f, 0.05f, float(pAlpha));
        box->cornerRadius = m_parentView ? m_parentView->height() / 2.0 : 0;
        box->update();
    }
    if (auto* hud = static_cast<HUDView*>(m_hudView.data())) {
        hud->backgroundAlpha = backgroundAlpha;
        hud->update();
    }
}

void DJProgressHUD::updateLayout()
{
    setBackground();
    const double p = pPadding;
    const double iw = indicatorSize.width(), ih = indicatorSize.height();
    const double maxWidth = 250 - 2 * p;
    const QString text = m_label->text();
    const QFontMetricsF fm(m_label->font());
    const double tw = fm.horizontalAdvance(text) + 5;
    const double th = heightForString(text, m_label->font(), maxWidth);
    const float h0 = text.isEmpty() ? 0.0f : float(th + 8);
    const double lw = std::min(maxWidth, std::max(tw, iw));
    const float lh = std::min(float(200 - 2 * p - ih - 1.5 * p), h0);
    const double labelY = lh != 0 ? p : 0;
    const double gap = lh != 0 ? p / 3 : p;
    const double boxWidth = 2 * p + lw;
    const QRectF indicator(boxWidth / 2 - iw / 2, lh + labelY + gap, iw, ih);
    const double extra = lh != 0 ? p / 3 : 0;
    m_pSize = QSizeF(boxWidth, indicator.y() + ih + p + extra);

    // Frames inside the box are y-up.
    const double H = m_pSize.height();
    m_label->setGeometry(fromYUp(QRectF(p, labelY, lw, lh), H));
    const QRect indicatorRect = fromYUp(indicator, H);
    m_progressIndicator->setGeometry(indicatorRect);
    m_activityIndicator->setGeometry(indicatorRect);
    m_progressIndicator->setRingThickness(6);
    m_progressIndicator->sizeToFit();
    m_activityIndicator->setColor(Qt::white);
    m_mainHUD->update();
}

void DJProgressHUD::addMask()
{
    if (!m_backgroundMask || !m_parentView)
        return;
    m_backgroundMask->setParent(nullptr);
    m_backgroundMask->setParent(m_parentView);
    m_backgroundMask->setGeometry(m_parentView->rect());
    m_backgroundMask->setEnabled(!actionsEnabled);
    m_backgroundMask->show();
    m_backgroundMask->raise();
}

void DJProgressHUD::removeMask()
{
    if (!m_backgroundMask)
        return;
    m_backgroundMask->hide();
    m_backgroundMask->setParent(nullptr);
}

void DJProgressHUD::beginShowView()
{
    if (!m_parentView)
        return;
    updateLayout();
    if (m_hudView->parentWidget() != m_parentView)
        m_hudView->setParent(m_parentView);
    // The covered widget's own rectangle: its frame would put the HUD off by its position.
    m_hudView->setGeometry(m_parentView->rect());
    m_hudView->show();
    m_hudView->raise();
    placeBox(getCenterWithinRect(m_parentView->rect(), 1));
    m_mainHUD->show();
    m_displaying = true;
    ++m_activityCount;
    addMask();
    m_label->show();
}

void DJProgressHUD::showViewAnimated()
{
    if (!m_parentView)
        return;
    beginShowView();
    animateBoxIn();
}

void DJProgressHUD::animateBoxIn()
{
    setBoxOpacity(0);
    placeBox(getCenterWithinRect(m_parentView->rect(), 0.75));
    m_animatingShow = true;
    animateBox(getCenterWithinRect(m_parentView->rect(), 1), pAlpha, false);
}

void DJProgressHUD::replaceViewQuick()
{
    if (m_animation)
        delete m_animation;  // a hide under way must not finish over the new content
    m_animatingShow = false;
    m_animatingDismiss = false;
    beginShowView();
    setBoxOpacity(pAlpha);
}

void DJProgressHUD::hideViewAnimated()
{
    if (!partsAlive())
        initializePopup();
    m_progressIndicator->clear();
    m_animatingDismiss = true;
    m_animatingShow = true;
    const QRectF within = m_parentView ? QRectF(m_parentView->rect()) : QRectF(m_hudView->rect());
    animateBox(getCenterWithinRect(within, 0.75), 0, true);
}

void DJProgressHUD::animateBox(const QRectF& toYUp, double toOpacity, bool dismissing)
{
    // The label and spinner are children of the box: they fade with it.
    if (m_animation)
        delete m_animation;
    auto* group = new QParallelAnimationGroup(m_mainHUD);
    auto* geometry = new QPropertyAnimation(m_mainHUD, "geometry", group);
    geometry->setDuration(kAnimationMs);
    geometry->setEndValue(fromYUp(toYUp, m_hudView->height()));
    auto* opacity = new QPropertyAnimation(m_mainHUD->graphicsEffect(), "opacity", group);
    opacity->setDuration(kAnimationMs);
    opacity->setEndValue(toOpacity);
    group->addAnimation(geometry);
    group->addAnimation(opacity);
    m_animation = group;
    connect(group, &QAbstractAnimation::finished, this, [this, dismissing] {
        m_animatingShow = false;
        if (!dismissing)
            return;
        m_animatingDismiss = false;
        // Only when no show came in between.
        if (boxOpacity() == 0)
            finishHideView();
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void DJProgressHUD::finishHideView()
{
    if (m_mainHUD)
        m_mainHUD->hide();
    if (m_hudView) {
        m_hudView->hide();
        m_hudView->setParent(nullptr);
    }
    m_parentView = nullptr;
    m_displaying = false;
    removeMask();
    if (m_activityIndicator)
        m_activityIndicator->stopAnimation(this);
}
