#pragma once

// The whole program started once for the test program, as main.cpp starts it, against the
// stand-in service on this process; nothing below the window is faked except the network's
// reachability (up) and the clock (the stand-in's now).

#include "EnvironmentSnapshot.h"
#include "RoadSupport.h"
#include "app/AppDelegate.h"

#include <QElapsedTimer>
#include <QStringList>

#include <memory>

#include <gtest/gtest.h>

class CenterTableView;
class QAbstractItemView;
class QModelIndex;
class CenterViewController;
class RightViewController;
class QWidget;

namespace road {

// The road's stand-in content: one seed and one fixed morning, so every road test reads the same lists.
standin::StandinOptions roadStandinOptions();
// Points this process's network, TLS, web views, reachability and clock at the stand-in, as
// run.sh points the program at it.
void pointProcessAtStandin(const standin::StandinService& service);
// A GET through the application's proxy; the body, or empty on any failure.
QByteArray getThroughProxy(const QUrl& url);
// The stand-in's server key as the web view's command line names it.
QString standinSpki(const standin::StandinService& service);

// The environment as it was when the application object was about to start the first threads.
const EnvironmentSnapshot& environmentBeforeThreads();

class Road : public ::testing::Test
{
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    void SetUp() override;
    // The stand-in's faults go with the test that set them, also when an assertion ended it early.
    void TearDown() override;

    static standin::StandinService& service() { return *s_service; }
    // The main window, its list column, the list of a channel and the detail pane; null while
    // the program has not made them.
    static QWidget* mainWindow();
    static CenterViewController* listColumn();
    static CenterTableView* channelList(int64_t listId);
    static RightViewController* detailPane();

    // The stand-in's first channel as its feed has it.
    static QList<FeedEntry> s_feed;
    static qint64 s_startMs;  // start-up to the first 22 rows; -1 until seen

private:
    static std::unique_ptr<standin::StandinService> s_service;
    static std::unique_ptr<AppDelegate> s_delegate;
    static QString s_setupProblem;
};

// The row of the list that shows the entry of that index (or -1).
int rowOfEntry(CenterTableView* list, qsizetype entryIndex);
// A real mouse click on the row's middle.
void clickRow(CenterTableView* list, int row);
void clickIndex(QAbstractItemView* list, const QModelIndex& index);
// The titles of the list's item rows, top down.
QStringList itemTitles(CenterTableView* list);

}  // namespace road
