#include "ui/controls/DDErrorView.h"

#include "foundation/CommonFunction.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/UILabel.h"
#include "ui/layout/MASAdditions.h"

#include <QGraphicsOpacityEffect>
#include <QPalette>

using namespace MASAdditions;

namespace {

const QColor kTextColor(96, 103, 111);

void styleLabel(UILabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kTextColor);
    palette.setColor(QPalette::Text, kTextColor);
    label->setPalette(palette);
    label->setFont(CommonFunction::boldFontWithSize(12));
    label->setAlignment(Qt::AlignCenter);
}

}  // namespace

DDErrorView::DDErrorView(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    if (!frame.isNull())
        setGeometry(frame);
    setAutoFillBackground(true);
    setBackgroundColor(Qt::white);
    m_titleView = new UILabel(this);
    m_subtitleView = new UILabel(this);
    styleLabel(m_titleView);
    styleLabel(m_subtitleView);
    if (CommonFunction::isEICapitanLater()) {
        // Bound to this view: it goes away with it.
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr,
                                                        [this](const Notification&) { fontChanged(); });
        m_observesFontChanged = true;
    }
}

DDErrorView::DDErrorView(const QString& title, const QString& subtitle, const QString& image, QWidget* parent)
    : DDErrorView(QRect(), parent)
{
    Q_UNUSED(image);  // the view shows no image
    setTitle(title);
    setSubtitle(subtitle);
}

DDErrorView::~DDErrorView()
{
    if (m_observesFontChanged)
        NotificationCenter::defaultCenter().removeObserver(this);
}

QString DDErrorView::title() const
{
    return m_titleView->text();
}

void DDErrorView::setTitle(const QString& title)
{
    m_titleView->setText(title);
}

QString DDErrorView::subtitle() const
{
    return m_subtitleView->text();
}

void DDErrorView::setSubtitle(const QString& subtitle)
{
    m_subtitleView->setText(subtitle);
}

void DDErrorView::addReloadButton()
{
    if (m_reloadButton)
        return;
    m_reloadButton = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("reloadButton"),
                                                         false, 12, this);
    m_reloadButton->show();
    layoutSubviews();
}

void DDErrorView::layoutSubviews()
{
    mas_makeConstraints(m_titleView, [this](MASConstraintMaker& make) {
        make.centerX().equalTo(mas_centerX(this));
        make.width().equalTo(150);
        make.height().equalTo(15);
        make.top().equalTo(mas_centerY(this)).offset(-20);
    });
    mas_makeConstraints(m_subtitleView, [this](MASConstraintMaker& make) {
        make.top().equalTo(mas_bottom(m_titleView));
        make.centerX().equalTo(mas_centerX(this));
        make.width().equalTo(150);
        make.height().equalTo(15);
    });
    if (m_reloadButton) {
        mas_makeConstraints(m_reloadButton, [this](MASConstraintMaker& make) {
            make.top().equalTo(mas_bottom(m_subtitleView));
            make.centerX().equalTo(mas_centerX(this));
            make.width().equalTo(50);
            make.height().equalTo(50);
        });
    }
}

void DDErrorView::fitColor(int themeMode)
{
    // Both themes show the day colours.
    Q_UNUSED(themeMode);
    setBackgroundColor(QColor(248, 248, 248));
    // The button drawn fully opaque again, whatever an owner faded it to.
    if (m_reloadButton) {
        if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_reloadButton->graphicsEffect()))
            effect->setOpacity(1.0);
    }
}

void DDErrorView::fontChanged()
{
    m_titleView->setFont(CommonFunction::boldFontWithSize(12));
    m_subtitleView->setFont(CommonFunction::boldFontWithSize(12));
}

QColor DDErrorView::backgroundColor() const
{
    return palette().color(QPalette::Window);
}

void DDErrorView::setBackgroundColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
}
