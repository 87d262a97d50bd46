// The dictionary parser over a 200-item news list (about 100 KB of mostly Chinese text) beside a
// plain libxml2 SAX pass over the same bytes whose callbacks do nothing. Ends with the time ratio
// ours/plain measured in this run.
#include "BenchSupport.h"
#include "foundation/xml/TTXMLParser.h"

#include <QByteArray>
#include <QString>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kItems = 200;

QByteArray makeNewsList()
{
    static const char* const kTitles[] = {
        "国产芯片厂商发布新一代低功耗处理器，性能提升百分之四十",
        "开源社区推出跨平台桌面框架新版本，修复多项安全问题",
        "研究团队公布量子计算实验新进展，纠错能力显著增强",
        "手机厂商公布季度出货量数据，折叠屏机型增长明显",
    };
    static const char* const kSummaries[] = {
        "该处理器采用全新架构，多核性能大幅提升，预计下季度上市。",
        "新版本重构了渲染管线，启动更快，文字显示效果更好。",
        "研究人员将逻辑比特的错误率降到新的水平。",
    };
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\">\n<channel>\n"
                     "<title>新闻列表</title>\n";
    for (int i = 0; i < kItems; ++i) {
        const QByteArray id = QByteArray::number(1000000 + i);
        xml += "<item>\n"
               "  <newsid>" + id + "</newsid>\n"
               "  <title><![CDATA[" + QByteArray(kTitles[i % 4]) + "]]></title>\n"
               "  <url><![CDATA[https://news.tidwen.example/a/" + id + ".htm]]></url>\n"
               "  <postdate>2015-01-05 10:" + QByteArray::number(10 + i % 50) + ":00</postdate>\n"
               "  <image>https://img.tidwen.example/news/" + id + ".jpg</image>\n"
               "  <description><![CDATA[" + QByteArray(kSummaries[i % 3]) + "]]></description>\n"
               "  <hitcount>" + QByteArray::number(i * 37 % 9973) + "</hitcount>\n"
               "  <commentcount>" + QByteArray::number(i * 7 % 311) + "</commentcount>\n"
               "  <newsauthor>编辑" + QByteArray::number(i % 9) + "</newsauthor>\n"
               "  <newssource>本站原创</newssource>\n"
               "  <v>" + QByteArray(i % 5 == 0 ? "101" : "000") + "</v>\n"
               "</item>\n";
    }
    xml += "</channel>\n</rss>\n";
    return xml;
}

const QByteArray& newsList()
{
    static const QByteArray xml = makeNewsList();
    return xml;
}

bool oursPass(const QByteArray& xml)
{
    TTXMLParser parser(xml);
    const bool ok = parser.parse();
    benchmark::DoNotOptimize(parser.rootObject());
    return ok && parser.rootObject().has_value();
}

void noStart(void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int, int, const xmlChar**) {}
void noEnd(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}
void noText(void*, const xmlChar*, int) {}
void noError(void*, xmlErrorPtr) {}

// The same parser set-up and options as ours, with callbacks that do nothing.
bool barePass(const QByteArray& xml)
{
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = noStart;
    handler.endElementNs = noEnd;
    handler.characters = noText;
    handler.ignorableWhitespace = noText;
    handler.cdataBlock = noText;
    handler.serror = noError;
    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&handler, nullptr, xml.constData(), 4, nullptr);
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET);
    xmlParseChunk(ctxt, xml.constData() + 4, static_cast<int>(xml.size() - 4), 1);
    const bool ok = ctxt->wellFormed != 0;
    xmlFreeParserCtxt(ctxt);
    return ok;
}

void BM_TTXMLParserNewsList(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(oursPass(newsList()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * newsList().size());
}
BENCHMARK(BM_TTXMLParserNewsList);

void BM_BareLibxml2SaxNewsList(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(barePass(newsList()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * newsList().size());
}
BENCHMARK(BM_BareLibxml2SaxNewsList);

}  // namespace

int main(int argc, char** argv)
{
    xmlInitParser();
    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;

    const QByteArray& xml = newsList();
    TTXMLParser check(xml);
    if (!check.parse() || !barePass(xml)) {
        std::printf("the news list did not parse; no ratio\n");
        return 1;
    }
    const QVariantMap channel = check.rootObject()->value(QStringLiteral("channel")).toMap();
    if (!channel.value(QStringLiteral("item")).toMap().contains(QStringLiteral("newsid"))) {
        std::printf("the news list parsed to an unexpected tree; no ratio\n");
        return 1;
    }
    // Alternate the two so that both see the same machine state.
    double ours = 1e9;
    double bare = 1e9;
    for (int round = 0; round < 2; ++round) {
        ours = std::min(ours, bench::bestSecondsPerCall([&] { oursPass(xml); }));
        bare = std::min(bare, bench::bestSecondsPerCall([&] { barePass(xml); }));
    }
    std::printf("news list: %d items, %lld bytes\n", kItems, static_cast<long long>(xml.size()));
    std::printf("TTXMLParser %.1f us, bare libxml2 SAX %.1f us per pass\n", ours * 1e6, bare * 1e6);
    std::printf("TTXMLParser time ratio ours/bare libxml2 SAX: %.2f (goal: at most 2)\n", ours / bare);
    return 0;
}
