// Text form of a node. libxml2's dump writes the non-ASCII characters of attribute values as
// hexadecimal character references when the tree declares no encoding (every tree built with the
// factories); the favourites file needs real characters there, so four-digit references are
// turned back into UTF-8.
#include "Library/KissXML/DDXMLNode.h"
#include "Library/KissXML/DDXMLPrivate.h"
#include "Library/KissXML/DDXMLStringAdditions.h"

#include <libxml/globals.h>

using namespace DDXMLPrivate;

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Four hexadecimal digits to the UTF-8 bytes of their code point; 0 (nothing written) when they
// are not four hex digits, name an ASCII character (which the dump never writes as a reference,
// so it stays as the author typed it), a surrogate (no UTF-8 form) or U+FFFE/U+FFFF, which are
// not XML characters: written out they would make the text unreadable as XML.
int changeUnicodeString(const char* digits, char* utf8)
{
    int codePoint = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexDigit(digits[i]);
        if (digit < 0)
            return 0;
        codePoint = codePoint * 16 + digit;
    }
    if (codePoint < 0x80 || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint >= 0xFFFE)
        return 0;
    if (codePoint < 0x800) {
        utf8[0] = char(0xC0 | (codePoint >> 6));
        utf8[1] = char(0x80 | (codePoint & 0x3F));
        return 2;
    }
    utf8[0] = char(0xE0 | (codePoint >> 12));
    utf8[1] = char(0x80 | ((codePoint >> 6) & 0x3F));
    utf8[2] = char(0x80 | (codePoint & 0x3F));
    return 3;
}

// Copies the dump, writing each "&#xHHHH;" that names such a code point as its UTF-8 bytes. The result is never longer than the input.
QByteArray proessUtf8string(const char* text, qsizetype length)
{
    QByteArray out(length, Qt::Uninitialized);
    char* written = out.data();
    qsizetype i = 0;
    while (i < length) {
        if (text[i] == '&' && i + 7 < length && text[i + 1] == '#' && text[i + 2] == 'x' && text[i + 7] == ';') {
            const int bytes = changeUnicodeString(text + i + 3, written);
            if (bytes > 0) {
                written += bytes;
                i += 8;
                continue;
            }
        }
        *written++ = text[i++];
    }
    out.truncate(written - out.constData());
    return out;
}

}  // namespace

QString DDXMLNode::XMLStringWithOptions(unsigned options) const
{
    const int k = kind();
    if (k == 0)
        return QStringLiteral("");
    ensureThreadSetup();
    xmlBufferPtr buffer = xmlBufferCreate();
    if (!buffer)
        return {};
    // The dump reads these settings from libxml2's globals (per thread). They are put back
    // afterwards so that other code dumping with libxml2 on this thread is not affected.
    const int savedNoEmptyTags = xmlSaveNoEmptyTags;
    const int savedIndentTreeOutput = xmlIndentTreeOutput;
    xmlSaveNoEmptyTags = (options & kCompactEmptyElement) ? 0 : 1;
    const int format = (options & kPrettyPrint) ? 1 : 0;
    if (format)
        xmlIndentTreeOutput = 1;
    xmlDocPtr doc = k == XML_NAMESPACE_DECL ? nullptr : static_cast<xmlNodePtr>(m_genericPtr)->doc;
    const int written = xmlNodeDump(buffer, doc, static_cast<xmlNodePtr>(m_genericPtr), 0, format);
    xmlSaveNoEmptyTags = savedNoEmptyTags;
    xmlIndentTreeOutput = savedIndentTreeOutput;
    QString result;
    if (written >= 0) {
        const auto* bytes = reinterpret_cast<const char*>(xmlBufferContent(buffer));
        const qsizetype length = xmlBufferLength(buffer);
        if (k == XML_TEXT_NODE)
            result = QString::fromUtf8(bytes, length);
        else
            result = DDXML::stringByTrimming(QString::fromUtf8(proessUtf8string(bytes, length)));
    }
    xmlBufferFree(buffer);
    return result;
}

QString DDXMLNode::XMLString() const
{
    return XMLStringWithOptions(0);
}

QString DDXMLNode::description() const
{
    return XMLString();
}
