#pragma once

// The shared engine behind the string functions: one cache of compiled expressions and the
// conversion buffers, under one lock. Only RegexKitLite.cpp and this folder use it.

#include "Library/RegexKitLite-4.0/RegexKitLite.h"

#include <QVarLengthArray>

#include <unicode/uregex.h>

#include <memory>

namespace RegexKitLiteAdditions::detail {

enum RKLRegexOp : int {
    RKLNoOp = 0,
    RKLSplitOp = 1,
    RKLReplaceOp = 2,
    RKLRangeOp = 3,
    RKLArrayOfStringsOp = 4,
    RKLArrayOfCapturesOp = 5,
    RKLCapturesArrayOp = 6,
    RKLDictionaryOfCapturesOp = 7,
    RKLArrayOfDictionariesOfCapturesOp = 8,
    RKLMaskOp = 0xF,
    RKLReplaceMutable = 1 << 4,
    RKLSubcapturesArray = 1 << 5,
};

// Kinds of request that do not search: they only need the compiled expression.
enum class RKLRequestKind { Search, CaptureCount, Enumeration };

struct RKLOpRequest
{
    const char* selector = "";
    bool classReceiver = false;
    RKLRequestKind kind = RKLRequestKind::Search;
    int regexOp = RKLNoOp;
    const QString* regex = nullptr;
    RKLRegexOptions options = 0;
    const QString* subject = nullptr;
    NSRange range{0, NSUIntegerMax};
    NSInteger capture = 0;
    const QString* replacement = nullptr;
    // Dictionary ops only.
    const QString* keys = nullptr;
    const int* captures = nullptr;
    NSUInteger count = 0;
    // Enumeration only.
    RKLRegexEnumerationOptions enumerationOptions = 0;
    bool replacingBlock = false;
    Error* error = nullptr;
};

struct RKLCloseRegex
{
    void operator()(URegularExpression* regex) const { uregex_close(regex); }
};
using RKLRegexHandle = std::unique_ptr<URegularExpression, RKLCloseRegex>;

// Room for the ranges of a typical page (a few hundred captures) without going to the heap; a
// list that outgrows it moves there once and keeps doubling.
using RKLRangeList = QVarLengthArray<NSRange, 512>;

struct RKLOpOutcome
{
    bool compiled = false;
    NSInteger captureCount = -1;
    NSRange range{NSNotFound, 0};   // the request's range, its length resolved
    NSRange match{NSNotFound, 0};   // op 3: the match or capture found
    RKLRangeList ranges;            // ops 1 and 4 to 8: the ranges collected, in order
    QString replaced;               // op 2
    NSInteger replacedCount = 0;
    int warning = 0;                // an ICU status below zero met on the way
    // Enumeration: a private clone of the expression and an owned copy of the subject.
    RKLRegexHandle clone;
    QString subjectCopy;
};

// Runs one request under the cache lock; raises RKLException for caller errors and ICU failures.
void rkl_performRegexOp(const RKLOpRequest& request, RKLOpOutcome& outcome);

// Raises with the request's prefix. Callers use it for their own argument checks.
[[noreturn]] void rkl_raise(const RKLOpRequest& request, const char* name, const QString& message,
                            QVariantMap userInfo = {});

// Fills the request's error for an ICU status that left the answer empty.
void rkl_reportError(const RKLOpRequest& request, int status, const QString& description, const NSRange& range);

// Releases the cache's and buffers' references to a string.
void rkl_flushString(const QString& subject);
void rkl_clearStringCache();

// A QString whose storage is its own (not a view of someone else's memory).
QString rkl_ownedCopy(const QString& string);

}  // namespace RegexKitLiteAdditions::detail
