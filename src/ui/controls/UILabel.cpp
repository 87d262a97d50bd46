#include "ui/controls/UILabel.h"

UILabel::UILabel(QWidget* parent) : QLabel(parent)
{
    setControls();
}

UILabel::UILabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setControls();
}

void UILabel::setControls()
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground, false);
    // A label shows its text as written: a keyword or a title holding markup ("<b>", "<p>") is
    // never drawn as rich text, nor loses what stands between its tags.
    setTextFormat(Qt::PlainText);
    // A label is never editable; what the user may select is left as the base sets it.
}
