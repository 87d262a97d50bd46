#include "deals/DealPageLoader.h"

#include "database/ServerUrls.h"
#include "deals/DealPageBlocks.h"
#include "foundation/GlobalValues.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "platform/StorageRoot.h"

#include <QFile>
#include <QPointer>

DealPageLoader::DealPageLoader(QObject* parent) : QObject(parent) {}

DealPageLoader::~DealPageLoader()
{
    for (const auto& session : {m_detailSession, m_alsoBuyingSession}) {
        if (session)
            session->invalidateSessionCancelingTasks(true);
    }
}

void DealPageLoader::show(const QString& productId, bool byClick)
{
    Q_UNUSED(byClick);
    load(productId, true);
}

void DealPageLoader::reload()
{
    load(m_productId, false);
}

void DealPageLoader::load(const QString& productId, bool record)
{
    if (m_detailSession)
        m_detailSession->invalidateSessionCancelingTasks(true);
    m_detailSession.reset();
    m_productId = productId;
    m_deal = DealItem();
    m_hasDetail = false;
    m_loading = false;
    m_html = DealsApi::emptyPageHtml(gThemeMode);
    emit pageReady(m_html);
    if (!DealsApi::isProductId(productId)) {
        emit detailFinished(false);
        return;
    }
    m_deal.model->pro_productid = productId;
    if (record)
        m_recordHot.append(productId);
    m_loading = true;

    const QString cachePath = DealsApi::detailCachePath(productId);
    QFile cached(cachePath);
    if (cached.open(QIODevice::ReadOnly)) {
        if (const auto deal = DealsApi::parseDetail(cached.readAll()); deal && deal->model->pro_productid == productId) {
            m_deal = *deal;
            render();
        }
    }

    QPointer<DealPageLoader> self(this);
    m_detailSession = AFNetManager::requestWithUrlString(
        kUrlZefupDetail, true, DealsApi::detailParameters(productId), 1, nullptr,
        [self, productId, cachePath](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!self || self->m_productId != productId)
                return;
            const QByteArray bytes = body.toByteArray();
            const auto deal = DealsApi::parseDetail(bytes);
            self->m_loading = false;
            if (!deal || deal->model->pro_productid != productId) {
                emit self->detailFinished(false);
                return;
            }
            StorageRoot::writeFileAtomically(cachePath, bytes);
            self->m_deal = *deal;
            self->render();
            emit self->detailFinished(true);
        },
        [self, productId](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (!self || self->m_productId != productId || error.code == NSURLErrorCancelled)
                return;
            self->m_loading = false;
            emit self->detailFinished(false);
        });
    requestAlsoBuying();
}

void DealPageLoader::requestAlsoBuying()
{
    const auto blocks = DealPageBlocks::installed();
    if (!blocks || m_alsoBuyingSession)
        return;
    QPointer<DealPageLoader> self(this);
    m_alsoBuyingSession = AFNetManager::requestWithUrlString(
        kUrlZefupDouZaiMai, true, DealsApi::alsoBuyingParameters(), 1, nullptr,
        [self, blocks](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!self)
                return;
            self->m_alsoBuyingSession.reset();
            const auto items = DealsApi::listItems(body.toByteArray());
            if (!items || items->isEmpty())
                return;
            const QString productId = self->m_productId;
            const QString block = blocks->GetNewsPageHaiZaiMaiBody(*items, productId);
            // The builder hands back the id it was given before the block.
            if (!block.startsWith(productId))
                return;
            self->m_alsoBuying = block.mid(productId.size());
            if (!self->m_deal.model->pro_productName.isEmpty())
                self->render();
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error&) {
            if (self)
                self->m_alsoBuyingSession.reset();
        });
}

void DealPageLoader::render()
{
    m_hasDetail = true;
    m_html = DealsApi::detailPageHtml(m_deal, m_alsoBuying, gThemeMode);
    emit pageReady(m_html);
}
