#include "Library/RegexKitLite-4.0/RegexKitLite.h"

#include <unicode/utypes.h>

#include <gtest/gtest.h>

using namespace RegexKitLiteAdditions;

namespace {

constexpr NSRange kWhole{0, NSUIntegerMax};

template <typename Call>
RKLException raised(Call&& call)
{
    try {
        call();
    } catch (const RKLException& exception) {
        return exception;
    }
    ADD_FAILURE() << "expected an RKLException";
    return RKLException(QString(), QString());
}

void expectEmptyNotNull(const QString& text)
{
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(text.isNull());
}

}  // namespace

TEST(RegexCaptures, TwoGroupsThreeMatchesGiveThreeByThree)
{
    const auto matches = arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("ab a ab"), QStringLiteral("(a)(b)?"));
    ASSERT_TRUE(matches.has_value());
    ASSERT_EQ(matches->size(), 3);
    EXPECT_EQ(matches->at(0), (QStringList{"ab", "a", "b"}));
    EXPECT_EQ(matches->at(1), (QStringList{"a", "a", ""}));
    EXPECT_EQ(matches->at(2), (QStringList{"ab", "a", "b"}));
    // The group that did not take part is a real, empty string.
    expectEmptyNotNull(matches->at(1).at(2));
}

TEST(RegexCaptures, NoMatchIsEmptyAndBadPatternIsNullWithError)
{
    const auto none = arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("xyz"), QStringLiteral("(a)(b)"));
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->isEmpty());

    EXPECT_FALSE(arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("abc"), QStringLiteral("(a")).has_value());

    Error error(QStringLiteral("stale"), 1);
    std::optional<QList<QStringList>> result;
    EXPECT_NO_THROW(result = arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("abc"), QStringLiteral("a(b"), 0,
                                                                    kWhole, &error));
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(error.domain, QStringLiteral("RKLICURegexErrorDomain"));
    EXPECT_EQ(error.code, U_REGEX_MISMATCHED_PAREN);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("There was an error compiling the regular expression."));
    EXPECT_EQ(error.userInfo.value("RKLICURegexErrorCode").toInt(), U_REGEX_MISMATCHED_PAREN);
    EXPECT_EQ(error.userInfo.value("RKLICURegexErrorName").toString(), QStringLiteral("U_REGEX_MISMATCHED_PAREN"));
    EXPECT_EQ(error.userInfo.value("RKLICURegexRegex").toString(), QStringLiteral("a(b"));
    EXPECT_TRUE(error.userInfo.contains("RKLICURegexOffset"));
    EXPECT_TRUE(error.userInfo.value("NSLocalizedFailureReason").toString().contains(QStringLiteral("<<HERE>>")));

    // A later good call clears the error it is handed.
    EXPECT_TRUE(isMatchedByRegex(QStringLiteral("abc"), QStringLiteral("b"), 0, kWhole, &error));
    EXPECT_EQ(error, Error());
}

TEST(RegexCaptures, CaseInsensitiveOption)
{
    const QString text = QStringLiteral("Tidwen TIDWEN tidwen");
    EXPECT_EQ(arrayOfCaptureComponentsMatchedByRegex(text, QStringLiteral("tidwen"))->size(), 1);
    const auto caseless = arrayOfCaptureComponentsMatchedByRegex(text, QStringLiteral("tidwen"), 2);
    ASSERT_EQ(caseless->size(), 3);
    EXPECT_EQ(caseless->at(1).at(0), QStringLiteral("TIDWEN"));
}

TEST(RegexReplace, TemplateNoMatchEmptyResultAndEmptyMatches)
{
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(QStringLiteral("John Smith"), QStringLiteral("(\\w+) (\\w+)"),
                                                  QStringLiteral("$2, $1")),
              QStringLiteral("Smith, John"));
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(QStringLiteral("a1"), QStringLiteral("\\d"), QStringLiteral("\\$1")),
              QStringLiteral("a$1"));

    const QString subject = QStringLiteral("nothing to see");
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("\\d"), QStringLiteral("#")), subject);
    expectEmptyNotNull(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral(".+"), QStringLiteral("")));

    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(QStringLiteral("abc"), QStringLiteral("x*"), QStringLiteral("-")),
              QStringLiteral("-a-b-c-"));
    EXPECT_TRUE(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("("), QStringLiteral("#")).isNull());

    // Longer than the first output estimate: the second pass must deliver all of it.
    const QString many(300, QLatin1Char('a'));
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(many, QStringLiteral("a"), QStringLiteral("<$0$0$0>")),
              QStringLiteral("<aaa>").repeated(300));
}

TEST(RegexReplace, RangeFormsAndMutableReplace)
{
    const QString subject = QStringLiteral("a1b2c3");
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("\\d"), QStringLiteral("#"),
                                                  NSMakeRange(2, 2)),
              QStringLiteral("b#"));

    QString text = subject;
    const QString keep = text;
    EXPECT_EQ(replaceOccurrencesOfRegex(text, QStringLiteral("\\d"), QStringLiteral("#"), NSMakeRange(2, 2)), 1);
    EXPECT_EQ(text, QStringLiteral("a1b#c3"));
    EXPECT_EQ(keep, subject);
    EXPECT_EQ(replaceOccurrencesOfRegex(text, QStringLiteral("\\d"), QStringLiteral("")), 2);
    EXPECT_EQ(text, QStringLiteral("ab#c"));
    EXPECT_EQ(replaceOccurrencesOfRegex(text, QStringLiteral("z"), QStringLiteral("")), 0);
    EXPECT_EQ(replaceOccurrencesOfRegex(text, QStringLiteral("["), QStringLiteral("")), -1);
    EXPECT_EQ(text, QStringLiteral("ab#c"));
    // The changed string is searched as it is now, not as the cache last saw it.
    EXPECT_EQ(rangeOfRegex(text, QStringLiteral("#")), NSMakeRange(2, 1));
}

TEST(RegexCallerErrors, RaiseWithExactMessages)
{
    const QString s = QStringLiteral("abc");
    RKLException e = raised([&] { stringByReplacingOccurrencesOfRegex(s, QStringLiteral("b"), QString()); });
    EXPECT_EQ(e.name(), QStringLiteral("NSInvalidArgumentException"));
    EXPECT_EQ(e.reason(), QStringLiteral("*** -[QString stringByReplacingOccurrencesOfRegex:withString:]: "
                                         "The replacement string argument is NULL."));
    EXPECT_STREQ(e.what(), e.reason().toStdString().c_str());

    e = raised([&] { isMatchedByRegex(s, QString()); });
    EXPECT_EQ(e.name(), QStringLiteral("NSInvalidArgumentException"));
    EXPECT_EQ(e.reason(), QStringLiteral("*** -[QString isMatchedByRegex:]: The regular expression argument is NULL."));

    e = raised([&] { componentsMatchedByRegex(QString(), QStringLiteral("a")); });
    EXPECT_EQ(e.name(), QStringLiteral("NSInternalInconsistencyException"));
    EXPECT_TRUE(e.reason().endsWith(QStringLiteral("]: The match string argument is NULL.")));

    e = raised([&] { rangeOfRegex(s, QStringLiteral("a"), NSMakeRange(2, 2)); });
    EXPECT_EQ(e.name(), QStringLiteral("NSRangeException"));
    EXPECT_EQ(e.reason(), QStringLiteral("*** -[QString rangeOfRegex:inRange:]: Range or index out of bounds."));
    // The range is checked even when the pattern does not compile.
    e = raised([&] { rangeOfRegex(s, QStringLiteral("("), NSMakeRange(4, NSUIntegerMax)); });
    EXPECT_EQ(e.name(), QStringLiteral("NSRangeException"));

    e = raised([&] { stringByMatching(s, QStringLiteral("(a)"), 2); });
    EXPECT_EQ(e.reason(),
              QStringLiteral("*** -[QString stringByMatching:capture:]: The capture argument is not valid."));
    e = raised([&] { componentsMatchedByRegex(s, QStringLiteral("(a)"), -1); });
    EXPECT_TRUE(e.reason().endsWith(QStringLiteral("The capture argument is not valid.")));

    e = raised([&] { captureCountForRegex(QString()); });
    EXPECT_EQ(e.reason(),
              QStringLiteral("*** +[QString captureCountForRegex:]: The regular expression argument is NULL."));

    QString mutableText = s;
    e = raised([&] { replaceOccurrencesOfRegex(mutableText, QStringLiteral("a"), QString()); });
    EXPECT_EQ(e.reason(), QStringLiteral("*** -[QString replaceOccurrencesOfRegex:withString:]: "
                                         "The replacement string argument is NULL."));
}

TEST(RegexCallerErrors, DictionaryAndEnumerationArguments)
{
    const QString s = QStringLiteral("k=v");
    const QString re = QStringLiteral("(\\w)=(\\w)");
    const QString keys[] = {QStringLiteral("a"), QString()};
    const int captures[] = {1, 5};

    EXPECT_TRUE(raised([&] { dictionaryByMatchingRegex(s, re, 0, kWhole, nullptr, nullptr, captures, 1); })
                    .reason()
                    .endsWith(QStringLiteral("]: The keys argument is NULL.")));
    EXPECT_TRUE(raised([&] { dictionaryByMatchingRegex(s, re, 0, kWhole, nullptr, keys, nullptr, 1); })
                    .reason()
                    .endsWith(QStringLiteral("]: The captures argument is NULL.")));
    EXPECT_TRUE(raised([&] { dictionaryByMatchingRegex(s, re, RKLKeysAndCaptures{}); })
                    .reason()
                    .endsWith(QStringLiteral("]: The keys argument is NULL.")));
    const QString namedKeys[] = {QStringLiteral("a"), QStringLiteral("b")};
    EXPECT_TRUE(raised([&] { arrayOfDictionariesByMatchingRegex(s, re, 0, kWhole, nullptr, namedKeys, captures, 2); })
                    .reason()
                    .endsWith(QStringLiteral("]: The capture argument 5 (capture 2 of 2) for key 'b' is not valid.")));
    const int goodCaptures[] = {1, 2};
    EXPECT_EQ(raised([&] { dictionaryByMatchingRegex(s, re, 0, kWhole, nullptr, keys, goodCaptures, 2); }).reason(),
              QStringLiteral("*** -[QString "
                             "dictionaryByMatchingRegex:options:range:error:withKeys:forCaptures:count:]: "
                             "The capture key (key 2 of 2) is NULL."));

    const auto noop = [](NSInteger, const QString*, const NSRange*, volatile bool*) {};
    const RKLException bad = raised([&] { enumerateStringsMatchedByRegex(s, re, 0, kWhole, nullptr, 0x400, noop); });
    EXPECT_EQ(bad.name(), QStringLiteral("NSInvalidArgumentException"));
    EXPECT_TRUE(bad.reason().endsWith(QStringLiteral("]: The RKLRegexEnumerationOptions argument is not valid.")));
    EXPECT_NO_THROW(stringByReplacingOccurrencesOfRegex(
        s, re, 0, kWhole, nullptr, 0x400 | 0x200,
        [](NSInteger, const QString*, const NSRange*, volatile bool*) { return QString(); }));
    EXPECT_ANY_THROW(enumerateStringsSeparatedByRegex(s, re, 0, kWhole, nullptr, 0x1, noop));
}

TEST(RegexCallerErrors, IcuFailureWhileReplacingRaises)
{
    const RKLException e = raised([] {
        stringByReplacingOccurrencesOfRegex(QStringLiteral("ab"), QStringLiteral("(a)"), QStringLiteral("$3"));
    });
    EXPECT_EQ(e.name(), QStringLiteral("RKLICURegexException"));
    EXPECT_EQ(e.reason(), QStringLiteral("*** -[QString stringByReplacingOccurrencesOfRegex:withString:]: ICU regular "
                                         "expression error #%1, U_INDEX_OUTOFBOUNDS_ERROR.")
                              .arg(int(U_INDEX_OUTOFBOUNDS_ERROR)));
    EXPECT_EQ(e.userInfo().value("RKLICURegexReplacementString").toString(), QStringLiteral("$3"));
    // The lock was let go: the cache still answers.
    EXPECT_TRUE(isMatchedByRegex(QStringLiteral("ab"), QStringLiteral("(a)")));
}

TEST(RegexFamily, MatchRangeAndString)
{
    const QString s = QStringLiteral("aaa bbb aaa");
    EXPECT_TRUE(isMatchedByRegex(s, QStringLiteral("b+")));
    EXPECT_FALSE(isMatchedByRegex(s, QStringLiteral("b+"), NSMakeRange(8, 3)));
    EXPECT_EQ(rangeOfRegex(s, QStringLiteral("aaa"), NSMakeRange(1, 10)), NSMakeRange(8, 3));
    EXPECT_EQ(rangeOfRegex(s, QStringLiteral("zzz")), NSMakeRange(NSNotFound, 0));
    // Only the range is handed to ICU, so an anchor matches at its start.
    EXPECT_EQ(rangeOfRegex(s, QStringLiteral("^b"), NSMakeRange(4, 3)), NSMakeRange(4, 1));

    const QString date = QStringLiteral("2015-01-05 08:30");
    const QString re = QStringLiteral("(\\d+)-(\\d+)-(\\d+)( x)?");
    EXPECT_EQ(stringByMatching(date, re, 3), QStringLiteral("05"));
    EXPECT_EQ(stringByMatching(date, re, 1), QStringLiteral("2015"));
    EXPECT_TRUE(stringByMatching(date, re, 4).isNull());
    EXPECT_EQ(rangeOfRegex(date, re, 4), NSMakeRange(NSNotFound, 0));
    EXPECT_TRUE(stringByMatching(date, QStringLiteral("z")).isNull());
    expectEmptyNotNull(stringByMatching(date, QStringLiteral("(q?)\\d"), 1));

    // Ranges count UTF-16 units.
    EXPECT_EQ(rangeOfRegex(QStringLiteral("\U0001F600新a"), QStringLiteral("a")), NSMakeRange(3, 1));
}

TEST(RegexFamily, ComponentsAndDictionaries)
{
    EXPECT_EQ(*componentsSeparatedByRegex(QStringLiteral("a, b,c"), QStringLiteral(",\\s*")),
              (QStringList{"a", "b", "c"}));
    EXPECT_EQ(*componentsSeparatedByRegex(QStringLiteral(",a,b,"), QStringLiteral(",")), (QStringList{"", "a", "b"}));
    EXPECT_EQ(*componentsSeparatedByRegex(QStringLiteral("abc"), QStringLiteral("x*")), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(*componentsSeparatedByRegex(QStringLiteral(""), QStringLiteral(",")), (QStringList{""}));
    EXPECT_EQ(*componentsSeparatedByRegex(QStringLiteral("a-b-c"), QStringLiteral("-"), NSMakeRange(2, 3)),
              (QStringList{"b", "c"}));

    const QString s = QStringLiteral("x=1 y=22 z=");
    EXPECT_EQ(*componentsMatchedByRegex(s, QStringLiteral("(\\w)=(\\d*)"), 2), (QStringList{"1", "22", ""}));
    EXPECT_EQ(*componentsMatchedByRegex(s, QStringLiteral("\\d+")), (QStringList{"1", "22"}));
    EXPECT_EQ(*captureComponentsMatchedByRegex(s, QStringLiteral("(\\w)=(\\d+)"), NSMakeRange(4, 7)),
              (QStringList{"y=22", "y", "22"}));
    EXPECT_TRUE(captureComponentsMatchedByRegex(s, QStringLiteral("q"))->isEmpty());

    const QString re = QStringLiteral("(\\w)=(\\d*)(!)?");
    const auto first = dictionaryByMatchingRegex(s, re, {{"key", 1}, {"value", 2}, {"bang", 3}});
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, (QVariantMap{{"key", "x"}, {"value", "1"}}));
    const auto all = arrayOfDictionariesByMatchingRegex(s, re, 0, kWhole, nullptr, QStringLiteral("value"),
                                                        QVariantList{2, QStringLiteral("key"), 1});
    ASSERT_EQ(all->size(), 3);
    EXPECT_EQ(all->at(2), (QVariantMap{{"key", "z"}, {"value", ""}}));
    EXPECT_TRUE(dictionaryByMatchingRegex(s, QStringLiteral("q(q)"), {{"k", 1}})->isEmpty());
    EXPECT_FALSE(dictionaryByMatchingRegex(s, QStringLiteral("(("), {{"k", 1}}).has_value());
}

TEST(RegexFamily, BlocksEnumerateAndReplace)
{
    const QString s = QStringLiteral("a1 b2 c");
    const QString re = QStringLiteral("([a-z])(\\d)?");
    QList<QStringList> seen;
    QList<NSRange> ranges;
    EXPECT_TRUE(enumerateStringsMatchedByRegex(
        s, re, [&](NSInteger count, const QString* strings, const NSRange* r, volatile bool*) {
            seen.append(QStringList(strings, strings + count));
            ranges.append(r[2]);
        }));
    EXPECT_EQ(seen, (QList<QStringList>{{"a1", "a", "1"}, {"b2", "b", "2"}, {"c", "c", ""}}));
    EXPECT_EQ(ranges.last(), NSMakeRange(NSNotFound, 0));

    int calls = 0;
    EXPECT_TRUE(enumerateStringsMatchedByRegex(s, re, 0, kWhole, nullptr, RKLRegexEnumerationCapturedStringsNotRequired,
                                               [&](NSInteger, const QString* strings, const NSRange* r,
                                                   volatile bool* stop) {
                                                   EXPECT_TRUE(strings[0].isNull());
                                                   EXPECT_EQ(r[0], NSMakeRange(0, 2));
                                                   ++calls;
                                                   *stop = true;
                                               }));
    EXPECT_EQ(calls, 1);

    QStringList pieces;
    EXPECT_TRUE(enumerateStringsSeparatedByRegex(
        s, QStringLiteral("\\d"),
        [&](NSInteger count, const QString* strings, const NSRange*, volatile bool*) {
            EXPECT_EQ(count, 1);
            pieces.append(strings[0]);
        }));
    EXPECT_EQ(pieces, (QStringList{"a", " b", " c"}));

    const auto upper = [](NSInteger, const QString* strings, const NSRange*, volatile bool*) {
        return strings[0].toUpper();
    };
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(s, re, upper), QStringLiteral("A1 B2 C"));
    QString text = s;
    EXPECT_EQ(replaceOccurrencesOfRegex(text, re, 0, NSMakeRange(3, 4), nullptr, 0,
                                        [](NSInteger, const QString*, const NSRange*, volatile bool* stop) {
                                            *stop = true;
                                            return QStringLiteral("#");
                                        }),
              1);
    EXPECT_EQ(text, QStringLiteral("a1 # c"));

    Error error;
    EXPECT_FALSE(enumerateStringsMatchedByRegex(s, QStringLiteral("("), 0, kWhole, &error, 0,
                                                [](NSInteger, const QString*, const NSRange*, volatile bool*) {}));
    EXPECT_EQ(error.code, U_REGEX_MISMATCHED_PAREN);
}

TEST(RegexFamily, PatternQueries)
{
    EXPECT_EQ(captureCount(QStringLiteral("(a)(b(c))")), 3);
    EXPECT_EQ(captureCountForRegex(QStringLiteral("abc")), 0);
    EXPECT_EQ(captureCount(QStringLiteral("(")), -1);
    EXPECT_TRUE(isRegexValid(QStringLiteral("a+")));
    Error error;
    EXPECT_FALSE(isRegexValidWithOptions(QStringLiteral("a{2"), 0, &error));
    EXPECT_EQ(error.domain, QStringLiteral("RKLICURegexErrorDomain"));
    EXPECT_NE(error.code, 0);
    // Flag bits ICU does not know are a compile error, not a crash.
    EXPECT_EQ(captureCountWithOptions(QStringLiteral("a"), 0x40000000u, &error), -1);
    EXPECT_EQ(error.domain, QStringLiteral("RKLICURegexErrorDomain"));
}
