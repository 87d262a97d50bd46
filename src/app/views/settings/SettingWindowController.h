#pragma once

#include "app/settings/SettingsModel.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>

#include <memory>

class CommmonSettingViewController;
class GoldcoinShopViewController;
class GoldcoinTaskViewController;
class QMenu;
class QPropertyAnimation;
class QToolBar;

// The settings window: a toolbar over three pages (general, coin shop, coin task); choosing one
// shows it and fits the window to it, the top-left corner staying where it is.
class SettingWindowController : public QMainWindow
{
    Q_OBJECT

public:
    // Room above a page for the title bar and the toolbar.
    static constexpr int kChromeHeight = 75;

    explicit SettingWindowController(std::shared_ptr<SettingsModel> model = std::make_shared<SettingsModel>(),
                                     QWidget* parent = nullptr);
    ~SettingWindowController() override;

    void initiateControllers();
    void changeViewController(int index);

    // Toolbar actions.
    void SettingItemClick() { changeViewController(0); }
    void GoldCoinItemClick();
    void TaskItemClick() { changeViewController(2); }
    void CommentItemClick() {}
    void FavItemClick() {}
    void RecommendItemClick() {}

    QWidget* currentVC() const { return m_currentVC; }
    const QList<QWidget*>& Controllers() const { return m_controllers; }
    CommmonSettingViewController* CommonSetting() const { return m_commonSetting; }
    GoldcoinShopViewController* goldCoinShop() const { return m_goldCoinShop; }
    GoldcoinTaskViewController* goldCoinTask() const { return m_goldCoinTask; }
    QToolBar* ToolBar() const { return m_toolBar; }
    // Where the last page change puts the window (frame geometry).
    QRect targetFrame() const { return m_targetFrame; }

    // Opens the window (made once) on Ctrl+, in the given window.
    static void installPreferencesShortcut(QWidget* window);

    // The window offers no menu of its own: the platform's would let a click hide the toolbar,
    // the one way to the coin pages, for the rest of the run.
    QMenu* createPopupMenu() override { return nullptr; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void windowDidLoad();

    std::shared_ptr<SettingsModel> m_model;
    QWidget* m_contentView = nullptr;
    QToolBar* m_toolBar = nullptr;
    QList<QWidget*> m_controllers;
    QWidget* m_currentVC = nullptr;
    CommmonSettingViewController* m_commonSetting = nullptr;
    GoldcoinShopViewController* m_goldCoinShop = nullptr;
    GoldcoinTaskViewController* m_goldCoinTask = nullptr;
    QPointer<QPropertyAnimation> m_animation;
    QRect m_targetFrame;
    bool m_placed = false;
};
