#pragma once

#include "deals/DealsApi.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class AFHTTPSessionManager;

// The deal page's work: show(id) empties the page, shows the cached detail of that deal at once
// when there is one, then asks the deals service for the detail, caches a good reply and shows
// it. Beside it the "大家还在买" list is asked for and handed to the installed block builder.
class DealPageLoader : public QObject
{
    Q_OBJECT
public:
    explicit DealPageLoader(QObject* parent = nullptr);
    ~DealPageLoader() override;

    void show(const QString& productId, bool byClick);
    // Asks for the shown deal's detail again (the error view's reload): the same steps as show,
    // without a second entry in recordHot.
    void reload();

    // A detail of the shown deal is on the page (the kept copy or the service's).
    bool hasDetail() const { return m_hasDetail; }
    // The detail request of the shown deal has not ended yet.
    bool isLoading() const { return m_loading; }

    // The deal ids shown, in order.
    const QStringList& recordHot() const { return m_recordHot; }
    void removeRecordHot(const QString& productId) { m_recordHot.removeAll(productId); }
    // The shown deal (fields "" until its detail is known).
    HotProductModelPtr productModel() const { return m_deal.model; }
    QString html() const { return m_html; }

signals:
    void pageReady(const QString& html);
    // The detail request has ended (ok: a good detail is shown).
    void detailFinished(bool ok);

private:
    void load(const QString& productId, bool record);
    void requestAlsoBuying();
    void render();

    QString m_productId;
    bool m_hasDetail = false;
    bool m_loading = false;
    DealItem m_deal;
    QString m_alsoBuying;
    QString m_html;
    QStringList m_recordHot;
    std::shared_ptr<AFHTTPSessionManager> m_detailSession;
    std::shared_ptr<AFHTTPSessionManager> m_alsoBuyingSession;
};
