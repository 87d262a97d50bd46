#pragma once

#include "networking/URLRequest.h"
#include "platform/Error.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class AFMultipartFormData;

// Error slots: a serializer stores its error in *error when error is not null. A slot may already
// hold an error; the operations say what they do with it.
using ErrorSlot = std::optional<Error>*;

// Builds a request from a request and parameters.
class AFURLRequestSerialization
{
public:
    virtual ~AFURLRequestSerialization() = default;

    // A serialized copy of the request, or empty with the error set.
    virtual std::optional<URLRequest> requestBySerializingRequest(const URLRequest& request, const QVariant& parameters,
                                                                  ErrorSlot error) const = 0;

    // A new serializer of the same class with the same settings; null from a serializer that
    // cannot be copied (one of the caller's own that does not say how).
    virtual std::shared_ptr<AFURLRequestSerialization> copy() const { return nullptr; }
    // Keyed archiving: the class name under "class", each archived setting under its own name;
    // empty from a serializer that cannot be archived.
    virtual QVariantMap encodeWithCoder() const { return {}; }
    static bool supportsSecureCoding() { return true; }
};

// One field of a query string with its value, as the flattening makes them.
struct AFQueryStringPair
{
    QVariant field;
    QVariant value;

    // "field=value" with both escaped; the escaped field alone when the value is absent or null.
    QString URLEncodedStringValue() const;
};

// The text a parameter key or value stands for in a query: strings as they are, numbers in
// decimal, booleans as 1 and 0.
QString QueryValueDescription(const QVariant& value);

// Flattens nested parameters into pairs: a dictionary's keys in ordinal order ("key[inner]"), an
// array's elements in their order ("key[]"), anything else one pair. An empty container gives no
// pair; a key whose value is absent (an invalid QVariant) is skipped; a null value (the null
// object, QVariant::fromValue(nullptr)) makes a pair of its own.
QList<AFQueryStringPair> FlattenQueryPairs(const QVariant& key, const QVariant& value);

// Percent-escapes everything but ASCII letters and digits and "-._~/?", from the UTF-8 bytes with
// upper-case hex digits; a space becomes %20.
QString EscapeQueryText(const QString& text);

// The default query string: the flattened pairs, each "field=value", joined with "&".
QString DefaultQueryString(const QVariant& parameters);

// The form/query serializer: default headers, request settings, and the parameters in the URL's
// query (GET, HEAD, DELETE) or in a form body.
class AFHTTPRequestSerializer : public AFURLRequestSerialization
{
public:
    // Returns the query text, or a null text for none. An error stored in the slot stops the
    // request from being built.
    using QueryStringSerializationBlock =
        std::function<QString(const URLRequest& request, const QVariant& parameters, ErrorSlot error)>;
    using ConstructingBodyBlock = std::function<void(AFMultipartFormData& formData)>;
    using WriteCompletionHandler = std::function<void(const std::optional<Error>& error)>;

    enum QueryStringSerializationStyle : unsigned { AFHTTPRequestQueryStringDefaultStyle = 0 };

    static std::shared_ptr<AFHTTPRequestSerializer> serializer();
    AFHTTPRequestSerializer();

    // Where the Accept-Language header of new serializers takes the user's languages from, in
    // order of preference. An empty function restores the default (the system locale's UI
    // languages).
    static void setPreferredLanguagesProvider(std::function<QStringList()> provider);
    static QStringList preferredLanguages();

    // IANA name of the character set of form bodies and multipart form values ("utf-8").
    const QString& stringEncoding() const { return m_stringEncoding; }
    void setStringEncoding(const QString& charsetName) { m_stringEncoding = charsetName; }

    // Request settings: a new request receives only those that have been set.
    void setAllowsCellularAccess(bool on) { m_settings.allowsCellularAccess = on; }
    void setCachePolicy(URLRequestCachePolicy policy) { m_settings.cachePolicy = policy; }
    void setHTTPShouldHandleCookies(bool on) { m_settings.HTTPShouldHandleCookies = on; }
    void setHTTPShouldUsePipelining(bool on) { m_settings.HTTPShouldUsePipelining = on; }
    void setNetworkServiceType(unsigned type) { m_settings.networkServiceType = type; }
    void setTimeoutInterval(double seconds) { m_settings.timeoutInterval = seconds; }
    // The settings as a request carries them (empty where not set).
    const URLRequestSettings& requestSettings() const { return m_settings; }

    // Methods whose parameters go into the URL ("GET", "HEAD", "DELETE").
    const QSet<QString>& HTTPMethodsEncodingParametersInURI() const { return m_methodsInURI; }
    void setHTTPMethodsEncodingParametersInURI(QSet<QString> methods) { m_methodsInURI = std::move(methods); }

    // Default headers, set on every request that does not set the field itself.
    HTTPHeaderFields HTTPRequestHeaders() const { return m_headers; }
    void setValue(const QString& value, const QString& field) { m_headers.setValue(value, field); }
    QString valueForHTTPHeaderField(const QString& field) const { return m_headers.value(field); }
    void setAuthorizationHeaderFieldWithUsername(const QString& username, const QString& password);
    void clearAuthorizationHeader();

    unsigned queryStringSerializationStyle() const { return m_queryStyle; }
    void setQueryStringSerializationWithStyle(unsigned style);
    void setQueryStringSerializationWithBlock(QueryStringSerializationBlock block);

    // A request for the URL string with the method, the settings that have been set, and the
    // parameters (an invalid QVariant for none). A URL string that does not parse gives no
    // request and an error (NSURLErrorDomain, -1002).
    std::optional<URLRequest> requestWithMethod(const QString& method, const QString& URLString,
                                                const QVariant& parameters, ErrorSlot error) const;

    std::optional<URLRequest> requestBySerializingRequest(const URLRequest& request, const QVariant& parameters,
                                                          ErrorSlot error) const override;

    // A new serializer of the same class made afresh (so its own defaults), given the default
    // headers, the query-string style and block, and the subclass's writing options. Its other
    // settings keep their defaults.
    std::shared_ptr<AFURLRequestSerialization> copy() const override;
    // The default headers under "mutableHTTPRequestHeaders", the query-string style under
    // "queryStringSerializationStyle" (the block is not archived); the subclasses add theirs.
    QVariantMap encodeWithCoder() const override;
    // The serializer an archive describes, with fresh defaults for what it does not hold; null
    // for an archive of no serializer class.
    static std::shared_ptr<AFHTTPRequestSerializer> initWithCoder(const QVariantMap& coder);

    // A "multipart/form-data" request: the parameters become form fields, then the block appends
    // parts. Without any part the request carries no body and no multipart headers.
    std::optional<URLRequest> multipartFormRequestWithMethod(const QString& method, const QString& URLString,
                                                             const QVariant& parameters,
                                                             const ConstructingBodyBlock& block, ErrorSlot error) const;

    // Writes the multipart request's body to the file on a pool thread and reports on the main
    // thread (no error on success); returns at once a copy of the request without its body.
    URLRequest requestWithMultipartFormRequest(const URLRequest& request, const QUrl& fileURL,
                                               WriteCompletionHandler completionHandler) const;

protected:
    using BodyWriter = std::function<QByteArray(const QVariant& parameters, ErrorSlot error)>;
    // The path of serializers that write the whole parameter object as the body: URI methods go
    // the form/query way; others get the default headers and, with parameters, the content type
    // (unless the request sets one) and the writer's bytes.
    std::optional<URLRequest> requestWithBody(const URLRequest& request, const QVariant& parameters, ErrorSlot error,
                                              const QString& contentType, const BodyWriter& writer) const;
    // A copy of the request with every default header the request does not set itself.
    URLRequest withDefaultHeaders(const URLRequest& request) const;
    bool encodesParametersInURI(const URLRequest& request) const;

private:
    QString m_stringEncoding;
    URLRequestSettings m_settings;
    QSet<QString> m_methodsInURI;
    HTTPHeaderFields m_headers;
    unsigned m_queryStyle = AFHTTPRequestQueryStringDefaultStyle;
    QueryStringSerializationBlock m_queryBlock;
};

// Writes the parameters of body methods as JSON ("application/json").
class AFJSONRequestSerializer : public AFHTTPRequestSerializer
{
public:
    // Writing options: 1 indents the output.
    static constexpr unsigned kWritingPrettyPrinted = 1;

    static std::shared_ptr<AFJSONRequestSerializer> serializer();
    static std::shared_ptr<AFJSONRequestSerializer> serializerWithWritingOptions(unsigned writingOptions);

    unsigned writingOptions() const { return m_writingOptions; }
    void setWritingOptions(unsigned options) { m_writingOptions = options; }

    // Parameters that JSON cannot hold leave the body empty and set the error; the request is
    // still returned.
    std::optional<URLRequest> requestBySerializingRequest(const URLRequest& request, const QVariant& parameters,
                                                          ErrorSlot error) const override;
    // Adds "writingOptions".
    QVariantMap encodeWithCoder() const override;

private:
    unsigned m_writingOptions = 0;
};

// Writes the parameters of body methods as an XML property list ("application/x-plist").
class AFPropertyListRequestSerializer : public AFHTTPRequestSerializer
{
public:
    static std::shared_ptr<AFPropertyListRequestSerializer> serializer();
    static std::shared_ptr<AFPropertyListRequestSerializer> serializerWithFormat(unsigned format, unsigned writeOptions);

    unsigned format() const { return m_format; }
    void setFormat(unsigned format) { m_format = format; }
    unsigned writeOptions() const { return m_writeOptions; }
    void setWriteOptions(unsigned options) { m_writeOptions = options; }

    std::optional<URLRequest> requestBySerializingRequest(const URLRequest& request, const QVariant& parameters,
                                                          ErrorSlot error) const override;
    // Adds "format" and "writeOptions".
    QVariantMap encodeWithCoder() const override;

private:
    unsigned m_format = 100;
    unsigned m_writeOptions = 0;
};
