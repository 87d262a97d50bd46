#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

class XMLEventParser;

// Receives the events of one parse, in document order. Every operation does nothing unless
// overridden, so a delegate implements only what it reads.
class XMLEventParserDelegate
{
public:
    virtual ~XMLEventParserDelegate() = default;

    // elementName is the name as written ("soap:Body"); namespaces are not processed, so
    // namespaceURI and qualifiedName are null and "xmlns" declarations arrive as attributes.
    virtual void didStartElement(XMLEventParser& parser, const QString& elementName, const QString& namespaceURI,
                                 const QString& qualifiedName, const QVariantMap& attributes);
    virtual void didEndElement(XMLEventParser& parser, const QString& elementName, const QString& namespaceURI,
                               const QString& qualifiedName);
    // Character data, white space included; one text may arrive in several pieces.
    virtual void foundCharacters(XMLEventParser& parser, const QString& string);
    // The raw UTF-8 bytes of a CDATA section; they are not also reported as characters.
    virtual void foundCDATA(XMLEventParser& parser, const QByteArray& CDATABlock);
    // The first error that stops the parse; no event follows it.
    virtual void parseErrorOccurred(XMLEventParser& parser, const Error& parseError);
};

// An event-driven XML parser over a block of bytes (libxml2's SAX interface). It never expands
// entities other than the predefined ones and character references (a reference to any other
// entity is an error), loads no DTD and fetches nothing from the network. Parse options are set
// on each parse's own context and libxml2's error hooks are taken over for the calling thread
// only while a parse runs, so parsers on different threads do not disturb each other.
//
// One object serves one document: construct it with the bytes, set the delegate, call parse().
class XMLEventParser
{
public:
    static constexpr auto kErrorDomain = "NSXMLParserErrorDomain";

    explicit XMLEventParser(QByteArray data);
    XMLEventParser(const XMLEventParser&) = delete;
    XMLEventParser& operator=(const XMLEventParser&) = delete;

    const QByteArray& data() const { return m_data; }

    // Not owned: the delegate must outlive parse().
    void setDelegate(XMLEventParserDelegate* delegate) { m_delegate = delegate; }
    XMLEventParserDelegate* delegate() const { return m_delegate; }

    // Runs the whole document through the delegate. True when it was well-formed to its end.
    bool parse();

    // The error that stopped the last parse (code: libxml2's error number); empty after success.
    const std::optional<Error>& parserError() const { return m_parserError; }

private:
    friend struct XMLEventParserCallbacks;

    void reportError(int code, const QString& message, int line, int column);

    QByteArray m_data;
    XMLEventParserDelegate* m_delegate = nullptr;
    std::optional<Error> m_parserError;
};

Q_DECLARE_METATYPE(std::shared_ptr<XMLEventParser>)
