#include "KissXMLTestSupport.h"

using namespace KissXMLTest;

namespace {

QStringList namesInDocumentOrder(DDXMLNode::Ptr node, bool forwards)
{
    QStringList names;
    for (; node; node = forwards ? node->nextNode() : node->previousNode())
        names.append(node->kind() == XML_TEXT_NODE ? node->stringValue() : node->name());
    return names;
}

TEST(DDXMLNavigation, WalksTheTreeInDocumentOrder)
{
    auto doc = parse(QStringLiteral("<!--c--><a><b><c>t</c></b><d/></a>"));
    auto root = doc->rootElement();
    EXPECT_EQ(doc->childCount(), 2);
    EXPECT_EQ(root->level(), 1);
    EXPECT_EQ(root->index(), 1);
    EXPECT_EQ(namesInDocumentOrder(root, true),
              QStringList({"a", "b", "c", "t", "d"}));
    auto d = root->childAtIndex(1);
    EXPECT_EQ(namesInDocumentOrder(d, false), QStringList({"d", "t", "c", "b", "a", "comment"}));
    EXPECT_FALSE(root->childAtIndex(0)->previousSibling());
    EXPECT_TRUE(d->previousSibling()->isEqual(root->childAtIndex(0)));
    EXPECT_FALSE(d->nextSibling());
    EXPECT_EQ(d->level(), 2);
    EXPECT_TRUE(d->rootDocument()->isEqual(doc));
    // Two wrappers of one node are equal; wrappers of different nodes are not.
    EXPECT_TRUE(root->childAtIndex(0)->isEqual(root->elementForName(QStringLiteral("b"))));
    EXPECT_FALSE(root->isEqual(d));
    EXPECT_FALSE(doc->isEqual(root));
}

TEST(DDXMLNavigation, AttributesAndNamespacesHaveNoDocumentOrderNeighbours)
{
    auto doc = parse(QStringLiteral("<a xmlns:p=\"urn:p\" x=\"1\" y=\"2\"/>"));
    auto root = doc->rootElement();
    auto y = root->attributeForName(QStringLiteral("y"));
    EXPECT_EQ(y->index(), 1);
    EXPECT_EQ(y->level(), 2);
    EXPECT_TRUE(y->parent()->isEqual(root));
    EXPECT_EQ(y->previousSibling()->name(), QStringLiteral("x"));
    EXPECT_FALSE(y->nextNode());
    EXPECT_FALSE(y->previousNode());
    EXPECT_EQ(y->childCount(), 0);
    auto ns = root->namespaces().first();
    EXPECT_EQ(ns->childCount(), 0);
    EXPECT_FALSE(ns->nextSibling());
    EXPECT_EQ(ns->prefix(), QStringLiteral(""));
    EXPECT_EQ(ns->localName(), QStringLiteral("p"));
}

TEST(DDXMLNames, PrefixesComeFromTheNamespace)
{
    auto doc = parse(QStringLiteral("<p:a xmlns:p=\"urn:p\" p:x=\"1\" y=\"2\"><b/></p:a>"));
    auto root = doc->rootElement();
    EXPECT_EQ(root->name(), QStringLiteral("p:a"));
    EXPECT_EQ(root->localName(), QStringLiteral("a"));
    EXPECT_EQ(root->prefix(), QStringLiteral("p"));
    EXPECT_EQ(root->childAtIndex(0)->prefix(), QStringLiteral(""));
    EXPECT_EQ(root->attributeForName(QStringLiteral("p:x"))->localName(), QStringLiteral("x"));
    EXPECT_FALSE(root->attributeForName(QStringLiteral("x")));
    EXPECT_EQ(root->attributesAsDictionary(),
              QVariantMap({{QStringLiteral("p:x"), QStringLiteral("1")}, {QStringLiteral("y"), QStringLiteral("2")}}));
    root->setName(QStringLiteral("z"));
    EXPECT_EQ(root->name(), QStringLiteral("p:z"));

    QString prefix, localName;
    DDXMLNode::getPrefix(&prefix, &localName, QStringLiteral("q:r:s"));
    EXPECT_EQ(prefix, QStringLiteral("q"));
    EXPECT_EQ(localName, QStringLiteral("r:s"));
    DDXMLNode::getPrefix(&prefix, &localName, QString());
    EXPECT_EQ(prefix, QStringLiteral(""));
    EXPECT_TRUE(localName.isNull());
    EXPECT_EQ(DDXMLNode::localNameForName(QStringLiteral("plain")), QStringLiteral("plain"));
    bool hasPrefix = true;
    DDXMLNode::getHasPrefix(&hasPrefix, &localName, QStringLiteral(":x"));
    EXPECT_FALSE(hasPrefix);
    DDXMLNode::getHasPrefix(&hasPrefix, &localName, QStringLiteral("a:x"));
    EXPECT_TRUE(hasPrefix);
    EXPECT_EQ(localName, QStringLiteral("x"));
}

TEST(DDXMLValues, StringValuesRoundTripForEveryKind)
{
    auto element = DDXMLNode::elementWithName(QStringLiteral("e"), QStringLiteral("a&b<c"));
    EXPECT_EQ(element->stringValue(), QStringLiteral("a&b<c"));
    EXPECT_EQ(element->XMLString(), QStringLiteral("<e>a&amp;b&lt;c</e>"));

    auto text = DDXMLNode::textWithStringValue(QStringLiteral("x"));
    text->setStringValue(QStringLiteral("1 & 2"));
    EXPECT_EQ(text->stringValue(), QStringLiteral("1 & 2"));
    auto comment = DDXMLNode::commentWithStringValue(QStringLiteral("c"));
    comment->setStringValue(QStringLiteral("<b>"));
    EXPECT_EQ(comment->XMLString(), QStringLiteral("<!--<b>-->"));

    auto attribute = DDXMLNode::attributeWithName(QStringLiteral("a"), QString());
    EXPECT_TRUE(attribute->stringValue().isNull());
    attribute->setStringValue(QStringLiteral("x&y"));
    EXPECT_EQ(attribute->stringValue(), QStringLiteral("x&y"));
    attribute->setStringValue(QStringLiteral("\"q\" & r"));
    EXPECT_EQ(attribute->stringValue(), QStringLiteral("\"q\" & r"));
    EXPECT_EQ(attribute->XMLString(), QStringLiteral("a=\"&quot;q&quot; &amp; r\""));

    auto pi = DDXMLNode::processingInstructionWithName(QStringLiteral("go"), QStringLiteral("now"));
    EXPECT_EQ(pi->name(), QStringLiteral("go"));
    EXPECT_EQ(pi->stringValue(), QStringLiteral("now"));
    auto ns = DDXMLNode::namespaceWithName(QStringLiteral(""), QStringLiteral("urn:x"));
    EXPECT_EQ(ns->name(), QStringLiteral(""));
    EXPECT_FALSE(ns->name().isNull());

    auto doc = parse(QStringLiteral("<a>x<b>y</b>z</a>"));
    EXPECT_EQ(doc->rootElement()->stringValue(), QStringLiteral("xyz"));
    EXPECT_TRUE(doc->stringValue().isNull());
}

TEST(DDXMLValues, IdAttributesStayInTheDocumentsIdTable)
{
    auto doc = parse(QStringLiteral("<!DOCTYPE r [<!ATTLIST b i ID #IMPLIED>]><r><b i=\"x\"/><b i=\"z\"/></r>"));
    auto first = doc->rootElement()->elementForName(QStringLiteral("b"));
    first->attributeForName(QStringLiteral("i"))->setStringValue(QStringLiteral("y"));
    EXPECT_EQ(doc->nodesForXPath(QStringLiteral("id('y')"), nullptr)->size(), 1);
    EXPECT_TRUE(doc->nodesForXPath(QStringLiteral("id('x')"), nullptr)->isEmpty());
    // Removed or detached, an ID attribute leaves the table and cannot be reached through it.
    first->removeAttributeForName(QStringLiteral("i"));
    doc->rootElement()->childAtIndex(1)->detach();
    EXPECT_TRUE(doc->nodesForXPath(QStringLiteral("id('x')"), nullptr)->isEmpty());
    EXPECT_TRUE(doc->nodesForXPath(QStringLiteral("id('y')"), nullptr)->isEmpty());
    EXPECT_TRUE(doc->nodesForXPath(QStringLiteral("id('z')"), nullptr)->isEmpty());
}

TEST(DDXMLChildren, SearchAndEditByIndex)
{
    auto doc = parse(QStringLiteral("<r xmlns:p=\"urn:p\"><p:i/><i/><!--c--><i>last</i></r>"));
    auto root = doc->rootElement();
    // Without a prefix the name alone decides, whatever the namespace.
    EXPECT_EQ(root->elementsForName(QStringLiteral("i")).size(), 3);
    EXPECT_EQ(root->elementsForName(QStringLiteral("p:i")).size(), 1);
    EXPECT_TRUE(root->elementsForName(QStringLiteral("q:i")).isEmpty());
    EXPECT_TRUE(root->elementsForName(QString()).isEmpty());
    EXPECT_EQ(root->elementForName(QStringLiteral("i"))->XPath(), QStringLiteral("/r[1]/i[1]"));

    // Indexes count elements, text, comments and instructions alike.
    root->insertChild(DDXMLNode::elementWithName(QStringLiteral("n")), 3);
    EXPECT_EQ(root->childAtIndex(3)->name(), QStringLiteral("n"));
    root->insertChild(DDXMLNode::elementWithName(QStringLiteral("end")), 5);
    EXPECT_EQ(root->childAtIndex(5)->name(), QStringLiteral("end"));
    root->removeChildAtIndex(2);
    root->removeChildAtIndex(99);
    EXPECT_EQ(root->childCount(), 5);
    EXPECT_EQ(root->childAtIndex(2)->name(), QStringLiteral("n"));

    auto built = DDXMLNode::elementWithName(QStringLiteral("b"),
                                            {DDXMLNode::textWithStringValue(QStringLiteral("t")),
                                             DDXMLNode::elementWithName(QStringLiteral("c"))},
                                            {DDXMLNode::attributeWithName(QStringLiteral("k"), QStringLiteral("v"))});
    EXPECT_EQ(built->XMLString(), QStringLiteral("<b k=\"v\">t<c></c></b>"));
    built->setStringValue(QStringLiteral("only"));
    EXPECT_EQ(built->XMLString(), QStringLiteral("<b k=\"v\">only</b>"));
}

}  // namespace
