#pragma once

#include "deals/DealsApi.h"

#include <QAbstractListModel>
#include <QStringList>

#include <memory>

class AFHTTPSessionManager;

// The deals view's state: the category names (the first is the whole list) and the deals of
// the selected category. The first category asks the index list, the others the category list
// with its name as "tag". The whole list's first row holds the channel's top slides, asked for
// with each load of that list, while there are any; the deals follow it.
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
        PictureRole,  // the thumbnail's address (QUrl, empty when none; nothing on the slide row)
        SlideRowRole,  // true on the first row of the whole list when it holds the top slides
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
    // The top slides (kept when the reader moves to another category and back).
    const QList<slideDataPtr>& slides() const { return m_slides; }
    bool hasSlideRow() const { return m_selected == 0 && !m_slides.isEmpty(); }
    // The row of the deal at that place of deals(), past the slide row.
    int rowOfDeal(int deal) const { return deal + (hasSlideRow() ? 1 : 0); }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    void loadStarted();
    void loadFinished(bool ok);
    // New top slides stand in the slide row.
    void slidesChanged();

private:
    // The deal a row shows; null on the slide row and outside the list.
    const DealItem* dealAt(int row) const;
    void loadSlides();
    void setSlides(const QList<slideDataPtr>& slides);

    QStringList m_categories;
    int m_selected = -1;
    bool m_loading = false;
    QList<DealItem> m_deals;
    QList<slideDataPtr> m_slides;
    std::shared_ptr<AFHTTPSessionManager> m_session;
    std::shared_ptr<AFHTTPSessionManager> m_slideSession;
};
