#include "newslist/views/SlideView.h"

#include "foundation/CommonFunction.h"
#include "newslist/SlideLinks.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/UILabel.h"
#include "ui/imageview/WebCache.h"

#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

SlideView::SlideView(const QList<slideDataPtr>& slides, QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFixedHeight(kHeight);
    setFocusPolicy(Qt::NoFocus);
    m_slideCount = slides.size();
    m_dataArray = slides;
    setControlsWithDataSource(slides);

    m_left = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("SlideLeft"), false, 1, this);
    m_left->setButtonType(CustomButton::NSToggleButton);
    m_left->setCheckable(false);
    m_left->setGeometry(0, 65, 20, 20);
    m_left->addTarget(this, &SlideView::leftSlide);
    m_right = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("SlideRight"), false, 1, this);
    m_right->setButtonType(CustomButton::NSToggleButton);
    m_right->setCheckable(false);
    m_right->setGeometry(275, 65, 20, 20);
    m_right->addTarget(this, &SlideView::rightSlide);

    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SlideView::rightSlide);
    // A strip without slides has nothing to turn to.
    if (m_slideCount > 0)
        m_timer.start();
    if (CommonFunction::isEICapitanLater())
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr,
                                                        [this](const Notification&) { fontChanged(); });
}

SlideView::~SlideView()
{
    m_timer.stop();
}

void SlideView::setControlsWithDataSource(const QList<slideDataPtr>& slides)
{
    auto* document = new QWidget;
    document->setFixedSize(int(std::max<int64_t>(1, m_slideCount) * kWidth), kHeight);
    for (qsizetype i = 0; i < slides.size(); ++i) {
        auto* picture = new ImageView(document);
        picture->setGeometry(int(i) * kWidth, 0, kWidth, kHeight);
        // A slide's picture fills the slide, however small it came.
        picture->setImageScaling(ImageView::ImageScaleProportionallyUpOrDown);
        const QString url = slides.at(i) ? slides.at(i)->slideImageUrl : QString();
        if (url.isEmpty())
            continue;
        WebCache::sd_setImageWithURL(picture, QUrl(url));
    }
    setWidget(document);

    m_band = new QWidget(this);
    m_band->setGeometry(0, 0, kWidth, 22);
    m_band->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 102);"));
    m_title = new UILabel(m_band);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setGeometry(0, 2, kWidth, 18);
    m_title->setFont(CommonFunction::fontWithSize(12));
    m_title->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    m_title->setText(slides.isEmpty() || !slides.first() ? QString() : slides.first()->slideTitle);
}

void SlideView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    // The band stands at y 128 counted from the bottom, so it is the strip's top 22 points; it
    // does not scroll with the pictures.
    m_band->setGeometry(0, 0, kWidth, 22);
    m_band->raise();
    m_left->raise();
    m_right->raise();
}

void SlideView::showPosition()
{
    horizontalScrollBar()->setValue(int(m_currentPosition) * kWidth);
    const slideDataPtr slide = m_dataArray.value(m_currentPosition);
    m_title->setText(slide ? slide->slideTitle : QString());
}

void SlideView::rightSlide()
{
    if (m_dataArray.isEmpty())
        return;
    m_currentPosition = SlideLinks::nextPosition(m_currentPosition, m_dataArray.size());
    showPosition();
}

void SlideView::leftSlide()
{
    if (m_dataArray.isEmpty())
        return;
    m_currentPosition = SlideLinks::previousPosition(m_currentPosition, m_dataArray.size());
    showPosition();
}

QString SlideView::titleText() const
{
    return m_title->text();
}

void SlideView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    if (const slideDataPtr slide = m_dataArray.value(m_currentPosition))
        SlideLinks::openSlide(*slide);
}

void SlideView::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

void SlideView::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}

void SlideView::fontChanged()
{
    m_title->setFont(CommonFunction::fontWithSize(12));
}
