#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QVariantList>

#include <optional>

#include <libxml/tree.h>

// XPath queries over an HTML or XML page held in memory. Each matched node becomes a plain
// dictionary (QVariantMap) with the keys below, its children and attributes nested the same way.
// Every query parses the bytes afresh and frees the libxml2 document before it returns.
//
// "nodeName"            the node's name ("text" for a text node)
// "nodeContent"         the node's own text; an element's folded text child, trimmed
// "nodeAttributeArray"  attribute dictionaries: "attributeName", "nodeContent" (the whole value,
//                       trimmed) and, for a value holding other nodes, "attributeContent"
// "nodeChildArray"      child dictionaries (a text child keeps its text untrimmed)
// "raw"                 the node serialised back to markup, UTF-8
//
// The answer is empty (no value) when the bytes do not parse or the expression does not select
// nodes; each of those cases logs one line. A null query gives no answer and no line.

namespace XPathQueryKeys {
inline constexpr QLatin1String kNodeName("nodeName");
inline constexpr QLatin1String kNodeContent("nodeContent");
inline constexpr QLatin1String kNodeAttributeArray("nodeAttributeArray");
inline constexpr QLatin1String kNodeChildArray("nodeChildArray");
inline constexpr QLatin1String kRaw("raw");
inline constexpr QLatin1String kAttributeName("attributeName");
inline constexpr QLatin1String kAttributeContent("attributeContent");
// The name libxml2 gives every text node.
inline constexpr QLatin1String kTextNodeName("text");
}  // namespace XPathQueryKeys

std::optional<QVariantList> PerformHTMLXPathQuery(const QByteArray& document, const QString& query);
std::optional<QVariantList> PerformHTMLXPathQueryWithEncoding(const QByteArray& document, const QString& query,
                                                              const QString& encoding);
std::optional<QVariantList> PerformXMLXPathQuery(const QByteArray& document, const QString& query);
std::optional<QVariantList> PerformXMLXPathQueryWithEncoding(const QByteArray& document, const QString& query,
                                                             const QString& encoding);
std::optional<QVariantList> PerformXPathQuery(xmlDocPtr doc, const QString& query);
