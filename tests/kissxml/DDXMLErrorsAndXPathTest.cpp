#include "KissXMLTestSupport.h"

#include <libxml/xmlerror.h>

#include <thread>

using namespace KissXMLTest;

namespace {

QString descriptionOf(const std::optional<Error>& error)
{
    return error ? error->userInfo.value(QString::fromLatin1(Error::kLocalizedDescriptionKey)).toString()
                 : QStringLiteral("<none>");
}

TEST(DDXMLParsing, EmptyDataAndMalformedTextGiveTheirCodes)
{
    Error error;
    EXPECT_FALSE(DDXMLDocument::initWithData(QByteArray(), 0, &error));
    EXPECT_EQ(error, Error(QStringLiteral("DDXMLErrorDomain"), 0));

    EXPECT_FALSE(DDXMLDocument::initWithData(QByteArray("<a>"), 0, &error));
    EXPECT_EQ(error, Error(QStringLiteral("DDXMLErrorDomain"), 1));
    // libxml2's own message goes to the thread's last error, not into the parse error.
    const QString message = descriptionOf(DDXMLNode::lastError());
    EXPECT_TRUE(message.contains(QLatin1String("a"))) << qPrintable(message);
    EXPECT_EQ(message, message.trimmed());

    EXPECT_FALSE(DDXMLElement::initWithXMLString(QStringLiteral("<a></b>"), &error));
    EXPECT_EQ(error.code, 1);
}

TEST(DDXMLParsing, BlankTextBetweenElementsIsDroppedAndEntitiesStayUnexpanded)
{
    auto doc = parse(QStringLiteral("<!DOCTYPE r [<!ENTITY e \"expanded\">]>\n<r>\n  <a> x </a>\n  <b>&e;</b>\n</r>"));
    auto root = doc->rootElement();
    EXPECT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->elementForName(QStringLiteral("a"))->stringValue(), QStringLiteral(" x "));
    auto reference = root->elementForName(QStringLiteral("b"))->childAtIndex(0);
    EXPECT_EQ(reference->kind(), XML_ENTITY_REF_NODE);
    EXPECT_EQ(root->elementForName(QStringLiteral("b"))->XMLString(), QStringLiteral("<b>&e;</b>"));
}

TEST(DDXMLParsing, ExternalEntitiesAreNotLoaded)
{
    auto doc = parse(QStringLiteral("<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><r>&x;</r>"));
    EXPECT_EQ(doc->rootElement()->stringValue(), QString());
}

TEST(DDXMLLastError, EachThreadKeepsItsOwnLastError)
{
    DDXMLDocument::initWithData(QByteArray("<main>"), 0, nullptr);
    const QString mainMessage = descriptionOf(DDXMLNode::lastError());
    ASSERT_TRUE(mainMessage.contains(QLatin1String("main"))) << qPrintable(mainMessage);

    QString workerMessage;
    bool workerHadErrorBefore = true;
    std::thread worker([&] {
        workerHadErrorBefore = DDXMLNode::lastError().has_value();
        // Another handler put on this thread before the tree is used is replaced by the tree's.
        xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
        DDXMLDocument::initWithData(QByteArray("<worker>"), 0, nullptr);
        workerMessage = descriptionOf(DDXMLNode::lastError());
    });
    worker.join();
    EXPECT_FALSE(workerHadErrorBefore);
    EXPECT_TRUE(workerMessage.contains(QLatin1String("worker"))) << qPrintable(workerMessage);
    EXPECT_EQ(descriptionOf(DDXMLNode::lastError()), mainMessage);
}

TEST(DDXMLXPath, ValuesGiveAnEmptyArrayAndFailuresTheLibraryMessage)
{
    auto doc = parse(QStringLiteral("<r><a/><a/></r>"));
    Error error(QStringLiteral("stale"), 9);
    auto counted = doc->nodesForXPath(QStringLiteral("count(//a)"), &error);
    ASSERT_TRUE(counted);
    EXPECT_TRUE(counted->isEmpty());
    EXPECT_EQ(error, Error());

    auto failed = doc->nodesForXPath(QStringLiteral("//a[@"), &error);
    EXPECT_FALSE(failed);
    EXPECT_EQ(error.domain, QStringLiteral("DDXMLErrorDomain"));
    EXPECT_GE(error.code, XML_XPATH_EXPRESSION_OK);
    const QString message = error.localizedDescription();
    EXPECT_FALSE(message.isEmpty());
    EXPECT_EQ(message, message.trimmed());
    EXPECT_EQ(error, DDXMLNode::lastError());
}

TEST(DDXMLXPath, RootPrefixesAreRegisteredButNotTheDefaultNamespace)
{
    auto prefixed = parse(QStringLiteral("<r xmlns:p=\"urn:p\"><p:a/><a/></r>"));
    auto found = prefixed->nodesForXPath(QStringLiteral("//p:a"), nullptr);
    ASSERT_TRUE(found);
    ASSERT_EQ(found->size(), 1);
    EXPECT_EQ(found->first()->name(), QStringLiteral("p:a"));

    auto defaulted = parse(QStringLiteral("<!-- first --><r xmlns=\"urn:d\"><a/></r>"));
    EXPECT_TRUE(defaulted->nodesForXPath(QStringLiteral("//a"), nullptr)->isEmpty());
}

TEST(DDXMLXPath, AFreeStandingTreeIsQueriedInPlaceAndLeftAsItWas)
{
    auto main = DDXMLNode::elementWithName(QStringLiteral("main"));
    auto item = DDXMLNode::elementWithName(QStringLiteral("item"));
    main->addChild(item);
    item->addChild(DDXMLNode::elementWithName(QStringLiteral("sub"), QStringLiteral("v")));
    const QString before = main->XMLString();

    auto relative = item->nodesForXPath(QStringLiteral("sub"), nullptr);
    ASSERT_TRUE(relative);
    ASSERT_EQ(relative->size(), 1);
    EXPECT_EQ(relative->first()->stringValue(), QStringLiteral("v"));
    auto absolute = item->nodesForXPath(QStringLiteral("/main/item/sub"), nullptr);
    ASSERT_EQ(absolute->size(), 1);
    // The borrowed document is not handed out.
    EXPECT_TRUE(main->nodesForXPath(QStringLiteral(".."), nullptr)->isEmpty());

    EXPECT_TRUE(item->parent()->isEqual(main));
    EXPECT_FALSE(item->rootDocument());
    EXPECT_FALSE(main->parent());
    EXPECT_FALSE(relative->first()->rootDocument());
    EXPECT_EQ(main->XMLString(), before);

    auto alone = DDXMLNode::elementWithName(QStringLiteral("alone"));
    EXPECT_EQ(alone->nodesForXPath(QStringLiteral("."), nullptr)->size(), 1);
    EXPECT_FALSE(alone->parent());
    EXPECT_FALSE(alone->rootDocument());
}

TEST(DDXMLXPath, NamespaceResultsOutliveTheQueryAndOtherKindsAnswerNil)
{
    auto doc = parse(QStringLiteral("<r xmlns:p=\"urn:p\"><a x=\"1\"/></r>"));
    auto namespaces = doc->nodesForXPath(QStringLiteral("/r/namespace::p"), nullptr);
    ASSERT_TRUE(namespaces);
    ASSERT_EQ(namespaces->size(), 1);
    EXPECT_EQ(namespaces->first()->kind(), XML_NAMESPACE_DECL);
    EXPECT_EQ(namespaces->first()->stringValue(), QStringLiteral("urn:p"));
    EXPECT_FALSE(namespaces->first()->parent());

    auto attribute = doc->rootElement()->childAtIndex(0)->nodesForXPath(QStringLiteral("@x"), nullptr)->first();
    Error untouched(QStringLiteral("kept"), 3);
    EXPECT_FALSE(attribute->nodesForXPath(QStringLiteral("."), &untouched));
    EXPECT_EQ(untouched, Error(QStringLiteral("kept"), 3));
}

TEST(DDXMLInvalidNode, AnswersNothingAndIgnoresChanges)
{
    for (const auto& node : {DDXMLNode::init(), DDXMLElement::init()}) {
        EXPECT_EQ(node->kind(), 0);
        EXPECT_EQ(node->XMLString(), QStringLiteral(""));
        EXPECT_FALSE(node->XMLString().isNull());
        EXPECT_EQ(node->XPath(), QStringLiteral(""));
        EXPECT_EQ(node->prefix(), QStringLiteral(""));
        EXPECT_TRUE(node->name().isNull());
        EXPECT_TRUE(node->stringValue().isNull());
        EXPECT_TRUE(node->children().isEmpty());
        EXPECT_FALSE(node->parent());
        EXPECT_FALSE(node->nextNode());
        EXPECT_FALSE(node->copy());
        auto found = node->nodesForXPath(QStringLiteral("//a"), nullptr);
        ASSERT_TRUE(found);
        EXPECT_TRUE(found->isEmpty());
        node->setStringValue(QStringLiteral("x"));
        node->setName(QStringLiteral("x"));
        node->detach();
        EXPECT_EQ(node->XMLString(), QStringLiteral(""));
    }
}

TEST(DDXMLCallerErrors, RaiseWithTheirMessages)
{
    auto parent = DDXMLNode::elementWithName(QStringLiteral("p"));
    auto child = DDXMLNode::elementWithName(QStringLiteral("c"));
    parent->addChild(child);
    auto other = DDXMLNode::elementWithName(QStringLiteral("o"));
    EXPECT_EQ(raisedReason([&] { other->addChild(child); }),
              QStringLiteral("Cannot add a child that has a parent; detach or copy first"));
    EXPECT_EQ(raisedReason([&] { other->insertChild(child, 0); }),
              QStringLiteral("Cannot add a child that has a parent; detach or copy first"));
    EXPECT_EQ(raisedReason([&] { other->addChild(DDXMLNode::attributeWithName(QStringLiteral("a"), {})); }),
              QStringLiteral("Elements can only have text, elements, processing instructions, and comments as children"));
    EXPECT_EQ(raisedReason([&] { parent->insertChild(DDXMLNode::elementWithName(QStringLiteral("x")), 2); }),
              QStringLiteral("index (2) beyond bounds (2)"));
    EXPECT_EQ(raisedReason([&] { parent->childAtIndex(1); }), QStringLiteral("index (1) beyond bounds (1)"));
    EXPECT_EQ(raisedReason([&] { other->addAttribute(child); }), QStringLiteral("Cannot add an attribute with a parent; detach or copy first"));
    EXPECT_EQ(raisedReason([&] { other->addAttribute(other->copy()); }), QStringLiteral("Not an attribute"));
    auto declared = DDXMLNode::namespaceWithName(QStringLiteral("p"), QStringLiteral("urn:p"));
    parent->addNamespace(declared);
    EXPECT_EQ(raisedReason([&] { other->addNamespace(declared); }),
              QStringLiteral("Cannot add a namespace with a parent; detach or copy first"));
    EXPECT_EQ(raisedReason([&] { other->addNamespace(DDXMLNode::textWithStringValue(QStringLiteral("t"))); }),
              QStringLiteral("Not a namespace"));
    // A tree added below itself would be a cycle.
    EXPECT_NE(raisedReason([&] { child->addChild(parent); }), QStringLiteral("<nothing raised>"));
    EXPECT_NE(raisedReason([&] { other->addChild(other); }), QStringLiteral("<nothing raised>"));
    EXPECT_EQ(parent->XMLString(), QStringLiteral("<p xmlns:p=\"urn:p\"><c></c></p>"));
}

}  // namespace
