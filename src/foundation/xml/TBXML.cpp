#include "foundation/xml/TBXML.h"

#include "foundation/xml/TBXML_Compression.h"

#include <QFile>
#include <QStringDecoder>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr char kCDATAOpen[] = "<![CDATA[";
constexpr size_t kCDATAOpenLength = sizeof kCDATAOpen - 1;
constexpr char kCDATAClose[] = "]]>";
constexpr size_t kCDATACloseLength = sizeof kCDATAClose - 1;
constexpr char kCommentOpen[] = "<!--";
constexpr char kCommentClose[] = "-->";

// Only the ASCII white space: a byte of a multi-byte UTF-8 character is never trimmed away.
bool isWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool startsWith(const char* at, const char* prefix, size_t length)
{
    return std::strncmp(at, prefix, length) == 0;
}

void trimText(TBXMLElement* element)
{
    char* text = element->text;
    if (!text)
        return;
    while (isWhite(*text))
        ++text;
    char* end = text + std::strlen(text);
    while (end > text && isWhite(end[-1]))
        *--end = '\0';
    element->text = text;
}

// Removes each "<![CDATA[" and its "]]>" from a finished, zero-terminated attribute value.
bool cutCDATAMarkers(char* value)
{
    char* search = value;
    while (char* open = std::strstr(search, kCDATAOpen)) {
        char* content = open + kCDATAOpenLength;
        char* close = std::strstr(content, kCDATAClose);
        if (!close)
            return false;
        const size_t contentLength = static_cast<size_t>(close - content);
        std::memmove(open, content, contentLength);
        char* after = close + kCDATACloseLength;
        std::memmove(open + contentLength, after, std::strlen(after) + 1);
        search = open + contentLength;
    }
    return true;
}

// The first '<' or '>' after a tag's '<', stepping over CDATA sections inside the tag.
// Null when there is none; sets broken when a CDATA section there has no end.
char* findTagEnd(char* tagStart, bool& broken)
{
    char* at = tagStart + 1;
    while ((at = std::strpbrk(at, "<>"))) {
        if (*at == '>' || !startsWith(at, kCDATAOpen, kCDATAOpenLength))
            return at;
        char* close = std::strstr(at + kCDATAOpenLength, kCDATAClose);
        if (!close) {
            broken = true;
            return nullptr;
        }
        at = close + kCDATACloseLength;
    }
    return nullptr;
}

QString emptyString()
{
    return QString(QLatin1String(""));
}

// Null for bytes that are not UTF-8, so callers can tell them from an empty text.
QString stringFromUtf8(const char* text)
{
    const size_t length = std::strlen(text);
    if (length == 0)
        return emptyString();
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString result = decoder.decode(QByteArrayView(text, static_cast<qsizetype>(length)));
    if (decoder.hasError())
        return QString();
    return result;
}

bool nameEquals(const char* name, const QByteArray& wanted)
{
    return name && std::strlen(name) == static_cast<size_t>(wanted.size())
        && std::memcmp(name, wanted.constData(), static_cast<size_t>(wanted.size())) == 0;
}

void report(Error* error, int32_t code)
{
    if (error)
        *error = TBXML::errorWithCode(code);
}

// The first of first and its later siblings with the given name; anchor is the element the
// caller named, which must be present.
TBXMLElement* findNamed(const QString& name, TBXMLElement* anchor, TBXMLElement* first, Error* error)
{
    if (!anchor) {
        report(error, TBXML::kElementIsNil);
        return nullptr;
    }
    if (name.isNull()) {
        report(error, TBXML::kParamNameIsNil);
        return nullptr;
    }
    const QByteArray wanted = name.toUtf8();
    for (TBXMLElement* element = first; element; element = element->nextSibling) {
        if (nameEquals(element->name, wanted))
            return element;
    }
    report(error, TBXML::kElementNotFound);
    return nullptr;
}

}  // namespace

TBXML::~TBXML()
{
    release();
}

void TBXML::release()
{
    std::free(bytes);
    bytes = nullptr;
    bytesLength = 0;
    while (currentElementBuffer) {
        TBXMLElementBuffer* previous = currentElementBuffer->previous;
        delete currentElementBuffer;
        currentElementBuffer = previous;
    }
    while (currentAttributeBuffer) {
        TBXMLAttributeBuffer* previous = currentAttributeBuffer->previous;
        delete currentAttributeBuffer;
        currentAttributeBuffer = previous;
    }
    currentElement = 0;
    currentAttribute = 0;
    m_rootXMLElement = nullptr;
    m_verbatimSpans.clear();
}

// ---- Construction ---------------------------------------------------------------------------

void TBXML::initWithXMLString(const QString& string, Error* error)
{
    const QByteArray utf8 = string.toUtf8();
    decodeBytesOfLength(utf8.constData(), utf8.size(), error);
}

void TBXML::initWithXMLData(const QByteArray& data, Error* error)
{
    decodeData(data, error);
}

void TBXML::initWithXMLFile(const QString& fileName, Error* error)
{
    initWithXMLFile(fileName, QString(), error);
}

void TBXML::initWithXMLFile(const QString& fileName, const QString& fileExtension, Error* error)
{
    const QString resourceName = fileExtension.isEmpty() ? fileName : fileName + QLatin1Char('.') + fileExtension;
    const QString path = QStringLiteral(":/") + resourceName;
    if (!QFile::exists(path)) {
        release();
        if (error)
            *error = errorWithCode(kFileNotFoundInBundle, {{QLatin1String(kFilePathErrorKey), resourceName}});
        return;
    }
    decodeData(TBXML_Compression::dataWithUncompressedContentsOfFile(path).value_or(QByteArray()), error);
}

int32_t TBXML::decodeData(const QByteArray& data, Error* error)
{
    return decodeBytesOfLength(data.constData(), data.size(), error);
}

int32_t TBXML::decodeBytesOfLength(const char* source, qsizetype length, Error* error)
{
    const int32_t code = allocateBytesOfLength(length, error);
    if (code != kNoError)
        return code;
    std::memcpy(bytes, source, static_cast<size_t>(length));
    bytes[length] = '\0';
    if (!decodeBytes() || !m_rootXMLElement) {
        report(error, kDecodeFailure);
        return kDecodeFailure;
    }
    return kNoError;
}

int32_t TBXML::allocateBytesOfLength(qsizetype length, Error* error)
{
    release();
    if (length <= 0) {
        report(error, kDataIsNil);
        return kDataIsNil;
    }
    bytes = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (!bytes) {
        report(error, kMemoryAllocFailure);
        return kMemoryAllocFailure;
    }
    bytesLength = length;
    return kNoError;
}

std::unique_ptr<TBXML> TBXML::newTBXMLWithXMLString(const QString& string, Error* error)
{
    auto tbxml = std::make_unique<TBXML>();
    tbxml->initWithXMLString(string, error);
    return tbxml;
}

std::unique_ptr<TBXML> TBXML::newTBXMLWithXMLData(const QByteArray& data, Error* error)
{
    auto tbxml = std::make_unique<TBXML>();
    tbxml->initWithXMLData(data, error);
    return tbxml;
}

std::unique_ptr<TBXML> TBXML::newTBXMLWithXMLFile(const QString& fileName, Error* error)
{
    auto tbxml = std::make_unique<TBXML>();
    tbxml->initWithXMLFile(fileName, error);
    return tbxml;
}

std::unique_ptr<TBXML> TBXML::newTBXMLWithXMLFile(const QString& fileName, const QString& fileExtension, Error* error)
{
    auto tbxml = std::make_unique<TBXML>();
    tbxml->initWithXMLFile(fileName, fileExtension, error);
    return tbxml;
}

// ---- Parsing --------------------------------------------------------------------------------
// Every search below runs over the zero-terminated copy and stops at its first zero byte, so no
// position it yields lies past the end; a zero byte inside the document ends the parse there.

bool TBXML::decodeBytes()
{
    if (!bytes)
        return false;

    char* cursor = std::strchr(bytes, '<');
    TBXMLElement* parentElement = nullptr;

    while (cursor) {
        if (startsWith(cursor, kCommentOpen, 4)) {
            // The comment's bytes stay in place: inside a text they remain part of it.
            char* close = std::strstr(cursor + 4, kCommentClose);
            if (!close)
                return false;
            cursor = std::strchr(close + 3, '<');
            continue;
        }

        if (startsWith(cursor, kCDATAOpen, kCDATAOpenLength)) {
            // The section becomes plain text of the enclosing element. Its markers are cut out by
            // moving the content and the text up to the next real tag left by 12 bytes, and the
            // freed bytes before that tag are blanked (trimming removes them at the close).
            char* close = std::strstr(cursor + kCDATAOpenLength, kCDATAClose);
            if (!close)
                return false;
            char* stop = close + kCDATACloseLength;
            while ((stop = std::strchr(stop, '<')) && startsWith(stop, kCDATAOpen, kCDATAOpenLength)) {
                char* nestedClose = std::strstr(stop + kCDATAOpenLength, kCDATAClose);
                if (!nestedClose)
                    return false;
                stop = nestedClose + kCDATACloseLength;
            }
            if (!stop)
                return false;
            char* content = cursor + kCDATAOpenLength;
            const size_t contentLength = static_cast<size_t>(close - content);
            char* after = close + kCDATACloseLength;
            std::memmove(cursor, content, contentLength);
            std::memmove(cursor + contentLength, after, static_cast<size_t>(stop - after));
            std::memset(stop - kCDATAOpenLength - kCDATACloseLength, ' ', kCDATAOpenLength + kCDATACloseLength);
            // Later moves only shift bytes after this content, so its place is final; the cursor
            // only moves forward, so the spans come in order.
            if (contentLength > 0)
                m_verbatimSpans.push_back({cursor, cursor + contentLength});
            // A following section in the same text is met next, and unwrapped the same way.
            cursor = std::strchr(cursor + contentLength, '<');
            continue;
        }

        bool broken = false;
        char* tagEnd = findTagEnd(cursor, broken);
        if (broken)
            return false;
        if (!tagEnd)
            return true;
        // The zero at the '<' ends the text of the element before this tag.
        *tagEnd = '\0';
        *cursor = '\0';
        char* tag = cursor + 1;

        if (*tag == '?' || *tag == '!') {
            // Declarations and processing instructions carry nothing the readers use.
        } else if (*tag == '/') {
            // Closing tags are not matched by name: each closes the innermost open element.
            if (parentElement) {
                trimText(parentElement);
                parentElement = parentElement->parent;
                if (parentElement && parentElement->firstChild)
                    parentElement->text = nullptr;
            }
        } else {
            const bool selfClosing = tagEnd[-1] == '/';
            TBXMLElement* element = nextAvailableElement();
            if (!element)
                return false;
            element->name = tag;
            if (parentElement) {
                element->parent = parentElement;
                if (TBXMLElement* last = parentElement->lastChild) {
                    last->nextSibling = element;
                    element->previousSibling = last;
                } else {
                    parentElement->firstChild = element;
                }
                parentElement->lastChild = element;
            }
            // Tab and carriage return do not end a name: such a tag is all name, with no attributes.
            if (char* nameEnd = std::strpbrk(tag, " /\n")) {
                *nameEnd = '\0';
                if (!readAttributes(element, nameEnd + 1, tagEnd))
                    return false;
            }
            if (!selfClosing) {
                if (tagEnd[1] != '>')
                    element->text = tagEnd + 1;
                parentElement = element;
            }
        }
        cursor = std::strchr(tagEnd + 1, '<');
    }
    return true;
}

bool TBXML::readAttributes(TBXMLElement* element, char* begin, char* tagEnd)
{
    enum class State { NameStart, NameEnd, ValueStart, ValueEnd, ValueCDATA };
    State state = State::NameStart;
    char* name = nullptr;
    char* value = nullptr;
    char quote = '\0';
    TBXMLAttribute* last = nullptr;

    for (char* at = begin; at < tagEnd; ++at) {
        switch (state) {
        case State::NameStart:
            if (!isWhite(*at)) {
                name = at;
                state = State::NameEnd;
            }
            break;
        case State::NameEnd:
            if (isWhite(*at) || *at == '=') {
                *at = '\0';
                state = State::ValueStart;
            }
            break;
        case State::ValueStart:
            if (*at == '"' || *at == '\'') {
                quote = *at;
                value = at + 1;
                state = State::ValueEnd;
            }
            break;
        case State::ValueEnd:
            if (*at == '<' && startsWith(at, kCDATAOpen, kCDATAOpenLength)) {
                at += kCDATAOpenLength - 1;
                state = State::ValueCDATA;
            } else if (*at == quote) {
                *at = '\0';
                if (!cutCDATAMarkers(value))
                    return false;
                TBXMLAttribute* attribute = nextAvailableAttribute();
                if (!attribute)
                    return false;
                attribute->name = name;
                attribute->value = value;
                if (last)
                    last->next = attribute;
                else
                    element->firstAttribute = attribute;
                last = attribute;
                state = State::NameStart;
            }
            break;
        case State::ValueCDATA:
            if (startsWith(at, kCDATAClose, kCDATACloseLength)) {
                at += kCDATACloseLength - 1;
                state = State::ValueEnd;
            }
            break;
        }
    }
    return true;
}

TBXMLElement* TBXML::nextAvailableElement()
{
    if (currentElementBuffer && currentElement < kTBXMLRecordsPerBlock - 1) {
        TBXMLElement* element = &currentElementBuffer->records[++currentElement];
        element->document = this;
        return element;
    }
    auto* block = new (std::nothrow) TBXMLElementBuffer();
    if (!block)
        return nullptr;
    if (currentElementBuffer) {
        currentElementBuffer->next = block;
        block->previous = currentElementBuffer;
    } else {
        m_rootXMLElement = &block->records[0];
    }
    currentElementBuffer = block;
    currentElement = 0;
    block->records[0].document = this;
    return &block->records[0];
}

TBXMLAttribute* TBXML::nextAvailableAttribute()
{
    if (currentAttributeBuffer && currentAttribute < kTBXMLRecordsPerBlock - 1)
        return &currentAttributeBuffer->records[++currentAttribute];
    auto* block = new (std::nothrow) TBXMLAttributeBuffer();
    if (!block)
        return nullptr;
    if (currentAttributeBuffer) {
        currentAttributeBuffer->next = block;
        block->previous = currentAttributeBuffer;
    }
    currentAttributeBuffer = block;
    currentAttribute = 0;
    return &block->records[0];
}

// ---- Reading --------------------------------------------------------------------------------

QString TBXML::elementName(TBXMLElement* element, Error* error)
{
    if (!element) {
        report(error, kElementIsNil);
        return emptyString();
    }
    if (!element->name || !*element->name) {
        report(error, kElementNameIsNil);
        return emptyString();
    }
    return stringFromUtf8(element->name);
}

QString TBXML::textForElement(TBXMLElement* element, Error* error)
{
    if (!element) {
        report(error, kElementIsNil);
        return emptyString();
    }
    if (!element->text || !*element->text) {
        report(error, kElementTextIsNil);
        return emptyString();
    }
    return stringFromUtf8(element->text);
}

QString TBXML::attributeName(TBXMLAttribute* attribute, Error* error)
{
    if (!attribute) {
        report(error, kAttributeIsNil);
        return emptyString();
    }
    if (!attribute->name) {
        report(error, kAttributeNameIsNil);
        return emptyString();
    }
    return stringFromUtf8(attribute->name);
}

QString TBXML::attributeValue(TBXMLAttribute* attribute, Error* error)
{
    if (!attribute) {
        report(error, kAttributeIsNil);
        return emptyString();
    }
    if (!attribute->value)
        return emptyString();
    return stringFromUtf8(attribute->value);
}

QString TBXML::valueOfAttributeNamed(const QString& attributeName, TBXMLElement* element, Error* error)
{
    if (!element) {
        report(error, kElementIsNil);
        return QString();
    }
    if (attributeName.isNull()) {
        report(error, kAttributeNameIsNil);
        return QString();
    }
    const QByteArray wanted = attributeName.toUtf8();
    for (TBXMLAttribute* attribute = element->firstAttribute; attribute; attribute = attribute->next) {
        if (!nameEquals(attribute->name, wanted))
            continue;
        QString value = stringFromUtf8(attribute->value);
        if (value.isNull())
            break;
        return value;
    }
    report(error, kAttributeNotFound);
    return QString();
}

TBXMLElement* TBXML::childElementNamed(const QString& name, TBXMLElement* parentElement, Error* error)
{
    return findNamed(name, parentElement, parentElement ? parentElement->firstChild : nullptr, error);
}

TBXMLElement* TBXML::nextSiblingNamed(const QString& name, TBXMLElement* searchFromElement, Error* error)
{
    return findNamed(name, searchFromElement, searchFromElement ? searchFromElement->nextSibling : nullptr, error);
}

void TBXML::iterateElementsForQuery(const QString& query, TBXMLElement* fromElement, const TBXMLIterateBlock& block)
{
    if (!fromElement || !block)
        return;
    static const QString kAny = QStringLiteral("*");
    const QStringList parts = query.split(QLatin1Char('.'));
    TBXMLElement* current = fromElement;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool lastPart = i == parts.size() - 1;
        if (parts[i] == kAny) {
            current = current->firstChild;
            if (!current)
                return;
            if (!lastPart) {
                const QString rest = parts.mid(i + 1).join(QLatin1Char('.'));
                for (TBXMLElement* child = current; child; child = child->nextSibling)
                    iterateElementsForQuery(rest, child, block);
                return;
            }
        } else {
            current = childElementNamed(parts[i], current);
            if (!current)
                return;
        }
    }
    if (parts.last() == kAny) {
        for (TBXMLElement* element = current; element; element = element->nextSibling)
            block(element);
        return;
    }
    const QByteArray wanted = parts.last().toUtf8();
    for (TBXMLElement* element = current; element; element = element->nextSibling) {
        if (nameEquals(element->name, wanted))
            block(element);
    }
}

void TBXML::iterateAttributesOfElement(TBXMLElement* element, const TBXMLIterateAttributeBlock& block)
{
    if (!element || !block)
        return;
    for (TBXMLAttribute* attribute = element->firstAttribute; attribute; attribute = attribute->next)
        block(attribute, attributeName(attribute), attributeValue(attribute));
}

// ---- Errors ---------------------------------------------------------------------------------

QString TBXML::errorTextForCode(int32_t code)
{
    switch (code) {
    case kDataIsNil: return QStringLiteral("Data is nil");
    case kDecodeFailure: return QStringLiteral("Decode failure");
    case kMemoryAllocFailure: return QStringLiteral("Unable to allocate memory");
    case kFileNotFoundInBundle: return QStringLiteral("File not found in bundle");
    case kElementIsNil: return QStringLiteral("Element is nil");
    case kElementNameIsNil: return QStringLiteral("Element name is nil");
    case kElementNotFound: return QStringLiteral("Element not found");
    case kElementTextIsNil: return QStringLiteral("Element text is nil");
    case kAttributeIsNil: return QStringLiteral("Attribute is nil");
    case kAttributeNameIsNil: return QStringLiteral("Attribute name is nil");
    case kAttributeNotFound: return QStringLiteral("Attribute not found");
    case kParamNameIsNil: return QStringLiteral("Parameter name is nil");
    default: return QStringLiteral("No Error Description!");
    }
}

Error TBXML::errorWithCode(int32_t code)
{
    return errorWithCode(code, {});
}

Error TBXML::errorWithCode(int32_t code, QVariantMap userInfo)
{
    userInfo.insert(QLatin1String(Error::kLocalizedDescriptionKey), errorTextForCode(code));
    return Error(QLatin1String(kErrorDomain), code, std::move(userInfo));
}
