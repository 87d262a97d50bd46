// Arbitrary reply bodies under arbitrary content types and status codes, through the JSON, XML
// parser, XML document and property-list response serializers. The first three bytes choose the content type,
// the serializer and the status; the rest is the body. Whatever the body, a rejected reply must
// carry its error, and a parse that yields nothing must say why.
#include "foundation/xml/XMLEventParser.h"
#include "networking/AFURLResponseSerialization.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "response_serializer: %s\n", what);
    std::abort();
}

const char* const kContentTypes[] = {
    "application/json; charset=utf-8",
    "application/json; charset=GB2312",
    "text/json; charset=\"iso-8859-1\"",
    "text/javascript; charset=x-unknown",
    "text/html",
    "application/xml",
    "text/xml; charset=utf-16",
    "application/x-plist",
    nullptr,
};

const int kStatusCodes[] = {200, 204, 304, 404, 500};

// Reads the whole document so that the parser's own error path is exercised too.
class Walker : public XMLEventParserDelegate
{
public:
    int depth = 0;
    void didStartElement(XMLEventParser&, const QString&, const QString&, const QString&, const QVariantMap&) override
    {
        ++depth;
    }
    void didEndElement(XMLEventParser&, const QString&, const QString&, const QString&) override { --depth; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const char* contentType = kContentTypes[data[0] % std::size(kContentTypes)];
    const unsigned choice = data[1] % 5u;
    const int status = kStatusCodes[data[2] % std::size(kStatusCodes)];
    const QByteArray body(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3));

    HTTPHeaderFields headers;
    if (contentType != nullptr)
        headers.setValue(QString::fromLatin1(contentType), QStringLiteral("Content-Type"));
    const HTTPURLResponse response(QUrl(QStringLiteral("http://127.0.0.1/r")), status, headers);

    std::shared_ptr<AFHTTPResponseSerializer> serializer;
    switch (choice) {
    case 0: serializer = AFJSONResponseSerializer::serializer(); break;
    case 1: {
        auto json = AFJSONResponseSerializer::serializerWithReadingOptions(AFJSONResponseSerializer::kReadingAllowFragments);
        json->setRemovesKeysWithNullValues(true);
        serializer = json;
        break;
    }
    case 2: serializer = AFXMLParserResponseSerializer::serializer(); break;
    case 3: serializer = AFPropertyListResponseSerializer::serializer(); break;
    default: serializer = AFXMLDocumentResponseSerializer::serializer(); break;
    }

    std::optional<Error> validationError;
    const bool valid = serializer->validateResponse(&response, body, &validationError);
    if (!valid && !validationError.has_value())
        fail("a rejected reply carries no error");

    std::optional<Error> error;
    const QVariant object = serializer->responseObjectForResponse(&response, body, &error);
    if (!valid && !error.has_value())
        fail("the serializer dropped the validation error");

    if (choice <= 1 && valid && !object.isValid() && !error.has_value()) {
        // Only an empty reply (no text, or one space) may give nothing without a reason; a
        // visible ASCII character decodes to text in every charset offered here.
        const bool hasVisibleText =
            std::any_of(body.begin(), body.end(), [](char c) { return c > ' ' && c < 0x7F; });
        if (hasVisibleText)
            fail("a JSON body gave nothing and no error");
    }
    if (choice == 2 && object.isValid()) {
        const auto parser = object.value<std::shared_ptr<XMLEventParser>>();
        if (parser == nullptr)
            fail("the XML serializer's object is not a parser");
        Walker walker;
        parser->setDelegate(&walker);
        const bool parsed = parser->parse();
        if (!parsed && !parser->parserError().has_value())
            fail("a failed XML parse has no error");
        if (parsed && walker.depth != 0)
            fail("a well-formed document left elements open");
    }
    if (choice >= 3 && valid && !object.isValid() && !error.has_value())
        fail("a property list or document gave nothing and no error");
    if (choice == 4 && object.isValid()) {
        const auto document = object.value<std::shared_ptr<DDXMLDocument>>();
        if (document == nullptr)
            fail("the XML document serializer's object is not a document");
        (void)document->XMLData();
    }
    return 0;
}
