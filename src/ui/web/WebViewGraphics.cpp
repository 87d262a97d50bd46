#include "ui/web/WebViewGraphics.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>

namespace webgraphics {

namespace {

std::optional<QByteArray> openGLRenderer()
{
    // The web engine makes this context when the application starts and uses it only once its
    // first page exists; asking it, rather than a context of our own, spares making one (most of
    // the cost) on the way to the first screen. Without it the engine has no OpenGL to draw with.
    QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    if (shared == nullptr || !shared->isValid())
        return std::nullopt;
    QOffscreenSurface surface;
    surface.setFormat(shared->format());
    surface.create();
    if (!surface.isValid() || !shared->makeCurrent(&surface))
        return std::nullopt;
    const auto* name = reinterpret_cast<const char*>(shared->functions()->glGetString(GL_RENDERER));
    shared->doneCurrent();
    // A current context that cannot name its renderer has a broken driver behind it.
    if (name == nullptr)
        return std::nullopt;
    return QByteArray(name);
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
    choose(openGLRenderer());
}

void choose(const std::optional<QByteArray>& renderer)
{
    // Without a context that can be made current the OpenGL path has nothing to draw with: the
    // first frame of a view would fail to find its renderer and bring the program down.
    if (renderer && !isSoftwareRasterizer(*renderer))
        return;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (renderer)
        qInfo("tidwen: web views draw in software; the OpenGL renderer (%s) runs on the processor", renderer->constData());
    else
        qInfo("tidwen: web views draw in software; no OpenGL context can be made current");
}

bool drawsThroughOpenGL()
{
    const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    // The software scene graph shows up in the backend's name only: the graphics API still says
    // OpenGL.
    return shared != nullptr && shared->isValid() && QQuickWindow::sceneGraphBackend() != QLatin1String("software");
}

}  // namespace webgraphics
