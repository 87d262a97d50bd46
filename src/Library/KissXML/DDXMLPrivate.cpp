#include "Library/KissXML/DDXMLPrivate.h"

#include "Library/KissXML/DDXMLAttributeNode.h"
#include "Library/KissXML/DDXMLDocument.h"
#include "Library/KissXML/DDXMLElement.h"
#include "Library/KissXML/DDXMLNamespaceNode.h"

#include <libxml/parser.h>

#include <algorithm>
#include <cstring>

namespace DDXMLPrivate {

namespace {

struct Header
{
    void* first;
    xmlElementType type;
};

// Walks from a wrapper's structure up its ancestors (a namespace from its declaring element).
bool within(const DDXMLNode& node, const void* structure)
{
    const void* ptr = node.genericPtr();
    if (ptr == structure)
        return true;
    const xmlNode* anchor = kindOf(ptr) == XML_NAMESPACE_DECL ? Access::nsParent(node)
                                                                : static_cast<const xmlNode*>(ptr)->parent;
    for (; anchor; anchor = anchor->parent) {
        if (anchor == structure)
            return true;
    }
    return false;
}

}  // namespace

Tree::~Tree()
{
    if (top) {
        switch (kindOf(top)) {
        case XML_ELEMENT_NODE:
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_ENTITY_REF_NODE:
        case XML_PI_NODE:
        case XML_COMMENT_NODE:
            xmlFreeNode(static_cast<xmlNodePtr>(top));
            break;
        case XML_ATTRIBUTE_NODE:
            xmlFreeProp(static_cast<xmlAttrPtr>(top));
            break;
        case XML_DOCUMENT_NODE:
            xmlFreeDoc(static_cast<xmlDocPtr>(top));
            break;
        case XML_DTD_NODE:
            xmlFreeDtd(static_cast<xmlDtdPtr>(top));
            break;
        case XML_NAMESPACE_DECL:
            xmlFreeNs(static_cast<xmlNsPtr>(top));
            break;
        default:
            break;
        }
    }
    for (xmlNsPtr ns : ownedNs)
        xmlFreeNs(ns);
}

xmlNodePtr Access::nsParent(const DDXMLNode& node)
{
    return static_cast<const DDXMLNamespaceNode&>(node).m_nsParent;
}

void Access::setNsParent(DDXMLNode& node, xmlNodePtr parent)
{
    static_cast<DDXMLNamespaceNode&>(node).m_nsParent = parent;
}

void Access::unregister(DDXMLNode& node)
{
    if (!node.m_owner)
        return;
    if (node.m_prevInTree)
        node.m_prevInTree->m_nextInTree = node.m_nextInTree;
    else
        node.m_owner->firstWrapper = node.m_nextInTree;
    if (node.m_nextInTree)
        node.m_nextInTree->m_prevInTree = node.m_prevInTree;
    node.m_prevInTree = node.m_nextInTree = nullptr;
}

void Access::setOwner(DDXMLNode& node, const std::shared_ptr<Tree>& tree)
{
    unregister(node);
    // The assignment may drop the last reference to the previous tree: callers keep it alive
    // while they move wrappers out of it.
    node.m_owner = tree;
    node.m_nextInTree = tree->firstWrapper;
    if (tree->firstWrapper)
        tree->firstWrapper->m_prevInTree = &node;
    tree->firstWrapper = &node;
}

int kindOf(const void* structure)
{
    return structure ? static_cast<const Header*>(structure)->type : 0;
}

bool isContentKind(int kind)
{
    return kind == XML_ELEMENT_NODE || kind == XML_TEXT_NODE || kind == XML_CDATA_SECTION_NODE
        || kind == XML_PI_NODE || kind == XML_COMMENT_NODE;
}

bool hasNavigableChildren(int kind)
{
    return isContentKind(kind) || kind == XML_DOCUMENT_NODE || kind == XML_DTD_NODE;
}

std::shared_ptr<DDXMLNode> wrap(void* structure, const std::shared_ptr<Tree>& tree, xmlNodePtr nsParent)
{
    switch (kindOf(structure)) {
    case 0:
        return nullptr;
    case XML_ELEMENT_NODE:
        return Access::make<DDXMLElement>(structure, tree);
    case XML_ATTRIBUTE_NODE:
        return Access::make<DDXMLAttributeNode>(structure, tree);
    case XML_DOCUMENT_NODE:
        return Access::make<DDXMLDocument>(structure, tree);
    case XML_NAMESPACE_DECL: {
        auto ns = Access::make<DDXMLNamespaceNode>(structure, tree);
        Access::setNsParent(*ns, nsParent);
        return ns;
    }
    default:
        return Access::make<DDXMLNode>(structure, tree);
    }
}

std::shared_ptr<DDXMLNode> adopt(void* structure)
{
    if (!structure)
        return nullptr;
    return wrap(structure, std::make_shared<Tree>(structure));
}

void moveWrappers(std::shared_ptr<Tree> from, const void* structure, const std::shared_ptr<Tree>& to)
{
    if (from == to)
        return;
    const bool isNamespace = kindOf(structure) == XML_NAMESPACE_DECL;
    DDXMLNode* node = from->firstWrapper;
    while (node) {
        DDXMLNode* next = Access::nextInTree(*node);
        if (within(*node, structure)) {
            Access::setOwner(*node, to);
            if (isNamespace)
                Access::setNsParent(*node, nullptr);
        }
        node = next;
    }
}

void handOver(std::shared_ptr<Tree> from, const std::shared_ptr<Tree>& to)
{
    if (from == to)
        return;
    from->top = nullptr;
    to->ownedNs.insert(to->ownedNs.end(), from->ownedNs.begin(), from->ownedNs.end());
    from->ownedNs.clear();
    while (DDXMLNode* node = from->firstWrapper)
        Access::setOwner(*node, to);
}

void retarget(const Tree& tree, const void* from, void* to)
{
    for (DDXMLNode* node = tree.firstWrapper; node; node = Access::nextInTree(*node)) {
        if (node->genericPtr() == from)
            Access::ptr(*node) = to;
    }
}

bool hasWrappersWithin(const Tree& tree, const void* structure)
{
    for (const DDXMLNode* node = tree.firstWrapper; node; node = Access::nextInTree(*node)) {
        if (within(*node, structure))
            return true;
    }
    return false;
}

void releaseChild(const std::shared_ptr<Tree>& tree, xmlNodePtr child)
{
    if (!hasWrappersWithin(*tree, child)) {
        DDXMLNode::removeChild(child);
        return;
    }
    DDXMLNode::detachChild(child);
    moveWrappers(tree, child, std::make_shared<Tree>(child));
}

void releaseAttribute(const std::shared_ptr<Tree>& tree, xmlAttrPtr attribute)
{
    if (hasWrappersWithin(*tree, attribute))
        detachAttributeIntoOwnTree(tree, attribute);
    else
        DDXMLNode::removeAttribute(attribute);
}

void releaseNamespace(const std::shared_ptr<Tree>& tree, xmlNsPtr ns, xmlNodePtr element)
{
    DDXMLNode::detachNamespace(ns, element);
    if (hasWrappersWithin(*tree, ns))
        moveWrappers(tree, ns, std::make_shared<Tree>(ns));
    else
        xmlFreeNs(ns);
}

void detachAttributeIntoOwnTree(std::shared_ptr<Tree> tree, xmlAttrPtr attribute)
{
    auto own = std::make_shared<Tree>(attribute);
    xmlNsPtr privateNs = nullptr;
    if (xmlNsPtr ns = attribute->ns) {
        auto owned = std::find(tree->ownedNs.begin(), tree->ownedNs.end(), ns);
        if (owned != tree->ownedNs.end()) {
            privateNs = ns;
            tree->ownedNs.erase(owned);
        } else {
            privateNs = newNs(ns->href, ns->prefix);
        }
        if (privateNs)
            own->ownedNs.push_back(privateNs);
    }
    DDXMLNode::detachAttribute(attribute);
    attribute->ns = privateNs;
    moveWrappers(tree, attribute, own);
}

xmlNsPtr newNs(const xmlChar* href, const xmlChar* prefix)
{
    auto ns = static_cast<xmlNsPtr>(xmlMalloc(sizeof(xmlNs)));
    if (!ns)
        return nullptr;
    std::memset(ns, 0, sizeof(xmlNs));
    ns->type = XML_NAMESPACE_DECL;
    ns->href = href ? xmlStrdup(href) : nullptr;
    ns->prefix = prefix ? xmlStrdup(prefix) : nullptr;
    return ns;
}

bool isXmlNamespace(const xmlNs* ns)
{
    return ns && xmlStrEqual(ns->prefix, BAD_CAST "xml") && xmlStrEqual(ns->href, XML_XML_NAMESPACE);
}

xmlNsPtr sharedXmlNamespace()
{
    static xmlNs xmlNamespace = {nullptr, XML_NAMESPACE_DECL, XML_XML_NAMESPACE, BAD_CAST "xml", nullptr, nullptr};
    return &xmlNamespace;
}

xmlNsPtr nearestDeclaration(xmlNodePtr element, const xmlChar* prefix, xmlNodePtr stop)
{
    for (xmlNodePtr node = element; node; node = node->parent) {
        xmlNsPtr found = findDeclaration(declarationsOf(node), prefix);
        if (found || node == stop)
            return found;
    }
    return nullptr;
}

const xmlChar* searchHref(xmlNodePtr element, const xmlChar* prefix)
{
    if (!element)
        return nullptr;
    if (xmlStrEqual(prefix, BAD_CAST "xml"))
        return XML_XML_NAMESPACE;
    xmlNsPtr ns = nearestDeclaration(element, prefix);
    return ns ? ns->href : nullptr;
}

xmlNodePtr declaringNodeOf(xmlNodePtr element, const xmlNs* ns)
{
    for (xmlNodePtr node = element; node; node = node->parent) {
        for (xmlNsPtr list = declarationsOf(node); list; list = list->next) {
            if (list == ns)
                return node;
        }
    }
    return nullptr;
}

xmlNsPtr findDeclaration(xmlNsPtr list, const xmlChar* prefix)
{
    for (xmlNsPtr ns = list; ns; ns = ns->next) {
        if (xmlStrEqual(ns->prefix, prefix))
            return ns;
    }
    return nullptr;
}

xmlNsPtr declarationsOf(xmlNodePtr node)
{
    if (!node)
        return nullptr;
    if (node->type == XML_ELEMENT_NODE)
        return node->nsDef;
    if (node->type == XML_DOCUMENT_NODE)
        return reinterpret_cast<xmlDocPtr>(node)->oldNs;
    return nullptr;
}

QString qualifiedName(const xmlChar* name, const xmlNs* ns)
{
    if (!name)
        return {};
    if (ns && ns->prefix && !xmlStrchr(name, ':'))
        return QStringLiteral("%1:%2").arg(fromXml(ns->prefix), fromXml(name));
    return fromXml(name);
}

}  // namespace DDXMLPrivate
