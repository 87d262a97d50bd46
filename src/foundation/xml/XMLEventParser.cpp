#include "foundation/xml/XMLEventParser.h"

#include <QHash>

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

void XMLEventParserDelegate::didStartElement(XMLEventParser&, const QString&, const QString&, const QString&,
                                             const QVariantMap&)
{
}
void XMLEventParserDelegate::didEndElement(XMLEventParser&, const QString&, const QString&, const QString&) {}
void XMLEventParserDelegate::foundCharacters(XMLEventParser&, const QString&) {}
void XMLEventParserDelegate::foundCDATA(XMLEventParser&, const QByteArray&) {}
void XMLEventParserDelegate::parseErrorOccurred(XMLEventParser&, const Error&) {}

void XMLEventParserDelegate::didStartElementRaw(XMLEventParser& parser, int nameId,
                                                const XMLEventAttributes& attributes)
{
    didStartElement(parser, parser.nameText(nameId), QString(), QString(), attributes.toMap());
}

void XMLEventParserDelegate::didEndElementRaw(XMLEventParser& parser, int nameId)
{
    didEndElement(parser, parser.nameText(nameId), QString(), QString());
}

void XMLEventParserDelegate::foundCharactersRaw(XMLEventParser& parser, QByteArrayView text)
{
    foundCharacters(parser, QString::fromUtf8(text));
}

void XMLEventParserDelegate::foundCDATARaw(XMLEventParser& parser, QByteArrayView block)
{
    foundCDATA(parser, block.toByteArray());
}

// Every element and attribute name of a parse, converted once.
struct XMLEventParser::Names
{
    std::vector<QString> texts;
    QHash<QString, int> byText;
    // The same names by the address libxml2 hands them out at. Only names owned by the parse's
    // dictionary are entered: they keep their address until the parse ends, when this is emptied.
    std::unordered_map<const xmlChar*, int> byAddress;
    xmlDictPtr dictionary = nullptr;
    // The open elements' names, innermost last, for their end tags.
    std::vector<std::pair<const xmlChar*, int>> open;

    int intern(const xmlChar* name)
    {
        if (const auto it = byAddress.find(name); it != byAddress.end())
            return it->second;
        const QString text = QString::fromUtf8(reinterpret_cast<const char*>(name));
        auto it = byText.constFind(text);
        if (it == byText.constEnd()) {
            it = byText.insert(text, static_cast<int>(texts.size()));
            texts.push_back(text);
        }
        if (dictionary != nullptr && xmlDictOwns(dictionary, name) == 1)
            byAddress.emplace(name, *it);
        return *it;
    }
};

namespace {

QString fromXml(const xmlChar* text)
{
    return text == nullptr ? QString() : QString::fromUtf8(reinterpret_cast<const char*>(text));
}

XMLEventParser* parserOf(void* ctx)
{
    return static_cast<XMLEventParser*>(ctx);
}

// Errors libxml2 raises outside a parse (encoding set-up, memory) are swallowed while a parse
// runs instead of being printed to stderr.
void ignoreGenericError(void*, const char*, ...) {}

// libxml2 reports errors to the calling thread's hooks. While a parse runs they point at that
// parse; afterwards they are handed back as they were.
class ThreadErrorHooks
{
public:
    ThreadErrorHooks(void* context, xmlStructuredErrorFunc handler)
        : m_structured(xmlStructuredError),
          m_structuredContext(xmlStructuredErrorContext),
          m_generic(xmlGenericError),
          m_genericContext(xmlGenericErrorContext)
    {
        xmlSetStructuredErrorFunc(context, handler);
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
    }
    ~ThreadErrorHooks()
    {
        xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
        xmlSetGenericErrorFunc(m_genericContext, m_generic);
    }
    ThreadErrorHooks(const ThreadErrorHooks&) = delete;
    ThreadErrorHooks& operator=(const ThreadErrorHooks&) = delete;

private:
    xmlStructuredErrorFunc m_structured;
    void* m_structuredContext;
    xmlGenericErrorFunc m_generic;
    void* m_genericContext;
};

// libxml2 takes its input in int-sized pieces.
constexpr qsizetype kChunkSize = 1 << 20;

// Without entity substitution libxml2 keeps an ampersand of an attribute value as "&#38;" (for a
// tree writer to escape again); nothing else can produce that text.
QString attributeValue(const xmlChar* raw)
{
    QString value = fromXml(raw);
    if (value.isEmpty())
        return QStringLiteral("");
    if (value.contains(u'&'))
        value.replace(QLatin1String("&#38;"), QLatin1String("&"));
    return value;
}

}  // namespace

int XMLEventAttributes::nameId(int index) const
{
    return m_parser.m_names->intern(m_pairs[2 * index]);
}

QString XMLEventAttributes::value(int index) const
{
    return attributeValue(m_pairs[2 * index + 1]);
}

QVariantMap XMLEventAttributes::toMap() const
{
    QVariantMap attributes;
    for (int i = 0; i < m_count; ++i)
        attributes.insert(m_parser.nameText(nameId(i)), value(i));
    return attributes;
}

struct XMLEventParserCallbacks
{
    static void startElement(void* ctx, const xmlChar* name, const xmlChar** atts)
    {
        XMLEventParser* parser = parserOf(ctx);
        XMLEventParser::Names& names = *parser->m_names;
        const int nameId = names.intern(name);
        names.open.emplace_back(name, nameId);
        if (parser->m_delegate == nullptr)
            return;
        int count = 0;
        while (atts != nullptr && atts[2 * count] != nullptr)
            ++count;
        parser->m_delegate->didStartElementRaw(*parser, nameId, XMLEventAttributes(*parser, atts, count));
    }

    static void endElement(void* ctx, const xmlChar* name)
    {
        XMLEventParser* parser = parserOf(ctx);
        XMLEventParser::Names& names = *parser->m_names;
        int nameId = 0;
        if (!names.open.empty() && names.open.back().first == name)
            nameId = names.open.back().second;
        else
            nameId = names.intern(name);
        if (!names.open.empty())
            names.open.pop_back();
        if (parser->m_delegate != nullptr)
            parser->m_delegate->didEndElementRaw(*parser, nameId);
    }

    static void characters(void* ctx, const xmlChar* ch, int len)
    {
        XMLEventParser* parser = parserOf(ctx);
        if (parser->m_delegate != nullptr && len > 0)
            parser->m_delegate->foundCharactersRaw(*parser, QByteArrayView(ch, len));
    }

    static void cdataBlock(void* ctx, const xmlChar* value, int len)
    {
        XMLEventParser* parser = parserOf(ctx);
        if (parser->m_delegate != nullptr)
            parser->m_delegate->foundCDATARaw(*parser, QByteArrayView(value, len));
    }

    static void structuredError(void* ctx, xmlErrorPtr error)
    {
        // Recoverable errors (an undeclared entity under an external DTD) let the parse go on.
        if (error == nullptr || error->level < XML_ERR_FATAL)
            return;
        QString message = QString::fromUtf8(error->message).trimmed();
        parserOf(ctx)->reportError(error->code, message, error->line, error->int2);
    }
};

XMLEventParser::XMLEventParser(QByteArray data) : m_data(std::move(data)), m_names(std::make_unique<Names>()) {}

XMLEventParser::~XMLEventParser() = default;

const QString& XMLEventParser::nameText(int nameId) const
{
    return m_names->texts.at(static_cast<size_t>(nameId));
}

void XMLEventParser::reportError(int code, const QString& message, int line, int column)
{
    // Only the error that stops the parse is reported; libxml2 may add follow-up complaints.
    if (m_parserError.has_value())
        return;
    QVariantMap info;
    info.insert(QLatin1String(Error::kLocalizedDescriptionKey), message);
    info.insert(QStringLiteral("NSXMLParserErrorLineNumber"), line);
    info.insert(QStringLiteral("NSXMLParserErrorColumn"), column);
    m_parserError = Error(QLatin1String(kErrorDomain), code, info);
    if (m_delegate != nullptr)
        m_delegate->parseErrorOccurred(*this, *m_parserError);
}

bool XMLEventParser::parse()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    m_parserError.reset();
    *m_names = Names();
    ThreadErrorHooks hooks(this, XMLEventParserCallbacks::structuredError);

    // A version-1 handler with the plain element callbacks: libxml2 then reports names as
    // written and leaves namespaces alone. The parser's own object is the callbacks' context, so
    // libxml2 never looks entities up in its private table: a reference to a declared entity is
    // an undeclared one, and nothing is expanded.
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = 1;
    sax.startElement = XMLEventParserCallbacks::startElement;
    sax.endElement = XMLEventParserCallbacks::endElement;
    sax.characters = XMLEventParserCallbacks::characters;
    sax.ignorableWhitespace = XMLEventParserCallbacks::characters;
    sax.cdataBlock = XMLEventParserCallbacks::cdataBlock;

    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr);
    if (ctxt == nullptr) {
        reportError(XML_ERR_NO_MEMORY, QStringLiteral("Cannot create the parser"), 0, 0);
        return false;
    }
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET);
    m_names->dictionary = ctxt->dict;

    const char* bytes = m_data.constData();
    qsizetype left = m_data.size();
    do {
        const qsizetype n = std::min(left, kChunkSize);
        const bool last = n == left;
        xmlParseChunk(ctxt, bytes, static_cast<int>(n), last ? 1 : 0);
        bytes += n;
        left -= n;
        if (m_parserError.has_value() || ctxt->instate == XML_PARSER_EOF)
            break;
    } while (left > 0);

    // A negative error number is an input failure that halted the parser without marking the
    // document malformed.
    const bool wellFormed = ctxt->wellFormed != 0 && ctxt->errNo >= 0 && !m_parserError.has_value();
    if (!wellFormed && !m_parserError.has_value())
        reportError(ctxt->errNo > 0 ? ctxt->errNo : XML_ERR_INTERNAL_ERROR,
                    QStringLiteral("The document is not well-formed"), 0, 0);
    // Declarations of a DTD land in a document libxml2 makes on the side; the context does not
    // free it.
    if (ctxt->myDoc != nullptr) {
        xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
    }
    xmlFreeParserCtxt(ctxt);
    // The dictionary that owned the addresses is gone; the texts stay for nameText().
    m_names->byAddress.clear();
    m_names->dictionary = nullptr;
    m_names->open.clear();
    return wellFormed;
}
