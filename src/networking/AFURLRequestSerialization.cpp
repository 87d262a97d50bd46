#include "networking/AFURLRequestSerialization.h"

#include "networking/PropertyListSerialization.h"
#include "networking/TextEncoding.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMutex>
#include <QSysInfo>

#include <unicode/utrans.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QMutex& languagesMutex()
{
    static QMutex mutex;
    return mutex;
}

std::function<QStringList()>& languagesProvider()
{
    static std::function<QStringList()> provider;
    return provider;
}

bool isNullObject(const QVariant& value)
{
    return value.metaType().id() == QMetaType::Nullptr;
}

bool isDictionary(const QVariant& value)
{
    const int id = value.metaType().id();
    return id == QMetaType::QVariantMap || id == QMetaType::QVariantHash;
}

bool isArray(const QVariant& value)
{
    const int id = value.metaType().id();
    return id == QMetaType::QVariantList || id == QMetaType::QStringList;
}

// Keys and values of a dictionary in ordinal order of the keys.
QList<QPair<QString, QVariant>> sortedEntries(const QVariant& dictionary)
{
    QList<QPair<QString, QVariant>> entries;
    if (dictionary.metaType().id() == QMetaType::QVariantHash) {
        const QVariantHash hash = dictionary.toHash();
        for (auto it = hash.begin(); it != hash.end(); ++it)
            entries.append({it.key(), it.value()});
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    } else {
        const QVariantMap map = dictionary.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            entries.append({it.key(), it.value()});
    }
    return entries;
}

// "Any-Latin; Latin-ASCII; [:^ASCII:] Remove": Latin letters for other scripts, accents dropped,
// and whatever is still not ASCII removed. Null when ICU cannot run the transform.
QString transliteratedToASCII(const QString& text)
{
    static const QString id = QStringLiteral("Any-Latin; Latin-ASCII; [:^ASCII:] Remove");
    UErrorCode status = U_ZERO_ERROR;
    UTransliterator* transliterator = utrans_openU(reinterpret_cast<const UChar*>(id.utf16()),
                                                   static_cast<int32_t>(id.size()), UTRANS_FORWARD, nullptr, 0,
                                                   nullptr, &status);
    if (U_FAILURE(status))
        return QString();
    QString result;
    // A script letter may become several Latin letters; retry once with the size ICU asks for.
    int32_t capacity = static_cast<int32_t>(text.size()) * 8 + 32;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<UChar> buffer(static_cast<std::size_t>(capacity));
        std::copy(text.utf16(), text.utf16() + text.size(), buffer.begin());
        int32_t length = static_cast<int32_t>(text.size());
        int32_t limit = length;
        status = U_ZERO_ERROR;
        utrans_transUChars(transliterator, buffer.data(), &length, capacity, 0, &limit, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && attempt == 0) {
            capacity = std::max(length, capacity * 2) + 32;
            continue;
        }
        if (U_SUCCESS(status))
            result = QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.data()), length);
        break;
    }
    utrans_close(transliterator);
    return result;
}

bool isASCII(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Every serializer starts from these; a shared set costs a new serializer nothing to copy.
const QSet<QString>& defaultMethodsInURI()
{
    static const QSet<QString> methods{QStringLiteral("GET"), QStringLiteral("HEAD"), QStringLiteral("DELETE")};
    return methods;
}

QString formattedAcceptLanguage(const QStringList& languages)
{
    QStringList entries;
    int index = 0;
    for (const QString& language : languages) {
        const float q = 1.0f - 0.1f * static_cast<float>(index);
        entries.append(language + QString::asprintf(";q=%0.1g", static_cast<double>(q)));
        if (q <= 0.5f)
            break;
        ++index;
    }
    return entries.join(QStringLiteral(", "));
}

// A serializer is made for every request; the languages seldom change between two of them, so
// the last list and its header value are kept.
QString acceptLanguageValue()
{
    static QMutex mutex;
    static QStringList lastLanguages;
    static QString lastValue;
    const QStringList languages = AFHTTPRequestSerializer::preferredLanguages();
    QMutexLocker lock(&mutex);
    if (lastValue.isNull() || languages != lastLanguages) {
        lastLanguages = languages;
        lastValue = formattedAcceptLanguage(languages);
    }
    return lastValue;
}

QString userAgentValue()
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty())
        name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    // The system's name is read from a file; it does not change while the program runs.
    static const QString productName = QSysInfo::prettyProductName();
    const QString userAgent = QStringLiteral("%1/%2 (Mac OS X %3)")
                                  .arg(name, QCoreApplication::applicationVersion(), productName);
    if (isASCII(userAgent))
        return userAgent;
    const QString transliterated = transliteratedToASCII(userAgent);
    return transliterated.isNull() ? userAgent : transliterated;
}

Error unsupportedURLError(const QString& URLString)
{
    return Error(QLatin1String(Error::kURLErrorDomain), -1002,
                 {{QLatin1String(Error::kLocalizedDescriptionKey), QStringLiteral("unsupported URL")},
                  {QStringLiteral("NSErrorFailingURLStringKey"), URLString}});
}

// The URL of a strict parse: a text with characters a URL cannot hold (spaces, quotes, braces,
// non-ASCII) is refused rather than silently repaired.
std::optional<QUrl> parsedURL(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

void setSlot(ErrorSlot slot, const Error& error)
{
    if (slot != nullptr)
        *slot = error;
}

bool isJSONCompatible(const QVariant& value)
{
    const int id = value.metaType().id();
    switch (id) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Nullptr:
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        return std::isfinite(value.toDouble());
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        const auto entries = sortedEntries(value);
        return std::all_of(entries.begin(), entries.end(), [](const auto& e) { return isJSONCompatible(e.second); });
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = value.toList();
        return std::all_of(list.begin(), list.end(), [](const QVariant& v) { return isJSONCompatible(v); });
    }
    default:
        return false;
    }
}

}  // namespace

// ---- Query strings ----

QString QueryValueDescription(const QVariant& value)
{
    if (!value.isValid())
        return QStringLiteral("(null)");
    if (isNullObject(value))
        return QStringLiteral("<null>");
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}

QString EscapeQueryText(const QString& text)
{
    // The UTF-8 bytes of the whole text at once: no character can be cut in two.
    return QString::fromLatin1(text.toUtf8().toPercentEncoding(QByteArrayLiteral("/?")));
}

QString AFQueryStringPair::URLEncodedStringValue() const
{
    if (!value.isValid() || isNullObject(value))
        return EscapeQueryText(QueryValueDescription(field));
    return EscapeQueryText(QueryValueDescription(field)) + u'=' + EscapeQueryText(QueryValueDescription(value));
}

QList<AFQueryStringPair> FlattenQueryPairs(const QVariant& key, const QVariant& value)
{
    QList<AFQueryStringPair> pairs;
    if (isDictionary(value)) {
        for (const auto& entry : sortedEntries(value)) {
            if (!entry.second.isValid())
                continue;
            const QString nestedKey = key.isValid()
                                          ? QStringLiteral("%1[%2]").arg(QueryValueDescription(key), entry.first)
                                          : entry.first;
            pairs += FlattenQueryPairs(nestedKey, entry.second);
        }
    } else if (isArray(value)) {
        const QString nestedKey = QueryValueDescription(key) + QStringLiteral("[]");
        for (const QVariant& element : value.toList())
            pairs += FlattenQueryPairs(nestedKey, element);
    } else {
        pairs.append(AFQueryStringPair{key, value});
    }
    return pairs;
}

QString DefaultQueryString(const QVariant& parameters)
{
    QStringList texts;
    for (const AFQueryStringPair& pair : FlattenQueryPairs(QVariant(), parameters))
        texts.append(pair.URLEncodedStringValue());
    return texts.join(u'&');
}

// ---- AFHTTPRequestSerializer ----

std::shared_ptr<AFHTTPRequestSerializer> AFHTTPRequestSerializer::serializer()
{
    return std::make_shared<AFHTTPRequestSerializer>();
}

AFHTTPRequestSerializer::AFHTTPRequestSerializer()
    : m_stringEncoding(TextEncoding::kUTF8), m_methodsInURI(defaultMethodsInURI())
{
    m_headers.setValue(acceptLanguageValue(), QStringLiteral("Accept-Language"));
    m_headers.setValue(userAgentValue(), QStringLiteral("User-Agent"));
}

void AFHTTPRequestSerializer::setPreferredLanguagesProvider(std::function<QStringList()> provider)
{
    QMutexLocker lock(&languagesMutex());
    languagesProvider() = std::move(provider);
}

QStringList AFHTTPRequestSerializer::preferredLanguages()
{
    std::function<QStringList()> provider;
    {
        QMutexLocker lock(&languagesMutex());
        provider = languagesProvider();
    }
    return provider ? provider() : QLocale::system().uiLanguages();
}

void AFHTTPRequestSerializer::setAuthorizationHeaderFieldWithUsername(const QString& username, const QString& password)
{
    const QByteArray credentials = QStringLiteral("%1:%2").arg(username, password).toUtf8();
    setValue(QStringLiteral("Basic ") + QString::fromLatin1(credentials.toBase64()), QStringLiteral("Authorization"));
}

void AFHTTPRequestSerializer::clearAuthorizationHeader()
{
    m_headers.remove(QStringLiteral("Authorization"));
}

void AFHTTPRequestSerializer::setQueryStringSerializationWithStyle(unsigned style)
{
    m_queryStyle = style;
    m_queryBlock = nullptr;
}

void AFHTTPRequestSerializer::setQueryStringSerializationWithBlock(QueryStringSerializationBlock block)
{
    m_queryBlock = std::move(block);
}

std::optional<URLRequest> AFHTTPRequestSerializer::requestWithMethod(const QString& method, const QString& URLString,
                                                                     const QVariant& parameters, ErrorSlot error) const
{
    const std::optional<QUrl> url = parsedURL(URLString);
    if (!url.has_value()) {
        setSlot(error, unsupportedURLError(URLString));
        return std::nullopt;
    }
    URLRequest request;
    request.URL = *url;
    request.HTTPMethod = method;
    request.settings = m_settings;
    return requestBySerializingRequest(request, parameters, error);
}

URLRequest AFHTTPRequestSerializer::withDefaultHeaders(const URLRequest& request) const
{
    URLRequest copy = request;
    for (const HTTPHeaderFields::Field& field : m_headers.fields()) {
        if (!copy.allHTTPHeaderFields.contains(field.first))
            copy.setValue(field.second, field.first);
    }
    return copy;
}

bool AFHTTPRequestSerializer::encodesParametersInURI(const URLRequest& request) const
{
    return m_methodsInURI.contains(request.HTTPMethod.toUpper());
}

std::optional<URLRequest> AFHTTPRequestSerializer::requestBySerializingRequest(const URLRequest& request,
                                                                               const QVariant& parameters,
                                                                               ErrorSlot error) const
{
    URLRequest copy = withDefaultHeaders(request);

    std::optional<QString> query;
    if (parameters.isValid()) {
        if (m_queryBlock) {
            std::optional<Error> blockError;
            const QString text = m_queryBlock(request, parameters, &blockError);
            if (blockError.has_value()) {
                setSlot(error, *blockError);
                return std::nullopt;
            }
            if (!text.isNull())
                query = text;
        } else if (m_queryStyle == AFHTTPRequestQueryStringDefaultStyle) {
            query = DefaultQueryString(parameters);
        }
    }

    if (encodesParametersInURI(copy)) {
        if (query.has_value()) {
            // The query goes before any fragment, so that the server receives it.
            const QString base = copy.URL.toString(QUrl::FullyEncoded | QUrl::RemoveFragment);
            QString rebuilt = base + (copy.URL.hasQuery() ? u'&' : u'?') + *query;
            if (copy.URL.hasFragment())
                rebuilt += u'#' + copy.URL.fragment(QUrl::FullyEncoded);
            const std::optional<QUrl> url = parsedURL(rebuilt);
            if (!url.has_value()) {
                setSlot(error, unsupportedURLError(rebuilt));
                return std::nullopt;
            }
            copy.URL = *url;
        }
        return copy;
    }

    if (!copy.allHTTPHeaderFields.contains(QStringLiteral("Content-Type")))
        copy.setValue(QStringLiteral("application/x-www-form-urlencoded; charset=%1").arg(m_stringEncoding.toLower()),
                      QStringLiteral("Content-Type"));
    const std::optional<QByteArray> body = TextEncoding::encode(query.value_or(QStringLiteral("")), m_stringEncoding);
    if (!body.has_value()) {
        // A body that silently lost characters would send other parameters than were given.
        setSlot(error, Error(QLatin1String(Error::kCocoaErrorDomain), 517,
                             {{QLatin1String(Error::kLocalizedDescriptionKey),
                               QStringLiteral("The parameters cannot be written in the character set \u201c%1\u201d.")
                                   .arg(m_stringEncoding)}}));
        return std::nullopt;
    }
    copy.HTTPBody = *body;
    return copy;
}

std::optional<URLRequest> AFHTTPRequestSerializer::requestWithBody(const URLRequest& request, const QVariant& parameters,
                                                                   ErrorSlot error, const QString& contentType,
                                                                   const BodyWriter& writer) const
{
    if (encodesParametersInURI(request))
        return AFHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
    URLRequest copy = withDefaultHeaders(request);
    if (!parameters.isValid())
        return copy;
    if (!copy.allHTTPHeaderFields.contains(QStringLiteral("Content-Type")))
        copy.setValue(contentType, QStringLiteral("Content-Type"));
    // A body the writer cannot make stays empty; the error is the caller's to act on.
    copy.HTTPBody = writer(parameters, error);
    return copy;
}

// ---- AFJSONRequestSerializer ----

std::shared_ptr<AFJSONRequestSerializer> AFJSONRequestSerializer::serializer()
{
    return serializerWithWritingOptions(0);
}

std::shared_ptr<AFJSONRequestSerializer> AFJSONRequestSerializer::serializerWithWritingOptions(unsigned writingOptions)
{
    auto serializer = std::make_shared<AFJSONRequestSerializer>();
    serializer->setWritingOptions(writingOptions);
    return serializer;
}

std::optional<URLRequest> AFJSONRequestSerializer::requestBySerializingRequest(const URLRequest& request,
                                                                               const QVariant& parameters,
                                                                               ErrorSlot error) const
{
    return requestWithBody(request, parameters, error, QStringLiteral("application/json"),
                           [this](const QVariant& values, ErrorSlot slot) {
                               if ((!isDictionary(values) && !isArray(values)) || !isJSONCompatible(values)) {
                                   setSlot(slot, Error(QLatin1String(Error::kCocoaErrorDomain), 3840,
                                                       {{QLatin1String(Error::kLocalizedDescriptionKey),
                                                         QStringLiteral("Invalid type in JSON write (%1)")
                                                             .arg(QString::fromLatin1(values.typeName()))}}));
                                   return QByteArray();
                               }
                               const QJsonDocument document =
                                   isDictionary(values) ? QJsonDocument(QJsonObject::fromVariantMap(values.toMap()))
                                                        : QJsonDocument(QJsonArray::fromVariantList(values.toList()));
                               return document.toJson((m_writingOptions & kWritingPrettyPrinted) != 0
                                                          ? QJsonDocument::Indented
                                                          : QJsonDocument::Compact);
                           });
}

// ---- AFPropertyListRequestSerializer ----

std::shared_ptr<AFPropertyListRequestSerializer> AFPropertyListRequestSerializer::serializer()
{
    return serializerWithFormat(PropertyListSerialization::XMLFormat_v1_0, 0);
}

std::shared_ptr<AFPropertyListRequestSerializer> AFPropertyListRequestSerializer::serializerWithFormat(unsigned format,
                                                                                                       unsigned writeOptions)
{
    auto serializer = std::make_shared<AFPropertyListRequestSerializer>();
    serializer->setFormat(format);
    serializer->setWriteOptions(writeOptions);
    return serializer;
}

std::optional<URLRequest> AFPropertyListRequestSerializer::requestBySerializingRequest(const URLRequest& request,
                                                                                       const QVariant& parameters,
                                                                                       ErrorSlot error) const
{
    return requestWithBody(request, parameters, error, QStringLiteral("application/x-plist"),
                           [this](const QVariant& values, ErrorSlot slot) {
                               return PropertyListSerialization::dataWithPropertyList(values, m_format, m_writeOptions, slot)
                                   .value_or(QByteArray());
                           });
}
