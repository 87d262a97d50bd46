#include "ScreenshotCompare.h"

#include "TestEnvironment.h"

#include <QFileInfo>

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
