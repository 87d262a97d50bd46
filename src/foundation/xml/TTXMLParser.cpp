#include "foundation/xml/TTXMLParser.h"

#include "platform/NSStringValues.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace TTXMLKeys;

namespace {

// ---- "datetime" values ----

// One to maxDigits decimal digits at pos.
bool readNumber(QStringView s, qsizetype& pos, int maxDigits, int& out)
{
    int digits = 0;
    out = 0;
    while (pos < s.size() && digits < maxDigits && s[pos] >= u'0' && s[pos] <= u'9') {
        out = out * 10 + (s[pos].unicode() - u'0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

bool readChar(QStringView s, qsizetype& pos, char16_t c)
{
    if (pos >= s.size() || s[pos] != c)
        return false;
    ++pos;
    return true;
}

// Seconds east of UTC written by a zone suffix: "Z", "GMT"/"UTC"/"UT" alone, or an optional such
// prefix with a signed offset "+8", "+08", "+0800", "+08:00" or "+08:00:00".
std::optional<int> readZoneOffset(QStringView zone)
{
    // A trailing Z names UTC. Reading it as local time would shift every such stamp by the
    // reader's own zone.
    if (zone == u"Z")
        return 0;
    qsizetype pos = 0;
    if (zone.startsWith(u"GMT") || zone.startsWith(u"UTC"))
        pos = 3;
    else if (zone.startsWith(u"UT"))
        pos = 2;
    if (pos > 0 && pos == zone.size())
        return 0;
    if (pos >= zone.size() || (zone[pos] != u'+' && zone[pos] != u'-'))
        return std::nullopt;
    const int sign = zone[pos] == u'-' ? -1 : 1;
    ++pos;
    const qsizetype hoursStart = pos;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (!readNumber(zone, pos, 2, hours))
        return std::nullopt;
    if (pos < zone.size()) {
        if (readChar(zone, pos, u':')) {
            if (!readNumber(zone, pos, 2, minutes) || (readChar(zone, pos, u':') && !readNumber(zone, pos, 2, seconds)))
                return std::nullopt;
        } else if (pos - hoursStart == 2) {
            const qsizetype minutesStart = pos;
            if (!readNumber(zone, pos, 2, minutes) || pos - minutesStart != 2)
                return std::nullopt;
        }
    }
    if (pos != zone.size() || hours > 23 || minutes > 59 || seconds > 59)
        return std::nullopt;
    return sign * (hours * 3600 + minutes * 60 + seconds);
}

// "yyyy-MM-ddTHH:mm:ss" and a zone; fields may have fewer digits than the pattern shows.
std::optional<QDateTime> readDateTime(const QString& text)
{
    const QStringView s(text);
    qsizetype pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!(readNumber(s, pos, 4, year) && readChar(s, pos, u'-') && readNumber(s, pos, 2, month) &&
          readChar(s, pos, u'-') && readNumber(s, pos, 2, day) && readChar(s, pos, u'T') &&
          readNumber(s, pos, 2, hour) && readChar(s, pos, u':') && readNumber(s, pos, 2, minute) &&
          readChar(s, pos, u':') && readNumber(s, pos, 2, second)))
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    const std::optional<int> offset = readZoneOffset(s.mid(pos));
    if (!date.isValid() || !time.isValid() || !offset)
        return std::nullopt;
    return QDateTime(date, time, Qt::OffsetFromUTC, *offset).toUTC();
}

// ---- building the dictionaries ----

enum class Kind { Unknown, Array, Integer, DateTime, OtherType };

QString utf8(const xmlChar* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

// The name as written in the document: "prefix:local" or "local".
QString qualifiedName(const xmlChar* localName, const xmlChar* prefix)
{
    if (prefix == nullptr)
        return utf8(localName);
    return utf8(prefix) + u':' + utf8(localName);
}

// The dictionary of an open element. Built as the standard map underneath a QVariantMap, so that
// keys known to come last are placed without a search and the finished map is handed over whole.
using NodeMap = std::map<QString, QVariant>;

struct OpenElement
{
    QString name;
    NodeMap node;
    QVariantList array;  // the children of an "array" element
    Kind kind = Kind::Unknown;
    // Character data gathers as UTF-8 and becomes text once, when the element ends (or when a
    // child of the value's name takes its place).
    bool hasText = false;
    QString textBase;  // an attribute of the value's name, which the text is appended to
    std::string text;
    // The value key sorts right after the type key unless some other key falls between them.
    NodeMap::iterator typeEntry;

    void reset(QString elementName)
    {
        name = std::move(elementName);
        node.clear();
        array = QVariantList();
        kind = Kind::Unknown;
        hasText = false;
        textBase = QString();
        text.clear();  // keeps its capacity for the next element at this depth
    }

    void flushText()
    {
        if (!hasText)
            return;
        QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        if (!textBase.isEmpty())
            value.prepend(textBase);
        node.try_emplace(std::next(typeEntry), kValue)->second = QVariant(value);
        hasText = false;
        textBase = QString();
        text.clear();
    }
};

struct NamePointersHash
{
    size_t operator()(const std::pair<const xmlChar*, const xmlChar*>& key) const noexcept
    {
        return std::hash<const void*>()(key.first) * 31 + std::hash<const void*>()(key.second);
    }
};

struct Builder
{
    // Open elements, innermost last; frames above `depth` are kept for their buffers.
    std::vector<OpenElement> frames;
    size_t depth = 0;
    std::optional<TTXMLNodeDictionary>* root = nullptr;
    bool rootEnded = false;
    bool gatherDuplicates = false;
    // The parser hands every name out of its own dictionary, so one pointer pair is one name for
    // the whole parse; the texts are made once.
    std::unordered_map<std::pair<const xmlChar*, const xmlChar*>, QString, NamePointersHash> names;

    const QString& name(const xmlChar* localName, const xmlChar* prefix)
    {
        auto [it, added] = names.try_emplace({localName, prefix});
        if (added)
            it->second = qualifiedName(localName, prefix);
        return it->second;
    }

    void addChild(OpenElement& parent, const QString& key, NodeMap&& childMap)
    {
        if (parent.kind != Kind::Array && parent.kind != Kind::Unknown)
            return;  // a typed element keeps no children
        QVariant child(TTXMLNodeDictionary(std::move(childMap)));
        if (parent.kind == Kind::Array) {
            parent.array.append(child);
            return;
        }
        if (key == kValue) {
            // The child takes the place of the text so far; later text starts afresh.
            parent.flushText();
            parent.textBase = QString();
        } else if (key == kType) {
            parent.kind = Kind::OtherType;  // the element's type is no longer "unknown"
        }
        if (!gatherDuplicates) {
            parent.node.insert_or_assign(key, std::move(child));
            return;
        }
        const auto [it, added] = parent.node.try_emplace(key, child);
        if (added)
            return;
        QVariant& earlier = it->second;
        if (earlier.typeId() == QMetaType::QVariantList && !earlier.toList().isEmpty())
            static_cast<QVariantList*>(earlier.data())->append(child);
        else
            earlier = QVariantList{earlier, child};
    }

    void start(const xmlChar* localName, const xmlChar* prefix, const xmlChar** namespaces, int namespaceCount,
               const xmlChar** attributes, int attributeCount)
    {
        if (depth == frames.size())
            frames.emplace_back();
        OpenElement& element = frames[depth++];
        element.reset(name(localName, prefix));
        // Namespace declarations are ordinary attributes when namespaces are not processed.
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar* nsPrefix = namespaces[2 * i];
            const QString key = nsPrefix == nullptr ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + utf8(nsPrefix);
            element.node.insert_or_assign(key, QVariant(utf8(namespaces[2 * i + 1])));
        }
        QString type;
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar* const* a = attributes + 5 * i;  // local name, prefix, URI, value, value end
            QString value = QString::fromUtf8(reinterpret_cast<const char*>(a[3]), a[4] - a[3]);
            // Without entity replacement the parser hands an "&" on as "&#38;".
            if (value.contains(u'&'))
                value.replace(QStringLiteral("&#38;"), QStringLiteral("&"));
            const QString& key = name(a[0], a[1]);
            if (key == u"type")
                type = value;
            else if (key == kValue)
                element.textBase = value;
            element.node.insert_or_assign(key, QVariant(value));
        }
        if (type.isEmpty())
            type = kUnknownType;
        if (type == kUnknownType)
            element.kind = Kind::Unknown;
        else if (type == u"array")
            element.kind = Kind::Array;
        else if (type == u"integer")
            element.kind = Kind::Integer;
        else if (type == u"datetime")
            element.kind = Kind::DateTime;
        else
            element.kind = Kind::OtherType;
        // The parser's own keys replace attributes of the same names.
        element.typeEntry = element.node.try_emplace(element.node.end(), kType);
        element.typeEntry->second = QVariant(type);
        element.node.try_emplace(element.typeEntry, kName)->second = QVariant(element.name);
    }

    void characters(const xmlChar* chars, int length)
    {
        if (depth == 0 || length <= 0)
            return;
        OpenElement& top = frames[depth - 1];
        top.hasText = true;
        top.text.append(reinterpret_cast<const char*>(chars), static_cast<size_t>(length));
    }

    void end()
    {
        if (depth == 0)
            return;
        OpenElement& top = frames[depth - 1];
        top.flushText();
        if (top.kind == Kind::Array) {
            top.node.insert_or_assign(kArray, QVariant(std::exchange(top.array, QVariantList())));
        } else if (top.kind == Kind::Integer) {
            const auto it = top.node.find(kValue);
            const QString text = it == top.node.end() ? QString() : it->second.toString();
            top.node.insert_or_assign(kValue, QVariant(NSStringValues::intValue(text)));
        } else if (top.kind == Kind::DateTime) {
            const auto it = top.node.find(kValue);
            if (it != top.node.end() && it->second.typeId() == QMetaType::QString) {
                if (const std::optional<QDateTime> date = readDateTime(it->second.toString()))
                    it->second = *date;
            }
        }
        --depth;
        if (depth == 0) {
            *root = TTXMLNodeDictionary(std::exchange(top.node, NodeMap()));
            rootEnded = true;
        } else {
            addChild(frames[depth - 1], top.name, std::exchange(top.node, NodeMap()));
        }
    }
};

void onStartElement(void* ctx, const xmlChar* localName, const xmlChar* prefix, const xmlChar*, int namespaceCount,
                    const xmlChar** namespaces, int attributeCount, int, const xmlChar** attributes)
{
    static_cast<Builder*>(ctx)->start(localName, prefix, namespaces, namespaceCount, attributes, attributeCount);
}

void onEndElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    static_cast<Builder*>(ctx)->end();
}

void onCharacters(void* ctx, const xmlChar* chars, int length)
{
    static_cast<Builder*>(ctx)->characters(chars, length);
}

// Errors end the parse through the well-formedness flag; nothing is printed.
void onStructuredError(void*, xmlErrorPtr) {}

void ignoreGenericError(void*, const char*, ...) {}

// A few input-buffer failures (an undecodable byte sequence, say) are told only to the thread's
// generic error function, which would print them. Silenced while one parse runs on this thread.
class GenericErrorSilencer
{
public:
    GenericErrorSilencer()
        : m_function(xmlGenericError), m_context(xmlGenericErrorContext)
    {
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
    }
    ~GenericErrorSilencer() { xmlSetGenericErrorFunc(m_context, m_function); }
    GenericErrorSilencer(const GenericErrorSilencer&) = delete;
    GenericErrorSilencer& operator=(const GenericErrorSilencer&) = delete;

private:
    xmlGenericErrorFunc m_function;
    void* m_context;
};

}  // namespace

TTXMLParser::TTXMLParser(QByteArray data)
    : m_data(std::move(data))
{
}

bool TTXMLParser::parse()
{
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;

    Builder builder;
    builder.root = &m_rootObject;
    builder.gatherDuplicates = m_treatDuplicateKeysAsArrayItems;

    // Only element and text callbacks: no handler exists to declare, resolve or load an entity or
    // a DTD. Names are put back together as written ("soap:Body"); namespace URIs are not used.
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = onStartElement;
    handler.endElementNs = onEndElement;
    handler.characters = onCharacters;
    handler.ignorableWhitespace = onCharacters;
    handler.cdataBlock = onCharacters;
    handler.serror = onStructuredError;

    const GenericErrorSilencer silencer;
    const char* bytes = m_data.constData();
    qsizetype left = m_data.size();
    // The first bytes let the parser detect the encoding before the body arrives.
    const int head = static_cast<int>(std::min<qsizetype>(left, 4));
    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&handler, &builder, bytes, head, nullptr);
    if (ctxt == nullptr)
        return false;
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET);
    bytes += head;
    left -= head;
    constexpr qsizetype kMaxChunk = INT_MAX / 2;
    do {
        const int chunk = static_cast<int>(std::min(left, kMaxChunk));
        const bool last = chunk == left;
        xmlParseChunk(ctxt, bytes, chunk, last ? 1 : 0);  // after a fatal error it ignores the rest
        bytes += chunk;
        left -= chunk;
    } while (left > 0);
    // A negative error number is an input failure that stopped the parser without marking the
    // document malformed; a document whose root never ended is not well-formed either.
    const bool wellFormed = ctxt->wellFormed != 0 && ctxt->errNo >= 0 && builder.rootEnded && builder.depth == 0;
    // Entity declarations of an internal subset make the parser keep a document of its own.
    if (ctxt->myDoc != nullptr)
        xmlFreeDoc(ctxt->myDoc);
    xmlFreeParserCtxt(ctxt);
    return wellFormed;
}

namespace TTXMLAdditions {

QString nameForXMLNode(const TTXMLNodeDictionary& node)
{
    return node.value(kName).toString();
}

QString typeForXMLNode(const TTXMLNodeDictionary& node)
{
    return node.value(kType).toString();
}

QVariant objectForXMLNode(const TTXMLNodeDictionary& node)
{
    if (typeForXMLNode(node) == u"array")
        return node.value(kArray);
    return node.value(kValue);
}

QVariantList arrayForKey(const TTXMLNodeDictionary& node, const QString& key)
{
    const auto it = node.constFind(key);
    if (it == node.constEnd())
        return {};
    if (it->typeId() == QMetaType::QVariantList)
        return it->toList();
    return QVariantList{*it};
}

}  // namespace TTXMLAdditions
