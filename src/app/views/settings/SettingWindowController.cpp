#include "app/views/settings/SettingWindowController.h"

#include "app/views/settings/SettingPages.h"
#include "ui/controls/KeysHandOver.h"
#include "ui/controls/WindowKeys.h"
#include "ui/layout/MASAdditions.h"

#include <QAction>
#include <QKeySequence>
#include <QPropertyAnimation>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QToolBar>

#include <algorithm>

SettingWindowController::SettingWindowController(std::shared_ptr<SettingsModel> model, QWidget* parent)
    : QMainWindow(parent), m_model(std::move(model))
{
    setObjectName(QStringLiteral("SettingWindowController"));
    setWindowTitle(QStringLiteral("偏好设置"));
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    const struct
    {
        const char* title;
        void (SettingWindowController::*action)();
    } items[] = {
        {"通用", &SettingWindowController::SettingItemClick},
        {"金币商城", &SettingWindowController::GoldCoinItemClick},
        {"金币任务", &SettingWindowController::TaskItemClick},
        {"评论", &SettingWindowController::CommentItemClick},
        {"收藏", &SettingWindowController::FavItemClick},
        {"推荐", &SettingWindowController::RecommendItemClick},
    };
    for (const auto& item : items) {
        QAction* action = m_toolBar->addAction(QString::fromUtf8(item.title));
        connect(action, &QAction::triggered, this, item.action);
    }
    closeOnWindowKeys(this);
    m_contentView = new QWidget(this);
    m_contentView->setObjectName(QStringLiteral("contentView"));
    setCentralWidget(m_contentView);
    // Keys of a page put aside go to the first field of the page chosen.
    KeysHandOver::addArea(m_contentView);
    windowDidLoad();
}

SettingWindowController::~SettingWindowController()
{
    if (m_animation)
        m_animation->stop();
}

void SettingWindowController::windowDidLoad()
{
    m_controllers.clear();
    initiateControllers();
}

void SettingWindowController::initiateControllers()
{
    m_commonSetting = new CommmonSettingViewController(m_model, m_contentView);
    m_goldCoinShop = new GoldcoinShopViewController(m_contentView);
    m_goldCoinTask = new GoldcoinTaskViewController(m_contentView);
    m_commonSetting->hide();
    m_goldCoinShop->hide();
    m_goldCoinTask->hide();
    MASAdditions::mas_makeConstraints(m_goldCoinShop, [this](MASConstraintMaker& make) {
        make.left().equalTo(MASAdditions::mas_left(m_contentView));
        make.top().equalTo(MASAdditions::mas_top(m_contentView));
        make.width().equalTo(GoldcoinShopViewController::kWidth);
        make.height().equalTo(GoldcoinShopViewController::kHeight);
    });
    MASAdditions::mas_makeConstraints(m_goldCoinTask, [this](MASConstraintMaker& make) {
        make.left().equalTo(MASAdditions::mas_left(m_contentView));
        make.top().equalTo(MASAdditions::mas_top(m_contentView));
        make.width().equalTo(GoldcoinTaskViewController::kWidth);
        make.height().equalTo(GoldcoinTaskViewController::kHeight);
    });
    m_controllers = {m_commonSetting, m_goldCoinShop, m_goldCoinTask};
    // The window opens on the general page.
    changeViewController(0);
}

void SettingWindowController::changeViewController(int index)
{
    if (index < 0 || index >= m_controllers.size())
        return;
    QWidget* page = m_controllers.at(index);
    if (m_currentVC != nullptr)
        m_currentVC->hide();
    page->move(0, 0);
    page->show();
    m_currentVC = page;

    const QSize pageSize = page->size().isEmpty() ? page->sizeHint() : page->size();
    const int width = index == 1   ? GoldcoinShopViewController::kWidth
                      : index == 2 ? GoldcoinTaskViewController::kWidth
                                   : pageSize.width();
    const int height = index == 1   ? GoldcoinShopViewController::kHeight
                       : index == 2 ? GoldcoinTaskViewController::kHeight
                                    : pageSize.height();
    // The top-left corner stays; the window becomes as wide as the page and the chrome taller.
    const QRect frame = frameGeometry();
    const QMargins decoration(geometry().left() - frame.left(), geometry().top() - frame.top(),
                              frame.right() - geometry().right(), frame.bottom() - geometry().bottom());
    m_targetFrame = QRect(frame.topLeft(), QSize(width, height + kChromeHeight));
    const QRect client = m_targetFrame.marginsRemoved(decoration);
    setMinimumSize(0, 0);
    if (m_animation)
        m_animation->stop();
    if (!isVisible()) {
        // Before the first opening the window has no frame yet: only its size is set here, and
        // the opening places it.
        if (m_placed)
            setGeometry(client);
        else
            resize(client.size());
        return;
    }
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(150);
    animation->setStartValue(geometry());
    animation->setEndValue(client);
    m_animation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void SettingWindowController::showEvent(QShowEvent* event)
{
    // The first opening stands in the middle of the screen's available area, frame and all (the
    // window system places a window by its frame; a window larger than the area keeps its
    // title bar on it). Later openings keep where the reader left it.
    if (!m_placed && !testAttribute(Qt::WA_Moved)) {
        const QScreen* shown = screen();
        if (shown != nullptr) {
            const QRect available = shown->availableGeometry();
            const QSize frame = frameGeometry().size().expandedTo(size());
            const int x = available.left() + std::max(0, (available.width() - frame.width()) / 2);
            const int y = available.top() + std::max(0, (available.height() - frame.height()) / 2);
            move(x, y);
        }
    }
    m_placed = true;
    // The keys stand on the first field of the page, marked, from each opening on.
    openWithKeysOn(this, event, m_currentVC ? KeysHandOver::clickKeysOf(m_currentVC) : nullptr);
    QMainWindow::showEvent(event);
}

void SettingWindowController::GoldCoinItemClick()
{
    changeViewController(1);
    // Opening the shop shows its news: the dot that announced them goes.
    m_model->coinShopOpened();
}

void SettingWindowController::installPreferencesShortcut(QWidget* window)
{
    if (window == nullptr)
        return;
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), window);
    shortcut->setObjectName(QStringLiteral("preferencesShortcut"));
    shortcut->setContext(Qt::WindowShortcut);
    auto settingsWindow = std::make_shared<QPointer<SettingWindowController>>();
    QObject::connect(shortcut, &QShortcut::activated, window, [settingsWindow] {
        if (!*settingsWindow)
            *settingsWindow = new SettingWindowController();
        (*settingsWindow)->show();
        (*settingsWindow)->raise();
        (*settingsWindow)->activateWindow();
    });
    // The settings window goes with the window that opens it.
    QObject::connect(window, &QObject::destroyed, [settingsWindow] {
        if (*settingsWindow)
            delete settingsWindow->data();
    });
}
