#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

// Serves the article pages and the files of the article bundle under "tidwenpage://bundle/".
// The scheme is not local: a local scheme would keep the page from loading its http pictures,
// and a page of any size goes through here (a page handed to setHtml may not pass 2 MB).
class ArticleSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    explicit ArticleSchemeHandler(QObject* parent = nullptr);

    // Must run before the application object exists (src/app/main.cpp and the tests do it).
    static void registerScheme();
    // The handler of the profile, installed on first use.
    static ArticleSchemeHandler* forProfile(QWebEngineProfile* profile);

    // Keeps the page (only the newest few) and answers its address.
    QUrl publishPage(quint64 generation, const QString& html);
    // Keeps a page under a name of its own for as long as the handler lives; its address. A page
    // shown between articles comes from here, not from setHtml: a page of another site makes the
    // engine start a new web process for the next article.
    QUrl keepPage(const QString& name, const QString& html);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QMutex m_mutex;
    QHash<QString, QByteArray> m_pages;  // path -> page bytes
    QList<QString> m_order;
};
