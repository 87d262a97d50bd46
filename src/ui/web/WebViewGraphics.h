#pragma once

#include <QByteArray>

#include <optional>

// How the web views draw. The engine composes its pages through OpenGL, and a window that shows
// one then draws through OpenGL too. Where the only OpenGL there is runs on the processor (a
// software rasterizer), that costs a shader compiler run for every new kind of frame and a copy
// of the whole window for every frame, and drawing in software is much faster.
namespace webgraphics {

// Decides once, after the application exists and before the first web view: software drawing
// when the OpenGL renderer is a software rasterizer or no OpenGL context can be made current.
// The renderer is the running system's unless one is given: its name, or nothing when no OpenGL
// context could be made current.
void choose();
void choose(const std::optional<QByteArray>& renderer);

// Whether the web views draw through OpenGL: a window that will show one must be an OpenGL
// window from the start, or it is made again (a black frame) when the view arrives.
bool drawsThroughOpenGL();

// Whether an OpenGL renderer's name is that of a rasterizer running on the processor.
bool isSoftwareRasterizer(const QByteArray& renderer);

}  // namespace webgraphics
