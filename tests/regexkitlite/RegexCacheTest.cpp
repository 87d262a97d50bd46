#include "Library/RegexKitLite-4.0/RegexKitLite.h"

#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace RegexKitLiteAdditions;
namespace CI = RegexKitLiteAdditions::CacheInspection;

namespace {

QString joined(const std::optional<QList<QStringList>>& matches)
{
    if (!matches)
        return QStringLiteral("<nil>");
    QStringList parts;
    for (const QStringList& match : *matches)
        parts.append(match.join(QLatin1Char('/')));
    return parts.join(QLatin1Char('|'));
}

// Patterns that land in one cache set, so the set's replacement order can be watched.
QStringList patternsOfOneSet(int count, int& set)
{
    QHash<int, QStringList> bySet;
    for (int i = 0;; ++i) {
        const QString pattern = QStringLiteral("p%1(\\d)").arg(i);
        QStringList& list = bySet[CI::setForRegex(pattern, 0)];
        list.append(pattern);
        if (list.size() == count) {
            set = CI::setForRegex(pattern, 0);
            return list;
        }
    }
}

QString wayPattern(int set, int way)
{
    return CI::linesOfSet(set).at(way).regexString;
}

}  // namespace

TEST(RegexCache, SetReplacesItsLeastRecentlyUsedLine)
{
    clearStringCache();
    int set = -1;
    const QStringList p = patternsOfOneSet(5, set);
    EXPECT_EQ(CI::lruWordOfSet(set), 0x0137);

    const QString subject = QStringLiteral("p0 p1 p2");
    const quint64 before = CI::compileCount();
    for (int i = 0; i < 4; ++i)
        isMatchedByRegex(subject, p[i]);
    // The first four fills take ways 3, 2, 1, 0.
    EXPECT_EQ(wayPattern(set, 3), p[0]);
    EXPECT_EQ(wayPattern(set, 2), p[1]);
    EXPECT_EQ(wayPattern(set, 1), p[2]);
    EXPECT_EQ(wayPattern(set, 0), p[3]);

    isMatchedByRegex(subject, p[4]);  // evicts p[0], the oldest
    EXPECT_EQ(wayPattern(set, 3), p[4]);
    EXPECT_EQ(CI::compileCount(), before + 5);

    isMatchedByRegex(subject, p[1]);  // a hit: no compile, p[1] becomes the newest
    EXPECT_EQ(CI::compileCount(), before + 5);
    isMatchedByRegex(subject, p[0]);  // compiled again, into p[2]'s way (now the oldest)
    EXPECT_EQ(CI::compileCount(), before + 6);
    EXPECT_EQ(wayPattern(set, 1), p[0]);
    EXPECT_EQ(wayPattern(set, 0), p[3]);
    EXPECT_EQ(wayPattern(set, 2), p[1]);
    EXPECT_EQ(wayPattern(set, 3), p[4]);
    for (const CI::LineState& line : CI::linesOfSet(set))
        EXPECT_TRUE(line.compiled);

    // An equal pattern in another QString object is found by content, not compiled again.
    const QString copy = QString(p[3].constData(), p[3].size());
    isMatchedByRegex(subject, copy);
    EXPECT_EQ(CI::compileCount(), before + 6);
    // The same pattern with other options is another entry.
    isMatchedByRegex(subject, p[3], 2, NSMakeRange(0, NSUIntegerMax), nullptr);
    EXPECT_EQ(CI::compileCount(), before + 7);
}

TEST(RegexCache, MorePatternsThanLinesStayCorrect)
{
    clearStringCache();
    constexpr int kPatterns = 150;
    QStringList fields;
    for (int k = 1; k <= kPatterns; ++k)
        fields.append(QStringLiteral("k%1=%2").arg(k).arg(1000 + k));
    const QString subject = fields.join(QLatin1Char(' '));

    const quint64 before = CI::compileCount();
    for (int round = 0; round < 3; ++round) {
        for (int k = 1; k <= kPatterns; ++k) {
            const QString pattern = QStringLiteral("\\bk%1=(\\d+)").arg(k);
            ASSERT_EQ(stringByMatching(subject, pattern, 1), QString::number(1000 + k)) << "pattern " << k;
        }
    }
    // 52 lines cannot hold 150 patterns: later rounds had to compile again.
    EXPECT_GT(CI::compileCount() - before, quint64(kPatterns * 2));
}

TEST(RegexCache, ConversionBuffersForBorrowedStorage)
{
    clearStringCache();
    std::vector<QChar> units(2048, QLatin1Char('a'));
    const QString shortText = QString::fromRawData(units.data(), 2047);
    const QString longText = QString::fromRawData(units.data(), 2048);
    const QString owned(2047, QLatin1Char('a'));

    EXPECT_TRUE(isMatchedByRegex(shortText, QStringLiteral("a$")));
    EXPECT_EQ(CI::bufferGroupHolding(shortText), CI::BufferGroup::Fixed);
    EXPECT_TRUE(isMatchedByRegex(longText, QStringLiteral("a$")));
    EXPECT_EQ(CI::bufferGroupHolding(longText), CI::BufferGroup::Dynamic);
    EXPECT_TRUE(isMatchedByRegex(owned, QStringLiteral("a$")));
    EXPECT_EQ(CI::bufferGroupHolding(owned), CI::BufferGroup::None);

    // The borrowed memory changes under the same QString: the search must see the new text.
    units[5] = QLatin1Char('b');
    EXPECT_EQ(rangeOfRegex(shortText, QStringLiteral("b")), NSMakeRange(5, 1));
    units[5] = QLatin1Char('a');
    units[7] = QLatin1Char('b');
    EXPECT_EQ(rangeOfRegex(longText, QStringLiteral("b")), NSMakeRange(7, 1));

    flushCachedRegexData(longText);
    EXPECT_EQ(CI::bufferGroupHolding(longText), CI::BufferGroup::None);
}

TEST(RegexCache, StringEditedInPlaceIsSearchedAsItIsNow)
{
    QString text = QStringLiteral("abcabc");
    text.detach();
    const QString pattern = QStringLiteral("b");
    EXPECT_EQ(rangeOfRegex(text, pattern), NSMakeRange(1, 1));
    // Same length, and the caller's buffer would allow an in-place write.
    text[0] = QLatin1Char('b');
    EXPECT_EQ(rangeOfRegex(text, pattern), NSMakeRange(0, 1));
    text[0] = QLatin1Char('a');
    EXPECT_EQ(*componentsMatchedByRegex(text, QStringLiteral("a.")), (QStringList{"ab", "ab"}));
}

TEST(RegexCache, FlushLetsGoOfTheSubjectButKeepsTheExpression)
{
    clearStringCache();
    const QString pattern = QStringLiteral("needle");
    const QString subject = QStringLiteral("hay needle hay");
    ASSERT_TRUE(isMatchedByRegex(subject, pattern));
    const int set = CI::setForRegex(pattern, 0);
    const auto holding = [&] {
        for (const CI::LineState& line : CI::linesOfSet(set)) {
            if (line.regexString == pattern)
                return line;
        }
        return CI::LineState{};
    };
    EXPECT_TRUE(holding().setToSubject);
    flushCachedRegexData(subject);
    EXPECT_FALSE(holding().setToSubject);
    EXPECT_TRUE(holding().compiled);
    const quint64 compiles = CI::compileCount();
    EXPECT_EQ(rangeOfRegex(subject, pattern), NSMakeRange(4, 6));
    EXPECT_EQ(CI::compileCount(), compiles);
}

TEST(RegexCache, EightThreadsGiveTheSingleThreadResults)
{
    clearStringCache();
    QString longText;
    for (int i = 0; i < 120; ++i)
        longText += QStringLiteral("user%1@host%2.com Tidwen %3 新闻 ").arg(i).arg(i % 7).arg(i * 37);
    static const char16_t kBorrowed[] = u"alpha 12 beta 345 gamma 6789 TIDWEN tidwen";
    const QString borrowed = QString::fromRawData(reinterpret_cast<const QChar*>(kBorrowed),
                                                  static_cast<qsizetype>(std::size(kBorrowed) - 1));
    std::vector<char16_t> bigUnits(3000, u'x');
    bigUnits[2500] = u'7';
    const QString borrowedLong = QString::fromRawData(reinterpret_cast<const QChar*>(bigUnits.data()), 3000);
    QStringList churnFields;
    for (int k = 0; k < 70; ++k)
        churnFields.append(QStringLiteral("c%1=%2").arg(k).arg(k * k));
    const QString churnText = churnFields.join(QLatin1Char(' '));

    const QString mail = QStringLiteral("(\\w+)@(\\w+)\\.com");
    const QString digits = QStringLiteral("\\d+");
    const QString word = QStringLiteral("tidwen");

    std::vector<std::function<QString()>> ops = {
        [&] { return joined(arrayOfCaptureComponentsMatchedByRegex(longText, mail)); },
        [&] { return joined(arrayOfCaptureComponentsMatchedByRegex(borrowed, word, 2)); },
        [&] { return stringByReplacingOccurrencesOfRegex(longText, mail, QStringLiteral("$2:$1")); },
        [&] { return stringByReplacingOccurrencesOfRegex(borrowed, digits, QStringLiteral("#")); },
        [&] { return componentsSeparatedByRegex(borrowed, QStringLiteral("\\s+"))->join(QLatin1Char(',')); },
        [&] { return stringByMatching(longText, mail, 2); },
        [&] { return QString::number(rangeOfRegex(borrowedLong, digits).location); },
        [&] { return componentsMatchedByRegex(longText, digits, NSMakeRange(100, 900))->join(QLatin1Char(',')); },
        [&] {
            const auto d = dictionaryByMatchingRegex(borrowed, QStringLiteral("(\\w+) (\\d+)"), {{"w", 1}, {"n", 2}});
            return d->value("w").toString() + d->value("n").toString();
        },
        [&] {
            QString out;
            enumerateStringsMatchedByRegex(
                borrowed, digits, [&](NSInteger, const QString* s, const NSRange*, volatile bool*) { out += s[0]; });
            return out;
        },
        [&] {
            QString copy = longText;
            const NSInteger n =
                replaceOccurrencesOfRegex(copy, word, QStringLiteral("T"), 2, NSMakeRange(0, 500), nullptr);
            return QString::number(n) + copy.left(600);
        },
        [&] { return QString::number(captureCount(mail)); },
    };
    // Enough distinct patterns to keep the cache replacing lines while the others run.
    for (int k = 0; k < 70; ++k) {
        ops.push_back([&, k] { return stringByMatching(churnText, QStringLiteral("\\bc%1=(\\d+)").arg(k), 1); });
    }

    std::vector<QString> expected;
    for (const auto& op : ops)
        expected.push_back(op());
    ASSERT_EQ(expected[6], QStringLiteral("2500"));
    ASSERT_EQ(expected.back(), QStringLiteral("4761"));

    std::atomic<int> mismatches{0};
    std::atomic<long> calls{0};
    std::vector<std::thread> threads;
    QElapsedTimer timer;
    timer.start();
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (size_t i = static_cast<size_t>(t) * 13; timer.elapsed() < 2500; i += 7) {
                const size_t which = i % ops.size();
                if (ops[which]() != expected[which])
                    ++mismatches;
                ++calls;
                if (t == 0 && i % 97 == 0)
                    clearStringCache();
                if (t == 1 && i % 89 == 0)
                    flushCachedRegexData(longText);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_GT(calls.load(), static_cast<long>(ops.size()) * 8);
}
