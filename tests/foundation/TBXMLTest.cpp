#include "foundation/xml/TBXML.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

QByteArray fixture(const char* name)
{
    QFile file(sourceFolder(__FILE__) + QStringLiteral("/fixtures/tbxml/")
               + QString::fromUtf8(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// Parses a fixture file and expects success.
std::unique_ptr<TBXML> parsed(const char* name)
{
    Error error;
    auto tbxml = TBXML::newTBXMLWithXMLData(fixture(name), &error);
    EXPECT_EQ(error.code, 0) << name << ": " << error.localizedDescription().toStdString();
    EXPECT_NE(tbxml->rootXMLElement(), nullptr) << name;
    return tbxml;
}

std::string bytes(const char* text)
{
    return text ? std::string(text) : std::string("<null>");
}

int32_t decodeCode(const QByteArray& data)
{
    TBXML tbxml;
    Error error;
    const int32_t code = tbxml.decodeData(data, &error);
    EXPECT_EQ(error.code, code);
    return code;
}

}  // namespace

TEST(TBXMLTest, AttributesKeepDocumentOrderWithMixedQuotes)
{
    auto tbxml = parsed("attributes.xml");
    TBXMLElement* a = tbxml->rootXMLElement();
    EXPECT_EQ(bytes(a->name), "a");

    std::vector<std::pair<QString, QString>> seen;
    TBXML::iterateAttributesOfElement(a, [&](TBXMLAttribute*, const QString& name, const QString& value) {
        seen.emplace_back(name, value);
    });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(QStringLiteral("x"), QStringLiteral("1")));
    EXPECT_EQ(seen[1], std::make_pair(QStringLiteral("y"), QStringLiteral("2")));

    TBXMLElement* first = a->firstChild;
    ASSERT_NE(first, nullptr);
    TBXMLElement* second = first->nextSibling;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->nextSibling, nullptr);
    EXPECT_EQ(a->lastChild, second);
    EXPECT_EQ(second->previousSibling, first);
    EXPECT_EQ(first->parent, a);
    EXPECT_EQ(bytes(first->name), "b");
    EXPECT_EQ(bytes(second->name), "b");
    EXPECT_EQ(bytes(first->text), "t");
    EXPECT_EQ(second->text, nullptr);
    // The parent loses its text once its first child is closed.
    EXPECT_EQ(a->text, nullptr);
}

TEST(TBXMLTest, ParentTextAfterAClosedChildIsGone)
{
    auto tbxml = parsed("parent_text.xml");
    TBXMLElement* p = tbxml->rootXMLElement();
    EXPECT_EQ(p->text, nullptr);
    EXPECT_EQ(bytes(p->firstChild->text), "in");
    EXPECT_EQ(TBXML::textForElement(p), QStringLiteral(""));
}

TEST(TBXMLTest, TrimsAsciiWhiteSpaceOnlyWhenClosed)
{
    auto tbxml = parsed("trim.xml");
    TBXMLElement* r = tbxml->rootXMLElement();
    EXPECT_EQ(bytes(TBXML::childElementNamed("s", r)->text), "hi");
    EXPECT_EQ(bytes(TBXML::childElementNamed("e", r)->text), "");
    EXPECT_EQ(bytes(TBXML::childElementNamed("w", r)->text), "x");
    // A no-break space is two bytes of 0x80 and above: never white space here.
    EXPECT_EQ(bytes(TBXML::childElementNamed("h", r)->text), "\xc2\xa0x\xc2\xa0");
    EXPECT_EQ(TBXML::textForElement(TBXML::childElementNamed("h", r)), QStringLiteral("\u00a0x\u00a0"));
}

TEST(TBXMLTest, CommentStaysInTextWhileProcessingInstructionCutsIt)
{
    auto comment = parsed("comment.xml");
    EXPECT_EQ(bytes(comment->rootXMLElement()->text), "x<!-- c -->y");

    auto instruction = parsed("processing_instruction.xml");
    EXPECT_EQ(bytes(instruction->rootXMLElement()->text), "x");
}

TEST(TBXMLTest, CDATAIsKeptVerbatimInTextAndValues)
{
    auto text = parsed("cdata_text.xml");
    EXPECT_EQ(bytes(text->rootXMLElement()->text), "p 1 < 2 & \"3\" q");

    auto value = parsed("cdata_value.xml");
    TBXMLElement* a = value->rootXMLElement();
    EXPECT_EQ(TBXML::valueOfAttributeNamed("v", a), QStringLiteral("say \"hi\" > there"));
    EXPECT_EQ(TBXML::valueOfAttributeNamed("w", a), QStringLiteral("k"));
    EXPECT_EQ(a->text, nullptr);  // self-closing

    // Two sections in one text both lose their markers.
    auto two = TBXML::newTBXMLWithXMLString(QStringLiteral("<a><![CDATA[x<y]]>-<![CDATA[z]]></a>"));
    EXPECT_EQ(bytes(two->rootXMLElement()->text), "x<y-z");
}

TEST(TBXMLTest, ClosingTagsAreNotMatchedByName)
{
    auto tbxml = parsed("mismatched_close.xml");
    TBXMLElement* a = tbxml->rootXMLElement();
    ASSERT_NE(a->firstChild, nullptr);
    EXPECT_EQ(bytes(a->firstChild->name), "b");
    EXPECT_EQ(bytes(a->firstChild->text), "x");
    EXPECT_EQ(a->text, nullptr);

    // A stray closing tag at the top is ignored; entity references stay as written.
    auto stray = TBXML::newTBXMLWithXMLString(QStringLiteral("</x><a>1 &amp; 2</a>"));
    EXPECT_EQ(bytes(stray->rootXMLElement()->name), "a");
    EXPECT_EQ(bytes(stray->rootXMLElement()->text), "1 &amp; 2");
}

TEST(TBXMLTest, SecondTopLevelElementIsUnreachable)
{
    auto tbxml = parsed("two_top_level.xml");
    TBXMLElement* a = tbxml->rootXMLElement();
    EXPECT_EQ(bytes(a->name), "a");
    EXPECT_EQ(bytes(a->text), "1");
    EXPECT_EQ(a->nextSibling, nullptr);
    EXPECT_EQ(a->firstChild, nullptr);
}

TEST(TBXMLTest, ZeroByteEndsTheParseSuccessfully)
{
    const QByteArray data = fixture("zero_byte.xml");
    ASSERT_EQ(data.size(), 20);
    auto tbxml = parsed("zero_byte.xml");
    TBXMLElement* a = tbxml->rootXMLElement();
    EXPECT_EQ(bytes(a->firstChild->name), "b");
    EXPECT_EQ(a->firstChild->nextSibling, nullptr);
    EXPECT_EQ(TBXML::childElementNamed("c", a), nullptr);
}

TEST(TBXMLTest, TabAfterNameKeepsTheWholeTagAsName)
{
    auto tbxml = parsed("tab_after_name.xml");
    TBXMLElement* a = tbxml->rootXMLElement();
    EXPECT_EQ(bytes(a->name), "a\tx=\"1\"");
    EXPECT_EQ(a->firstAttribute, nullptr);
    EXPECT_EQ(bytes(a->text), "t");
}

TEST(TBXMLTest, RecordsBeyondTheFirstBlockStayValid)
{
    // 1 root + 100 children: the 101st element and the 101st attribute open second blocks.
    QByteArray document = "<r>";
    for (int i = 0; i < 100; ++i)
        document += "<i n=\"" + QByteArray::number(i) + "\">" + QByteArray::number(i * 7) + "</i>";
    document += "<z n=\"last\"/></r>";
    auto tbxml = TBXML::newTBXMLWithXMLData(document);
    TBXMLElement* r = tbxml->rootXMLElement();
    ASSERT_NE(r, nullptr);

    std::vector<TBXMLElement*> children;
    TBXML::iterateElementsForQuery("*", r, [&](TBXMLElement* e) { children.push_back(e); });
    ASSERT_EQ(children.size(), 101u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(TBXML::valueOfAttributeNamed("n", children[i]), QString::number(i));
        EXPECT_EQ(TBXML::textForElement(children[i]), QString::number(i * 7));
        EXPECT_EQ(children[i]->parent, r);
    }
    EXPECT_EQ(TBXML::elementName(children[100]), QStringLiteral("z"));
    EXPECT_EQ(TBXML::valueOfAttributeNamed("n", children[100]), QStringLiteral("last"));
    EXPECT_EQ(children[100]->previousSibling, children[99]);
    EXPECT_EQ(r->lastChild, children[100]);
}

TEST(TBXMLTest, LoadingErrors)
{
    EXPECT_EQ(decodeCode(QByteArray()), TBXML::kDataIsNil);
    EXPECT_EQ(decodeCode(fixture("no_element.xml")), TBXML::kDecodeFailure);
    EXPECT_EQ(decodeCode("plain text"), TBXML::kDecodeFailure);
    EXPECT_EQ(decodeCode(fixture("unterminated_comment.xml")), TBXML::kDecodeFailure);
    EXPECT_EQ(decodeCode(fixture("unterminated_cdata.xml")), TBXML::kDecodeFailure);
    EXPECT_EQ(decodeCode(fixture("unterminated_cdata_value.xml")), TBXML::kDecodeFailure);

    Error error;
    TBXML::newTBXMLWithXMLString(QString(), &error);
    EXPECT_EQ(error, Error(QStringLiteral("com.71squared.tbxml"), 1, {{"NSLocalizedDescription", "Data is nil"}}));
    TBXML::newTBXMLWithXMLData("<!-- x", &error);
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Decode failure"));
}

TEST(TBXMLTest, ReaderOperationsReportTheirErrors)
{
    auto tbxml = TBXML::newTBXMLWithXMLData(QByteArray("<a k=\"\" u=\"\xff\"><b>t</b><c/><b>s</b></a>"));
    TBXMLElement* a = tbxml->rootXMLElement();
    Error error;

    EXPECT_EQ(TBXML::elementName(nullptr, &error), QStringLiteral(""));
    EXPECT_EQ(error.code, TBXML::kElementIsNil);
    EXPECT_EQ(TBXML::textForElement(a->firstChild, &error), QStringLiteral("t"));
    EXPECT_EQ(TBXML::textForElement(TBXML::childElementNamed("c", a), &error), QStringLiteral(""));
    EXPECT_EQ(error.code, TBXML::kElementTextIsNil);

    EXPECT_EQ(TBXML::childElementNamed(QString(), a, &error), nullptr);
    EXPECT_EQ(error.code, TBXML::kParamNameIsNil);
    EXPECT_EQ(TBXML::childElementNamed("x", a, &error), nullptr);
    EXPECT_EQ(error.code, TBXML::kElementNotFound);
    EXPECT_EQ(TBXML::childElementNamed("b", nullptr, &error), nullptr);
    EXPECT_EQ(error.code, TBXML::kElementIsNil);
    // Names compare by bytes and length: a prefix is not a match.
    EXPECT_EQ(TBXML::childElementNamed("", a), nullptr);
    EXPECT_EQ(TBXML::childElementNamed("bb", a), nullptr);

    TBXMLElement* secondB = TBXML::nextSiblingNamed("b", a->firstChild, &error);
    ASSERT_NE(secondB, nullptr);
    EXPECT_EQ(TBXML::textForElement(secondB), QStringLiteral("s"));
    EXPECT_EQ(TBXML::nextSiblingNamed("b", secondB, &error), nullptr);
    EXPECT_EQ(error.code, TBXML::kElementNotFound);

    // Empty value: present and empty. A value that is not UTF-8 counts as not found.
    const QString empty = TBXML::valueOfAttributeNamed("k", a, &error);
    EXPECT_FALSE(empty.isNull());
    EXPECT_TRUE(empty.isEmpty());
    error = {};
    EXPECT_TRUE(TBXML::valueOfAttributeNamed("u", a, &error).isNull());
    EXPECT_EQ(error.code, TBXML::kAttributeNotFound);
    EXPECT_TRUE(TBXML::valueOfAttributeNamed("missing", a, &error).isNull());
    EXPECT_EQ(error.code, TBXML::kAttributeNotFound);
    EXPECT_TRUE(TBXML::valueOfAttributeNamed(QString(), a, &error).isNull());
    EXPECT_EQ(error.code, TBXML::kAttributeNameIsNil);

    EXPECT_EQ(TBXML::attributeName(nullptr, &error), QStringLiteral(""));
    EXPECT_EQ(error.code, TBXML::kAttributeIsNil);
    EXPECT_EQ(TBXML::attributeValue(nullptr, &error), QStringLiteral(""));
    EXPECT_EQ(error.code, TBXML::kAttributeIsNil);
    EXPECT_EQ(TBXML::attributeName(a->firstAttribute), QStringLiteral("k"));
    EXPECT_TRUE(TBXML::attributeValue(a->firstAttribute->next).isNull());

    EXPECT_EQ(TBXML::errorTextForCode(12), QStringLiteral("Parameter name is nil"));
    EXPECT_EQ(TBXML::errorTextForCode(0), QStringLiteral("No Error Description!"));
    const Error withInfo = TBXML::errorWithCode(7, {{"extra", 1}});
    EXPECT_EQ(withInfo.userInfo.value("extra"), 1);
    EXPECT_EQ(withInfo.localizedDescription(), QStringLiteral("Element not found"));
}

TEST(TBXMLTest, QueriesReachEveryMatchingElement)
{
    auto tbxml = TBXML::newTBXMLWithXMLString(QStringLiteral(
        "<root><a><p><c>1</c><d/><c>2</c></p><q><c>3</c></q><r/></a><a><p><c>x</c></p></a></root>"));
    TBXMLElement* root = tbxml->rootXMLElement();
    QStringList texts;
    auto collect = [&](TBXMLElement* e) { texts << TBXML::elementName(e) + TBXML::textForElement(e); };

    TBXML::iterateElementsForQuery("a.*.c", root, collect);
    EXPECT_EQ(texts, QStringList({"c1", "c2", "c3"}));  // only the first a is followed

    texts.clear();
    TBXML::iterateElementsForQuery("a.*", root, collect);
    EXPECT_EQ(texts, QStringList({"p", "q", "r"}));

    texts.clear();
    TBXML::iterateElementsForQuery("a.p.c", root, collect);
    EXPECT_EQ(texts, QStringList({"c1", "c2"}));

    texts.clear();
    TBXML::iterateElementsForQuery("a.r.*", root, collect);
    TBXML::iterateElementsForQuery("missing.c", root, collect);
    TBXML::iterateElementsForQuery("a", nullptr, collect);
    EXPECT_TRUE(texts.isEmpty());
}

TEST(TBXMLTest, StringsAndResourcesAndRedecoding)
{
    auto tbxml = TBXML::newTBXMLWithXMLString(QStringLiteral("<title>新品 &#20013;</title>"));
    EXPECT_EQ(TBXML::textForElement(tbxml->rootXMLElement()), QStringLiteral("新品 &#20013;"));

    Error error;
    auto plain = TBXML::newTBXMLWithXMLFile("tbxml_feed.xml", &error);
    EXPECT_EQ(error.code, 0);
    auto packed = TBXML::newTBXMLWithXMLFile("tbxml_feed_packed", "xml.gz", &error);
    EXPECT_EQ(error.code, 0);
    for (TBXML* feed : {plain.get(), packed.get()}) {
        QStringList titles;
        TBXML::iterateElementsForQuery("channel.*.title", feed->rootXMLElement(),
                                       [&](TBXMLElement* e) { titles << TBXML::textForElement(e); });
        EXPECT_EQ(titles, QStringList({"新品发布", "评测"}));
    }

    auto missing = TBXML::newTBXMLWithXMLFile("no_such_feed", "xml", &error);
    EXPECT_EQ(missing->rootXMLElement(), nullptr);
    EXPECT_EQ(error.code, TBXML::kFileNotFoundInBundle);
    EXPECT_EQ(error.userInfo.value("NSFilePath"), QStringLiteral("no_such_feed.xml"));
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("File not found in bundle"));

    // A reader filled again holds only the new document.
    TBXML reader;
    EXPECT_EQ(reader.decodeData("<one/>"), 0);
    EXPECT_EQ(reader.decodeData("<two/>"), 0);
    EXPECT_EQ(TBXML::elementName(reader.rootXMLElement()), QStringLiteral("two"));
    EXPECT_EQ(reader.decodeData(QByteArray()), TBXML::kDataIsNil);
    EXPECT_EQ(reader.rootXMLElement(), nullptr);
}
