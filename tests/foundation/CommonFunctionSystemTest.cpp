#include "FakeDeviceFacts.h"
#include "ScopeGuard.h"
#include "TestEnvironment.h"

#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(CommonFunctionSystem, VersionReadsAsDecimalAndComparesInSinglePrecision)
{
    FakeDeviceFacts::Installed facts;
    const struct { const char* text; float version; bool later; } cases[] = {
        {"10.10.5", 10.1f, false}, {"10.11", 10.11f, true}, {"10.11.6", 10.11f, true},
        {"10.12", 10.12f, true},   {"11.2.1", 11.2f, true}, {"", 0.0f, false},
    };
    for (const auto& c : cases) {
        facts->productVersion = QString::fromLatin1(c.text);
        EXPECT_EQ(CommonFunction::getSystemVersion(), c.version) << c.text;
        EXPECT_EQ(CommonFunction::isEICapitanLater(), c.later) << c.text;
    }
}

TEST(CommonFunctionSystem, FontsFollowThinFlagOnlyFrom10_11)
{
    FakeDeviceFacts::Installed facts;
    const auto restore = restoreOnScopeExit(gbThinFont);
    const struct { const char* version; bool thin; QFont::Weight regular; QFont::Weight bold; } cases[] = {
        {"10.15", true, QFont::Light, QFont::Normal},
        {"10.15", false, QFont::Normal, QFont::Bold},
        {"10.10", true, QFont::Normal, QFont::Bold},
    };
    for (const auto& c : cases) {
        facts->productVersion = QString::fromLatin1(c.version);
        gbThinFont = c.thin;
        const QFont regular = CommonFunction::fontWithSize(13);
        const QFont bold = CommonFunction::boldFontWithSize(12.5f);
        EXPECT_EQ(regular.weight(), c.regular) << c.version << c.thin;
        EXPECT_EQ(bold.weight(), c.bold) << c.version << c.thin;
        EXPECT_EQ(regular.pixelSize(), 13);
        EXPECT_EQ(bold.pixelSize(), 13);
    }
    EXPECT_GT(CommonFunction::fontWithSize(0).pointSizeF(), 0.0);  // the standard size
}

namespace {

class RecordingAlertPresenter : public AlertPresenter
{
public:
    void presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                      QWidget* window) override
    {
        shown.append({messageText, informativeText, buttonTitle});
        windows.append(window);
    }

    QList<QStringList> shown;
    QList<QWidget*> windows;
};

}  // namespace

TEST(CommonFunctionSystem, AlertGoesToTheInstalledPresenterAndIsOnlyLoggedBefore)
{
    const auto restore = onScopeExit([previous = CommonFunction::setAlertPresenter(nullptr)] {
        CommonFunction::setAlertPresenter(previous);
    });
    {
        const MessageCapture log;
        CommonFunction::alert(QStringLiteral("确定"), QStringLiteral("网络不给力啊"), nullptr);
        EXPECT_TRUE(log.contains(QStringLiteral("网络不给力啊")));
    }

    auto presenter = std::make_shared<RecordingAlertPresenter>();
    EXPECT_EQ(CommonFunction::setAlertPresenter(presenter), nullptr);
    auto* window = reinterpret_cast<QWidget*>(quintptr(0x1000));  // handed on, never used here
    CommonFunction::alert(QStringLiteral("确定"), QStringLiteral("网络不给力啊"), window);
    CommonFunction::alert(QStringLiteral("好"), QString(), nullptr);
    ASSERT_EQ(presenter->shown.size(), 2);
    EXPECT_EQ(presenter->shown[0], QStringList({"提示", "网络不给力啊", "确定"}));
    EXPECT_EQ(presenter->windows[0], window);
    EXPECT_EQ(presenter->shown[1], QStringList({"提示", "", "好"}));
    EXPECT_EQ(presenter->windows[1], nullptr);
    EXPECT_EQ(CommonFunction::setAlertPresenter(nullptr), presenter);
}

TEST(CommonFunctionSystem, BackupExclusionSucceedsExactlyForExistingPaths)
{
    const QString folder = TestEnvironment::rootPath() + QStringLiteral("/backup");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/tidwenMAC.db"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_TRUE(CommonFunction::addSkipBackupAttributeToItemAtURL(QUrl::fromLocalFile(file.fileName())));
    EXPECT_TRUE(CommonFunction::addSkipBackupAttributeToItemAtURL(QUrl::fromLocalFile(folder)));
    EXPECT_FALSE(CommonFunction::addSkipBackupAttributeToItemAtURL(QUrl::fromLocalFile(folder + QStringLiteral("/none"))));
    EXPECT_FALSE(CommonFunction::addSkipBackupAttributeToItemAtURL(QUrl(QStringLiteral("https://www.tidwen.example/a"))));
}
