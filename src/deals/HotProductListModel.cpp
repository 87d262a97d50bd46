#include "deals/HotProductListModel.h"

#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"

#include <QColor>
#include <QPointer>

HotProductListModel::HotProductListModel(QObject* parent) : QAbstractListModel(parent)
{
    QStringList names;
    {
        DatabaseOperate::Lease store;
        if (store)
            store->HotProduct_getList(names);
    }
    m_categories = names;
}

HotProductListModel::~HotProductListModel()
{
    for (const auto& session : {m_session, m_slideSession}) {
        if (session)
            session->invalidateSessionCancelingTasks(true);
    }
}

void HotProductListModel::selectCategory(int index)
{
    if (index < 0 || index >= m_categories.size())
        return;
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
    if (index != m_selected) {
        // The slide row comes and goes with the whole list.
        beginResetModel();
        m_deals.clear();
        m_selected = index;
        endResetModel();
    }
    m_selected = index;
    m_loading = true;
    emit loadStarted();
    const bool all = index == 0;
    if (all)
        loadSlides();
    const QString url = all ? kUrlZefupIndexList : kUrlZefupTag;
    QPointer<HotProductListModel> self(this);
    m_session = AFNetManager::requestWithUrlString(
        url, true, DealsApi::listParameters(0, all ? QString() : m_categories[index]), 1, nullptr,
        [self, index](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!self || self->m_selected != index)
                return;
            const auto deals = DealsApi::parseList(body.toByteArray());
            if (deals) {
                QList<HotProductModelPtr> models;
                for (const DealItem& deal : *deals)
                    models.append(deal.model);
                {
                    DatabaseOperate::Lease store;
                    if (store)
                        store->getZefupState(models);
                }
                self->beginResetModel();
                self->m_deals = *deals;
                self->endResetModel();
            }
            self->m_loading = false;
            emit self->loadFinished(deals.has_value());
        },
        [self, index](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (!self || self->m_selected != index || error.code == NSURLErrorCancelled)
                return;
            self->m_loading = false;
            emit self->loadFinished(false);
        });
}

void HotProductListModel::loadSlides()
{
    if (m_slideSession)
        m_slideSession->invalidateSessionCancelingTasks(true);
    QPointer<HotProductListModel> self(this);
    // A failed or empty reply keeps the slides there were: they are only not new.
    m_slideSession = AFNetManager::requestWithUrlString(
        kUrlZefupFocus, true, DealsApi::focusParameters(), 1, nullptr,
        [self](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!self)
                return;
            const auto slides = DealsApi::parseFocus(body.toByteArray());
            if (slides && !slides->isEmpty())
                self->setSlides(*slides);
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}

void HotProductListModel::setSlides(const QList<slideDataPtr>& slides)
{
    if (m_selected != 0) {
        m_slides = slides;
        return;
    }
    if (m_slides.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, 0);
        m_slides = slides;
        endInsertRows();
    } else {
        m_slides = slides;
    }
    emit slidesChanged();
}

const DealItem* HotProductListModel::dealAt(int row) const
{
    const int deal = row - (hasSlideRow() ? 1 : 0);
    return deal >= 0 && deal < m_deals.size() ? &m_deals[deal] : nullptr;
}

void HotProductListModel::markRead(int row)
{
    const DealItem* deal = dealAt(row);
    if (deal == nullptr)
        return;
    const HotProductModelPtr& model = deal->model;
    {
        DatabaseOperate::Lease store;
        if (store)
            store->setZefupState(model->pro_productid, true);
    }
    model->isHaveRead = true;
    emit dataChanged(index(row), index(row));
}

int HotProductListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_deals.size()) + (hasSlideRow() ? 1 : 0);
}

QVariant HotProductListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (hasSlideRow() && index.row() == 0)
        return role == SlideRowRole ? QVariant(true) : QVariant();
    const DealItem& deal = *dealAt(index.row());
    switch (role) {
    case SlideRowRole:
        return false;
    case Qt::DisplayRole:
    case NameRole:
        return deal.model->pro_productName;
    case ProductIdRole:
        return deal.model->pro_productid;
    case StoreRole:
        return deal.storeName;
    case TimeRole:
        return deal.model->pro_createTime;
    case PromotionRole:
        return deal.promotion;
    case ReadRole:
        return deal.model->isHaveRead;
    case PictureRole:
        return DealsApi::pictureUrl(deal);
    case Qt::ForegroundRole:
        return deal.model->isHaveRead ? QVariant(QColor(0x99, 0x99, 0x99)) : QVariant();
    default:
        return {};
    }
}
