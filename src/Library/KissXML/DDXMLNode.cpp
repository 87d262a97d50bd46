#include "Library/KissXML/DDXMLNode.h"

#include "Library/KissXML/DDXMLAttributeNode.h"
#include "Library/KissXML/DDXMLDocument.h"
#include "Library/KissXML/DDXMLElement.h"
#include "Library/KissXML/DDXMLInvalidNode.h"
#include "Library/KissXML/DDXMLNamespaceNode.h"
#include "Library/KissXML/DDXMLPrivate.h"

#include <libxml/entities.h>
#include <libxml/valid.h>

#include <algorithm>
#include <typeinfo>

using namespace DDXMLPrivate;

namespace {

xmlNodePtr asNode(void* structure)
{
    return static_cast<xmlNodePtr>(structure);
}

}  // namespace

DDXMLException::DDXMLException(const QString& reason)
    : std::logic_error(reason.toStdString())
{
}

DDXMLNode::~DDXMLNode()
{
    Access::unregister(*this);
}

// ---- creation ----

std::shared_ptr<DDXMLElement> DDXMLNode::elementWithName(const QString& name)
{
    return DDXMLElement::initWithName(name);
}

std::shared_ptr<DDXMLElement> DDXMLNode::elementWithName(const QString& name, const QString& stringValue)
{
    return DDXMLElement::initWithName(name, stringValue);
}

std::shared_ptr<DDXMLElement> DDXMLNode::elementWithName(const QString& name, const List& children,
                                                         const List& attributes)
{
    auto element = DDXMLElement::initWithName(name);
    if (element) {
        element->setChildren(children);
        element->setAttributes(attributes);
    }
    return element;
}

std::shared_ptr<DDXMLElement> DDXMLNode::elementWithNameURI(const QString& name, const QString& URI)
{
    return DDXMLElement::initWithNameURI(name, URI);
}

std::shared_ptr<DDXMLAttributeNode> DDXMLNode::attributeWithName(const QString& name, const QString& stringValue)
{
    ensureThreadSetup();
    QByteArray nameBytes, valueBytes;
    xmlAttrPtr attribute = xmlNewProp(nullptr, xcOrNull(name, nameBytes), xcOrNull(stringValue, valueBytes));
    return adoptAs<DDXMLAttributeNode>(attribute);
}

std::shared_ptr<DDXMLAttributeNode> DDXMLNode::attributeWithName(const QString& name, const QString& URI,
                                                                 const QString& stringValue)
{
    auto attribute = attributeWithName(name, stringValue);
    if (attribute)
        attribute->setURI(URI);
    return attribute;
}

std::shared_ptr<DDXMLNamespaceNode> DDXMLNode::namespaceWithName(const QString& name, const QString& stringValue)
{
    ensureThreadSetup();
    QByteArray prefixBytes, hrefBytes;
    const xmlChar* prefix = name.isEmpty() ? nullptr : xcOrNull(name, prefixBytes);
    return adoptAs<DDXMLNamespaceNode>(xmlNewNs(nullptr, xcOrNull(stringValue, hrefBytes), prefix));
}

DDXMLNode::Ptr DDXMLNode::processingInstructionWithName(const QString& name, const QString& stringValue)
{
    ensureThreadSetup();
    QByteArray nameBytes, contentBytes;
    return adopt(xmlNewPI(xcOrNull(name, nameBytes), xcOrNull(stringValue, contentBytes)));
}

DDXMLNode::Ptr DDXMLNode::commentWithStringValue(const QString& stringValue)
{
    ensureThreadSetup();
    QByteArray bytes;
    return adopt(xmlNewComment(xcOrNull(stringValue, bytes)));
}

DDXMLNode::Ptr DDXMLNode::textWithStringValue(const QString& stringValue)
{
    ensureThreadSetup();
    QByteArray bytes;
    return adopt(xmlNewText(xcOrNull(stringValue, bytes)));
}

std::shared_ptr<DDXMLInvalidNode> DDXMLNode::init()
{
    return std::shared_ptr<DDXMLInvalidNode>(new DDXMLInvalidNode);
}

// ---- navigation ----

int DDXMLNode::kind() const
{
    return kindOf(m_genericPtr);
}

int DDXMLNode::index() const
{
    const int k = kind();
    if (k == 0)
        return 0;
    if (k == XML_NAMESPACE_DECL) {
        int position = 0;
        for (xmlNsPtr ns = declarationsOf(Access::nsParent(*this)); ns; ns = ns->next, ++position) {
            if (ns == m_genericPtr)
                return position;
        }
        return 0;
    }
    int count = 0;
    for (xmlNodePtr sibling = asNode(m_genericPtr)->prev; sibling; sibling = sibling->prev)
        ++count;
    return count;
}

int DDXMLNode::level() const
{
    const int k = kind();
    if (k == 0)
        return 0;
    int count = 0;
    if (k == XML_NAMESPACE_DECL) {
        for (xmlNodePtr node = Access::nsParent(*this); node; node = node->parent)
            ++count;
        return count;
    }
    for (xmlNodePtr node = asNode(m_genericPtr)->parent; node; node = node->parent)
        ++count;
    return count;
}

std::shared_ptr<DDXMLDocument> DDXMLNode::rootDocument() const
{
    const int k = kind();
    xmlNodePtr base = k == XML_NAMESPACE_DECL ? Access::nsParent(*this) : asNode(m_genericPtr);
    if (!base)
        return nullptr;
    return wrapAs<DDXMLDocument>(base->doc, m_owner);
}

DDXMLNode::Ptr DDXMLNode::parent() const
{
    const int k = kind();
    if (k == 0)
        return nullptr;
    if (k == XML_NAMESPACE_DECL)
        return wrap(Access::nsParent(*this), m_owner);
    return wrap(asNode(m_genericPtr)->parent, m_owner);
}

int DDXMLNode::childCount() const
{
    if (!hasNavigableChildren(kind()))
        return 0;
    int count = 0;
    for (xmlNodePtr child = asNode(m_genericPtr)->children; child; child = child->next)
        ++count;
    return count;
}

DDXMLNode::List DDXMLNode::children() const
{
    List list;
    if (!hasNavigableChildren(kind()))
        return list;
    for (xmlNodePtr child = asNode(m_genericPtr)->children; child; child = child->next)
        list.append(wrap(child, m_owner));
    return list;
}

DDXMLNode::Ptr DDXMLNode::childAtIndex(int index) const
{
    if (!hasNavigableChildren(kind()))
        return nullptr;
    int position = 0;
    for (xmlNodePtr child = asNode(m_genericPtr)->children; child; child = child->next, ++position) {
        if (position == index)
            return wrap(child, m_owner);
    }
    throw DDXMLException(QStringLiteral("index (%1) beyond bounds (%2)").arg(unsigned(index)).arg(position));
}

DDXMLNode::Ptr DDXMLNode::previousSibling() const
{
    const int k = kind();
    if (k == 0 || k == XML_NAMESPACE_DECL)
        return nullptr;
    return wrap(asNode(m_genericPtr)->prev, m_owner);
}

DDXMLNode::Ptr DDXMLNode::nextSibling() const
{
    const int k = kind();
    if (k == 0 || k == XML_NAMESPACE_DECL)
        return nullptr;
    return wrap(asNode(m_genericPtr)->next, m_owner);
}

DDXMLNode::Ptr DDXMLNode::previousNode() const
{
    const int k = kind();
    if (k == 0 || k == XML_NAMESPACE_DECL || k == XML_ATTRIBUTE_NODE)
        return nullptr;
    xmlNodePtr node = asNode(m_genericPtr);
    if (xmlNodePtr previous = node->prev) {
        while (hasNavigableChildren(previous->type) && previous->last)
            previous = previous->last;
        return wrap(previous, m_owner);
    }
    xmlNodePtr parent = node->parent;
    if (!parent || parent->type == XML_DOCUMENT_NODE)
        return nullptr;
    return wrap(parent, m_owner);
}

DDXMLNode::Ptr DDXMLNode::nextNode() const
{
    const int k = kind();
    if (k == 0 || k == XML_NAMESPACE_DECL || k == XML_ATTRIBUTE_NODE)
        return nullptr;
    xmlNodePtr node = asNode(m_genericPtr);
    if (hasNavigableChildren(k) && node->children)
        return wrap(node->children, m_owner);
    for (; node; node = node->parent) {
        if (node->next)
            return wrap(node->next, m_owner);
    }
    return nullptr;
}

// ---- names and values ----

QString DDXMLNode::name() const
{
    const int k = kind();
    if (k == 0)
        return {};
    if (k == XML_NAMESPACE_DECL) {
        const xmlChar* prefix = static_cast<xmlNsPtr>(m_genericPtr)->prefix;
        return prefix ? fromXml(prefix) : QStringLiteral("");
    }
    if (k == XML_ATTRIBUTE_NODE) {
        auto attribute = static_cast<xmlAttrPtr>(m_genericPtr);
        return qualifiedName(attribute->name, attribute->ns);
    }
    xmlNodePtr node = asNode(m_genericPtr);
    if (isContentKind(k))
        return qualifiedName(node->name, node->ns);
    return fromXml(node->name);
}

void DDXMLNode::setName(const QString& name)
{
    const int k = kind();
    if (k == 0)
        return;
    if (k == XML_NAMESPACE_DECL) {
        auto ns = static_cast<xmlNsPtr>(m_genericPtr);
        xmlFree(const_cast<xmlChar*>(ns->prefix));
        ns->prefix = name.isEmpty() ? nullptr : xmlStrdup(xc(name.toUtf8()));
        return;
    }
    if (name.isNull())
        return;
    xmlNodeSetName(asNode(m_genericPtr), xc(name.toUtf8()));
}

QString DDXMLNode::stringValue() const
{
    const int k = kind();
    if (k == XML_NAMESPACE_DECL)
        return fromXml(static_cast<xmlNsPtr>(m_genericPtr)->href);
    if (k == XML_ATTRIBUTE_NODE) {
        xmlNodePtr first = static_cast<xmlAttrPtr>(m_genericPtr)->children;
        return first ? fromXml(first->content) : QString();
    }
    if (!isContentKind(k))
        return {};
    xmlChar* content = xmlNodeGetContent(asNode(m_genericPtr));
    const QString value = fromXml(content);
    xmlFree(content);
    return value;
}

void DDXMLNode::setStringValue(const QString& string)
{
    const int k = kind();
    if (k == 0)
        return;
    ensureThreadSetup();
    QByteArray bytes;
    const xmlChar* value = xcOrNull(string, bytes);
    // Element and attribute content is read back through entity parsing, so it goes in escaped
    // (a namespace URI is kept escaped as well); the other kinds keep their text as it is.
    auto escaped = [value] { return xmlEncodeSpecialChars(nullptr, value); };
    if (k == XML_NAMESPACE_DECL) {
        auto ns = static_cast<xmlNsPtr>(m_genericPtr);
        xmlFree(const_cast<xmlChar*>(ns->href));
        ns->href = escaped();
    } else if (k == XML_ATTRIBUTE_NODE) {
        auto attribute = static_cast<xmlAttrPtr>(m_genericPtr);
        // The document's ID table is keyed by the value: an ID attribute is filed again under
        // its new value, or freeing it later would leave the old entry pointing at it.
        const bool isId = attribute->doc && attribute->atype == XML_ATTRIBUTE_ID;
        if (isId)
            xmlRemoveID(attribute->doc, attribute);
        if (attribute->children) {
            xmlChar* content = escaped();
            xmlNodeSetContent(reinterpret_cast<xmlNodePtr>(attribute), content);
            xmlFree(content);
        } else if (value) {
            xmlNodePtr text = xmlNewText(value);
            if (text) {
                text->parent = reinterpret_cast<xmlNodePtr>(attribute);
                text->doc = attribute->doc;
                attribute->children = attribute->last = text;
            }
        }
        if (isId && value)
            xmlAddID(nullptr, attribute->doc, value, attribute);
    } else if (k == XML_ELEMENT_NODE) {
        xmlNodePtr node = asNode(m_genericPtr);
        while (node->children)
            releaseChild(m_owner, node->children);
        xmlChar* content = escaped();
        xmlNodeSetContent(node, content);
        xmlFree(content);
    } else if (isContentKind(k)) {
        xmlNodeSetContent(asNode(m_genericPtr), value);
    }
}

QString DDXMLNode::localName() const
{
    return localNameForName(name());
}

QString DDXMLNode::prefix() const
{
    return prefixForName(name());
}

QString DDXMLNode::URI() const
{
    const int k = kind();
    if (k == XML_ATTRIBUTE_NODE) {
        auto attribute = static_cast<xmlAttrPtr>(m_genericPtr);
        if (attribute->ns)
            return fromXml(attribute->ns->href);
        const QString attributePrefix = prefix();
        if (attributePrefix.isEmpty())
            return {};
        return fromXml(searchHref(attribute->parent, xc(attributePrefix.toUtf8())));
    }
    if (!isContentKind(k))
        return {};
    xmlNsPtr ns = asNode(m_genericPtr)->ns;
    return ns ? fromXml(ns->href) : QString();
}

void DDXMLNode::setURI(const QString& URI)
{
    const int k = kind();
    QByteArray bytes;
    const xmlChar* href = xcOrNull(URI, bytes);
    if (k == XML_ATTRIBUTE_NODE) {
        auto attribute = static_cast<xmlAttrPtr>(m_genericPtr);
        auto& owned = m_owner->ownedNs;
        auto privateNs = std::find(owned.begin(), owned.end(), attribute->ns);
        if (privateNs != owned.end()) {
            xmlFreeNs(*privateNs);
            owned.erase(privateNs);
        }
        attribute->ns = nullptr;
        if (!href)
            return;
        for (xmlNodePtr scope = attribute->parent; scope; scope = scope->parent) {
            for (xmlNsPtr ns = declarationsOf(scope); ns; ns = ns->next) {
                if (xmlStrEqual(ns->href, href)) {
                    attribute->ns = ns;
                    return;
                }
            }
        }
        if (xmlNsPtr copy = newNs(href, nullptr)) {
            owned.push_back(copy);
            attribute->ns = copy;
        }
        return;
    }
    // Only elements carry namespaces; other content kinds use those fields for their text.
    if (k != XML_ELEMENT_NODE)
        return;
    xmlNodePtr node = asNode(m_genericPtr);
    if (node->ns && declaringNodeOf(node, node->ns) == node)
        releaseNamespace(m_owner, node->ns, node);
    // A namespace declared further up stays where it is; the element just stops using it.
    node->ns = nullptr;
    if (!href)
        return;
    if (xmlNsPtr ns = newNs(href, nullptr)) {
        ns->next = node->nsDef;
        node->nsDef = ns;
        node->ns = ns;
    }
}

QString DDXMLNode::XPath() const
{
    const int k = kind();
    if (k == 0)
        return QStringLiteral("");
    QString path;
    xmlNodePtr node = asNode(m_genericPtr);
    if (k == XML_ATTRIBUTE_NODE) {
        node = static_cast<xmlAttrPtr>(m_genericPtr)->parent;
        path = (node ? QStringLiteral("/@") : QStringLiteral("@")) + name();
    } else if (k == XML_NAMESPACE_DECL) {
        node = Access::nsParent(*this);
        path = (node ? QStringLiteral("/namespace::") : QStringLiteral("namespace::")) + name();
    }
    for (; node && node->type != XML_DOCUMENT_NODE; node = node->parent) {
        const QString step = fromXml(node->name);
        if (node->parent || node->doc) {
            int position = 1;
            for (xmlNodePtr sibling = node->prev; sibling; sibling = sibling->prev) {
                if (xmlStrEqual(sibling->name, node->name))
                    ++position;
            }
            path.prepend(QStringLiteral("/%1[%2]").arg(step).arg(position));
        } else {
            path.prepend(step);
        }
    }
    return path;
}

void DDXMLNode::getPrefix(QString* prefix, QString* localName, const QString& name)
{
    if (name.isNull()) {
        if (prefix)
            *prefix = QStringLiteral("");
        if (localName)
            *localName = QString();
        return;
    }
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    if (prefix)
        *prefix = colon < 0 ? QStringLiteral("") : name.left(colon);
    if (localName)
        *localName = colon < 0 ? name : name.mid(colon + 1);
}

QString DDXMLNode::localNameForName(const QString& name)
{
    QString localName;
    getPrefix(nullptr, &localName, name);
    return localName;
}

QString DDXMLNode::prefixForName(const QString& name)
{
    QString prefix;
    getPrefix(&prefix, nullptr, name);
    return prefix;
}

void DDXMLNode::getHasPrefix(bool* hasPrefix, QString* localName, const QString& name)
{
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    if (hasPrefix)
        *hasPrefix = colon > 0;
    if (localName)
        *localName = colon > 0 ? name.mid(colon + 1) : name;
}

// ---- detaching, copying, equality ----

void DDXMLNode::detach()
{
    const int k = kind();
    if (isContentKind(k)) {
        xmlNodePtr node = asNode(m_genericPtr);
        if (!node->parent)
            return;
        std::shared_ptr<Tree> tree = m_owner;
        detachChild(node);
        moveWrappers(tree, node, std::make_shared<Tree>(node));
    } else if (k == XML_ATTRIBUTE_NODE) {
        if (static_cast<xmlAttrPtr>(m_genericPtr)->parent)
            detachAttributeIntoOwnTree(m_owner, static_cast<xmlAttrPtr>(m_genericPtr));
    } else if (k == XML_NAMESPACE_DECL) {
        // The document's XML namespace cannot be undeclared; only an element's declarations can.
        xmlNodePtr declaring = Access::nsParent(*this);
        if (declaring && declaring->type == XML_ELEMENT_NODE)
            releaseNamespace(m_owner, static_cast<xmlNsPtr>(m_genericPtr), declaring);
    }
}

DDXMLNode::Ptr DDXMLNode::copy() const
{
    const int k = kind();
    ensureThreadSetup();
    switch (k) {
    case XML_DOCUMENT_NODE:
        return adopt(xmlCopyDoc(static_cast<xmlDocPtr>(m_genericPtr), 1));
    case XML_NAMESPACE_DECL: {
        auto ns = static_cast<xmlNsPtr>(m_genericPtr);
        return adopt(newNs(ns->href, ns->prefix));
    }
    case XML_DTD_NODE:
        return adopt(xmlCopyDtd(static_cast<xmlDtdPtr>(m_genericPtr)));
    case XML_ATTRIBUTE_NODE:
        return adopt(xmlCopyProp(nullptr, static_cast<xmlAttrPtr>(m_genericPtr)));
    default:
        if (isContentKind(k))
            return adopt(xmlCopyNode(asNode(m_genericPtr), 1));
        return nullptr;
    }
}

bool DDXMLNode::isEqual(const DDXMLNode& other) const
{
    return typeid(*this) == typeid(other) && m_genericPtr == other.m_genericPtr;
}
