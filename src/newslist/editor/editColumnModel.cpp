#include "newslist/editor/editColumnModel.h"

#include "database/DatabaseOperate.h"

namespace {

// Position of the channel in the list, or -1.
qsizetype indexOfChannel(const QList<NewsListDataPtr>& channels, int64_t listId)
{
    for (qsizetype i = 0; i < channels.size(); ++i) {
        if (channels.at(i)->iListID == listId)
            return i;
    }
    return -1;
}

}  // namespace

editColumnModel::editColumnModel(ColumnLink column) : m_column(std::move(column)) {}

void editColumnModel::viewDidLoad()
{
    m_currentIndex = kNoIndex;
    updateDataSource();
}

QRect editColumnModel::gridFrame(int index, int lineBottom)
{
    return QRect(20 + (index % 4) * 80, lineBottom + 10 + (index / 4) * 30, 70, 20);
}

void editColumnModel::updateDataSource()
{
    DatabaseOperate::Lease store;
    if (!store)
        return;
    if (!m_selectedArray.isEmpty() || !m_optionalArray.isEmpty()) {
        m_updateArray = m_selectedArray + m_optionalArray;
        store->NewsList_OnlyUpdateNewsListByNewsListID(m_updateArray);
    }
    m_selectedArray.clear();
    m_optionalArray.clear();
    store->NewsList_getCurrentDisplayNewsList(m_selectedArray);
    store->NewsList_getCurrentNoDisplayNewsList(m_optionalArray);
}

QList<NewsListDataPtr> editColumnModel::readShown() const
{
    QList<NewsListDataPtr> shown;
    DatabaseOperate::Lease store;
    if (store)
        store->NewsList_getCurrentDisplayNewsList(shown);
    return shown;
}

void editColumnModel::BeOptional(int64_t listId)
{
    if (listId == kFixedChannel)
        return;
    const qsizetype found = indexOfChannel(m_selectedArray, listId);
    if (found < 0)
        return;
    m_currentData = m_selectedArray.takeAt(found);
    m_currentIndex = int32_t(found);
    m_currentData->bDisplay = false;
    m_currentData->iDisplayOrder = 0;
    // The shown channels keep 1, 2, 3 ... without a gap, in their order.
    for (qsizetype i = 0; i < m_selectedArray.size(); ++i)
        m_selectedArray.at(i)->iDisplayOrder = i + 1;
    m_currentIndex = kNoIndex;
    m_optionalArray.append(m_currentData);
    updateDataSource();
    if (m_column.createNewsItemNewsListArray)
        m_column.createNewsItemNewsListArray(readShown());
}

void editColumnModel::BeSelected(int64_t listId)
{
    const qsizetype found = indexOfChannel(m_optionalArray, listId);
    if (found < 0)
        return;
    m_currentData = m_optionalArray.takeAt(found);
    m_currentData->bDisplay = true;
    m_currentData->iDisplayOrder = m_selectedArray.size() + 1;
    m_selectedArray.append(m_currentData);
    updateDataSource();
    if (m_column.updateColumn)
        m_column.updateColumn(readShown());
}
