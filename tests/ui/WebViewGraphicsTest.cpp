#include "ui/web/WebViewGraphics.h"

#include "ScopeGuard.h"

#include <QQuickWindow>

#include <gtest/gtest.h>

// Only a rasterizer that runs on the processor sends the web views to software drawing: a
// graphics card's renderer keeps OpenGL, whatever its maker writes into the name.
TEST(WebViewGraphics, OnlySoftwareRasterizersAreTakenForOne)
{
    struct Case
    {
        const char* renderer;
        bool software;
    };
    for (const Case& c : {
             Case{"llvmpipe (LLVM 15.0.6, 256 bits)", true},
             Case{"softpipe", true},
             Case{"Software Rasterizer", true},
             Case{"Mesa DRI swrast", true},
             Case{"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
             Case{"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)", false},
             Case{"NVIDIA GeForce GTX 1650/PCIe/SSE2", false},
             Case{"", false},
         }) {
        EXPECT_EQ(webgraphics::isSoftwareRasterizer(c.renderer), c.software) << c.renderer;
    }
}

// Without an OpenGL context that can be made current (no driver, or none offered by the window
// system) the OpenGL path has nothing to draw with: the views draw in software.
TEST(WebViewGraphics, WithoutAUsableOpenGLContextTheViewsDrawInSoftware)
{
    const auto restore = onScopeExit([backend = QQuickWindow::sceneGraphBackend()] {
        QQuickWindow::setSceneGraphBackend(backend);
    });
    webgraphics::choose(std::nullopt);
    EXPECT_EQ(QQuickWindow::sceneGraphBackend(), QStringLiteral("software"));
}
