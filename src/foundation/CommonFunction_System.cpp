#include "foundation/CommonFunction.h"

#include "foundation/DeviceFacts.h"
#include "foundation/GlobalValues.h"
#include "platform/NSStringValues.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>

namespace {

// The first generation with the light system font.
constexpr float kEICapitanVersion = 10.11f;

bool thinFontInEffect()
{
    return CommonFunction::isEICapitanLater() && gbThinFont.load(std::memory_order_relaxed);
}

QFont systemFontOfSize(float size, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // A size of zero (or less) asks for the system's standard size.
    if (size > 0)
        font.setPointSizeF(size);
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

void CommonFunction::alert(const QString& buttonTitle, const QString& informative, QWidget* window)
{
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setText(QStringLiteral("提示"));
    box->setInformativeText(informative);
    box->addButton(buttonTitle, QMessageBox::AcceptRole);
    box->open();  // window-modal on its window, returns at once
}

bool CommonFunction::addSkipBackupAttributeToItemAtURL(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    return QFileInfo::exists(url.toLocalFile());
}
