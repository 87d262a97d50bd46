#pragma once

#include "foundation/AlertPresenter.h"

#include <memory>

// The common information sheet as a window-modal message box. A sheet asked for without a window
// (the store's, which knows of none) stands on the program's main window, so a click on the
// window cannot bury it; one asked for before that window exists waits until it shows.
class AlertSheet : public AlertPresenter
{
public:
    void presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                      QWidget* window) override;

    // Makes CommonFunction::alert show this sheet; the program calls it once at start-up.
    static void install();

    // The object name the program's main window carries.
    static constexpr auto kMainWindowName = "MainWindowController";
};
