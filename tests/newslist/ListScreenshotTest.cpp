#include "ui/hud/DJProgressHUD.h"
#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/CenterViewController.h"

#include "ScreenshotCompare.h"

#include <QDir>
#include <QImage>

namespace {

int darkest(const QImage& image, const QRect& area)
{
    int low = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            low = std::min(low, qGray(image.pixel(x, y)));
    return low;
}

}  // namespace

class ListScreenshotTest : public NewsListTest
{
};

TEST_F(ListScreenshotTest, FiveRowsLookAsTheyShould)
{
    {
        QList<NewsListDataPtr> shown;
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->NewsList_getCurrentDisplayNewsList(shown));
        store->setNewsState(QStringLiteral("904"), true, QStringLiteral("read"));
    }
    auto db = FMDatabase::databaseWithPath(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
    ASSERT_TRUE(db->open());
    for (const char* column : {"ListUrl", "SlideUrl", "LoadMoreUrl"})
        ASSERT_TRUE(db->executeUpdate(QStringLiteral("UPDATE CategoryList SET %1 = replace(%1, ?, ?)").arg(QLatin1String(column)),
                                      {QStringLiteral("http://") + QLatin1String(ServerHosts::kNewsApi), base()}));
    db->close();

    QList<FeedItem> items{
        {QStringLiteral("905"), true, QStringLiteral("置顶的新闻标题用红色"), QStringLiteral("2026-12-07 19:30:00"), QString(), QStringLiteral("1")},
        {QStringLiteral("904"), false, QStringLiteral("读过的新闻标题显示为灰色"), QStringLiteral("2026-12-07 18:00:00")},
        {QStringLiteral("903"), false, QStringLiteral("选中的新闻"), QStringLiteral("2026-12-06 09:05:00")},
        {QStringLiteral("902"), false, QStringLiteral("一条视频新闻"), QStringLiteral("2026-12-01 08:00:00"), QStringLiteral("1")},
        {QStringLiteral("901"), false, QStringLiteral("一条投票新闻"), QStringLiteral("2026-11-30 08:00:00"), QStringLiteral("01")},
    };
    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(items), "N"));
    server.route("GET", QStringLiteral("/xml/slide/slide.xml"), xmlReply(slideFeed(2), "S"));
    Clock::setLocalZone(QTimeZone(Clock::kBeijingOffsetSeconds));

    CenterViewController column;
    column.resize(300, 640);
    column.show();
    ASSERT_TRUE(column.currentTableV());
    CenterTableModel& model = *column.currentTableV()->tableModel();
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 7; }));
    model.tableViewSelectionDidChange(3);  // item 2

    // Under the 150-high strip: item 0 (80 high, the last pinned), then 70-high rows.
    auto rowTop = [](int item) { return 80 + 150 + (item == 0 ? 0 : 80 + 70 * (item - 1)); };
    auto titleArea = [&](int item) { return QRect(85 + 30, rowTop(item) + 8, 170, 36); };
    // The picture is taken once the rows are drawn, the selection shown and no toast is left.
    QImage shot;
    const bool drawn = waitUntil([&] {
        if (column.currentTableV()->toastStrip() != nullptr || DJProgressHUD::instance()->displaying())
            return false;
        shot = column.grab().toImage().convertToFormat(QImage::Format_RGB32);
        return holdsColour(shot, titleArea(0), QColor(210, 34, 34), 24) && QColor(shot.pixel(200, rowTop(2) + 67)) == QColor(236, 236, 236);
    });
    Clock::resetLocalZone();
    ASSERT_TRUE(drawn) << "the rows drawn with the selection and no toast on screen";
    ASSERT_EQ(shot.size(), QSize(300, 640));

    EXPECT_TRUE(holdsColour(shot, titleArea(0), QColor(210, 34, 34), 24));
    EXPECT_TRUE(holdsColour(shot, titleArea(1), QColor(118, 118, 118), 14));
    EXPECT_GE(darkest(shot, titleArea(1)), 100);  // read: no darker ink than the grey
    EXPECT_LE(darkest(shot, titleArea(2)), 60);   // selected: the normal dark title
    // The pinned tag, the video and vote tags.
    EXPECT_TRUE(holdsColour(shot, QRect(85, rowTop(0) + 6, 25, 16), QColor(255, 101, 26), 10));
    EXPECT_TRUE(holdsColour(shot, QRect(85, rowTop(3) + 50, 90, 15), QColor(248, 164, 30), 20));
    EXPECT_TRUE(holdsColour(shot, QRect(85, rowTop(4) + 50, 90, 15), QColor(142, 193, 75), 20));
    // The selected row has the selected background.
    EXPECT_EQ(QColor(shot.pixel(200, rowTop(2) + 67)), QColor(236, 236, 236));
    EXPECT_EQ(QColor(shot.pixel(200, rowTop(1) + 67)), QColor(255, 255, 255));
    // The separator bar under the pinned block.
    EXPECT_EQ(QColor(shot.pixel(200, rowTop(0) + 75)), QColor(225, 225, 225));

    expectLikeReference(shot, referencePicture(__FILE__, QStringLiteral("five_rows.png")));
}
