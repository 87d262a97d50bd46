#pragma once

// Internals shared by the wrapper classes. Not for use outside this folder.
//
// Ownership: every libxml2 structure reachable through a wrapper belongs to exactly one Tree, the
// holder of a top structure (a document, or a free-standing node, attribute or namespace). Every
// wrapper holds its Tree strongly, so the whole tree lives as long as any wrapper into it, and the
// Tree keeps a list of the wrappers that point into it. When a structure changes hands (detached,
// inserted, or removed while a wrapper still points into it) the wrappers inside it are moved to
// the Tree that holds it now. That is what keeps a wrapper from ever pointing at freed memory,
// whichever wrapper made the change.

#include "Library/KissXML/DDXMLNode.h"

#include <libxml/tree.h>

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace DDXMLPrivate {

class Tree
{
public:
    explicit Tree(void* top_) : top(top_) {}
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // The structure freed with the tree; null once it has been handed to another tree.
    void* top = nullptr;
    // Namespaces that attributes of this tree use but that no element declares (an attribute's
    // private namespace); freed with the tree.
    std::vector<xmlNsPtr> ownedNs;
    // The wrappers pointing into this tree (intrusive list through the wrappers).
    DDXMLNode* firstWrapper = nullptr;
};

// What the helpers need of the wrappers' private state.
struct Access
{
    static void*& ptr(DDXMLNode& node) { return node.m_genericPtr; }
    static const std::shared_ptr<Tree>& owner(const DDXMLNode& node) { return node.m_owner; }
    static xmlNodePtr nsParent(const DDXMLNode& node);
    static void setNsParent(DDXMLNode& node, xmlNodePtr parent);
    // Registers the wrapper with `tree` (and off its previous one).
    static void setOwner(DDXMLNode& node, const std::shared_ptr<Tree>& tree);
    static void unregister(DDXMLNode& node);
    static DDXMLNode* nextInTree(const DDXMLNode& node) { return node.m_nextInTree; }

    template <typename T>
    static std::shared_ptr<T> make(void* structure, const std::shared_ptr<Tree>& tree)
    {
        std::shared_ptr<T> node(new T);
        node->m_genericPtr = structure;
        if (tree)
            setOwner(*node, tree);
        return node;
    }
};

// The libxml2 type number of any tree structure (all of them start with a pointer and the type).
int kindOf(const void* structure);
// Element, text, CDATA section, processing instruction, comment.
bool isContentKind(int kind);
// The kinds whose children the navigation walks: content kinds, documents and DTDs.
bool hasNavigableChildren(int kind);

// A new wrapper of the class that fits the structure's kind, held by `tree`; null for null.
// `nsParent` is the declaring element of a namespace.
std::shared_ptr<DDXMLNode> wrap(void* structure, const std::shared_ptr<Tree>& tree, xmlNodePtr nsParent = nullptr);
template <typename T>
std::shared_ptr<T> wrapAs(void* structure, const std::shared_ptr<Tree>& tree, xmlNodePtr nsParent = nullptr)
{
    return std::dynamic_pointer_cast<T>(wrap(structure, tree, nsParent));
}
// A new tree whose top is `structure`, and its first wrapper; null for null.
std::shared_ptr<DDXMLNode> adopt(void* structure);
template <typename T>
std::shared_ptr<T> adoptAs(void* structure)
{
    return std::dynamic_pointer_cast<T>(adopt(structure));
}

// Moves the wrappers of `from` that point into `structure` (itself or below it) to `to`.
void moveWrappers(std::shared_ptr<Tree> from, const void* structure, const std::shared_ptr<Tree>& to);
// Moves everything of `from` (wrappers, owned namespaces) to `to`; `from` frees nothing afterwards.
void handOver(std::shared_ptr<Tree> from, const std::shared_ptr<Tree>& to);
// Makes every wrapper of `tree` that points at `from` point at `to` instead.
void retarget(const Tree& tree, const void* from, void* to);
bool hasWrappersWithin(const Tree& tree, const void* structure);

// Unlink-and-free that keeps wrappers safe: a structure that some wrapper still points into is
// detached into a tree of its own instead of being freed.
void releaseChild(const std::shared_ptr<Tree>& tree, xmlNodePtr child);
void releaseAttribute(const std::shared_ptr<Tree>& tree, xmlAttrPtr attribute);
void releaseNamespace(const std::shared_ptr<Tree>& tree, xmlNsPtr ns, xmlNodePtr element);
// Detaches an attribute that has an element into a tree of its own, keeping its namespace as a
// private copy.
void detachAttributeIntoOwnTree(std::shared_ptr<Tree> tree, xmlAttrPtr attribute);

// A namespace structure for href and prefix. Unlike xmlNewNs it also copies the XML namespace.
xmlNsPtr newNs(const xmlChar* href, const xmlChar* prefix);
// The XML namespace ("xml" bound to its fixed URI): never declared, so it needs no copy.
bool isXmlNamespace(const xmlNs* ns);
// One process-wide structure for the XML namespace, used where a detached tree still uses it.
xmlNsPtr sharedXmlNamespace();
// The URI bound to prefix at element (its declarations, then its ancestors'), without the side
// effects of xmlSearchNs; "xml" always gives the XML namespace.
const xmlChar* searchHref(xmlNodePtr element, const xmlChar* prefix);
// The nearest declaration in scope of element for prefix (null prefix: the default declaration),
// walking up to and including `stop` (null: to the top), document oldNs lists included.
xmlNsPtr nearestDeclaration(xmlNodePtr element, const xmlChar* prefix, xmlNodePtr stop = nullptr);
xmlNodePtr declaringNodeOf(xmlNodePtr element, const xmlNs* ns);
// The declarations of an element, or the oldNs list of a document; null for other kinds.
xmlNsPtr declarationsOf(xmlNodePtr node);
// The declaration with that prefix in a list (null prefix: the one without prefix).
xmlNsPtr findDeclaration(xmlNsPtr list, const xmlChar* prefix);

// The name rule of elements and attributes: the libxml2 name, prefixed by its namespace's prefix
// when it has none of its own.
QString qualifiedName(const xmlChar* name, const xmlNs* ns);

// Installs the error hook on the calling thread when it is not installed there yet.
void ensureThreadSetup();

inline const xmlChar* xc(const QByteArray& bytes)
{
    return reinterpret_cast<const xmlChar*>(bytes.constData());
}
// Null for a null string, so that nil crosses to libxml2 as NULL.
inline const xmlChar* xcOrNull(const QString& string, QByteArray& storage)
{
    if (string.isNull())
        return nullptr;
    storage = string.toUtf8();
    return xc(storage);
}
inline QString fromXml(const xmlChar* text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

}  // namespace DDXMLPrivate
