#pragma once

#include "article/views/WeakInterface.h"

#include <QList>
#include <QWidget>

class CustomButton;

// The pane's answers to its toolbar.
class ToolBarDelegate
{
public:
    virtual ~ToolBarDelegate() = default;
    virtual void openComment() = 0;
    virtual void refresh() = 0;
    virtual void adjustFont() = 0;
    virtual void collect() = 0;
    virtual void share() = 0;
    virtual void writeComment() = 0;
    virtual void back() = 0;
    virtual void instantGO() = 0;
};

// The strip of buttons under the article: the news set (refresh, font, share, write comment,
// comment icon with its count badge) or the deal set (share, "立即前往"); back alone on the left.
class ToolBarView : public QWidget
{
    Q_OBJECT

public:
    explicit ToolBarView(QWidget* parent = nullptr);

    // Not owned. A delegate that is a QObject is dropped when it is destroyed.
    void setDelegate(ToolBarDelegate* delegate);
    ToolBarDelegate* delegate() const;

    void changeForNews();
    void changForHotProduct();
    // Pads the count to four characters on the badge and posts "touchBarCommentCount" with the
    // count; an empty count changes nothing.
    void setCommentCount(const QString& count);
    // The badge text as shown.
    QString commentCountText() const;

    CustomButton* fontBtn = nullptr;
    CustomButton* shareBtn = nullptr;
    CustomButton* shareLPBtn = nullptr;
    CustomButton* backBtn = nullptr;
    CustomButton* commentBtn = nullptr;
    CustomButton* commentCountBtn = nullptr;
    CustomButton* refreshBtn = nullptr;
    CustomButton* writeCommentBtn = nullptr;
    CustomButton* instantGOBtn = nullptr;

    // The buttons that change colour under the mouse, in their order.
    const QList<CustomButton*>& hoverArray() const { return m_hoverArray; }

    // The toolbar's own collect (no button sends it).
    void collect();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setControls();
    void setLayout();
    void send(void (ToolBarDelegate::*operation)());

    WeakInterface<ToolBarDelegate> m_delegate;
    QWidget* m_lineView = nullptr;
    QList<CustomButton*> m_hoverArray;
    const int HW = 45;
};
