#pragma once

#include "WebClick.h"

#include "ArticleTestSupport.h"
#include "TestEnvironment.h"

#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

// Runs a script in the pane's page and waits for its value (null after thirty seconds). Scripts
// of one page run in the order they are sent, so the value also says the ones before it ran.
inline QVariant runScript(RightViewController& view, const QString& script)
{
    QVariant result;
    bool done = false;
    view.webPage()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    waitUntil([&] { return done; }, 30000);
    return result;
}

// The news-content path of article 123456.
inline const QString kArticlePath = QStringLiteral("/xml/newscontent/123/456.xml");

// A shown pane over the loopback server, with helpers to route and open articles.
class RightViewControllerTest : public ArticleFixture
{
protected:
    void SetUp() override
    {
        ArticleFixture::SetUp();
        view = std::make_unique<RightViewController>();
        view->resize(900, 700);
        view->show();
    }
    void TearDown() override
    {
        view.reset();
        ArticleFixture::TearDown();
    }
    void routeArticle(const QString& title, const QString& body, const QString& path = kArticlePath,
                      const QString& id = QStringLiteral("123456"))
    {
        server.route("GET", path, LoopbackReply::text(200, articleXml(id, title, body), "text/xml; charset=utf-8")
                                      .withHeader("Last-Modified", "Mon, 07 Dec 2026 08:00:00 GMT"));
    }
    bool openAndWait(const QString& id = QStringLiteral("123456"))
    {
        view->show(item(id));
        // A page of megabytes takes a while on a loaded machine.
        return waitUntil([&] { return view->pane()->bSucLoad(); }, 180000);
    }
    QString text(const QString& selector)
    {
        return runScript(*view, QStringLiteral("(function(){var e=document.querySelector(%1);return e?e.textContent:null;})()")
                                    .arg(HtmlTextLiteral(selector)))
            .toString();
    }
    static QString HtmlTextLiteral(const QString& text) { return QStringLiteral("'") + text + QStringLiteral("'"); }
    qsizetype historySize() { return view->recordNewsAndHot().size(); }
    // A real mouse click (a user gesture, unlike a script's click()) in the middle of the element.
    bool clickElement(const QString& selector) { return ::clickElement(view->webView(), selector); }

    std::unique_ptr<RightViewController> view;
};
