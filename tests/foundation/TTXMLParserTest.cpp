#include "foundation/xml/TTXMLParser.h"

#include "platform/Clock.h"
#include "ScopeGuard.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrl>

#include <gtest/gtest.h>

using namespace TTXMLKeys;

namespace {

QVariantMap parseRoot(const QByteArray& xml, bool* ok = nullptr)
{
    TTXMLParser parser(xml);
    const bool parsed = parser.parse();
    if (ok != nullptr)
        *ok = parsed;
    EXPECT_TRUE(parser.rootObject().has_value()) << xml.constData();
    return parser.rootObject().value_or(QVariantMap());
}

QVariantMap child(const QVariantMap& node, const QString& name)
{
    return node.value(name).toMap();
}

}  // namespace

TEST(TTXMLParser, ChildrenByNameArrayOrTypedParent)
{
    bool ok = false;
    const QVariantMap plain = parseRoot("<a><b>1</b><b>2</b></a>", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(plain.value(kName).toString(), "a");
    EXPECT_EQ(plain.value(kType).toString(), "unknown");
    EXPECT_EQ(child(plain, "b").value(kValue).toString(), "2");  // the last one wins

    const QVariantMap array = parseRoot(R"(<a type="array"><b>1</b><b>2</b></a>)");
    EXPECT_FALSE(array.contains("b"));
    EXPECT_EQ(array.value("type").toString(), "array");
    const QVariantList items = array.value(kArray).toList();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].toMap().value(kValue).toString(), "1");
    EXPECT_EQ(items[1].toMap().value(kValue).toString(), "2");

    const QVariantMap typed = parseRoot(R"(<a type="string"><b/></a>)");
    EXPECT_FALSE(typed.contains("b"));
    EXPECT_EQ(typed.value(kType).toString(), "string");

    // Qualified names as written; the parser's own keys outrank attributes of the same name.
    const QVariantMap envelope = parseRoot(
        R"(<soap:Envelope xmlns:soap="urn:x" ___Entity_Name___="fake"><soap:Body id="7"><r>x</r></soap:Body></soap:Envelope>)");
    EXPECT_EQ(envelope.value(kName).toString(), "soap:Envelope");
    EXPECT_EQ(child(envelope, "soap:Body").value("id").toString(), "7");
    EXPECT_EQ(child(child(envelope, "soap:Body"), "r").value(kValue).toString(), "x");
}

TEST(TTXMLParser, DuplicatesGatheredWhenAsked)
{
    TTXMLParser parser("<a><b>1</b><c/><b>2</b><b>3</b></a>");
    parser.setTreatDuplicateKeysAsArrayItems(true);
    ASSERT_TRUE(parser.parse());
    const QVariantList bs = parser.rootObject()->value("b").toList();
    ASSERT_EQ(bs.size(), 3);
    EXPECT_EQ(bs[2].toMap().value(kValue).toString(), "3");
    EXPECT_EQ(parser.rootObject()->value("c").typeId(), QMetaType::QVariantMap);
}

TEST(TTXMLParser, TextValues)
{
    EXPECT_EQ(parseRoot(R"(<a type="integer">42</a>)").value(kValue), QVariant(42));
    EXPECT_EQ(parseRoot(R"(<a type="integer">x</a>)").value(kValue), QVariant(0));
    EXPECT_EQ(parseRoot(R"(<a type="integer"> -7abc</a>)").value(kValue), QVariant(-7));
    EXPECT_EQ(parseRoot(R"(<a type="integer"/>)").value(kValue), QVariant(0));

    // Text between children is kept untrimmed; an empty element has no value at all.
    const QVariantMap indented = parseRoot("<a>\n  <b></b>\n  <c/>\n</a>");
    EXPECT_EQ(indented.value(kValue).toString(), "\n  \n  \n");
    EXPECT_FALSE(child(indented, "b").contains(kValue));
    EXPECT_FALSE(child(indented, "c").contains(kValue));

    const QString body = QStringLiteral("<p>中文 & <b>正文</b> ]] ></p>\n<img src=\"x.jpg\"/>");
    const QByteArray article = "<article><content>前<![CDATA[" + body.toUtf8() + "]]>后</content></article>";
    EXPECT_EQ(child(parseRoot(article), "content").value(kValue).toString(), "前" + body + "后");

    const QVariantMap escaped = parseRoot(R"(<a v="1&amp;2&#38;3&lt;&#x4E2D;">&amp;&lt;&#x4E2D;</a>)");
    EXPECT_EQ(escaped.value(kValue).toString(), "&<中");
    EXPECT_EQ(escaped.value("v").toString(), "1&2&3<中");
    // "中文" in a document declared as GB2312.
    EXPECT_EQ(parseRoot("<?xml version=\"1.0\" encoding=\"gb2312\"?><a>\xD6\xD0\xCE\xC4</a>").value(kValue).toString(),
              "中文");
}

TEST(TTXMLParser, ReservedNamesFollowDocumentOrder)
{
    // An attribute under the value key is the start of the text; a child under it replaces the
    // text gathered so far, and text after the child starts afresh.
    EXPECT_EQ(parseRoot(R"(<a ___Entity_Value___="x">y</a>)").value(kValue).toString(), "xy");
    EXPECT_EQ(parseRoot("<a>t<___Entity_Value___/></a>").value(kValue).toMap().value(kName).toString(),
              "___Entity_Value___");
    EXPECT_EQ(parseRoot("<a>t<___Entity_Value___/>u</a>").value(kValue).toString(), "u");
    // A child under the type key makes the element typed: later children are dropped.
    const QVariantMap retyped = parseRoot("<a><___Entity_Type___/><b/></a>");
    EXPECT_FALSE(retyped.contains("b"));
}

TEST(TTXMLParser, DateTimeValues)
{
    // Trailing Z is UTC whatever the local zone; a reader that took it as local time would be
    // off by the zone's eight hours here.
    const auto restoreZone = onScopeExit([] { Clock::resetLocalZone(); });
    Clock::setLocalZone(QTimeZone(8 * 3600));
    const QDateTime utc(QDate(2015, 1, 5), QTime(3, 4, 5), Qt::UTC);
    const auto dateOf = [](const char* text) {
        return parseRoot(QByteArray(R"(<a type="datetime">)") + text + "</a>").value(kValue);
    };
    EXPECT_EQ(dateOf("2015-01-05T03:04:05Z").toDateTime(), utc);
    EXPECT_EQ(dateOf("2015-1-5T3:4:5Z").toDateTime(), utc);
    EXPECT_EQ(dateOf("2015-01-05T11:04:05+08:00").toDateTime(), utc);
    EXPECT_EQ(dateOf("2015-01-05T11:04:05GMT+08:00").toDateTime(), utc);
    EXPECT_EQ(dateOf("2015-01-04T23:04:05-0400").toDateTime(), utc);
    Clock::resetLocalZone();

    for (const char* text : {"2015-01-05T03:04:05", "2015-02-30T03:04:05Z", "2015-01-05 03:04:05Z",
                             "2015-01-05T03:04:05Zx", "2015-01-05T03:04:05+25:00"}) {
        const QVariant value = dateOf(text);
        EXPECT_EQ(value.typeId(), QMetaType::QString) << text;
        EXPECT_EQ(value.toString(), text);
    }
    EXPECT_FALSE(parseRoot(R"(<a type="datetime"/>)").contains(kValue));
}

TEST(TTXMLParser, MalformedInputGivesNoRoot)
{
    for (const QByteArray& xml : {QByteArray(), QByteArray(""), QByteArray("<a><b></a>"), QByteArray("<a>"),
                                  QByteArray("plain text"), QByteArray("<a x='1' x='2'/>"),
                                  // Read as UTF-32 from its first bytes, then undecodable.
                                  QByteArray("<\0\0\0\0xml<a/>", 11)}) {
        TTXMLParser parser(xml);
        EXPECT_FALSE(parser.parse()) << xml.constData();
        EXPECT_FALSE(parser.rootObject().has_value()) << xml.constData();
    }
    // The root had ended before the error: it stays, the result still says malformed.
    TTXMLParser trailing("<a>1</a><b/>");
    EXPECT_FALSE(trailing.parse());
    ASSERT_TRUE(trailing.rootObject().has_value());
    EXPECT_EQ(trailing.rootObject()->value(kValue).toString(), "1");
}

TEST(TTXMLParser, EntitiesAreNeverExpandedNorLoaded)
{
    QTemporaryDir dir;
    const auto writeFile = [&dir](const char* name, const QByteArray& content) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return QUrl::fromLocalFile(file.fileName()).toEncoded();
    };
    const QByteArray secret = writeFile("secret.txt", "SECRET-MARKER");
    const QByteArray dtd = writeFile("e.dtd", "<!ENTITY e \"SECRET-MARKER\">");

    // A reference to a declared entity is refused, never replaced.
    for (const QByteArray& xml : {"<!DOCTYPE a [<!ENTITY e SYSTEM \"" + secret + "\">]><a>&e;</a>",
                                  QByteArray("<!DOCTYPE a [<!ENTITY l \"lol\"><!ENTITY l2 \"&l;&l;\">]><a>&l2;</a>")}) {
        TTXMLParser parser(xml);
        EXPECT_FALSE(parser.parse()) << xml.constData();
        EXPECT_FALSE(parser.rootObject().has_value()) << xml.constData();
    }
    // An external DTD is not read, so its entity stays unknown and adds nothing.
    bool ok = false;
    const QVariantMap root = parseRoot("<!DOCTYPE a SYSTEM \"" + dtd + "\"><a>x&e;y</a>", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(root.value(kValue).toString(), "xy");
}

TEST(TTXMLParser, DictionaryAdditions)
{
    using namespace TTXMLAdditions;
    const QVariantMap array = parseRoot(R"(<list type="array"><i>1</i></list>)");
    EXPECT_EQ(nameForXMLNode(array), "list");
    EXPECT_EQ(typeForXMLNode(array), "array");
    EXPECT_EQ(objectForXMLNode(array).toList().size(), 1);

    const QVariantMap plain = parseRoot("<r><i>1</i>t</r>");
    EXPECT_EQ(objectForXMLNode(plain).toString(), "t");
    EXPECT_EQ(arrayForKey(plain, "i").size(), 1);
    EXPECT_EQ(arrayForKey(plain, "i")[0].toMap().value(kValue).toString(), "1");
    EXPECT_EQ(arrayForKey(array, kArray).size(), 1);
    EXPECT_TRUE(arrayForKey(plain, "missing").isEmpty());
}

TEST(TTXMLParser, ReplacedAndDroppedChildrenLeaveNoTrace)
{
    // The first b and everything in it is replaced; what is built after it must not pick up any
    // of its pieces.
    const QVariantMap root = parseRoot(
        R"(<r><b id="1"><c>1</c><d x="y">2</d></b><b><c>3</c></b>x<e><f a="4">4</f></e>)"
        R"(<g type="integer">4<h>9</h>2</g></r>)");
    const QVariantMap b = child(root, "b");
    EXPECT_EQ(child(b, "c").value(kValue).toString(), "3");
    EXPECT_FALSE(b.contains("d"));
    EXPECT_FALSE(b.contains("id"));
    EXPECT_EQ(child(child(root, "e"), "f"), (QVariantMap{{kName, "f"}, {kType, kUnknownType}, {"a", "4"}, {kValue, "4"}}));
    EXPECT_EQ(root.value(kValue).toString(), "x");
    // The children of a typed element are dropped with their text.
    EXPECT_EQ(child(root, "g").value(kValue), QVariant(42));

    // Text around children that have text of their own stays with its element.
    const QVariantMap nested = parseRoot("<a>1<b>2<c>3</c>4</b>5</a>");
    EXPECT_EQ(nested.value(kValue).toString(), "15");
    EXPECT_EQ(child(nested, "b").value(kValue).toString(), "24");
    EXPECT_EQ(child(child(nested, "b"), "c").value(kValue).toString(), "3");

    const QVariantList outer = parseRoot(R"(<a type="array"><b type="array"><c>1</c></b><d type="integer">7</d></a>)")
                                   .value(kArray)
                                   .toList();
    ASSERT_EQ(outer.size(), 2);
    EXPECT_EQ(outer[0].toMap().value(kArray).toList().value(0).toMap().value(kValue).toString(), "1");
    EXPECT_EQ(outer[1].toMap().value(kValue), QVariant(7));
}

TEST(TTXMLParser, ManyChildrenAndAttributes)
{
    QByteArray xml = "<r";
    for (int i = 0; i < 30; ++i)
        xml += " a" + QByteArray::number(i) + "=\"" + QByteArray::number(i) + "\"";
    xml += ">";
    for (int i = 0; i < 40; ++i)
        xml += "<n" + QByteArray::number(i) + ">" + QByteArray::number(i) + "</n" + QByteArray::number(i) + ">";
    xml += "<n5>again</n5><a7>child</a7></r>";

    const QVariantMap root = parseRoot(xml);
    EXPECT_EQ(root.size(), 30 + 40 + 2);
    EXPECT_EQ(root.value("a3").toString(), "3");
    EXPECT_EQ(child(root, "n39").value(kValue).toString(), "39");
    EXPECT_EQ(child(root, "n5").value(kValue).toString(), "again");
    EXPECT_EQ(child(root, "a7").value(kValue).toString(), "child");  // a child replaces an attribute

    TTXMLParser gathering(xml);
    gathering.setTreatDuplicateKeysAsArrayItems(true);
    ASSERT_TRUE(gathering.parse());
    const QVariantList n5 = gathering.rootObject()->value("n5").toList();
    ASSERT_EQ(n5.size(), 2);
    EXPECT_EQ(n5[0].toMap().value(kValue).toString(), "5");
    EXPECT_EQ(n5[1].toMap().value(kValue).toString(), "again");
    const QVariantList a7 = gathering.rootObject()->value("a7").toList();
    ASSERT_EQ(a7.size(), 2);
    EXPECT_EQ(a7[0].toString(), "7");
}
