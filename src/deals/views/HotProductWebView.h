#pragma once

#include "foundation/models/HotProductModel.h"
#include "ui/web/BrowserLinksPage.h"
#include "ui/web/ProgramWebView.h"

#include <QStringList>
#include <QVariant>

class LoadStateOverlay;
class DealPageLoader;
class HotProductWebPage;

// The object behind the deal page's window.external: only the name the page calls
// ("clickDouZaiMai" of its "大家还在买" rows), and only for calls the deal page's document makes
// while the view shows it.
class HotProductBridge : public QObject
{
    Q_OBJECT

public:
    explicit HotProductBridge(HotProductWebPage* page);

public slots:
    void clickDouZaiMai(const QVariant& productId);

private:
    HotProductWebPage* m_page;
};

// The deal page's web page: the deal page is the only document it shows. A clicked link leaves
// for the browser instead, as do new windows ("去购买").
class HotProductWebPage : public BrowserLinksPage
{
    Q_OBJECT

public:
    explicit HotProductWebPage(QObject* parent = nullptr);

    // Puts the deal page's markup into the view.
    void showDealHtml(const QString& html);
    // The page on screen is markup put into the view, not an outside page.
    bool showsDealPage() const;

signals:
    void douZaiMaiClicked(const QString& productId);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

// The deal page of the detail pane, hidden until a deal is shown.
class HotProductWebView : public ProgramWebView
{
    Q_OBJECT
public:
    explicit HotProductWebView(QWidget* parent = nullptr);
    ~HotProductWebView() override;

    using QWebEngineView::show;
    // Loads the deal into the page (cached detail at once, then the service's); does not show the view.
    void show(const QString& productId, bool byClick);
    const QStringList& recordHot() const;
    // Drops every entry of that deal from recordHot (the back button leaves it).
    void removeRecordHot(const QString& productId);
    HotProductModelPtr productModel() const;

    DealPageLoader* loader() const { return m_loader; }
    HotProductWebPage* dealPage() const { return m_page; }
    LoadStateOverlay* loadState() const { return m_loadState; }

signals:
    // A "大家还在买" row of the page was clicked: the deal the user wants to open.
    void clickDouZaiMai(const QString& productId);

private:
    // The spinner while the deal's detail is on its way with nothing to show yet; the error view
    // when it could not be had.
    void updateLoadState();

    DealPageLoader* m_loader;
    HotProductWebPage* m_page;
    LoadStateOverlay* m_loadState;
};
