// Wrappers keep their trees alive and never reach freed memory, whatever other wrappers do to
// the tree. These run under AddressSanitizer: a dangling wrapper fails them there.
#include "KissXMLTestSupport.h"

using namespace KissXMLTest;

namespace {

const QString kFeed = QStringLiteral(
    "<main xmlns:p=\"urn:p\" Version=\"2\"><item id=\"1\"><title>一</title></item>"
    "<item id=\"2\" p:flag=\"y\"><title>二</title></item></main>");

TEST(DDXMLOwnership, AnElementKeepsItsReleasedDocumentAlive)
{
    std::shared_ptr<DDXMLElement> item;
    std::weak_ptr<DDXMLDocument> released;
    {
        auto doc = parse(kFeed);
        released = doc;
        item = doc->rootElement()->elementsForName(QStringLiteral("item")).value(1);
    }
    ASSERT_TRUE(released.expired());
    ASSERT_TRUE(item);
    EXPECT_EQ(item->elementForName(QStringLiteral("title"))->stringValue(), QStringLiteral("二"));
    EXPECT_EQ(item->parent()->name(), QStringLiteral("main"));
    EXPECT_EQ(item->rootDocument()->rootElement()->attributeForName(QStringLiteral("Version"))->stringValue(),
              QStringLiteral("2"));
}

TEST(DDXMLOwnership, AMergedTextWrapperFollowsTheSurvivingNode)
{
    auto element = DDXMLNode::elementWithName(QStringLiteral("e"));
    auto first = DDXMLNode::textWithStringValue(QStringLiteral("a"));
    auto second = DDXMLNode::textWithStringValue(QStringLiteral("b"));
    element->addChild(first);
    element->addChild(second);
    ASSERT_EQ(element->childCount(), 1);
    EXPECT_TRUE(second->isEqual(first));
    EXPECT_EQ(second->stringValue(), QStringLiteral("ab"));
    EXPECT_TRUE(second->parent()->isEqual(element));

    auto front = DDXMLNode::textWithStringValue(QStringLiteral("x"));
    element->insertChild(front, 0);
    EXPECT_EQ(front->stringValue(), QStringLiteral("xab"));

    element->addChild(DDXMLNode::elementWithName(QStringLiteral("b")));
    auto between = DDXMLNode::textWithStringValue(QStringLiteral("y"));
    element->insertChild(between, 1);
    element->addChild(DDXMLNode::textWithStringValue(QStringLiteral("!")));
    between->setStringValue(QStringLiteral("z"));
    second->setStringValue(QStringLiteral("w"));
    EXPECT_EQ(element->XMLString(), QStringLiteral("<e>wz<b></b>!</e>"));
    element.reset();
    first.reset();
    EXPECT_EQ(second->parent()->XMLString(), QStringLiteral("<e>wz<b></b>!</e>"));
}

TEST(DDXMLOwnership, DetachAndAddSequencesMoveNodesBetweenTrees)
{
    auto doc = parse(kFeed);
    auto other = parse(QStringLiteral("<other/>"));
    auto item = doc->rootElement()->elementsForName(QStringLiteral("item")).value(1);
    auto title = item->elementForName(QStringLiteral("title"));
    auto flag = item->attributeForName(QStringLiteral("p:flag"));

    item->detach();
    EXPECT_FALSE(item->parent());
    EXPECT_FALSE(item->rootDocument());
    other->rootElement()->addChild(item);
    EXPECT_TRUE(item->rootDocument()->isEqual(other));
    doc.reset();
    EXPECT_EQ(flag->URI(), QStringLiteral("urn:p"));

    item->detach();
    other.reset();
    auto again = parse(QStringLiteral("<again/>"));
    again->rootElement()->insertChild(item, 0);
    item.reset();
    EXPECT_EQ(title->stringValue(), QStringLiteral("二"));
    EXPECT_EQ(again->rootElement()->XMLString(),
              QStringLiteral("<again><item xmlns:p=\"urn:p\" id=\"2\" p:flag=\"y\"><title>二</title></item></again>"));

    flag->detach();
    title->detach();
    again.reset();
    auto holder = DDXMLNode::elementWithName(QStringLiteral("h"));
    holder->addAttribute(flag);
    holder->addChild(title);
    EXPECT_EQ(holder->XMLString(), QStringLiteral("<h xmlns:p=\"urn:p\" p:flag=\"y\"><title>二</title></h>"));
}

TEST(DDXMLOwnership, ADescendantOutlivesAnAncestorDetachedByAnotherWrapper)
{
    auto doc = parse(kFeed);
    auto title = doc->rootElement()->childAtIndex(0)->nodesForXPath(QStringLiteral("title"), nullptr)->first();
    auto item = doc->rootElement()->elementForName(QStringLiteral("item"));
    item->detach();
    doc.reset();
    item.reset();
    EXPECT_EQ(title->stringValue(), QStringLiteral("一"));
    EXPECT_EQ(title->parent()->XMLString(), QStringLiteral("<item id=\"1\"><title>一</title></item>"));
}

TEST(DDXMLOwnership, RemovedAndReplacedNodesStayUsable)
{
    auto doc = parse(kFeed);
    auto root = doc->rootElement();
    auto firstItem = root->elementForName(QStringLiteral("item"));
    auto version = root->attributeForName(QStringLiteral("Version"));
    auto id = firstItem->attributeForName(QStringLiteral("id"));
    auto firstTitle = firstItem->elementForName(QStringLiteral("title"));
    auto declaration = root->namespaceForPrefix(QStringLiteral("p"));

    root->removeChildAtIndex(0);
    EXPECT_EQ(root->childCount(), 1);
    EXPECT_FALSE(firstItem->parent());
    firstItem->setStringValue(QStringLiteral("gone"));
    EXPECT_EQ(firstTitle->stringValue(), QStringLiteral("一"));
    EXPECT_FALSE(firstTitle->parent());

    root->addAttributeWithName(QStringLiteral("Version"), QStringLiteral("3"));
    EXPECT_EQ(version->stringValue(), QStringLiteral("2"));
    EXPECT_FALSE(version->parent());
    firstItem->removeAttributeForName(QStringLiteral("id"));
    EXPECT_EQ(id->XMLString(), QStringLiteral("id=\"1\""));

    root->removeNamespaceForPrefix(QStringLiteral("p"));
    EXPECT_EQ(declaration->stringValue(), QStringLiteral("urn:p"));
    EXPECT_FALSE(declaration->parent());

    doc.reset();
    root.reset();
    EXPECT_EQ(firstItem->XMLString(), QStringLiteral("<item>gone</item>"));
}

TEST(DDXMLOwnership, SettingAnElementsOwnChildrenAndAttributesAgainKeepsThem)
{
    auto doc = parse(kFeed);
    auto root = doc->rootElement();
    auto children = root->children();
    std::reverse(children.begin(), children.end());
    root->setChildren(children);
    root->setAttributes(root->attributes());
    EXPECT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->childAtIndex(0)->XPath(), QStringLiteral("/main[1]/item[1]"));
    EXPECT_EQ(root->elementForName(QStringLiteral("item"))->attributeForName(QStringLiteral("id"))->stringValue(),
              QStringLiteral("2"));
    EXPECT_EQ(root->attributeForName(QStringLiteral("Version"))->stringValue(), QStringLiteral("2"));
}

TEST(DDXMLOwnership, APrivateNamespaceCopyStaysWithTheAttribute)
{
    auto doc = parse(kFeed);
    auto item = doc->rootElement()->elementsForName(QStringLiteral("item")).value(1);
    auto first = item->attributeForName(QStringLiteral("p:flag"));
    auto second = item->attributeForName(QStringLiteral("p:flag"));
    first->detach();
    doc.reset();
    item.reset();
    first.reset();
    // The copy belongs to the attribute, not to the wrapper that detached it.
    EXPECT_EQ(second->URI(), QStringLiteral("urn:p"));
    EXPECT_EQ(second->name(), QStringLiteral("p:flag"));

    auto target = DDXMLNode::elementWithName(QStringLiteral("t"));
    target->addAttribute(second);
    EXPECT_EQ(target->namespaces().size(), 1);
    second.reset();
    EXPECT_EQ(target->XMLString(), QStringLiteral("<t xmlns:p=\"urn:p\" p:flag=\"y\"></t>"));

    // An equal declaration already in scope is used instead of a second one.
    auto scoped = parse(QStringLiteral("<s xmlns:p=\"urn:p\"><in/></s>"));
    auto copy = target->attributeForName(QStringLiteral("p:flag"));
    copy->detach();
    scoped->rootElement()->elementForName(QStringLiteral("in"))->addAttribute(copy);
    EXPECT_EQ(scoped->rootElement()->XMLString(), QStringLiteral("<s xmlns:p=\"urn:p\"><in p:flag=\"y\"></in></s>"));
}

TEST(DDXMLOwnership, CopiesOwnThemselves)
{
    auto doc = parse(kFeed);
    auto copiedDoc = doc->copy();
    auto copiedItem = doc->rootElement()->elementForName(QStringLiteral("item"))->copy();
    auto copiedAttribute = doc->rootElement()->attributeForName(QStringLiteral("Version"))->copy();
    auto copiedNamespace = doc->rootElement()->namespaces().first()->copy();
    doc.reset();
    EXPECT_TRUE(std::dynamic_pointer_cast<DDXMLDocument>(copiedDoc));
    EXPECT_TRUE(std::dynamic_pointer_cast<DDXMLElement>(copiedItem));
    EXPECT_FALSE(copiedItem->parent());
    EXPECT_EQ(copiedItem->XMLString(), QStringLiteral("<item id=\"1\"><title>一</title></item>"));
    EXPECT_EQ(copiedAttribute->XMLString(), QStringLiteral("Version=\"2\""));
    EXPECT_EQ(copiedNamespace->stringValue(), QStringLiteral("urn:p"));
    EXPECT_EQ(std::dynamic_pointer_cast<DDXMLDocument>(copiedDoc)->rootElement()->childCount(), 2);
}

}  // namespace
