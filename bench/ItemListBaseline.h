#pragma once

// The plain-library sides of the item-list benchmarks (the news list and the search window): libxml2
// reading a channel of items as the list readers do, and a bare QListView painting the titles.

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QImage>
#include <QListView>
#include <QStringList>
#include <QStringListModel>
#include <QStyledItemDelegate>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <utility>

namespace bench {

// libxml2 doing a list reader's work: the tree, every child text of every item of the channel and,
// when one is named, that attribute of each item. Returns the number of items read.
inline int libxml2ReadChannelItems(const QByteArray& xml, const char* itemAttribute = nullptr)
{
    xmlDocPtr doc = xmlReadMemory(xml.constData(), int(xml.size()), nullptr, nullptr, XML_PARSE_NONET);
    if (!doc)
        return 0;
    int items = 0;
    xmlNodePtr root = xmlDocGetRootElement(doc);
    for (xmlNodePtr channel = root ? root->children : nullptr; channel; channel = channel->next) {
        if (channel->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char*>(channel->name), "channel"))
            continue;
        for (xmlNodePtr item = channel->children; item; item = item->next) {
            if (item->type != XML_ELEMENT_NODE)
                continue;
            QStringList fields;
            for (xmlNodePtr child = item->children; child; child = child->next) {
                if (child->type != XML_ELEMENT_NODE)
                    continue;
                xmlChar* text = xmlNodeGetContent(child);
                fields.append(QString::fromUtf8(reinterpret_cast<const char*>(text)));
                xmlFree(text);
            }
            if (itemAttribute) {
                if (xmlChar* value = xmlGetProp(item, BAD_CAST itemAttribute))
                    xmlFree(value);
            }
            benchmark::DoNotOptimize(fields);
            ++items;
        }
    }
    xmlFreeDoc(doc);
    return items;
}

// A bare QListView whose QStyledItemDelegate paints the titles in rows of one height, the plain
// Qt counterpart of a list view: pass() resets the model, lays the rows out and renders the viewport.
class BareTitleList
{
public:
    BareTitleList(QSize size, int rowHeight, QStringList titles)
        : m_titles(std::move(titles)), m_image(size, QImage::Format_ARGB32_Premultiplied)
    {
        m_view.resize(size);
        m_view.setModel(&m_model);
        m_view.setItemDelegate(new FixedRowDelegate(QSize(size.width(), rowHeight), &m_view));
        m_view.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    }

    void pass()
    {
        m_model.setStringList(m_titles);
        m_view.doItemsLayout();
        m_view.viewport()->render(&m_image);
    }

private:
    class FixedRowDelegate : public QStyledItemDelegate
    {
    public:
        FixedRowDelegate(QSize row, QObject* parent) : QStyledItemDelegate(parent), m_row(row) {}
        QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return m_row; }

    private:
        QSize m_row;
    };

    QListView m_view;
    QStringListModel m_model;
    QStringList m_titles;
    QImage m_image;
};

}  // namespace bench
