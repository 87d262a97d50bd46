#include "app/wiring/ProgramWiring.h"

#include "account/AccountShell.h"
#include "account/AutoLandOperation.h"
#include "account/views/ProfileWindows.h"
#include "account/views/UserInfoWD.h"
#include "account/views/UserLandWD.h"
#include "app/AppDelegate.h"
#include "app/SharedURLCache.h"
#include "app/location/AppLocation.h"
#include "app/push/PushHandler.h"
#include "app/reminders/ReplyReminders.h"
#include "app/settings/SettingsModel.h"
#include "app/report/MobClick.h"
#include "app/views/AccountWindows.h"
#include "app/views/DesktopUrlOpener.h"
#include "app/views/LeftViewController.h"
#include "app/views/settings/SettingWindowController.h"
#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "app/views/PaneFactory.h"
#include "app/wiring/DealsWiring.h"
#include "app/wiring/PaneAccess.h"
#include "article/ArticleServices.h"
#include "article/CommentHtmlManager.h"
#include "article/GoldCoinTask.h"
#include "article/GoldCoinTaskAdapters.h"
#include "article/views/ArticleNeighbours.h"
#include "article/views/RightViewController.h"
#include "comments/CommentsShell.h"
#include "comments/views/CommontView.h"
#include "comments/views/WriteCommentWD.h"
#include "deals/DealPageBlocks.h"
#include "newslist/NewsListLinks.h"
#include "newslist/views/CenterViewController.h"
#include "platform/AppearanceSource.h"
#include "platform/Dispatch.h"
#include "platform/PushService.h"
#include "platform/UrlOpener.h"
#include "remoteconfig/ListADGoldCoinTask.h"
#include "ui/alert/AlertSheet.h"
#include "ui/appearance/PortalAppearanceSource.h"
#include "ui/appearance/WAYTheDarkSide.h"
#include "ui/hud/DJProgressHUD.h"
#include "remoteconfig/NSADInfoManager.h"

#include <QApplication>
#include <QDebug>
#include <QTimer>
#include <QPointer>
#include <QWebEnginePage>

#include <functional>
#include <utility>
#include <vector>

namespace {

// ---- the main window's panes and the objects reached through it ----

class ProgramPanes : public PaneFactory
{
public:
    QWidget* makeCenterViewController(QWidget* parent) override { return new CenterViewController(parent); }
    QWidget* makeRightViewController(QWidget* parent) override { return new RightViewController(parent); }
};

MainWindowController* mainWindow()
{
    AppDelegate* delegate = AppDelegate::shared();
    return delegate != nullptr ? dynamic_cast<MainWindowController*>(delegate->MainWindowController()) : nullptr;
}

// The logged-in user's profile, or null (also before the delegate exists).
NSMyUserInfoPtr currentLandUser()
{
    const AppDelegate* delegate = AppDelegate::shared();
    return delegate != nullptr ? delegate->getCurrLandUser() : nullptr;
}

// The left bar's reminder dot, decided again from the store and the settings.
void decideReminderDot()
{
    SettingsModel(SettingsContext::installed()).updateTiXingStatus();
}

// The dot is the logged-in reader's: decided again for whoever is logged in now, once the
// delegate took the change (which it does on the main thread).
void landUserChanged()
{
    dispatch::onMain(&decideReminderDot);
}

// ---- the account folder ----

class DialogWindow : public AccountWindow
{
public:
    explicit DialogWindow(QWidget* dialog) : m_dialog(dialog) {}
    ~DialogWindow() override { delete m_dialog.data(); }
    void showWindow() override
    {
        if (!m_dialog)
            return;
        m_dialog->show();
        m_dialog->raise();
        m_dialog->activateWindow();
    }

private:
    QPointer<QWidget> m_dialog;
};

class ProgramAccountWindows : public AccountWindowFactory
{
public:
    explicit ProgramAccountWindows(ProfileWindows* profiles) : m_profiles(profiles) {}
    std::unique_ptr<AccountWindow> makeUserInfoWD() override
    {
        if (!m_profiles)
            return nullptr;
        return std::make_unique<DialogWindow>(m_profiles->make().release());
    }
    std::unique_ptr<AccountWindow> makeUserLandWD() override { return std::make_unique<DialogWindow>(new UserLandWD); }

private:
    QPointer<ProfileWindows> m_profiles;
};

class DelegateAccountShell : public AccountShell
{
public:
    explicit DelegateAccountShell(std::shared_ptr<ReplyReminders> reminders) : m_reminders(std::move(reminders)) {}
    void setCurrLandUser(const NSMyUserInfoPtr& user, bool newData) override
    {
        if (AppDelegate* delegate = AppDelegate::shared())
            delegate->setCurrLandUser(user, newData);
        landUserChanged();
    }
    NSMyUserInfoPtr getCurrLandUser() override { return currentLandUser(); }
    void cancelCurrLandUser() override
    {
        if (AppDelegate* delegate = AppDelegate::shared())
            delegate->cancelCurrLandUser();
        landUserChanged();
    }
    void reloadAvatar() override
    {
        AppDelegate* delegate = AppDelegate::shared();
        if (MainWindowHost* window = delegate != nullptr ? delegate->MainWindowController() : nullptr)
            window->GetUserAvatar();
    }
    void showMessage(const QString& message) override
    {
        if (MainWindowController* window = mainWindow())
            DJProgressHUD::showToast(message, window);
    }
    void downloadUserRemindCount(const QString& userId) override { m_reminders->downloadUserRemindCount(userId); }
    void downloadUserForumRemindCount(const QString& userId) override
    {
        m_reminders->downloadUserForumRemindCount(userId);
    }

private:
    std::shared_ptr<ReplyReminders> m_reminders;
};

// The automatic login runs on the main thread by itself (its requests end there); the shell's
// worker waits for it to end. The operation hands its profile to the shell and clears the flag.
class AutoLandLogin : public AutomaticLoginService
{
public:
    AutoLoginOutcome run() override
    {
        auto ended = std::make_shared<dispatch::Semaphore>(0);
        dispatch::asyncMain([ended] {
            const std::shared_ptr<AutoLandOperation> operation = AutoLandOperation::create();
            operation->setBUpdateOnlySuss(false);
            operation->setCompletionBlock([ended] { ended->signal(); });
            operation->start();
        });
        ended->wait();
        AutoLoginOutcome outcome;
        outcome.alreadyApplied = true;
        return outcome;
    }
};

class ConfigurationManager : public RemoteConfigurationService
{
public:
    void reloadADInfo() override { NSADInfoManager::getInstance().reloadADInfo(); }
};

// ---- the lists, the pane and the comment pages ----

class PaneLink : public ArticlePaneLink
{
public:
    void show(const FeedPtr& feed) override
    {
        withRightPane([feed](RightViewController& pane) { pane.show(feed); });
    }
    void emptyRecordNewsAndHot() override
    {
        withRightPane([](RightViewController& pane) { pane.recordNewsAndHot().clear(); });
    }
    void showDealByClick(const QString& productId, bool byClick) override
    {
        withRightPane([productId, byClick](RightViewController& pane) { pane.showDealByClick(productId, byClick); });
    }
    void followShownArticles(QObject* list, std::function<void(const QString& newsId)> shown) override
    {
        ::followShownArticles(list, std::move(shown));
    }
};

// A notification's article or deal opens in the detail pane, also one that launched the program
// before the pane exists.
class PanePushTargets : public PushTargets
{
public:
    QWidget* mainWindow() override { return ::mainWindow(); }
    void showNews(const FeedPtr& feed) override
    {
        withRightPane([feed](RightViewController& pane) { pane.show(feed); });
    }
    void showHotProduct(const QString& productId) override
    {
        // The deal view's show:ByClick: YES followed by showHotProductAndhideSelf.
        withRightPane([productId](RightViewController& pane) { pane.showDealPage(productId); });
    }
};

class DelegatePushNewsFlag : public PushNewsFlag
{
public:
    bool isPushNews() const override
    {
        const AppDelegate* delegate = AppDelegate::shared();
        return delegate != nullptr && delegate->isPushNews();
    }
    void setIsPushNews(bool value) override
    {
        if (AppDelegate* delegate = AppDelegate::shared())
            delegate->setIsPushNews(value);
    }
};

class DelegateForArticles : public ArticleAppDelegate
{
public:
    NSMyUserInfoPtr getCurrLandUser() override { return currentLandUser(); }
};

void runPageScript(QWebEngineView* view, const QString& script)
{
    if (view != nullptr && view->page() != nullptr)
        view->page()->runJavaScript(script);
}

class CommentPage : public ArticleCommentPage
{
public:
    explicit CommentPage(QWidget* parent) : m_view(new CommontView(parent)) {}
    QWidget* widget() override { return m_view; }
    void openNewsComment(const QString& newsId, const QString& title, const QString& link) override
    {
        if (m_view)
            m_view->openNewsComment(newsId, title, link);
    }
    void refreshComment(bool byUser) override
    {
        if (m_view)
            m_view->refreshComment(byUser);
    }
    void runScript(const QString& script) override { runPageScript(m_view, script); }

private:
    QPointer<CommontView> m_view;
};

// One login window for the article view and the write-comment window, made on first use and
// shown again each time: modal and in front, its fields filled from the stored account at every
// showing. loggedIn runs once a login from the window succeeds before it is closed.
void showLoginModally(QWidget* parent, std::function<void()> loggedIn = {})
{
    static QPointer<UserLandWD> login;
    // Those who opened the window and wait for its login.
    static std::vector<std::function<void()>> waiting;
    if (!login) {
        QWidget* owner = mainWindow() != nullptr ? mainWindow() : parent;
        login = new UserLandWD(owner);
        // Without a window to go with, it goes when it closes.
        if (owner == nullptr)
            login->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(login->login(), &UserLogin::finished, login, [](UserLogin::Outcome outcome) {
            if (outcome != UserLogin::Outcome::LoggedIn)
                return;
            for (const std::function<void()>& told : std::exchange(waiting, {}))
                told();
        });
        QObject::connect(login, &QDialog::rejected, login, [] { waiting.clear(); });
        QObject::connect(login, &QObject::destroyed, [] { waiting.clear(); });
    }
    if (loggedIn)
        waiting.push_back(std::move(loggedIn));
    login->setWindowModality(Qt::ApplicationModal);
    login->show();
    login->raise();
    login->activateWindow();
}

class PaneNeighbours : public ArticleNeighbours
{
public:
    std::unique_ptr<ArticleDealPage> makeDealPage(QWidget* parent) override { return makeProgramDealPage(parent); }
    std::unique_ptr<ArticleCommentPage> makeCommentPage(QWidget* parent) override
    {
        return std::make_unique<CommentPage>(parent);
    }
    void showLoginWindow(QWidget* window) override { showLoginModally(window); }
    void showWriteComment(const QString& newsId, const QString& parentCommentId, const QString& floorId,
                          const QString& currentCommentId, const QString& userName) override
    {
        if (!m_writeComment)
            m_writeComment = new WriteCommentWD(mainWindow());
        else
            m_writeComment->raise();
        m_writeComment->show(newsId, parentCommentId, floorId, currentCommentId, userName);
    }

private:
    QPointer<WriteCommentWD> m_writeComment;
};

class ProgramCommentsShell : public CommentsShell
{
public:
    QString city() override
    {
        const AppDelegate* delegate = AppDelegate::shared();
        return delegate != nullptr ? delegate->gCity() : QStringLiteral("");
    }
    void openLogin(std::function<void()> loggedIn) override { showLoginModally(mainWindow(), std::move(loggedIn)); }
    // The comment writer asks through this shell; the task itself is the article folder's.
    void postCommentAndReplyTask() override { GoldCoinTask::postCommentAndReplyTask(); }
    void replyRemindCleared() override { decideReminderDot(); }
};

class ArticleDealBlocks : public DealPageBlocks
{
public:
    QString GetNewsPageHaiZaiMaiBody(const QVariantList& items, const QString& newsId) override
    {
        return CommentHtmlManager::GetNewsPageHaiZaiMaiBody(items, newsId);
    }
};

// The settings pages reach the delegate's reminder polls and the left bar's reminder dot.
std::shared_ptr<SettingsContext> settingsContext(const std::shared_ptr<ReplyReminders>& reminders)
{
    auto context = std::make_shared<SettingsContext>();
    context->currentUser = &currentLandUser;
    context->downloadUserRemindCount = [reminders](const QString& userId) { reminders->downloadUserRemindCount(userId); };
    context->postShowDevice = [reminders] { reminders->postShowDevice(); };
    context->setReminderDotVisible = [](bool visible) {
        if (MainWindowController* window = mainWindow())
            window->MainVC()->leftViewController()->tixingImageView()->setVisible(visible);
    };
    return context;
}

// Made with the main window: its Preferences shortcut opens the settings window.
class ProgramMainWindowFactory : public MainWindowFactory
{
public:
    std::unique_ptr<MainWindowHost> makeMainWindowController() override
    {
        auto window = std::make_unique<MainWindowController>();
        SettingWindowController::installPreferencesShortcut(window.get());
        // Closing the main window ends the program, also while the search, login, profile or
        // comment window is open: those go with it. Queued, so the close that asked has ended.
        QObject::connect(window.get(), &MainWindowController::windowClosed, qApp, [] {
            if (!AppDelegate::applicationShouldTerminateAfterLastWindowClosed())
                return;
            QApplication::closeAllWindows();
            QCoreApplication::quit();
        }, Qt::QueuedConnection);
        return window;
    }
};

}  // namespace

void installProgramWiring(AppDelegate& delegate)
{
    // The toolkit's pieces that lower floors reach: the alert sheet behind CommonFunction::alert
    // and the desktop's colour scheme.
    AlertSheet::install();
    AppearanceSource::setCurrent(std::make_shared<PortalAppearanceSource>());
    WAYTheDarkSide::initialize();

    UrlOpener::install(std::make_shared<DesktopUrlOpener>());

    PaneFactory::install(std::make_shared<ProgramPanes>());
    // A password change goes with the delegate, before the program's network ends.
    AccountWindowFactory::install(std::make_shared<ProgramAccountWindows>(new ProfileWindows(&delegate)));
    // One set of reply polls for the logins and the settings pages; a reminder they mark or find
    // shows the dot.
    const auto reminders = std::make_shared<ReplyReminders>(&currentLandUser, &decideReminderDot);
    AccountShell::install(std::make_shared<DelegateAccountShell>(reminders));
    ArticlePaneLink::install(std::make_shared<PaneLink>());
    PushNewsFlag::install(std::make_shared<DelegatePushNewsFlag>());
    ArticleAppDelegate::install(std::make_shared<DelegateForArticles>());
    ArticleNeighbours::install(std::make_shared<PaneNeighbours>());
    CommentsShell::install(std::make_shared<ProgramCommentsShell>());
    DealPageBlocks::install(std::make_shared<ArticleDealBlocks>());
    SettingsContext::install(settingsContext(reminders));
    ListADGoldCoinTask::install(std::make_shared<GoldCoinAdClickTask>());
    installDealsWiring();

    delegate.setMainWindowFactory(std::make_shared<ProgramMainWindowFactory>());
    delegate.setURLCacheInstaller(std::make_shared<SharedURLCache>());
    delegate.setRemoteConfigurationService(std::make_shared<ConfigurationManager>());
    delegate.setAutomaticLoginService(std::make_shared<AutoLandLogin>());
    delegate.setLaunchReporter(std::make_shared<MobClickLaunchReporter>());
    delegate.setLocationLookup(std::make_shared<AppLocation>(nullptr, [](const QString& city) {
        if (AppDelegate* shared = AppDelegate::shared())
            shared->setGCity(city);
    }));

    // The push handler routes through the main window's pane and tells the delegate its token.
    auto push = std::make_shared<PushHandler>(std::make_shared<PanePushTargets>());
    push->setDeviceTokenObserver([](const QString& token) {
        if (AppDelegate* shared = AppDelegate::shared())
            shared->setSelfDeviceToken(token);
    });
    delegate.setPushPayloadRouter(push);
    delegate.setPushHandler(push);
}

namespace {

// Runs what is still queued for the main thread (and the deletions it leads to) while the
// application object still exists, so nothing is left for its teardown to destroy.
void drainMainQueue()
{
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace

int runProgram()
{
    int status = 0;
    {
        AppDelegate delegate;
        installProgramWiring(delegate);
        QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
        status = QApplication::exec();
        qInfo("tidwen: the event loop ended with %d", status);
        drainMainQueue();
    }
    drainMainQueue();
    return status;
}
