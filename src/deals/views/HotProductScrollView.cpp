#include "deals/views/HotProductScrollView.h"

#include "deals/HotProductListModel.h"

#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

HotProductScrollView::HotProductScrollView(QWidget* parent)
    : QWidget(parent), m_model(new HotProductListModel(this)), m_list(new QListView(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(8, 4, 8, 4);
    const QStringList names = m_model->categories();
    for (int i = 0; i < names.size(); ++i) {
        auto* button = new QPushButton(names[i], this);
        button->setCheckable(true);
        button->setFlat(true);
        connect(button, &QPushButton::clicked, this, [this, i] { select(i); });
        bar->addWidget(button);
        m_buttons.append(button);
    }
    bar->addStretch(1);
    layout->addLayout(bar);
    layout->addWidget(m_list, 1);
    m_list->setModel(m_model);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) {
        m_model->markRead(index.row());
        emit dealChosen(index.data(HotProductListModel::ProductIdRole).toString());
    });
}

void HotProductScrollView::showLastSelectedIndex()
{
    if (m_lastSelected >= 0 && m_lastSelected < m_buttons.size())
        m_buttons[m_lastSelected]->click();
}

void HotProductScrollView::select(int index)
{
    m_lastSelected = index;
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setChecked(i == index);
    m_model->selectCategory(index);
}
