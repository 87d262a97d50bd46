#include "ui/alert/AlertSheet.h"

#include "foundation/CommonFunction.h"
#include "platform/Dispatch.h"

#include <QMessageBox>
#include <QPointer>

namespace {

void showSheet(const QString& messageText, const QString& informativeText, const QString& buttonTitle, QWidget* window)
{
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setText(messageText);
    box->setInformativeText(informativeText);
    box->addButton(buttonTitle, QMessageBox::AcceptRole);
    box->open();  // window-modal on its window; returns at once
}

}  // namespace

void AlertSheet::presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                              QWidget* window)
{
    if (dispatch::isMainThread()) {
        showSheet(messageText, informativeText, buttonTitle, window);
        return;
    }
    // Widgets live on the main thread: a sheet asked for elsewhere is shown there, on its window
    // if that still exists by then.
    const QPointer<QWidget> target(window);
    const bool hadWindow = window != nullptr;
    dispatch::asyncMain([=] {
        if (hadWindow && !target)
            return;
        showSheet(messageText, informativeText, buttonTitle, target.data());
    });
}

void AlertSheet::install()
{
    CommonFunction::setAlertPresenter(std::make_shared<AlertSheet>());
}
