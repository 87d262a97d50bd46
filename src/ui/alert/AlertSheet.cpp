#include "ui/alert/AlertSheet.h"

#include "foundation/CommonFunction.h"
#include "platform/Dispatch.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>

#include <utility>

namespace {

struct Sheet
{
    QString messageText;
    QString informativeText;
    QString buttonTitle;
};

bool isMainWindow(const QObject* object)
{
    const auto* widget = qobject_cast<const QWidget*>(object);
    return widget != nullptr && widget->isWindow() &&
           widget->objectName() == QLatin1String(AlertSheet::kMainWindowName);
}

QWidget* mainWindow()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (isMainWindow(top))
            return top;
    }
    return nullptr;
}

void showSheet(const Sheet& sheet, QWidget* window)
{
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setText(sheet.messageText);
    box->setInformativeText(sheet.informativeText);
    box->addButton(sheet.buttonTitle, QMessageBox::AcceptRole);
    box->open();  // window-modal on its window; returns at once
}

void place(const Sheet& sheet, QWidget* window);

// Keeps the sheets asked for without a window until the main window shows: standing on their
// own, they would go under it at its first click.
class MainWindowWait : public QObject
{
public:
    using QObject::QObject;

    void add(const Sheet& sheet)
    {
        if (m_sheets.isEmpty())
            qApp->installEventFilter(this);
        m_sheets.append(sheet);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && isMainWindow(watched)) {
            qApp->removeEventFilter(this);
            // Once the window's own showing is done.
            QMetaObject::invokeMethod(this, [this, window = QPointer<QWidget>(static_cast<QWidget*>(watched))] {
                for (const Sheet& sheet : std::exchange(m_sheets, {}))
                    place(sheet, window);
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QList<Sheet> m_sheets;
};

// On the main thread: shows the sheet on its window, or on the main window when it has none,
// once that window shows.
void place(const Sheet& sheet, QWidget* window)
{
    if (window == nullptr)
        window = mainWindow();
    if (window != nullptr) {
        showSheet(sheet, window);
        return;
    }
    static QPointer<MainWindowWait> wait;
    if (!wait)
        wait = new MainWindowWait(qApp);
    wait->add(sheet);
}

}  // namespace

void AlertSheet::presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                              QWidget* window)
{
    const Sheet sheet{messageText, informativeText, buttonTitle};
    // Widgets live on the main thread: a sheet asked for elsewhere is shown there, on its window
    // if that still exists by then.
    const QPointer<QWidget> target(window);
    const bool hadWindow = window != nullptr;
    dispatch::onMain([=] {
        if (hadWindow && !target)
            return;
        place(sheet, target.data());
    });
}

void AlertSheet::install()
{
    CommonFunction::setAlertPresenter(std::make_shared<AlertSheet>());
}
