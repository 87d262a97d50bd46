#include "TestEnvironment.h"

#include "article/views/popovers/AdjustFontViewController.h"
#include "database/SettingsDatabaseOperate.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/UILabel.h"

#include <QImage>
#include <QObject>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

void storeSetting(const QString& text)
{
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    ASSERT_TRUE(settings->setContentFontSize(text));
}

QString storedSetting()
{
    SettingsDatabaseOperate::Lease settings;
    return settings ? settings->contentFontSize() : QStringLiteral("<store busy>");
}

// Records what the pane is told, what the popover's field showed at that moment, and whether
// the pane could take the settings store itself (it stores through it when told to).
class RecordingTarget : public AdjustFontTarget
{
public:
    struct Call
    {
        int size = 0;
        bool store = false;
        QString fieldAtCall;
        bool settingsFree = false;
    };
    std::vector<Call> calls;
    AdjustFontViewController* popover = nullptr;

    void setFontSizeEndChange(int size, bool store) override
    {
        SettingsDatabaseOperate::Lease settings;
        calls.push_back({size, store, popover ? popover->fontSize()->text() : QString(), static_cast<bool>(settings)});
    }
};

// Puts the stored size back after each test, so the article page tests that run in the same
// program see the size they expect.
class AdjustFontTest : public ::testing::Test
{
protected:
    const QString saved = storedSetting();
    ~AdjustFontTest() override { storeSetting(saved); }
};

class ObjectTarget : public QObject, public AdjustFontTarget
{
public:
    int told = 0;
    void setFontSizeEndChange(int, bool) override { ++told; }
};

TEST_F(AdjustFontTest, ShowsTheStoredSizeWhenItOpens)
{
    storeSetting(QStringLiteral("22"));
    RecordingTarget target;
    AdjustFontViewController popover(&target);
    EXPECT_EQ(popover.fontSize()->text(), QStringLiteral("22"));
    EXPECT_TRUE(target.calls.empty());
}

struct StepCase
{
    const char* stored;
    bool larger;
    int expected;
};

class AdjustFontStep : public AdjustFontTest, public ::testing::WithParamInterface<StepCase>
{};

TEST_P(AdjustFontStep, ShowsTellsThePaneAndStores)
{
    const StepCase& c = GetParam();
    storeSetting(QString::fromUtf8(c.stored));
    RecordingTarget target;
    AdjustFontViewController popover(&target);
    target.popover = &popover;

    (c.larger ? popover.addButton() : popover.subtractButton())->click();

    const QString expected = QString::number(c.expected);
    EXPECT_EQ(popover.fontSize()->text(), expected);
    EXPECT_EQ(storedSetting(), expected);
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0].size, c.expected);
    EXPECT_TRUE(target.calls[0].store);
    // The pane stores through the same store: the popover must not hold it while telling.
    EXPECT_TRUE(target.calls[0].settingsFree);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, AdjustFontStep,
    ::testing::Values(StepCase{"18", true, 19}, StepCase{"18", false, 17}, StepCase{"30", true, 30},
                      StepCase{"29", true, 30}, StepCase{"14", false, 14}, StepCase{"15", false, 14},
                      // Out of range: only the bound of the button pressed applies.
                      StepCase{"40", true, 30}, StepCase{"40", false, 39}, StepCase{"10", true, 11},
                      StepCase{"10", false, 14},
                      // Stored text that is no number counts as the default size.
                      StepCase{"abc", true, 19}, StepCase{"", false, 17},
                      // Extreme numbers step without overflow.
                      StepCase{"2147483647", true, 30}, StepCase{"-2147483648", false, 14}));

TEST_F(AdjustFontTest, StepsFromTheStoredSizeInEachButtonsOrder)
{
    storeSetting(QStringLiteral("18"));
    RecordingTarget target;
    AdjustFontViewController popover(&target);
    target.popover = &popover;

    popover.addButton()->click();
    popover.subtractButton()->click();

    // Someone else changed the size meanwhile (the settings window): the next click steps from it.
    storeSetting(QStringLiteral("25"));
    popover.addButton()->click();

    ASSERT_EQ(target.calls.size(), 3u);
    EXPECT_EQ(target.calls[0].fieldAtCall, QStringLiteral("18"));  // pane told first
    EXPECT_EQ(target.calls[1].fieldAtCall, QStringLiteral("18"));  // field first, then the pane
    EXPECT_EQ(target.calls[1].size, 18);
    EXPECT_EQ(target.calls[2].size, 26);
}

TEST_F(AdjustFontTest, ADeletedPaneIsNotTold)
{
    storeSetting(QStringLiteral("18"));
    auto target = std::make_unique<ObjectTarget>();
    AdjustFontViewController popover(target.get());
    popover.addButton()->click();
    EXPECT_EQ(target->told, 1);
    target.reset();
    popover.addButton()->click();  // ASan reports a call into the deleted pane
    EXPECT_EQ(popover.fontSize()->text(), QStringLiteral("20"));
    EXPECT_EQ(storedSetting(), QStringLiteral("20"));
}

TEST_F(AdjustFontTest, DrawsTheSizeBetweenTheButtons)
{
    storeSetting(QStringLiteral("18"));
    RecordingTarget target;
    AdjustFontViewController popover(&target);
    popover.show();
    ASSERT_TRUE(waitUntil([&] { return popover.fontSize()->x() > 0; }));
    const QRect field = popover.fontSize()->geometry();
    EXPECT_GT(field.left(), popover.subtractButton()->geometry().right());
    EXPECT_LT(field.right(), popover.addButton()->geometry().left());
    EXPECT_TRUE(popover.rect().contains(popover.addButton()->geometry()));

    // The digits are drawn: the field holds pixels darker than the popover's background.
    const QImage image = popover.grab().toImage();
    int dark = 0;
    for (int y = field.top(); y <= field.bottom(); ++y)
        for (int x = field.left(); x <= field.right(); ++x)
            if (qGray(image.pixel(x * image.width() / popover.width(), y * image.height() / popover.height())) < 100)
                ++dark;
    EXPECT_GT(dark, 5);
}

}  // namespace
