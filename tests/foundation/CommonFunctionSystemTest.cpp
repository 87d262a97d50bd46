#include "FakeDeviceFacts.h"
#include "TestEnvironment.h"

#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

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
    const bool saved = gbThinFont.load();
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
        EXPECT_DOUBLE_EQ(regular.pointSizeF(), 13.0);
        EXPECT_DOUBLE_EQ(bold.pointSizeF(), 12.5);
    }
    gbThinFont = saved;
    EXPECT_GT(CommonFunction::fontWithSize(0).pointSizeF(), 0.0);  // the standard size
}

TEST(CommonFunctionSystem, AlertIsAWindowModalSheetThatReturnsAtOnce)
{
    QWidget window;
    window.show();
    CommonFunction::alert(QStringLiteral("确定"), QStringLiteral("网络不给力啊"), &window);

    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->text(), QStringLiteral("提示"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("网络不给力啊"));
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().first()->text(), QStringLiteral("确定"));

    box->buttons().first()->click();
    EXPECT_TRUE(waitUntil([&] { return window.findChild<QMessageBox*>() == nullptr; }));
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
