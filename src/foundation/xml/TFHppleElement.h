#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>

class TFHppleElement;
using TFHppleElementList = QList<std::shared_ptr<TFHppleElement>>;

// One node of an HTML or XML page found by a path query, read from its node dictionary (see
// XPathQuery.h). Elements are immutable apart from the link to the element they were reached from.
class TFHppleElement : public std::enable_shared_from_this<TFHppleElement>
{
public:
    TFHppleElement(QVariantMap node, bool isXML, QString encoding);

    static std::shared_ptr<TFHppleElement> hppleElementWithNode(QVariantMap node, bool isXML, QString encoding);
    static std::shared_ptr<TFHppleElement> initWithNode(QVariantMap node, bool isXML, QString encoding);

    const QVariantMap& node() const { return m_node; }
    bool isXML() const { return m_isXML; }
    const QString& encoding() const { return m_encoding; }
    // The element whose children() made this one; null for a search result or once that element
    // is gone (the link does not keep it).
    std::shared_ptr<const TFHppleElement> parent() const { return m_parent.lock(); }

    QString raw() const;
    QString content() const;
    QString tagName() const;

    TFHppleElementList children() const;
    std::shared_ptr<TFHppleElement> firstChild() const;
    // Attribute name -> value text, from every attribute that has both.
    QVariantMap attributes() const;
    QString objectForKey(const QString& key) const;
    QString operator[](const QString& key) const { return objectForKey(key); }
    bool hasChildren() const;
    bool isTextNode() const;

    TFHppleElementList childrenWithTagName(const QString& tagName) const;
    std::shared_ptr<TFHppleElement> firstChildWithTagName(const QString& tagName) const;
    TFHppleElementList childrenWithClassName(const QString& className) const;
    std::shared_ptr<TFHppleElement> firstChildWithClassName(const QString& className) const;
    std::shared_ptr<TFHppleElement> firstTextChild() const;
    QString text() const;

    // Parses this element's markup as a document of its own and searches it.
    TFHppleElementList searchWithXPathQuery(const QString& query) const;

    QString description() const;

private:
    QVariantMap m_node;
    bool m_isXML = false;
    QString m_encoding;
    std::weak_ptr<const TFHppleElement> m_parent;
};
