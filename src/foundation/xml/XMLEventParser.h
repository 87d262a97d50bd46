#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

class XMLEventParser;

// The attributes of one start tag, read on demand. Valid only during the event that hands it over.
class XMLEventAttributes
{
public:
    int count() const { return m_count; }
    // The attribute's name as a name number of the running parse (see XMLEventParser::nameText).
    int nameId(int index) const;
    // The attribute's value with its references resolved; "" for an empty value.
    QString value(int index) const;
    // Every attribute, name -> value.
    QVariantMap toMap() const;

private:
    friend struct XMLEventParserCallbacks;
    XMLEventAttributes(XMLEventParser& parser, const unsigned char* const* pairs, int count)
        : m_parser(parser), m_pairs(pairs), m_count(count)
    {
    }

    XMLEventParser& m_parser;
    const unsigned char* const* m_pairs;  // name, value, name, value...
    int m_count;
};

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

    // The same events before they are turned into Qt values, for a delegate that reads many
    // elements and keeps few: a name arrives as its name number, attributes are read on demand,
    // text and CDATA come as UTF-8 bytes that are valid only during the call. The parser always
    // calls these; by default each converts its event and calls the matching operation above.
    virtual void didStartElementRaw(XMLEventParser& parser, int nameId, const XMLEventAttributes& attributes);
    virtual void didEndElementRaw(XMLEventParser& parser, int nameId);
    // Never empty.
    virtual void foundCharactersRaw(XMLEventParser& parser, QByteArrayView text);
    virtual void foundCDATARaw(XMLEventParser& parser, QByteArrayView block);
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
    virtual ~XMLEventParser();

    const QByteArray& data() const { return m_data; }

    // Not owned: the delegate must outlive parse().
    void setDelegate(XMLEventParserDelegate* delegate) { m_delegate = delegate; }
    XMLEventParserDelegate* delegate() const { return m_delegate; }

    // Runs the whole document through the delegate. True when it was well-formed to its end.
    bool parse();

    // The error that stopped the last parse (code: libxml2's error number); empty after success.
    const std::optional<Error>& parserError() const { return m_parserError; }

    // The text of a name number handed to a raw event. Each distinct element or attribute name
    // of a parse gets one number when it is first met; the numbers run from 0 without gaps and,
    // like their texts, stay valid until the next parse of this object.
    const QString& nameText(int nameId) const;

private:
    friend struct XMLEventParserCallbacks;
    friend class XMLEventAttributes;
    struct Names;

    void reportError(int code, const QString& message, int line, int column);

    QByteArray m_data;
    XMLEventParserDelegate* m_delegate = nullptr;
    std::optional<Error> m_parserError;
    std::unique_ptr<Names> m_names;
};

Q_DECLARE_METATYPE(std::shared_ptr<XMLEventParser>)
