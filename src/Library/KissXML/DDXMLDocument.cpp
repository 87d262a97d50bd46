#include "Library/KissXML/DDXMLDocument.h"

#include "Library/KissXML/DDXMLElement.h"
#include "Library/KissXML/DDXMLPrivate.h"

#include <libxml/parser.h>

#include <climits>

using namespace DDXMLPrivate;

namespace {

// Passed with every parse rather than set as libxml2's process-wide defaults: blank text between
// elements dropped, no network, and names kept out of a dictionary so that a detached subtree can
// be freed without its document. Entities stay unexpanded and no external DTD is loaded.
constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NODICT;

}  // namespace

std::shared_ptr<DDXMLDocument> DDXMLDocument::initWithData(const QByteArray& data, unsigned, Error* error)
{
    if (data.isEmpty()) {
        if (error)
            *error = Error(QString::fromLatin1(DDXMLErrorDomain), 0);
        return nullptr;
    }
    ensureThreadSetup();
    xmlDocPtr doc = nullptr;
    if (data.size() <= INT_MAX)
        doc = xmlReadMemory(data.constData(), int(data.size()), nullptr, nullptr, kParseOptions);
    if (!doc) {
        if (error)
            *error = Error(QString::fromLatin1(DDXMLErrorDomain), 1);
        return nullptr;
    }
    return adoptAs<DDXMLDocument>(doc);
}

std::shared_ptr<DDXMLDocument> DDXMLDocument::initWithXMLString(const QString& string, unsigned options,
                                                                Error* error)
{
    return initWithData(string.toUtf8(), options, error);
}

std::shared_ptr<DDXMLElement> DDXMLDocument::rootElement() const
{
    return wrapAs<DDXMLElement>(xmlDocGetRootElement(static_cast<xmlDocPtr>(genericPtr())), Access::owner(*this));
}

QByteArray DDXMLDocument::XMLData() const
{
    return XMLString().toUtf8();
}

QByteArray DDXMLDocument::XMLDataWithOptions(unsigned options) const
{
    return XMLStringWithOptions(options).toUtf8();
}
