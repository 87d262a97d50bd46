#include "ui/alert/AlertSheet.h"

#include "foundation/CommonFunction.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <thread>

namespace {

// Installs the sheet for the scope and puts back what was installed before.
auto installedSheet()
{
    return onScopeExit([previous = CommonFunction::setAlertPresenter(std::make_shared<AlertSheet>())] {
        CommonFunction::setAlertPresenter(previous);
    });
}

}  // namespace

TEST(AlertSheet, IsAWindowModalSheetThatReturnsAtOnce)
{
    const auto sheet = installedSheet();
    QWidget window;
    window.show();
    CommonFunction::alert(QStringLiteral("确定"), QStringLiteral("网络不给力啊"), &window);

    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->text(), QStringLiteral("提示"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("网络不给力啊"));
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().first()->text(), QStringLiteral("确定"));

    box->buttons().first()->click();
    EXPECT_TRUE(waitUntil([&] { return window.findChild<QMessageBox*>() == nullptr; }));
}

TEST(AlertSheet, AnAlertFromAnotherThreadIsShownOnTheMainThread)
{
    const auto sheet = installedSheet();
    QWidget window;
    window.show();
    std::thread([&] { CommonFunction::alert(QStringLiteral("好"), QStringLiteral("后台"), &window); }).join();
    ASSERT_TRUE(waitUntil([&] { return window.findChild<QMessageBox*>() != nullptr; }));
    auto* box = window.findChild<QMessageBox*>();
    EXPECT_EQ(box->thread(), window.thread());
    EXPECT_EQ(box->informativeText(), QStringLiteral("后台"));
    box->buttons().first()->click();
    EXPECT_TRUE(waitUntil([&] { return window.findChild<QMessageBox*>() == nullptr; }));

    // A window gone before the main thread got to it gets no sheet, and nothing breaks.
    auto gone = std::make_unique<QWidget>();
    QWidget* raw = gone.get();
    std::thread([&] { CommonFunction::alert(QStringLiteral("好"), QStringLiteral("迟到"), raw); }).join();
    gone.reset();
    QCoreApplication::processEvents();
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<QMessageBox*>(top), nullptr);
}

// The store's alert comes without a window, also before the main window exists: it stands on the
// main window, modal to it, so a click on the window cannot bury it.
TEST(AlertSheet, AnAlertWithoutAWindowStandsOnTheMainWindow)
{
    const auto sheet = installedSheet();
    for (const bool windowFirst : {false, true}) {
        std::unique_ptr<QWidget> main;
        const auto makeMain = [&] {
            main = std::make_unique<QWidget>();
            main->setObjectName(QStringLiteral("MainWindowController"));
            main->show();
        };
        if (windowFirst)
            makeMain();
        CommonFunction::alert(QStringLiteral("确定"), QStringLiteral("本地数据"), nullptr);
        if (!windowFirst)
            makeMain();
        ASSERT_TRUE(waitUntil([&] { return main->findChild<QMessageBox*>() != nullptr; })) << windowFirst;
        auto* box = main->findChild<QMessageBox*>();
        ASSERT_TRUE(waitUntil([&] { return box->isVisible(); }));
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_EQ(box->windowHandle()->transientParent(), main->windowHandle());
    }
}
