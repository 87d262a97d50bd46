#include "KissXMLTestSupport.h"

using namespace KissXMLTest;

namespace {

QString attributeAfterRoundTrip(const QString& xml, const QString& name)
{
    auto doc = parse(xml);
    return doc ? doc->rootElement()->attributeForName(name)->stringValue() : QString();
}

TEST(DDXMLSerialisation, ChineseAttributeValuesAreWrittenAsCharactersAndReadBack)
{
    auto main = DDXMLNode::elementWithName(QStringLiteral("main"));
    main->addAttributeWithName(QStringLiteral("title"), QStringLiteral("科技资讯中心"));
    const QString xml = main->XMLString();
    EXPECT_EQ(xml, QStringLiteral("<main title=\"科技资讯中心\"></main>"));
    EXPECT_FALSE(xml.contains(QStringLiteral("&#x")));
    EXPECT_EQ(attributeAfterRoundTrip(xml, QStringLiteral("title")), QStringLiteral("科技资讯中心"));

    // Through a document's bytes as well.
    auto doc = parse(QStringLiteral("<favorites/>"));
    doc->rootElement()->addChild(main);
    auto again = DDXMLDocument::initWithData(doc->XMLData(), 0, nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->rootElement()->elementForName(QStringLiteral("main"))->attributeForName(QStringLiteral("title"))
                  ->stringValue(),
              QStringLiteral("科技资讯中心"));
}

TEST(DDXMLSerialisation, SpecialCharactersAreEscapedAndLeftAlone)
{
    auto main = DDXMLNode::elementWithName(QStringLiteral("main"));
    main->addAttributeWithName(QStringLiteral("v"), QStringLiteral("a&b<c"));
    EXPECT_EQ(main->XMLString(), QStringLiteral("<main v=\"a&amp;b&lt;c\"></main>"));
    EXPECT_EQ(attributeAfterRoundTrip(main->XMLString(), QStringLiteral("v")), QStringLiteral("a&b<c"));
}

TEST(DDXMLSerialisation, ShortAndLongReferencesStayValidText)
{
    auto main = DDXMLNode::elementWithName(QStringLiteral("main"));
    main->addAttributeWithName(QStringLiteral("e"), QStringLiteral("é"));
    main->addAttributeWithName(QStringLiteral("o"), QStringLiteral("Ω"));
    main->addAttributeWithName(QStringLiteral("s"), QStringLiteral("😀"));
    const QString xml = main->XMLString();
    EXPECT_EQ(xml, QStringLiteral("<main e=\"&#xE9;\" o=\"&#x3A9;\" s=\"&#x1F600;\"></main>"));
    EXPECT_EQ(attributeAfterRoundTrip(xml, QStringLiteral("e")), QStringLiteral("é"));
    EXPECT_EQ(attributeAfterRoundTrip(xml, QStringLiteral("s")), QStringLiteral("😀"));
}

TEST(DDXMLSerialisation, RewriteTakesOnlyFourDigitNonAsciiNonSurrogateReferences)
{
    // Comments are dumped raw, so typed references reach the rewrite as they are.
    const auto dumped = [](const char* text) {
        return DDXMLNode::commentWithStringValue(QString::fromUtf8(text))->XMLString();
    };
    EXPECT_EQ(dumped("&#x4E2D;&#x6587;"), QStringLiteral("<!--中文-->"));
    EXPECT_EQ(dumped("&#x00E9;"), QStringLiteral("<!--é-->"));
    EXPECT_EQ(dumped("&#x4e2d;"), QStringLiteral("<!--中-->"));
    EXPECT_EQ(dumped("&#xD800;&#xDFFF;"), QStringLiteral("<!--&#xD800;&#xDFFF;-->"));
    EXPECT_EQ(dumped("&#xFFFE;&#xFFFF;&#xFFFD;"), QStringLiteral("<!--&#xFFFE;&#xFFFF;\uFFFD-->"));
    EXPECT_EQ(dumped("&#x0041;&#x007F;"), QStringLiteral("<!--&#x0041;&#x007F;-->"));
    EXPECT_EQ(dumped("&#X4E2D;&#x4E2G;&#x4E2D"), QStringLiteral("<!--&#X4E2D;&#x4E2G;&#x4E2D-->"));
    EXPECT_EQ(dumped("&#13;&#x10000;"), QStringLiteral("<!--&#13;&#x10000;-->"));
}

TEST(DDXMLSerialisation, ResultsAreTrimmedExceptTextNodes)
{
    auto doc = parse(QStringLiteral("<a><b><c/></b></a>"));
    const QString pretty = doc->rootElement()->prettyXMLString();
    EXPECT_EQ(pretty, QStringLiteral("<a>\n  <b>\n    <c/>\n  </b>\n</a>"));
    EXPECT_TRUE(doc->XMLString().startsWith(QStringLiteral("<?xml")));
    EXPECT_FALSE(doc->XMLString().endsWith(QLatin1Char('\n')));

    auto text = DDXMLNode::textWithStringValue(QStringLiteral("  a&b \n"));
    EXPECT_EQ(text->XMLString(), QStringLiteral("  a&amp;b \n"));
    EXPECT_EQ(text->description(), text->XMLString());
}

TEST(DDXMLSerialisation, EmptyElementsOpenCloseOrCompactByOption)
{
    auto element = DDXMLNode::elementWithName(QStringLiteral("e"));
    EXPECT_EQ(element->XMLString(), QStringLiteral("<e></e>"));
    EXPECT_EQ(element->XMLStringWithOptions(DDXMLNode::kCompactEmptyElement), QStringLiteral("<e/>"));
    EXPECT_EQ(element->compactXMLString(), QStringLiteral("<e/>"));
    // The option is applied on every call, not left behind by the previous one, nor in
    // libxml2's settings for other code on the thread.
    EXPECT_EQ(element->XMLString(), QStringLiteral("<e></e>"));
    xmlNodePtr bare = xmlNewNode(nullptr, BAD_CAST "bare");
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlNodeDump(buffer, nullptr, bare, 0, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(xmlBufferContent(buffer)), "<bare/>");
    xmlBufferFree(buffer);
    xmlFreeNode(bare);
}

TEST(DDXMLSerialisation, EveryKindHasATextForm)
{
    auto element = DDXMLElement::initWithXMLString(
        QStringLiteral("<r xmlns:p=\"urn:p\" p:x=\"1\"><?go now?><![CDATA[<raw>]]></r>"), nullptr);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->attributes().first()->XMLString(), QStringLiteral("p:x=\"1\""));
    EXPECT_EQ(element->namespaces().first()->XMLString(), QStringLiteral("xmlns:p=\"urn:p\""));
    EXPECT_EQ(element->childAtIndex(0)->XMLString(), QStringLiteral("<?go now?>"));
    EXPECT_EQ(element->childAtIndex(1)->XMLString(), QStringLiteral("<![CDATA[<raw>]]>"));
}

}  // namespace
