#include "ScreenshotCompare.h"

#include "TestEnvironment.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>

bool holdsColour(const QImage& image, const QRect& area, const QColor& colour, int tolerance)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance
                && std::abs(c.blue() - colour.blue()) <= tolerance)
                return true;
        }
    }
    return false;
}

int contrastingPixels(const QImage& image, const QRect& area, const QColor& background, int minGap)
{
    int count = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            count += std::abs(image.pixelColor(x, y).lightness() - background.lightness()) >= minGap ? 1 : 0;
    }
    return count;
}

DarkDesktopPalette::DarkDesktopPalette() : m_before(QGuiApplication::palette())
{
    const QColor surface(45, 45, 45);
    const QColor field(30, 30, 30);
    const QColor ink(235, 235, 235);
    QPalette dark(ink, surface);
    dark.setColor(QPalette::Window, surface);
    dark.setColor(QPalette::WindowText, ink);
    dark.setColor(QPalette::Base, field);
    dark.setColor(QPalette::AlternateBase, surface);
    dark.setColor(QPalette::Text, ink);
    dark.setColor(QPalette::Button, surface);
    dark.setColor(QPalette::ButtonText, ink);
    dark.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    QGuiApplication::setPalette(dark);
}

DarkDesktopPalette::~DarkDesktopPalette()
{
    QGuiApplication::setPalette(m_before);
}

double differingShare(const QImage& a, const QImage& b, int summedSteps)
{
    if (a.size() != b.size())
        return 1;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > summedSteps)
                ++differing;
        }
    }
    return double(differing) / double(a.width() * a.height());
}

QString referencePicture(const char* sourceFile, const QString& name)
{
    return sourceFolder(sourceFile) + QStringLiteral("/fixtures/") + name;
}

void expectLikeReference(const QImage& shot, const QString& path, double maxShare)
{
    if (qEnvironmentVariableIsSet("TIDWEN_UPDATE_REFERENCES") || qEnvironmentVariableIsSet("TIDWEN_WRITE_REFERENCES"))
        shot.save(path);
    const QImage expected(path);
    ASSERT_FALSE(expected.isNull()) << "missing " << path.toStdString();
    EXPECT_LE(differingShare(shot, expected.convertToFormat(QImage::Format_RGB32)), maxShare) << path.toStdString();
}
