#include "networking/AFURLResponseSerialization.h"

#include "foundation/xml/XMLEventParser.h"
#include "networking/PropertyListSerialization.h"
#include "networking/TextEncoding.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

std::optional<Error> underlyingErrorOf(const Error& error)
{
    const QVariant underlying = error.userInfo.value(QLatin1String(Error::kUnderlyingErrorKey));
    if (underlying.metaType() == QMetaType::fromType<Error>())
        return underlying.value<Error>();
    return std::nullopt;
}

QVariantMap responseErrorInfo(const HTTPURLResponse& response, const QByteArray& data, const QString& message)
{
    QVariantMap info;
    info.insert(QLatin1String(Error::kLocalizedDescriptionKey), message);
    if (!response.URL.isEmpty())
        info.insert(QLatin1String(Error::kURLErrorFailingURLErrorKey), response.URL);
    info.insert(QLatin1String(kResponseSerializationErrorResponseKey), QVariant::fromValue(response));
    if (!data.isEmpty())
        info.insert(QLatin1String(kResponseSerializationErrorDataKey), data);
    return info;
}

QSet<int> successStatusCodes()
{
    // Built once: every serializer starts with it, and a copy only shares it.
    static const QSet<int> codes = [] {
        QSet<int> built;
        for (int code = 200; code < 300; ++code)
            built.insert(code);
        return built;
    }();
    return codes;
}

Error jsonReadError(const QJsonParseError& parseError)
{
    return Error(QLatin1String(Error::kCocoaErrorDomain), 3840,
                 {{QLatin1String(Error::kLocalizedDescriptionKey),
                   QStringLiteral("The data couldn\u2019t be read because it isn\u2019t in the correct format.")},
                  {QStringLiteral("NSDebugDescription"),
                   QStringLiteral("%1 around character %2.").arg(parseError.errorString()).arg(parseError.offset)}});
}

QVariant parseJSON(const QByteArray& utf8, unsigned readingOptions, std::optional<Error>* error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &parseError);
    if (parseError.error == QJsonParseError::NoError)
        return document.toVariant();
    if ((readingOptions & AFJSONResponseSerializer::kReadingAllowFragments) != 0) {
        // A lone value read as the only element of an array.
        QJsonParseError wrappedError{};
        const QJsonDocument wrapped = QJsonDocument::fromJson('[' + utf8 + ']', &wrappedError);
        if (wrappedError.error == QJsonParseError::NoError && wrapped.array().size() == 1)
            return wrapped.array().first().toVariant();
    }
    *error = jsonReadError(parseError);
    return QVariant();
}

}  // namespace

// ---- Error helpers ----

std::optional<Error> AttachUnderlyingError(const std::optional<Error>& error, const std::optional<Error>& underlying)
{
    if (!error.has_value())
        return underlying;
    if (!underlying.has_value())
        return error;
    if (error->userInfo.contains(QLatin1String(Error::kUnderlyingErrorKey)))
        return error;
    Error attached = *error;
    attached.userInfo.insert(QLatin1String(Error::kUnderlyingErrorKey), QVariant::fromValue(*underlying));
    return attached;
}

bool ErrorChainHasCode(const std::optional<Error>& error, qint64 code)
{
    std::optional<Error> current = error;
    while (current.has_value()) {
        if (current->domain == QLatin1String(kResponseSerializationErrorDomain) && current->code == code)
            return true;
        current = underlyingErrorOf(*current);
    }
    return false;
}

QVariant RemoveNullValues(const QVariant& object, unsigned readingOptions)
{
    const int id = object.metaType().id();
    if (id == QMetaType::QVariantList) {
        QVariantList cleaned;
        for (const QVariant& element : object.toList())
            cleaned.append(RemoveNullValues(element, readingOptions));
        return cleaned;
    }
    if (id == QMetaType::QVariantMap) {
        QVariantMap cleaned;
        const QVariantMap map = object.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (it.value().metaType().id() == QMetaType::Nullptr)
                continue;
            cleaned.insert(it.key(), RemoveNullValues(it.value(), readingOptions));
        }
        return cleaned;
    }
    return object;
}

// ---- AFHTTPResponseSerializer ----

std::shared_ptr<AFHTTPResponseSerializer> AFHTTPResponseSerializer::serializer()
{
    return std::make_shared<AFHTTPResponseSerializer>();
}

AFHTTPResponseSerializer::AFHTTPResponseSerializer()
    : m_stringEncoding(TextEncoding::kUTF8), m_statusCodes(successStatusCodes())
{
}

bool AFHTTPResponseSerializer::validateResponse(const HTTPURLResponse* response, const QByteArray& data,
                                                ResponseErrorSlot error) const
{
    if (response == nullptr)
        return true;
    bool valid = true;
    std::optional<Error> made;
    // Every failed check makes its error, so that a rejected reply never reaches a failure
    // path without one.
    if (m_contentTypes.has_value() && !m_contentTypes->contains(response->MIMEType)) {
        valid = false;
        const QString type = response->MIMEType.isNull() ? QStringLiteral("(null)") : response->MIMEType;
        made = Error(QLatin1String(kResponseSerializationErrorDomain), kErrorCannotDecodeContentData,
                     responseErrorInfo(*response, data, QStringLiteral("Request failed: unacceptable content-type: %1").arg(type)));
    }
    if (m_statusCodes.has_value() && !m_statusCodes->contains(response->statusCode)) {
        valid = false;
        const QString message = QStringLiteral("Request failed: %1 (%2)")
                                    .arg(HTTPURLResponse::localizedStringForStatusCode(response->statusCode))
                                    .arg(response->statusCode);
        const Error statusError(QLatin1String(kResponseSerializationErrorDomain), kErrorBadServerResponse,
                                responseErrorInfo(*response, data, message));
        made = AttachUnderlyingError(statusError, made);
    }
    if (!valid && error != nullptr)
        *error = made;
    return valid;
}

bool AFHTTPResponseSerializer::shouldParse(const HTTPURLResponse* response, const QByteArray& data,
                                           ResponseErrorSlot error) const
{
    if (validateResponse(response, data, error))
        return true;
    // A status failure alone still parses the body: an error page may carry the server's reason.
    return error != nullptr && !ErrorChainHasCode(*error, kErrorCannotDecodeContentData);
}

Error AFHTTPResponseSerializer::decodingError(const HTTPURLResponse* response, const QByteArray& data,
                                              const QString& message, const QString& failureReason)
{
    QVariantMap info;
    if (response != nullptr) {
        info = responseErrorInfo(*response, data, message);
    } else {
        info.insert(QLatin1String(Error::kLocalizedDescriptionKey), message);
        if (!data.isEmpty())
            info.insert(QLatin1String(kResponseSerializationErrorDataKey), data);
    }
    if (!failureReason.isNull())
        info.insert(QLatin1String(Error::kLocalizedFailureReasonKey), failureReason);
    return Error(QLatin1String(kResponseSerializationErrorDomain), kErrorCannotDecodeContentData, info);
}

QVariant AFHTTPResponseSerializer::responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                                             ResponseErrorSlot error) const
{
    validateResponse(response, data, error);
    return QVariant(data.isNull() ? QByteArray("") : data);
}

// ---- AFJSONResponseSerializer ----

std::shared_ptr<AFJSONResponseSerializer> AFJSONResponseSerializer::serializer()
{
    return serializerWithReadingOptions(0);
}

std::shared_ptr<AFJSONResponseSerializer> AFJSONResponseSerializer::serializerWithReadingOptions(unsigned readingOptions)
{
    auto serializer = std::make_shared<AFJSONResponseSerializer>();
    serializer->setReadingOptions(readingOptions);
    return serializer;
}

AFJSONResponseSerializer::AFJSONResponseSerializer()
{
    // Shared by every JSON serializer (each session manager makes one).
    static const QSet<QString> types{QStringLiteral("application/json"), QStringLiteral("text/json"),
                                     QStringLiteral("text/javascript")};
    setAcceptableContentTypes(types);
}

QVariant AFJSONResponseSerializer::responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                                             ResponseErrorSlot error) const
{
    if (!shouldParse(response, data, error))
        return QVariant();

    QString charset = stringEncoding();
    if (response != nullptr && !response->textEncodingName.isEmpty() && TextEncoding::isKnown(response->textEncodingName))
        charset = response->textEncodingName;

    std::optional<Error> serializationError;
    QVariant object;
    const std::optional<QString> text = TextEncoding::decode(data, charset);
    if (!text.has_value()) {
        // Bytes that are not text in their declared charset are an error, not an empty reply.
        const QString label = TextEncoding::isUTF8(charset) ? QStringLiteral("UTF-8") : charset;
        serializationError = decodingError(response, data, QStringLiteral("Data failed decoding as a %1 string").arg(label));
    } else if (*text != QLatin1String(" ")) {
        const std::optional<QByteArray> utf8 = TextEncoding::encode(*text, TextEncoding::kUTF8);
        if (!utf8.has_value()) {
            serializationError = decodingError(response, data, QStringLiteral("Data failed decoding as a UTF-8 string"),
                                               QStringLiteral("Could not decode string: %1").arg(*text));
        } else if (utf8->isEmpty()) {
            return QVariant();
        } else {
            object = parseJSON(*utf8, m_readingOptions, &serializationError);
        }
    }

    if (m_removesKeysWithNullValues && object.isValid())
        object = RemoveNullValues(object, m_readingOptions);
    if (error != nullptr)
        *error = AttachUnderlyingError(serializationError, *error);
    return object;
}

// ---- AFXMLParserResponseSerializer ----

std::shared_ptr<AFXMLParserResponseSerializer> AFXMLParserResponseSerializer::serializer()
{
    return std::make_shared<AFXMLParserResponseSerializer>();
}

AFXMLParserResponseSerializer::AFXMLParserResponseSerializer()
{
    setAcceptableContentTypes(QSet<QString>{QStringLiteral("application/xml"), QStringLiteral("text/xml")});
}

QVariant AFXMLParserResponseSerializer::responseObjectForResponse(const HTTPURLResponse* response,
                                                                  const QByteArray& data, ResponseErrorSlot error) const
{
    if (!shouldParse(response, data, error))
        return QVariant();
    return QVariant::fromValue(std::make_shared<XMLEventParser>(data));
}

// ---- AFXMLDocumentResponseSerializer ----

std::shared_ptr<AFXMLDocumentResponseSerializer> AFXMLDocumentResponseSerializer::serializer()
{
    return serializerWithXMLDocumentOptions(0);
}

std::shared_ptr<AFXMLDocumentResponseSerializer> AFXMLDocumentResponseSerializer::serializerWithXMLDocumentOptions(
    unsigned options)
{
    auto serializer = std::make_shared<AFXMLDocumentResponseSerializer>();
    serializer->setOptions(options);
    return serializer;
}

AFXMLDocumentResponseSerializer::AFXMLDocumentResponseSerializer()
{
    setAcceptableContentTypes(QSet<QString>{QStringLiteral("application/xml"), QStringLiteral("text/xml")});
}

QVariant AFXMLDocumentResponseSerializer::responseObjectForResponse(const HTTPURLResponse* response,
                                                                    const QByteArray& data,
                                                                    ResponseErrorSlot error) const
{
    if (!shouldParse(response, data, error))
        return QVariant();
    Error documentError;
    std::shared_ptr<DDXMLDocument> document = DDXMLDocument::initWithData(data, m_options, &documentError);
    if (error != nullptr)
        *error = AttachUnderlyingError(document == nullptr ? std::optional<Error>(documentError) : std::nullopt, *error);
    if (document == nullptr)
        return QVariant();
    return QVariant::fromValue(document);
}

// ---- AFPropertyListResponseSerializer ----

std::shared_ptr<AFPropertyListResponseSerializer> AFPropertyListResponseSerializer::serializer()
{
    return serializerWithFormat(PropertyListSerialization::XMLFormat_v1_0, 0);
}

std::shared_ptr<AFPropertyListResponseSerializer> AFPropertyListResponseSerializer::serializerWithFormat(unsigned format,
                                                                                                         unsigned readOptions)
{
    auto serializer = std::make_shared<AFPropertyListResponseSerializer>();
    serializer->setFormat(format);
    serializer->setReadOptions(readOptions);
    return serializer;
}

AFPropertyListResponseSerializer::AFPropertyListResponseSerializer()
{
    setAcceptableContentTypes(QSet<QString>{QStringLiteral("application/x-plist")});
}

QVariant AFPropertyListResponseSerializer::responseObjectForResponse(const HTTPURLResponse* response,
                                                                     const QByteArray& data,
                                                                     ResponseErrorSlot error) const
{
    if (!shouldParse(response, data, error))
        return QVariant();
    std::optional<Error> readError;
    const std::optional<QVariant> plist = PropertyListSerialization::propertyListWithData(data, m_readOptions, &readError);
    if (error != nullptr)
        *error = AttachUnderlyingError(readError, *error);
    return plist.value_or(QVariant());
}

// ---- AFImageResponseSerializer ----

std::shared_ptr<AFImageResponseSerializer> AFImageResponseSerializer::serializer()
{
    return std::make_shared<AFImageResponseSerializer>();
}

AFImageResponseSerializer::AFImageResponseSerializer()
{
    setAcceptableContentTypes(QSet<QString>{
        QStringLiteral("image/tiff"), QStringLiteral("image/jpeg"), QStringLiteral("image/gif"),
        QStringLiteral("image/png"), QStringLiteral("image/ico"), QStringLiteral("image/x-icon"),
        QStringLiteral("image/bmp"), QStringLiteral("image/x-bmp"), QStringLiteral("image/x-xbitmap"),
        QStringLiteral("image/x-win-bitmap")});
}

QVariant AFImageResponseSerializer::responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                                              ResponseErrorSlot error) const
{
    if (!shouldParse(response, data, error))
        return QVariant();
    QImage image;
    if (!image.loadFromData(data)) {
        if (error != nullptr)
            *error = AttachUnderlyingError(decodingError(response, data, QStringLiteral("Data failed decoding as an image")),
                                           *error);
        return QVariant();
    }
    return QVariant(image);
}

// ---- AFCompoundResponseSerializer ----

std::shared_ptr<AFCompoundResponseSerializer> AFCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
    Serializers serializers)
{
    auto compound = std::make_shared<AFCompoundResponseSerializer>();
    compound->setResponseSerializers(std::move(serializers));
    return compound;
}

QVariant AFCompoundResponseSerializer::responseObjectForResponse(const HTTPURLResponse* response,
                                                                 const QByteArray& data, ResponseErrorSlot error) const
{
    for (const auto& member : m_serializers) {
        const auto* serializer = dynamic_cast<const AFHTTPResponseSerializer*>(member.get());
        if (serializer == nullptr)
            continue;
        std::optional<Error> memberError;
        const QVariant object = serializer->responseObjectForResponse(response, data, &memberError);
        if (object.isValid()) {
            if (error != nullptr)
                *error = AttachUnderlyingError(memberError, *error);
            return object;
        }
    }
    return AFHTTPResponseSerializer::responseObjectForResponse(response, data, error);
}
