// The search window's two hot paths against the plain libraries doing the same work:
// - reading a 200-item search page (the search reader over TBXML) vs libxml2 building a document
//   and reading the same item children;
// - a result-model reset, layout and one 400 x 540 paint of 200 results and the more row vs a
//   bare QListView whose QStyledItemDelegate paints the titles.
#include "BenchSupport.h"
#include "ItemListBaseline.h"

#include "newslist/search/SearchReply.h"
#include "newslist/views/search/SearchNewsViewController.h"

#include <QApplication>
#include <QImage>
#include <QListView>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kItems = 200;
constexpr int kWidth = 400;
constexpr int kHeight = 540;

QByteArray makePage()
{
    return bench::channelXml(kItems, [](int i) {
        return bench::ChannelItem{QString(),
                                  700000 - i,
                                  QStringLiteral("第%1条结果：苹果发布新机器，价格与配置全面公开").arg(i),
                                  QStringLiteral("2023/11"),
                                  QStringLiteral("2023-11-%1 10:00:00").arg(1 + i % 28, 2, 10, QLatin1Char('0')),
                                  QStringLiteral("这是一段搜索结果的摘要。"),
                                  i * 37,
                                  i % 90};
    });
}

const QByteArray& page()
{
    static const QByteArray xml = makePage();
    return xml;
}

// libxml2 doing the search reader's work: the tree, every child text of every item.
int bareRead(const QByteArray& xml)
{
    return bench::libxml2ReadChannelItems(xml);
}

void BM_SearchPageRead(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(SearchReply::parserNewsListXmlData(page()));
}
BENCHMARK(BM_SearchPageRead);

void BM_BareLibxml2TreeRead(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bareRead(page()));
}
BENCHMARK(BM_BareLibxml2TreeRead);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    xmlInitParser();
    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;
    const QList<FeedPtr> results = SearchReply::parserNewsListXmlData(page());
    if (results.size() != kItems || bareRead(page()) != kItems) {
        std::printf("the page did not read as %d items; no ratio\n", kItems);
        return 1;
    }

    SearchNewsViewController ours;
    ours.window()->resize(kWidth, kHeight + 60);
    ours.showWindow();
    QCoreApplication::processEvents();
    QListView* table = ours.searchResultTV();
    QImage oursImage(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    // A reset replaces the more row's button and the old one is deleted later; the event loop
    // would delete it before the next page, so each pass does, instead of piling thousands of
    // hidden buttons into the viewport that every render then walks.
    auto oursPass = [&] {
        ours.presenter()->showNewsPage(results);
        table->doItemsLayout();
        table->viewport()->render(&oursImage);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };

    // Pages whose rows the table has never painted: more of them, in turn, than it keeps painted,
    // as a new search shows them. The pass above repaints known rows, as scrolling and a refresh do.
    std::vector<QList<FeedPtr>> newPages;
    for (int page = 0; page < 12; ++page) {
        QList<FeedPtr> feeds;
        for (const FeedPtr& feed : results) {
            auto renamed = std::make_shared<Feed>(*feed);
            renamed->title += QString::number(page);
            feeds.append(renamed);
        }
        newPages.push_back(feeds);
    }
    std::size_t nextPage = 0;
    auto oursNewRowsPass = [&] {
        ours.presenter()->showNewsPage(newPages[nextPage++ % newPages.size()]);
        table->doItemsLayout();
        table->viewport()->render(&oursImage);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };

    QStringList texts;
    for (const FeedPtr& feed : results)
        texts.append(feed->title);
    texts.append(QStringLiteral("搜索更多"));
    bench::BareTitleList bare(QSize(kWidth, kHeight), 63, texts);
    auto barePass = [&] { bare.pass(); };

    oursPass();
    QCoreApplication::processEvents();
    std::printf("result table viewport %d x %d\n", table->viewport()->width(), table->viewport()->height());
    if (table->model()->rowCount() != kItems + 1 || table->viewport()->width() < kWidth - 20
        || table->viewport()->height() < kHeight - 20) {
        std::printf("the result table did not show %d rows; no ratio\n", kItems + 1);
        return 1;
    }

    double oursRead = 1e9, bareReadTime = 1e9, oursPaint = 1e9, oursNewPaint = 1e9, barePaint = 1e9;
    for (int round = 0; round < 2; ++round) {
        oursRead = std::min(oursRead, bench::bestSecondsPerCall([] { benchmark::DoNotOptimize(SearchReply::parserNewsListXmlData(page())); }));
        bareReadTime = std::min(bareReadTime, bench::bestSecondsPerCall([] { benchmark::DoNotOptimize(bareRead(page())); }));
        oursPaint = std::min(oursPaint, bench::bestSecondsPerCall(oursPass));
        oursNewPaint = std::min(oursNewPaint, bench::bestSecondsPerCall(oursNewRowsPass));
        barePaint = std::min(barePaint, bench::bestSecondsPerCall(barePass));
    }
    std::printf("page: %d items, %lld bytes\n", kItems, static_cast<long long>(page().size()));
    std::printf("search reader %.1f us, libxml2 tree read %.1f us\n", oursRead * 1e6, bareReadTime * 1e6);
    std::printf("search page read time ratio ours/libxml2: %.2f (goal: at most 1.5)\n", oursRead / bareReadTime);
    std::printf("results reset+layout+paint %.1f us, bare QListView %.1f us\n", oursPaint * 1e6, barePaint * 1e6);
    std::printf("result table time ratio ours/bare QListView: %.2f (goal: at most 1.5)\n", oursPaint / barePaint);
    std::printf("results of a new search reset+layout+paint %.1f us\n", oursNewPaint * 1e6);
    std::printf("result table, rows never painted before, time ratio ours/bare QListView: %.2f (goal: at most 1.5)\n",
                oursNewPaint / barePaint);
    return 0;
}
