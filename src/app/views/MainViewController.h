#pragma once

#include "app/views/MainTouchBarTargets.h"
#include "platform/TouchBar.h"

#include <QString>
#include <QWidget>

#include <memory>

class LeftViewController;
class MainSplitViewController;
class QKeyEvent;

// The main window's content: the left bar, and beside it the split view of the two panes; and
// the window's Touch Bar (MainViewController_TouchBar.cpp).
class MainViewController : public QWidget, public TouchBarProvider, public TouchBarDelegate
{
    Q_OBJECT

public:
    explicit MainViewController(QWidget* parent = nullptr);
    ~MainViewController() override;

    LeftViewController* leftViewController() const { return m_left; }
    MainSplitViewController* MainSplitVC() const { return m_split; }

    // True (the key is swallowed, nothing happens) for a key equivalent whose characters are
    // exactly "I"; false for any other key, which goes on to the rest of the window.
    bool performKeyEquivalent(const QKeyEvent& event) const;
    // The characters of a key press with its command modifier taken away (Ctrl+Shift+I gives "I").
    static QString keyEquivalentCharacters(const QKeyEvent& event);

    // The last comment count received (the toolbar posts "touchBarCommentCount").
    QString CommentCount() const { return m_commentCount; }

    // ---- The Touch Bar ----
    static constexpr const char* kTouchBarIdentifier = "com.Tidwen.fancyGroupViewController";
    static constexpr const char* kGroupItem = "com.Tidwen.fancyGroupItem";
    static constexpr const char* kRefreshListItem = "com.Tidwen.fancyGroupItem.refreshList";
    static constexpr const char* kBackItem = "com.Tidwen.fancyGroupItem.back";
    static constexpr const char* kRefreshItem = "com.Tidwen.fancyGroupItem.refresh";
    static constexpr const char* kFontPopoverItem = "com.Tidwen.centerPopover";
    static constexpr const char* kSliderItem = "com.Tidwen.simpleSlider";
    static constexpr const char* kLabelItem = "com.Tidwen.simpleLabel";
    static constexpr const char* kSharePopoverItem = "com.Tidwen.sharePopover";
    static constexpr const char* kSinaItem = "com.Tidwen.sina";
    static constexpr const char* kQQzoneItem = "com.Tidwen.QQzone";
    static constexpr const char* kPasteItem = "com.Tidwen.Paste";
    static constexpr const char* kWriteCommentItem = "com.Tidwen.fancyGroupItem.writeComment";
    static constexpr const char* kOpenCommentItem = "com.Tidwen.fancyGroupItem.openComment";

    std::shared_ptr<TouchBar> makeTouchBar() override;
    TouchBarItemPtr touchBar(TouchBar& touchBar, const QString& identifier) override;
    void buttonAction(TouchBarButton& button);
    void sliderChanged(SliderTouchBarItem& slider);
    // The main group, the comment-count item and the font size label, once made.
    std::shared_ptr<GroupTouchBarItem> touchBarItem() const { return m_touchBarItem; }
    // The comment-count button (`commentCount`), named apart from the count text CommentCount().
    std::shared_ptr<CustomTouchBarItem> commentCountItem() const { return m_commentCountItem; }
    std::shared_ptr<TouchBarLabel> theLabel() const { return m_theLabel; }
    // What the bar's buttons and slider call; the panes of the split view unless replaced.
    void setTouchBarTargets(std::unique_ptr<MainTouchBarTargets> targets) { m_touchBarTargets = std::move(targets); }

protected:
    // The window is on screen: the platform may ask for its Touch Bar now.
    void showEvent(QShowEvent* event) override;

private:
    void changeCount(const QString& count);
    std::shared_ptr<CustomTouchBarItem> makeButtonWithIdentifier(const QString& identifier, const QString& title,
                                                                 const QString& customizationLabel, const QString& image);
    std::shared_ptr<CustomTouchBarItem> makeLeftButtonWithIdentifier(const QString& identifier, const QString& title,
                                                                     const QString& customizationLabel, const QString& image);
    QList<TouchBarItemPtr> makeFirstGroupButtons();
    QList<TouchBarItemPtr> makeSecondGroupButtons();

    QString m_commentCount;
    std::shared_ptr<TouchBarLabel> m_theLabel;
    std::shared_ptr<GroupTouchBarItem> m_touchBarItem;
    std::shared_ptr<CustomTouchBarItem> m_commentCountItem;
    std::unique_ptr<MainTouchBarTargets> m_touchBarTargets;
    LeftViewController* m_left = nullptr;
    MainSplitViewController* m_split = nullptr;
};
