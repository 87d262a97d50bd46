// The running program against the stand-in: the address it shares for an article is the article's
// page on the web site, from the link as the lists give it.

#include "RoadFixture.h"

#include "TestEnvironment.h"
#include "article/ArticlePane.h"
#include "article/views/RightViewController.h"
#include "article/views/popovers/ShareViewController.h"

namespace road {

TEST_F(Road, TheSharedAddressOfAnArticleIsItsPageOnTheWebSite)
{
    RightViewController* pane = detailPane();
    ASSERT_TRUE(pane);
    ASSERT_TRUE(waitUntil([&] { return pane->feed() && pane->pane()->bSucLoad(); }, 30000))
        << "waited for the first article to open by itself";
    const QString link = pane->feed()->link;
    EXPECT_TRUE(link.startsWith(QStringLiteral("/html/"))) << "the list gave the link " << link.toStdString();
    pane->share();
    auto* share = pane->toolBarPopover()->findChild<ShareViewController*>();
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->Purl().toStdString(), (QStringLiteral("http://www.tidwen.example") + link).toStdString());
    pane->toolBarPopover()->hide();
}

}  // namespace road
