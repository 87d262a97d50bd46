#include "deals/views/HotProductWebView.h"

#include "deals/DealPageLoader.h"
#include "deals/DealsApi.h"
#include "platform/UrlOpener.h"
#include "ui/controls/LoadStateOverlay.h"

#include <QWebEngineSettings>

namespace {

// The address the deal page is shown under: the page has no address of its own, and this one
// tells it from anything else the view might hold.
const QUrl& dealPageAddress()
{
    static const QUrl address(QStringLiteral("about:blank#tidwen-deal"));
    return address;
}

}  // namespace

HotProductBridge::HotProductBridge(HotProductWebPage* page) : QObject(page), m_page(page) {}

void HotProductBridge::clickDouZaiMai(const QVariant& productId)
{
    const QString id = ExternalShim::textOf(productId);
    if (m_page->showsDealPage() && DealsApi::isProductId(id))
        emit m_page->douZaiMaiClicked(id);
}

HotProductWebPage::HotProductWebPage(QObject* parent) : BrowserLinksPage(parent)
{
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    ExternalShim::install(this, new HotProductBridge(this), {QStringLiteral("clickDouZaiMai")},
                          [](const QUrl& document) { return document == dealPageAddress(); });
}

void HotProductWebPage::showDealHtml(const QString& html)
{
    setHtml(html, dealPageAddress());
}

bool HotProductWebPage::showsDealPage() const
{
    // A page put while the one before it is still loading can be reported with the address of its
    // data instead of the deal page's; no outside page has such an address.
    return url() == dealPageAddress() || url().scheme() == QLatin1String("data");
}

bool HotProductWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (isMainFrame && type == NavigationTypeLinkClicked) {
        UrlOpener::open(url);
        return false;
    }
    return BrowserLinksPage::acceptNavigationRequest(url, type, isMainFrame);
}

HotProductWebView::HotProductWebView(QWidget* parent)
    : ProgramWebView(parent), m_loader(new DealPageLoader(this)), m_page(new HotProductWebPage(this)),
      m_loadState(new LoadStateOverlay(this, QStringLiteral("新闻加载失败"), 94))
{
    setPage(m_page);
    setVisible(false);
    connect(m_loader, &DealPageLoader::pageReady, m_page, &HotProductWebPage::showDealHtml);
    connect(m_loader, &DealPageLoader::detailFinished, this, &HotProductWebView::updateLoadState);
    connect(m_page, &HotProductWebPage::douZaiMaiClicked, this, &HotProductWebView::clickDouZaiMai);
}

HotProductWebView::~HotProductWebView() = default;

void HotProductWebView::show(const QString& productId, bool byClick)
{
    m_loader->show(productId, byClick);
    updateLoadState();
}

void HotProductWebView::updateLoadState()
{
    if (m_loader->hasDetail())
        m_loadState->clear();
    else if (m_loader->isLoading())
        m_loadState->showLoading();
    else
        m_loadState->showFailure([this] {
            m_loader->reload();
            updateLoadState();
        });
}

const QStringList& HotProductWebView::recordHot() const
{
    return m_loader->recordHot();
}

void HotProductWebView::removeRecordHot(const QString& productId)
{
    m_loader->removeRecordHot(productId);
}

HotProductModelPtr HotProductWebView::productModel() const
{
    return m_loader->productModel();
}
