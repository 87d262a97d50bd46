#include "Library/KissXML/DDXMLElement.h"
#include "foundation/xml/XMLEventParser.h"
#include "networking/AFURLResponseSerialization.h"
#include "networking/HTTPURLResponse.h"
#include "networking/PropertyListSerialization.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

HTTPURLResponse reply(int status, const QString& contentType)
{
    HTTPHeaderFields headers;
    headers.setValue(contentType, QStringLiteral("Content-Type"));
    return HTTPURLResponse(QUrl(QStringLiteral("http://h/r")), status, headers);
}

QVariant nullObject()
{
    return QVariant::fromValue(nullptr);
}

std::optional<Error> underlying(const Error& error)
{
    const QVariant v = error.userInfo.value(QLatin1String(Error::kUnderlyingErrorKey));
    if (!v.isValid())
        return std::nullopt;
    return v.value<Error>();
}

}  // namespace

TEST(HTTPURLResponseRecord, ReadsTypeAndCharsetAndIgnoresFieldCase)
{
    HTTPHeaderFields headers;
    headers.setValue(QStringLiteral("Text/HTML; Charset=\"GB2312\""), QStringLiteral("content-type"));
    headers.setValue(QStringLiteral("Tue, 01 Jan 2030 00:00:00 GMT"), QStringLiteral("last-modified"));
    const HTTPURLResponse response(QUrl(QStringLiteral("http://h/")), 200, headers);
    EXPECT_EQ(response.MIMEType, QStringLiteral("text/html"));
    EXPECT_EQ(response.textEncodingName, QStringLiteral("GB2312"));
    EXPECT_EQ(response.valueForHTTPHeaderField(QStringLiteral("Last-Modified")),
              QStringLiteral("Tue, 01 Jan 2030 00:00:00 GMT"));

    const HTTPURLResponse bare(QUrl(QStringLiteral("http://h/")), 204, HTTPHeaderFields());
    EXPECT_TRUE(bare.MIMEType.isNull());
    EXPECT_TRUE(bare.textEncodingName.isNull());
}

TEST(HTTPURLResponseRecord, ComesFromAQtReply)
{
    // One scripted reply from a server on the loopback address.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Type: application/json; charset=utf-8\r\n"
                          "last-modified: Mon, 02 Jan 2006 15:04:05 GMT\r\nX-Dup: a\r\nX-Dup: b\r\n"
                          "Content-Length: 2\r\nConnection: close\r\n\r\n{}");
            socket->disconnectFromHost();
        });
    });
    QNetworkAccessManager manager;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/x").arg(server.serverPort()));
    QNetworkReply* networkReply = manager.get(QNetworkRequest(url));
    ASSERT_TRUE(waitUntil([networkReply] { return networkReply->isFinished(); }));
    const HTTPURLResponse response = HTTPURLResponse::fromNetworkReply(*networkReply);
    EXPECT_EQ(response.statusCode, 404);
    EXPECT_EQ(response.URL, url);
    EXPECT_EQ(response.MIMEType, QStringLiteral("application/json"));
    EXPECT_EQ(response.textEncodingName, QStringLiteral("utf-8"));
    EXPECT_EQ(response.valueForHTTPHeaderField(QStringLiteral("Last-Modified")),
              QStringLiteral("Mon, 02 Jan 2006 15:04:05 GMT"));
    EXPECT_EQ(response.valueForHTTPHeaderField(QStringLiteral("x-dup")), QStringLiteral("a, b"));
    networkReply->deleteLater();
}

TEST(ResponseValidation, AcceptsEmpty204AndNonHTTPReplies)
{
    const auto raw = AFHTTPResponseSerializer::serializer();
    const HTTPURLResponse noContent(QUrl(QStringLiteral("http://h/")), 204, HTTPHeaderFields());
    std::optional<Error> error;
    EXPECT_TRUE(raw->validateResponse(&noContent, QByteArray(), &error));
    const QVariant object = raw->responseObjectForResponse(&noContent, QByteArray(), &error);
    EXPECT_EQ(object.metaType(), QMetaType::fromType<QByteArray>());
    EXPECT_TRUE(object.toByteArray().isEmpty());
    EXPECT_FALSE(error.has_value());

    EXPECT_TRUE(AFJSONResponseSerializer().validateResponse(nullptr, QByteArray("x"), &error));
    EXPECT_FALSE(error.has_value());
}

TEST(ResponseValidation, StatusErrorsCarryTheBodyAndStillParse)
{
    const HTTPURLResponse notFound = reply(404, QStringLiteral("application/json"));
    const QByteArray body(R"({"message":"gone"})");
    std::optional<Error> error;
    const QVariant object = AFJSONResponseSerializer().responseObjectForResponse(&notFound, body, &error);
    EXPECT_EQ(object.toMap().value(QStringLiteral("message")).toString(), QStringLiteral("gone"));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, QLatin1String(kResponseSerializationErrorDomain));
    EXPECT_EQ(error->code, -1011);
    EXPECT_EQ(error->localizedDescription(), QStringLiteral("Request failed: not found (404)"));
    EXPECT_EQ(error->userInfo.value(QLatin1String(kResponseSerializationErrorDataKey)).toByteArray(), body);
    EXPECT_EQ(error->userInfo.value(QLatin1String(Error::kURLErrorFailingURLErrorKey)).toUrl(), notFound.URL);
    EXPECT_EQ(error->userInfo.value(QLatin1String(kResponseSerializationErrorResponseKey)).value<HTTPURLResponse>().statusCode,
              404);

    // With nowhere to report the failure, a parsing serializer hands back nothing.
    EXPECT_FALSE(AFJSONResponseSerializer().responseObjectForResponse(&notFound, body, nullptr).isValid());
}

TEST(ResponseValidation, UnacceptableContentTypeAlwaysGivesItsError)
{
    const HTTPURLResponse html = reply(200, QStringLiteral("text/html"));
    std::optional<Error> error;
    EXPECT_FALSE(AFJSONResponseSerializer().responseObjectForResponse(&html, QByteArray("{}"), &error).isValid());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1016);
    EXPECT_EQ(error->localizedDescription(), QStringLiteral("Request failed: unacceptable content-type: text/html"));
    EXPECT_EQ(error->userInfo.value(QLatin1String(kResponseSerializationErrorDataKey)).toByteArray(), QByteArray("{}"));

    // An empty body still gets its error record, without a data entry.
    error.reset();
    EXPECT_FALSE(AFJSONResponseSerializer().responseObjectForResponse(&html, QByteArray(), &error).isValid());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1016);
    EXPECT_FALSE(error->userInfo.contains(QLatin1String(kResponseSerializationErrorDataKey)));

    // Status and type both wrong: the status error wraps the type error, and nothing is parsed.
    const HTTPURLResponse failedHtml = reply(500, QStringLiteral("text/html"));
    error.reset();
    EXPECT_FALSE(AFJSONResponseSerializer().responseObjectForResponse(&failedHtml, QByteArray("{}"), &error).isValid());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1011);
    ASSERT_TRUE(underlying(*error).has_value());
    EXPECT_EQ(underlying(*error)->code, -1016);
}

TEST(ErrorChain, AttachKeepsAnExistingUnderlyingErrorAndSearchesDeeply)
{
    const Error a(QLatin1String(kResponseSerializationErrorDomain), -1016);
    const Error b(QStringLiteral("other"), 1);
    EXPECT_EQ(AttachUnderlyingError(std::nullopt, b), b);
    EXPECT_EQ(AttachUnderlyingError(a, std::nullopt), a);
    const std::optional<Error> ab = AttachUnderlyingError(b, a);
    ASSERT_TRUE(ab.has_value());
    EXPECT_EQ(underlying(*ab), a);
    EXPECT_EQ(AttachUnderlyingError(ab, Error(QStringLiteral("third"), 3)), ab);

    const std::optional<Error> deep = AttachUnderlyingError(Error(QStringLiteral("top"), 0), ab);
    EXPECT_TRUE(ErrorChainHasCode(deep, -1016));
    EXPECT_FALSE(ErrorChainHasCode(deep, -1011));
    EXPECT_FALSE(ErrorChainHasCode(Error(QStringLiteral("other"), -1016), -1016));
    EXPECT_FALSE(ErrorChainHasCode(std::nullopt, -1016));
}

TEST(JSONResponseSerializer, EmptyAndSingleSpaceBodiesAreEmptyReplies)
{
    const HTTPURLResponse ok = reply(200, QStringLiteral("application/json"));
    AFJSONResponseSerializer serializer;
    for (const QByteArray& body : {QByteArray(), QByteArray(" ")}) {
        std::optional<Error> error;
        EXPECT_FALSE(serializer.responseObjectForResponse(&ok, body, &error).isValid());
        EXPECT_FALSE(error.has_value());
    }
    std::optional<Error> error;
    EXPECT_FALSE(serializer.responseObjectForResponse(&ok, QByteArray("  "), &error).isValid());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error->code, 3840);
}

TEST(JSONResponseSerializer, DecodesTheDeclaredCharset)
{
    AFJSONResponseSerializer serializer;
    const HTTPURLResponse gb = reply(200, QStringLiteral("application/json; charset=GB2312"));
    std::optional<Error> error;
    const QVariant object = serializer.responseObjectForResponse(&gb, QByteArray("{\"t\":\"\xD6\xD0\xCE\xC4\"}"), &error);
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(object.toMap().value(QStringLiteral("t")).toString(), QStringLiteral("\u4E2D\u6587"));

    // Bytes that are not text in the declared charset are an error, not an empty success.
    const HTTPURLResponse utf8 = reply(200, QStringLiteral("application/json; charset=utf-8"));
    EXPECT_FALSE(serializer.responseObjectForResponse(&utf8, QByteArray("[\"\xFF\"]"), &error).isValid());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1016);
    EXPECT_EQ(error->localizedDescription(), QStringLiteral("Data failed decoding as a UTF-8 string"));

    // A byte-order mark is not part of the text.
    error.reset();
    EXPECT_EQ(serializer.responseObjectForResponse(&utf8, QByteArray("\xEF\xBB\xBF[1]"), &error).toList(), QVariantList{1});
    EXPECT_FALSE(error.has_value());

    // A charset nobody knows falls back to the serializer's own.
    const HTTPURLResponse unknown = reply(200, QStringLiteral("application/json; charset=x-no-such-set"));
    error.reset();
    EXPECT_EQ(serializer.responseObjectForResponse(&unknown, QByteArray("[1]"), &error).toList(), QVariantList{1});
    EXPECT_FALSE(error.has_value());
}

TEST(JSONResponseSerializer, NullsAndFragments)
{
    const HTTPURLResponse ok = reply(200, QStringLiteral("text/json"));
    AFJSONResponseSerializer serializer;
    const QByteArray body(R"({"a":null,"b":[1,null],"c":{"d":null,"e":2}})");
    const QVariantMap kept = serializer.responseObjectForResponse(&ok, body, nullptr).toMap();
    EXPECT_EQ(kept.value(QStringLiteral("a")), nullObject());

    serializer.setRemovesKeysWithNullValues(true);
    const QVariantMap cleaned = serializer.responseObjectForResponse(&ok, body, nullptr).toMap();
    EXPECT_FALSE(cleaned.contains(QStringLiteral("a")));
    EXPECT_EQ(cleaned.value(QStringLiteral("b")).toList(), (QVariantList{1, nullObject()}));
    EXPECT_EQ(cleaned.value(QStringLiteral("c")).toMap(), (QVariantMap{{QStringLiteral("e"), 2}}));

    std::optional<Error> error;
    EXPECT_FALSE(serializer.responseObjectForResponse(&ok, QByteArray("42"), &error).isValid());
    EXPECT_TRUE(error.has_value());
    serializer.setReadingOptions(AFJSONResponseSerializer::kReadingAllowFragments);
    error.reset();
    EXPECT_EQ(serializer.responseObjectForResponse(&ok, QByteArray("42"), &error).toInt(), 42);
    EXPECT_FALSE(error.has_value());
}

TEST(CompoundResponseSerializer, TriesItsMembersInOrder)
{
    // A member of another kind is skipped, never asked.
    struct Foreign : AFURLResponseSerialization
    {
        mutable int calls = 0;
        QVariant responseObjectForResponse(const HTTPURLResponse*, const QByteArray&, ResponseErrorSlot) const override
        {
            ++calls;
            return QStringLiteral("foreign");
        }
    };
    auto foreign = std::make_shared<Foreign>();
    const auto compound = AFCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
        {foreign, AFJSONResponseSerializer::serializer(), AFHTTPResponseSerializer::serializer()});

    const HTTPURLResponse json = reply(200, QStringLiteral("application/json"));
    std::optional<Error> error;
    EXPECT_EQ(compound->responseObjectForResponse(&json, QByteArray("[1,2]"), &error).toList(), (QVariantList{1, 2}));
    EXPECT_FALSE(error.has_value());

    const HTTPURLResponse text = reply(200, QStringLiteral("text/plain"));
    const QVariant raw = compound->responseObjectForResponse(&text, QByteArray("plain"), &error);
    EXPECT_EQ(raw.toByteArray(), QByteArray("plain"));
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(foreign->calls, 0);

    // A status failure travels with the member's object.
    const HTTPURLResponse failed = reply(503, QStringLiteral("application/json"));
    EXPECT_EQ(compound->responseObjectForResponse(&failed, QByteArray("[3]"), &error).toList(), QVariantList{3});
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1011);
}

TEST(XMLParserResponseSerializer, HandsBackAnUnstartedParser)
{
    struct Names : XMLEventParserDelegate
    {
        QStringList names;
        void didStartElement(XMLEventParser&, const QString& name, const QString&, const QString&,
                             const QVariantMap&) override
        {
            names.append(name);
        }
    };
    const HTTPURLResponse xml = reply(200, QStringLiteral("text/xml"));
    std::optional<Error> error;
    const QVariant object = AFXMLParserResponseSerializer().responseObjectForResponse(&xml, QByteArray("<a><b/></a>"), &error);
    EXPECT_FALSE(error.has_value());
    const auto parser = object.value<std::shared_ptr<XMLEventParser>>();
    ASSERT_NE(parser, nullptr);
    Names names;
    parser->setDelegate(&names);
    EXPECT_TRUE(parser->parse());
    EXPECT_EQ(names.names, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));

    const HTTPURLResponse json = reply(200, QStringLiteral("application/json"));
    EXPECT_FALSE(AFXMLParserResponseSerializer().responseObjectForResponse(&json, QByteArray("<a/>"), &error).isValid());
    EXPECT_EQ(error->code, -1016);
}

TEST(XMLDocumentResponseSerializer, ParsesADocumentOrReportsWhyNot)
{
    const HTTPURLResponse xml = reply(200, QStringLiteral("application/xml"));
    std::optional<Error> error;
    const auto document = AFXMLDocumentResponseSerializer::serializer()
                              ->responseObjectForResponse(&xml, QByteArray("<feed><item>1</item></feed>"), &error)
                              .value<std::shared_ptr<DDXMLDocument>>();
    EXPECT_FALSE(error.has_value());
    ASSERT_NE(document, nullptr);
    ASSERT_NE(document->rootElement(), nullptr);
    EXPECT_EQ(document->rootElement()->name(), QStringLiteral("feed"));

    for (const QByteArray& bad : {QByteArray("<feed><item></feed>"), QByteArray()}) {
        error.reset();
        EXPECT_FALSE(AFXMLDocumentResponseSerializer().responseObjectForResponse(&xml, bad, &error).isValid());
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain, QStringLiteral("DDXMLErrorDomain"));
    }

    // A status failure keeps the parsed error page and wraps the document's error, if any.
    const HTTPURLResponse failed = reply(500, QStringLiteral("text/xml"));
    error.reset();
    EXPECT_TRUE(AFXMLDocumentResponseSerializer().responseObjectForResponse(&failed, QByteArray("<e/>"), &error).isValid());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1011);
    EXPECT_FALSE(AFXMLDocumentResponseSerializer().responseObjectForResponse(&failed, QByteArray("<e>"), &error).isValid());
    EXPECT_EQ(error->domain, QStringLiteral("DDXMLErrorDomain"));
    ASSERT_TRUE(underlying(*error).has_value());
    EXPECT_EQ(underlying(*error)->code, -1011);
}

TEST(ImageResponseSerializer, DecodesImagesAndReportsWhatItCannot)
{
    QImage source(3, 2, QImage::Format_ARGB32);
    source.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.save(&buffer, "PNG"));

    const HTTPURLResponse image = reply(200, QStringLiteral("image/png"));
    std::optional<Error> error;
    const QImage decoded = AFImageResponseSerializer().responseObjectForResponse(&image, png, &error).value<QImage>();
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(decoded.size(), QSize(3, 2));

    EXPECT_FALSE(AFImageResponseSerializer().responseObjectForResponse(&image, QByteArray("not an image"), &error).isValid());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1016);
}

TEST(PropertyListResponseSerializer, ReadsXMLPropertyLists)
{
    const QVariantMap value{{QStringLiteral("n"), 3},
                            {QStringLiteral("list"), QVariantList{true, 1.5, QStringLiteral("x&y")}},
                            {QStringLiteral("data"), QByteArray("\x01\x02", 2)}};
    const std::optional<QByteArray> xml = PropertyListSerialization::dataWithPropertyList(value, 100, 0, nullptr);
    ASSERT_TRUE(xml.has_value());

    const HTTPURLResponse plist = reply(200, QStringLiteral("application/x-plist"));
    std::optional<Error> error;
    const QVariantMap read = AFPropertyListResponseSerializer().responseObjectForResponse(&plist, *xml, &error).toMap();
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(read.value(QStringLiteral("n")).toLongLong(), 3);
    EXPECT_EQ(read.value(QStringLiteral("list")).toList(), (QVariantList{true, 1.5, QStringLiteral("x&y")}));
    EXPECT_EQ(read.value(QStringLiteral("data")).toByteArray(), QByteArray("\x01\x02", 2));

    for (const QByteArray& bad : {QByteArray(), QByteArray("<plist><dict><key>a</key></dict></plist>"),
                                  QByteArray("<plist><integer>x</integer></plist>"), QByteArray("bplist00")}) {
        error.reset();
        EXPECT_FALSE(AFPropertyListResponseSerializer().responseObjectForResponse(&plist, bad, &error).isValid());
        ASSERT_TRUE(error.has_value()) << bad.toStdString();
        EXPECT_EQ(error->code, PropertyListSerialization::kReadCorruptError);
    }
}
