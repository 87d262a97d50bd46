#pragma once

// What the item-list benchmarks (the news list and the search window) share: the channel of items
// they read, and its plain-library sides: libxml2 reading the channel as the list readers do, and a
// bare QListView painting the titles.

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QImage>
#include <QListView>
#include <QString>
#include <QStringList>
#include <QStringListModel>
#include <QStyledItemDelegate>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <functional>
#include <utility>

namespace bench {

// The values of one item of a generated channel; the other children are the same in every item.
struct ChannelItem
{
    QString attributes;  // written inside the item's start tag, with their leading space
    int newsId = 0;
    QString title;
    QString month;  // "2026/12": the folder of the article and thumbnail addresses
    QString postDate;
    QString description;
    int hits = 0;
    int comments = 0;
};

// An RSS channel of count items, every child a list reader takes filled in; item(i) gives the
// values of the i-th.
inline QByteArray channelXml(int count, const std::function<ChannelItem(int)>& item)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel>\n";
    for (int i = 0; i < count; ++i) {
        const ChannelItem values = item(i);
        const QString id = QString::number(values.newsId);
        xml += QStringLiteral("<item%1><newsid>%2</newsid><title>%3</title>"
                              "<url>http://www.tidwen.example/html/%4/%2.htm</url><postdate>%5</postdate>"
                              "<newssource>编辑部</newssource><z>小编</z><c></c><v>010</v><newsauthor>作者</newsauthor>"
                              "<image>http://img.tidwen.example/newsuploadfiles/thumbnail/%4/%2.jpg</image>"
                              "<description>%6</description><detail></detail>"
                              "<hitcount>%7</hitcount><commentcount>%8</commentcount><forbidcomment>false</forbidcomment></item>\n")
                   .arg(values.attributes, id, values.title, values.month, values.postDate, values.description,
                        QString::number(values.hits), QString::number(values.comments))
                   .toUtf8();
    }
    return xml + "</channel></rss>\n";
}

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
