#pragma once

#include <QString>
#include <QWidget>

class LeftViewController;
class MainSplitViewController;
class QKeyEvent;

// The main window's content: the left bar, and beside it the split view of the two panes.
class MainViewController : public QWidget
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

private:
    void changeCount(const QString& count);

    QString m_commentCount;
    LeftViewController* m_left = nullptr;
    MainSplitViewController* m_split = nullptr;
};
