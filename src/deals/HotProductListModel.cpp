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
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
}

void HotProductListModel::selectCategory(int index)
{
    if (index < 0 || index >= m_categories.size())
        return;
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
    if (index != m_selected && !m_deals.isEmpty()) {
        beginResetModel();
        m_deals.clear();
        endResetModel();
    }
    m_selected = index;
    m_loading = true;
    emit loadStarted();
    const bool all = index == 0;
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

void HotProductListModel::markRead(int row)
{
    if (row < 0 || row >= m_deals.size())
        return;
    const HotProductModelPtr& model = m_deals[row].model;
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
    return parent.isValid() ? 0 : int(m_deals.size());
}

QVariant HotProductListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DealItem& deal = m_deals[index.row()];
    switch (role) {
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
