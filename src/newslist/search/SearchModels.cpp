#include "newslist/search/SearchModels.h"

#include "newslist/search/SearchNewsPresenter.h"

#include <QSize>

SearchResultModel::SearchResultModel(const SearchNewsPresenter& presenter, QObject* parent)
    : QAbstractListModel(parent), m_presenter(presenter)
{
}

int SearchResultModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    const qsizetype count = m_presenter.resultCount();
    return count == 0 ? 0 : int(count + 1);
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const qsizetype count = m_presenter.resultCount();
    const bool more = index.row() == count;
    if (role == MoreRowRole)
        return more;
    if (role == Qt::SizeHintRole)
        return QSize(0, kRowHeight);
    if (more)
        return role == Qt::DisplayRole ? QVariant(m_presenter.moreTitle()) : QVariant();
    const SearchNewsPresenter::ResultRow row = m_presenter.resultRow(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.title;
    case DateRole:
        return row.date;
    case SelectedRole:
        return row.selected;
    default:
        return {};
    }
}

Qt::ItemFlags SearchResultModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void SearchResultModel::rowsChanged(int first, int last)
{
    if (first > last || last >= rowCount())
        return;
    emit dataChanged(index(first), index(last));
}

SearchHistoryModel::SearchHistoryModel(const SearchNewsPresenter& presenter, QObject* parent)
    : QAbstractListModel(parent), m_presenter(presenter)
{
}

int SearchHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_presenter.historyArray().size() + 1);
}

QVariant SearchHistoryModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const bool header = index.row() == 0;
    switch (role) {
    case HeaderRole:
        return header;
    case Qt::SizeHintRole:
        return QSize(0, header ? kHeaderHeight : kRowHeight);
    case Qt::DisplayRole:
        return header ? QStringLiteral("搜索历史") : m_presenter.historyArray().at(index.row() - 1)->searchKey;
    default:
        return {};
    }
}

Qt::ItemFlags SearchHistoryModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
