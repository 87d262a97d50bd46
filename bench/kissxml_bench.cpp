// The XML document tree beside bare libxml2 on the same 200-item document: parse it and write it
// back out as text. Ends with the ratio tree time / libxml2 time measured in this run.
#include "BenchSupport.h"
#include "Library/KissXML/DDXML.h"

#include <QByteArray>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr int kItems = 200;

// A favourites file as the program writes it: attributes with Chinese text, nested elements.
QByteArray favouritesDocument()
{
    static const char* const kTopics[] = {"显卡", "固态硬盘", "路由器", "智能手表", "机械键盘", "投影仪", "充电宝"};
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<favorites version=\"3\" user=\"测试用户\">\n";
    for (int i = 0; i < kItems; ++i) {
        const QByteArray id = QByteArray::number(700000 + i);
        const QByteArray topic = kTopics[i % 7];
        xml += "  <item id=\"" + id + "\" title=\"收藏的" + topic + "评测第" + QByteArray::number(i) + "期\" read=\""
            + QByteArray::number(i % 2) + "\">\n    <url>https://news.example/" + id
            + ".htm</url>\n    <time>2015-01-05 03:04:" + QByteArray::number(10 + i % 50) + "</time>\n    <summary>"
            + topic + "的价格、性能与口碑 &amp; 更多</summary>\n  </item>\n";
    }
    xml += "</favorites>\n";
    return xml;
}

const QByteArray& document()
{
    static const QByteArray bytes = favouritesDocument();
    return bytes;
}

QByteArray throughTree()
{
    auto doc = DDXMLDocument::initWithData(document(), 0, nullptr);
    return doc ? doc->XMLData() : QByteArray();
}

// What a caller of libxml2 alone would write for the same job.
QByteArray throughLibxml2()
{
    const QByteArray& bytes = document();
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr,
                                  XML_PARSE_NOBLANKS | XML_PARSE_NONET);
    if (!doc)
        return {};
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlNodeDump(buffer, doc, reinterpret_cast<xmlNodePtr>(doc), 0, 0);
    QByteArray text(reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer));
    xmlBufferFree(buffer);
    xmlFreeDoc(doc);
    return text;
}

void BM_TreeParseAndSerialise(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(throughTree());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * document().size());
}
BENCHMARK(BM_TreeParseAndSerialise);

void BM_Libxml2ParseAndDump(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(throughLibxml2());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * document().size());
}
BENCHMARK(BM_Libxml2ParseAndDump);

}  // namespace

int main(int argc, char** argv)
{
    xmlInitParser();
    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;

    // Both must write the same text (the tree trims the final line end) before a ratio means anything.
    if (throughTree() != throughLibxml2().trimmed() || throughTree().isEmpty()) {
        std::printf("tree and libxml2 wrote different text; no ratio\n");
        return 1;
    }
    // Batches of the two alternate, and the fastest batch of each counts, so that a stall of the
    // machine hits both alike or neither.
    double tree = 1e12;
    double libxml2 = 1e12;
    for (int round = 0; round < 3; ++round) {
        tree = std::min(tree, 1e6 * bench::bestSecondsPerCall([] { benchmark::DoNotOptimize(throughTree()); }));
        libxml2 = std::min(libxml2, 1e6 * bench::bestSecondsPerCall([] { benchmark::DoNotOptimize(throughLibxml2()); }));
    }
    std::printf("XML %d-item document (%lld bytes) parse + serialise: tree %.1f us, libxml2 %.1f us\n", kItems,
                static_cast<long long>(document().size()), tree, libxml2);
    std::printf("XML tree parse-and-serialise time ratio tree/libxml2: %.2fx\n", tree / libxml2);
    return 0;
}
