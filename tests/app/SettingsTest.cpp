#include "PushTestSupport.h"
#include "ScreenshotCompare.h"

#include "app/settings/SettingsModel.h"
#include "app/views/SettingsPopover.h"
#include "app/views/settings/SettingPages.h"
#include "app/views/settings/SettingWindowController.h"
#include "deals/HotProductListModel.h"
#include "deals/views/HotProductScrollView.h"
#include "database/CacheLayout.h"
#include "database/SettingsDatabaseOperate.h"
#include "database/StoreConnection.h"
#include "foundation/GlobalValues.h"
#include "images/SDImageCache.h"
#include "platform/NotificationCenter.h"
#include "platform/StorageRoot.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QShortcut>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <QPointer>
#include <QPushButton>
#include <QToolBar>
#include <QWindow>

#include <sqlite3.h>

namespace {

void writeFile(const QString& path, qint64 bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
}

// Rows of a table, read over a connection of the test's own; -1 when the table is missing.
int rowCount(const char* table)
{
    const QByteArray path = QDir(StorageRoot::documentsPath()).filePath(QLatin1String(kDatabaseFileName)).toUtf8();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = QByteArray("SELECT COUNT(*) FROM ") + table;
    int count = -1;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

bool folderEmpty(const QString& path)
{
    const QDir dir(path);
    return dir.exists() && dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

// A context whose calls the test sees.
struct RecordingContext
{
    std::shared_ptr<SettingsContext> context = std::make_shared<SettingsContext>();
    NSMyUserInfoPtr user;
    QStringList polls;
    int tailPosts = 0;
    QList<bool> dot;

    RecordingContext()
    {
        context->currentUser = [this] { return user; };
        context->downloadUserRemindCount = [this](const QString& id) { polls.append(id); };
        context->postShowDevice = [this] { ++tailPosts; };
        context->setReminderDotVisible = [this](bool shown) { dot.append(shown); };
    }
};

std::shared_ptr<CacheCleaner> quietCleaner(QStringList* calls = nullptr)
{
    return std::make_shared<CacheCleaner>(CacheCleaner::Owners{
        [calls] {
            if (calls)
                calls->append(QStringLiteral("ads"));
        },
        [calls] {
            if (calls)
                calls->append(QStringLiteral("images"));
        }});
}

}  // namespace

TEST(SettingsCacheSize, Formats)
{
    struct Case
    {
        int64_t bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, "0 Byte"},           {1023, "1023 Byte"},       {1024, "1.00 KB"},
        {1536, "1.50 KB"},       {1048575, "1024.00 KB"},   {1048576, "1.00 MB"},
        {1073741823, "1024.00 MB"}, {1073741824, "1.00 GB"}, {5368709120LL, "5.00 GB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CacheCleaner::formatCacheSize(c.bytes), QLatin1String(c.text)) << c.bytes;
}

TEST(SettingsCacheSize, CountsTheFilesBelowTheCacheRoot)
{
    QDir(CacheLayout::cacheRoot()).removeRecursively();
    CacheCleaner cleaner = *quietCleaner();
    EXPECT_EQ(cleaner.countCacheSize(), QStringLiteral("0 Byte")) << "a missing root";
    QDir().mkpath(CacheLayout::cacheRoot());
    EXPECT_EQ(cleaner.countCacheSize(), QStringLiteral("0 Byte")) << "an empty root";
    writeFile(QDir(CacheLayout::cacheRoot()).filePath(QStringLiteral("one")), 1023);
    EXPECT_EQ(cleaner.countCacheSize(), QStringLiteral("1023 Byte"));
    EXPECT_EQ(cleaner.getCacheFilePath(), QStringList{QDir(CacheLayout::cacheRoot()).filePath(QStringLiteral("one"))});
    writeFile(QDir(CacheLayout::cacheRoot()).filePath(QStringLiteral("two")), 1);
    EXPECT_EQ(cleaner.countCacheSize(), QStringLiteral("1.00 KB"));
    QDir(CacheLayout::cacheRoot()).removeRecursively();
}

TEST(SettingsCacheClearing, EmptiesTheFiveFoldersAndNineTablesInOrderAndLeavesTheRest)
{
    const QString root = CacheLayout::cacheRoot();
    for (const QString& folder : CacheLayout::clearedFolders()) {
        writeFile(QDir(folder).filePath(QStringLiteral("a.xml")), 100);
        writeFile(QDir(folder).filePath(QStringLiteral("sub/b.xml")), 100);
    }
    const QString adImage = QDir(CacheLayout::folderPath(CacheLayout::kAdImageFolder)).filePath(QStringLiteral("ad.png"));
    const QString other = QDir(root).filePath(QStringLiteral("lastUserInfo/info.xml"));
    writeFile(adImage, 10);
    writeFile(other, 10);

    const char* const cleared[] = {"NewsState", "ForumState", "ZefupState", "HotCommentState", "NewsADState",
                                   "NewsADDeleteState", "SingleNewsLastUpdateTime", "SingleForumLastUpdateTime",
                                   "UserReadNews"};
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        store->setNewsState(QStringLiteral("1001"), true, QStringLiteral("t"));
        store->setForumState(5, true, 1.0);
        store->setZefupState(QStringLiteral("77"), true);
        store->setHotCommentState(QStringLiteral("9"), true);
        store->setListADState(QStringLiteral("http://ad.example/1"), true);
        store->setListADDeleteState(QStringLiteral("http://ad.example/2"), true);
        store->setNewsLastUpdateTime(QStringLiteral("Mon"), 1, QStringLiteral("1001"));
        store->setForumLastUpdateTime(QStringLiteral("Mon"), QStringLiteral("5"));
        store->addReadedNews(QStringLiteral("1001"), 5, QDateTime::currentDateTime(), true);
        store->CommentManageMaxId_setMaxId(3, QStringLiteral("kept"));
        store->NewsScore_setScore(QStringLiteral("1001"), QStringLiteral("5"), QStringLiteral("4"));
    }
    for (const char* table : cleared) {
        if (QLatin1String(table) != QLatin1String("NewsADState"))  // only own ads of list type 1 are marked
            EXPECT_GT(rowCount(table), 0) << table;
    }
    const int keptComments = rowCount("CommentManageMaxId");
    const int keptScores = rowCount("NewsScore");
    ASSERT_GT(keptComments, 0);
    ASSERT_GT(keptScores, 0);

    // What each outside owner finds when it is called shows the order.
    QStringList calls;
    CacheCleaner cleaner(CacheCleaner::Owners{
        [&] {
            calls.append(QStringLiteral("ads"));
            EXPECT_TRUE(folderEmpty(CacheLayout::folderPath(CacheLayout::kSlideFolder)));
            EXPECT_FALSE(folderEmpty(CacheLayout::folderPath(CacheLayout::kCommentManageFolder)));
        },
        [&] {
            calls.append(QStringLiteral("images"));
            EXPECT_TRUE(folderEmpty(CacheLayout::folderPath(CacheLayout::kCommentManageFolder)));
            EXPECT_FALSE(folderEmpty(CacheLayout::folderPath(CacheLayout::kSingleNewsFolder)));
        }});
    EXPECT_EQ(cleaner.cleanCaches(), QStringLiteral("0.0B"));

    EXPECT_EQ(calls, (QStringList{QStringLiteral("ads"), QStringLiteral("images")}));
    for (const QString& folder : CacheLayout::clearedFolders())
        EXPECT_TRUE(folderEmpty(folder)) << folder.toStdString();
    EXPECT_TRUE(QFile::exists(adImage)) << "ad images are their owner's to clear";
    EXPECT_TRUE(QFile::exists(other));
    for (const char* table : cleared)
        EXPECT_EQ(rowCount(table), 0) << table;
    EXPECT_EQ(rowCount("CommentManageMaxId"), keptComments);
    EXPECT_EQ(rowCount("NewsScore"), keptScores);
    QDir(root).removeRecursively();
}

class SettingsPageTest : public ::testing::Test
{
protected:
    RecordingContext recording;
    std::shared_ptr<SettingsModel> model = std::make_shared<SettingsModel>(recording.context, quietCleaner());
    const decltype(restoreOnScopeExit(gbDouZaiMai)) r1 = restoreOnScopeExit(gbDouZaiMai);
    const decltype(restoreOnScopeExit(gbReplyRemind)) r2 = restoreOnScopeExit(gbReplyRemind);
    const decltype(restoreOnScopeExit(gbUpdateNewsCountTiShi)) r3 = restoreOnScopeExit(gbUpdateNewsCountTiShi);
    const decltype(restoreOnScopeExit(gbThinFont)) r4 = restoreOnScopeExit(gbThinFont);
    const QString savedVersion = gCoinShopVersion.get();
    const decltype(onScopeExit(std::function<void()>())) r5 =
        onScopeExit(std::function<void()>([this] { gCoinShopVersion.set(savedVersion); }));
};

TEST_F(SettingsPageTest, DeviceTailBoxDoesNothingLoggedOut)
{
    CommmonSettingViewController page(model);
    page.showTail()->click();
    EXPECT_EQ(recording.tailPosts, 0);

    recording.user = std::make_shared<NSMyUserInfo>();
    recording.user->iNoShowDevice = 0;
    CommmonSettingViewController loggedIn(model);
    EXPECT_TRUE(loggedIn.showTail()->isChecked());
    loggedIn.showTail()->click();
    EXPECT_EQ(recording.user->iNoShowDevice, 1);
    EXPECT_EQ(recording.tailPosts, 1);
    loggedIn.showTail()->click();
    EXPECT_EQ(recording.user->iNoShowDevice, 0);
    EXPECT_EQ(recording.tailPosts, 2);
}

TEST_F(SettingsPageTest, CoinShopVersionIsStoredOnFirstUseAndANewerOneShowsTheDotUntilTheShopOpens)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.removeObjectForKey(QStringLiteral("coinShopVersion"));
    gbReplyRemind = false;
    gCoinShopVersion.set(QStringLiteral("1"));

    EXPECT_FALSE(model->updateTiXingStatus());
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("coinShopVersion")), QStringLiteral("1"));
    EXPECT_EQ(recording.dot, QList<bool>{false});

    gCoinShopVersion.set(QStringLiteral("2"));
    EXPECT_TRUE(model->updateTiXingStatus());
    EXPECT_EQ(recording.dot.last(), true);

    SettingWindowController window(model);
    window.GoldCoinItemClick();
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("coinShopVersion")), QStringLiteral("2"));
    EXPECT_EQ(recording.dot.last(), false);
    EXPECT_FALSE(model->updateTiXingStatus());
}

TEST_F(SettingsPageTest, PendingReplyShowsTheDotForTheLoggedInUserWithRemindersOn)
{
    recording.user = std::make_shared<NSMyUserInfo>();
    recording.user->userID = 6601;
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        store->ForumManageMaxId_setRemind(true, QStringLiteral("6601"));
    }
    gCoinShopVersion.set(QStringLiteral("1"));
    UserDefaults::standardUserDefaults().setString(QStringLiteral("1"), QStringLiteral("coinShopVersion"));
    gbReplyRemind = true;
    EXPECT_TRUE(model->updateTiXingStatus());
    gbReplyRemind = false;
    EXPECT_FALSE(model->updateTiXingStatus());

    // The general page polls the comment replies instead, when it can.
    gbReplyRemind = true;
    CommmonSettingViewController page(model);
    EXPECT_EQ(recording.polls, QStringList{QStringLiteral("6601")});
}

TEST_F(SettingsPageTest, ThinFontBoxPostsFontChangedAndStoresTheSetting)
{
    int posted = 0;
    const NotificationCenter::Token token = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("fontChanged"), nullptr, [&posted](const Notification&) { ++posted; });
    const auto removeObserver = onScopeExit([token] { NotificationCenter::defaultCenter().removeObserver(token); });
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        settings->setXiti(0);
    }
    gbThinFont = false;
    SettingViewController popover(model);
    ASSERT_TRUE(popover.changeFont()->isEnabled());
    EXPECT_FALSE(popover.changeFont()->isChecked());
    popover.changeFont()->click();
    EXPECT_EQ(posted, 1);
    EXPECT_TRUE(gbThinFont.load());
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->getXiti());
}

TEST_F(SettingsPageTest, SwitchesFollowTheBoxEvenWhenTheRunningSwitchChangedMeanwhile)
{
    gbDouZaiMai = true;
    gbReplyRemind = true;
    gbUpdateNewsCountTiShi = true;
    CommmonSettingViewController page(model);
    ASSERT_TRUE(page.showDouZaiMai()->isChecked());
    ASSERT_TRUE(page.CommontReport()->isChecked());
    ASSERT_TRUE(page.updateCountTip()->isChecked());
    // Something else turned the switches off while the page was open.
    gbDouZaiMai = false;
    gbReplyRemind = false;
    gbUpdateNewsCountTiShi = false;

    page.showDouZaiMai()->click();
    page.CommontReport()->click();
    page.updateCountTip()->click();
    EXPECT_FALSE(page.showDouZaiMai()->isChecked());
    EXPECT_FALSE(gbDouZaiMai.load());
    EXPECT_FALSE(gbReplyRemind.load());
    EXPECT_FALSE(gbUpdateNewsCountTiShi.load());
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    EXPECT_FALSE(settings->getDouZaiMai());
    EXPECT_FALSE(settings->isReplyRemind());
    EXPECT_FALSE(settings->getUpdateNewsCountTiShi());
    settings->setDouZaiMai(1);
    settings->setReplyRemind(true);
    settings->setUpdateNewsCountTiShi(true);
}

TEST_F(SettingsPageTest, PopoverShowsSizeAndVersionAndClears)
{
    const QString savedAppVersion = QCoreApplication::applicationVersion();
    const auto restoreVersion = onScopeExit([&] { QCoreApplication::setApplicationVersion(savedAppVersion); });
    QCoreApplication::setApplicationVersion(QStringLiteral("3.4.5"));
    QDir(CacheLayout::cacheRoot()).removeRecursively();
    writeFile(QDir(CacheLayout::folderPath(CacheLayout::kNewsListFolder)).filePath(QStringLiteral("x")), 2048);
    SettingViewController popover(model);
    EXPECT_TRUE(popover.memory()->text().endsWith(QStringLiteral(" KB"))) << popover.memory()->text().toStdString();
    EXPECT_EQ(popover.version()->text(), QStringLiteral("3.4.5"));
    popover.clearMemory()->click();
    EXPECT_EQ(popover.memory()->text(), QStringLiteral("0.0B"));
    EXPECT_FALSE(QFile::exists(QDir(CacheLayout::folderPath(CacheLayout::kNewsListFolder)).filePath(QStringLiteral("x"))));
    QDir(CacheLayout::cacheRoot()).removeRecursively();
}

TEST_F(SettingsPageTest, PagesFitTheWindowAndTheTopLeftCornerStays)
{
    SettingWindowController window(model);
    ASSERT_EQ(window.Controllers().size(), 3);
    EXPECT_EQ(window.currentVC(), window.CommonSetting());
    window.move(120, 80);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
    const QPoint corner = window.frameGeometry().topLeft();

    struct Case
    {
        int action;
        QWidget* page;
        QSize size;
    };
    const std::vector<Case> cases = {
        {1, window.goldCoinShop(), {600, 475}},
        {2, window.goldCoinTask(), {480, 375}},
        {0, window.CommonSetting(), {CommmonSettingViewController::kWidth, CommmonSettingViewController::kHeight + 75}},
    };
    const QList<QAction*> actions = window.ToolBar()->actions();
    ASSERT_EQ(actions.size(), 6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        actions.at(c.action)->trigger();
        EXPECT_EQ(window.currentVC(), c.page);
        EXPECT_TRUE(c.page->isVisible());
        for (QWidget* other : window.Controllers()) {
            if (other != c.page)
                EXPECT_FALSE(other->isVisible());
        }
        EXPECT_EQ(window.targetFrame(), QRect(corner, c.size));
        EXPECT_TRUE(waitUntil([&] { return window.frameGeometry() == QRect(corner, c.size); }))
            << window.frameGeometry().x() << "," << window.frameGeometry().y() << " "
            << window.frameGeometry().width() << "x" << window.frameGeometry().height();
    }
    // The three other toolbar items change nothing.
    for (int i = 3; i < 6; ++i)
        actions.at(i)->trigger();
    EXPECT_EQ(window.currentVC(), window.CommonSetting());
}

// The window system places a window by its frame: the first opening puts the whole frame, title
// bar and all, on the screen's available area, in its middle; Ctrl+W closes the window as it
// closes the others, and so does Escape. The control holding the keys at the opening is marked.
TEST_F(SettingsPageTest, FirstOpeningPutsTheWholeFrameOnTheScreenAndCtrlWClosesIt)
{
    SettingWindowController window(model);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect available = window.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(window.frameGeometry()))
        << window.frameGeometry().x() << "," << window.frameGeometry().y() << " in " << available.x() << ","
        << available.y() << " " << available.width() << "x" << available.height();
    const QPoint offCentre = window.frameGeometry().center() - available.center();
    EXPECT_LE(offCentre.manhattanLength(), 4) << offCentre.x() << "," << offCentre.y();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QWidget* keys = window.focusWidget();
    ASSERT_TRUE(keys);
    const QImage marked = keys->grab().toImage();
    keys->clearFocus();
    EXPECT_NE(keys->grab().toImage(), marked) << "the keys stand on a control without a mark";
    QTest::keyClick(window.windowHandle(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(waitUntil([&] { return !window.isVisible(); })) << "Ctrl+W left the window open";
    // Opened again, the keys are in the page's first field, not where they were left.
    window.CommonSetting()->updateCountTip()->setFocus();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCheckBox* first = window.CommonSetting()->changeFont();
    EXPECT_EQ(window.focusWidget(), first->isEnabled() ? first : static_cast<QWidget*>(window.CommonSetting()->clearMemory()));
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !window.isVisible(); })) << "Escape left the window open";
}

// A right click on the toolbar shows no menu (the platform's offered one item that hid the
// toolbar for good), and the toolbar stays.
TEST_F(SettingsPageTest, TheToolbarOffersNoMenuAndStays)
{
    SettingWindowController window(model);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint at(5, window.ToolBar()->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, window.ToolBar()->mapToGlobal(at));
    QApplication::sendEvent(window.ToolBar(), &event);
    QWidget* menu = QApplication::activePopupWidget();
    EXPECT_EQ(menu, nullptr) << "a menu came up on the toolbar";
    if (menu)
        menu->close();
    EXPECT_TRUE(window.ToolBar()->isVisible());
}

TEST(SettingsCacheClearing, EmptiesThePictureMemoryOfTheImageCache)
{
    const std::shared_ptr<SDImageCache>& images = SDImageCache::sharedImageCache();
    QImage picture(4, 4, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    images->storeImage(picture, QStringLiteral("http://img.tidwen.example/settings-test.png"), false);
    ASSERT_FALSE(images->imageFromMemoryCacheForKey(QStringLiteral("http://img.tidwen.example/settings-test.png")).isNull());
    // The program's own owners: the configuration manager's ad images and the picture memory.
    CacheCleaner cleaner;
    EXPECT_EQ(cleaner.cleanCaches(), QStringLiteral("0.0B"));
    EXPECT_TRUE(images->imageFromMemoryCacheForKey(QStringLiteral("http://img.tidwen.example/settings-test.png")).isNull());
    for (const QString& folder : CacheLayout::clearedFolders())
        EXPECT_TRUE(folderEmpty(folder)) << folder.toStdString();
    QDir(CacheLayout::cacheRoot()).removeRecursively();
}

TEST(SettingsWindow, PreferencesShortcutOpensOneSettingsWindow)
{
    auto main = std::make_unique<QWidget>();
    main->resize(400, 300);
    SettingWindowController::installPreferencesShortcut(main.get());
    main->show();
    main->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return main->isVisible(); }));
    auto settingsWindows = [] {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<SettingWindowController*>(w) != nullptr && w->isVisible())
                ++count;
        }
        return count;
    };
    ASSERT_EQ(settingsWindows(), 0);
    auto* shortcut = main->findChild<QShortcut*>(QStringLiteral("preferencesShortcut"));
    ASSERT_NE(shortcut, nullptr);
    EXPECT_EQ(shortcut->key(), QKeySequence(QStringLiteral("Ctrl+,")));
    emit shortcut->activated();
    EXPECT_EQ(settingsWindows(), 1);
    emit shortcut->activated();
    EXPECT_EQ(settingsWindows(), 1) << "the same window comes to the front";
    main.reset();
    EXPECT_TRUE(waitUntil([&] { return settingsWindows() == 0; })) << "waited for the settings window to go";
    EXPECT_EQ(settingsWindows(), 0) << "it goes with the main window";
}

// The page draws its controls: the clear button's title and a checked box differ from the page's
// own background.
TEST_F(SettingsPageTest, GeneralPageDrawsItsControls)
{
    gbDouZaiMai = true;
    CommmonSettingViewController page(model);
    const QImage image = page.grab().toImage();
    ASSERT_EQ(image.size(), QSize(CommmonSettingViewController::kWidth, CommmonSettingViewController::kHeight));
    const QColor background = image.pixelColor(CommmonSettingViewController::kWidth - 5, CommmonSettingViewController::kHeight - 5);
    auto differingPixels = [&](const QRect& area) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += image.pixelColor(x, y) != background ? 1 : 0;
        return count;
    };
    EXPECT_GT(differingPixels(page.clearMemory()->geometry()), 50);
    EXPECT_GT(differingPixels(page.showDouZaiMai()->geometry()), 50);
    EXPECT_EQ(differingPixels(QRect(360, 260, 100, 30)), 0) << "nothing stands in the empty corner";
}

// On a dark desktop the popover keeps its white and its texts stay dark on it: each label and
// each box's title shows ink that reads on the background.
TEST_F(SettingsPageTest, ThePopoverReadsOnADarkDesktop)
{
    const DarkDesktopPalette dark;
    const QString savedAppVersion = QCoreApplication::applicationVersion();
    const auto restoreVersion = onScopeExit([&] { QCoreApplication::setApplicationVersion(savedAppVersion); });
    QCoreApplication::setApplicationVersion(QStringLiteral("3.4.5"));
    SettingsPopover popover(nullptr);
    auto* page = new SettingViewController(model);
    popover.setContent(page);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    popover.adjustSize();
    const QImage image = popover.grab().toImage();
    const QColor background = image.pixelColor(image.width() - 4, image.height() - 4);
    ASSERT_GT(background.lightness(), 200) << "the popover keeps its white";
    for (QLabel* label : page->findChildren<QLabel*>()) {
        SCOPED_TRACE(label->text().toStdString());
        ASSERT_FALSE(label->text().isEmpty());
        EXPECT_GT(contrastingPixels(image, QRect(label->mapTo(&popover, QPoint(0, 0)), label->size()), background), 20);
    }
    for (QCheckBox* box : {page->changeFont(), page->showDouZaiMai()}) {
        SCOPED_TRACE(box->text().toStdString());
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect title = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        EXPECT_GT(contrastingPixels(image, title.translated(box->mapTo(&popover, QPoint(0, 0))), background), 20);
    }
}

// A click outside the open popover closes it and also reaches what it was aimed at: the window
// system sends the press to the popover, the release to the window under the pointer.
TEST_F(SettingsPageTest, TheClickThatClosesThePopoverReachesItsTarget)
{
    QWidget main;
    main.resize(400, 300);
    auto* anchor = new QPushButton(QStringLiteral("设置"), &main);
    anchor->setGeometry(0, 250, 40, 40);
    auto* row = new QPushButton(QStringLiteral("row"), &main);
    row->setGeometry(300, 20, 90, 30);
    int clicks = 0;
    QObject::connect(row, &QPushButton::clicked, [&clicks] { ++clicks; });
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    SettingsPopover popover(&main);
    popover.popUpBeside(anchor);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popover));
    const QPoint global = row->mapToGlobal(row->rect().center());
    ASSERT_FALSE(popover.frameGeometry().contains(global));
    QTest::mousePress(popover.windowHandle(), Qt::LeftButton, {}, popover.windowHandle()->mapFromGlobal(global));
    QTest::mouseRelease(main.windowHandle(), Qt::LeftButton, {}, main.windowHandle()->mapFromGlobal(global));
    EXPECT_FALSE(popover.isVisible());
    EXPECT_EQ(clicks, 1) << "the closing click was swallowed";

    // A click on the button that opened it only closes it: the button would open it again.
    int opened = 0;
    QObject::connect(anchor, &QPushButton::clicked, [&] {
        ++opened;
        popover.popUpBeside(anchor);
    });
    popover.popUpBeside(anchor);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popover));
    const QPoint onAnchor = anchor->mapToGlobal(anchor->rect().center());
    QTest::mousePress(popover.windowHandle(), Qt::LeftButton, {}, popover.windowHandle()->mapFromGlobal(onAnchor));
    QTest::mouseRelease(main.windowHandle(), Qt::LeftButton, {}, main.windowHandle()->mapFromGlobal(onAnchor));
    EXPECT_EQ(opened, 0);
    EXPECT_FALSE(popover.isVisible());
}

// A quick click outside the popover opens the deals row it was aimed at (a row opens on the
// release), also when its release reaches the window system only after the press closed the
// popover.
TEST_F(SettingsPageTest, AQuickClickThroughThePopoverOpensADealsRow)
{
    ShellServer shell;
    shell.pointUrls({{36, QStringLiteral("/api/apps/indexlistsegbyid")}, {37, QStringLiteral("/api/apps/focus")}});
    shell.server.route("GET", QStringLiteral("/api/apps/indexlistsegbyid"),
                       LoopbackReply::text(200, R"({"success":1,"content":[{"productid":51001,"ProductName":"甲"}]})",
                                           "application/json"));
    QWidget main;
    main.resize(400, 300);
    auto* anchor = new QPushButton(QStringLiteral("设置"), &main);
    anchor->setGeometry(0, 250, 40, 40);
    auto* deals = new HotProductScrollView(&main);
    deals->setGeometry(100, 0, 300, 300);
    deals->showLastSelectedIndex();
    ASSERT_TRUE(waitUntil([&] { return deals->model()->deals().size() == 1; }));
    QSignalSpy chosen(deals, &HotProductScrollView::dealChosen);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    SettingsPopover popover(&main);
    popover.popUpBeside(anchor);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popover));
    QListView* list = deals->listView();
    const QModelIndex row = deals->model()->index(deals->model()->rowOfDeal(0));
    const QPoint global = list->viewport()->mapToGlobal(list->visualRect(row).center());
    ASSERT_FALSE(popover.frameGeometry().contains(global));
    const QPointer<QWindow> pressed = popover.windowHandle();
    QTest::mousePress(pressed, Qt::LeftButton, {}, pressed->mapFromGlobal(global));
    EXPECT_FALSE(popover.isVisible());
    // The window system reads the release of a quick click after the press has closed the
    // popover, and hands it to the popover's native window; it drops it when that window is gone.
    ASSERT_TRUE(pressed && pressed->handle() != nullptr) << "the release would be lost";
    QTest::mouseRelease(pressed, Qt::LeftButton, {}, pressed->mapFromGlobal(global));
    ASSERT_EQ(chosen.size(), 1) << "the quick click opened no deal";
    EXPECT_EQ(chosen.first().first().toString(), QStringLiteral("51001"));
}
