// The running program's Touch Bar: nothing shows it on this platform, but the main window's bar is
// built when the window is shown, and its font slider reaches the article page.

#include "RoadFixture.h"

#include "TestEnvironment.h"
#include "app/views/MainViewController.h"
#include "article/ArticlePane.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "database/SettingsDatabaseOperate.h"
#include "platform/TouchBar.h"

#include <QWebEnginePage>

namespace road {
namespace {

std::shared_ptr<SliderTouchBarItem> fontSlider(MainViewController* main)
{
    const std::shared_ptr<TouchBar> bar = main ? TouchBarService::shared()->touchBarOf(*main) : nullptr;
    if (!bar)
        return nullptr;
    for (const TouchBarItemPtr& item : bar->defaultItems()) {
        auto group = std::dynamic_pointer_cast<GroupTouchBarItem>(item);
        for (const TouchBarItemPtr& member : group ? group->items : QList<TouchBarItemPtr>()) {
            auto popover = std::dynamic_pointer_cast<PopoverTouchBarItem>(member);
            if (popover && popover->identifier() == QLatin1String(MainViewController::kFontPopoverItem))
                return std::dynamic_pointer_cast<SliderTouchBarItem>(
                    popover->popoverTouchBar->itemForIdentifier(QLatin1String(MainViewController::kSliderItem)));
        }
    }
    return nullptr;
}

QString storedFontSize()
{
    SettingsDatabaseOperate::Lease settings;
    return settings ? settings->contentFontSize() : QString();
}

}  // namespace

TEST_F(Road, TheTouchBarsFontSliderStoresTheSizeAndRebuildsTheArticlePage)
{
    RightViewController* pane = detailPane();
    ASSERT_TRUE(pane);
    ASSERT_TRUE(waitUntil([&] { return pane->feed() && pane->pane()->bSucLoad(); }, 30000))
        << "waited for the first article to open by itself";
    auto* main = mainWindow()->findChild<MainViewController*>();
    const std::shared_ptr<SliderTouchBarItem> slider = fontSlider(main);
    ASSERT_TRUE(slider) << "the running program built no Touch Bar with a font slider";

    // The size of the article text, or "" while a page is being replaced.
    const auto textSize = [&] {
        return runScript(pane->webView()->page(), QStringLiteral("(function(){var c=document.getElementById('content');"
                                                                 "return c?getComputedStyle(c).fontSize:'';})()"))
            .toString();
    };
    const QString stored = storedFontSize();
    QString before;
    ASSERT_TRUE(waitUntil([&] { return !(before = textSize()).isEmpty(); })) << "the article text's size";
    const auto px = [](QString size) { return size.remove(QStringLiteral("px")).toDouble(); };

    slider->slideTo(28);
    EXPECT_EQ(storedFontSize(), QStringLiteral("28"));
    EXPECT_TRUE(waitUntil([&] {
        const QString size = textSize();
        return !size.isEmpty() && px(size) > px(before) && pane->pane()->bSucLoad();
    })) << "a larger text than " << qPrintable(before) << " on the rebuilt page; it shows " << qPrintable(textSize());

    // Back to the size the other road tests expect.
    slider->slideTo(stored.toInt());
    EXPECT_EQ(storedFontSize(), stored);
    EXPECT_TRUE(waitUntil([&] { return textSize() == before && pane->pane()->bSucLoad(); }))
        << "the text back at " << qPrintable(before) << "; it shows " << qPrintable(textSize());
}

}  // namespace road
