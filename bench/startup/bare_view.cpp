// The start-up benchmark's yardstick: a bare QWebEngineView, as large as the screen, showing one
// page file. It says "bare view: page loaded" on stderr when the page's load ends.
//
//   startup_bare_view <page.html>
#include <QApplication>
#include <QScreen>
#include <QUrl>
#include <QWebEngineView>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bare_view <page.html>\n");
        return 2;
    }
    // As the program does: the web view shares its GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QWebEngineView view;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        view.setGeometry(screen->availableGeometry());
    QObject::connect(&view, &QWebEngineView::loadFinished, [](bool) {
        std::fprintf(stderr, "bare view: page loaded\n");
        std::fflush(stderr);
    });
    view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
    view.show();
    return QApplication::exec();
}
