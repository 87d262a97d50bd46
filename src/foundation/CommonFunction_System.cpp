#include "foundation/CommonFunction.h"

#include "foundation/DeviceFacts.h"
#include "foundation/GlobalValues.h"
#include "platform/NSStringValues.h"

#include <QFileInfo>
#include <QDebug>
#include <QFontDatabase>

#include <algorithm>
#include <mutex>

namespace {

// The first generation with the light system font.
constexpr float kEICapitanVersion = 10.11f;

std::mutex gAlertMutex;
std::shared_ptr<AlertPresenter> gAlertPresenter;

bool thinFontInEffect()
{
    return CommonFunction::isEICapitanLater() && gbThinFont.load(std::memory_order_relaxed);
}

QFont systemFontOfSize(float size, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // A size of zero (or less) asks for the system's standard size. Sizes count screen pixels,
    // as the layouts were drawn for: as points they would be a third larger at 96 dpi and
    // overflow the labels sized for them.
    if (size > 0)
        font.setPixelSize(std::max(1, qRound(size)));
    font.setWeight(weight);
    return font;
}

}  // namespace

float CommonFunction::getSystemVersion()
{
    // Read like a decimal number: "10.11.6" stops at the second point.
    return static_cast<float>(NSStringValues::doubleValue(DeviceFacts::instance()->productVersion()));
}

bool CommonFunction::isEICapitanLater()
{
    // In single precision 10.11 compares equal to itself; widened to double it would fall short.
    return getSystemVersion() >= kEICapitanVersion;
}

QFont CommonFunction::fontWithSize(float size)
{
    return systemFontOfSize(size, thinFontInEffect() ? QFont::Light : QFont::Normal);
}

QFont CommonFunction::boldFontWithSize(float size)
{
    return systemFontOfSize(size, thinFontInEffect() ? QFont::Normal : QFont::Bold);
}

std::shared_ptr<AlertPresenter> CommonFunction::setAlertPresenter(std::shared_ptr<AlertPresenter> presenter)
{
    std::lock_guard lock(gAlertMutex);
    std::swap(gAlertPresenter, presenter);
    return presenter;
}

void CommonFunction::alert(const QString& buttonTitle, const QString& informative, QWidget* window)
{
    const QString messageText = QStringLiteral("提示");
    std::shared_ptr<AlertPresenter> presenter;
    {
        std::lock_guard lock(gAlertMutex);
        presenter = gAlertPresenter;
    }
    if (!presenter) {
        qInfo().noquote() << messageText << informative;
        return;
    }
    presenter->presentAlert(messageText, informative, buttonTitle, window);
}

bool CommonFunction::addSkipBackupAttributeToItemAtURL(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    return QFileInfo::exists(url.toLocalFile());
}
