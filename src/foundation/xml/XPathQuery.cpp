#include "foundation/xml/XPathQuery.h"

#include <QtGlobal>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <limits>

namespace {

using namespace XPathQueryKeys;

void logLine(const char* text)
{
    qInfo("%s", text);
}

QString fromXmlChar(const xmlChar* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

// Only these node kinds carry text of their own; on the others the content field means something
// else (or, for a document, is not there at all).
bool hasOwnContent(xmlNodePtr node)
{
    switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return node->content != nullptr;
    default:
        return false;
    }
}

// Declarations below a doctype and an entity's replacement are not walked: they are not part of
// the page, and their records are not laid out like nodes.
bool hasWalkableChildren(xmlNodePtr node)
{
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
        return true;
    default:
        return false;
    }
}

std::optional<QString> rawMarkup(xmlNodePtr node)
{
    xmlBufferPtr buffer = xmlBufferCreate();
    if (!buffer)
        return std::nullopt;
    std::optional<QString> raw;
    if (xmlNodeDump(buffer, node->doc, node, 0, 0) >= 0)
        raw = QString::fromUtf8(reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer));
    xmlBufferFree(buffer);
    return raw;
}

QVariantMap dictionaryForNode(xmlNodePtr node, QVariantMap* parentResult, bool parentContent);

QVariantMap dictionaryForAttribute(xmlAttrPtr attribute)
{
    QVariantMap result;
    if (attribute->name)
        result.insert(kAttributeName, fromXmlChar(attribute->name));
    // libxml2 splits a value at each entity reference; the value is read whole.
    if (xmlChar* value = xmlNodeListGetString(attribute->doc, attribute->children, 1)) {
        result.insert(kNodeContent, fromXmlChar(value).trimmed());
        xmlFree(value);
    }
    for (xmlNodePtr child = attribute->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE)
            continue;  // already part of the whole value
        const QVariantMap childResult = dictionaryForNode(child, &result, true);
        if (!childResult.isEmpty())
            result.insert(kAttributeContent, childResult);
    }
    return result;
}

QVariantMap dictionaryForNode(xmlNodePtr node, QVariantMap* parentResult, bool parentContent)
{
    QVariantMap result;
    if (node->type == XML_NAMESPACE_DECL) {
        // A namespace in a node set is a namespace record, not a node: prefix and URI only.
        const auto* ns = reinterpret_cast<xmlNsPtr>(node);
        if (ns->prefix)
            result.insert(kNodeName, fromXmlChar(ns->prefix));
        if (ns->href)
            result.insert(kNodeContent, fromXmlChar(ns->href));
        return result;
    }

    if (node->name)
        result.insert(kNodeName, fromXmlChar(node->name));

    if (hasOwnContent(node)) {
        const QString content = fromXmlChar(node->content);
        if (parentResult && result.value(kNodeName).toString() == kTextNodeName) {
            if (parentContent) {
                parentResult->insert(kNodeContent, content.trimmed());
                return {};
            }
            result.insert(kNodeContent, content);
            return result;
        }
        result.insert(kNodeContent, content);
    }

    if (node->type == XML_ELEMENT_NODE) {
        QVariantList attributes;
        for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
            const QVariantMap attributeResult = dictionaryForAttribute(attribute);
            if (!attributeResult.isEmpty())
                attributes.append(attributeResult);
        }
        if (!attributes.isEmpty())
            result.insert(kNodeAttributeArray, attributes);
    }

    if (hasWalkableChildren(node)) {
        QVariantList children;
        for (xmlNodePtr child = node->children; child; child = child->next) {
            const QVariantMap childResult = dictionaryForNode(child, &result, false);
            if (!childResult.isEmpty())
                children.append(childResult);
        }
        if (!children.isEmpty())
            result.insert(kNodeChildArray, children);
    }

    if (const std::optional<QString> raw = rawMarkup(node))
        result.insert(kRaw, *raw);
    return result;
}

using ReadMemory = xmlDocPtr (*)(const char* buffer, int size, const char* URL, const char* encoding, int options);

std::optional<QVariantList> parseAndQuery(ReadMemory read, int options, const QByteArray& document,
                                          const QString& query, const QString& encoding)
{
    if (query.isNull())
        return std::nullopt;
    const QByteArray encodingName = encoding.toUtf8();
    // libxml2 takes lengths as int.
    xmlDocPtr doc = document.size() <= std::numeric_limits<int>::max()
        ? read(document.constData(), static_cast<int>(document.size()), "",
               encoding.isEmpty() ? nullptr : encodingName.constData(), options)
        : nullptr;
    if (!doc) {
        logLine("Unable to parse.");
        return std::nullopt;
    }
    std::optional<QVariantList> result = PerformXPathQuery(doc, query);
    xmlFreeDoc(doc);
    return result;
}

}  // namespace

std::optional<QVariantList> PerformXPathQuery(xmlDocPtr doc, const QString& query)
{
    if (!doc || query.isNull())
        return std::nullopt;
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    if (!context) {
        logLine("Unable to create XPath context.");
        return std::nullopt;
    }
    const QByteArray expression = query.toUtf8();
    xmlXPathObjectPtr object = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.constData()), context);
    if (!object) {
        logLine("Unable to evaluate XPath.");
        xmlXPathFreeContext(context);
        return std::nullopt;
    }
    std::optional<QVariantList> result;
    if (xmlNodeSetPtr nodes = object->nodesetval) {
        QVariantList list;
        list.reserve(nodes->nodeNr);
        for (int i = 0; i < nodes->nodeNr; ++i)
            list.append(dictionaryForNode(nodes->nodeTab[i], nullptr, false));
        result = std::move(list);
    } else {
        logLine("Nodes was nil.");
    }
    xmlXPathFreeObject(object);
    xmlXPathFreeContext(context);
    return result;
}

std::optional<QVariantList> PerformHTMLXPathQueryWithEncoding(const QByteArray& document, const QString& query,
                                                              const QString& encoding)
{
    // No error or warning reports, and never a network fetch.
    return parseAndQuery(&htmlReadMemory, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET, document,
                         query, encoding);
}

std::optional<QVariantList> PerformHTMLXPathQuery(const QByteArray& document, const QString& query)
{
    return PerformHTMLXPathQueryWithEncoding(document, query, QString());
}

std::optional<QVariantList> PerformXMLXPathQueryWithEncoding(const QByteArray& document, const QString& query,
                                                             const QString& encoding)
{
    // Recover from errors; entities stay references and nothing is fetched.
    return parseAndQuery(&xmlReadMemory, XML_PARSE_RECOVER | XML_PARSE_NONET, document, query, encoding);
}

std::optional<QVariantList> PerformXMLXPathQuery(const QByteArray& document, const QString& query)
{
    return PerformXMLXPathQueryWithEncoding(document, query, QString());
}
