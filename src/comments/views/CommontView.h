#pragma once

#include <QString>
#include <QWebEngineView>

class CommentPageLoader;

// The comment page of the detail pane: the open article's comments in a web page.
class CommontView : public QWebEngineView
{
    Q_OBJECT
public:
    explicit CommontView(QWidget* parent = nullptr);
    ~CommontView() override;

    void openNewsComment(const QString& newsId, const QString& newsTitle, const QString& newsLink);
    void refreshComment(bool userAsked);
    // Calls the page's own SetFontFamily with the family name.
    void SetFontFamily(const QString& family);

    CommentPageLoader* loader() const { return m_loader; }

signals:
    // The page built from the latest list has been put into the view.
    void commentPageShown(bool ok);

private:
    CommentPageLoader* m_loader;
};
