#pragma once

// An object tree over libxml2's in-memory XML tree. A wrapper holds no copy of names, values or
// children: every query reads the libxml2 tree and every change is made in it.
//
// Wrappers are held by std::shared_ptr and are never cached: asking twice gives two wrappers, and
// isEqual() says whether two wrap the same structure. Any live wrapper keeps its whole tree alive,
// and no wrapper ever points at freed memory, also after another wrapper detached, moved or
// removed the structure it points into (see DDXMLPrivate.h). A tree and all wrappers into it
// belong to one thread at a time.
//
// Nil texts are null QStrings (QString::isNull()).

#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <stdexcept>

class DDXMLElement;
class DDXMLDocument;
class DDXMLAttributeNode;
class DDXMLNamespaceNode;
class DDXMLInvalidNode;

namespace DDXMLPrivate {
class Tree;
struct Access;
}

inline constexpr auto DDXMLErrorDomain = "DDXMLErrorDomain";

// Raised only for caller errors that the system's own calls never make (adding a node that has a
// parent, an index beyond bounds...). name() is the exception name, what() the reason.
class DDXMLException : public std::logic_error
{
public:
    explicit DDXMLException(const QString& reason);
    QString name() const { return QStringLiteral("NSInternalInconsistencyException"); }
    QString reason() const { return QString::fromUtf8(what()); }
};

class DDXMLNode
{
public:
    using Ptr = std::shared_ptr<DDXMLNode>;
    using List = QList<Ptr>;

    // Option bits of XMLStringWithOptions.
    static constexpr unsigned kCompactEmptyElement = 0x4;  // <a/> instead of <a></a>
    static constexpr unsigned kPrettyPrint = 0x20000;

    virtual ~DDXMLNode();
    DDXMLNode(const DDXMLNode&) = delete;
    DDXMLNode& operator=(const DDXMLNode&) = delete;

    // Creation: each gives a wrapper that owns its new structure, or null when libxml2 fails.
    static std::shared_ptr<DDXMLElement> elementWithName(const QString& name);
    static std::shared_ptr<DDXMLElement> elementWithName(const QString& name, const QString& stringValue);
    static std::shared_ptr<DDXMLElement> elementWithName(const QString& name, const List& children,
                                                         const List& attributes);
    static std::shared_ptr<DDXMLElement> elementWithNameURI(const QString& name, const QString& URI);
    static std::shared_ptr<DDXMLAttributeNode> attributeWithName(const QString& name, const QString& stringValue);
    static std::shared_ptr<DDXMLAttributeNode> attributeWithName(const QString& name, const QString& URI,
                                                                 const QString& stringValue);
    // An empty name gives a namespace without prefix.
    static std::shared_ptr<DDXMLNamespaceNode> namespaceWithName(const QString& name, const QString& stringValue);
    static Ptr processingInstructionWithName(const QString& name, const QString& stringValue);
    static Ptr commentWithStringValue(const QString& stringValue);
    // The text is taken literally.
    static Ptr textWithStringValue(const QString& stringValue);
    // A node made without a structure: the invalid node.
    static std::shared_ptr<DDXMLInvalidNode> init();

    // The wrapped libxml2 structure (xmlNode, xmlAttr, xmlDoc, xmlDtd or xmlNs); null for the
    // invalid node.
    void* genericPtr() const { return m_genericPtr; }

    // libxml2's xmlElementType of the structure, 0 for none.
    int kind() const;

    // Navigation: new wrappers into the same tree, null when there is none.
    int index() const;
    int level() const;
    std::shared_ptr<DDXMLDocument> rootDocument() const;
    Ptr parent() const;
    int childCount() const;
    List children() const;
    // Throws DDXMLException for an index beyond the children of a node that can have children.
    Ptr childAtIndex(int index) const;
    Ptr previousSibling() const;
    Ptr nextSibling() const;
    Ptr previousNode() const;
    Ptr nextNode() const;

    // Names and values.
    QString name() const;
    void setName(const QString& name);
    QString stringValue() const;
    void setStringValue(const QString& string);
    QString localName() const;
    QString prefix() const;
    QString URI() const;
    void setURI(const QString& URI);
    // The location path of the node ("/main[1]/item[2]", "/main[1]/@Version").
    QString XPath() const;

    static void getPrefix(QString* prefix, QString* localName, const QString& name);
    static QString localNameForName(const QString& name);
    static QString prefixForName(const QString& name);
    // Whether a colon stands after the first character; localName gets the part after it.
    static void getHasPrefix(bool* hasPrefix, QString* localName, const QString& name);

    // Unlinks the node from its tree; the node (with its subtree) stands alone afterwards.
    void detach();

    // Serialisation. Trimmed except for text nodes; null when libxml2's dump fails.
    QString XMLString() const;
    QString XMLStringWithOptions(unsigned options) const;
    QString description() const;

    // Nodes selected by an XPath expression with the receiver as context node. Null (and the
    // thread's last error in *error) when the expression fails; on success *error is cleared
    // (an Error with an empty domain stands for no error).
    std::optional<List> nodesForXPath(const QString& xpath, Error* error) const;

    // The last error libxml2 reported on the calling thread.
    static std::optional<Error> lastError();

    // A deep copy that owns itself.
    Ptr copy() const;
    bool isEqual(const DDXMLNode& other) const;
    bool isEqual(const Ptr& other) const { return other && isEqual(*other); }

    // Class-level tree operations on bare libxml2 structures. They know nothing of wrappers:
    // the wrapper methods use them under the ownership bookkeeping.
    static void detachChild(xmlNodePtr node, bool andClean, bool andFixNamespaces);
    static void detachChild(xmlNodePtr node);
    static void removeChild(xmlNodePtr node);
    static void removeAllChildrenFromNode(xmlNodePtr node);
    static void detachAttribute(xmlAttrPtr attribute, bool andClean);
    static void detachAttribute(xmlAttrPtr attribute);
    static void removeAttribute(xmlAttrPtr attribute);
    static void removeAllAttributesFromNode(xmlNodePtr node);
    static void detachNamespace(xmlNsPtr ns, xmlNodePtr node);
    static void removeNamespace(xmlNsPtr ns, xmlNodePtr node);
    // Frees every declaration of the node after moving the uses below it to copies.
    static void removeAllNamespacesFromNode(xmlNodePtr node);
    static void recursiveStripDocPointersFromNode(xmlNodePtr node);
    static void stripDocPointersFromAttr(xmlAttrPtr attribute);
    static void recursiveFixDefaultNamespacesInNode(xmlNodePtr node, xmlNodePtr root);
    static void recursiveMigrateNamespace(xmlNsPtr ns, xmlNsPtr copy, xmlNodePtr node);
    static void recursiveStripNamespace(xmlNsPtr ns, xmlNodePtr node);

protected:
    DDXMLNode() = default;

private:
    friend struct DDXMLPrivate::Access;

    void* m_genericPtr = nullptr;
    std::shared_ptr<DDXMLPrivate::Tree> m_owner;
    DDXMLNode* m_prevInTree = nullptr;
    DDXMLNode* m_nextInTree = nullptr;
};
