// The hot-comment channel's list as the reader sees it while its list loads and when it failed.

#include "CommentsTestSupport.h"
#include "HeldReply.h"

#include "comments/HotCommentListModel.h"
#include "comments/views/HotCommntTableViewController.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/LoadStateOverlay.h"

#include <QDir>

TEST_F(CommentRequests, TheHotCommentListShowsItsSpinnerWhileItLoadsAndItsFailureWithAReload)
{
    const QString path = QStringLiteral("/api/comment/hotcommentlist-view");
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    channel->ListUrl = m_server.url(path).toString();
    // A fresh home: no kept list to show meanwhile.
    QFile::remove(HotCommentListModel::filePathForUrl(channel->ListUrl));
    HeldReply held;
    m_server.route("GET", path, held.handler(LoopbackReply::text(500, "")));
    HotCommntTableViewController view(channel);
    view.resize(300, 500);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(view.model()->isLoading());
    EXPECT_TRUE(view.loadState()->isLoadingShown()) << "no spinner while the list is on its way";
    EXPECT_FALSE(view.loadState()->isFailureShown());

    held.release();
    ASSERT_TRUE(waitUntil([&] { return !view.model()->isLoading(); }));
    EXPECT_FALSE(view.loadState()->isLoadingShown());
    ASSERT_TRUE(view.loadState()->isFailureShown()) << "a failed list shows nothing but white";

    // The failure's reload asks again; the rows come and the marks go.
    m_server.route("GET", path, LoopbackReply::text(200, QJsonDocument(QJsonArray{commentObject(5, QStringLiteral("甲"), QStringLiteral("一"))}).toJson(),
                                                    "application/json"));
    view.loadState()->errorView()->reloadButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view.model()->rowCount() == 1 && !view.model()->isLoading(); }));
    EXPECT_FALSE(view.loadState()->isLoadingShown());
    EXPECT_FALSE(view.loadState()->isFailureShown());
    EXPECT_EQ(m_server.requests().size(), 2);
    QFile::remove(HotCommentListModel::filePathForUrl(channel->ListUrl));
}
