#include "deals/views/HotProductWebView.h"

#include "deals/DealPageLoader.h"

HotProductWebView::HotProductWebView(QWidget* parent) : QWebEngineView(parent), m_loader(new DealPageLoader(this))
{
    setVisible(false);
    connect(m_loader, &DealPageLoader::pageReady, this, [this](const QString& html) { setHtml(html); });
}

HotProductWebView::~HotProductWebView() = default;

void HotProductWebView::show(const QString& productId, bool byClick)
{
    m_loader->show(productId, byClick);
}

const QStringList& HotProductWebView::recordHot() const
{
    return m_loader->recordHot();
}

HotProductModelPtr HotProductWebView::productModel() const
{
    return m_loader->productModel();
}
