#include "Library/RegexKitLite-4.0/RegexKitLite.h"

#include "Library/RegexKitLite-4.0/RegexKitLiteCore.h"

namespace RegexKitLiteAdditions {

using namespace detail;

namespace {

constexpr NSRange kWholeSubject{0, NSUIntegerMax};
constexpr NSRange kNoRange{NSNotFound, 0};

RKLOpRequest rkl_request(const char* selector, int op, const QString& subject, const QString& regex,
                         RKLRegexOptions options, NSRange range, Error* error)
{
    RKLOpRequest request;
    request.selector = selector;
    request.regexOp = op;
    request.subject = &subject;
    request.regex = &regex;
    request.options = options;
    request.range = range;
    request.error = error;
    return request;
}

QString rkl_substring(const QString& subject, const NSRange& range)
{
    if (range.length == 0 || range.location == NSNotFound)
        return QStringLiteral("");
    return QString(subject.constData() + range.location, static_cast<qsizetype>(range.length));
}

// An empty answer with only an ICU warning behind it still tells the caller something went odd.
void rkl_reportWarning(const RKLOpRequest& request, const RKLOpOutcome& outcome, bool emptyAnswer)
{
    if (emptyAnswer && outcome.warning < 0)
        rkl_reportError(request, outcome.warning, QStringLiteral("The ICU library returned an unexpected error."),
                        outcome.range);
}

NSRange rkl_rangeOp(const RKLOpRequest& request)
{
    RKLOpOutcome outcome;
    rkl_performRegexOp(request, outcome);
    if (!outcome.compiled)
        return kNoRange;
    rkl_reportWarning(request, outcome, outcome.match.location == NSNotFound);
    return outcome.match;
}

QString rkl_matchedString(const RKLOpRequest& request)
{
    const NSRange range = rkl_rangeOp(request);
    if (range.location == NSNotFound)
        return QString();
    return rkl_substring(*request.subject, range);
}

std::optional<QStringList> rkl_strings(const RKLOpRequest& request)
{
    RKLOpOutcome outcome;
    rkl_performRegexOp(request, outcome);
    if (!outcome.compiled)
        return std::nullopt;
    QStringList strings;
    strings.reserve(outcome.ranges.size());
    for (const NSRange& range : outcome.ranges)
        strings.append(rkl_substring(*request.subject, range));
    rkl_reportWarning(request, outcome, strings.isEmpty());
    return strings;
}

std::optional<QList<QStringList>> rkl_arrayOfCaptures(const RKLOpRequest& request)
{
    RKLOpOutcome outcome;
    rkl_performRegexOp(request, outcome);
    if (!outcome.compiled)
        return std::nullopt;
    const qsizetype perMatch = outcome.captureCount + 1;
    QList<QStringList> matches;
    matches.reserve(outcome.ranges.size() / perMatch);
    for (qsizetype first = 0; first + perMatch <= outcome.ranges.size(); first += perMatch) {
        QStringList captures;
        captures.reserve(perMatch);
        for (qsizetype i = first; i < first + perMatch; ++i)
            captures.append(rkl_substring(*request.subject, outcome.ranges[i]));
        matches.append(std::move(captures));
    }
    rkl_reportWarning(request, outcome, matches.isEmpty());
    return matches;
}

// The keys and captures of the dictionary forms, laid out as the core reads them.
struct RKLKeyList
{
    QVarLengthArray<QString, 16> keys;
    QVarLengthArray<int, 16> captures;
    bool given = false;

    void add(const QString& key, int capture)
    {
        keys.append(key);
        captures.append(capture);
        given = true;
    }
};

RKLKeyList rkl_keyList(const RKLKeysAndCaptures& keysAndCaptures)
{
    RKLKeyList list;
    for (const auto& [key, capture] : keysAndCaptures)
        list.add(key, capture);
    return list;
}

int rkl_captureArgument(const QVariantList& arguments, qsizetype index)
{
    bool ok = false;
    const int capture = index < arguments.size() ? arguments.at(index).toInt(&ok) : -1;
    return ok ? capture : -1;
}

RKLKeyList rkl_keyList(const QString& firstKey, const QVariantList& arguments)
{
    RKLKeyList list;
    if (firstKey.isNull())
        return list;
    list.add(firstKey, rkl_captureArgument(arguments, 0));
    for (qsizetype i = 1; i < arguments.size(); i += 2)
        list.add(arguments.at(i).toString(), rkl_captureArgument(arguments, i + 1));
    return list;
}

void rkl_setKeys(RKLOpRequest& request, const QString* keys, const int* captures, NSUInteger count)
{
    request.keys = keys;
    request.captures = captures;
    request.count = count;
}

void rkl_setKeys(RKLOpRequest& request, const RKLKeyList& list)
{
    if (list.given)
        rkl_setKeys(request, list.keys.constData(), list.captures.constData(),
                    static_cast<NSUInteger>(list.keys.size()));
}

QVariantMap rkl_dictionary(const RKLOpRequest& request, const NSRange* groups)
{
    QVariantMap dictionary;
    for (NSUInteger i = 0; i < request.count; ++i) {
        const NSRange& range = groups[request.captures[i]];
        if (range.location != NSNotFound)
            dictionary.insert(request.keys[i], rkl_substring(*request.subject, range));
    }
    return dictionary;
}

std::optional<QList<QVariantMap>> rkl_dictionaries(const RKLOpRequest& request)
{
    RKLOpOutcome outcome;
    rkl_performRegexOp(request, outcome);
    if (!outcome.compiled)
        return std::nullopt;
    const qsizetype perMatch = outcome.captureCount + 1;
    QList<QVariantMap> dictionaries;
    for (qsizetype first = 0; first + perMatch <= outcome.ranges.size(); first += perMatch)
        dictionaries.append(rkl_dictionary(request, outcome.ranges.constData() + first));
    rkl_reportWarning(request, outcome, dictionaries.isEmpty());
    return dictionaries;
}

std::optional<QVariantMap> rkl_firstDictionary(const RKLOpRequest& request)
{
    const auto dictionaries = rkl_dictionaries(request);
    if (!dictionaries)
        return std::nullopt;
    return dictionaries->isEmpty() ? QVariantMap() : dictionaries->first();
}

// Runs a dictionary op with its keys laid out for the core; finish builds the answer.
template <typename Finish>
auto rkl_withKeys(RKLOpRequest request, const RKLKeyList& list, Finish finish)
{
    rkl_setKeys(request, list);
    return finish(request);
}

QString rkl_replace(const RKLOpRequest& request)
{
    RKLOpOutcome outcome;
    rkl_performRegexOp(request, outcome);
    if (!outcome.compiled)
        return QString();
    rkl_reportWarning(request, outcome, outcome.replaced.isEmpty());
    return outcome.replaced;
}

NSInteger rkl_replaceInPlace(QString& subject, const RKLOpRequest& request)
{
    RKLOpOutcome outcome;
    rkl_performRegexOp(request, outcome);
    if (!outcome.compiled)
        return -1;
    if (outcome.replacedCount > 0)
        subject.replace(static_cast<qsizetype>(outcome.range.location), static_cast<qsizetype>(outcome.range.length),
                        outcome.replaced);
    return outcome.replacedCount;
}

// ---- Block forms: they run on a private clone, outside the cache lock --------------------------

struct RKLEnumeration
{
    RKLOpOutcome outcome;  // clone, subject copy and resolved range
    bool strings = true;

    const QString& subject() const { return outcome.subjectCopy; }
};

// Starts a block form; false when the pattern does not compile.
bool rkl_beginEnumeration(RKLOpRequest& request, RKLEnumeration& enumeration, UErrorCode& status)
{
    request.kind = RKLRequestKind::Enumeration;
    rkl_performRegexOp(request, enumeration.outcome);
    if (!enumeration.outcome.compiled)
        return false;
    enumeration.strings = !(request.enumerationOptions & RKLRegexEnumerationCapturedStringsNotRequired);
    const NSRange& range = enumeration.outcome.range;
    uregex_setText(enumeration.outcome.clone.get(),
                   reinterpret_cast<const UChar*>(enumeration.subject().constData()) + range.location,
                   static_cast<int32_t>(range.length), &status);
    return true;
}

// Visits each match with the ranges of the whole match and every group (subject coordinates);
// the visitor answers true to stop.
template <typename Visitor>
void rkl_forEachMatch(RKLEnumeration& enumeration, Visitor&& visit, UErrorCode& status)
{
    URegularExpression* regex = enumeration.outcome.clone.get();
    const int groups = static_cast<int>(enumeration.outcome.captureCount) + 1;
    const NSUInteger offset = enumeration.outcome.range.location;
    QVarLengthArray<NSRange, 16> ranges(groups);
    while (U_SUCCESS(status) && uregex_findNext(regex, &status)) {
        for (int group = 0; group < groups && U_SUCCESS(status); ++group) {
            const int32_t start = uregex_start(regex, group, &status);
            const int32_t end = uregex_end(regex, group, &status);
            ranges[group] = start < 0 ? kNoRange
                                      : NSRange{offset + static_cast<NSUInteger>(start),
                                                static_cast<NSUInteger>(end - start)};
        }
        if (U_FAILURE(status) || visit(ranges.constData(), groups))
            return;
    }
}

bool rkl_endEnumeration(const RKLOpRequest& request, const RKLEnumeration& enumeration, UErrorCode status)
{
    if (U_FAILURE(status)) {
        rkl_reportError(request, status, QStringLiteral("An unexpected error occurred."), enumeration.outcome.range);
        return false;
    }
    return true;
}

template <typename Block>
bool rkl_callBlock(const RKLEnumeration& enumeration, const NSRange* ranges, int count, Block&& block)
{
    QVarLengthArray<QString, 16> strings(count);
    if (enumeration.strings) {
        for (int i = 0; i < count; ++i)
            strings[i] = ranges[i].location == NSNotFound ? QStringLiteral("")
                                                          : rkl_substring(enumeration.subject(), ranges[i]);
    }
    volatile bool stop = false;
    block(count, strings.constData(), ranges, &stop);
    return stop;
}

bool rkl_enumerateMatches(RKLOpRequest request, const RKLEnumerationBlock& block)
{
    request.regexOp = RKLCapturesArrayOp;
    RKLEnumeration enumeration;
    UErrorCode status = U_ZERO_ERROR;
    if (!rkl_beginEnumeration(request, enumeration, status))
        return false;
    rkl_forEachMatch(
        enumeration,
        [&](const NSRange* ranges, int count) { return rkl_callBlock(enumeration, ranges, count, block); }, status);
    return rkl_endEnumeration(request, enumeration, status);
}

bool rkl_enumeratePieces(RKLOpRequest request, const RKLEnumerationBlock& block)
{
    request.regexOp = RKLSplitOp;
    RKLEnumeration enumeration;
    UErrorCode status = U_ZERO_ERROR;
    if (!rkl_beginEnumeration(request, enumeration, status))
        return false;
    const NSUInteger rangeEnd = enumeration.outcome.range.location + enumeration.outcome.range.length;
    NSUInteger previousEnd = enumeration.outcome.range.location;
    bool lastReachedEnd = false;
    bool stopped = false;
    rkl_forEachMatch(
        enumeration,
        [&](const NSRange* ranges, int) {
            const NSRange& match = ranges[0];
            if (match.length == 0 && match.location == previousEnd)
                return false;
            const NSRange piece{previousEnd, match.location - previousEnd};
            previousEnd = match.location + match.length;
            lastReachedEnd = previousEnd == rangeEnd;
            stopped = rkl_callBlock(enumeration, &piece, 1, block);
            return stopped;
        },
        status);
    if (U_SUCCESS(status) && !stopped && !lastReachedEnd) {
        const NSRange rest{previousEnd, rangeEnd - previousEnd};
        rkl_callBlock(enumeration, &rest, 1, block);
    }
    return rkl_endEnumeration(request, enumeration, status);
}

// Answers the replaced text of the range (null when the pattern does not compile) and the count.
QString rkl_replaceWithBlock(RKLOpRequest request, const RKLReplacementBlock& block, NSInteger& count,
                             NSRange& range)
{
    request.regexOp = RKLCapturesArrayOp;
    request.replacingBlock = true;
    RKLEnumeration enumeration;
    UErrorCode status = U_ZERO_ERROR;
    count = -1;
    if (!rkl_beginEnumeration(request, enumeration, status))
        return QString();
    range = enumeration.outcome.range;
    const QString& subject = enumeration.subject();
    const QChar* units = subject.constData();
    NSUInteger previousEnd = range.location;
    QString output;
    count = 0;
    rkl_forEachMatch(
        enumeration,
        [&](const NSRange* ranges, int groups) {
            output.append(units + previousEnd, static_cast<qsizetype>(ranges[0].location - previousEnd));
            QString replacement;
            const auto keepAnswer = [&](NSInteger n, const QString* strings, const NSRange* r, volatile bool* stop) {
                replacement = block(n, strings, r, stop);
            };
            const bool stop = rkl_callBlock(enumeration, ranges, groups, keepAnswer);
            output.append(replacement);
            previousEnd = ranges[0].location + ranges[0].length;
            ++count;
            return stop;
        },
        status);
    if (!rkl_endEnumeration(request, enumeration, status)) {
        count = -1;
        return QString();
    }
    output.append(units + previousEnd, static_cast<qsizetype>(range.location + range.length - previousEnd));
    if (output.isEmpty())
        return QStringLiteral("");
    if (count == 0 && output.size() == subject.size())
        return subject;
    return output;
}

RKLOpRequest rkl_patternRequest(const char* selector, bool classReceiver, const QString& regex,
                                RKLRegexOptions options, Error* error)
{
    RKLOpRequest request;
    request.selector = selector;
    request.classReceiver = classReceiver;
    request.kind = RKLRequestKind::CaptureCount;
    request.regex = &regex;
    request.options = options;
    request.error = error;
    return request;
}

NSInteger rkl_captureCount(const RKLOpRequest& request)
{
    RKLOpOutcome outcome;
    rkl_performRegexOp(request, outcome);
    return outcome.compiled ? outcome.captureCount : -1;
}

}  // namespace

// ---- Matching ----------------------------------------------------------------------------------

bool isMatchedByRegex(const QString& subject, const QString& regex)
{
    return rkl_rangeOp(rkl_request("isMatchedByRegex:", RKLRangeOp, subject, regex, 0, kWholeSubject, nullptr))
               .location
        != NSNotFound;
}

bool isMatchedByRegex(const QString& subject, const QString& regex, NSRange range)
{
    return rkl_rangeOp(rkl_request("isMatchedByRegex:inRange:", RKLRangeOp, subject, regex, 0, range, nullptr))
               .location
        != NSNotFound;
}

bool isMatchedByRegex(const QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                      Error* error)
{
    return rkl_rangeOp(rkl_request("isMatchedByRegex:options:inRange:error:", RKLRangeOp, subject, regex, options,
                                   range, error))
               .location
        != NSNotFound;
}

NSRange rangeOfRegex(const QString& subject, const QString& regex)
{
    return rkl_rangeOp(rkl_request("rangeOfRegex:", RKLRangeOp, subject, regex, 0, kWholeSubject, nullptr));
}

NSRange rangeOfRegex(const QString& subject, const QString& regex, NSInteger capture)
{
    RKLOpRequest request = rkl_request("rangeOfRegex:capture:", RKLRangeOp, subject, regex, 0, kWholeSubject, nullptr);
    request.capture = capture;
    return rkl_rangeOp(request);
}

NSRange rangeOfRegex(const QString& subject, const QString& regex, NSRange range)
{
    return rkl_rangeOp(rkl_request("rangeOfRegex:inRange:", RKLRangeOp, subject, regex, 0, range, nullptr));
}

NSRange rangeOfRegex(const QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                     NSInteger capture, Error* error)
{
    RKLOpRequest request = rkl_request("rangeOfRegex:options:inRange:capture:error:", RKLRangeOp, subject, regex,
                                       options, range, error);
    request.capture = capture;
    return rkl_rangeOp(request);
}

QString stringByMatching(const QString& subject, const QString& regex)
{
    return rkl_matchedString(rkl_request("stringByMatching:", RKLRangeOp, subject, regex, 0, kWholeSubject, nullptr));
}

QString stringByMatching(const QString& subject, const QString& regex, NSInteger capture)
{
    RKLOpRequest request =
        rkl_request("stringByMatching:capture:", RKLRangeOp, subject, regex, 0, kWholeSubject, nullptr);
    request.capture = capture;
    return rkl_matchedString(request);
}

QString stringByMatching(const QString& subject, const QString& regex, NSRange range)
{
    return rkl_matchedString(rkl_request("stringByMatching:inRange:", RKLRangeOp, subject, regex, 0, range, nullptr));
}

QString stringByMatching(const QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                         NSInteger capture, Error* error)
{
    RKLOpRequest request = rkl_request("stringByMatching:options:inRange:capture:error:", RKLRangeOp, subject, regex,
                                       options, range, error);
    request.capture = capture;
    return rkl_matchedString(request);
}

// ---- Components ---------------------------------------------------------------------------------

std::optional<QStringList> componentsSeparatedByRegex(const QString& subject, const QString& regex)
{
    return rkl_strings(
        rkl_request("componentsSeparatedByRegex:", RKLSplitOp, subject, regex, 0, kWholeSubject, nullptr));
}

std::optional<QStringList> componentsSeparatedByRegex(const QString& subject, const QString& regex, NSRange range)
{
    return rkl_strings(
        rkl_request("componentsSeparatedByRegex:range:", RKLSplitOp, subject, regex, 0, range, nullptr));
}

std::optional<QStringList> componentsSeparatedByRegex(const QString& subject, const QString& regex,
                                                      RKLRegexOptions options, NSRange range, Error* error)
{
    return rkl_strings(rkl_request("componentsSeparatedByRegex:options:range:error:", RKLSplitOp, subject, regex,
                                   options, range, error));
}

std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex)
{
    return rkl_strings(
        rkl_request("componentsMatchedByRegex:", RKLArrayOfStringsOp, subject, regex, 0, kWholeSubject, nullptr));
}

std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex, NSInteger capture)
{
    RKLOpRequest request = rkl_request("componentsMatchedByRegex:capture:", RKLArrayOfStringsOp, subject, regex, 0,
                                       kWholeSubject, nullptr);
    request.capture = capture;
    return rkl_strings(request);
}

std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex, NSRange range)
{
    return rkl_strings(
        rkl_request("componentsMatchedByRegex:range:", RKLArrayOfStringsOp, subject, regex, 0, range, nullptr));
}

std::optional<QStringList> componentsMatchedByRegex(const QString& subject, const QString& regex,
                                                    RKLRegexOptions options, NSRange range, NSInteger capture,
                                                    Error* error)
{
    RKLOpRequest request = rkl_request("componentsMatchedByRegex:options:range:capture:error:", RKLArrayOfStringsOp,
                                       subject, regex, options, range, error);
    request.capture = capture;
    return rkl_strings(request);
}

std::optional<QStringList> captureComponentsMatchedByRegex(const QString& subject, const QString& regex)
{
    return rkl_strings(rkl_request("captureComponentsMatchedByRegex:", RKLCapturesArrayOp, subject, regex, 0,
                                   kWholeSubject, nullptr));
}

std::optional<QStringList> captureComponentsMatchedByRegex(const QString& subject, const QString& regex,
                                                           NSRange range)
{
    return rkl_strings(rkl_request("captureComponentsMatchedByRegex:range:", RKLCapturesArrayOp, subject, regex, 0,
                                   range, nullptr));
}

std::optional<QStringList> captureComponentsMatchedByRegex(const QString& subject, const QString& regex,
                                                           RKLRegexOptions options, NSRange range, Error* error)
{
    return rkl_strings(rkl_request("captureComponentsMatchedByRegex:options:range:error:", RKLCapturesArrayOp,
                                   subject, regex, options, range, error));
}

std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex)
{
    return rkl_arrayOfCaptures(rkl_request("arrayOfCaptureComponentsMatchedByRegex:",
                                           RKLArrayOfCapturesOp | RKLSubcapturesArray, subject, regex, 0,
                                           kWholeSubject, nullptr));
}

std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex,
                                                                         RKLRegexOptions options)
{
    return rkl_arrayOfCaptures(rkl_request("arrayOfCaptureComponentsMatchedByRegex:options:",
                                           RKLArrayOfCapturesOp | RKLSubcapturesArray, subject, regex, options,
                                           kWholeSubject, nullptr));
}

std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex, NSRange range)
{
    return rkl_arrayOfCaptures(rkl_request("arrayOfCaptureComponentsMatchedByRegex:range:",
                                           RKLArrayOfCapturesOp | RKLSubcapturesArray, subject, regex, 0, range,
                                           nullptr));
}

std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString& subject,
                                                                         const QString& regex,
                                                                         RKLRegexOptions options,
                                                                         NSRange range, Error* error)
{
    return rkl_arrayOfCaptures(rkl_request("arrayOfCaptureComponentsMatchedByRegex:options:range:error:",
                                           RKLArrayOfCapturesOp | RKLSubcapturesArray, subject, regex, options,
                                           range, error));
}

// ---- Dictionaries -------------------------------------------------------------------------------

std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     const RKLKeysAndCaptures& keysAndCaptures)
{
    return rkl_withKeys(rkl_request("dictionaryByMatchingRegex:withKeysAndCaptures:", RKLDictionaryOfCapturesOp,
                                    subject, regex, 0, kWholeSubject, nullptr),
                        rkl_keyList(keysAndCaptures), rkl_firstDictionary);
}

std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex, NSRange range,
                                                     const RKLKeysAndCaptures& keysAndCaptures)
{
    return rkl_withKeys(rkl_request("dictionaryByMatchingRegex:range:withKeysAndCaptures:",
                                    RKLDictionaryOfCapturesOp, subject, regex, 0, range, nullptr),
                        rkl_keyList(keysAndCaptures), rkl_firstDictionary);
}

std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     RKLRegexOptions options, NSRange range, Error* error,
                                                     const RKLKeysAndCaptures& keysAndCaptures)
{
    return rkl_withKeys(rkl_request("dictionaryByMatchingRegex:options:range:error:withKeysAndCaptures:",
                                    RKLDictionaryOfCapturesOp, subject, regex, options, range, error),
                        rkl_keyList(keysAndCaptures), rkl_firstDictionary);
}

std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     RKLRegexOptions options, NSRange range, Error* error,
                                                     const QString& firstKey, const QVariantList& arguments)
{
    return rkl_withKeys(rkl_request("dictionaryByMatchingRegex:options:range:error:withFirstKey:arguments:",
                                    RKLDictionaryOfCapturesOp, subject, regex, options, range, error),
                        rkl_keyList(firstKey, arguments), rkl_firstDictionary);
}

std::optional<QVariantMap> dictionaryByMatchingRegex(const QString& subject, const QString& regex,
                                                     RKLRegexOptions options, NSRange range, Error* error,
                                                     const QString* keys, const int* captures, NSUInteger count)
{
    RKLOpRequest request = rkl_request("dictionaryByMatchingRegex:options:range:error:withKeys:forCaptures:count:",
                                       RKLDictionaryOfCapturesOp, subject, regex, options, range, error);
    rkl_setKeys(request, keys, captures, count);
    return rkl_firstDictionary(request);
}

std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     const RKLKeysAndCaptures& keysAndCaptures)
{
    return rkl_withKeys(rkl_request("arrayOfDictionariesByMatchingRegex:withKeysAndCaptures:",
                                    RKLArrayOfDictionariesOfCapturesOp, subject, regex, 0, kWholeSubject, nullptr),
                        rkl_keyList(keysAndCaptures), rkl_dictionaries);
}

std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     NSRange range,
                                                                     const RKLKeysAndCaptures& keysAndCaptures)
{
    return rkl_withKeys(rkl_request("arrayOfDictionariesByMatchingRegex:range:withKeysAndCaptures:",
                                    RKLArrayOfDictionariesOfCapturesOp, subject, regex, 0, range, nullptr),
                        rkl_keyList(keysAndCaptures), rkl_dictionaries);
}

std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     RKLRegexOptions options, NSRange range,
                                                                     Error* error,
                                                                     const RKLKeysAndCaptures& keysAndCaptures)
{
    return rkl_withKeys(rkl_request("arrayOfDictionariesByMatchingRegex:options:range:error:withKeysAndCaptures:",
                                    RKLArrayOfDictionariesOfCapturesOp, subject, regex, options, range, error),
                        rkl_keyList(keysAndCaptures), rkl_dictionaries);
}

std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     RKLRegexOptions options, NSRange range,
                                                                     Error* error, const QString& firstKey,
                                                                     const QVariantList& arguments)
{
    return rkl_withKeys(rkl_request("arrayOfDictionariesByMatchingRegex:options:range:error:withFirstKey:arguments:",
                                    RKLArrayOfDictionariesOfCapturesOp, subject, regex, options, range, error),
                        rkl_keyList(firstKey, arguments), rkl_dictionaries);
}

std::optional<QList<QVariantMap>> arrayOfDictionariesByMatchingRegex(const QString& subject, const QString& regex,
                                                                     RKLRegexOptions options, NSRange range,
                                                                     Error* error, const QString* keys,
                                                                     const int* captures, NSUInteger count)
{
    RKLOpRequest request =
        rkl_request("arrayOfDictionariesByMatchingRegex:options:range:error:withKeys:forCaptures:count:",
                    RKLArrayOfDictionariesOfCapturesOp, subject, regex, options, range, error);
    rkl_setKeys(request, keys, captures, count);
    return rkl_dictionaries(request);
}

// ---- Replacing ----------------------------------------------------------------------------------

QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const QString& replacement)
{
    RKLOpRequest request = rkl_request("stringByReplacingOccurrencesOfRegex:withString:", RKLReplaceOp, subject,
                                       regex, 0, kWholeSubject, nullptr);
    request.replacement = &replacement;
    return rkl_replace(request);
}

QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const QString& replacement, NSRange range)
{
    RKLOpRequest request = rkl_request("stringByReplacingOccurrencesOfRegex:withString:range:", RKLReplaceOp,
                                       subject, regex, 0, range, nullptr);
    request.replacement = &replacement;
    return rkl_replace(request);
}

QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const QString& replacement, RKLRegexOptions options, NSRange range,
                                            Error* error)
{
    RKLOpRequest request = rkl_request("stringByReplacingOccurrencesOfRegex:withString:options:range:error:",
                                       RKLReplaceOp, subject, regex, options, range, error);
    request.replacement = &replacement;
    return rkl_replace(request);
}

QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex,
                                            const RKLReplacementBlock& block)
{
    NSInteger count = 0;
    NSRange range;
    return rkl_replaceWithBlock(rkl_request("stringByReplacingOccurrencesOfRegex:usingBlock:", RKLNoOp, subject,
                                            regex, 0, kWholeSubject, nullptr),
                                block, count, range);
}

QString stringByReplacingOccurrencesOfRegex(const QString& subject, const QString& regex, RKLRegexOptions options,
                                            NSRange range, Error* error,
                                            RKLRegexEnumerationOptions enumerationOptions,
                                            const RKLReplacementBlock& block)
{
    RKLOpRequest request = rkl_request(
        "stringByReplacingOccurrencesOfRegex:options:inRange:error:enumerationOptions:usingBlock:", RKLNoOp, subject,
        regex, options, range, error);
    request.enumerationOptions = enumerationOptions;
    NSInteger count = 0;
    NSRange replacedRange;
    return rkl_replaceWithBlock(request, block, count, replacedRange);
}

NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const QString& replacement)
{
    RKLOpRequest request = rkl_request("replaceOccurrencesOfRegex:withString:", RKLReplaceOp | RKLReplaceMutable,
                                       subject, regex, 0, kWholeSubject, nullptr);
    request.replacement = &replacement;
    return rkl_replaceInPlace(subject, request);
}

NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const QString& replacement,
                                    NSRange range)
{
    RKLOpRequest request = rkl_request("replaceOccurrencesOfRegex:withString:range:",
                                       RKLReplaceOp | RKLReplaceMutable, subject, regex, 0, range, nullptr);
    request.replacement = &replacement;
    return rkl_replaceInPlace(subject, request);
}

NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const QString& replacement,
                                    RKLRegexOptions options, NSRange range, Error* error)
{
    RKLOpRequest request = rkl_request("replaceOccurrencesOfRegex:withString:options:range:error:",
                                       RKLReplaceOp | RKLReplaceMutable, subject, regex, options, range, error);
    request.replacement = &replacement;
    return rkl_replaceInPlace(subject, request);
}

namespace {

NSInteger rkl_replaceInPlaceWithBlock(QString& subject, const RKLOpRequest& request, const RKLReplacementBlock& block)
{
    NSInteger count = 0;
    NSRange range;
    const QString replaced = rkl_replaceWithBlock(request, block, count, range);
    if (count > 0) {
        rkl_flushString(subject);
        subject.replace(static_cast<qsizetype>(range.location), static_cast<qsizetype>(range.length), replaced);
    }
    return count;
}

}  // namespace

NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, const RKLReplacementBlock& block)
{
    return rkl_replaceInPlaceWithBlock(subject,
                                       rkl_request("replaceOccurrencesOfRegex:usingBlock:", RKLNoOp, subject, regex,
                                                   0, kWholeSubject, nullptr),
                                       block);
}

NSInteger replaceOccurrencesOfRegex(QString& subject, const QString& regex, RKLRegexOptions options, NSRange range,
                                    Error* error, RKLRegexEnumerationOptions enumerationOptions,
                                    const RKLReplacementBlock& block)
{
    RKLOpRequest request =
        rkl_request("replaceOccurrencesOfRegex:options:inRange:error:enumerationOptions:usingBlock:", RKLNoOp,
                    subject, regex, options, range, error);
    request.enumerationOptions = enumerationOptions;
    return rkl_replaceInPlaceWithBlock(subject, request, block);
}

// ---- Block enumeration --------------------------------------------------------------------------

bool enumerateStringsMatchedByRegex(const QString& subject, const QString& regex, const RKLEnumerationBlock& block)
{
    return rkl_enumerateMatches(rkl_request("enumerateStringsMatchedByRegex:usingBlock:", RKLNoOp, subject, regex, 0,
                                            kWholeSubject, nullptr),
                                block);
}

bool enumerateStringsMatchedByRegex(const QString& subject, const QString& regex, RKLRegexOptions options,
                                    NSRange range, Error* error, RKLRegexEnumerationOptions enumerationOptions,
                                    const RKLEnumerationBlock& block)
{
    RKLOpRequest request =
        rkl_request("enumerateStringsMatchedByRegex:options:inRange:error:enumerationOptions:usingBlock:", RKLNoOp,
                    subject, regex, options, range, error);
    request.enumerationOptions = enumerationOptions;
    return rkl_enumerateMatches(request, block);
}

bool enumerateStringsSeparatedByRegex(const QString& subject, const QString& regex,
                                      const RKLEnumerationBlock& block)
{
    return rkl_enumeratePieces(rkl_request("enumerateStringsSeparatedByRegex:usingBlock:", RKLNoOp, subject, regex,
                                           0, kWholeSubject, nullptr),
                               block);
}

bool enumerateStringsSeparatedByRegex(const QString& subject, const QString& regex, RKLRegexOptions options,
                                      NSRange range, Error* error, RKLRegexEnumerationOptions enumerationOptions,
                                      const RKLEnumerationBlock& block)
{
    RKLOpRequest request =
        rkl_request("enumerateStringsSeparatedByRegex:options:inRange:error:enumerationOptions:usingBlock:", RKLNoOp,
                    subject, regex, options, range, error);
    request.enumerationOptions = enumerationOptions;
    return rkl_enumeratePieces(request, block);
}

// ---- The pattern itself -------------------------------------------------------------------------

NSInteger captureCount(const QString& regex)
{
    return rkl_captureCount(rkl_patternRequest("captureCount", false, regex, 0, nullptr));
}

NSInteger captureCountWithOptions(const QString& regex, RKLRegexOptions options, Error* error)
{
    return rkl_captureCount(rkl_patternRequest("captureCountWithOptions:error:", false, regex, options, error));
}

NSInteger captureCountForRegex(const QString& regex)
{
    return rkl_captureCount(rkl_patternRequest("captureCountForRegex:", true, regex, 0, nullptr));
}

NSInteger captureCountForRegex(const QString& regex, RKLRegexOptions options, Error* error)
{
    return rkl_captureCount(rkl_patternRequest("captureCountForRegex:options:error:", true, regex, options, error));
}

bool isRegexValid(const QString& regex)
{
    return rkl_captureCount(rkl_patternRequest("isRegexValid", false, regex, 0, nullptr)) != -1;
}

bool isRegexValidWithOptions(const QString& regex, RKLRegexOptions options, Error* error)
{
    return rkl_captureCount(rkl_patternRequest("isRegexValidWithOptions:error:", false, regex, options, error)) != -1;
}

// ---- The cache ----------------------------------------------------------------------------------

void flushCachedRegexData(const QString& subject)
{
    rkl_flushString(subject);
}

void clearStringCache()
{
    rkl_clearStringCache();
}

}  // namespace RegexKitLiteAdditions
