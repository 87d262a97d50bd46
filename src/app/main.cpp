#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tidwen"));
    QApplication::setOrganizationName(QStringLiteral("Korvask"));

    // Closing the last window ends the process; there is no shutdown work.
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tidwen"));
    window.resize(1200, 760);
    window.show();
    return QApplication::exec();
}
