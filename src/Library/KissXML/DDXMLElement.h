#pragma once

#include "Library/KissXML/DDXMLNode.h"

#include <QVariantMap>

// An element: its children, attributes and namespace declarations.
class DDXMLElement : public DDXMLNode
{
public:
    using ElementList = QList<std::shared_ptr<DDXMLElement>>;

    // New free-standing elements; null when libxml2 fails.
    static std::shared_ptr<DDXMLElement> initWithName(const QString& name);
    static std::shared_ptr<DDXMLElement> initWithName(const QString& name, const QString& stringValue);
    static std::shared_ptr<DDXMLElement> initWithNameURI(const QString& name, const QString& URI);
    // The root element of the parsed text, standing alone; null and the parse error on failure.
    static std::shared_ptr<DDXMLElement> initWithXMLString(const QString& string, Error* error);
    static std::shared_ptr<DDXMLElement> elementWithNameXmlns(const QString& name, const QString& xmlns);

    // Child elements by name ("prefix:local" matches through the namespace in scope).
    ElementList elementsForName(const QString& name) const;
    std::shared_ptr<DDXMLElement> elementForName(const QString& name) const;
    ElementList elementsForLocalName(const QString& localName, const QString& URI) const;
    std::shared_ptr<DDXMLElement> elementForName(const QString& name, const QString& xmlns) const;

    // Children. The child must stand alone (no parent) and be an element, text, CDATA section,
    // processing instruction or comment; otherwise DDXMLException. A text child merged by libxml2
    // into an adjacent text node leaves its wrapper pointing at the merged node.
    void addChild(const Ptr& child);
    // Indexes count only the children of those kinds.
    void insertChild(const Ptr& child, int index);
    void removeChildAtIndex(int index);
    void setChildren(const List& children);

    // Attributes.
    List attributes() const;
    std::shared_ptr<DDXMLAttributeNode> attributeForName(const QString& name) const;
    // Name to string value.
    QVariantMap attributesAsDictionary() const;
    // Replaces an attribute of the same name. The attribute must stand alone; otherwise
    // DDXMLException.
    void addAttribute(const Ptr& attribute);
    void addAttributeWithName(const QString& name, const QString& stringValue);
    void removeAttributeForName(const QString& name);
    void setAttributes(const List& attributes);

    // Namespace declarations.
    void addNamespace(const Ptr& ns);
    void removeNamespaceForPrefix(const QString& prefix);
    List namespaces() const;
    std::shared_ptr<DDXMLNamespaceNode> namespaceForPrefix(const QString& prefix) const;
    void setNamespaces(const List& namespaces);
    QString xmlns() const;
    void setXmlns(const QString& URI);
    std::shared_ptr<DDXMLNamespaceNode> resolveNamespaceForName(const QString& name) const;
    QString resolvePrefixForNamespaceURI(const QString& namespaceURI) const;

    QString prettyXMLString() const;
    QString compactXMLString() const;

private:
    friend struct DDXMLPrivate::Access;
    DDXMLElement() = default;

    xmlNodePtr node() const { return static_cast<xmlNodePtr>(genericPtr()); }
    ElementList elementsForName(const QByteArray& name, const QByteArray& localName, const QByteArray& prefix,
                                const xmlChar* URI) const;
    void insertContent(const Ptr& child, xmlNodePtr before);
};
