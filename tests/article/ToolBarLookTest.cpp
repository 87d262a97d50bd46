#include "article/views/ToolBarView.h"
#include "ui/controls/CustomButton.h"

#include "PendingLayout.h"
#include "RecordingToolBarDelegate.h"
#include "ScreenshotCompare.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QImage>
#include <QObject>

#include <gtest/gtest.h>

namespace {

// Steps summed over the three channels past which a pixel counts as different. Against a
// reference, 24 counts every pixel that a step of more than 24 in one channel would; between
// the two sets, 72 counts none that such a step would not.
constexpr int kAgainstReference = 24;
constexpr int kBetweenSets = 72;

QImage shot(ToolBarView& bar)
{
    EXPECT_TRUE(applyPendingLayout(&bar));
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Reference pictures live beside this file; TIDWEN_UPDATE_REFERENCES=1 writes them afresh.
void compareWithReference(const QImage& image, const QString& name)
{
    const QString path = referencePicture(__FILE__, name + QStringLiteral(".png"));
    if (qEnvironmentVariableIntValue("TIDWEN_UPDATE_REFERENCES") == 1)
        ASSERT_TRUE(image.save(path));
    const QImage reference(path);
    ASSERT_FALSE(reference.isNull()) << path.toStdString();
    EXPECT_LT(differingShare(image, reference.convertToFormat(QImage::Format_RGB32), kAgainstReference), 0.01)
        << name.toStdString();
}

struct Bar
{
    Bar()
    {
        bar.setAutoFillBackground(true);
        QPalette white = bar.palette();
        white.setColor(QPalette::Window, Qt::white);
        bar.setPalette(white);
        // Away from the pointer's resting place, which would hover the back button.
        bar.setGeometry(200, 300, 700, 50);
        bar.show();
    }
    ToolBarView bar;
};

}  // namespace

TEST(ToolBarLook, NewsAndDealSetsMatchTheirPictures)
{
    Bar news;
    news.bar.backBtn->show();
    news.bar.setCommentCount(QStringLiteral("7"));
    const QImage newsShot = shot(news.bar);
    ASSERT_EQ(newsShot.size(), QSize(700, 50));
    compareWithReference(newsShot, QStringLiteral("toolbar_news"));

    Bar deal;
    deal.bar.changForHotProduct();
    const QImage dealShot = shot(deal.bar);
    compareWithReference(dealShot, QStringLiteral("toolbar_deal"));
    // The two sets are different pictures: a set switch that changed nothing would fail here.
    EXPECT_GT(differingShare(newsShot, dealShot, kBetweenSets), 0.02);

    // Separator along the top, the go-now red over the whole height at the right.
    EXPECT_EQ(dealShot.pixelColor(300, 0), QColor(230, 230, 230));
    EXPECT_EQ(dealShot.pixelColor(700 - 3, 48), QColor(210, 34, 34));
    EXPECT_EQ(dealShot.pixelColor(700 - 118 - 2, 25), QColor(Qt::white));
}

TEST(ToolBarLook, GeometryIconsAndBadge)
{
    Bar b;
    ToolBarView& bar = b.bar;
    bar.backBtn->show();
    shot(bar);
    EXPECT_EQ(bar.commentBtn->geometry(), QRect(700 - 10 - 50, 0, 50, 50));
    EXPECT_EQ(bar.backBtn->geometry(), QRect(0, 0, 50, 50));
    EXPECT_EQ(bar.commentCountBtn->geometry(), QRect(bar.commentBtn->geometry().center().x() + 1, 5, 32, 15));
    EXPECT_EQ(bar.writeCommentBtn->geometry(), QRect(bar.commentBtn->x() - 5 - 70, 0, 70, 50));
    EXPECT_EQ(bar.shareBtn->geometry(), QRect(bar.writeCommentBtn->x() - 20 - 45, 0, 45, 50));
    EXPECT_EQ(bar.fontBtn->geometry().right() + 1, bar.shareBtn->x() - 20);
    EXPECT_EQ(bar.refreshBtn->geometry().right() + 1, bar.fontBtn->x() - 20);
    // Every image button found its drawn picture.
    for (CustomButton* button : {bar.commentBtn, bar.backBtn, bar.writeCommentBtn, bar.shareBtn, bar.shareLPBtn, bar.refreshBtn, bar.fontBtn})
        EXPECT_TRUE(button->hasImage()) << button->imageName().toStdString();
    EXPECT_EQ(bar.commentCountText(), QStringLiteral("   0"));
    const QImage badge = bar.commentCountBtn->grab().toImage();
    EXPECT_EQ(badge.pixelColor(16, 1), QColor(210, 34, 34));
    EXPECT_EQ(bar.instantGOBtn->property("tag").toInt(), 2000);
    EXPECT_EQ(bar.instantGOBtn->text(), QStringLiteral("      立即前往"));
}

TEST(ToolBarLook, HoverOverTheNewsButtons)
{
    Bar b;
    shot(b.bar);
    QEvent enter(QEvent::Enter);
    QEvent leave(QEvent::Leave);
    const auto corner = [](QWidget* button) { return button->grab().toImage().pixelColor(2, 2); };
    for (CustomButton* button : {b.bar.refreshBtn, b.bar.commentBtn, b.bar.writeCommentBtn}) {
        const QColor before = corner(button);
        EXPECT_NE(before, QColor(244, 244, 244));
        QCoreApplication::sendEvent(button, &enter);
        EXPECT_EQ(corner(button), QColor(244, 244, 244)) << button->text().toStdString();
        QCoreApplication::sendEvent(button, &leave);
        EXPECT_EQ(corner(button), before);
    }
    // The badge is not tracked.
    QCoreApplication::sendEvent(b.bar.commentCountBtn, &enter);
    EXPECT_EQ(b.bar.commentCountBtn->grab().toImage().pixelColor(16, 1), QColor(210, 34, 34));
}

TEST(ToolBarLook, ABadgeClickAndAnIconClickOpenCommentsOnceEach)
{
    Bar b;
    auto* recorder = new RecordingToolBarDelegate;
    b.bar.setDelegate(recorder);
    b.bar.commentCountBtn->click();
    b.bar.commentBtn->click();
    EXPECT_EQ(recorder->calls, (QStringList{"openComment", "openComment"}));
    b.bar.collect();
    EXPECT_EQ(recorder->calls.last(), QStringLiteral("collect"));
    // A pane that is gone is not called.
    delete recorder;
    EXPECT_EQ(b.bar.delegate(), nullptr);
    for (CustomButton* button : {b.bar.commentBtn, b.bar.refreshBtn, b.bar.backBtn})
        button->click();
}
