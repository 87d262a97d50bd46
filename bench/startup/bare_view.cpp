// The start-up benchmark's yardstick: a bare QWebEngineView, as large as the screen, showing one
// page file. It says "bare view: page loaded" on stderr when the page's load ends. With
// --software its web view draws in software, as the program's do where OpenGL is a software
// rasterizer.
//
//   startup_bare_view <page.html> [--software]
#include <QApplication>
#include <QQuickWindow>
#include <QScreen>
#include <QUrl>
#include <QWebEngineView>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bare_view <page.html> [--software]\n");
        return 2;
    }
    // As the program does: the web view shares its GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    if (argc > 2 && qstrcmp(argv[2], "--software") == 0)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
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
