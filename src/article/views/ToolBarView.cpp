#include "article/views/ToolBarView.h"

#include "foundation/CommonFunction.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/ImageNamed.h"
#include "ui/layout/MASAdditions.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

using namespace MASAdditions;

namespace {

constexpr int kInstantGOTag = 2000;
// Image positions beyond the two the toolkit names.
constexpr int kImageLeft = 2;
constexpr int kImageAbove = 5;

const QColor kRed(210, 34, 34);
const QColor kRedHover(210, 65, 57);
const QColor kHover(244, 244, 244);
const QColor kInk(102, 102, 102);

// A toolbar button draws itself: a flat background (the hover colour or the badge's red), its
// image and its title where the toolbar wants them. No style sheet: the bar is built with every
// pane and repainted under the mouse.
class ToolBarButton : public CustomButton
{
public:
    ToolBarButton(QWidget* parent, int imagePosition, const QString& imageName, const QString& title, QSize frame)
        : CustomButton(parent)
    {
        setImagePosition(imagePosition);
        if (!imageName.isEmpty())
            setImageNamed(imageName);
        setText(title);
        setBordered(false);
        setBezelStyle(1);
        setButtonType(imagePosition == NSNoImage ? NSToggleButton : NSMomentaryLightButton);
        setCheckable(false);
        setFocusPolicy(Qt::NoFocus);
        resize(frame);
        if (!imageName.isEmpty())
            m_image = imageNamed(imageName);
    }

    QColor background = Qt::transparent;
    QColor titleColor = kInk;
    qreal cornerRadius = 0;

protected:
    QPixmap m_image;

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (background.alpha() > 0) {
            if (cornerRadius > 0) {
                QPainterPath path;
                path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
                p.fillPath(path, background);
            } else {
                p.fillRect(rect(), background);
            }
        }
        const QPixmap& image = m_image;
        const QSize imageSize = image.isNull() ? QSize() : image.deviceIndependentSize().toSize();
        p.setPen(titleColor);
        p.setFont(font());
        switch (imagePosition()) {
        case NSImageOnly:
            p.drawPixmap((width() - imageSize.width()) / 2, (height() - imageSize.height()) / 2, image);
            break;
        case kImageAbove:
            // The image's box is 20 x 20 at 6 from the top, the title under it.
            p.drawPixmap((width() - 20) / 2, 6, 20, 20, image);
            p.drawText(QRect(0, 28, width(), height() - 30), Qt::AlignHCenter | Qt::AlignTop, text());
            break;
        case kImageLeft: {
            const int textWidth = fontMetrics().horizontalAdvance(text());
            const int gap = 4;
            const int left = (width() - imageSize.width() - gap - textWidth) / 2;
            p.drawPixmap(left, (height() - imageSize.height()) / 2, image);
            p.drawText(QRect(left + imageSize.width() + gap, 0, textWidth + 2, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
            break;
        }
        default:
            p.drawText(rect(), Qt::AlignCenter, text());
            break;
        }
    }
};

ToolBarButton* asToolBarButton(CustomButton* button)
{
    return static_cast<ToolBarButton*>(button);
}

}  // namespace

ToolBarView::ToolBarView(QWidget* parent) : QWidget(parent)
{
    setControls();
    setLayout();
}

void ToolBarView::setDelegate(ToolBarDelegate* delegate)
{
    m_delegate = WeakInterface<ToolBarDelegate>(delegate);
}

ToolBarDelegate* ToolBarView::delegate() const
{
    return m_delegate.get();
}

void ToolBarView::send(void (ToolBarDelegate::*operation)())
{
    if (ToolBarDelegate* target = delegate())
        (target->*operation)();
}

void ToolBarView::collect()
{
    send(&ToolBarDelegate::collect);
}

void ToolBarView::setControls()
{
    const auto make = [this](int position, const QString& image, const QString& title, QSize frame,
                             void (ToolBarDelegate::*operation)()) {
        auto* button = new ToolBarButton(this, position, image, title, frame);
        button->addTarget(this, std::function<void()>([this, operation] { send(operation); }));
        return button;
    };
    const QString share = QStringLiteral("分享");
    commentBtn = make(CustomButton::NSImageOnly, QStringLiteral("iPadQuickSetting_CommentNumIOS7_NORMAL"), QString(), {50, 50},
                      &ToolBarDelegate::openComment);
    commentCountBtn = make(CustomButton::NSNoImage, QString(), QStringLiteral("   0"), {32, 15}, &ToolBarDelegate::openComment);
    shareBtn = make(kImageAbove, share, share, {HW, 50}, &ToolBarDelegate::share);
    shareLPBtn = make(kImageAbove, share, share, {HW, 50}, &ToolBarDelegate::share);
    refreshBtn = make(kImageAbove, QStringLiteral("刷新"), QStringLiteral("刷新"), {HW, 50}, &ToolBarDelegate::refresh);
    fontBtn = make(kImageAbove, QStringLiteral("字体"), QStringLiteral("字体"), {HW, 50}, &ToolBarDelegate::adjustFont);
    writeCommentBtn = make(kImageLeft, QStringLiteral("iPadQuickSetting_WriteCommentIOS7_NORMAL"), QStringLiteral("写评论"),
                           {70, 50}, &ToolBarDelegate::writeComment);
    backBtn = make(CustomButton::NSImageOnly, QStringLiteral("iPadQuickSetting_GobackIOS7_NORMAL"), QString(), {50, 50},
                   &ToolBarDelegate::back);
    instantGOBtn = make(CustomButton::NSNoImage, QString(), QStringLiteral("      立即前往"), {118, 40}, &ToolBarDelegate::instantGO);
    // back first clears its own hover colour: the button may vanish under the mouse.
    backBtn->addTarget(this, std::function<void()>([this] {
        asToolBarButton(backBtn)->background = Qt::transparent;
        backBtn->update();
        send(&ToolBarDelegate::back);
    }));

    QFont small = font();
    small.setPixelSize(12);
    for (CustomButton* button : {shareBtn, shareLPBtn, refreshBtn, fontBtn})
        button->setFont(small);
    QFont writeFont = font();
    writeFont.setPixelSize(13);
    writeCommentBtn->setFont(writeFont);

    auto* badge = asToolBarButton(commentCountBtn);
    badge->background = kRed;
    badge->cornerRadius = 7.5;
    badge->titleColor = Qt::white;
    QFont badgeFont = font();
    badgeFont.setPixelSize(10);
    badge->setFont(badgeFont);

    auto* goNow = asToolBarButton(instantGOBtn);
    goNow->background = kRed;
    goNow->titleColor = Qt::white;
    goNow->setFont(CommonFunction::fontWithSize(17));
    goNow->setProperty("tag", kInstantGOTag);

    m_lineView = new QWidget(this);
    m_lineView->setAutoFillBackground(true);
    QPalette line = m_lineView->palette();
    line.setColor(QPalette::Window, QColor(230, 230, 230));
    m_lineView->setPalette(line);
    m_lineView->stackUnder(instantGOBtn);

    shareLPBtn->hide();
    instantGOBtn->hide();
    backBtn->hide();

    m_hoverArray = {backBtn, refreshBtn, fontBtn, shareBtn, shareLPBtn, writeCommentBtn, commentBtn, instantGOBtn};
    for (CustomButton* button : m_hoverArray)
        button->installEventFilter(this);
}

bool ToolBarView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        auto* button = qobject_cast<CustomButton*>(watched);
        if (button && m_hoverArray.contains(button)) {
            const bool entered = event->type() == QEvent::Enter;
            const bool goNow = button->property("tag").toInt() == kInstantGOTag;
            asToolBarButton(button)->background =
                goNow ? (entered ? kRedHover : kRed) : (entered ? kHover : QColor(Qt::transparent));
            button->update();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ToolBarView::setLayout()
{
    mas_makeConstraints(backBtn, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.top().equalTo(mas_top(this));
        make.width().equalTo(50);
        make.height().equalTo(50);
    });
    mas_makeConstraints(commentBtn, [this](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(this));
        make.right().equalTo(mas_right(this)).offset(-10);
        make.width().equalTo(50);
        make.height().equalTo(50);
    });
    mas_makeConstraints(commentCountBtn, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_centerX(commentBtn));
        make.top().equalTo(mas_top(commentBtn)).offset(5);
        make.width().equalTo(32);
        make.height().equalTo(15);
    });
    mas_makeConstraints(writeCommentBtn, [this](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(this));
        make.right().equalTo(mas_left(commentBtn)).offset(-5);
        make.height().equalTo(50);
        make.width().equalTo(70);
    });
    const auto iconOverText = [this](CustomButton* button, CustomButton* rightOf) {
        mas_makeConstraints(button, [this, rightOf](MASConstraintMaker& make) {
            make.top().equalTo(mas_top(this));
            make.right().equalTo(mas_left(rightOf)).offset(-20);
            make.width().equalTo(HW);
            make.height().equalTo(50);
        });
    };
    iconOverText(shareBtn, writeCommentBtn);
    iconOverText(fontBtn, shareBtn);
    iconOverText(refreshBtn, fontBtn);
    mas_makeConstraints(instantGOBtn, [this](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(this));
        make.right().equalTo(mas_right(this));
        make.height().equalTo(mas_height(this));
        make.width().equalTo(118);
    });
    iconOverText(shareLPBtn, instantGOBtn);
    mas_makeConstraints(m_lineView, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.right().equalTo(mas_right(this));
        make.top().equalTo(mas_top(this));
        make.height().equalTo(1);
    });
}

void ToolBarView::changeForNews()
{
    for (CustomButton* news : {refreshBtn, fontBtn, writeCommentBtn, commentBtn, shareBtn, commentCountBtn})
        news->show();
    shareLPBtn->hide();
    instantGOBtn->hide();
}

void ToolBarView::changForHotProduct()
{
    for (CustomButton* news : {refreshBtn, fontBtn, writeCommentBtn, commentBtn, shareBtn, commentCountBtn})
        news->hide();
    shareLPBtn->show();
    instantGOBtn->show();
}

void ToolBarView::setCommentCount(const QString& count)
{
    if (count.isEmpty())
        return;
    // One to four characters are right-aligned in four; a longer count is shown whole.
    const qsizetype pad = std::max<qsizetype>(0, 4 - count.size());
    commentCountBtn->setText(QString(pad, QLatin1Char(' ')) + count);
    NotificationCenter::defaultCenter().post(QStringLiteral("touchBarCommentCount"),
                                             NotificationObject::from(std::make_shared<QString>(count)));
}

QString ToolBarView::commentCountText() const
{
    return commentCountBtn->text();
}
