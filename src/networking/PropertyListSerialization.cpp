#include "networking/PropertyListSerialization.h"

#include "foundation/xml/XMLEventParser.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

#include <cmath>
#include <limits>
#include <vector>

namespace {

Error plistError(qint64 code, const QString& message)
{
    return Error(QLatin1String(Error::kCocoaErrorDomain), code,
                 {{QLatin1String(Error::kLocalizedDescriptionKey), message}});
}

void setError(std::optional<Error>* slot, const Error& error)
{
    if (slot != nullptr)
        *slot = error;
}

bool isIntegerType(int id)
{
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isUnsignedType(int id)
{
    return id == QMetaType::UInt || id == QMetaType::ULongLong || id == QMetaType::ULong || id == QMetaType::UShort ||
           id == QMetaType::UChar;
}

// XML 1.0 carries tab, line feed, carriage return and the characters from U+0020 up, except
// U+FFFE, U+FFFF and unpaired surrogates.
bool xmlCanCarry(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return false;
        if (c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        default: out += c; break;
        }
    }
    return out;
}

QString realText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

class Writer
{
public:
    bool write(const QVariant& value, int depth)
    {
        const int id = value.metaType().id();
        if (id == QMetaType::QVariantMap || id == QMetaType::QVariantHash)
            return writeDictionary(value, depth);
        if (id == QMetaType::QVariantList || id == QMetaType::QStringList)
            return writeArray(value.toList(), depth);
        if (id == QMetaType::QString) {
            const QString text = value.toString();
            if (!xmlCanCarry(text))
                return fail(QStringLiteral("Property list string holds a character XML cannot carry"));
            line(depth, QStringLiteral("<string>%1</string>").arg(escaped(text)));
            return true;
        }
        if (id == QMetaType::Bool) {
            line(depth, value.toBool() ? QStringLiteral("<true/>") : QStringLiteral("<false/>"));
            return true;
        }
        if (isIntegerType(id)) {
            line(depth, QStringLiteral("<integer>%1</integer>")
                            .arg(isUnsignedType(id) ? QString::number(value.toULongLong())
                                                    : QString::number(value.toLongLong())));
            return true;
        }
        if (id == QMetaType::Double || id == QMetaType::Float) {
            line(depth, QStringLiteral("<real>%1</real>").arg(realText(value.toDouble())));
            return true;
        }
        if (id == QMetaType::QDateTime) {
            const QDateTime date = value.toDateTime();
            if (!date.isValid())
                return fail(QStringLiteral("Property list date is not valid"));
            line(depth, QStringLiteral("<date>%1</date>").arg(date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))));
            return true;
        }
        if (id == QMetaType::QByteArray) {
            line(depth, QStringLiteral("<data>%1</data>").arg(QString::fromLatin1(value.toByteArray().toBase64())));
            return true;
        }
        return fail(QStringLiteral("Property list invalid for format: property lists cannot contain objects of type '%1'")
                        .arg(value.isValid() ? QString::fromLatin1(value.typeName()) : QStringLiteral("null")));
    }

    QString text;
    std::optional<Error> error;

private:
    bool writeDictionary(const QVariant& value, int depth)
    {
        QVariantMap map;
        if (value.metaType().id() == QMetaType::QVariantHash) {
            const QVariantHash hash = value.toHash();
            for (auto it = hash.begin(); it != hash.end(); ++it)
                map.insert(it.key(), it.value());
        } else {
            map = value.toMap();
        }
        if (map.isEmpty()) {
            line(depth, QStringLiteral("<dict/>"));
            return true;
        }
        line(depth, QStringLiteral("<dict>"));
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (!xmlCanCarry(it.key()))
                return fail(QStringLiteral("Property list key holds a character XML cannot carry"));
            line(depth + 1, QStringLiteral("<key>%1</key>").arg(escaped(it.key())));
            if (!write(it.value(), depth + 1))
                return false;
        }
        line(depth, QStringLiteral("</dict>"));
        return true;
    }

    bool writeArray(const QVariantList& list, int depth)
    {
        if (list.isEmpty()) {
            line(depth, QStringLiteral("<array/>"));
            return true;
        }
        line(depth, QStringLiteral("<array>"));
        for (const QVariant& item : list) {
            if (!write(item, depth + 1))
                return false;
        }
        line(depth, QStringLiteral("</array>"));
        return true;
    }

    void line(int depth, const QString& content)
    {
        text += QString(depth, u'\t');
        text += content;
        text += u'\n';
    }

    bool fail(const QString& message)
    {
        error = plistError(PropertyListSerialization::kWriteInvalidError, message);
        return false;
    }
};

// ---- Reading ----

std::optional<qint64> readInteger(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, 10);
    if (ok)
        return v;
    return std::nullopt;
}

std::optional<double> readReal(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("nan"))
        return std::numeric_limits<double>::quiet_NaN();
    if (t == QLatin1String("+infinity") || t == QLatin1String("infinity") || t == QLatin1String("inf") ||
        t == QLatin1String("+inf"))
        return std::numeric_limits<double>::infinity();
    if (t == QLatin1String("-infinity") || t == QLatin1String("-inf"))
        return -std::numeric_limits<double>::infinity();
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (ok)
        return v;
    return std::nullopt;
}

std::optional<QDateTime> readDate(const QString& text)
{
    QDateTime date = QDateTime::fromString(text.trimmed(), QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    if (!date.isValid())
        return std::nullopt;
    date.setTimeZone(QTimeZone::utc());
    return date;
}

std::optional<QByteArray> readData(const QString& text)
{
    QByteArray compact;
    for (const QChar c : text) {
        if (!c.isSpace())
            compact += static_cast<char>(c.unicode() < 0x80 ? c.unicode() : '!');
    }
    const QByteArray::FromBase64Result result =
        QByteArray::fromBase64Encoding(compact, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return result.decoded;
}

// Builds the value from the parser's events. Each open element has a frame; containers collect
// their children, scalars their text.
class Reader : public XMLEventParserDelegate
{
public:
    std::optional<QVariant> root;
    QString failure;

    void didStartElement(XMLEventParser&, const QString& name, const QString&, const QString&,
                         const QVariantMap&) override
    {
        if (!failure.isEmpty())
            return;
        if (m_frames.empty() && !m_seenRoot && name == QLatin1String("plist")) {
            m_seenRoot = true;
            m_frames.push_back(frameFor(name));
            return;
        }
        m_seenRoot = true;
        static const QStringList known = {QStringLiteral("dict"),    QStringLiteral("array"), QStringLiteral("key"),
                                          QStringLiteral("string"),  QStringLiteral("integer"), QStringLiteral("real"),
                                          QStringLiteral("true"),    QStringLiteral("false"), QStringLiteral("date"),
                                          QStringLiteral("data")};
        if (!known.contains(name)) {
            failure = QStringLiteral("Unexpected element <%1> in property list").arg(name);
            return;
        }
        if (name == QLatin1String("key") && (m_frames.empty() || m_frames.back().name != QLatin1String("dict"))) {
            failure = QStringLiteral("A key outside a dictionary");
            return;
        }
        if (!m_frames.empty()) {
            const Frame& parent = m_frames.back();
            const bool parentTakesChildren = parent.name == QLatin1String("dict") || parent.name == QLatin1String("array") ||
                                             parent.name == QLatin1String("plist");
            if (!parentTakesChildren) {
                failure = QStringLiteral("Element <%1> inside <%2>").arg(name, parent.name);
                return;
            }
            if (parent.name == QLatin1String("dict") && (name == QLatin1String("key")) == parent.pendingKey.has_value()) {
                failure = QStringLiteral("Dictionary keys and values do not alternate");
                return;
            }
        }
        m_frames.push_back(frameFor(name));
    }

    void didEndElement(XMLEventParser&, const QString&, const QString&, const QString&) override
    {
        if (!failure.isEmpty() || m_frames.empty())
            return;
        Frame frame = std::move(m_frames.back());
        m_frames.pop_back();
        if (frame.name == QLatin1String("plist")) {
            if (!frame.value.has_value())
                failure = QStringLiteral("The property list holds no value");
            else
                root = frame.value;
            return;
        }
        if (frame.name == QLatin1String("key")) {
            m_frames.back().pendingKey = frame.text;
            return;
        }
        std::optional<QVariant> value = finish(frame);
        if (!value.has_value())
            return;
        if (m_frames.empty()) {
            root = value;
            return;
        }
        Frame& parent = m_frames.back();
        if (parent.name == QLatin1String("dict")) {
            parent.map.insert(*parent.pendingKey, *value);
            parent.pendingKey.reset();
        } else if (parent.name == QLatin1String("array")) {
            parent.list.append(*value);
        } else if (parent.value.has_value()) {
            failure = QStringLiteral("The property list holds more than one value");
        } else {
            parent.value = value;
        }
    }

    void foundCharacters(XMLEventParser&, const QString& string) override { addText(string); }
    void foundCDATA(XMLEventParser&, const QByteArray& block) override { addText(QString::fromUtf8(block)); }

private:
    struct Frame
    {
        QString name;
        QString text;
        QVariantMap map;
        QVariantList list;
        std::optional<QString> pendingKey;
        std::optional<QVariant> value;
    };

    static Frame frameFor(const QString& name)
    {
        Frame frame;
        frame.name = name;
        return frame;
    }

    void addText(const QString& string)
    {
        if (!failure.isEmpty() || m_frames.empty())
            return;
        Frame& frame = m_frames.back();
        const bool container = frame.name == QLatin1String("dict") || frame.name == QLatin1String("array") ||
                               frame.name == QLatin1String("plist");
        if (container) {
            if (!string.trimmed().isEmpty())
                failure = QStringLiteral("Text inside <%1>").arg(frame.name);
            return;
        }
        frame.text += string;
    }

    std::optional<QVariant> finish(const Frame& frame)
    {
        const QString& n = frame.name;
        if (n == QLatin1String("dict")) {
            if (frame.pendingKey.has_value()) {
                failure = QStringLiteral("Dictionary key \"%1\" has no value").arg(*frame.pendingKey);
                return std::nullopt;
            }
            return QVariant(frame.map);
        }
        if (n == QLatin1String("array"))
            return QVariant(frame.list);
        if (n == QLatin1String("string"))
            return QVariant(frame.text);
        if (n == QLatin1String("true") || n == QLatin1String("false")) {
            if (!frame.text.trimmed().isEmpty()) {
                failure = QStringLiteral("Text inside <%1>").arg(n);
                return std::nullopt;
            }
            return QVariant(n == QLatin1String("true"));
        }
        if (n == QLatin1String("integer")) {
            if (const auto v = readInteger(frame.text))
                return QVariant(static_cast<qlonglong>(*v));
        } else if (n == QLatin1String("real")) {
            if (const auto v = readReal(frame.text))
                return QVariant(*v);
        } else if (n == QLatin1String("date")) {
            if (const auto v = readDate(frame.text))
                return QVariant(*v);
        } else if (n == QLatin1String("data")) {
            if (const auto v = readData(frame.text))
                return QVariant(*v);
        }
        failure = QStringLiteral("Malformed <%1> value \"%2\"").arg(n, frame.text.trimmed().left(40));
        return std::nullopt;
    }

    std::vector<Frame> m_frames;
    bool m_seenRoot = false;
};

}  // namespace

namespace PropertyListSerialization {

std::optional<QByteArray> dataWithPropertyList(const QVariant& plist, unsigned format, unsigned,
                                               std::optional<Error>* error)
{
    if (format != XMLFormat_v1_0) {
        setError(error, plistError(kWriteInvalidError,
                                   QStringLiteral("Property list format %1 is not supported for writing").arg(format)));
        return std::nullopt;
    }
    Writer writer;
    writer.text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n");
    if (!writer.write(plist, 0)) {
        setError(error, *writer.error);
        return std::nullopt;
    }
    writer.text += QLatin1String("</plist>\n");
    return writer.text.toUtf8();
}

std::optional<QVariant> propertyListWithData(const QByteArray& data, unsigned, std::optional<Error>* error)
{
    if (data.startsWith("bplist")) {
        setError(error, plistError(kReadCorruptError, QStringLiteral("Binary property lists are not supported")));
        return std::nullopt;
    }
    Reader reader;
    XMLEventParser parser(data);
    parser.setDelegate(&reader);
    const bool parsed = parser.parse();
    if (parsed && reader.failure.isEmpty() && reader.root.has_value())
        return reader.root;
    QString message = reader.failure;
    if (message.isEmpty())
        message = parser.parserError().has_value() ? parser.parserError()->localizedDescription()
                                                   : QStringLiteral("The data holds no property list");
    QVariantMap info{{QLatin1String(Error::kLocalizedDescriptionKey),
                      QStringLiteral("The data couldn\u2019t be read because it isn\u2019t in the correct format.")},
                     {QStringLiteral("NSDebugDescription"), message}};
    if (parser.parserError().has_value())
        info.insert(QLatin1String(Error::kUnderlyingErrorKey), QVariant::fromValue(*parser.parserError()));
    setError(error, Error(QLatin1String(Error::kCocoaErrorDomain), kReadCorruptError, info));
    return std::nullopt;
}

}  // namespace PropertyListSerialization
