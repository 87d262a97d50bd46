#pragma once

#include "platform/Error.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

// Regular expressions on strings, backed by ICU. Every function takes the string it works on first.
// A null QString stands for "no string": as a subject, pattern or template it is a caller error and
// raises; as an answer it means "none" (a pattern that does not compile, no match for a capture).
// Compiled expressions are kept in one process-wide cache, so repeating a pattern costs no compile;
// every function may be called from any thread.
namespace RegexKitLiteAdditions {

using NSInteger = qint64;
using NSUInteger = quint64;

inline constexpr NSUInteger NSNotFound = static_cast<NSUInteger>(std::numeric_limits<qint64>::max());
inline constexpr NSUInteger NSUIntegerMax = std::numeric_limits<NSUInteger>::max();

// A span of UTF-16 units. A length of NSUIntegerMax asks for everything up to the end of the subject.
struct NSRange
{
    NSUInteger location = 0;
    NSUInteger length = 0;

    bool operator==(const NSRange& other) const = default;
};

constexpr NSRange NSMakeRange(NSUInteger location, NSUInteger length)
{
    return NSRange{location, length};
}

// ICU's uregex_open flags, handed over unchanged (2 is ICU's case-insensitive flag).
using RKLRegexOptions = uint32_t;

using RKLRegexEnumerationOptions = NSUInteger;
inline constexpr RKLRegexEnumerationOptions RKLRegexEnumerationNoOptions = 0;
// The block only looks at the ranges: the captured-string array holds null strings.
inline constexpr RKLRegexEnumerationOptions RKLRegexEnumerationCapturedStringsNotRequired = 0x200;
// Accepted on the replacing forms only. The block's QString is a value here, so there is nothing to release.
inline constexpr RKLRegexEnumerationOptions RKLRegexEnumerationReleaseStringReturnedByReplacementBlock = 0x400;
// Accepted, no further effect: captured strings are values and stay valid after the block returns.
inline constexpr RKLRegexEnumerationOptions RKLRegexEnumerationStringsValidOnlyDuringBlock = 0x800;

inline constexpr auto RKLICURegexErrorDomain = "RKLICURegexErrorDomain";
inline constexpr auto RKLICURegexErrorCodeKey = "RKLICURegexErrorCode";
inline constexpr auto RKLICURegexErrorNameKey = "RKLICURegexErrorName";
inline constexpr auto RKLICURegexLineKey = "RKLICURegexLine";
inline constexpr auto RKLICURegexOffsetKey = "RKLICURegexOffset";
inline constexpr auto RKLICURegexPreContextKey = "RKLICURegexPreContext";
inline constexpr auto RKLICURegexPostContextKey = "RKLICURegexPostContext";
inline constexpr auto RKLICURegexRegexKey = "RKLICURegexRegex";
inline constexpr auto RKLICURegexRegexOptionsKey = "RKLICURegexRegexOptions";
inline constexpr auto RKLICURegexSubjectStringKey = "RKLICURegexSubjectString";
inline constexpr auto RKLICURegexSubjectRangeKey = "RKLICURegexSubjectRange";
inline constexpr auto RKLICURegexReplacementStringKey = "RKLICURegexReplacementString";
inline constexpr auto RKLICURegexReplacedStringKey = "RKLICURegexReplacedString";
inline constexpr auto RKLICURegexReplacedCountKey = "RKLICURegexReplacedCount";
inline constexpr auto RKLICURegexEnumerationOptionsKey = "RKLICURegexEnumerationOptions";

inline constexpr auto RKLICURegexException = "RKLICURegexException";
inline constexpr auto NSInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr auto NSInternalInconsistencyException = "NSInternalInconsistencyException";
inline constexpr auto NSRangeException = "NSRangeException";

// Raised only for caller errors (and ICU failures while running an expression); the system's own
// calls never make them. what() is the reason, "*** -[QString selector]: message".
class RKLException : public std::invalid_argument
{
public:
    RKLException(const QString& name, const QString& reason, QVariantMap userInfo = {});

    const QString& name() const { return m_name; }
    const QString& reason() const { return m_reason; }
    const QVariantMap& userInfo() const { return m_userInfo; }

private:
    QString m_name;
    QString m_reason;
    QVariantMap m_userInfo;
};

// captureCount is the number of entries in both arrays: the whole match, then each group.
using RKLEnumerationBlock = std::function<void(NSInteger captureCount, const QString capturedStrings[],
                                               const NSRange capturedStringRanges[], volatile bool* stop)>;
using RKLReplacementBlock = std::function<QString(NSInteger captureCount, const QString capturedStrings[],
                                                  const NSRange capturedStringRanges[], volatile bool* stop)>;

// Key and capture-group number pairs of the dictionary operations.
using RKLKeysAndCaptures = QList<std::pair<QString, int>>;

// ---- Matching ----------------------------------------------------------------------------------

bool isMatchedByRegex(const QString& subject, const QString& regex);
bool isMatchedByRegex(const QString& subject, const QString& regex, NSRange range);
bool isMatchedByRegex(const QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                      Error* error);

// Location NSNotFound and length 0 when there is no match or the capture did not take part.
NSRange rangeOfRegex(const QString& subject, const QString& regex);
NSRange rangeOfRegex(const QString& subject, const QString& regex, NSInteger capture);
NSRange rangeOfRegex(const QString& subject, const QString& regex, NSRange range);
NSRange rangeOfRegex(const QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                     NSInteger capture, Error* error);

// Null when there is no match or the capture did not take part.
QString stringByMatching(const QString& subject, const QString& regex);
QString stringByMatching(const QString& subject, const QString& regex, NSInteger capture);
QString stringByMatching(const QString& subject, const QString& regex, NSRange range);
QString stringByMatching(const QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                         NSInteger capture, Error* error);

// ---- Components (nullopt when the pattern does not compile) -------------------------------------

std::optional<QStringList> componentsSeparatedByRegex(const QString& subject, const QString& regex);
std::optional<QStringList> componentsSeparatedByRegex(const QString& subject, const QString& regex, NSRange range);
std::optional<QStringList> componentsSeparatedByRegex(const QString& subject, const QString& regex,
                                                      RKLRegexOptions options, NSRange range, Error* error);

std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex);
std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex,
                                                    NSInteger capture);
std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex, NSRange range);
std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex,
                                                    RKLRegexOptions options, NSRange range, NSInteger capture,
                                                    Error* error);

std::optional<QStringList> captureComponentsMatchedByRegex(const QString& subject, const QString& regex);
std::optional<QStringList> captureComponentsMatchedByRegex(const QString& subject, const QString& regex,
                                                           NSRange range);
std::optional<QStringList> captureComponentsMatchedByRegex(const QString& subject, const QString& regex,
                                                           RKLRegexOptions options, NSRange range, Error* error);

std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex);
std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex,
                                                                         RKLRegexOptions options);
std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex, NSRange range);
std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex,
                                                                         RKLRegexOptions options,
                                                                         NSRange range, Error* error);

// ---- Dictionaries (values are QStrings; a group that did not take part is left out) ------------

std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     const RKLKeysAndCaptures& keysAndCaptures);
std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex, NSRange range,
                                                     const RKLKeysAndCaptures& keysAndCaptures);
std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     RKLRegexOptions options, NSRange range, Error* error,
                                                     const RKLKeysAndCaptures& keysAndCaptures);
// arguments continues the list after firstKey: firstKey's capture, then key, capture, key, capture...
std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     RKLRegexOptions options, NSRange range, Error* error,
                                                     const QString& firstKey, const QVariantList& arguments);
std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     RKLRegexOptions options, NSRange range, Error* error,
                                                     const QString* keys, const int* captures, NSUInteger count);

std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     const RKLKeysAndCaptures& keysAndCaptures);
std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     NSRange range,
                                                                     const RKLKeysAndCaptures& keysAndCaptures);
std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     RKLRegexOptions options, NSRange range,
                                                                     Error* error,
                                                                     const RKLKeysAndCaptures& keysAndCaptures);
std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     RKLRegexOptions options, NSRange range,
                                                                     Error* error, const QString& firstKey,
                                                                     const QVariantList& arguments);
std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     RKLRegexOptions options, NSRange range,
                                                                     Error* error, const QString* keys,
                                                                     const int* captures, NSUInteger count);

// ---- Replacing ----------------------------------------------------------------------------------

// The template is expanded as ICU's uregex_appendReplacement does ("$1" inserts group 1, a backslash
// takes the next character literally). A range form answers the replaced text of that range only.
QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const QString& replacement);
QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const QString& replacement, NSRange range);
QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const QString& replacement, RKLRegexOptions options, NSRange range,
                                            Error* error);
QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const RKLReplacementBlock& block);
QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex, RKLRegexOptions options,
                                            NSRange range, Error* error,
                                            RKLRegexEnumerationOptions enumerationOptions,
                                            const RKLReplacementBlock& block);

// Replaces in place; answers the number of replacements, -1 when the pattern does not compile.
NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const QString& replacement);
NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const QString& replacement,
                                    NSRange range);
NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const QString& replacement,
                                    RKLRegexOptions options, NSRange range, Error* error);
NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const RKLReplacementBlock& block);
NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                                    Error* error, RKLRegexEnumerationOptions enumerationOptions,
                                    const RKLReplacementBlock& block);

// ---- Block enumeration (the block runs without the cache lock; false when nothing could run) ----

bool enumerateStringsMatchedByRegex(const QString& subject, const QString& regex, const RKLEnumerationBlock& block);
bool enumerateStringsMatchedByRegex(const QString& subject, const QString& regex, RKLRegexOptions options,
                                    NSRange range, Error* error, RKLRegexEnumerationOptions enumerationOptions,
                                    const RKLEnumerationBlock& block);
bool enumerateStringsSeparatedByRegex(const QString& subject, const QString& regex,
                                      const RKLEnumerationBlock& block);
bool enumerateStringsSeparatedByRegex(const QString& subject, const QString& regex, RKLRegexOptions options,
                                      NSRange range, Error* error, RKLRegexEnumerationOptions enumerationOptions,
                                      const RKLEnumerationBlock& block);

// ---- The pattern itself -------------------------------------------------------------------------

// Number of capture groups, -1 when the pattern does not compile.
NSInteger captureCount(const QString& regex);
NSInteger captureCountWithOptions(const QString& regex, RKLRegexOptions options, Error* error);
NSInteger captureCountForRegex(const QString& regex);
NSInteger captureCountForRegex(const QString& regex, RKLRegexOptions options, Error* error);

bool isRegexValid(const QString& regex);
bool isRegexValidWithOptions(const QString& regex, RKLRegexOptions options, Error* error);

// ---- The cache ----------------------------------------------------------------------------------

// Lets go of every reference the cache holds to this string; compiled expressions stay.
void flushCachedRegexData(const QString& subject);
// Empties the whole cache and every conversion buffer.
void clearStringCache();

// Read-only views of the cache for tests and diagnostics.
namespace CacheInspection {

inline constexpr int kSetCount = 13;
inline constexpr int kWaysPerSet = 4;

struct LineState
{
    QString regexString;  // null when the line is empty
    RKLRegexOptions options = 0;
    NSInteger captureCount = -1;
    bool compiled = false;
    bool setToSubject = false;
};

enum class BufferGroup { None, Fixed, Dynamic };

int setForRegex(const QString& regex, RKLRegexOptions options);
// The four ways of a set, way 0 first.
QList<LineState> linesOfSet(int set);
quint16 lruWordOfSet(int set);
// How many times an expression has been compiled since the process started.
quint64 compileCount();
// Which group of conversion buffers holds this string's characters, if any.
BufferGroup bufferGroupHolding(const QString& subject);

}  // namespace CacheInspection

}  // namespace RegexKitLiteAdditions

Q_DECLARE_METATYPE(RegexKitLiteAdditions::NSRange)
