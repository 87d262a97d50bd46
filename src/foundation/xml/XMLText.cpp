#include "foundation/xml/XMLText.h"

#include "foundation/xml/TBXML.h"

#include <algorithm>
#include <cstring>

namespace {

// The longest reference worth looking at: "&#x10FFFF;" and "&#1114111;" are 10 units.
constexpr qsizetype kLongestReference = 12;

// The character a reference body (between "&" and ";") stands for; 0 when it names none.
char32_t referencedCharacter(QStringView body)
{
    if (body == u"amp")
        return U'&';
    if (body == u"lt")
        return U'<';
    if (body == u"gt")
        return U'>';
    if (body == u"quot")
        return U'"';
    if (body == u"apos")
        return U'\'';
    if (body.size() < 2 || body.front() != u'#')
        return 0;
    const bool hex = body.at(1) == u'x';
    const QStringView digits = body.mid(hex ? 2 : 1);
    if (digits.isEmpty())
        return 0;
    char32_t value = 0;
    for (const QChar unit : digits) {
        const char16_t c = unit.unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return 0;
        value = value * (hex ? 16 : 10) + char32_t(digit);
        if (value > 0x10FFFF)
            return 0;
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return value;
}

}  // namespace

namespace XMLText {

QString decodeReferences(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype amp = text.indexOf(QLatin1Char('&'), pos);
        if (amp < 0) {
            result += QStringView(text).mid(pos);
            break;
        }
        result += QStringView(text).mid(pos, amp - pos);
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), amp + 1);
        const char32_t character = semicolon > amp && semicolon - amp <= kLongestReference
                                       ? referencedCharacter(QStringView(text).mid(amp + 1, semicolon - amp - 1))
                                       : 0;
        if (character == 0) {
            result += QLatin1Char('&');
            pos = amp + 1;
            continue;
        }
        result += QString::fromUcs4(&character, 1);
        pos = semicolon + 1;
    }
    return result;
}

QString displayText(const char* utf8)
{
    if (utf8 == nullptr || *utf8 == '\0')
        return QStringLiteral("");
    // fromUtf8 puts one U+FFFD in place of each byte that starts no valid sequence.
    return decodeReferences(QString::fromUtf8(utf8, qsizetype(std::strlen(utf8))));
}

QString displayText(const TBXMLElement* element)
{
    if (element == nullptr || element->text == nullptr || *element->text == '\0')
        return QStringLiteral("");
    const char* text = element->text;
    const char* const end = text + std::strlen(text);
    if (element->document == nullptr)
        return displayText(text);
    const auto& spans = element->document->verbatimSpans();
    // The first span that ends inside or after the text; spans are in document order.
    auto span = std::upper_bound(spans.begin(), spans.end(), text,
                                 [](const char* at, const TBXML::VerbatimSpan& s) { return at < s.end; });
    if (span == spans.end() || span->begin >= end)
        return displayText(text);
    QString result;
    const char* at = text;
    for (; span != spans.end() && span->begin < end; ++span) {
        const char* verbatimBegin = std::max(span->begin, at);
        const char* verbatimEnd = std::min(span->end, end);
        result += decodeReferences(QString::fromUtf8(at, verbatimBegin - at));
        result += QString::fromUtf8(verbatimBegin, verbatimEnd - verbatimBegin);
        at = verbatimEnd;
    }
    result += decodeReferences(QString::fromUtf8(at, end - at));
    return result;
}

}  // namespace XMLText
