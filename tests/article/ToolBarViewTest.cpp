#include "article/views/ToolBarView.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"

#include "PendingLayout.h"
#include "RecordingToolBarDelegate.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QStringList>

#include <gtest/gtest.h>

TEST(ToolBarView, CommentCountIsPaddedAndPosted)
{
    ToolBarView bar;
    QStringList posted;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("touchBarCommentCount"), nullptr,
        [&](const Notification& note) { posted.append(*note.object.sharedPtr<QString>()); });
    const struct { const char* count; const char* shown; } cases[] = {
        {"7", "   7"}, {"42", "  42"}, {"318", " 318"}, {"1024", "1024"}, {"123456", "123456"},
    };
    for (const auto& c : cases) {
        bar.setCommentCount(QLatin1String(c.count));
        EXPECT_EQ(bar.commentCountText(), QLatin1String(c.shown)) << c.count;
    }
    bar.setCommentCount(QString());
    bar.setCommentCount(QStringLiteral(""));
    EXPECT_EQ(bar.commentCountText(), QStringLiteral("123456"));
    EXPECT_EQ(posted, (QStringList{"7", "42", "318", "1024", "123456"}));
    NotificationCenter::defaultCenter().removeObserver(token);
}

TEST(ToolBarView, ButtonSetsAndClicks)
{
    ToolBarView bar;
    bar.resize(600, 50);
    bar.show();
    RecordingToolBarDelegate delegate;
    bar.commentBtn->click();  // no delegate: nothing
    bar.setDelegate(&delegate);
    EXPECT_FALSE(bar.backBtn->isVisible());
    EXPECT_FALSE(bar.instantGOBtn->isVisible());
    bar.changForHotProduct();
    EXPECT_TRUE(bar.instantGOBtn->isVisible());
    EXPECT_TRUE(bar.shareLPBtn->isVisible());
    for (CustomButton* news : {bar.refreshBtn, bar.fontBtn, bar.writeCommentBtn, bar.commentBtn, bar.shareBtn, bar.commentCountBtn})
        EXPECT_FALSE(news->isVisible());
    bar.changeForNews();
    EXPECT_FALSE(bar.instantGOBtn->isVisible());
    EXPECT_TRUE(bar.commentCountBtn->isVisible());
    for (CustomButton* button : {bar.commentBtn, bar.commentCountBtn, bar.refreshBtn, bar.fontBtn, bar.shareBtn, bar.writeCommentBtn,
                                 bar.backBtn, bar.instantGOBtn})
        button->click();
    EXPECT_EQ(delegate.calls, (QStringList{"openComment", "openComment", "refresh", "adjustFont", "share", "writeComment", "back",
                                           "instantGO"}));
    ASSERT_TRUE(applyPendingLayout(&bar));
    // The news set reads from the right: comment icon, write comment, share, font, refresh.
    EXPECT_GT(bar.commentBtn->x(), bar.writeCommentBtn->x());
    EXPECT_GT(bar.writeCommentBtn->x(), bar.shareBtn->x());
    EXPECT_GT(bar.shareBtn->x(), bar.fontBtn->x());
    EXPECT_GT(bar.fontBtn->x(), bar.refreshBtn->x());
    EXPECT_EQ(bar.commentBtn->geometry().right() + 1, 600 - 10);
}

TEST(ToolBarView, HoverColours)
{
    ToolBarView bar;
    bar.resize(600, 50);
    bar.changForHotProduct();
    bar.show();
    ASSERT_TRUE(applyPendingLayout(&bar));
    ASSERT_EQ(bar.hoverArray().size(), 8);
    EXPECT_FALSE(bar.hoverArray().contains(bar.commentCountBtn));
    const auto corner = [](QWidget* button) { return button->grab().toImage().pixelColor(2, 2); };
    EXPECT_EQ(corner(bar.instantGOBtn), QColor(210, 34, 34));
    QEvent enter(QEvent::Enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(bar.instantGOBtn, &enter);
    EXPECT_EQ(corner(bar.instantGOBtn), QColor(210, 65, 57));
    QCoreApplication::sendEvent(bar.instantGOBtn, &leave);
    EXPECT_EQ(corner(bar.instantGOBtn), QColor(210, 34, 34));
    QCoreApplication::sendEvent(bar.shareLPBtn, &enter);
    EXPECT_EQ(corner(bar.shareLPBtn), QColor(244, 244, 244));
    QCoreApplication::sendEvent(bar.shareLPBtn, &leave);
    EXPECT_NE(corner(bar.shareLPBtn), QColor(244, 244, 244));
}
