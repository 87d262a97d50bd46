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
    // Shows the popover beside the widget on its screen (see placeBeside).
    void popUpBeside(QWidget* anchor);

    // Where a popover of that size stands beside the anchor (global coordinates): right of it and
    // centred on it, moved up or down to stay inside the available area, and left of it when the
    // right has no room.
    static QRect placeBeside(const QRect& anchor, const QSize& size, const QRect& available);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_content = nullptr;
};
