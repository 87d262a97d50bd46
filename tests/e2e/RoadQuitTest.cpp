// The program run as main runs it, ended by the reader: closing the main window ends the event
// loop, also while another window of the program (here the search window) is open.

#include "RoadFixture.h"

#include "app/views/LeftBarButton.h"
#include "app/views/LeftViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "app/wiring/ProgramWiring.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/CenterViewController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace road {
namespace {

MainWindowController* shownMainWindow()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<MainWindowController*>(top); window && window->isVisible())
            return window;
    }
    return nullptr;
}

QWidget* otherShownWindow(const QWidget* main)
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top != main && top->isVisible() && top->windowType() == Qt::Window)
            return top;
    }
    return nullptr;
}

}  // namespace

TEST(RoadQuit, ClosingTheMainWindowEndsTheProgramWithTheSearchWindowOpen)
{
    // The web engine reads its proxy once per process; ctest gives every test a process of its own.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
        GTEST_SKIP() << "runs only in a process of its own (--gtest_filter=RoadQuit.*)";
    standin::StandinService service(roadStandinOptions());
    ASSERT_TRUE(service.isListening()) << qPrintable(service.error());
    pointProcessAtStandin(service);

    // The reader's steps, taken from inside the program's own event loop: once the first list is
    // on screen, the search window opens; once it shows, the left bar's close button.
    QPointer<QWidget> search;
    bool closePressed = false;
    bool timedOut = false;
    QTimer steps;
    steps.setInterval(50);
    QObject::connect(&steps, &QTimer::timeout, [&] {
        MainWindowController* main = shownMainWindow();
        if (main == nullptr || closePressed)
            return;
        auto* column = main->findChild<CenterViewController*>();
        const auto lists = main->findChildren<CenterTableView*>();
        const bool listShown = std::any_of(lists.begin(), lists.end(), [](const CenterTableView* list) {
            return list->isVisible() && list->model()->rowCount() > 0;
        });
        if (column == nullptr || !listShown)
            return;
        if (!search) {
            search = otherShownWindow(main);
            if (!search)
                column->searchNews();
            return;
        }
        closePressed = true;
        main->MainVC()->leftViewController()->closeButton()->click();
    });
    steps.start();
    // A program that outlives its main window is ended here, and the test fails.
    QTimer::singleShot(120000, [&] {
        timedOut = true;
        QCoreApplication::exit(99);
    });

    const int status = runProgram();
    steps.stop();

    ASSERT_TRUE(closePressed) << "the search window never showed";
    EXPECT_FALSE(timedOut) << "the event loop outlived the main window";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(!search || !search->isVisible()) << "the search window stayed on screen";
}

}  // namespace road
