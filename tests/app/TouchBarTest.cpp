// The main window's Touch Bar: built when the window is shown, its items as the platform would
// show them, and what each button and the font slider call.

#include "AppTestSupport.h"

#include "TestEnvironment.h"
#include "app/views/MainViewController.h"
#include "platform/NotificationCenter.h"

namespace {

class RecordingTargets : public MainTouchBarTargets
{
public:
    explicit RecordingTargets(QStringList* calls) : m_calls(calls) {}
    void back() override { m_calls->append(QStringLiteral("back")); }
    void refresh() override { m_calls->append(QStringLiteral("refresh")); }
    void writeComment() override { m_calls->append(QStringLiteral("writeComment")); }
    void openComment() override { m_calls->append(QStringLiteral("openComment")); }
    void touchBarShareToSina() override { m_calls->append(QStringLiteral("touchBarShareToSina")); }
    void touchBarShareToQQzone() override { m_calls->append(QStringLiteral("touchBarShareToQQzone")); }
    void touchBarShareToPaste() override { m_calls->append(QStringLiteral("touchBarShareToPaste")); }
    void setFontSizeEndChange(int size, bool store) override
    {
        m_calls->append(QStringLiteral("setFontSizeEndChange %1 %2").arg(size).arg(store ? "YES" : "NO"));
    }
    void refreshNews() override { m_calls->append(QStringLiteral("refreshNews")); }

private:
    QStringList* m_calls;
};

class TouchBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view.setTouchBarTargets(std::make_unique<RecordingTargets>(&calls));
        view.show();
        bar = TouchBarService::shared()->touchBarOf(view);
    }

    // An item of the main group, or of one of its popovers' bars.
    TouchBarItemPtr item(const QString& identifier)
    {
        if (!view.touchBarItem())
            return nullptr;
        for (const TouchBarItemPtr& member : view.touchBarItem()->items) {
            if (member->identifier() == identifier)
                return member;
            if (auto popover = std::dynamic_pointer_cast<PopoverTouchBarItem>(member)) {
                for (const TouchBarItemPtr& inner : popover->popoverTouchBar->defaultItems()) {
                    if (inner->identifier() == identifier)
                        return inner;
                }
            }
        }
        return nullptr;
    }
    std::shared_ptr<TouchBarButton> button(const char* identifier)
    {
        auto custom = std::dynamic_pointer_cast<CustomTouchBarItem>(item(QLatin1String(identifier)));
        return custom ? custom->button : nullptr;
    }
    std::shared_ptr<PopoverTouchBarItem> popover(const char* identifier)
    {
        return std::dynamic_pointer_cast<PopoverTouchBarItem>(item(QLatin1String(identifier)));
    }

    decltype(restoreProcessState()) restore = restoreProcessState();
    QStringList calls;
    MainViewController view;
    std::shared_ptr<TouchBar> bar;
};

}  // namespace

TEST_F(TouchBarTest, TheShownWindowsBarHoldsTheGroupItsPopoversAndTheirItemsInOrder)
{
    ASSERT_TRUE(bar) << "showing the window built no Touch Bar";
    EXPECT_EQ(bar->customizationIdentifier, QStringLiteral("com.Tidwen.fancyGroupViewController"));
    EXPECT_EQ(bar->defaultItemIdentifiers, (QStringList{QStringLiteral("com.Tidwen.fancyGroupItem"), TouchBar::kOtherItemsProxy}));
    EXPECT_EQ(bar->customizationAllowedItemIdentifiers, QStringList{QStringLiteral("com.Tidwen.fancyGroupItem")});
    ASSERT_TRUE(view.touchBarItem());
    EXPECT_EQ(bar->defaultItems(), QList<TouchBarItemPtr>{view.touchBarItem()});
    EXPECT_EQ(view.touchBarItem()->customizationLabel, QStringLiteral("Fancy Group"));
    QStringList order;
    for (const TouchBarItemPtr& member : view.touchBarItem()->items)
        order.append(member->identifier());
    EXPECT_EQ(order, (QStringList{QStringLiteral("com.Tidwen.fancyGroupItem.refreshList"), TouchBar::kFixedSpaceLarge,
                                  TouchBar::kFixedSpaceLarge, QStringLiteral("com.Tidwen.fancyGroupItem.back"),
                                  QStringLiteral("com.Tidwen.fancyGroupItem.refresh"), QStringLiteral("com.Tidwen.centerPopover"),
                                  QStringLiteral("com.Tidwen.sharePopover"), QStringLiteral("com.Tidwen.fancyGroupItem.writeComment"),
                                  QStringLiteral("com.Tidwen.fancyGroupItem.openComment")}));

    struct Button
    {
        const char* identifier;
        const char* title;
        const char* image;
        bool imageLeft;
        const char* bezel;
    };
    const Button buttons[] = {
        {"com.Tidwen.fancyGroupItem.refreshList", "刷新列表", "TourchBar_refresh", true, ""},
        {"com.Tidwen.fancyGroupItem.back", "返回", "TourchBar_back", false, ""},
        {"com.Tidwen.fancyGroupItem.refresh", "刷新", "TourchBar_refresh", false, ""},
        {"com.Tidwen.sina", "新浪", "", false, ""},
        {"com.Tidwen.QQzone", "QQ空间", "", false, ""},
        {"com.Tidwen.Paste", "剪切板", "", false, ""},
        {"com.Tidwen.fancyGroupItem.writeComment", "写评论", "TourchBar_writeComment", true, "red"},
        {"com.Tidwen.fancyGroupItem.openComment", "看评论", "TouchBar_commentCount", false, ""},
    };
    for (const Button& b : buttons) {
        const auto made = button(b.identifier);
        ASSERT_TRUE(made) << b.identifier;
        EXPECT_EQ(made->title, QString::fromUtf8(b.title)) << b.identifier;
        EXPECT_EQ(made->imageName, QLatin1String(b.image)) << b.identifier;
        EXPECT_EQ(made->imageLeft, b.imageLeft) << b.identifier;
        EXPECT_EQ(made->bezelColor, QLatin1String(b.bezel)) << b.identifier;
    }
    EXPECT_EQ(button("com.Tidwen.fancyGroupItem.openComment"), view.commentCountItem()->button);

    const auto font = popover("com.Tidwen.centerPopover");
    const auto share = popover("com.Tidwen.sharePopover");
    ASSERT_TRUE(font && share);
    EXPECT_EQ(font->collapsedImageName, QStringLiteral("TouchBar_Fontsize"));
    EXPECT_EQ(font->popoverTouchBar->defaultItemIdentifiers,
              (QStringList{QStringLiteral("com.Tidwen.simpleSlider"), QStringLiteral("com.Tidwen.simpleLabel")}));
    EXPECT_EQ(share->collapsedImageName, QStringLiteral("TouchBar_share"));
    EXPECT_EQ(share->popoverTouchBar->defaultItemIdentifiers,
              (QStringList{QStringLiteral("com.Tidwen.sina"), QStringLiteral("com.Tidwen.QQzone"), QStringLiteral("com.Tidwen.Paste")}));

    // The slider starts at 20 whatever the stored size; the label shows the stored size.
    const auto slider = std::dynamic_pointer_cast<SliderTouchBarItem>(item(QStringLiteral("com.Tidwen.simpleSlider")));
    ASSERT_TRUE(slider);
    EXPECT_EQ(slider->label, QStringLiteral("Slider:"));
    EXPECT_EQ(slider->customizationLabel, QStringLiteral("Slider"));
    EXPECT_EQ(slider->minValue, 14);
    EXPECT_EQ(slider->maxValue, 30);
    EXPECT_EQ(slider->doubleValue, 20);
    const auto label = std::dynamic_pointer_cast<CustomTouchBarItem>(item(QStringLiteral("com.Tidwen.simpleLabel")));
    ASSERT_TRUE(label && label->label);
    EXPECT_EQ(label->label->text, QStringLiteral("18"));
    EXPECT_EQ(label->label, view.theLabel());

    EXPECT_EQ(bar->itemForIdentifier(QStringLiteral("com.Tidwen.unknown")), nullptr);
    EXPECT_TRUE(calls.isEmpty()) << "building the bar called " << calls.join(QStringLiteral(", ")).toStdString();
}

TEST_F(TouchBarTest, EveryButtonCallsItsActionByTitle)
{
    NotificationCenter::defaultCenter().post(QStringLiteral("touchBarCommentCount"),
                                             NotificationObject::from(std::make_shared<QString>(QStringLiteral("12"))));
    const std::pair<const char*, const char*> cases[] = {
        {"com.Tidwen.fancyGroupItem.refreshList", "refreshNews"},
        {"com.Tidwen.fancyGroupItem.back", "back"},
        {"com.Tidwen.fancyGroupItem.refresh", "refresh"},
        {"com.Tidwen.sina", "touchBarShareToSina"},
        {"com.Tidwen.QQzone", "touchBarShareToQQzone"},
        {"com.Tidwen.Paste", "touchBarShareToPaste"},
        {"com.Tidwen.fancyGroupItem.writeComment", "writeComment"},
        {"com.Tidwen.fancyGroupItem.openComment", "openComment"},
    };
    for (const auto& [identifier, call] : cases) {
        calls.clear();
        const auto pressed = button(identifier);
        ASSERT_TRUE(pressed) << identifier;
        pressed->press();
        EXPECT_EQ(calls, QStringList{QLatin1String(call)}) << identifier;
    }
}

TEST_F(TouchBarTest, TheCountButtonDoesNothingBeforeTheFirstCountAndShowsTheLastOne)
{
    const auto count = button("com.Tidwen.fancyGroupItem.openComment");
    ASSERT_TRUE(count);
    count->press();
    EXPECT_TRUE(calls.isEmpty()) << calls.join(QStringLiteral(", ")).toStdString();

    for (const char* received : {"3", "27"}) {
        NotificationCenter::defaultCenter().post(QStringLiteral("touchBarCommentCount"),
                                                 NotificationObject::from(std::make_shared<QString>(QLatin1String(received))));
        EXPECT_EQ(count->title, QLatin1String(received));
    }
    count->press();
    EXPECT_EQ(calls, QStringList{QStringLiteral("openComment")});
}

TEST_F(TouchBarTest, TheSliderStoresTheSizeShowsItAndRebuildsThePage)
{
    const auto slider = std::dynamic_pointer_cast<SliderTouchBarItem>(item(QStringLiteral("com.Tidwen.simpleSlider")));
    ASSERT_TRUE(slider && view.theLabel());
    QString storedBefore;
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        storedBefore = settings->contentFontSize();
    }
    // The stored size is the process's; the tests after this one read the size they found.
    const auto restoreSize = qScopeGuard([&storedBefore] {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            settings->setContentFontSize(storedBefore);
    });
    slider->slideTo(25);
    EXPECT_EQ(calls, QStringList{QStringLiteral("setFontSizeEndChange 25 YES")});
    EXPECT_EQ(view.theLabel()->text, QStringLiteral("25"));
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->contentFontSize(), QStringLiteral("25"));
}
