#pragma once

#include "Library/KissXML/DDXMLDocument.h"
#include "networking/HTTPURLResponse.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

// Domain and user-info keys of the response serializers' errors.
inline constexpr auto kResponseSerializationErrorDomain = "com.alamofire.error.serialization.response";
inline constexpr auto kResponseSerializationErrorResponseKey = "com.alamofire.serialization.response.error.response";
inline constexpr auto kResponseSerializationErrorDataKey = "com.alamofire.serialization.response.error.data";
// The two codes they use (the URL-loading codes of the same meaning).
inline constexpr qint64 kErrorBadServerResponse = -1011;
inline constexpr qint64 kErrorCannotDecodeContentData = -1016;

// Error slots as the serializers use them: null when the caller wants no error; otherwise it may
// already hold an error, which the serializers keep as the underlying error of their own.
using ResponseErrorSlot = std::optional<Error>*;

// The error when error is empty, the underlying one when it is empty; otherwise the error with
// the underlying error attached, unless it already has one.
std::optional<Error> AttachUnderlyingError(const std::optional<Error>& error, const std::optional<Error>& underlying);
// True when the error, or an error it wraps (at any depth), is of the response serializers'
// domain with the code.
bool ErrorChainHasCode(const std::optional<Error>& error, qint64 code);
// The object without the keys of dictionaries whose value is null, at every depth (null
// elements of arrays stay). The options do not matter to Qt's containers.
QVariant RemoveNullValues(const QVariant& object, unsigned readingOptions);

// Checks a finished response and turns its body into the response object.
class AFURLResponseSerialization
{
public:
    virtual ~AFURLResponseSerialization() = default;

    // The response object (an invalid QVariant for none). response is null when the reply is not
    // an HTTP reply. Safe to call from several threads at once.
    virtual QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                               ResponseErrorSlot error) const = 0;

    // A new serializer of the same class with the same settings; null from a serializer that
    // cannot be copied (one of the caller's own that does not say how).
    virtual std::shared_ptr<AFURLResponseSerialization> copy() const { return nullptr; }
    // Keyed archiving: the class name under "class", each archived setting under its own name;
    // empty from a serializer that cannot be archived.
    virtual QVariantMap encodeWithCoder() const { return {}; }
    static bool supportsSecureCoding() { return true; }
};

// Validates status and content type and hands back the body bytes (QByteArray; empty, never
// invalid, for an empty body).
class AFHTTPResponseSerializer : public AFURLResponseSerialization
{
public:
    static std::shared_ptr<AFHTTPResponseSerializer> serializer();
    AFHTTPResponseSerializer();

    const QString& stringEncoding() const { return m_stringEncoding; }
    void setStringEncoding(const QString& charsetName) { m_stringEncoding = charsetName; }
    // Empty means any status code (default 200 to 299).
    const std::optional<QSet<int>>& acceptableStatusCodes() const { return m_statusCodes; }
    void setAcceptableStatusCodes(std::optional<QSet<int>> codes) { m_statusCodes = std::move(codes); }
    // Empty means any MIME type (the default here).
    const std::optional<QSet<QString>>& acceptableContentTypes() const { return m_contentTypes; }
    void setAcceptableContentTypes(std::optional<QSet<QString>> types) { m_contentTypes = std::move(types); }

    // True when the response is acceptable (a null response always is). Otherwise the slot
    // receives the error: -1011 for the status, -1016 for the content type (under the status
    // error when both fail), with the body attached when there is one.
    bool validateResponse(const HTTPURLResponse* response, const QByteArray& data, ResponseErrorSlot error) const;

    QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                       ResponseErrorSlot error) const override;

    // A new serializer of the same class made afresh, given the status codes, the content types
    // and the subclass's own settings (the string encoding keeps its default).
    std::shared_ptr<AFURLResponseSerialization> copy() const override;
    // "acceptableStatusCodes" and "acceptableContentTypes" (absent when unset); the subclasses
    // add theirs.
    QVariantMap encodeWithCoder() const override;
    // The serializer an archive describes; null for an archive of no serializer class.
    static std::shared_ptr<AFHTTPResponseSerializer> initWithCoder(const QVariantMap& coder);

protected:
    // The first step of every parsing serializer: false when the body is not to be parsed
    // (invalid and nowhere to report it, or an unacceptable content type).
    bool shouldParse(const HTTPURLResponse* response, const QByteArray& data, ResponseErrorSlot error) const;
    // A -1016 error of this domain for a body that could not be decoded.
    static Error decodingError(const HTTPURLResponse* response, const QByteArray& data, const QString& message,
                               const QString& failureReason = QString());

private:
    QString m_stringEncoding;
    std::optional<QSet<int>> m_statusCodes;
    std::optional<QSet<QString>> m_contentTypes;
};

// JSON bodies as QVariantMap / QVariantList trees (JSON null as QVariant::fromValue(nullptr)).
// The body is decoded with the charset the response declares (else stringEncoding). An empty
// body or one of exactly one space is an empty reply: no object and no error of its own.
class AFJSONResponseSerializer : public AFHTTPResponseSerializer
{
public:
    // Reading options: 4 also accepts a top-level value that is not an array or object.
    static constexpr unsigned kReadingAllowFragments = 4;

    static std::shared_ptr<AFJSONResponseSerializer> serializer();
    static std::shared_ptr<AFJSONResponseSerializer> serializerWithReadingOptions(unsigned readingOptions);
    AFJSONResponseSerializer();

    unsigned readingOptions() const { return m_readingOptions; }
    void setReadingOptions(unsigned options) { m_readingOptions = options; }
    bool removesKeysWithNullValues() const { return m_removesKeysWithNullValues; }
    void setRemovesKeysWithNullValues(bool on) { m_removesKeysWithNullValues = on; }

    QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                       ResponseErrorSlot error) const override;

    // Adds "readingOptions" and "removesKeysWithNullValues".
    QVariantMap encodeWithCoder() const override;

private:
    unsigned m_readingOptions = 0;
    bool m_removesKeysWithNullValues = false;
};

// An unstarted event parser over the body (QVariant holding std::shared_ptr<XMLEventParser>).
class AFXMLParserResponseSerializer : public AFHTTPResponseSerializer
{
public:
    static std::shared_ptr<AFXMLParserResponseSerializer> serializer();
    AFXMLParserResponseSerializer();

    QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                       ResponseErrorSlot error) const override;
    QVariantMap encodeWithCoder() const override;
};

// A document tree of the body (QVariant holding std::shared_ptr<DDXMLDocument>). A body that is
// empty or not well-formed gives no document and the document's error.
class AFXMLDocumentResponseSerializer : public AFHTTPResponseSerializer
{
public:
    static std::shared_ptr<AFXMLDocumentResponseSerializer> serializer();
    static std::shared_ptr<AFXMLDocumentResponseSerializer> serializerWithXMLDocumentOptions(unsigned options);
    AFXMLDocumentResponseSerializer();

    unsigned options() const { return m_options; }
    void setOptions(unsigned options) { m_options = options; }

    QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                       ResponseErrorSlot error) const override;

    // Adds "options".
    QVariantMap encodeWithCoder() const override;

private:
    unsigned m_options = 0;
};

// XML property lists as QVariant trees.
class AFPropertyListResponseSerializer : public AFHTTPResponseSerializer
{
public:
    static std::shared_ptr<AFPropertyListResponseSerializer> serializer();
    static std::shared_ptr<AFPropertyListResponseSerializer> serializerWithFormat(unsigned format, unsigned readOptions);
    AFPropertyListResponseSerializer();

    unsigned format() const { return m_format; }
    void setFormat(unsigned format) { m_format = format; }
    unsigned readOptions() const { return m_readOptions; }
    void setReadOptions(unsigned options) { m_readOptions = options; }

    QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                       ResponseErrorSlot error) const override;

    // Adds "format" and "readOptions".
    QVariantMap encodeWithCoder() const override;

private:
    unsigned m_format = 100;
    unsigned m_readOptions = 0;
};

// Images as QImage, one pixel to one point. A body no image reader can decode gives no object
// and a -1016 error.
class AFImageResponseSerializer : public AFHTTPResponseSerializer
{
public:
    static std::shared_ptr<AFImageResponseSerializer> serializer();
    AFImageResponseSerializer();

    QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                       ResponseErrorSlot error) const override;
    QVariantMap encodeWithCoder() const override;
};

// Tries its serializers in order; the first object wins. Members that are not
// AFHTTPResponseSerializer (or a subclass) are skipped. Without any object, it behaves as the
// raw serializer with its own settings.
class AFCompoundResponseSerializer : public AFHTTPResponseSerializer
{
public:
    using Serializers = QList<std::shared_ptr<AFURLResponseSerialization>>;

    static std::shared_ptr<AFCompoundResponseSerializer> compoundSerializerWithResponseSerializers(Serializers serializers);

    const Serializers& responseSerializers() const { return m_serializers; }
    void setResponseSerializers(Serializers serializers) { m_serializers = std::move(serializers); }

    QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                       ResponseErrorSlot error) const override;

    // Adds "responseSerializers", the archive of each.
    QVariantMap encodeWithCoder() const override;

private:
    Serializers m_serializers;
};

// The XML document serializer's object travels in a QVariant.
Q_DECLARE_METATYPE(std::shared_ptr<DDXMLDocument>)
