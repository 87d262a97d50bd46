#include "foundation/xml/XMLText.h"

#include "foundation/xml/TBXML.h"

#include <gtest/gtest.h>

TEST(XMLText, PredefinedAndNumericReferencesBecomeTheirCharacters)
{
    struct Case
    {
        const char16_t* written;
        const char16_t* shown;
    };
    const Case cases[] = {
        {u"A &amp; B", u"A & B"},
        {u"&lt;b&gt; &quot;x&quot; &apos;y&apos;", u"<b> \"x\" 'y'"},
        {u"&#x4E2D;&#20013;&#X4E2D;", u"中中&#X4E2D;"},
        {u"&#x1F600;", u"\U0001F600"},
        {u"&amp;amp;", u"&amp;"},  // decoded once, not twice
        // References that name no character stay as written.
        {u"&nbsp; &copy; & alone &#; &#x; &#0; &#xD800; &#x110000; &#12a; &amp", u"&nbsp; &copy; & alone &#; &#x; &#0; &#xD800; &#x110000; &#12a; &amp"},
        {u"plain", u"plain"},
        {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(XMLText::decodeReferences(QString::fromUtf16(c.written)), QString::fromUtf16(c.shown))
            << QString::fromUtf16(c.written).toStdString();
}

TEST(XMLText, OneBadByteKeepsTheRestOfTheText)
{
    EXPECT_EQ(XMLText::displayText("苹果\xff新品 &amp; &#x4E2D;"), QStringLiteral("苹果\uFFFD新品 & 中"));
    EXPECT_EQ(XMLText::displayText(static_cast<const char*>(nullptr)), QStringLiteral(""));
    EXPECT_FALSE(XMLText::displayText("").isNull());
}

TEST(XMLText, CDATAInAnElementTextStaysAsWritten)
{
    struct Case
    {
        const char* document;
        const char16_t* shown;
    };
    const Case cases[] = {
        {"<t><![CDATA[AT&amp;T &lt;b&gt;]]></t>", u"AT&amp;T &lt;b&gt;"},
        {"<t>AT&amp;T &lt;b&gt;</t>", u"AT&T <b>"},
        {"<t>x &amp; <![CDATA[&amp;]]> y &lt;</t>", u"x & &amp; y <"},
        {"<t><![CDATA[a&amp;]]><![CDATA[&lt;]]>&gt;</t>", u"a&amp;&lt;>"},
        {"<t>  <![CDATA[ &amp; ]]>  </t>", u"&amp;"},
        {"<t><![CDATA[\xff&amp;]]>&amp;\xfe</t>", u"\uFFFD&amp;&\uFFFD"},
        {"<t><![CDATA[]]>&amp;</t>", u"&"},
    };
    for (const Case& c : cases) {
        TBXML document;
        document.initWithXMLData(QByteArray(c.document));
        ASSERT_NE(document.rootXMLElement(), nullptr) << c.document;
        EXPECT_EQ(XMLText::displayText(document.rootXMLElement()), QString::fromUtf16(c.shown)) << c.document;
    }
    EXPECT_EQ(XMLText::displayText(static_cast<const TBXMLElement*>(nullptr)), QStringLiteral(""));
}
