// The element reader beside libxml2's xmlReadMemory on the same 200-item channel list: parsing
// alone, and parsing plus reading every item's id and title as the list readers do. Ends with
// the ratio libxml2 time / reader time measured in this run.
#include "BenchSupport.h"
#include "foundation/xml/TBXML.h"

#include <QByteArray>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kItems = 200;

// A channel list as the news service sends it: Chinese titles, summaries in CDATA, entities.
QByteArray newsList()
{
    static const char* const kTitles[] = {
        "新款轻薄笔记本今日发布，续航长达二十小时",
        "国产芯片再获突破：七纳米工艺量产在即",
        "手机厂商公布第三季度出货量 &amp; 市场份额",
        "评测：这款降噪耳机值不值得买？",
        "开源社区发布新版浏览器内核",
    };
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel>"
                     "<title>资讯 - 最新</title><link>https://news.example/</link>\n";
    for (int i = 0; i < kItems; ++i) {
        const QByteArray id = QByteArray::number(500000 + i);
        xml += "<item>\n  <newsid>" + id + "</newsid>\n  <title>" + kTitles[i % 5] + " (" + QByteArray::number(i)
            + ")</title>\n  <url>https://news.example/" + id + ".htm</url>\n"
            + "  <postdate>2015-1-5 3:4:" + QByteArray::number(i % 60) + "</postdate>\n"
            + "  <commentcount>" + QByteArray::number(i * 13 % 997) + "</commentcount>\n"
            + "  <hitcount>" + QByteArray::number(i * 7919) + "</hitcount>\n"
            + "  <image type=\"thumb\" w=\"160\" h='120'>https://img.example/" + id + ".jpg</image>\n"
            + "  <description><![CDATA[<p>摘要：" + kTitles[(i + 2) % 5] + "……</p>]]></description>\n"
            + "  <forbidcomment>0</forbidcomment>\n</item>\n";
    }
    xml += "</channel></rss>\n";
    return xml;
}

const QByteArray& document()
{
    static const QByteArray bytes = newsList();
    return bytes;
}

// Both readers hand back the same facts: the item count and the bytes of ids and titles.
struct Read
{
    int items = 0;
    size_t textBytes = 0;
};

Read readWithTBXML(bool readItems)
{
    TBXML tbxml;
    tbxml.initWithXMLData(document());
    Read read;
    if (!readItems)
        return read;
    TBXML::iterateElementsForQuery("channel.item", tbxml.rootXMLElement(), [&read](TBXMLElement* item) {
        ++read.items;
        for (const char* name : {"newsid", "title"}) {
            if (TBXMLElement* field = TBXML::childElementNamed(QLatin1String(name), item))
                read.textBytes += field->text ? std::strlen(field->text) : 0;
        }
    });
    return read;
}

xmlNodePtr firstElementNamed(xmlNodePtr node, const char* name)
{
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0)
            return node;
    }
    return nullptr;
}

Read readWithLibxml2(bool readItems)
{
    const QByteArray& bytes = document();
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), "", nullptr, XML_PARSE_NONET);
    Read read;
    if (readItems && doc) {
        xmlNodePtr channel = firstElementNamed(xmlDocGetRootElement(doc)->children, "channel");
        for (xmlNodePtr item = firstElementNamed(channel->children, "item"); item;
             item = firstElementNamed(item->next, "item")) {
            ++read.items;
            for (const char* name : {"newsid", "title"}) {
                xmlNodePtr field = firstElementNamed(item->children, name);
                if (field && field->children && field->children->content)
                    read.textBytes += std::strlen(reinterpret_cast<const char*>(field->children->content));
            }
        }
    }
    xmlFreeDoc(doc);
    return read;
}

void BM_TBXMLParse(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(readWithTBXML(false));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * document().size());
}
BENCHMARK(BM_TBXMLParse);

void BM_Libxml2ReadMemory(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(readWithLibxml2(false));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * document().size());
}
BENCHMARK(BM_Libxml2ReadMemory);

void BM_TBXMLParseAndReadItems(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(readWithTBXML(true));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kItems);
}
BENCHMARK(BM_TBXMLParseAndReadItems);

void BM_Libxml2ReadMemoryAndReadItems(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(readWithLibxml2(true));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kItems);
}
BENCHMARK(BM_Libxml2ReadMemoryAndReadItems);

}  // namespace

int main(int argc, char** argv)
{
    xmlInitParser();
    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;

    const Read ours = readWithTBXML(true);
    const Read theirs = readWithLibxml2(true);
    // libxml2 decodes "&amp;" to one byte where the reader keeps five: 4 bytes per such title.
    const size_t entityTitles = kItems / 5;
    if (ours.items != kItems || theirs.items != kItems || ours.textBytes != theirs.textBytes + 4 * entityTitles) {
        std::printf("XML readers disagree (%d/%zu items/bytes vs %d/%zu); no ratio\n", ours.items, ours.textBytes,
                    theirs.items, theirs.textBytes);
        return 1;
    }
    // Alternate the two so that both see the same machine state.
    double tbxmlParse = 1e9, libxml2Parse = 1e9, tbxmlRead = 1e9, libxml2Read = 1e9;
    for (int round = 0; round < 2; ++round) {
        const auto best = [](bool readItems, auto reader) {
            return bench::bestSecondsPerCall([&] { benchmark::DoNotOptimize(reader(readItems)); });
        };
        tbxmlParse = std::min(tbxmlParse, best(false, readWithTBXML));
        libxml2Parse = std::min(libxml2Parse, best(false, readWithLibxml2));
        tbxmlRead = std::min(tbxmlRead, best(true, readWithTBXML));
        libxml2Read = std::min(libxml2Read, best(true, readWithLibxml2));
    }
    std::printf("XML %d-item list (%lld bytes): TBXML %.1f us, xmlReadMemory %.1f us per parse\n", kItems,
                static_cast<long long>(document().size()), tbxmlParse * 1e6, libxml2Parse * 1e6);
    std::printf("XML parse speed ratio TBXML/xmlReadMemory: %.2fx\n", libxml2Parse / tbxmlParse);
    std::printf("XML parse-and-read speed ratio TBXML/xmlReadMemory: %.2fx\n", libxml2Read / tbxmlRead);
    return 0;
}
