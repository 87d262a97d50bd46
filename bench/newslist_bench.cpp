// The news list's two hot paths against the plain libraries doing the same work:
// - reading a 200-item list feed (TBXML, as the list does) vs libxml2 building a document and
//   reading the same item children;
// - a model reset, layout and one 300 x 700 paint of 200 rows vs a bare QListView whose
//   QStyledItemDelegate paints the titles.
#include "BenchSupport.h"
#include "ItemListBaseline.h"

#include "newslist/NewsListFeeds.h"
#include "newslist/views/CenterTableView.h"

#include <QApplication>
#include <QImage>

#include <cstdio>

namespace {

constexpr int kItems = 200;

QByteArray makeFeed()
{
    return bench::channelXml(kItems, [](int i) {
        return bench::ChannelItem{i < 2 ? QStringLiteral(" t=\"1\"") : QString(),
                                  1000000 - i,
                                  QStringLiteral("第%1条新闻：一台新机器今天发布，价格与配置全面公开").arg(i),
                                  QStringLiteral("2026/12"),
                                  QStringLiteral("2026-12-07 10:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
                                  QStringLiteral("这是一段新闻摘要，讲述了发布会上的主要内容与现场的情况。"),
                                  i * 37,
                                  i % 90};
    });
}

const QByteArray& feed()
{
    static const QByteArray xml = makeFeed();
    return xml;
}

// libxml2 doing the list's reading: the tree, every child text of every item, the attribute.
int bareRead(const QByteArray& xml)
{
    return bench::libxml2ReadChannelItems(xml, "t");
}

void BM_NewsListFeedRead(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(parserNewsListXmlData(feed()));
}
BENCHMARK(BM_NewsListFeedRead);

void BM_BareLibxml2TreeRead(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bareRead(feed()));
}
BENCHMARK(BM_BareLibxml2TreeRead);

NewsListEntries entries()
{
    NewsListEntries list;
    for (const FeedPtr& feed : parserNewsListXmlData(feed()))
        list.append(feed);
    return list;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    xmlInitParser();
    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;
    if (parserNewsListXmlData(feed()).size() != kItems || bareRead(feed()) != kItems) {
        std::printf("the feed did not read as %d items; no ratio\n", kItems);
        return 1;
    }

    NewsListData channel;
    channel.iListID = 103;
    channel.ListUrl = QStringLiteral("http://127.0.0.1:9/none.xml");
    CenterTableView ours(channel);
    ours.resize(300, 700);
    const NewsListEntries list = entries();
    QImage oursImage(300, 700, QImage::Format_ARGB32_Premultiplied);
    auto oursPass = [&] {
        ours.tableModel()->setListEntries(list);
        ours.doItemsLayout();
        ours.viewport()->render(&oursImage);
    };

    QStringList texts;
    for (const NewsListEntry& entry : list)
        texts.append(feedOf(entry)->title);
    bench::BareTitleList bare(QSize(300, 700), 70, texts);
    auto barePass = [&] { bare.pass(); };

    // The same pass with every rendered row forgotten first: a list of items never drawn before.
    auto* delegate = static_cast<CenterTableDelegate*>(ours.itemDelegate());
    auto oursColdPass = [&] {
        delegate->clearRows();
        oursPass();
    };
    oursPass();
    int inked = 0;
    for (int y = 0; y < 700; y += 3)
        for (int x = 0; x < 300; x += 3)
            inked += qGray(oursImage.pixel(x, y)) < 128 ? 1 : 0;
    if (inked < 100) {
        std::printf("the list painted no rows; no ratio\n");
        return 1;
    }

    double oursRead = 1e9, bareReadTime = 1e9, oursPaint = 1e9, barePaint = 1e9, oursCold = 1e9;
    for (int round = 0; round < 2; ++round) {
        oursCold = std::min(oursCold, bench::bestSecondsPerCall(oursColdPass));
        oursRead = std::min(oursRead, bench::bestSecondsPerCall([] { benchmark::DoNotOptimize(parserNewsListXmlData(feed())); }));
        bareReadTime = std::min(bareReadTime, bench::bestSecondsPerCall([] { benchmark::DoNotOptimize(bareRead(feed())); }));
        oursPaint = std::min(oursPaint, bench::bestSecondsPerCall(oursPass));
        barePaint = std::min(barePaint, bench::bestSecondsPerCall(barePass));
    }
    std::printf("feed: %d items, %lld bytes\n", kItems, static_cast<long long>(feed().size()));
    std::printf("parserNewsListXmlData %.1f us, libxml2 tree read %.1f us\n", oursRead * 1e6, bareReadTime * 1e6);
    std::printf("feed read time ratio ours/libxml2: %.2f (goal: at most 1.5)\n", oursRead / bareReadTime);
    std::printf("list reset+layout+paint %.1f us, bare QListView %.1f us\n", oursPaint * 1e6, barePaint * 1e6);
    std::printf("list paint time ratio ours/bare QListView: %.2f (goal: at most 1.5)\n", oursPaint / barePaint);
    std::printf("the same with no row drawn before %.1f us, ratio %.2f (goal: at most 1.5)\n", oursCold * 1e6,
                oursCold / barePaint);
    return 0;
}
