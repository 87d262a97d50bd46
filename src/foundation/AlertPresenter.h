#pragma once

#include <QString>

class QWidget;

// Shows the common information sheet of CommonFunction::alert. The interface layer installs the
// real one at start-up (CommonFunction::setAlertPresenter); the libraries below it never draw a
// window themselves.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;

    // A sheet, window-modal on window (on the program's main window when there is none), with the
    // message and informative texts and one button; returns at once and does nothing when dismissed.
    virtual void presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                              QWidget* window) = 0;
};
