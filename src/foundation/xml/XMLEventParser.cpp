#include "foundation/xml/XMLEventParser.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <mutex>

void XMLEventParserDelegate::didStartElement(XMLEventParser&, const QString&, const QString&, const QString&,
                                             const QVariantMap&)
{
}
void XMLEventParserDelegate::didEndElement(XMLEventParser&, const QString&, const QString&, const QString&) {}
void XMLEventParserDelegate::foundCharacters(XMLEventParser&, const QString&) {}
void XMLEventParserDelegate::foundCDATA(XMLEventParser&, const QByteArray&) {}
void XMLEventParserDelegate::parseErrorOccurred(XMLEventParser&, const Error&) {}

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

}  // namespace

struct XMLEventParserCallbacks
{
    static void startElement(void* ctx, const xmlChar* name, const xmlChar** atts)
    {
        XMLEventParser* parser = parserOf(ctx);
        if (parser->m_delegate == nullptr)
            return;
        QVariantMap attributes;
        for (const xmlChar** a = atts; a != nullptr && a[0] != nullptr; a += 2) {
            // Without entity substitution libxml2 keeps an ampersand of a value as "&#38;"
            // (for a tree writer to escape again); nothing else can produce that text.
            QString value = fromXml(a[1]);
            value.replace(QLatin1String("&#38;"), QLatin1String("&"));
            attributes.insert(fromXml(a[0]), value.isNull() ? QStringLiteral("") : value);
        }
        parser->m_delegate->didStartElement(*parser, fromXml(name), QString(), QString(), attributes);
    }

    static void endElement(void* ctx, const xmlChar* name)
    {
        XMLEventParser* parser = parserOf(ctx);
        if (parser->m_delegate != nullptr)
            parser->m_delegate->didEndElement(*parser, fromXml(name), QString(), QString());
    }

    static void characters(void* ctx, const xmlChar* ch, int len)
    {
        XMLEventParser* parser = parserOf(ctx);
        if (parser->m_delegate != nullptr && len > 0)
            parser->m_delegate->foundCharacters(*parser, QString::fromUtf8(reinterpret_cast<const char*>(ch), len));
    }

    static void cdataBlock(void* ctx, const xmlChar* value, int len)
    {
        XMLEventParser* parser = parserOf(ctx);
        if (parser->m_delegate != nullptr)
            parser->m_delegate->foundCDATA(*parser, QByteArray(reinterpret_cast<const char*>(value), len));
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

XMLEventParser::XMLEventParser(QByteArray data) : m_data(std::move(data)) {}

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

    const bool wellFormed = ctxt->wellFormed != 0 && !m_parserError.has_value();
    if (!wellFormed && !m_parserError.has_value())
        reportError(ctxt->errNo != 0 ? ctxt->errNo : XML_ERR_INTERNAL_ERROR,
                    QStringLiteral("The document is not well-formed"), 0, 0);
    // Declarations of a DTD land in a document libxml2 makes on the side; the context does not
    // free it.
    if (ctxt->myDoc != nullptr) {
        xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
    }
    xmlFreeParserCtxt(ctxt);
    return wellFormed;
}
