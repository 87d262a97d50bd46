#include "app/views/SettingsPopover.h"

#include <QVBoxLayout>

SettingsPopover::SettingsPopover(QWidget* parent) : QWidget(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("SettingsPopover"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#SettingsPopover { background: white; border: 1px solid #d0d0d0; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* page = new QWidget(this);
    page->setFixedSize(240, 200);
    setContent(page);
}

void SettingsPopover::setContent(QWidget* page)
{
    if (m_content != nullptr)
        m_content->deleteLater();
    m_content = page;
    if (page != nullptr) {
        page->setParent(this);
        layout()->addWidget(page);
    }
}
