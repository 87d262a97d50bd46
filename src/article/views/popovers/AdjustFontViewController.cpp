#include "article/views/popovers/AdjustFontViewController.h"

#include "database/SettingsDatabaseOperate.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/UILabel.h"
#include "ui/layout/MASAdditions.h"

#include <QDebug>

#include <algorithm>

using namespace MASAdditions;

namespace {

constexpr int kPopoverWidth = 170;
constexpr int kPopoverHeight = 50;
constexpr int kButtonSide = 40;

}  // namespace

AdjustFontViewController::AdjustFontViewController(AdjustFontTarget* target, QWidget* parent)
    : QWidget(parent), m_target(target)  // a pane may go away while its popover is still up
{
    resize(kPopoverWidth, kPopoverHeight);
    setMinimumSize(kPopoverWidth, kPopoverHeight);

    m_subtractButton = CustomButton::initWithTitle(QStringLiteral("A-"), this);
    m_subtractButton->setObjectName(QStringLiteral("subtractFontSize"));
    m_subtractButton->setToolTip(QStringLiteral("字号减小"));
    m_subtractButton->addTarget(this, &AdjustFontViewController::subtractFontSize);

    m_addButton = CustomButton::initWithTitle(QStringLiteral("A+"), this);
    m_addButton->setObjectName(QStringLiteral("addFontSize"));
    m_addButton->setToolTip(QStringLiteral("字号增大"));
    m_addButton->addTarget(this, &AdjustFontViewController::addFontSize);
    QFont larger = m_addButton->font();
    if (larger.pixelSize() > 0)
        larger.setPixelSize(larger.pixelSize() + 3);
    else
        larger.setPointSizeF(larger.pointSizeF() + 3);
    m_addButton->setFont(larger);

    m_fontSize = new UILabel(this);
    m_fontSize->setObjectName(QStringLiteral("fontSize"));
    m_fontSize->setAlignment(Qt::AlignCenter);

    mas_makeConstraints(m_subtractButton, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this)).offset(5);
        make.centerY().equalTo(mas_centerY(this));
        make.width().equalTo(kButtonSide);
        make.height().equalTo(kButtonSide);
    });
    mas_makeConstraints(m_addButton, [this](MASConstraintMaker& make) {
        make.right().equalTo(mas_right(this)).offset(-5);
        make.centerY().equalTo(mas_centerY(this));
        make.width().equalTo(kButtonSide);
        make.height().equalTo(kButtonSide);
    });
    mas_makeConstraints(m_fontSize, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_right(m_subtractButton)).offset(5);
        make.right().equalTo(mas_left(m_addButton)).offset(-5);
        make.centerY().equalTo(mas_centerY(this));
        make.height().equalTo(24);
    });

    viewDidLoad();
}

QSize AdjustFontViewController::sizeHint() const
{
    return {kPopoverWidth, kPopoverHeight};
}

void AdjustFontViewController::viewDidLoad()
{
    m_fontSize->setText(QString::number(storedFontSize()));
}

int AdjustFontViewController::storedFontSize()
{
    QString stored;
    {
        SettingsDatabaseOperate::Lease settings;
        if (!settings) {
            qWarning() << "font popover: settings store busy on this thread; using the default size";
            return kDefaultFontSize;
        }
        stored = settings->contentFontSize();
    }
    bool ok = false;
    const int size = stored.trimmed().toInt(&ok);
    // Text that is no number would otherwise read as 0 and make the larger button give 1.
    return ok ? size : kDefaultFontSize;
}

bool AdjustFontViewController::storeFontSize(int size)
{
    SettingsDatabaseOperate::Lease settings;
    if (!settings) {
        qWarning() << "font popover: settings store busy on this thread; size" << size << "not stored";
        return false;
    }
    return settings->setContentFontSize(QString::number(size));
}

void AdjustFontViewController::tellTarget(int size)
{
    // The settings lease is never held here: the pane stores through the same store.
    if (AdjustFontTarget* target = m_target.get())
        target->setFontSizeEndChange(size, true);
}

void AdjustFontViewController::subtractFontSize()
{
    // Widened first: any stored number, however large or small, steps without overflow.
    const int size = static_cast<int>(std::max<long long>(storedFontSize() - 1LL, kLeastFontSize));
    m_fontSize->setText(QString::number(size));
    tellTarget(size);
    storeFontSize(size);
}

void AdjustFontViewController::addFontSize()
{
    const int size = static_cast<int>(std::min<long long>(storedFontSize() + 1LL, kMostFontSize));
    tellTarget(size);
    m_fontSize->setText(QString::number(size));
    storeFontSize(size);
}
