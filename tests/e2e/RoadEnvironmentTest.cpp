// The process's environment is complete before its first thread starts: nothing the program, the
// fixture or the web engine does later adds a variable, which would move the C library's array
// from under a thread reading it.

#include "RoadFixture.h"

#include "TestEnvironment.h"
#include "article/views/RightViewController.h"

#include <QWebEnginePage>
#include <QWebEngineView>

namespace road {

TEST_F(Road, TheEnvironmentStaysWhereItWasOnceTheFirstWebViewIsMade)
{
    RightViewController* pane = detailPane();
    ASSERT_TRUE(pane);
    ASSERT_TRUE(waitUntil([&] { return pane->feed() && !pane->feed()->guid.isEmpty(); }, 30000))
        << "waited for the first article to open by itself";
    ASSERT_FALSE(mainWindow()->findChildren<QWebEngineView*>().isEmpty()) << "no web view was made";

    const EnvironmentSnapshot& before = environmentBeforeThreads();
    const EnvironmentSnapshot after = EnvironmentSnapshot::take();
    EXPECT_EQ(EnvironmentSnapshot::difference(before, after).toStdString(), "") << "variables added (+) or taken (-)";
    EXPECT_EQ(after.array, before.array) << "the environment array moved";
}

}  // namespace road
