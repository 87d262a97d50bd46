// Arbitrary bytes as an XML document: parsed, queried by XPath, serialised, and the first node
// found moved out of the tree and back in. Input: the document, optionally followed by a NUL byte
// and the XPath expression (a fixed query otherwise). Nothing may crash, leak or reach freed memory,
// and a document that parsed must serialise to text that parses again.
#include "Library/KissXML/DDXML.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "kissxml: %s\n", what);
    std::abort();
}

void touch(const DDXMLNode& node)
{
    (void)node.XMLString();
    (void)node.XPath();
    (void)node.stringValue();
    (void)node.name();
    (void)node.URI();
    (void)node.index();
    (void)node.level();
}

// Moves the node out of its tree and puts it back under the root element.
void moveAndReturn(const std::shared_ptr<DDXMLDocument>& doc, const DDXMLNode::Ptr& node)
{
    node->detach();
    touch(*node);
    auto root = doc->rootElement();
    if (!root || root->isEqual(node) || node->parent())
        return;
    switch (node->kind()) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
        root->insertChild(node, 0);
        break;
    case XML_ATTRIBUTE_NODE:
        root->addAttribute(node);
        break;
    case XML_NAMESPACE_DECL:
        root->addNamespace(node);
        break;
    default:
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf('\0');
    const QByteArray xml = split < 0 ? input : input.left(split);
    const QString xpath = split < 0 ? QStringLiteral("//*|//@*|//text()|//comment()")
                                    : QString::fromUtf8(input.mid(split + 1));

    Error error;
    auto doc = DDXMLDocument::initWithData(xml, 0, &error);
    if (!doc) {
        if (error.domain != QLatin1String(DDXMLErrorDomain) || (error.code != 0 && error.code != 1))
            fail("a failed parse gave an unexpected error");
        return 0;
    }
    const QString serialised = doc->XMLString();
    if (!DDXMLDocument::initWithXMLString(serialised, 0, nullptr))
        fail("serialised document does not parse again");
    (void)doc->XMLStringWithOptions(DDXMLNode::kPrettyPrint | DDXMLNode::kCompactEmptyElement);

    const auto found = doc->nodesForXPath(xpath, &error);
    if (!found)
        return 0;
    for (const auto& node : *found) {
        if (!node)
            fail("XPath gave a null node");
        touch(*node);
    }
    if (!found->isEmpty()) {
        const auto& first = found->first();
        if (auto copied = first->copy())
            touch(*copied);
        moveAndReturn(doc, first);
    }
    // The document is released while the found nodes still point into it.
    doc->XMLString();
    doc.reset();
    for (const auto& node : *found)
        touch(*node);
    return 0;
}
