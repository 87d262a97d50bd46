#include "foundation/xml/XMLEventParser.h"

#include <QStringList>

#include <libxml/globals.h>
#include <libxml/xmlerror.h>

#include <gtest/gtest.h>

namespace {

// Writes every event as one line of text.
class Recorder : public XMLEventParserDelegate
{
public:
    QStringList events;

    void didStartElement(XMLEventParser&, const QString& name, const QString& namespaceURI, const QString& qualifiedName,
                         const QVariantMap& attributes) override
    {
        QStringList attrs;
        for (auto it = attributes.begin(); it != attributes.end(); ++it)
            attrs.append(it.key() + u'=' + it.value().toString());
        events.append(QStringLiteral("start %1 [%2]%3").arg(name, attrs.join(u','),
                                                               namespaceURI.isNull() && qualifiedName.isNull() ? "" : " ns"));
    }
    void didEndElement(XMLEventParser&, const QString& name, const QString&, const QString&) override
    {
        events.append(QStringLiteral("end ") + name);
    }
    void foundCharacters(XMLEventParser&, const QString& string) override
    {
        if (!events.isEmpty() && events.last().startsWith(QStringLiteral("text ")))
            events.last() += string;
        else
            events.append(QStringLiteral("text ") + string);
    }
    void foundCDATA(XMLEventParser&, const QByteArray& block) override
    {
        events.append(QStringLiteral("cdata ") + QString::fromUtf8(block));
    }
    void parseErrorOccurred(XMLEventParser&, const Error& error) override
    {
        events.append(QStringLiteral("error %1").arg(error.code));
    }
};

QStringList run(const QByteArray& xml, bool* ok = nullptr)
{
    XMLEventParser parser(xml);
    Recorder recorder;
    parser.setDelegate(&recorder);
    const bool parsed = parser.parse();
    if (ok != nullptr)
        *ok = parsed;
    return recorder.events;
}

}  // namespace

TEST(XMLEventParser, ReportsNamesAsWrittenAndDecodedText)
{
    bool ok = false;
    const QStringList events = run(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<soap:Envelope xmlns:soap=\"urn:s\" a=\"1 &amp; 2\"><soap:Body>x &lt; &#20013;<![CDATA[<raw>]]></soap:Body></soap:Envelope>",
        &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(events, (QStringList{QStringLiteral("start soap:Envelope [a=1 & 2,xmlns:soap=urn:s]"),
                                   QStringLiteral("start soap:Body []"), QStringLiteral("text x < \u4E2D"),
                                   QStringLiteral("cdata <raw>"), QStringLiteral("end soap:Body"),
                                   QStringLiteral("end soap:Envelope")}));
}

TEST(XMLEventParser, StopsAtTheFirstError)
{
    bool ok = true;
    XMLEventParser parser("<a><b></a>");
    Recorder recorder;
    parser.setDelegate(&recorder);
    EXPECT_FALSE(parser.parse());
    ASSERT_TRUE(parser.parserError().has_value());
    EXPECT_EQ(parser.parserError()->domain, QStringLiteral("NSXMLParserErrorDomain"));
    EXPECT_EQ(recorder.events.size(), 3);
    EXPECT_TRUE(recorder.events.last().startsWith(QStringLiteral("error ")));

    const QStringList empty = run(QByteArray(), &ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(empty.size(), 1);
    EXPECT_TRUE(empty.first().startsWith(QStringLiteral("error ")));
}

TEST(XMLEventParser, NeverExpandsDeclaredOrExternalEntities)
{
    // An internal entity is not substituted; the reference is an error instead of its text.
    bool ok = true;
    const QStringList internal = run("<!DOCTYPE a [<!ENTITY e \"expanded\">]><a>&e;</a>", &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(internal.join(u'|').contains(QStringLiteral("expanded")));

    // An external one naming a local file is neither loaded nor substituted.
    const QStringList external = run("<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/hostname\">]><a>&e;</a>", &ok);
    EXPECT_FALSE(ok);
    for (const QString& event : external)
        EXPECT_FALSE(event.startsWith(QStringLiteral("text ")));

    // Exponential entity nesting ends at once instead of consuming memory.
    QByteArray laughs = "<!DOCTYPE a [<!ENTITY l0 \"ha\">";
    for (int i = 1; i < 12; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;\">").arg(i).arg(i - 1).toUtf8();
    laughs += "]><a>&l11;</a>";
    run(laughs, &ok);
    EXPECT_FALSE(ok);
}

TEST(XMLEventParser, WorksWithoutADelegateAndRestoresTheThreadsErrorHook)
{
    static int strayErrors = 0;
    xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) { ++strayErrors; });
    const xmlStructuredErrorFunc installed = xmlStructuredError;

    XMLEventParser parser("<a>text</a>");
    EXPECT_TRUE(parser.parse());
    EXPECT_FALSE(parser.parserError().has_value());
    XMLEventParser broken("<a>");
    EXPECT_FALSE(broken.parse());
    EXPECT_TRUE(broken.parserError().has_value());
    // A second parse of the same object starts afresh.
    EXPECT_TRUE(parser.parse());

    // The parses reported their errors to themselves and handed the hook back unchanged.
    EXPECT_EQ(xmlStructuredError, installed);
    EXPECT_EQ(strayErrors, 0);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}

TEST(XMLEventParser, RawEventsNumberNamesAndKeepTextAsBytes)
{
    struct Raw : XMLEventParserDelegate
    {
        QStringList events;
        QList<int> open;
        void didStartElementRaw(XMLEventParser& parser, int nameId, const XMLEventAttributes& attributes) override
        {
            QString event = QStringLiteral("start %1=%2").arg(nameId).arg(parser.nameText(nameId));
            for (int i = 0; i < attributes.count(); ++i)
                event += QStringLiteral(" %1=%2:%3").arg(attributes.nameId(i)).arg(parser.nameText(attributes.nameId(i)),
                                                          attributes.value(i));
            events.append(event);
            open.append(nameId);
        }
        void didEndElementRaw(XMLEventParser&, int nameId) override
        {
            events.append(QStringLiteral("end %1%2").arg(nameId).arg(open.takeLast() == nameId ? "" : " unmatched"));
        }
        void foundCharactersRaw(XMLEventParser&, QByteArrayView text) override
        {
            events.append(QStringLiteral("text ") + QString::fromLatin1(text.toByteArray().toHex()));
        }
        void foundCDATARaw(XMLEventParser&, QByteArrayView block) override
        {
            events.append(QStringLiteral("cdata ") + QString::fromUtf8(block));
        }
        // The converted forms are not also called for a delegate that reads the raw ones.
        void didStartElement(XMLEventParser&, const QString&, const QString&, const QString&, const QVariantMap&) override
        {
            events.append(QStringLiteral("converted"));
        }
        void foundCharacters(XMLEventParser&, const QString&) override { events.append(QStringLiteral("converted")); }
    };

    XMLEventParser parser("<p:r a=\"1&amp;2&#38;3\" b=\"\"><i a=\"x\"/><i/>\xE4\xB8\xAD<![CDATA[<c>]]></p:r>");
    Raw raw;
    parser.setDelegate(&raw);
    ASSERT_TRUE(parser.parse());
    EXPECT_EQ(raw.events,
              (QStringList{QStringLiteral("start 0=p:r 1=a:1&2&3 2=b:"), QStringLiteral("start 3=i 1=a:x"),
                           QStringLiteral("end 3"), QStringLiteral("start 3=i"), QStringLiteral("end 3"),
                           QStringLiteral("text e4b8ad"), QStringLiteral("cdata <c>"), QStringLiteral("end 0")}));
    // The names stay readable after the parse.
    EXPECT_EQ(parser.nameText(3), QStringLiteral("i"));
}
