#pragma once

#include "deals/DealsApi.h"

#include <QAbstractListModel>
#include <QStringList>

#include <memory>

class AFHTTPSessionManager;

// The deals view's state: the category names (the first is the whole list) and the deals of
// the selected category. The first category asks the index list, the others the category list
// with its name as "tag".
class HotProductListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        ProductIdRole = Qt::UserRole + 1,
        NameRole,
        StoreRole,
        TimeRole,
        PromotionRole,
        ReadRole,  // opened before
        PictureRole,  // the thumbnail's address (QUrl, empty when none)
    };

    explicit HotProductListModel(QObject* parent = nullptr);
    ~HotProductListModel() override;

    // The stored category names, read once.
    const QStringList& categories() const { return m_categories; }
    int selectedIndex() const { return m_selected; }
    // Selects a category and loads its first page; an index out of range does nothing. Another
    // category's deals leave at once: they never stand under the new category's button.
    void selectCategory(int index);
    // A category's list is on its way.
    bool isLoading() const { return m_loading; }

    // The user opened the deal of that row: it is marked read, here and in the store.
    void markRead(int row);

    const QList<DealItem>& deals() const { return m_deals; }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    void loadStarted();
    void loadFinished(bool ok);

private:
    QStringList m_categories;
    int m_selected = -1;
    bool m_loading = false;
    QList<DealItem> m_deals;
    std::shared_ptr<AFHTTPSessionManager> m_session;
};
