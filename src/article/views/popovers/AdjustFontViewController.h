#pragma once

#include "article/views/WeakInterface.h"
#include "article/views/popovers/AdjustFontTarget.h"

#include <QWidget>

class CustomButton;
class UILabel;

// The font-size popover: the stored article font size between a smaller and a larger button.
// Each click changes the open page at once (through the target) and stores the new size, so the
// next article opens with it.
class AdjustFontViewController : public QWidget
{
    Q_OBJECT

public:
    // Sizes the buttons reach: the smaller one stops at the least, the larger one at the most.
    static constexpr int kLeastFontSize = 14;
    static constexpr int kMostFontSize = 30;
    // Taken when nothing readable is stored.
    static constexpr int kDefaultFontSize = 18;

    // The target is the pane that opened the popover; it must outlive the popover unless it is a
    // QObject, in which case a deleted target is simply no longer told.
    explicit AdjustFontViewController(AdjustFontTarget* target, QWidget* parent = nullptr);

    // The popover's own size, for the popup that hosts it.
    QSize sizeHint() const override;

    // One point smaller, never below the least size; the larger bound does not apply.
    void subtractFontSize();
    // One point larger, never above the most size; the lower bound does not apply.
    void addFontSize();

    // The size shown, as decimal text.
    UILabel* fontSize() const { return m_fontSize; }
    CustomButton* subtractButton() const { return m_subtractButton; }
    CustomButton* addButton() const { return m_addButton; }

    // The stored size as a number; the default when the store cannot be used or holds no number.
    static int storedFontSize();
    // Stores the size as decimal text; false when the store refused.
    static bool storeFontSize(int size);

private:
    void viewDidLoad();
    void tellTarget(int size);

    WeakInterface<AdjustFontTarget> m_target;
    UILabel* m_fontSize = nullptr;
    CustomButton* m_subtractButton = nullptr;
    CustomButton* m_addButton = nullptr;
};
