#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The fast, read-only XML reader of the news, ranking, slide, search, article and medal readers.
// The document is copied once into a zero-terminated buffer and cut apart in place: every name,
// text and attribute value is a pointer into that copy, and the tree is made of plain records
// drawn from blocks of 100. Nothing is validated, closing tags are not matched against their
// opening tags, and entity references are left as written.
//
// Records and strings live exactly as long as the TBXML object that made them; a record block is
// never moved, so pointers handed out stay valid until the object is destroyed.

struct TBXMLAttribute
{
    char* name = nullptr;
    char* value = nullptr;
    TBXMLAttribute* next = nullptr;
};

struct TBXMLElement
{
    char* name = nullptr;
    char* text = nullptr;  // null when the element has none, or lost it to a closed child
    TBXMLAttribute* firstAttribute = nullptr;
    TBXMLElement* parent = nullptr;
    TBXMLElement* firstChild = nullptr;
    TBXMLElement* lastChild = nullptr;  // the child appended most recently
    TBXMLElement* nextSibling = nullptr;
    TBXMLElement* previousSibling = nullptr;
    // The reader that made the record: it knows which parts of the text were CDATA sections.
    const class TBXML* document = nullptr;
};

inline constexpr int kTBXMLRecordsPerBlock = 100;

struct TBXMLElementBuffer
{
    TBXMLElement records[kTBXMLRecordsPerBlock] = {};
    TBXMLElementBuffer* next = nullptr;
    TBXMLElementBuffer* previous = nullptr;
};

struct TBXMLAttributeBuffer
{
    TBXMLAttribute records[kTBXMLRecordsPerBlock] = {};
    TBXMLAttributeBuffer* next = nullptr;
    TBXMLAttributeBuffer* previous = nullptr;
};

using TBXMLIterateBlock = std::function<void(TBXMLElement* element)>;
using TBXMLIterateAttributeBlock =
    std::function<void(TBXMLAttribute* attribute, const QString& attributeName, const QString& attributeValue)>;
using TBXMLSuccessBlock = std::function<void(class TBXML* tbxml)>;
using TBXMLFailureBlock = std::function<void(class TBXML* tbxml, const Error& error)>;

class TBXML : public std::enable_shared_from_this<TBXML>
{
public:
    static constexpr auto kErrorDomain = "com.71squared.tbxml";
    // The user-info key under which a missing resource's name is reported.
    static constexpr auto kFilePathErrorKey = "NSFilePath";

    enum ErrorCode : int32_t {
        kNoError = 0,
        kDataIsNil = 1,
        kDecodeFailure = 2,
        kMemoryAllocFailure = 3,
        kFileNotFoundInBundle = 4,
        kElementIsNil = 5,
        kElementNameIsNil = 6,
        kElementNotFound = 7,
        kElementTextIsNil = 8,
        kAttributeIsNil = 9,
        kAttributeNameIsNil = 10,
        kAttributeNotFound = 11,
        kParamNameIsNil = 12,
    };

    // The empty reader: no root, no buffers, no bytes.
    TBXML() = default;
    ~TBXML();
    TBXML(const TBXML&) = delete;
    TBXML& operator=(const TBXML&) = delete;

    // Filling a reader. Each reports through error (when given). A document that breaks off
    // inside a comment or CDATA section reports code 2 but keeps the elements made before the
    // break. Filling a reader that already holds a document first releases that document, with
    // every record and string of it.
    void initWithXMLString(const QString& string, Error* error = nullptr);
    void initWithXMLData(const QByteArray& data, Error* error = nullptr);
    // A document among the program's resources (":/name"); a name ending in "gz" is inflated.
    void initWithXMLFile(const QString& fileName, Error* error = nullptr);
    void initWithXMLFile(const QString& fileName, const QString& fileExtension, Error* error = nullptr);
    // Parses data into this reader; answers the error code, 0 on success.
    int32_t decodeData(const QByteArray& data, Error* error = nullptr);

    static std::unique_ptr<TBXML> newTBXMLWithXMLString(const QString& string, Error* error = nullptr);
    static std::unique_ptr<TBXML> newTBXMLWithXMLData(const QByteArray& data, Error* error = nullptr);
    static std::unique_ptr<TBXML> newTBXMLWithXMLFile(const QString& fileName, Error* error = nullptr);
    static std::unique_ptr<TBXML> newTBXMLWithXMLFile(const QString& fileName, const QString& fileExtension,
                                                      Error* error = nullptr);

    // Fetching (in TBXML_HTTP.cpp). The reader is returned empty at once and filled on a background
    // thread, where the blocks also run. The fetch keeps the reader alive until its blocks have
    // run, so initWithURL needs a reader owned by a std::shared_ptr (it throws std::bad_weak_ptr
    // otherwise, before anything is sent).
    static std::shared_ptr<TBXML> newTBXMLWithURL(const QUrl& url, TBXMLSuccessBlock success, TBXMLFailureBlock failure);
    void initWithURL(const QUrl& url, TBXMLSuccessBlock success, TBXMLFailureBlock failure);

    TBXMLElement* rootXMLElement() const { return m_rootXMLElement; }

    // The bytes of the copy that came out of CDATA sections, as [begin, end) ranges in document
    // order. XML keeps such text literal, so a reader that decodes references must skip them.
    struct VerbatimSpan
    {
        const char* begin;
        const char* end;
    };
    const std::vector<VerbatimSpan>& verbatimSpans() const { return m_verbatimSpans; }

    // Readers. A null element or attribute is reported (codes 5 and 9) rather than followed;
    // byte strings that are not valid UTF-8 come back as null strings.
    static QString elementName(TBXMLElement* element, Error* error = nullptr);
    static QString textForElement(TBXMLElement* element, Error* error = nullptr);
    static QString attributeName(TBXMLAttribute* attribute, Error* error = nullptr);
    static QString attributeValue(TBXMLAttribute* attribute, Error* error = nullptr);
    // Null when there is no such attribute (or its value is not UTF-8); "" for an empty value.
    static QString valueOfAttributeNamed(const QString& attributeName, TBXMLElement* element, Error* error = nullptr);
    static TBXMLElement* childElementNamed(const QString& name, TBXMLElement* parentElement, Error* error = nullptr);
    static TBXMLElement* nextSiblingNamed(const QString& name, TBXMLElement* searchFromElement, Error* error = nullptr);

    // Calls block for every element that the dotted query reaches from fromElement: "a.b" the
    // b children of the first a child, "*" any child, "a.*.c" every c under every child of a.
    static void iterateElementsForQuery(const QString& query, TBXMLElement* fromElement, const TBXMLIterateBlock& block);
    static void iterateAttributesOfElement(TBXMLElement* element, const TBXMLIterateAttributeBlock& block);

    static QString errorTextForCode(int32_t code);
    static Error errorWithCode(int32_t code);
    static Error errorWithCode(int32_t code, QVariantMap userInfo);

private:
    // Releases any document held, stores the length and allocates length + 1 bytes; answers
    // 0, 1 (empty) or 3 (no memory).
    int32_t allocateBytesOfLength(qsizetype length, Error* error);
    // The in-place parse of bytes; false when the document breaks off inside a comment, a CDATA
    // section or a tag's CDATA value, or when records cannot be allocated.
    bool decodeBytes();
    bool readAttributes(TBXMLElement* element, char* begin, char* tagEnd);
    TBXMLElement* nextAvailableElement();
    TBXMLAttribute* nextAvailableAttribute();
    int32_t decodeBytesOfLength(const char* source, qsizetype length, Error* error);
    void release();

    TBXMLElement* m_rootXMLElement = nullptr;
    char* bytes = nullptr;
    qsizetype bytesLength = 0;
    TBXMLElementBuffer* currentElementBuffer = nullptr;
    qsizetype currentElement = 0;
    TBXMLAttributeBuffer* currentAttributeBuffer = nullptr;
    qsizetype currentAttribute = 0;
    std::vector<VerbatimSpan> m_verbatimSpans;
};
