#pragma once

#include "foundation/models/HotProductModel.h"

#include <QStringList>
#include <QWebEngineView>

class DealPageLoader;

// The deal page of the detail pane, hidden until a deal is shown.
class HotProductWebView : public QWebEngineView
{
    Q_OBJECT
public:
    explicit HotProductWebView(QWidget* parent = nullptr);
    ~HotProductWebView() override;

    using QWebEngineView::show;
    // Loads the deal into the page (cached detail at once, then the service's); does not show the view.
    void show(const QString& productId, bool byClick);
    const QStringList& recordHot() const;
    HotProductModelPtr productModel() const;

    DealPageLoader* loader() const { return m_loader; }

private:
    DealPageLoader* m_loader;
};
