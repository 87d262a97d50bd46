#include "foundation/xml/TFHppleElement.h"

#include "foundation/xml/TFHpple.h"
#include "foundation/xml/XPathQuery.h"

#include <QDebug>

namespace {

using namespace XPathQueryKeys;

const QString kClassAttribute = QStringLiteral("class");

std::shared_ptr<TFHppleElement> firstOf(const TFHppleElementList& list)
{
    return list.isEmpty() ? nullptr : list.first();
}

}  // namespace

TFHppleElement::TFHppleElement(QVariantMap node, bool isXML, QString encoding)
    : m_node(std::move(node)), m_isXML(isXML), m_encoding(std::move(encoding))
{
}

std::shared_ptr<TFHppleElement> TFHppleElement::hppleElementWithNode(QVariantMap node, bool isXML, QString encoding)
{
    return std::make_shared<TFHppleElement>(std::move(node), isXML, std::move(encoding));
}

std::shared_ptr<TFHppleElement> TFHppleElement::initWithNode(QVariantMap node, bool isXML, QString encoding)
{
    return hppleElementWithNode(std::move(node), isXML, std::move(encoding));
}

QString TFHppleElement::raw() const
{
    return m_node.value(kRaw).toString();
}

QString TFHppleElement::content() const
{
    return m_node.value(kNodeContent).toString();
}

QString TFHppleElement::tagName() const
{
    return m_node.value(kNodeName).toString();
}

TFHppleElementList TFHppleElement::children() const
{
    TFHppleElementList children;
    const QVariantList childNodes = m_node.value(kNodeChildArray).toList();
    children.reserve(childNodes.size());
    for (const QVariant& childNode : childNodes) {
        auto child = hppleElementWithNode(childNode.toMap(), m_isXML, m_encoding);
        child->m_parent = weak_from_this();
        children.append(std::move(child));
    }
    return children;
}

std::shared_ptr<TFHppleElement> TFHppleElement::firstChild() const
{
    return firstOf(children());
}

QVariantMap TFHppleElement::attributes() const
{
    QVariantMap attributes;
    const QVariantList attributeNodes = m_node.value(kNodeAttributeArray).toList();
    for (const QVariant& attributeNode : attributeNodes) {
        const QVariantMap attribute = attributeNode.toMap();
        if (attribute.contains(kNodeContent) && attribute.contains(kAttributeName))
            attributes.insert(attribute.value(kAttributeName).toString(), attribute.value(kNodeContent));
    }
    return attributes;
}

QString TFHppleElement::objectForKey(const QString& key) const
{
    return attributes().value(key).toString();
}

bool TFHppleElement::hasChildren() const
{
    return m_node.contains(kNodeChildArray);
}

bool TFHppleElement::isTextNode() const
{
    return tagName() == kTextNodeName && m_node.contains(kNodeContent);
}

TFHppleElementList TFHppleElement::childrenWithTagName(const QString& tagName) const
{
    TFHppleElementList matches;
    for (const auto& child : children()) {
        if (child->tagName() == tagName)
            matches.append(child);
    }
    return matches;
}

std::shared_ptr<TFHppleElement> TFHppleElement::firstChildWithTagName(const QString& tagName) const
{
    return firstOf(childrenWithTagName(tagName));
}

TFHppleElementList TFHppleElement::childrenWithClassName(const QString& className) const
{
    TFHppleElementList matches;
    for (const auto& child : children()) {
        if (child->objectForKey(kClassAttribute) == className)
            matches.append(child);
    }
    return matches;
}

std::shared_ptr<TFHppleElement> TFHppleElement::firstChildWithClassName(const QString& className) const
{
    return firstOf(childrenWithClassName(className));
}

std::shared_ptr<TFHppleElement> TFHppleElement::firstTextChild() const
{
    for (const auto& child : children()) {
        if (child->isTextNode())
            return child;
    }
    return firstChildWithTagName(kTextNodeName);
}

QString TFHppleElement::text() const
{
    const auto textChild = firstTextChild();
    return textChild ? textChild->content() : QString();
}

TFHppleElementList TFHppleElement::searchWithXPathQuery(const QString& query) const
{
    return TFHpple(raw().toUtf8(), m_encoding, m_isXML).searchWithXPathQuery(query);
}

QString TFHppleElement::description() const
{
    QString description;
    QDebug(&description) << m_node;
    return description;
}
