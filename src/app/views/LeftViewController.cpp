#include "app/views/LeftViewController.h"

#include "app/AppDelegate.h"
#include "app/views/LeftBarButton.h"
#include "app/views/SettingsPopover.h"
#include "app/views/settings/SettingPages.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/ImageNamed.h"

#include <QDebug>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

// The bar's pictures go by name: the button keeps the name beside the picture.
void setImageNamed(LeftBarButton* button, const QString& name)
{
    button->setImage(imageNamed(name), name);
}

}  // namespace

LeftViewController::LeftViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("LeftViewController"));
    setFixedWidth(kWidth);
    m_newsItemSEC = true;
    m_hotProductItemSEC = false;
    setControls();
    setLayout();
}

LeftViewController::~LeftViewController() = default;

void LeftViewController::setControls()
{
    m_closeButton = new WindowControlButton(WindowControlButton::Kind::Close, this);
    m_minButton = new WindowControlButton(WindowControlButton::Kind::Minimize, this);
    m_maxButton = new WindowControlButton(WindowControlButton::Kind::Zoom, this);
    connect(m_closeButton, &QAbstractButton::clicked, this, [this] { window()->close(); });
    connect(m_minButton, &QAbstractButton::clicked, this, [this] { window()->showMinimized(); });
    connect(m_maxButton, &QAbstractButton::clicked, this, [this] {
        QWidget* top = window();
        if (top->isMaximized())
            top->showNormal();
        else
            top->showMaximized();
    });

    const auto makeItem = [this](int tag, const QString& image, const QString& tooltip) {
        auto* button = new LeftBarButton(tag, this);
        setImageNamed(button, image);
        if (!tooltip.isEmpty())
            button->setToolTip(tooltip);
        connect(button, &QAbstractButton::clicked, this, [this, button] { ItemClick(button); });
        return button;
    };

    m_avatarLoader = std::make_unique<UserAvatarLoader>([this](const QImage& image, const QString& name) {
        if (!image.isNull())
            m_headBtn->setImage(QPixmap::fromImage(image), QString());
        else
            setImageNamed(m_headBtn, name);
    });
    m_headBtn = makeItem(kAvatarTag, QLatin1String(UserAvatarLoader::kLoggedOutImage), QStringLiteral("个人中心"));
    m_headBtn->setScalesImageToFill(true);
    m_headBtn->setCornerRadius(25);
    // The account's avatar is asked for once the bar has first been painted (paintEvent): the
    // look-up reads the settings store, and the picture comes later from the network anyway,
    // so the window's first paint does not wait for it.

    // The reply-reminder dot; the reply polls and the settings pages show it when there is a reply
    // to read.
    m_tixingImageView = new DotView(reminderColor(), this);
    m_tixingImageView->setObjectName(QStringLiteral("tixingImageView"));
    m_tixingImageView->hide();

    m_newsItem = makeItem(kNewsTag, QStringLiteral("zixun"), QString());
    m_newsItem->setLayerColor(selectedColor());
    m_hotProductItem = makeItem(kDealsTag, QStringLiteral("zefup_selected"), QString());
    m_feedbackBtn = makeItem(kSettingsTag, QStringLiteral("Setting"), QString());

    m_hoverArray = {m_headBtn, m_newsItem, m_hotProductItem, m_feedbackBtn};
    for (LeftBarButton* button : m_hoverArray)
        TrackingArea::add(button, this);
}

void LeftViewController::setLayout()
{
    const int h = height();
    m_headBtn->setGeometry(10, 50, 50, 50);
    m_tixingImageView->setGeometry(10 + 50 - 8, 50, 8, 8);
    m_newsItem->setGeometry(0, 50 + 50 + 78, width(), 80);
    m_hotProductItem->setGeometry(0, m_newsItem->geometry().bottom() + 1, width(), 80);
    m_feedbackBtn->setGeometry((width() - 40) / 2, h - 30 - 40, 40, 40);
    m_closeButton->setGeometry(8, 10, 14, 14);
    m_minButton->setGeometry(m_closeButton->geometry().right() + 1 + 7, 10, 14, 14);
    m_maxButton->setGeometry(m_minButton->geometry().right() + 1 + 7, 10, 14, 14);
}

void LeftViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    setLayout();
}

void LeftViewController::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), barColor());
    if (!m_avatarAsked) {
        m_avatarAsked = true;
        QMetaObject::invokeMethod(this, [this] { m_avatarLoader->GetUserAvatar(); }, Qt::QueuedConnection);
    }
}

void LeftViewController::mousePressEvent(QMouseEvent* event)
{
    // The window has no title bar: its background moves it.
    if (event->button() == Qt::LeftButton && window()->windowHandle() != nullptr) {
        window()->windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void LeftViewController::ItemClick(LeftBarButton* sender)
{
    if (sender == nullptr)
        return;
    switch (sender->tag()) {
    case kAvatarTag: {
        const std::shared_ptr<AccountWindowFactory> factory = AccountWindowFactory::installed();
        if (!factory) {
            qInfo("left bar: the account windows are not installed");
            return;
        }
        const AppDelegate* delegate = AppDelegate::shared();
        if (delegate != nullptr && delegate->getCurrLandUser() != nullptr) {
            m_userInfoWD = factory->makeUserInfoWD();
            if (m_userInfoWD)
                m_userInfoWD->showWindow();
        } else {
            if (!m_userLandWD)
                m_userLandWD = factory->makeUserLandWD();
            if (m_userLandWD)
                m_userLandWD->showWindow();
        }
        return;
    }
    case kNewsTag:
        selectItem(true);
        NotificationCenter::defaultCenter().post(QStringLiteral("NEWS"));
        return;
    case kDealsTag:
        qInfo("just 2");
        selectItem(false);
        NotificationCenter::defaultCenter().post(QStringLiteral("ZQ"));
        return;
    case kSettingsTag:
        qInfo("just 4");
        showSettingsPopover();
        return;
    default:
        return;
    }
}

void LeftViewController::selectItem(bool news)
{
    m_newsItem->setLayerColor(news ? selectedColor() : barColor());
    setImageNamed(m_newsItem, news ? QStringLiteral("zixun") : QStringLiteral("zixun_selected"));
    m_hotProductItem->setLayerColor(news ? barColor() : selectedColor());
    setImageNamed(m_hotProductItem, news ? QStringLiteral("zefup_selected") : QStringLiteral("zefup"));
    m_newsItemSEC = news;
    m_hotProductItemSEC = !news;
}

void LeftViewController::showSettingsPopover()
{
    if (!m_popover) {
        auto* popover = new SettingsPopover(this);
        popover->setContent(new SettingViewController(std::make_shared<SettingsModel>(), popover));
        m_popover = popover;
    }
    // Beside the button's right edge, centred on it as far as the screen allows.
    m_popover->popUpBeside(m_feedbackBtn);
}

void LeftViewController::mouseEntered(QWidget* sender)
{
    auto* button = qobject_cast<LeftBarButton*>(sender);
    if (button == nullptr || !m_hoverArray.contains(button))
        return;
    if (button == m_feedbackBtn)
        setImageNamed(button, QStringLiteral("Setting_hover"));
    else
        button->setLayerColor(hoverColor());
}

void LeftViewController::mouseExited(QWidget* sender)
{
    auto* button = qobject_cast<LeftBarButton*>(sender);
    if (button == nullptr || !m_hoverArray.contains(button))
        return;
    if (button == m_feedbackBtn)
        setImageNamed(button, QStringLiteral("Setting"));
    else if ((button == m_newsItem && m_newsItemSEC) || (button == m_hotProductItem && m_hotProductItemSEC))
        button->setLayerColor(selectedColor());
    else
        button->setLayerColor(barColor());
}

void LeftViewController::GetUserAvatar()
{
    // A call before the first paint stands for the one the bar makes after it.
    m_avatarAsked = true;
    m_avatarLoader->GetUserAvatar();
}
