#pragma once

#include <QWidget>

// The settings popover of the left bar: a transient panel beside the settings button that closes
// when the user clicks elsewhere. It holds the settings page.
class SettingsPopover : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsPopover(QWidget* parent);
    // Replaces the page shown.
    void setContent(QWidget* page);
    QWidget* content() const { return m_content; }

private:
    QWidget* m_content = nullptr;
};
