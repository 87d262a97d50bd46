#pragma once

#include <QLabel>

// A static text shown as written (never as markup): no frame, no background of its own, not editable.
class UILabel : public QLabel
{
    Q_OBJECT
public:
    explicit UILabel(QWidget* parent = nullptr);
    explicit UILabel(const QString& text, QWidget* parent = nullptr);

    // Not bezeled, draws no background, not editable, plain text.
    void setControls();
};
