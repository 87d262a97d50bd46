#pragma once

#include "Library/KissXML/DDXMLNode.h"

class DDXMLElement;

// A parsed or built document; the document wrapper owns the whole tree.
class DDXMLDocument : public DDXMLNode
{
public:
    // Parses XML bytes. Empty data: null and error code 0; text that is not well-formed: null
    // and error code 1 (libxml2's message becomes the thread's lastError()). Blank text between
    // elements is dropped; entities are not expanded, no DTD is loaded, nothing is fetched.
    // `options` is accepted for the callers' sake and not used.
    static std::shared_ptr<DDXMLDocument> initWithData(const QByteArray& data, unsigned options, Error* error);
    // The string's UTF-8 bytes through initWithData.
    static std::shared_ptr<DDXMLDocument> initWithXMLString(const QString& string, unsigned options, Error* error);

    std::shared_ptr<DDXMLElement> rootElement() const;
    QByteArray XMLData() const;
    QByteArray XMLDataWithOptions(unsigned options) const;

private:
    friend struct DDXMLPrivate::Access;
    DDXMLDocument() = default;
};
