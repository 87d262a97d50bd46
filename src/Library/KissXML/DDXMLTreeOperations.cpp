// Unlinking, freeing and repairing bare libxml2 structures. A subtree that leaves its tree is made
// self-contained here: the namespaces it uses are declared inside it and its document pointers
// are cleared, so it no longer depends on anything of the tree it left.
//
// Only elements carry attributes and namespace declarations: a text node may keep short content
// inline in the fields that an element uses for them, so those fields are never read elsewhere.
#include "Library/KissXML/DDXMLPrivate.h"

#include <libxml/valid.h>

using namespace DDXMLPrivate;

namespace {

bool declaredBetween(xmlNodePtr node, const xmlNs* ns, xmlNodePtr root)
{
    for (xmlNodePtr scope = node; scope; scope = scope->parent) {
        if (scope->type == XML_ELEMENT_NODE) {
            for (xmlNsPtr declared = scope->nsDef; declared; declared = declared->next) {
                if (declared == ns)
                    return true;
            }
        }
        if (scope == root)
            break;
    }
    return false;
}

// The namespace that stands in for `ns` at node inside the subtree rooted at root: an equal
// declaration already in scope there, or a copy declared on node itself.
xmlNsPtr declarationInSubtree(xmlNodePtr node, xmlNsPtr ns, xmlNodePtr root)
{
    if (isXmlNamespace(ns))
        return sharedXmlNamespace();
    xmlNsPtr nearest = nearestDeclaration(node, ns->prefix, root);
    if (nearest && xmlStrEqual(nearest->href, ns->href))
        return nearest;
    xmlNsPtr copy = newNs(ns->href, ns->prefix);
    if (copy) {
        copy->next = node->nsDef;
        node->nsDef = copy;
    }
    return copy;
}

void redirect(xmlNodePtr node, const xmlNs* from, xmlNsPtr to)
{
    if (node->ns == from)
        node->ns = to;
    for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        if (attribute->ns == from)
            attribute->ns = to;
    }
}

bool uses(xmlNodePtr node, const xmlNs* ns)
{
    if (node->ns == ns)
        return true;
    for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        if (attribute->ns == ns)
            return true;
    }
    return false;
}

void clearDocInList(xmlNodePtr list)
{
    for (xmlNodePtr child = list; child; child = child->next)
        DDXMLNode::recursiveStripDocPointersFromNode(child);
}

}  // namespace

void DDXMLNode::detachChild(xmlNodePtr node, bool andClean, bool andFixNamespaces)
{
    if (!node)
        return;
    xmlNodePtr parent = node->parent;
    if (node->prev && node->next) {
        node->prev->next = node->next;
        node->next->prev = node->prev;
    } else if (node->prev) {
        if (parent)
            parent->last = node->prev;
        node->prev->next = nullptr;
    } else if (node->next) {
        if (parent)
            parent->children = node->next;
        node->next->prev = nullptr;
    } else if (parent) {
        parent->children = nullptr;
        parent->last = nullptr;
    }
    if (andFixNamespaces)
        recursiveFixDefaultNamespacesInNode(node, node);
    if (andClean) {
        node->parent = nullptr;
        node->next = nullptr;
        node->prev = nullptr;
        if (node->doc)
            recursiveStripDocPointersFromNode(node);
    }
}

void DDXMLNode::detachChild(xmlNodePtr node)
{
    detachChild(node, true, true);
}

void DDXMLNode::removeChild(xmlNodePtr node)
{
    if (!node)
        return;
    detachChild(node, false, false);
    xmlFreeNode(node);
}

void DDXMLNode::removeAllChildrenFromNode(xmlNodePtr node)
{
    if (!node)
        return;
    xmlNodePtr child = node->children;
    while (child) {
        xmlNodePtr next = child->next;
        xmlFreeNode(child);
        child = next;
    }
    node->children = nullptr;
    node->last = nullptr;
}

void DDXMLNode::detachAttribute(xmlAttrPtr attribute, bool andClean)
{
    if (!attribute)
        return;
    xmlNodePtr parent = attribute->parent;
    if (!attribute->prev) {
        if (parent)
            parent->properties = attribute->next;
        if (attribute->next)
            attribute->next->prev = nullptr;
    } else {
        attribute->prev->next = attribute->next;
        if (attribute->next)
            attribute->next->prev = attribute->prev;
    }
    if (andClean) {
        attribute->ns = nullptr;
        attribute->prev = nullptr;
        attribute->next = nullptr;
        attribute->parent = nullptr;
        if (attribute->doc)
            stripDocPointersFromAttr(attribute);
    }
}

void DDXMLNode::detachAttribute(xmlAttrPtr attribute)
{
    detachAttribute(attribute, true);
}

void DDXMLNode::removeAttribute(xmlAttrPtr attribute)
{
    if (!attribute)
        return;
    detachAttribute(attribute, false);
    xmlFreeProp(attribute);
}

void DDXMLNode::removeAllAttributesFromNode(xmlNodePtr node)
{
    if (!node || node->type != XML_ELEMENT_NODE)
        return;
    xmlAttrPtr attribute = node->properties;
    while (attribute) {
        xmlAttrPtr next = attribute->next;
        xmlFreeProp(attribute);
        attribute = next;
    }
    node->properties = nullptr;
}

void DDXMLNode::detachNamespace(xmlNsPtr ns, xmlNodePtr node)
{
    if (!ns || !node || node->type != XML_ELEMENT_NODE)
        return;
    redirect(node, ns, nullptr);
    for (xmlNodePtr child = node->children; child; child = child->next)
        recursiveMigrateNamespace(ns, nullptr, child);
    if (node->nsDef == ns) {
        node->nsDef = ns->next;
    } else {
        for (xmlNsPtr declared = node->nsDef; declared; declared = declared->next) {
            if (declared->next == ns) {
                declared->next = ns->next;
                break;
            }
        }
    }
    ns->next = nullptr;
}

void DDXMLNode::removeNamespace(xmlNsPtr ns, xmlNodePtr node)
{
    if (!ns || !node || node->type != XML_ELEMENT_NODE)
        return;
    detachNamespace(ns, node);
    xmlFreeNs(ns);
}

void DDXMLNode::removeAllNamespacesFromNode(xmlNodePtr node)
{
    if (!node || node->type != XML_ELEMENT_NODE)
        return;
    // Attributes and descendants may still use these declarations: each one is migrated first.
    while (xmlNsPtr ns = node->nsDef)
        removeNamespace(ns, node);
    node->ns = nullptr;
}

void DDXMLNode::recursiveStripDocPointersFromNode(xmlNodePtr node)
{
    if (!node)
        return;
    if (node->type == XML_ELEMENT_NODE) {
        for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next)
            stripDocPointersFromAttr(attribute);
    }
    node->doc = nullptr;
    if (node->type == XML_ENTITY_REF_NODE) {
        // Its children are the declaration of the entity in the document left behind.
        node->children = nullptr;
        node->last = nullptr;
        return;
    }
    clearDocInList(node->children);
}

void DDXMLNode::stripDocPointersFromAttr(xmlAttrPtr attribute)
{
    if (!attribute)
        return;
    // The document's ID table points at its ID attributes; an attribute that leaves must leave
    // it too, or id() lookups there would reach it after it is freed.
    if (attribute->doc && attribute->atype == XML_ATTRIBUTE_ID)
        xmlRemoveID(attribute->doc, attribute);
    attribute->doc = nullptr;
    clearDocInList(attribute->children);
}

void DDXMLNode::recursiveFixDefaultNamespacesInNode(xmlNodePtr node, xmlNodePtr root)
{
    if (!node || node->type != XML_ELEMENT_NODE)
        return;
    if (node->ns && !declaredBetween(node, node->ns, root))
        node->ns = declarationInSubtree(node, node->ns, root);
    for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        if (attribute->ns && !declaredBetween(node, attribute->ns, root))
            attribute->ns = declarationInSubtree(node, attribute->ns, root);
    }
    for (xmlNodePtr child = node->children; child; child = child->next)
        recursiveFixDefaultNamespacesInNode(child, root);
}

void DDXMLNode::recursiveMigrateNamespace(xmlNsPtr ns, xmlNsPtr copy, xmlNodePtr node)
{
    if (!ns || !node || node->type != XML_ELEMENT_NODE)
        return;
    if (!copy && uses(node, ns)) {
        if (isXmlNamespace(ns)) {
            copy = sharedXmlNamespace();
        } else if ((copy = newNs(ns->href, ns->prefix))) {
            xmlNsPtr* end = &node->nsDef;
            while (*end)
                end = &(*end)->next;
            *end = copy;
        }
    }
    if (copy)
        redirect(node, ns, copy);
    for (xmlNodePtr child = node->children; child; child = child->next)
        recursiveMigrateNamespace(ns, copy, child);
}

void DDXMLNode::recursiveStripNamespace(xmlNsPtr ns, xmlNodePtr node)
{
    if (!ns || !node || node->type != XML_ELEMENT_NODE)
        return;
    redirect(node, ns, nullptr);
    for (xmlNodePtr child = node->children; child; child = child->next)
        recursiveStripNamespace(ns, child);
}
