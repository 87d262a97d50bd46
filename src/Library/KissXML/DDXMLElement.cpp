#include "Library/KissXML/DDXMLElement.h"

#include "Library/KissXML/DDXMLAttributeNode.h"
#include "Library/KissXML/DDXMLDocument.h"
#include "Library/KissXML/DDXMLNamespaceNode.h"
#include "Library/KissXML/DDXMLPrivate.h"

#include <algorithm>

using namespace DDXMLPrivate;

namespace {

bool hasParent(const DDXMLNode* node)
{
    if (!node || !node->genericPtr())
        return false;
    if (node->kind() == XML_NAMESPACE_DECL)
        return Access::nsParent(*node) != nullptr;
    return static_cast<xmlNodePtr>(node->genericPtr())->parent != nullptr;
}

xmlNodePtr contentChildAt(xmlNodePtr node, int index, int* count)
{
    int position = 0;
    for (xmlNodePtr child = node->children; child; child = child->next) {
        if (!isContentKind(child->type))
            continue;
        if (position == index)
            return child;
        ++position;
    }
    if (count)
        *count = position;
    return nullptr;
}

QString attributeValue(xmlAttrPtr attribute)
{
    return attribute->children ? fromXml(attribute->children->content) : QString();
}

// The attribute that xmlAddChild would replace: same local name, same namespace URI.
xmlAttrPtr attributeLike(xmlNodePtr element, const xmlAttr* attribute)
{
    const xmlChar* href = attribute->ns ? attribute->ns->href : nullptr;
    for (xmlAttrPtr existing = element->properties; existing; existing = existing->next) {
        if (!xmlStrEqual(existing->name, attribute->name))
            continue;
        if (href ? existing->ns && xmlStrEqual(existing->ns->href, href) : !existing->ns)
            return existing;
    }
    return nullptr;
}

}  // namespace

// ---- creation ----

std::shared_ptr<DDXMLElement> DDXMLElement::initWithName(const QString& name)
{
    ensureThreadSetup();
    QByteArray bytes;
    return adoptAs<DDXMLElement>(xmlNewNode(nullptr, xcOrNull(name, bytes)));
}

std::shared_ptr<DDXMLElement> DDXMLElement::initWithName(const QString& name, const QString& stringValue)
{
    auto element = initWithName(name);
    if (element)
        element->setStringValue(stringValue);
    return element;
}

std::shared_ptr<DDXMLElement> DDXMLElement::initWithNameURI(const QString& name, const QString& URI)
{
    auto element = initWithName(name);
    if (element)
        element->setURI(URI);
    return element;
}

std::shared_ptr<DDXMLElement> DDXMLElement::initWithXMLString(const QString& string, Error* error)
{
    auto doc = DDXMLDocument::initWithXMLString(string, 0, error);
    if (!doc)
        return nullptr;
    auto root = doc->rootElement();
    if (root)
        root->detach();
    return root;
}

std::shared_ptr<DDXMLElement> DDXMLElement::elementWithNameXmlns(const QString& name, const QString& xmlns)
{
    auto element = elementWithName(name);
    if (element)
        element->setXmlns(xmlns);
    return element;
}

// ---- element search ----

DDXMLElement::ElementList DDXMLElement::elementsForName(const QByteArray& name, const QByteArray& localName,
                                                        const QByteArray& prefix, const xmlChar* URI) const
{
    ElementList found;
    for (xmlNodePtr child = node()->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        bool matches = xmlStrEqual(child->name, xc(name));
        if (URI) {
            const bool sameURI = child->ns && xmlStrEqual(child->ns->href, URI);
            if (prefix.isEmpty())
                matches = matches && sameURI;
            else
                matches = matches || (xmlStrEqual(child->name, xc(localName)) && sameURI);
        }
        if (matches)
            found.append(wrapAs<DDXMLElement>(child, Access::owner(*this)));
    }
    return found;
}

DDXMLElement::ElementList DDXMLElement::elementsForName(const QString& name) const
{
    if (name.isNull())
        return {};
    const QByteArray full = name.toUtf8();
    const qsizetype colon = full.indexOf(':');
    const QByteArray prefix = colon < 0 ? QByteArray() : full.left(colon);
    const QByteArray localName = colon < 0 ? full : full.mid(colon + 1);
    const xmlChar* URI = prefix.isEmpty() ? nullptr : searchHref(node(), xc(prefix));
    return elementsForName(full, localName, prefix, URI);
}

std::shared_ptr<DDXMLElement> DDXMLElement::elementForName(const QString& name) const
{
    const ElementList found = elementsForName(name);
    return found.isEmpty() ? nullptr : found.first();
}

DDXMLElement::ElementList DDXMLElement::elementsForLocalName(const QString& localName, const QString& URI) const
{
    if (localName.isNull())
        return {};
    QByteArray uriBytes;
    const xmlChar* href = xcOrNull(URI, uriBytes);
    const QString prefix = resolvePrefixForNamespaceURI(URI);
    if (!prefix.isNull()) {
        const QByteArray local = localName.toUtf8();
        return elementsForName(prefix.toUtf8() + ':' + local, local, prefix.toUtf8(), href);
    }
    QString givenPrefix, givenLocal;
    getPrefix(&givenPrefix, &givenLocal, localName);
    return elementsForName(localName.toUtf8(), givenLocal.toUtf8(), givenPrefix.toUtf8(), href);
}

std::shared_ptr<DDXMLElement> DDXMLElement::elementForName(const QString& name, const QString& xmlns) const
{
    const ElementList found = elementsForLocalName(name, xmlns);
    return found.isEmpty() ? nullptr : found.first();
}

// ---- children ----

namespace {

void checkInsertableChild(const DDXMLNode::Ptr& child, xmlNodePtr parent)
{
    if (hasParent(child.get()))
        throw DDXMLException(QStringLiteral("Cannot add a child that has a parent; detach or copy first"));
    if (!child || !isContentKind(child->kind()))
        throw DDXMLException(QStringLiteral(
            "Elements can only have text, elements, processing instructions, and comments as children"));
    // A free-standing node may be the top of the very tree it is being added to: linking it
    // would make the tree a cycle.
    for (xmlNodePtr ancestor = parent; ancestor; ancestor = ancestor->parent) {
        if (ancestor == child->genericPtr())
            throw DDXMLException(QStringLiteral("Cannot add a node as a child of itself or of its descendants"));
    }
}

}  // namespace

void DDXMLElement::insertContent(const Ptr& child, xmlNodePtr before)
{
    std::shared_ptr<Tree> childTree = Access::owner(*child);
    const std::shared_ptr<Tree>& tree = Access::owner(*this);
    auto structure = static_cast<xmlNodePtr>(child->genericPtr());
    const bool topOfItsTree = childTree->top == structure;
    if (topOfItsTree)
        childTree->top = nullptr;
    xmlNodePtr placed = before ? xmlAddPrevSibling(before, structure) : xmlAddChild(node(), structure);
    if (!placed) {
        if (topOfItsTree)
            childTree->top = structure;
        return;
    }
    // libxml2 merges a text node into an adjacent one and frees it: its wrappers follow the text.
    if (placed != structure)
        retarget(*childTree, structure, placed);
    if (topOfItsTree)
        handOver(childTree, tree);
    else
        moveWrappers(childTree, placed, tree);
}

void DDXMLElement::addChild(const Ptr& child)
{
    checkInsertableChild(child, node());
    insertContent(child, nullptr);
}

void DDXMLElement::insertChild(const Ptr& child, int index)
{
    checkInsertableChild(child, node());
    int count = 0;
    xmlNodePtr before = index >= 0 ? contentChildAt(node(), index, &count) : nullptr;
    if (!before && (index < 0 || index != count))
        throw DDXMLException(QStringLiteral("index (%1) beyond bounds (%2)").arg(unsigned(index)).arg(count + 1));
    insertContent(child, before);
}

void DDXMLElement::removeChildAtIndex(int index)
{
    if (index < 0)
        return;
    if (xmlNodePtr child = contentChildAt(node(), index, nullptr))
        releaseChild(Access::owner(*this), child);
}

void DDXMLElement::setChildren(const List& children)
{
    while (xmlNodePtr child = node()->children)
        releaseChild(Access::owner(*this), child);
    for (const Ptr& child : children)
        addChild(child);
}

// ---- attributes ----

DDXMLNode::List DDXMLElement::attributes() const
{
    List list;
    for (xmlAttrPtr attribute = node()->properties; attribute; attribute = attribute->next)
        list.append(wrap(attribute, Access::owner(*this)));
    return list;
}

std::shared_ptr<DDXMLAttributeNode> DDXMLElement::attributeForName(const QString& name) const
{
    if (name.isNull())
        return nullptr;
    const QByteArray wanted = name.toUtf8();
    for (xmlAttrPtr attribute = node()->properties; attribute; attribute = attribute->next) {
        const bool matches = attribute->ns && attribute->ns->prefix
                                 ? xmlStrQEqual(attribute->ns->prefix, attribute->name, xc(wanted))
                                 : xmlStrEqual(attribute->name, xc(wanted));
        if (matches)
            return wrapAs<DDXMLAttributeNode>(attribute, Access::owner(*this));
    }
    return nullptr;
}

QVariantMap DDXMLElement::attributesAsDictionary() const
{
    QVariantMap map;
    for (xmlAttrPtr attribute = node()->properties; attribute; attribute = attribute->next)
        map.insert(qualifiedName(attribute->name, attribute->ns), attributeValue(attribute));
    return map;
}

void DDXMLElement::addAttribute(const Ptr& attribute)
{
    if (hasParent(attribute.get()))
        throw DDXMLException(QStringLiteral("Cannot add an attribute with a parent; detach or copy first"));
    if (!attribute || attribute->kind() != XML_ATTRIBUTE_NODE)
        throw DDXMLException(QStringLiteral("Not an attribute"));
    const std::shared_ptr<Tree>& tree = Access::owner(*this);
    std::shared_ptr<Tree> attributeTree = Access::owner(*attribute);
    auto added = static_cast<xmlAttrPtr>(attribute->genericPtr());

    const QString name = qualifiedName(added->name, added->ns);
    for (xmlAttrPtr existing = node()->properties; existing; existing = existing->next) {
        if (qualifiedName(existing->name, existing->ns) == name) {
            releaseAttribute(tree, existing);
            break;
        }
    }
    // xmlAddChild would free this one itself, behind the wrappers' back.
    if (xmlAttrPtr clash = attributeLike(node(), added))
        releaseAttribute(tree, clash);

    // The attribute's private namespace moves into the element: an equal declaration in scope
    // serves, or the copy becomes a declaration of the element. A copy without prefix, or whose
    // prefix is bound otherwise here, cannot be declared and stays with the tree.
    auto& privateNamespaces = attributeTree->ownedNs;
    auto privateNs = std::find(privateNamespaces.begin(), privateNamespaces.end(), added->ns);
    if (added->ns && privateNs != privateNamespaces.end()) {
        xmlNsPtr copy = added->ns;
        xmlNsPtr inScope = nearestDeclaration(node(), copy->prefix);
        if (inScope && xmlStrEqual(inScope->href, copy->href)) {
            privateNamespaces.erase(privateNs);
            added->ns = inScope;
            xmlFreeNs(copy);
        } else if (!inScope && copy->prefix) {
            privateNamespaces.erase(privateNs);
            xmlNsPtr* end = &node()->nsDef;
            while (*end)
                end = &(*end)->next;
            *end = copy;
        }
    }

    const bool topOfItsTree = attributeTree->top == added;
    if (topOfItsTree)
        attributeTree->top = nullptr;
    if (!xmlAddChild(node(), reinterpret_cast<xmlNodePtr>(added))) {
        if (topOfItsTree)
            attributeTree->top = added;
        return;
    }
    if (topOfItsTree)
        handOver(attributeTree, tree);
    else
        moveWrappers(attributeTree, added, tree);
}

void DDXMLElement::addAttributeWithName(const QString& name, const QString& stringValue)
{
    if (auto attribute = attributeWithName(name, stringValue))
        addAttribute(attribute);
}

void DDXMLElement::removeAttributeForName(const QString& name)
{
    if (name.isNull())
        return;
    const QByteArray wanted = name.toUtf8();
    for (xmlAttrPtr attribute = node()->properties; attribute; attribute = attribute->next) {
        if (xmlStrEqual(attribute->name, xc(wanted))) {
            releaseAttribute(Access::owner(*this), attribute);
            return;
        }
    }
}

void DDXMLElement::setAttributes(const List& attributes)
{
    while (xmlAttrPtr attribute = node()->properties)
        releaseAttribute(Access::owner(*this), attribute);
    for (const Ptr& attribute : attributes)
        addAttribute(attribute);
}

// ---- namespaces ----

void DDXMLElement::addNamespace(const Ptr& ns)
{
    if (hasParent(ns.get()))
        throw DDXMLException(QStringLiteral("Cannot add a namespace with a parent; detach or copy first"));
    if (!ns || ns->kind() != XML_NAMESPACE_DECL)
        throw DDXMLException(QStringLiteral("Not a namespace"));
    const std::shared_ptr<Tree>& tree = Access::owner(*this);
    std::shared_ptr<Tree> nsTree = Access::owner(*ns);
    auto added = static_cast<xmlNsPtr>(ns->genericPtr());

    if (xmlNsPtr existing = findDeclaration(node()->nsDef, added->prefix))
        releaseNamespace(tree, existing, node());
    added->next = nullptr;
    xmlNsPtr* end = &node()->nsDef;
    while (*end)
        end = &(*end)->next;
    *end = added;
    if (!added->prefix)
        node()->ns = added;

    if (nsTree->top == added)
        handOver(nsTree, tree);
    else
        moveWrappers(nsTree, added, tree);
    for (DDXMLNode* wrapper = tree->firstWrapper; wrapper; wrapper = Access::nextInTree(*wrapper)) {
        if (wrapper->genericPtr() == added)
            Access::setNsParent(*wrapper, node());
    }
}

void DDXMLElement::removeNamespaceForPrefix(const QString& prefix)
{
    const QByteArray bytes = prefix.toUtf8();
    if (xmlNsPtr ns = findDeclaration(node()->nsDef, prefix.isEmpty() ? nullptr : xc(bytes)))
        releaseNamespace(Access::owner(*this), ns, node());
}

DDXMLNode::List DDXMLElement::namespaces() const
{
    List list;
    for (xmlNsPtr ns = node()->nsDef; ns; ns = ns->next)
        list.append(wrap(ns, Access::owner(*this), node()));
    return list;
}

std::shared_ptr<DDXMLNamespaceNode> DDXMLElement::namespaceForPrefix(const QString& prefix) const
{
    if (!prefix.isEmpty()) {
        const QByteArray bytes = prefix.toUtf8();
        return wrapAs<DDXMLNamespaceNode>(findDeclaration(node()->nsDef, xc(bytes)), Access::owner(*this), node());
    }
    xmlNsPtr own = node()->ns;
    if (!own)
        return nullptr;
    if (xmlNodePtr declaring = declaringNodeOf(node(), own))
        return wrapAs<DDXMLNamespaceNode>(own, Access::owner(*this), declaring);
    // Declared nowhere in the tree (the shared XML namespace): a copy of its own.
    return adoptAs<DDXMLNamespaceNode>(newNs(own->href, own->prefix));
}

void DDXMLElement::setNamespaces(const List& namespaces)
{
    while (xmlNsPtr ns = node()->nsDef)
        releaseNamespace(Access::owner(*this), ns, node());
    node()->ns = nullptr;
    for (const Ptr& ns : namespaces)
        addNamespace(ns);
}

QString DDXMLElement::xmlns() const
{
    auto ns = namespaceForPrefix(QStringLiteral(""));
    return ns ? ns->stringValue() : QString();
}

void DDXMLElement::setXmlns(const QString& URI)
{
    if (auto ns = namespaceWithName(QStringLiteral(""), URI))
        addNamespace(ns);
}

std::shared_ptr<DDXMLNamespaceNode> DDXMLElement::resolveNamespaceForName(const QString& name) const
{
    if (name.isNull())
        return nullptr;
    const QString prefix = prefixForName(name);
    if (prefix.isEmpty() && !name.isEmpty())
        return nullptr;
    const QByteArray bytes = prefix.toUtf8();
    const xmlChar* wanted = prefix.isEmpty() ? nullptr : xc(bytes);
    for (xmlNodePtr scope = node(); scope; scope = scope->parent) {
        if (xmlNsPtr ns = findDeclaration(declarationsOf(scope), wanted))
            return wrapAs<DDXMLNamespaceNode>(ns, Access::owner(*this), scope);
    }
    return nullptr;
}

QString DDXMLElement::resolvePrefixForNamespaceURI(const QString& namespaceURI) const
{
    if (namespaceURI.isNull())
        return {};
    const QByteArray href = namespaceURI.toUtf8();
    for (xmlNodePtr scope = node(); scope; scope = scope->parent) {
        for (xmlNsPtr ns = declarationsOf(scope); ns; ns = ns->next) {
            if (ns->prefix && xmlStrEqual(ns->href, xc(href)))
                return fromXml(ns->prefix);
        }
    }
    return {};
}

QString DDXMLElement::prettyXMLString() const
{
    return XMLStringWithOptions(kPrettyPrint | kCompactEmptyElement);
}

QString DDXMLElement::compactXMLString() const
{
    return XMLStringWithOptions(kCompactEmptyElement);
}
