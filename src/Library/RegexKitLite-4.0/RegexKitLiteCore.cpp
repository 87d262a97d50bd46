#include "Library/RegexKitLite-4.0/RegexKitLiteCore.h"

#include <QHash>

#include <unicode/parseerr.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <new>

namespace RegexKitLiteAdditions {

RKLException::RKLException(const QString& name, const QString& reason, QVariantMap userInfo)
    : std::invalid_argument(reason.toStdString())
    , m_name(name)
    , m_reason(reason)
    , m_userInfo(std::move(userInfo))
{
}

namespace detail {
namespace {

constexpr int kSetCount = CacheInspection::kSetCount;
constexpr int kWays = CacheInspection::kWaysPerSet;
constexpr int kLineCount = kSetCount * kWays;
constexpr int kLookasideSize = 64;
constexpr int kBufferCount = 4;
constexpr qsizetype kFixedBufferUnits = 2048;
constexpr qint64 kIntMax = 0x7FFFFFFF;
constexpr NSRange kNoRange{NSNotFound, 0};
const UChar kEmptyText[1] = {0};

// Four ways share a 16-bit word, one nibble per way; bit (3 - v) of nibble w says way w was used
// after way v. The way whose nibble is all zero is the oldest.
struct RKLLRU
{
    static constexpr quint16 kInitial = 0x0137;
    quint16 word = kInitial;

    void use(int way)
    {
        word = static_cast<quint16>(word | (0xF << (4 * way)));
        word = static_cast<quint16>(word & ~(0x1111 << (3 - way)));
    }

    int victim() const
    {
        for (int way = kWays - 1; way >= 0; --way) {
            if (((word >> (4 * way)) & 0xF) == 0)
                return way;
        }
        // Unreachable while every change goes through use(); fall back to the least recent by count.
        int oldest = kWays - 1;
        for (int way = kWays - 1; way >= 0; --way) {
            if (((word >> (4 * way)) & 0xF) < ((word >> (4 * oldest)) & 0xF))
                oldest = way;
        }
        return oldest;
    }
};

// Characters of a subject that does not own its storage (QString::fromRawData, literals): its
// memory may change or go away, so ICU gets a private copy.
struct RKLBuffer
{
    const void* string = nullptr;
    quint64 hash = 0;
    qsizetype length = 0;
    UChar* uniChar = nullptr;
    std::unique_ptr<UChar[]> storage;  // dynamic buffers only
    qsizetype capacity = 0;
};

struct RKLCachedRegex
{
    QString regexString;
    quint64 regexHash = 0;
    RKLRegexOptions options = 0;
    URegularExpression* icu_regex = nullptr;
    NSInteger captureCount = -1;
    // A subject that owns its storage is held here; the copy keeps its units alive and unchanged
    // (any write to the caller's string detaches from this one).
    QString setToString;
    const void* setToAddress = nullptr;
    quint64 setToHash = 0;
    qsizetype setToLength = 0;
    bool setToIsImmutable = false;
    bool setToNeedsConversion = false;
    const UChar* setToUniChar = nullptr;
    NSRange setToRange = kNoRange;
    NSRange lastFindRange = kNoRange;
    NSRange lastMatchRange = kNoRange;
    RKLBuffer* buffer = nullptr;
};

quint64 rkl_hash(const QString& string)
{
    return qHash(QStringView(string), 0);
}

bool rkl_sameObject(const QString& held, const QString& string)
{
    return held.data_ptr().isSharedWith(string.data_ptr()) && held.constData() == string.constData()
        && held.size() == string.size();
}

const UChar* rkl_units(const QString& string)
{
    return reinterpret_cast<const UChar*>(string.constData());
}

NSUInteger rkl_end(const NSRange& range)
{
    return range.location + range.length;
}

QString rkl_prefixed(const RKLOpRequest& request, const QString& message)
{
    return QStringLiteral("*** ") + QChar(request.classReceiver ? u'+' : u'-') + QStringLiteral("[QString ")
        + QLatin1String(request.selector) + QStringLiteral("]: ") + message;
}

QString rkl_uchars(const UChar* text)
{
    return QString::fromUtf16(text);
}

QVariantMap rkl_userInfo(const RKLOpRequest& request, int status, const NSRange* range)
{
    QVariantMap info;
    info.insert(QLatin1String(RKLICURegexErrorCodeKey), status);
    info.insert(QLatin1String(RKLICURegexErrorNameKey), QString::fromLatin1(u_errorName(UErrorCode(status))));
    info.insert(QLatin1String(RKLICURegexRegexKey),
                request.regex && !request.regex->isNull() ? *request.regex : QStringLiteral("<NULL regex>"));
    info.insert(QLatin1String(RKLICURegexRegexOptionsKey), request.options);
    if (request.subject && !request.subject->isNull()) {
        info.insert(QLatin1String(RKLICURegexSubjectStringKey), rkl_ownedCopy(*request.subject));
        if (range)
            info.insert(QLatin1String(RKLICURegexSubjectRangeKey), QVariant::fromValue(*range));
    }
    if (request.replacement && !request.replacement->isNull())
        info.insert(QLatin1String(RKLICURegexReplacementStringKey), rkl_ownedCopy(*request.replacement));
    if (request.kind == RKLRequestKind::Enumeration)
        info.insert(QLatin1String(RKLICURegexEnumerationOptionsKey), request.enumerationOptions);
    return info;
}

class RKLCache
{
public:
    std::mutex lock;

    ~RKLCache() { clearAll(); }

    RKLCachedRegex* cachedRegex(const RKLOpRequest& request, UErrorCode& status, UParseError& parseError);
    void setSubject(RKLCachedRegex& line, const RKLOpRequest& request, const NSRange& range, UErrorCode& status);
    void run(RKLCachedRegex& line, const RKLOpRequest& request, RKLOpOutcome& outcome, UErrorCode& status);
    void flush(const QString& subject);
    void clearAll();

    // Inspection.
    const RKLCachedRegex& line(int index) const { return m_lines[index]; }
    quint16 lruWord(int set) const { return m_setLRU[set].word; }
    quint64 compileCount() const { return m_compiles; }
    CacheInspection::BufferGroup bufferGroupHolding(const QString& subject) const;

private:
    void hit(RKLCachedRegex* line, int slot);
    void clearLine(RKLCachedRegex& line);
    void releaseSubject(RKLCachedRegex& line);
    void releaseLinesUsing(const RKLBuffer* buffer);
    void releaseBuffer(RKLBuffer& buffer, bool dynamic);
    RKLBuffer* conversionBuffer(const RKLOpRequest& request, const QString& subject, quint64 hash);

    bool findMatch(RKLCachedRegex& line, const NSRange& request, UErrorCode& status);
    NSRange groupRange(RKLCachedRegex& line, int group, UErrorCode& status);
    void findRanges(RKLCachedRegex& line, const RKLOpRequest& request, RKLOpOutcome& outcome, UErrorCode& status);
    void replace(RKLCachedRegex& line, const RKLOpRequest& request, RKLOpOutcome& outcome, UErrorCode& status);

    std::array<RKLCachedRegex, kLineCount> m_lines;
    std::array<RKLLRU, kSetCount> m_setLRU;
    std::array<quint8, kLookasideSize> m_lookaside{};
    RKLCachedRegex* m_lastCachedRegex = nullptr;

    std::array<RKLBuffer, kBufferCount> m_fixed;
    std::array<RKLBuffer, kBufferCount> m_dynamic;
    RKLLRU m_fixedLRU;
    RKLLRU m_dynamicLRU;
    std::array<std::array<UChar, kFixedBufferUnits>, kBufferCount> m_fixedStorage{};

    quint64 m_compiles = 0;
};

RKLCache& rkl_cache()
{
    static RKLCache cache;
    return cache;
}

void RKLCache::hit(RKLCachedRegex* line, int slot)
{
    const int index = static_cast<int>(line - m_lines.data());
    m_lastCachedRegex = line;
    m_lookaside[slot] = static_cast<quint8>(index);
    m_setLRU[index / kWays].use(index % kWays);
}

RKLCachedRegex* RKLCache::cachedRegex(const RKLOpRequest& request, UErrorCode& status, UParseError& parseError)
{
    const QString& regex = *request.regex;
    const RKLRegexOptions options = request.options;
    const quintptr address = reinterpret_cast<quintptr>(regex.constData());
    const int slot = static_cast<int>(((address >> 4) + options + (options >> 4)) % kLookasideSize);

    RKLCachedRegex* line = m_lastCachedRegex;
    if (line && line->icu_regex && line->options == options && rkl_sameObject(line->regexString, regex)) {
        hit(line, slot);
        return line;
    }
    line = &m_lines[m_lookaside[slot]];
    if (line->icu_regex && line->options == options
        && (rkl_sameObject(line->regexString, regex) || line->regexString == regex)) {
        hit(line, slot);
        return line;
    }
    const quint64 hash = rkl_hash(regex);
    const int set = static_cast<int>((hash ^ options) % kSetCount);
    for (int way = 0; way < kWays; ++way) {
        line = &m_lines[set * kWays + way];
        if (line->icu_regex && line->regexHash == hash && line->options == options
            && (rkl_sameObject(line->regexString, regex) || line->regexString == regex)) {
            hit(line, slot);
            return line;
        }
    }

    line = &m_lines[set * kWays + m_setLRU[set].victim()];
    clearLine(*line);
    if (regex.size() >= kIntMax)
        rkl_raise(request, NSRangeException, QStringLiteral("Regex string length exceeds INT_MAX"));
    line->regexString = rkl_ownedCopy(regex);
    line->regexHash = hash;
    line->options = options;
    line->icu_regex = uregex_open(rkl_units(line->regexString), static_cast<int32_t>(line->regexString.size()),
                                  options, &parseError, &status);
    ++m_compiles;
    if (U_SUCCESS(status))
        line->captureCount = uregex_groupCount(line->icu_regex, &status);
    if (U_FAILURE(status)) {
        clearLine(*line);
        return nullptr;
    }
    hit(line, slot);
    return line;
}

void RKLCache::releaseSubject(RKLCachedRegex& line)
{
    line.setToString = QString();
    line.setToAddress = nullptr;
    line.setToHash = 0;
    line.setToLength = 0;
    line.setToIsImmutable = false;
    line.setToNeedsConversion = false;
    line.setToUniChar = nullptr;
    line.setToRange = kNoRange;
    line.lastFindRange = kNoRange;
    line.lastMatchRange = kNoRange;
    line.buffer = nullptr;
    if (line.icu_regex) {
        // ICU must not keep a pointer to characters we no longer hold.
        UErrorCode ignored = U_ZERO_ERROR;
        uregex_setText(line.icu_regex, kEmptyText, 0, &ignored);
    }
}

void RKLCache::clearLine(RKLCachedRegex& line)
{
    releaseSubject(line);
    if (line.icu_regex)
        uregex_close(line.icu_regex);
    line.icu_regex = nullptr;
    line.regexString = QString();
    line.regexHash = 0;
    line.options = 0;
    line.captureCount = -1;
    if (m_lastCachedRegex == &line)
        m_lastCachedRegex = nullptr;
}

void RKLCache::releaseLinesUsing(const RKLBuffer* buffer)
{
    for (RKLCachedRegex& line : m_lines) {
        if (line.buffer == buffer)
            releaseSubject(line);
    }
}

void RKLCache::releaseBuffer(RKLBuffer& buffer, bool dynamic)
{
    releaseLinesUsing(&buffer);
    buffer.string = nullptr;
    buffer.hash = 0;
    buffer.length = 0;
    if (dynamic) {
        buffer.storage.reset();
        buffer.uniChar = nullptr;
        buffer.capacity = 0;
    }
}

RKLBuffer* RKLCache::conversionBuffer(const RKLOpRequest& request, const QString& subject, quint64 hash)
{
    const bool fixed = subject.size() < kFixedBufferUnits;
    auto& group = fixed ? m_fixed : m_dynamic;
    RKLLRU& lru = fixed ? m_fixedLRU : m_dynamicLRU;
    for (int i = 0; i < kBufferCount; ++i) {
        RKLBuffer& buffer = group[i];
        if (buffer.string == subject.constData() && buffer.hash == hash && buffer.length == subject.size()) {
            lru.use(i);
            return &buffer;
        }
    }
    const int i = lru.victim();
    RKLBuffer& buffer = group[i];
    // Lines that searched the old contents must not see the new ones.
    releaseLinesUsing(&buffer);
    buffer.string = nullptr;
    buffer.length = 0;
    if (fixed) {
        buffer.uniChar = m_fixedStorage[i].data();
    } else if (buffer.capacity != subject.size()) {
        buffer.storage.reset(new (std::nothrow) UChar[static_cast<size_t>(subject.size())]);
        buffer.uniChar = buffer.storage.get();
        buffer.capacity = buffer.storage ? subject.size() : 0;
        if (!buffer.storage)
            rkl_raise(request, NSInternalInconsistencyException, QStringLiteral("Failed to set up UTF16 buffer."));
    }
    std::copy_n(rkl_units(subject), subject.size(), buffer.uniChar);
    buffer.string = subject.constData();
    buffer.hash = hash;
    buffer.length = subject.size();
    lru.use(i);
    return &buffer;
}

void RKLCache::setSubject(RKLCachedRegex& line, const RKLOpRequest& request, const NSRange& range,
                          UErrorCode& status)
{
    const QString& subject = *request.subject;
    const bool ownsStorage = subject.data_ptr().isMutable();
    bool same = false;
    quint64 hash = 0;
    if (line.setToAddress == subject.constData() && line.setToLength == subject.size()) {
        if (ownsStorage) {
            same = line.setToIsImmutable && rkl_sameObject(line.setToString, subject);
        } else if (!line.setToIsImmutable && line.buffer) {
            hash = rkl_hash(subject);
            same = line.setToHash == hash && line.buffer->string == line.setToAddress && line.buffer->hash == hash;
        }
    }
    if (!same) {
        releaseSubject(line);
        if (ownsStorage) {
            line.setToString = subject;
            line.setToIsImmutable = true;
            line.setToUniChar = rkl_units(subject);
        } else {
            if (hash == 0)
                hash = rkl_hash(subject);
            line.buffer = conversionBuffer(request, subject, hash);
            line.setToHash = hash;
            line.setToNeedsConversion = true;
            line.setToUniChar = line.buffer->uniChar;
        }
        line.setToAddress = subject.constData();
        line.setToLength = subject.size();
    }
    if (line.setToRange != range) {
        uregex_setText(line.icu_regex, line.setToUniChar + range.location, static_cast<int32_t>(range.length),
                       &status);
        line.setToRange = range;
        line.lastFindRange = kNoRange;
        line.lastMatchRange = kNoRange;
    }
}

NSRange RKLCache::groupRange(RKLCachedRegex& line, int group, UErrorCode& status)
{
    const int32_t start = uregex_start(line.icu_regex, group, &status);
    const int32_t end = uregex_end(line.icu_regex, group, &status);
    if (U_FAILURE(status) || start < 0)
        return kNoRange;
    return NSRange{line.setToRange.location + static_cast<NSUInteger>(start), static_cast<NSUInteger>(end - start)};
}

bool RKLCache::findMatch(RKLCachedRegex& line, const NSRange& request, UErrorCode& status)
{
    const NSRange last = line.lastMatchRange;
    const bool lastFound = last.location != NSNotFound;
    if (request == line.lastFindRange && !(lastFound && last.length == 0))
        return lastFound;

    NSUInteger nextStart = NSNotFound;
    if (lastFound) {
        nextStart = rkl_end(last);
        if (last.length == 0 && nextStart < rkl_end(line.setToRange))
            ++nextStart;
    }
    bool found;
    if (lastFound && request.location == nextStart)
        found = uregex_findNext(line.icu_regex, &status);
    else
        found = uregex_find(line.icu_regex, static_cast<int32_t>(request.location - line.setToRange.location),
                            &status);
    line.lastFindRange = request;
    line.lastMatchRange = found && U_SUCCESS(status) ? groupRange(line, 0, status) : kNoRange;
    return line.lastMatchRange.location != NSNotFound;
}

void RKLCache::findRanges(RKLCachedRegex& line, const RKLOpRequest& request, RKLOpOutcome& outcome,
                          UErrorCode& status)
{
    const int op = request.regexOp & RKLMaskOp;
    const bool firstOnly = op == RKLCapturesArrayOp || op == RKLDictionaryOfCapturesOp;
    const int groups = static_cast<int>(line.captureCount) + 1;
    const NSUInteger rangeEnd = rkl_end(outcome.range);
    NSUInteger previousEnd = outcome.range.location;
    bool lastReachedEnd = false;

    // The matcher's position is ours now; a later single search must start afresh.
    line.lastFindRange = kNoRange;
    line.lastMatchRange = kNoRange;
    uregex_reset(line.icu_regex, 0, &status);
    while (U_SUCCESS(status) && uregex_findNext(line.icu_regex, &status)) {
        const NSRange match = groupRange(line, 0, status);
        if (U_FAILURE(status))
            break;
        switch (op) {
        case RKLSplitOp:
            if (match.length == 0 && match.location == previousEnd)
                continue;
            outcome.ranges.append(NSRange{previousEnd, match.location - previousEnd});
            previousEnd = rkl_end(match);
            lastReachedEnd = previousEnd == rangeEnd;
            break;
        case RKLArrayOfStringsOp:
            outcome.ranges.append(request.capture == 0 ? match
                                                       : groupRange(line, static_cast<int>(request.capture), status));
            break;
        default:
            outcome.ranges.append(match);
            for (int group = 1; group < groups; ++group)
                outcome.ranges.append(groupRange(line, group, status));
            break;
        }
        if (firstOnly)
            break;
    }
    if (op == RKLSplitOp && U_SUCCESS(status) && !lastReachedEnd)
        outcome.ranges.append(NSRange{previousEnd, rangeEnd - previousEnd});
}

void RKLCache::replace(RKLCachedRegex& line, const RKLOpRequest& request, RKLOpOutcome& outcome,
                       UErrorCode& status)
{
    const QString& subject = *request.subject;
    const QString& replacement = *request.replacement;
    const qint64 length = static_cast<qint64>(outcome.range.length);
    const qint64 templateLength = replacement.size();
    if (templateLength >= kIntMax || length / 2 + templateLength * 2 >= kIntMax)
        rkl_raise(request, NSRangeException, QStringLiteral("Replacement string length exceeds INT_MAX."));

    line.lastFindRange = kNoRange;
    line.lastMatchRange = kNoRange;
    qint64 capacity = length + length / 2 + templateLength * 2 + 16;
    QVarLengthArray<UChar, 2048> output;
    for (;;) {
        output.resize(capacity);
        UErrorCode findStatus = U_ZERO_ERROR;
        UErrorCode appendStatus = U_ZERO_ERROR;
        UChar* destination = output.data();
        int32_t destinationCapacity = static_cast<int32_t>(capacity);
        qint64 total = 0;
        NSInteger count = 0;
        uregex_reset(line.icu_regex, 0, &findStatus);
        while (U_SUCCESS(findStatus) && uregex_findNext(line.icu_regex, &findStatus)) {
            total += uregex_appendReplacement(line.icu_regex, rkl_units(replacement),
                                              static_cast<int32_t>(templateLength), &destination,
                                              &destinationCapacity, &appendStatus);
            ++count;
            if (U_FAILURE(appendStatus) && appendStatus != U_BUFFER_OVERFLOW_ERROR)
                break;
        }
        if (U_FAILURE(findStatus)) {
            status = findStatus;
            return;
        }
        if (U_FAILURE(appendStatus) && appendStatus != U_BUFFER_OVERFLOW_ERROR) {
            status = appendStatus;
            return;
        }
        total += uregex_appendTail(line.icu_regex, &destination, &destinationCapacity, &appendStatus);
        if (appendStatus == U_BUFFER_OVERFLOW_ERROR) {
            // The pass measured the whole length; run it again into a buffer that fits.
            if (total >= 0x7FFFFFFB)
                rkl_raise(request, NSInternalInconsistencyException,
                          QStringLiteral("Replaced string length exceeds INT_MAX."));
            capacity = total + 8;
            continue;
        }
        if (U_FAILURE(appendStatus)) {
            status = appendStatus;
            return;
        }
        if (appendStatus < U_ZERO_ERROR && appendStatus != U_STRING_NOT_TERMINATED_WARNING)
            outcome.warning = appendStatus;
        outcome.replacedCount = count;
        if (total == 0)
            outcome.replaced = QStringLiteral("");
        else if (count == 0 && total == subject.size())
            outcome.replaced = rkl_ownedCopy(subject);
        else
            outcome.replaced = QString(reinterpret_cast<const QChar*>(output.constData()), total);
        return;
    }
}

void RKLCache::run(RKLCachedRegex& line, const RKLOpRequest& request, RKLOpOutcome& outcome, UErrorCode& status)
{
    switch (request.regexOp & RKLMaskOp) {
    case RKLRangeOp:
        if (findMatch(line, outcome.range, status))
            outcome.match = request.capture == 0 ? line.lastMatchRange
                                                 : groupRange(line, static_cast<int>(request.capture), status);
        break;
    case RKLReplaceOp:
        replace(line, request, outcome, status);
        break;
    case RKLSplitOp:
    case RKLArrayOfStringsOp:
    case RKLArrayOfCapturesOp:
    case RKLCapturesArrayOp:
    case RKLDictionaryOfCapturesOp:
    case RKLArrayOfDictionariesOfCapturesOp:
        findRanges(line, request, outcome, status);
        break;
    default:
        rkl_raise(request, NSInternalInconsistencyException, QStringLiteral("Unknown regexOp code."));
    }
}

void RKLCache::flush(const QString& subject)
{
    const quint64 hash = rkl_hash(subject);
    for (RKLCachedRegex& line : m_lines) {
        const bool same = line.setToIsImmutable
            ? rkl_sameObject(line.setToString, subject)
            : line.setToNeedsConversion && line.setToLength == subject.size() && line.setToHash == hash;
        if (same)
            releaseSubject(line);
    }
    for (int group = 0; group < 2; ++group) {
        auto& buffers = group == 0 ? m_fixed : m_dynamic;
        for (RKLBuffer& buffer : buffers) {
            if (buffer.string
                && (buffer.string == subject.constData() || (buffer.length == subject.size() && buffer.hash == hash)))
                releaseBuffer(buffer, group == 1);
        }
    }
}

void RKLCache::clearAll()
{
    for (RKLCachedRegex& line : m_lines)
        clearLine(line);
    for (RKLLRU& lru : m_setLRU)
        lru = RKLLRU();
    m_lookaside.fill(0);
    m_lastCachedRegex = nullptr;
    for (RKLBuffer& buffer : m_fixed)
        releaseBuffer(buffer, false);
    for (RKLBuffer& buffer : m_dynamic)
        releaseBuffer(buffer, true);
    m_fixedLRU = RKLLRU();
    m_dynamicLRU = RKLLRU();
}

CacheInspection::BufferGroup RKLCache::bufferGroupHolding(const QString& subject) const
{
    const quint64 hash = rkl_hash(subject);
    const auto holds = [&](const RKLBuffer& buffer) {
        return buffer.string == subject.constData() && buffer.length == subject.size() && buffer.hash == hash;
    };
    if (std::any_of(m_fixed.begin(), m_fixed.end(), holds))
        return CacheInspection::BufferGroup::Fixed;
    if (std::any_of(m_dynamic.begin(), m_dynamic.end(), holds))
        return CacheInspection::BufferGroup::Dynamic;
    return CacheInspection::BufferGroup::None;
}

void rkl_checkArguments(const RKLOpRequest& request)
{
    if (!request.regex || request.regex->isNull())
        rkl_raise(request, NSInvalidArgumentException, QStringLiteral("The regular expression argument is NULL."));
    if (request.kind == RKLRequestKind::CaptureCount)
        return;
    if (!request.subject || request.subject->isNull())
        rkl_raise(request, NSInternalInconsistencyException, QStringLiteral("The match string argument is NULL."));
    const int op = request.regexOp & RKLMaskOp;
    if (op == RKLReplaceOp && (!request.replacement || request.replacement->isNull()))
        rkl_raise(request, NSInvalidArgumentException, QStringLiteral("The replacement string argument is NULL."));
    if (op == RKLDictionaryOfCapturesOp || op == RKLArrayOfDictionariesOfCapturesOp) {
        if (!request.keys)
            rkl_raise(request, NSInvalidArgumentException, QStringLiteral("The keys argument is NULL."));
        if (!request.captures)
            rkl_raise(request, NSInvalidArgumentException, QStringLiteral("The captures argument is NULL."));
    }
    if (request.kind == RKLRequestKind::Enumeration) {
        RKLRegexEnumerationOptions allowed =
            RKLRegexEnumerationCapturedStringsNotRequired | RKLRegexEnumerationStringsValidOnlyDuringBlock;
        if (request.replacingBlock)
            allowed |= RKLRegexEnumerationReleaseStringReturnedByReplacementBlock;
        if (request.enumerationOptions & ~allowed)
            rkl_raise(request, NSInvalidArgumentException,
                      QStringLiteral("The RKLRegexEnumerationOptions argument is not valid."));
    }
}

NSRange rkl_resolveRange(const RKLOpRequest& request)
{
    const NSUInteger length = static_cast<NSUInteger>(request.subject->size());
    NSRange range = request.range;
    if (range.location > length || (range.length != NSUIntegerMax && range.length > length - range.location))
        rkl_raise(request, NSRangeException, QStringLiteral("Range or index out of bounds."));
    if (range.length == NSUIntegerMax)
        range.length = length - range.location;
    return range;
}

void rkl_checkCaptures(const RKLOpRequest& request, NSInteger captureCount)
{
    const int op = request.regexOp & RKLMaskOp;
    if ((op == RKLRangeOp || op == RKLArrayOfStringsOp) && (request.capture < 0 || request.capture > captureCount))
        rkl_raise(request, NSInvalidArgumentException, QStringLiteral("The capture argument is not valid."));
    if (op != RKLDictionaryOfCapturesOp && op != RKLArrayOfDictionariesOfCapturesOp)
        return;
    const QString of = QStringLiteral(" of ") + QString::number(request.count);
    for (NSUInteger i = 0; i < request.count; ++i) {
        const QString number = QString::number(i + 1) + of;
        if (request.keys[i].isNull())
            rkl_raise(request, NSInvalidArgumentException,
                      QStringLiteral("The capture key (key ") + number + QStringLiteral(") is NULL."));
        const int capture = request.captures[i];
        if (capture < 0 || capture > captureCount)
            rkl_raise(request, NSInvalidArgumentException,
                      QStringLiteral("The capture argument ") + QString::number(capture) + QStringLiteral(" (capture ")
                          + number + QStringLiteral(") for key '") + request.keys[i]
                          + QStringLiteral("' is not valid."));
    }
}

void rkl_reportCompileError(const RKLOpRequest& request, int status, const UParseError& parseError,
                            const NSRange* range)
{
    if (!request.error)
        return;
    QVariantMap info = rkl_userInfo(request, status, range);
    const QString name = info.value(QLatin1String(RKLICURegexErrorNameKey)).toString();
    const QString preContext = rkl_uchars(parseError.preContext);
    const QString postContext = rkl_uchars(parseError.postContext);
    info.insert(QLatin1String(RKLICURegexLineKey), parseError.line);
    info.insert(QLatin1String(RKLICURegexOffsetKey), parseError.offset);
    info.insert(QLatin1String(RKLICURegexPreContextKey), preContext);
    info.insert(QLatin1String(RKLICURegexPostContextKey), postContext);
    info.insert(QLatin1String(Error::kLocalizedDescriptionKey),
                QStringLiteral("There was an error compiling the regular expression."));
    info.insert(QLatin1String(Error::kLocalizedFailureReasonKey),
                QStringLiteral("The error ") + name + QStringLiteral(" occurred at line ")
                    + QString::number(parseError.line) + QStringLiteral(", column ")
                    + QString::number(parseError.offset) + QStringLiteral(": ") + preContext
                    + QStringLiteral("<<HERE>>") + postContext);
    *request.error = Error(QLatin1String(RKLICURegexErrorDomain), status, info);
}

}  // namespace

QString rkl_ownedCopy(const QString& string)
{
    if (string.isNull() || string.data_ptr().isMutable())
        return string;
    return QString(string.constData(), string.size());
}

void rkl_raise(const RKLOpRequest& request, const char* name, const QString& message, QVariantMap userInfo)
{
    throw RKLException(QLatin1String(name), rkl_prefixed(request, message), std::move(userInfo));
}

void rkl_reportError(const RKLOpRequest& request, int status, const QString& description, const NSRange& range)
{
    if (!request.error)
        return;
    QVariantMap info = rkl_userInfo(request, status, &range);
    info.insert(QLatin1String(Error::kLocalizedDescriptionKey), description);
    info.insert(QLatin1String(Error::kLocalizedFailureReasonKey),
                QStringLiteral("The error ") + info.value(QLatin1String(RKLICURegexErrorNameKey)).toString()
                    + QStringLiteral(" occurred."));
    *request.error = Error(QLatin1String(RKLICURegexErrorDomain), status, info);
}

void rkl_performRegexOp(const RKLOpRequest& request, RKLOpOutcome& outcome)
{
    if (request.error)
        *request.error = Error();
    rkl_checkArguments(request);

    const bool hasSubject = request.kind != RKLRequestKind::CaptureCount;
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    RKLCache& cache = rkl_cache();
    {
        std::lock_guard<std::mutex> locked(cache.lock);
        RKLCachedRegex* line = cache.cachedRegex(request, status, parseError);
        if (hasSubject)
            outcome.range = rkl_resolveRange(request);
        if (!line) {
            // A pattern that does not compile is bad data, not a caller error: answer empty.
            outcome.compiled = false;
        } else {
            outcome.compiled = true;
            outcome.captureCount = line->captureCount;
            if (hasSubject) {
                if (request.subject->size() >= kIntMax)
                    rkl_raise(request, NSRangeException, QStringLiteral("String length exceeds INT_MAX."));
                rkl_checkCaptures(request, line->captureCount);
            }
            if (request.kind == RKLRequestKind::Enumeration) {
                outcome.clone.reset(uregex_clone(line->icu_regex, &status));
                outcome.subjectCopy = rkl_ownedCopy(*request.subject);
            } else if (request.kind == RKLRequestKind::Search) {
                cache.setSubject(*line, request, outcome.range, status);
                if (U_SUCCESS(status))
                    cache.run(*line, request, outcome, status);
                if ((request.regexOp & RKLReplaceMutable) && outcome.replacedCount > 0)
                    cache.flush(*request.subject);
            }
        }
    }
    if (!outcome.compiled) {
        rkl_reportCompileError(request, status, parseError, hasSubject ? &outcome.range : nullptr);
        return;
    }
    if (U_FAILURE(status)) {
        rkl_raise(request, RKLICURegexException,
                  QStringLiteral("ICU regular expression error #") + QString::number(status) + QStringLiteral(", ")
                      + QString::fromLatin1(u_errorName(status)) + QLatin1Char('.'),
                  rkl_userInfo(request, status, hasSubject ? &outcome.range : nullptr));
    }
    if (status < U_ZERO_ERROR && outcome.warning == 0)
        outcome.warning = status;
}

void rkl_flushString(const QString& subject)
{
    if (subject.isNull())
        return;
    RKLCache& cache = rkl_cache();
    std::lock_guard<std::mutex> locked(cache.lock);
    cache.flush(subject);
}

void rkl_clearStringCache()
{
    RKLCache& cache = rkl_cache();
    std::lock_guard<std::mutex> locked(cache.lock);
    cache.clearAll();
}

}  // namespace detail

namespace CacheInspection {

int setForRegex(const QString& regex, RKLRegexOptions options)
{
    return static_cast<int>((detail::rkl_hash(regex) ^ options) % kSetCount);
}

QList<LineState> linesOfSet(int set)
{
    detail::RKLCache& cache = detail::rkl_cache();
    std::lock_guard<std::mutex> locked(cache.lock);
    QList<LineState> lines;
    for (int way = 0; way < kWaysPerSet; ++way) {
        const detail::RKLCachedRegex& line = cache.line(set * kWaysPerSet + way);
        lines.append(LineState{line.regexString, line.options, line.captureCount, line.icu_regex != nullptr,
                               line.setToAddress != nullptr});
    }
    return lines;
}

quint16 lruWordOfSet(int set)
{
    detail::RKLCache& cache = detail::rkl_cache();
    std::lock_guard<std::mutex> locked(cache.lock);
    return cache.lruWord(set);
}

quint64 compileCount()
{
    detail::RKLCache& cache = detail::rkl_cache();
    std::lock_guard<std::mutex> locked(cache.lock);
    return cache.compileCount();
}

BufferGroup bufferGroupHolding(const QString& subject)
{
    detail::RKLCache& cache = detail::rkl_cache();
    std::lock_guard<std::mutex> locked(cache.lock);
    return cache.bufferGroupHolding(subject);
}

}  // namespace CacheInspection

}  // namespace RegexKitLiteAdditions
