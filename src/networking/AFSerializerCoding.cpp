// Copying and keyed archiving of the request and response serializers. An archive is a map of
// plain values: the class name under "class" and each setting under its own name, so that it
// holds no object of code that reading it would have to trust.
#include "networking/AFURLRequestSerialization.h"
#include "networking/AFURLResponseSerialization.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr auto kClass = "class";
constexpr auto kHeaders = "mutableHTTPRequestHeaders";
constexpr auto kQueryStyle = "queryStringSerializationStyle";
constexpr auto kWritingOptions = "writingOptions";
constexpr auto kFormat = "format";
constexpr auto kWriteOptions = "writeOptions";
constexpr auto kStatusCodes = "acceptableStatusCodes";
constexpr auto kContentTypes = "acceptableContentTypes";
constexpr auto kReadingOptions = "readingOptions";
constexpr auto kRemovesNulls = "removesKeysWithNullValues";
constexpr auto kOptions = "options";
constexpr auto kReadOptions = "readOptions";
constexpr auto kSerializers = "responseSerializers";

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

QVariantMap withClass(QVariantMap coder, const char* className)
{
    coder.insert(key(kClass), QString::fromLatin1(className));
    return coder;
}

unsigned number(const QVariantMap& coder, const char* name, unsigned fallback)
{
    bool ok = false;
    const unsigned value = coder.value(key(name)).toUInt(&ok);
    return ok ? value : fallback;
}

}  // namespace

// ---- request serializers ------------------------------------------------------------------------

std::shared_ptr<AFURLRequestSerialization> AFHTTPRequestSerializer::copy() const
{
    std::shared_ptr<AFHTTPRequestSerializer> copied = initWithCoder(encodeWithCoder());
    copied->m_headers = m_headers;  // in their order, which the archive does not keep
    copied->m_queryBlock = m_queryBlock;
    return copied;
}

QVariantMap AFHTTPRequestSerializer::encodeWithCoder() const
{
    return withClass({{key(kHeaders), m_headers.toVariantMap()}, {key(kQueryStyle), m_queryStyle}},
                     "AFHTTPRequestSerializer");
}

QVariantMap AFJSONRequestSerializer::encodeWithCoder() const
{
    QVariantMap coder = AFHTTPRequestSerializer::encodeWithCoder();
    coder.insert(key(kWritingOptions), m_writingOptions);
    return withClass(coder, "AFJSONRequestSerializer");
}

QVariantMap AFPropertyListRequestSerializer::encodeWithCoder() const
{
    QVariantMap coder = AFHTTPRequestSerializer::encodeWithCoder();
    coder.insert(key(kFormat), m_format);
    coder.insert(key(kWriteOptions), m_writeOptions);
    return withClass(coder, "AFPropertyListRequestSerializer");
}

std::shared_ptr<AFHTTPRequestSerializer> AFHTTPRequestSerializer::initWithCoder(const QVariantMap& coder)
{
    const QString className = coder.value(key(kClass)).toString();
    std::shared_ptr<AFHTTPRequestSerializer> serializer;
    if (className == QLatin1String("AFHTTPRequestSerializer")) {
        serializer = AFHTTPRequestSerializer::serializer();
    } else if (className == QLatin1String("AFJSONRequestSerializer")) {
        auto json = AFJSONRequestSerializer::serializer();
        json->setWritingOptions(number(coder, kWritingOptions, json->writingOptions()));
        serializer = json;
    } else if (className == QLatin1String("AFPropertyListRequestSerializer")) {
        auto plist = AFPropertyListRequestSerializer::serializer();
        plist->setFormat(number(coder, kFormat, plist->format()));
        plist->setWriteOptions(number(coder, kWriteOptions, plist->writeOptions()));
        serializer = plist;
    } else {
        return nullptr;
    }
    if (coder.contains(key(kHeaders))) {
        HTTPHeaderFields headers;
        const QVariantMap archived = coder.value(key(kHeaders)).toMap();
        for (auto it = archived.cbegin(); it != archived.cend(); ++it)
            headers.setValue(it.value().toString(), it.key());
        serializer->m_headers = headers;
    }
    serializer->m_queryStyle = number(coder, kQueryStyle, serializer->m_queryStyle);
    return serializer;
}

// ---- response serializers -----------------------------------------------------------------------

std::shared_ptr<AFURLResponseSerialization> AFHTTPResponseSerializer::copy() const
{
    return initWithCoder(encodeWithCoder());
}

QVariantMap AFHTTPResponseSerializer::encodeWithCoder() const
{
    QVariantMap coder;
    if (m_statusCodes) {
        QList<int> codes(m_statusCodes->cbegin(), m_statusCodes->cend());
        std::sort(codes.begin(), codes.end());
        QVariantList list;
        for (int code : codes)
            list.append(code);
        coder.insert(key(kStatusCodes), list);
    }
    if (m_contentTypes) {
        QStringList types(m_contentTypes->cbegin(), m_contentTypes->cend());
        types.sort();
        coder.insert(key(kContentTypes), types);
    }
    return withClass(coder, "AFHTTPResponseSerializer");
}

QVariantMap AFJSONResponseSerializer::encodeWithCoder() const
{
    QVariantMap coder = AFHTTPResponseSerializer::encodeWithCoder();
    coder.insert(key(kReadingOptions), m_readingOptions);
    coder.insert(key(kRemovesNulls), m_removesKeysWithNullValues);
    return withClass(coder, "AFJSONResponseSerializer");
}

QVariantMap AFXMLParserResponseSerializer::encodeWithCoder() const
{
    return withClass(AFHTTPResponseSerializer::encodeWithCoder(), "AFXMLParserResponseSerializer");
}

QVariantMap AFXMLDocumentResponseSerializer::encodeWithCoder() const
{
    QVariantMap coder = AFHTTPResponseSerializer::encodeWithCoder();
    coder.insert(key(kOptions), m_options);
    return withClass(coder, "AFXMLDocumentResponseSerializer");
}

QVariantMap AFPropertyListResponseSerializer::encodeWithCoder() const
{
    QVariantMap coder = AFHTTPResponseSerializer::encodeWithCoder();
    coder.insert(key(kFormat), m_format);
    coder.insert(key(kReadOptions), m_readOptions);
    return withClass(coder, "AFPropertyListResponseSerializer");
}

QVariantMap AFImageResponseSerializer::encodeWithCoder() const
{
    return withClass(AFHTTPResponseSerializer::encodeWithCoder(), "AFImageResponseSerializer");
}

QVariantMap AFCompoundResponseSerializer::encodeWithCoder() const
{
    QVariantMap coder = AFHTTPResponseSerializer::encodeWithCoder();
    QVariantList members;
    for (const auto& member : m_serializers) {
        if (const QVariantMap archived = member ? member->encodeWithCoder() : QVariantMap(); !archived.isEmpty())
            members.append(archived);
    }
    coder.insert(key(kSerializers), members);
    return withClass(coder, "AFCompoundResponseSerializer");
}

std::shared_ptr<AFHTTPResponseSerializer> AFHTTPResponseSerializer::initWithCoder(const QVariantMap& coder)
{
    const QString className = coder.value(key(kClass)).toString();
    std::shared_ptr<AFHTTPResponseSerializer> serializer;
    if (className == QLatin1String("AFHTTPResponseSerializer")) {
        serializer = AFHTTPResponseSerializer::serializer();
    } else if (className == QLatin1String("AFJSONResponseSerializer")) {
        auto json = AFJSONResponseSerializer::serializer();
        json->setReadingOptions(number(coder, kReadingOptions, json->readingOptions()));
        json->setRemovesKeysWithNullValues(coder.value(key(kRemovesNulls)).toBool());
        serializer = json;
    } else if (className == QLatin1String("AFXMLParserResponseSerializer")) {
        serializer = AFXMLParserResponseSerializer::serializer();
    } else if (className == QLatin1String("AFXMLDocumentResponseSerializer")) {
        auto document = AFXMLDocumentResponseSerializer::serializer();
        document->setOptions(number(coder, kOptions, document->options()));
        serializer = document;
    } else if (className == QLatin1String("AFPropertyListResponseSerializer")) {
        auto plist = AFPropertyListResponseSerializer::serializer();
        plist->setFormat(number(coder, kFormat, plist->format()));
        plist->setReadOptions(number(coder, kReadOptions, plist->readOptions()));
        serializer = plist;
    } else if (className == QLatin1String("AFImageResponseSerializer")) {
        serializer = AFImageResponseSerializer::serializer();
    } else if (className == QLatin1String("AFCompoundResponseSerializer")) {
        AFCompoundResponseSerializer::Serializers members;
        for (const QVariant& member : coder.value(key(kSerializers)).toList()) {
            if (auto decoded = initWithCoder(member.toMap()))
                members.append(decoded);
        }
        serializer = AFCompoundResponseSerializer::compoundSerializerWithResponseSerializers(members);
    } else {
        return nullptr;
    }
    // As archived: a value that was unset (any code, any type) stays unset.
    std::optional<QSet<int>> codes;
    if (coder.contains(key(kStatusCodes))) {
        codes.emplace();
        for (const QVariant& code : coder.value(key(kStatusCodes)).toList())
            codes->insert(code.toInt());
    }
    serializer->setAcceptableStatusCodes(codes);
    std::optional<QSet<QString>> types;
    if (coder.contains(key(kContentTypes))) {
        const QStringList list = coder.value(key(kContentTypes)).toStringList();
        types = QSet<QString>(list.cbegin(), list.cend());
    }
    serializer->setAcceptableContentTypes(types);
    return serializer;
}
