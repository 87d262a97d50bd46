#include "Library/KissXML/DDXMLNode.h"
#include "Library/KissXML/DDXMLPrivate.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

using namespace DDXMLPrivate;

namespace {

// XPath needs a document. A tree without one is lent a temporary document for the evaluation,
// with the tree's top node as its root, so that a node inside the tree stays where it is and
// the tree is exactly as before once the loan ends.
class TemporaryDocument
{
public:
    explicit TemporaryDocument(xmlNodePtr node)
    {
        m_top = node;
        while (m_top->parent)
            m_top = m_top->parent;
        m_doc = xmlNewDoc(nullptr);
        if (m_doc)
            xmlDocSetRootElement(m_doc, m_top);
    }
    ~TemporaryDocument()
    {
        if (!m_doc)
            return;
        xmlUnlinkNode(m_top);
        DDXMLNode::recursiveStripDocPointersFromNode(m_top);
        xmlFreeDoc(m_doc);
    }
    TemporaryDocument(const TemporaryDocument&) = delete;
    TemporaryDocument& operator=(const TemporaryDocument&) = delete;

    xmlDocPtr doc() const { return m_doc; }

private:
    xmlNodePtr m_top = nullptr;
    xmlDocPtr m_doc = nullptr;
};

}  // namespace

std::optional<DDXMLNode::List> DDXMLNode::nodesForXPath(const QString& xpath, Error* error) const
{
    const int k = kind();
    if (k == 0)
        return List();
    if (k != XML_DOCUMENT_NODE && !isContentKind(k))
        return std::nullopt;
    ensureThreadSetup();

    auto node = static_cast<xmlNodePtr>(m_genericPtr);
    std::optional<TemporaryDocument> temporary;
    xmlDocPtr doc = k == XML_DOCUMENT_NODE ? static_cast<xmlDocPtr>(m_genericPtr) : node->doc;
    if (!doc) {
        temporary.emplace(node);
        doc = temporary->doc();
    }

    xmlXPathObjectPtr result = nullptr;
    xmlXPathContextPtr context = doc ? xmlXPathNewContext(doc) : nullptr;
    if (context) {
        context->node = node;
        // The prefixes declared on the root element can be used in the expression. A default
        // namespace cannot be registered, so unprefixed names match elements without namespace.
        if (xmlNodePtr root = xmlDocGetRootElement(doc)) {
            for (xmlNsPtr ns = root->nsDef; ns; ns = ns->next) {
                if (ns->prefix)
                    xmlXPathRegisterNs(context, ns->prefix, ns->href);
            }
        }
        result = xmlXPathEvalExpression(xc(xpath.toUtf8()), context);
    }

    if (!result) {
        if (context)
            xmlXPathFreeContext(context);
        if (error)
            *error = lastError().value_or(Error());
        return std::nullopt;
    }

    if (error)
        *error = Error();
    List nodes;
    if (result->type == XPATH_NODESET && result->nodesetval) {
        xmlNodeSetPtr set = result->nodesetval;
        for (int i = 0; i < set->nodeNr; ++i) {
            xmlNodePtr selected = set->nodeTab[i];
            if (selected->type == XML_NAMESPACE_DECL) {
                // libxml2 hands out namespace nodes as copies that it frees with the result.
                auto ns = reinterpret_cast<xmlNsPtr>(selected);
                if (Ptr copy = adopt(newNs(ns->href, ns->prefix)))
                    nodes.append(copy);
            } else if (!temporary || selected != reinterpret_cast<xmlNodePtr>(temporary->doc())) {
                // The temporary document ends with this call: the tree has no document to give.
                nodes.append(wrap(selected, m_owner));
            }
        }
    }
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    return nodes;
}
