#pragma once

#include "foundation/AlertPresenter.h"

#include <memory>

// The common information sheet as a window-modal message box.
class AlertSheet : public AlertPresenter
{
public:
    void presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                      QWidget* window) override;

    // Makes CommonFunction::alert show this sheet; the program calls it once at start-up.
    static void install();
};
