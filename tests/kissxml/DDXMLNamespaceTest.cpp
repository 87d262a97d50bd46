#include "KissXMLTestSupport.h"

using namespace KissXMLTest;

namespace {

QStringList prefixesOf(const std::shared_ptr<DDXMLElement>& element)
{
    QStringList prefixes;
    for (const auto& ns : element->namespaces())
        prefixes.append(ns->name() + QLatin1Char('=') + ns->stringValue());
    return prefixes;
}

TEST(DDXMLNamespaces, ADetachedElementDeclaresWhatItUses)
{
    auto doc = parse(QStringLiteral(
        "<root xmlns:p=\"urn:p\" xmlns=\"urn:d\"><p:child p:a=\"1\"><p:g/><plain/></p:child></root>"));
    auto child = doc->rootElement()->elementForName(QStringLiteral("p:child"));
    ASSERT_TRUE(child);
    child->detach();
    doc.reset();
    EXPECT_EQ(child->URI(), QStringLiteral("urn:p"));
    // One declaration serves the element, its attribute and the descendants that use it.
    EXPECT_EQ(prefixesOf(child), QStringList({QStringLiteral("p=urn:p")}));
    EXPECT_EQ(child->XMLString(), QStringLiteral("<p:child xmlns:p=\"urn:p\" p:a=\"1\"><p:g></p:g>"
                                                 "<plain xmlns=\"urn:d\"></plain></p:child>"));
    auto reparsed = DDXMLElement::initWithXMLString(child->XMLString(), nullptr);
    ASSERT_TRUE(reparsed);
    EXPECT_EQ(reparsed->elementForName(QStringLiteral("plain"))->URI(), QStringLiteral("urn:d"));
}

TEST(DDXMLNamespaces, AnElementParsedFromTextStandsAloneWithItsNamespaces)
{
    auto element = DDXMLElement::initWithXMLString(QStringLiteral("<a xmlns:q=\"urn:q\"><q:b/></a>"), nullptr);
    ASSERT_TRUE(element);
    EXPECT_FALSE(element->parent());
    EXPECT_FALSE(element->rootDocument());
    EXPECT_EQ(prefixesOf(element), QStringList({QStringLiteral("q=urn:q")}));
    EXPECT_EQ(element->elementForName(QStringLiteral("q:b"))->URI(), QStringLiteral("urn:q"));
}

TEST(DDXMLNamespaces, RemovingADeclarationInUseGivesTheUserACopy)
{
    auto doc = parse(QStringLiteral(
        "<root xmlns:p=\"urn:p\"><p:c xmlns:q=\"urn:q\"><p:x/></p:c><d p:at=\"v\"/><e/></root>"));
    auto root = doc->rootElement();
    auto c = root->elementForName(QStringLiteral("p:c"));
    auto x = c->elementForName(QStringLiteral("p:x"));
    auto d = root->elementForName(QStringLiteral("d"));
    root->removeNamespaceForPrefix(QStringLiteral("p"));
    EXPECT_TRUE(root->namespaces().isEmpty());
    EXPECT_EQ(prefixesOf(c), QStringList({QStringLiteral("q=urn:q"), QStringLiteral("p=urn:p")}));
    EXPECT_EQ(c->URI(), QStringLiteral("urn:p"));
    EXPECT_TRUE(prefixesOf(x).isEmpty());
    EXPECT_EQ(x->URI(), QStringLiteral("urn:p"));
    EXPECT_TRUE(prefixesOf(root->elementForName(QStringLiteral("e"))).isEmpty());
    EXPECT_EQ(prefixesOf(d), QStringList({QStringLiteral("p=urn:p")}));
    EXPECT_EQ(d->attributeForName(QStringLiteral("p:at"))->URI(), QStringLiteral("urn:p"));

    // Replacing all declarations migrates the uses below the element the same way.
    auto other = parse(QStringLiteral("<r xmlns:m=\"urn:m\" xmlns:n=\"urn:n\"><m:k/></r>"));
    other->rootElement()->setNamespaces({DDXMLNode::namespaceWithName(QStringLiteral("z"), QStringLiteral("urn:z"))});
    EXPECT_EQ(prefixesOf(other->rootElement()), QStringList({QStringLiteral("z=urn:z")}));
    EXPECT_EQ(other->rootElement()->childAtIndex(0)->XMLString(), QStringLiteral("<m:k xmlns:m=\"urn:m\"></m:k>"));
}

TEST(DDXMLNamespaces, LocationPaths)
{
    auto doc = parse(QStringLiteral("<main xmlns:p=\"urn:p\" Version=\"1\"><item/><other/><item>t</item></main>"));
    auto root = doc->rootElement();
    EXPECT_EQ(root->elementsForName(QStringLiteral("item")).value(1)->XPath(), QStringLiteral("/main[1]/item[2]"));
    EXPECT_EQ(root->attributeForName(QStringLiteral("Version"))->XPath(), QStringLiteral("/main[1]/@Version"));
    EXPECT_EQ(root->namespaces().first()->XPath(), QStringLiteral("/main[1]/namespace::p"));
    EXPECT_EQ(root->childAtIndex(2)->childAtIndex(0)->XPath(), QStringLiteral("/main[1]/item[2]/text[1]"));
    EXPECT_EQ(DDXMLNode::elementWithName(QStringLiteral("main"))->XPath(), QStringLiteral("main"));
    EXPECT_EQ(DDXMLNode::attributeWithName(QStringLiteral("a"), QStringLiteral("v"))->XPath(), QStringLiteral("@a"));
    EXPECT_EQ(DDXMLNode::namespaceWithName(QStringLiteral("p"), QStringLiteral("u"))->XPath(),
              QStringLiteral("namespace::p"));
}

TEST(DDXMLNamespaces, LookupsByPrefix)
{
    auto doc = parse(QStringLiteral("<p:a xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><b><q:c/></b></p:a>"));
    auto root = doc->rootElement();
    auto own = root->namespaceForPrefix(QStringLiteral(""));
    ASSERT_TRUE(own);
    EXPECT_EQ(own->name(), QStringLiteral("p"));
    EXPECT_EQ(own->stringValue(), QStringLiteral("urn:p"));
    EXPECT_TRUE(own->parent()->isEqual(root));
    EXPECT_EQ(root->xmlns(), QStringLiteral("urn:p"));
    EXPECT_EQ(root->namespaceForPrefix(QStringLiteral("q"))->index(), 1);
    EXPECT_FALSE(root->namespaceForPrefix(QStringLiteral("z")));

    auto b = root->elementForName(QStringLiteral("b"));
    EXPECT_FALSE(b->resolveNamespaceForName(QStringLiteral("c")));
    auto resolved = b->resolveNamespaceForName(QStringLiteral("q:c"));
    ASSERT_TRUE(resolved);
    EXPECT_TRUE(resolved->parent()->isEqual(root));
    EXPECT_EQ(resolved->level(), 2);
    EXPECT_EQ(b->resolvePrefixForNamespaceURI(QStringLiteral("urn:q")), QStringLiteral("q"));
    EXPECT_TRUE(b->resolvePrefixForNamespaceURI(QStringLiteral("urn:none")).isNull());
    EXPECT_EQ(b->elementsForLocalName(QStringLiteral("c"), QStringLiteral("urn:q")).size(), 1);
    EXPECT_EQ(b->elementForName(QStringLiteral("c"), QStringLiteral("urn:q"))->name(), QStringLiteral("q:c"));
    EXPECT_TRUE(b->elementsForLocalName(QStringLiteral("c"), QStringLiteral("urn:p")).isEmpty());
}

TEST(DDXMLNamespaces, AddingAPrefixAgainReplacesTheDeclaration)
{
    auto element = DDXMLNode::elementWithName(QStringLiteral("e"));
    auto first = DDXMLNode::namespaceWithName(QStringLiteral("p"), QStringLiteral("urn:1"));
    element->addNamespace(first);
    EXPECT_TRUE(first->parent()->isEqual(element));
    element->addNamespace(DDXMLNode::namespaceWithName(QStringLiteral("p"), QStringLiteral("urn:2")));
    EXPECT_EQ(prefixesOf(element), QStringList({QStringLiteral("p=urn:2")}));
    EXPECT_FALSE(first->parent());
    EXPECT_EQ(first->stringValue(), QStringLiteral("urn:1"));

    element->setXmlns(QStringLiteral("urn:d"));
    EXPECT_EQ(element->xmlns(), QStringLiteral("urn:d"));
    EXPECT_EQ(element->URI(), QStringLiteral("urn:d"));
    EXPECT_EQ(DDXMLElement::elementWithNameXmlns(QStringLiteral("x"), QStringLiteral("urn:x"))->XMLString(),
              QStringLiteral("<x xmlns=\"urn:x\"></x>"));
}

TEST(DDXMLNamespaces, URIsOfElementsAndAttributes)
{
    auto element = DDXMLNode::elementWithNameURI(QStringLiteral("e"), QStringLiteral("urn:e"));
    EXPECT_EQ(element->URI(), QStringLiteral("urn:e"));
    element->setURI(QStringLiteral("urn:f"));
    EXPECT_EQ(prefixesOf(element), QStringList({QStringLiteral("=urn:f")}));
    element->setURI(QString());
    EXPECT_TRUE(element->URI().isNull());
    EXPECT_TRUE(element->namespaces().isEmpty());

    auto doc = parse(QStringLiteral("<r xmlns:p=\"urn:p\"><p:c/></r>"));
    auto c = doc->rootElement()->elementForName(QStringLiteral("p:c"));
    // An ancestor's namespace: the element stops using it, the declaration stays.
    c->setURI(QString());
    EXPECT_TRUE(c->URI().isNull());
    EXPECT_EQ(c->name(), QStringLiteral("c"));
    EXPECT_EQ(doc->rootElement()->namespaces().size(), 1);

    c->addAttributeWithName(QStringLiteral("a"), QStringLiteral("1"));
    auto a = c->attributeForName(QStringLiteral("a"));
    a->setURI(QStringLiteral("urn:p"));
    EXPECT_EQ(a->name(), QStringLiteral("p:a"));
    a->setURI(QStringLiteral("urn:private"));
    EXPECT_EQ(a->URI(), QStringLiteral("urn:private"));
    EXPECT_EQ(a->name(), QStringLiteral("a"));
    a->detach();
    doc.reset();
    EXPECT_EQ(a->URI(), QStringLiteral("urn:private"));

    auto prefixed = DDXMLNode::attributeWithName(QStringLiteral("q:v"), QStringLiteral("1"));
    auto holder = DDXMLElement::initWithXMLString(QStringLiteral("<h xmlns:q=\"urn:q\"/>"), nullptr);
    holder->addAttribute(prefixed);
    EXPECT_EQ(prefixed->URI(), QStringLiteral("urn:q"));
    EXPECT_EQ(DDXMLNode::attributeWithName(QStringLiteral("xml:lang"), QStringLiteral("zh"))->URI(), QString());
}

TEST(DDXMLNamespaces, TheXmlNamespaceSurvivesDetaching)
{
    auto doc = parse(QStringLiteral("<r><c xml:lang=\"zh\"/></r>"));
    auto c = doc->rootElement()->elementForName(QStringLiteral("c"));
    c->detach();
    doc.reset();
    auto lang = c->attributeForName(QStringLiteral("xml:lang"));
    ASSERT_TRUE(lang);
    EXPECT_EQ(lang->URI(), QStringLiteral("http://www.w3.org/XML/1998/namespace"));
    EXPECT_EQ(c->XMLString(), QStringLiteral("<c xml:lang=\"zh\"></c>"));
    auto copied = c->copy();
    EXPECT_EQ(copied->XMLString(), QStringLiteral("<c xml:lang=\"zh\"></c>"));
    lang->detach();
    c.reset();
    EXPECT_EQ(lang->URI(), QStringLiteral("http://www.w3.org/XML/1998/namespace"));
}

}  // namespace
