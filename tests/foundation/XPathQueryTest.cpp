#include "foundation/xml/TFHpple.h"
#include "foundation/xml/XPathQuery.h"
#include "ScopeGuard.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

const QByteArray kPage = R"(<html><head><title>News</title></head><body>
<div class="story"><p>First <b>bold</b> words</p>
<img src=" a.jpg " alt="one"><img src="b.jpg"><a href="/x?a=1&amp;b=2">link</a>
<img
  src="c.jpg"
  class="lazy"></div><div class="side">side</div></body></html>)";

}  // namespace

TEST(XPathQueryTest, ImagesAndTheirTrimmedAttributes)
{
    const TFHpple page = TFHpple::hppleWithHTMLData(kPage);
    const TFHppleElementList images = page.searchWithXPathQuery("//img");
    ASSERT_EQ(images.size(), 3);
    QStringList sources;
    for (const auto& image : images) {
        EXPECT_TRUE(image->attributes().contains("src"));
        EXPECT_EQ(image->tagName(), QStringLiteral("img"));
        EXPECT_EQ(image->parent(), nullptr);
        sources << (*image)["src"];
    }
    EXPECT_EQ(sources, QStringList({"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(images[0]->objectForKey("alt"), QStringLiteral("one"));
    EXPECT_TRUE(images[1]->objectForKey("alt").isNull());
    EXPECT_EQ(images[2]->attributes().value("class"), QStringLiteral("lazy"));

    // The HTML parser decodes the entity; the value comes back whole.
    EXPECT_EQ(page.peekAtSearchWithXPathQuery("//a")->objectForKey("href"), QStringLiteral("/x?a=1&b=2"));
    EXPECT_EQ(page.peekAtSearchWithXPathQuery("//video"), nullptr);
}

TEST(XPathQueryTest, ChildrenTextAndRawMarkup)
{
    const TFHpple page = TFHpple::hppleWithHTMLData(kPage);
    const auto p = page.peekAtSearchWithXPathQuery("//p");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->hasChildren());
    EXPECT_EQ(p->raw(), QStringLiteral("<p>First <b>bold</b> words</p>"));
    EXPECT_TRUE(p->content().isNull());

    const TFHppleElementList children = p->children();
    ASSERT_EQ(children.size(), 3);
    EXPECT_TRUE(children[0]->isTextNode());
    EXPECT_EQ(children[0]->content(), QStringLiteral("First "));  // a text child keeps its spaces
    EXPECT_EQ(children[0]->parent(), p);
    EXPECT_EQ(p->text(), QStringLiteral("First "));

    const auto bold = p->firstChildWithTagName("b");
    ASSERT_NE(bold, nullptr);
    EXPECT_EQ(bold->text(), QStringLiteral("bold"));
    EXPECT_FALSE(bold->isTextNode());
    EXPECT_EQ(bold->firstChild()->tagName(), QStringLiteral("text"));
    EXPECT_EQ(p->childrenWithTagName("text").size(), 2);

    const auto body = page.peekAtSearchWithXPathQuery("//body");
    EXPECT_EQ(body->childrenWithClassName("story").size(), 1);
    EXPECT_EQ(body->firstChildWithClassName("side")->text(), QStringLiteral("side"));
    EXPECT_EQ(body->firstChildWithClassName("none"), nullptr);

    // Searching an element parses its own markup again.
    const auto story = body->firstChildWithClassName("story");
    EXPECT_EQ(story->searchWithXPathQuery("//img").size(), 3);
    EXPECT_TRUE(story->searchWithXPathQuery("//div[@class='side']").isEmpty());
    EXPECT_FALSE(story->description().isEmpty());
}

TEST(XPathQueryTest, NodeDictionariesFoldAttributeText)
{
    const std::optional<QVariantList> nodes = PerformHTMLXPathQuery("<p id=\"\n  x \">y</p>", "//p");
    ASSERT_TRUE(nodes.has_value());
    ASSERT_EQ(nodes->size(), 1);
    const QVariantMap p = nodes->first().toMap();
    EXPECT_EQ(p.value("nodeName"), QStringLiteral("p"));
    const QVariantList attributes = p.value("nodeAttributeArray").toList();
    ASSERT_EQ(attributes.size(), 1);
    EXPECT_EQ(attributes[0].toMap(), QVariantMap({{"attributeName", "id"}, {"nodeContent", "x"}}));
    const QVariantList children = p.value("nodeChildArray").toList();
    ASSERT_EQ(children.size(), 1);
    EXPECT_EQ(children[0].toMap(), QVariantMap({{"nodeName", "text"}, {"nodeContent", "y"}}));
    EXPECT_EQ(p.value("raw"), QStringLiteral("<p id=\"&#10;  x \">y</p>"));

    // A value that libxml2 holds in pieces around an entity reference is read whole.
    const std::optional<QVariantList> xml = PerformXMLXPathQuery(
        "<!DOCTYPE r [<!ENTITY e \"mid\">]><r a=\" x&e;y \" b=\"1&amp;2\"/>", "/r");
    ASSERT_TRUE(xml.has_value());
    ASSERT_EQ(xml->size(), 1);
    const TFHppleElement r(xml->first().toMap(), true, QString());
    EXPECT_EQ(r.objectForKey("a"), QStringLiteral("xmidy"));
    EXPECT_EQ(r.objectForKey("b"), QStringLiteral("1&2"));
}

TEST(XPathQueryTest, MalformedPagesAndNonNodeResults)
{
    MessageCapture log;
    const TFHpple broken = TFHpple::hppleWithHTMLData("<div><p>one<p>two</div></span><img src=x.png");
    EXPECT_EQ(broken.searchWithXPathQuery("//p").size(), 2);
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join("|").toStdString();

    const TFHpple page = TFHpple::hppleWithHTMLData(kPage);
    EXPECT_TRUE(page.searchWithXPathQuery("count(//a)").isEmpty());
    EXPECT_TRUE(page.searchWithXPathQuery("string(//title)").isEmpty());
    EXPECT_EQ(log.messages(), QStringList({"Nodes was nil.", "Nodes was nil."}));

    EXPECT_FALSE(PerformHTMLXPathQuery(kPage, "//[").has_value());
    EXPECT_FALSE(PerformHTMLXPathQuery(QByteArray(), "//p").has_value());
    EXPECT_FALSE(PerformHTMLXPathQuery(kPage, QString()).has_value());
    EXPECT_EQ(log.messages().mid(2), QStringList({"Unable to evaluate XPath.", "Unable to parse."}));

    // Malformed XML is recovered as far as the parser can.
    const TFHpple xml = TFHpple::hppleWithXMLData("<r><i>1</i><i>2</r>");
    EXPECT_EQ(xml.searchWithXPathQuery("//i").size(), 2);
    EXPECT_TRUE(xml.isXML());
}

TEST(XPathQueryTest, EncodingAndOtherNodeKinds)
{
    // 中文 in GB 18030.
    const QByteArray gb = "<html><body><p>\xd6\xd0\xce\xc4</p></body></html>";
    const TFHpple page = TFHpple::hppleWithHTMLData(gb, "GB18030");
    EXPECT_EQ(page.encoding(), QStringLiteral("GB18030"));
    EXPECT_EQ(page.peekAtSearchWithXPathQuery("//p")->text(), QStringLiteral("中文"));

    const TFHpple html = TFHpple::hppleWithHTMLData(kPage);
    const TFHppleElementList sources = html.searchWithXPathQuery("//img/@src");
    ASSERT_EQ(sources.size(), 3);
    EXPECT_EQ(sources[1]->tagName(), QStringLiteral("src"));
    EXPECT_EQ(sources[1]->text(), QStringLiteral("b.jpg"));
    EXPECT_EQ(html.searchWithXPathQuery("//text()").first()->content(), QStringLiteral("News"));
    EXPECT_EQ(html.searchWithXPathQuery("//namespace::*").size(),
              html.searchWithXPathQuery("//*").size());  // the implicit xml namespace of each element
    EXPECT_EQ(html.searchWithXPathQuery("/").size(), 1);
}
