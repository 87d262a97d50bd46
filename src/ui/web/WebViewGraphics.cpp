#include "ui/web/WebViewGraphics.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>

namespace webgraphics {

namespace {

QByteArray openGLRenderer()
{
    // The web engine makes this context when the application starts and uses it only once its
    // first page exists; asking it, rather than a context of our own, spares making one (most of
    // the cost) on the way to the first screen. Without it the engine has no OpenGL to draw with.
    QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    if (shared == nullptr || !shared->isValid())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(shared->format());
    surface.create();
    if (!surface.isValid() || !shared->makeCurrent(&surface))
        return {};
    const auto* name = reinterpret_cast<const char*>(shared->functions()->glGetString(GL_RENDERER));
    QByteArray renderer(name != nullptr ? name : "");
    shared->doneCurrent();
    return renderer;
}

}  // namespace

bool isSoftwareRasterizer(const QByteArray& renderer)
{
    const QByteArray name = renderer.toLower();
    for (const char* known : {"llvmpipe", "softpipe", "software rasterizer", "swrast"}) {
        if (name.contains(known))
            return true;
    }
    return false;
}

void choose()
{
    const QByteArray renderer = openGLRenderer();
    if (!isSoftwareRasterizer(renderer))
        return;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    qInfo("tidwen: web views draw in software; the OpenGL renderer (%s) runs on the processor", renderer.constData());
}

bool drawsThroughOpenGL()
{
    const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    // The software scene graph shows up in the backend's name only: the graphics API still says
    // OpenGL.
    return shared != nullptr && shared->isValid() && QQuickWindow::sceneGraphBackend() != QLatin1String("software");
}

}  // namespace webgraphics
