#pragma once

// Colour samples and reference pictures for the tests that look at what a widget painted.

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QRect>
#include <QString>

// True when a pixel of the area is within tolerance (per channel) of the colour.
bool holdsColour(const QImage& image, const QRect& area, const QColor& colour, int tolerance);

// Pixels of the area whose lightness lies at least minGap away from the background's: the ink of
// text that reads on that background.
int contrastingPixels(const QImage& image, const QRect& area, const QColor& background, int minGap = 100);

// While it lives the application has the palette a dark desktop colour scheme gives it (light
// text on dark surfaces); the palette before comes back when it ends.
class DarkDesktopPalette
{
public:
    DarkDesktopPalette();
    ~DarkDesktopPalette();
    DarkDesktopPalette(const DarkDesktopPalette&) = delete;
    DarkDesktopPalette& operator=(const DarkDesktopPalette&) = delete;

private:
    QPalette m_before;
};

// Share of the pixels whose red, green and blue differences add up to more than the steps given
// (font smoothing differs a little between machines); 1 for images of different sizes.
double differingShare(const QImage& a, const QImage& b, int summedSteps = 96);

// <folder of sourceFile>/fixtures/<name>: call with __FILE__ to name a picture beside the test.
QString referencePicture(const char* sourceFile, const QString& name);

// Expects at most maxShare of the shot's pixels to differ from the reference picture at path.
// With TIDWEN_UPDATE_REFERENCES (or TIDWEN_WRITE_REFERENCES) set, the shot is saved there first.
void expectLikeReference(const QImage& shot, const QString& path, double maxShare = 0.01);
