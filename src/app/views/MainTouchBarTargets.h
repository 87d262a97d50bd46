#pragma once

#include <QPointer>

class MainSplitViewController;

// What the main window's Touch Bar calls in the two panes of the split view.
class MainTouchBarTargets
{
public:
    virtual ~MainTouchBarTargets() = default;
    // The detail pane's.
    virtual void back() = 0;
    virtual void refresh() = 0;
    virtual void writeComment() = 0;
    virtual void openComment() = 0;
    virtual void touchBarShareToSina() = 0;
    virtual void touchBarShareToQQzone() = 0;
    virtual void touchBarShareToPaste() = 0;
    virtual void setFontSizeEndChange(int size, bool store) = 0;
    // The list column's.
    virtual void refreshNews() = 0;
};

// The panes of the split view as the program makes them; a pane of another kind (a placeholder)
// takes no call.
class SplitViewTouchBarTargets : public MainTouchBarTargets
{
public:
    explicit SplitViewTouchBarTargets(MainSplitViewController* split);

    void back() override;
    void refresh() override;
    void writeComment() override;
    void openComment() override;
    void touchBarShareToSina() override;
    void touchBarShareToQQzone() override;
    void touchBarShareToPaste() override;
    void setFontSizeEndChange(int size, bool store) override;
    void refreshNews() override;

private:
    class RightViewController* right() const;

    QPointer<MainSplitViewController> m_split;
};
