#pragma once

#include "app/UserAvatarLoader.h"
#include "app/views/AccountWindows.h"
#include "app/views/SettingsPopover.h"
#include "ui/controls/TrackingArea.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

class LeftBarButton;
class QLabel;
class WindowControlButton;

// The 70-wide red strip at the main window's left edge: the window's own close, minimise and zoom
// buttons, the avatar button, the news and deals items and the settings button.
class LeftViewController : public QWidget, public TrackingAreaOwner
{
    Q_OBJECT

public:
    static constexpr int kWidth = 70;
    // The bar's height with the settings button just under the deals item: avatar (50 down, 50
    // high), news item 78 below it, both items 80 high, then the settings button, 40 high and 30
    // above the bottom.
    static constexpr int kMinimumHeight = 50 + 50 + 78 + 80 + 80 + 40 + 30;
    static QColor barColor() { return {210, 34, 34}; }
    static QColor selectedColor() { return {235, 52, 52}; }
    static QColor hoverColor() { return {223, 41, 41}; }
    static QColor reminderColor() { return {255, 252, 16}; }

    enum Tag { kAvatarTag = 0, kNewsTag = 1, kDealsTag = 2, kSettingsTag = 4 };

    explicit LeftViewController(QWidget* parent = nullptr);
    ~LeftViewController() override;

    // The action of the four buttons, by their tag.
    void ItemClick(LeftBarButton* sender);
    // Hover colours of the tracked buttons.
    void mouseEntered(QWidget* sender) override;
    void mouseExited(QWidget* sender) override;
    // Shows the current account's avatar. The bar asks for it itself once it has first been
    // painted, unless this was called before.
    void GetUserAvatar();

    LeftBarButton* HeadBtn() const { return m_headBtn; }
    LeftBarButton* newsItem() const { return m_newsItem; }
    LeftBarButton* hotProductItem() const { return m_hotProductItem; }
    LeftBarButton* feedbackBtn() const { return m_feedbackBtn; }
    QWidget* tixingImageView() const { return m_tixingImageView; }
    WindowControlButton* closeButton() const { return m_closeButton; }
    WindowControlButton* minButton() const { return m_minButton; }
    WindowControlButton* maxButton() const { return m_maxButton; }
    // The settings popover; null until first opened.
    QWidget* popover() const { return m_popover; }
    bool newsItemSelected() const { return m_newsItemSEC; }
    bool hotProductItemSelected() const { return m_hotProductItemSEC; }
    AccountWindow* userInfoWD() const { return m_userInfoWD.get(); }
    AccountWindow* userLandWD() const { return m_userLandWD.get(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setControls();
    void setLayout();
    void showSettingsPopover();
    // The news item (true) or the deals item becomes the selected one.
    void selectItem(bool news);

    std::unique_ptr<AccountWindow> m_userInfoWD;
    std::unique_ptr<AccountWindow> m_userLandWD;
    LeftBarButton* m_newsItem = nullptr;
    LeftBarButton* m_hotProductItem = nullptr;
    LeftBarButton* m_feedbackBtn = nullptr;
    QPointer<SettingsPopover> m_popover;
    QList<LeftBarButton*> m_hoverArray;
    bool m_newsItemSEC = true;
    bool m_hotProductItemSEC = false;
    // The avatar has been asked for (the bar asks once after its first paint).
    bool m_avatarAsked = false;
    LeftBarButton* m_headBtn = nullptr;
    QWidget* m_tixingImageView = nullptr;
    WindowControlButton* m_closeButton = nullptr;
    WindowControlButton* m_minButton = nullptr;
    WindowControlButton* m_maxButton = nullptr;
    std::unique_ptr<UserAvatarLoader> m_avatarLoader;
};
