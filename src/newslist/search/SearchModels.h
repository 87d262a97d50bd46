#pragma once

#include <QAbstractListModel>

class SearchNewsPresenter;

// The rows of the result table: one per result of the current kind, then the more button's row;
// no rows at all without results. The presenter owns the lists and says when they changed.
class SearchResultModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        DateRole = Qt::UserRole + 1,  // the date text the row shows
        SelectedRole,                 // the row's item is the one last opened
        MoreRowRole,                  // the last row: the more button
    };

    static constexpr int kRowHeight = 63;

    explicit SearchResultModel(const SearchNewsPresenter& presenter, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The presenter's brackets around its changes.
    void beginReload() { beginResetModel(); }
    void endReload() { endResetModel(); }
    // Rows first..last (model rows, before the more row) are added at the end of the results.
    void beginAppend(int first, int last) { beginInsertRows(QModelIndex(), first, last); }
    void endAppend() { endInsertRows(); }
    void rowsChanged(int first, int last);

private:
    const SearchNewsPresenter& m_presenter;
};

// The rows of the history table: the header "搜索历史" / "清空记录", then one per keyword of the
// current kind, newest first.
class SearchHistoryModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        HeaderRole = Qt::UserRole + 1,
    };

    static constexpr int kHeaderHeight = 30;
    static constexpr int kRowHeight = 63;

    explicit SearchHistoryModel(const SearchNewsPresenter& presenter, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void beginReload() { beginResetModel(); }
    void endReload() { endResetModel(); }
    void beginRemoveEntry(int entry) { beginRemoveRows(QModelIndex(), entry + 1, entry + 1); }
    void endRemoveEntry() { endRemoveRows(); }

private:
    const SearchNewsPresenter& m_presenter;
};
