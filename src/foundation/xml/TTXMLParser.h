#pragma once

#include "foundation/xml/XMLEventParser.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

// One element of a parsed reply: its attributes, the keys below and, for an untyped element, its
// children under their element names.
using TTXMLNodeDictionary = QVariantMap;

namespace TTXMLKeys {
inline const QString kName = QStringLiteral("___Entity_Name___");
inline const QString kType = QStringLiteral("___Entity_Type___");
inline const QString kValue = QStringLiteral("___Entity_Value___");
inline const QString kArray = QStringLiteral("___Array___");
inline const QString kUnknownType = QStringLiteral("unknown");
}  // namespace TTXMLKeys

// Turns a small service reply into nested dictionaries in one event-driven pass. Element names
// are the qualified names as written ("soap:Body"); namespaces are not processed, entities are
// never expanded, no DTD is loaded and nothing is fetched from the network.
//
// An element's character data (CDATA sections included) is joined untrimmed under
// "___Entity_Value___"; type="integer" turns it into a number and type="datetime" into a date.
// Children of an untyped element stand under their names (the last of a name wins), children of a
// type="array" element are listed in order under "___Array___", and children of any other type are
// dropped.
//
// The parser is its own delegate. One parser serves one document: construct it with the bytes,
// call parse() once, read rootObject().
class TTXMLParser : public XMLEventParser, private XMLEventParserDelegate
{
public:
    explicit TTXMLParser(QByteArray data);
    ~TTXMLParser() override;

    // True when the document was well-formed to its end. On an error parsing stops there.
    bool parse();

    // The root element's dictionary once the root element has ended; empty otherwise.
    const std::optional<TTXMLNodeDictionary>& rootObject() const { return m_rootObject; }

    // With the flag on, repeated children of an untyped element are gathered into a list instead
    // of replacing each other.
    bool treatDuplicateKeysAsArrayItems() const { return m_treatDuplicateKeysAsArrayItems; }
    void setTreatDuplicateKeysAsArrayItems(bool on) { m_treatDuplicateKeysAsArrayItems = on; }

private:
    struct Build;

    void didStartElementRaw(XMLEventParser& parser, int nameId, const XMLEventAttributes& attributes) override;
    void didEndElementRaw(XMLEventParser& parser, int nameId) override;
    void foundCharactersRaw(XMLEventParser& parser, QByteArrayView text) override;
    void foundCDATARaw(XMLEventParser& parser, QByteArrayView block) override;

    std::optional<TTXMLNodeDictionary> m_rootObject;
    bool m_treatDuplicateKeysAsArrayItems = false;
    // The open elements and what they have gathered; exists only while parse() runs.
    Build* m_build = nullptr;
};

// Readers of a node dictionary.
namespace TTXMLAdditions {
// The element name ("___Entity_Name___").
QString nameForXMLNode(const TTXMLNodeDictionary& node);
// The element type ("___Entity_Type___").
QString typeForXMLNode(const TTXMLNodeDictionary& node);
// The children list of an "array" element, else the element's value.
QVariant objectForXMLNode(const TTXMLNodeDictionary& node);
// The value under the key when it is a list, else a list holding just it; an empty list when the
// key is absent.
QVariantList arrayForKey(const TTXMLNodeDictionary& node, const QString& key);
}  // namespace TTXMLAdditions
