#include "foundation/xml/TTXMLParser.h"

#include "platform/NSStringValues.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cstdint>
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
//
// While the parse runs every element is gathered into a light tree: flat arrays of nodes, map
// entries and UTF-8 text, with names as the event parser's name numbers. The duplicate, array and
// typed-element rules act on that tree, and only what is still reachable from the root when the
// root ends becomes QVariantMaps. A reply that repeats an element under an untyped parent keeps
// only the last one, so most of what a long list builds never turns into Qt values.

enum class Kind : std::uint8_t { Unknown, Array, Integer, DateTime, OtherType };

// Map keys: a name number of the parse, or one of these for the parser's own keys. An element or
// attribute of the same name as one of them maps to it, so it lands on the same entry.
constexpr int kNameKey = -1;
constexpr int kTypeKey = -2;
constexpr int kValueKey = -3;
constexpr int kArrayKey = -4;

struct Value
{
    enum class Tag : std::uint8_t { String, ElementName, UnknownType, Text, Node, List };
    Tag tag = Tag::String;
    int c = -1;      // Text: string index of the attribute the text is appended to, or -1
    qsizetype a = 0;  // String: string index; ElementName: name number; Text: offset in the text
                      // arena; Node: node index; List: list index
    qsizetype b = 0;  // Text: length in bytes
};

int indexOf(const Value& value)
{
    return static_cast<int>(value.a);
}

// One key and value of an element. The entries of an element are linked in the order they were
// made, so a finished element keeps them where they are.
struct Entry
{
    int key;
    int next;  // the element's next entry, or -1
    Value value;
};

// A finished element.
struct Node
{
    Kind kind = Kind::Unknown;
    int firstEntry = -1;
    int firstItem = 0;  // an "array" element's children, in the items arena
    int itemCount = 0;
};

// An open element. Frames above the open depth are kept for their buffers.
struct Frame
{
    int nameId = 0;
    int key = 0;
    Kind kind = Kind::Unknown;
    int firstEntry = -1;
    int lastEntry = -1;
    int entryCount = 0;
    // One bit per key modulo 64: most keys are not there yet, and a clear bit says so at once.
    std::uint64_t keyBits = 0;
    // Keys to entries, built once the element has more entries than a scan should visit.
    std::unordered_map<int, int> index;
    int lastIndexed = -1;
    std::vector<int> items;
    // The character data so far. It is written straight to the end of the text arena while
    // nothing else lands there; once a child's text has, it continues in `spill`.
    bool hasText = false;
    bool spilled = false;
    qsizetype textStart = 0;
    qsizetype textLength = 0;
    std::string spill;
    int textBase = -1;  // string index of an attribute of the value's name, which the text extends

    void reset(int name, int mapKey)
    {
        nameId = name;
        key = mapKey;
        kind = Kind::Unknown;
        firstEntry = -1;
        lastEntry = -1;
        entryCount = 0;
        keyBits = 0;
        if (lastIndexed != -1) {
            index.clear();
            lastIndexed = -1;
        }
        items.clear();
        hasText = false;
        spilled = false;
        spill.clear();
        textBase = -1;
    }
};

constexpr int kScanLimit = 16;

std::uint64_t keyBit(int key)
{
    return std::uint64_t(1) << (static_cast<unsigned>(key) & 63u);
}

}  // namespace

struct TTXMLParser::Build
{
    Build(XMLEventParser& parser_, bool gather, qsizetype dataSize)
        : parser(parser_), gatherDuplicates(gather)
    {
        texts.reserve(static_cast<size_t>(dataSize));
    }

    XMLEventParser& parser;
    const bool gatherDuplicates;
    std::vector<Frame> frames;
    size_t depth = 0;
    // Elements opened inside a typed element: they and their contents are dropped unseen.
    size_t skipped = 0;
    bool rootEnded = false;

    std::vector<Node> nodes;
    std::vector<Entry> entries;
    std::vector<int> items;
    std::string texts;
    std::vector<QString> strings;
    std::vector<std::vector<Value>> lists;
    // Nodes and entries of replaced subtrees, linked through firstEntry and next, are reused, so
    // a long list that keeps only its last item needs the room of about one item.
    int freeNodes = -1;
    int freeEntries = -1;
    std::vector<int> releasing;

    // The map key of each name number, filled as numbers appear; "type" is remembered apart.
    std::vector<int> keys;
    int typeNameId = -1;

    int keyOf(int nameId)
    {
        while (keys.size() <= static_cast<size_t>(nameId)) {
            const int id = static_cast<int>(keys.size());
            const QString& text = parser.nameText(id);
            int key = id;
            if (text == kName)
                key = kNameKey;
            else if (text == kType)
                key = kTypeKey;
            else if (text == kValue)
                key = kValueKey;
            else if (text == kArray)
                key = kArrayKey;
            else if (text == u"type")
                typeNameId = id;
            keys.push_back(key);
        }
        return keys[static_cast<size_t>(nameId)];
    }

    Entry* find(Frame& frame, int key)
    {
        if ((frame.keyBits & keyBit(key)) == 0)
            return nullptr;
        return search(frame, key);
    }

    Q_NEVER_INLINE Entry* search(Frame& frame, int key)
    {
        if (frame.entryCount <= kScanLimit) {
            for (int i = frame.firstEntry; i != -1; i = entries[static_cast<size_t>(i)].next) {
                if (entries[static_cast<size_t>(i)].key == key)
                    return &entries[static_cast<size_t>(i)];
            }
            return nullptr;
        }
        int i = frame.lastIndexed == -1 ? frame.firstEntry : entries[static_cast<size_t>(frame.lastIndexed)].next;
        for (; i != -1; i = entries[static_cast<size_t>(i)].next) {
            frame.index[entries[static_cast<size_t>(i)].key] = i;
            frame.lastIndexed = i;
        }
        const auto it = frame.index.find(key);
        return it == frame.index.end() ? nullptr : &entries[static_cast<size_t>(it->second)];
    }

    void append(Frame& frame, int key, const Value& value)
    {
        int at = freeEntries;
        if (at != -1) {
            freeEntries = entries[static_cast<size_t>(at)].next;
            entries[static_cast<size_t>(at)] = {key, -1, value};
        } else {
            at = static_cast<int>(entries.size());
            entries.push_back({key, -1, value});
        }
        if (frame.lastEntry == -1)
            frame.firstEntry = at;
        else
            entries[static_cast<size_t>(frame.lastEntry)].next = at;
        frame.lastEntry = at;
        ++frame.entryCount;
        frame.keyBits |= keyBit(key);
    }

    void set(Frame& frame, int key, const Value& value)
    {
        if (Entry* entry = find(frame, key)) {
            release(entry->value);
            entry->value = value;
        } else {
            append(frame, key, value);
        }
    }

    // The strings of a replaced node's entries belong to that node alone. A replaced value on its
    // own may still lend its string to the text that replaces it, so its strings stay.
    void releaseLater(const Value& value, bool withStrings)
    {
        if (value.tag == Value::Tag::Node) {
            releasing.push_back(indexOf(value));
        } else if (value.tag == Value::Tag::List) {
            for (const Value& item : lists[static_cast<size_t>(indexOf(value))])
                releaseLater(item, withStrings);
        } else if (value.tag == Value::Tag::String && withStrings) {
            strings[static_cast<size_t>(indexOf(value))] = QString();
        }
    }

    // A value that nothing refers to any more: its nodes and their entries go to the free lists.
    void release(const Value& value)
    {
        releaseLater(value, false);
        while (!releasing.empty()) {
            const int index = releasing.back();
            releasing.pop_back();
            Node& node = nodes[static_cast<size_t>(index)];
            for (int i = node.firstEntry; i != -1;) {
                Entry& entry = entries[static_cast<size_t>(i)];
                const int next = entry.next;
                releaseLater(entry.value, true);
                entry.next = freeEntries;
                freeEntries = i;
                i = next;
            }
            for (int i = node.firstItem; i < node.firstItem + node.itemCount; ++i)
                releasing.push_back(items[static_cast<size_t>(i)]);
            node = Node();
            node.firstEntry = freeNodes;
            freeNodes = index;
        }
    }

    int addNode(const Node& node)
    {
        int at = freeNodes;
        if (at != -1) {
            freeNodes = nodes[static_cast<size_t>(at)].firstEntry;
            nodes[static_cast<size_t>(at)] = node;
        } else {
            at = static_cast<int>(nodes.size());
            nodes.push_back(node);
        }
        return at;
    }

    int addString(QString text)
    {
        strings.push_back(std::move(text));
        return static_cast<int>(strings.size() - 1);
    }

    // The text so far becomes the element's value.
    void flushText(Frame& frame)
    {
        if (!frame.hasText)
            return;
        if (frame.spilled) {
            frame.textStart = static_cast<qsizetype>(texts.size());
            frame.textLength = static_cast<qsizetype>(frame.spill.size());
            texts.append(frame.spill);
            frame.spill.clear();
            frame.spilled = false;
        }
        set(frame, kValueKey, Value{Value::Tag::Text, frame.textBase, frame.textStart, frame.textLength});
        frame.hasText = false;
        frame.textBase = -1;
    }

    void addChild(Frame& parent, int key, int child)
    {
        const Value node{Value::Tag::Node, -1, child};
        if (parent.kind == Kind::Array) {
            parent.items.push_back(child);
            return;
        }
        if (parent.kind != Kind::Unknown)
            return;  // a typed element keeps no children
        if (key == kValueKey) {
            // The child takes the place of the text so far; later text starts afresh.
            flushText(parent);
            parent.textBase = -1;
        } else if (key == kTypeKey) {
            parent.kind = Kind::OtherType;  // the element's type is no longer "unknown"
        }
        if (!gatherDuplicates) {
            set(parent, key, node);
            return;
        }
        Entry* earlier = find(parent, key);
        if (earlier == nullptr) {
            append(parent, key, node);
        } else if (earlier->value.tag == Value::Tag::List) {
            lists[static_cast<size_t>(indexOf(earlier->value))].push_back(node);
        } else {
            lists.push_back({earlier->value, node});
            earlier->value = Value{Value::Tag::List, -1, static_cast<qsizetype>(lists.size() - 1)};
        }
    }

    void start(int nameId, const XMLEventAttributes& attributes)
    {
        if (skipped > 0 || (depth > 0 && frames[depth - 1].kind != Kind::Unknown && frames[depth - 1].kind != Kind::Array)) {
            ++skipped;
            return;
        }
        if (depth == frames.size())
            frames.emplace_back();
        Frame& element = frames[depth++];
        element.reset(nameId, keyOf(nameId));
        int type = -1;
        const int count = attributes.count();
        for (int i = 0; i < count; ++i) {
            const int attributeId = attributes.nameId(i);
            const int key = keyOf(attributeId);
            const int value = addString(attributes.value(i));
            if (attributeId == typeNameId)
                type = value;
            else if (key == kValueKey)
                element.textBase = value;
            append(element, key, Value{Value::Tag::String, -1, value});
        }
        Value typeValue{Value::Tag::UnknownType};
        if (type >= 0 && !strings[static_cast<size_t>(type)].isEmpty()) {
            const QString& text = strings[static_cast<size_t>(type)];
            if (text == kUnknownType)
                element.kind = Kind::Unknown;
            else if (text == u"array")
                element.kind = Kind::Array;
            else if (text == u"integer")
                element.kind = Kind::Integer;
            else if (text == u"datetime")
                element.kind = Kind::DateTime;
            else
                element.kind = Kind::OtherType;
            typeValue = Value{Value::Tag::String, -1, type};
        }
        // The parser's own keys replace attributes of the same names.
        set(element, kTypeKey, typeValue);
        set(element, kNameKey, Value{Value::Tag::ElementName, -1, nameId});
    }

    void characters(QByteArrayView text)
    {
        if (skipped > 0 || depth == 0 || text.isEmpty())
            return;
        Frame& top = frames[depth - 1];
        if (!top.hasText) {
            top.hasText = true;
            top.textStart = static_cast<qsizetype>(texts.size());
            top.textLength = 0;
        }
        if (!top.spilled && top.textStart + top.textLength == static_cast<qsizetype>(texts.size())) {
            texts.append(text.data(), static_cast<size_t>(text.size()));
            top.textLength += text.size();
            return;
        }
        if (!top.spilled) {
            top.spill.assign(texts, static_cast<size_t>(top.textStart), static_cast<size_t>(top.textLength));
            top.spilled = true;
        }
        top.spill.append(text.data(), static_cast<size_t>(text.size()));
    }

    void end(std::optional<TTXMLNodeDictionary>& root)
    {
        if (skipped > 0) {
            --skipped;
            return;
        }
        if (depth == 0)
            return;
        Frame& top = frames[depth - 1];
        flushText(top);
        Node node;
        node.kind = top.kind;
        node.firstEntry = top.firstEntry;
        if (top.kind == Kind::Array) {
            node.firstItem = static_cast<int>(items.size());
            node.itemCount = static_cast<int>(top.items.size());
            items.insert(items.end(), top.items.begin(), top.items.end());
        }
        const int index = addNode(node);
        --depth;
        if (depth == 0) {
            root = dictionary(index);
            rootEnded = true;
        } else {
            addChild(frames[depth - 1], top.key, index);
        }
    }

    // ---- what survives, as Qt values ----

    const QString& keyText(int key) const
    {
        switch (key) {
        case kNameKey:
            return kName;
        case kTypeKey:
            return kType;
        case kValueKey:
            return kValue;
        case kArrayKey:
            return kArray;
        default:
            return parser.nameText(key);
        }
    }

    QVariant variant(const Value& value) const
    {
        switch (value.tag) {
        case Value::Tag::String:
            return strings[static_cast<size_t>(value.a)];
        case Value::Tag::ElementName:
            return parser.nameText(indexOf(value));
        case Value::Tag::UnknownType:
            return kUnknownType;
        case Value::Tag::Text: {
            QString text = QString::fromUtf8(texts.data() + value.a, value.b);
            if (value.c >= 0)
                text.prepend(strings[static_cast<size_t>(value.c)]);
            return text;
        }
        case Value::Tag::Node:
            return dictionary(indexOf(value));
        case Value::Tag::List: {
            QVariantList list;
            const std::vector<Value>& values = lists[static_cast<size_t>(value.a)];
            list.reserve(static_cast<qsizetype>(values.size()));
            for (const Value& item : values)
                list.append(variant(item));
            return list;
        }
        }
        return QVariant();
    }

    TTXMLNodeDictionary dictionary(int index) const
    {
        const Node& node = nodes[static_cast<size_t>(index)];
        TTXMLNodeDictionary map;
        for (int i = node.firstEntry; i != -1; i = entries[static_cast<size_t>(i)].next) {
            const Entry& entry = entries[static_cast<size_t>(i)];
            map.insert(keyText(entry.key), variant(entry.value));
        }
        if (node.kind == Kind::Array) {
            QVariantList children;
            children.reserve(node.itemCount);
            for (int i = node.firstItem; i < node.firstItem + node.itemCount; ++i)
                children.append(dictionary(items[static_cast<size_t>(i)]));
            map.insert(kArray, children);
        } else if (node.kind == Kind::Integer) {
            map.insert(kValue, NSStringValues::intValue(map.value(kValue).toString()));
        } else if (node.kind == Kind::DateTime) {
            const auto it = map.find(kValue);
            if (it != map.end() && it->typeId() == QMetaType::QString) {
                if (const std::optional<QDateTime> date = readDateTime(it->toString()))
                    *it = *date;
            }
        }
        return map;
    }
};

TTXMLParser::TTXMLParser(QByteArray data)
    : XMLEventParser(std::move(data))
{
}

TTXMLParser::~TTXMLParser() = default;

bool TTXMLParser::parse()
{
    Build build(*this, m_treatDuplicateKeysAsArrayItems, data().size());
    m_build = &build;
    setDelegate(this);
    const bool wellFormed = XMLEventParser::parse();
    setDelegate(nullptr);
    m_build = nullptr;
    // A document whose root never ended is not well-formed either.
    return wellFormed && build.rootEnded && build.depth == 0 && build.skipped == 0;
}

void TTXMLParser::didStartElementRaw(XMLEventParser&, int nameId, const XMLEventAttributes& attributes)
{
    m_build->start(nameId, attributes);
}

void TTXMLParser::didEndElementRaw(XMLEventParser&, int)
{
    m_build->end(m_rootObject);
}

void TTXMLParser::foundCharactersRaw(XMLEventParser&, QByteArrayView text)
{
    m_build->characters(text);
}

// CDATA is character data like any other here.
void TTXMLParser::foundCDATARaw(XMLEventParser&, QByteArrayView block)
{
    m_build->characters(block);
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
