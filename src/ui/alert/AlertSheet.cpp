#include "ui/alert/AlertSheet.h"

#include "foundation/CommonFunction.h"
#include "platform/Dispatch.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>

#include <utility>

struct AlertSheet::Sheet
{
    QString messageText;
    QString informativeText;
    QString buttonTitle;
};

namespace {

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

// Keeps the sheets asked for without a window until the main window shows: standing on their
// own, they would go under it at its first click.
class AlertSheet::MainWindowWait : public QObject
{
public:
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
                for (const Sheet& sheet : std::exchange(m_sheets, {})) {
                    if (window)
                        showSheet(sheet.messageText, sheet.informativeText, sheet.buttonTitle, window);
                    else
                        add(sheet);
                }
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QList<Sheet> m_sheets;
};

AlertSheet::AlertSheet() = default;

AlertSheet::~AlertSheet() = default;

void AlertSheet::presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                              QWidget* window)
{
    const Sheet sheet{messageText, informativeText, buttonTitle};
    if (dispatch::isMainThread()) {
        place(sheet, window);
        return;
    }
    // Widgets live on the main thread: a sheet asked for elsewhere is shown there, on its window
    // if that still exists by then, while this sheet is still the one installed.
    const QPointer<QWidget> target(window);
    const bool hadWindow = window != nullptr;
    dispatch::asyncMain([self = weak_from_this(), sheet, target, hadWindow] {
        const std::shared_ptr<AlertSheet> presenter = self.lock();
        if (!presenter || (hadWindow && !target))
            return;
        presenter->place(sheet, target.data());
    });
}

void AlertSheet::place(const Sheet& sheet, QWidget* window)
{
    if (window == nullptr)
        window = mainWindow();
    if (window != nullptr) {
        showSheet(sheet.messageText, sheet.informativeText, sheet.buttonTitle, window);
        return;
    }
    if (!m_wait)
        m_wait = std::make_unique<MainWindowWait>();
    m_wait->add(sheet);
}

void AlertSheet::install()
{
    CommonFunction::setAlertPresenter(std::make_shared<AlertSheet>());
}
