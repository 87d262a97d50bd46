#pragma once

#include <QWebEngineView>

#include <functional>

class LoadStateOverlay;
class QMenu;

// A web view that shows only pages the program put there (its page, a BrowserLinksPage, keeps no
// history that the mouse's back and forward buttons or a key could walk). The engine's zoom stays
// at 1: Ctrl+wheel and pinches do nothing, the reader's text size is the program's font size. Its
// context menu holds only what works on the element clicked and says what it does: copying the
// selection, the picture, the picture's web address or the link's web address; the bare page
// shows no menu. A page whose renderer ended (or never started) is not left blank: the view says
// so over itself, with a reload button, until the next page it loads; keys that were outside the
// view stay there when that page comes.
class ProgramWebView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit ProgramWebView(QWidget* parent = nullptr);

    // Copies the page's selection: the menu's "复制".
    virtual void copySelection();
    // The reload button's action while the renderer is ended: by default the page loads again.
    void setRendererEndedReload(std::function<void()> reload);
    // What the view says while its renderer is ended.
    static QString webViewFailedTitle();

protected:
    // Whether the menu offers to copy the link's address: a web address only, by default. A link
    // the page made into a script call, or one into the page itself, has none that means
    // anything outside it.
    virtual bool offersLinkAddress(const QUrl& link) const;

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The menu of the element the last context request was made on; null when it has nothing.
    QMenu* elementMenu();
    // The engine draws into a child widget, made and remade with the page's renderer: its input
    // passes here first.
    void watchChild(QObject* child);
    void rendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode);
    void keysCame(const QFocusEvent& event);
    void giveKeysBack(QWidget* old, QWidget* now);
    bool isInside(const QWidget* widget) const;

    LoadStateOverlay* m_rendererEnded;
    std::function<void()> m_rendererEndedReload;
    // The engine gives the keys to the view of the first page after a renderer that ended, by
    // itself; when they were outside the view then, they go back where they came from.
    bool m_keysOutsideWhenEnded = false;
};
