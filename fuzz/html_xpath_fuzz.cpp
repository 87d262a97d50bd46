// Arbitrary bytes as an HTML page (or, when the first byte is odd, an XML document) searched
// with one of the system's queries picked by the first byte; every element found is read whole.
#include "foundation/xml/TFHpple.h"

#include <QByteArray>

#include <cstdint>

namespace {

size_t readElement(const TFHppleElement& element, int depth)
{
    size_t seen = static_cast<size_t>(element.raw().size() + element.content().size() + element.tagName().size());
    seen += static_cast<size_t>(element.attributes().size());
    seen += static_cast<size_t>(element.text().size());
    if (depth < 64) {
        for (const auto& child : element.children())
            seen += readElement(*child, depth + 1);
    }
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const kQueries[] = {
        "//img", "//a", "//p", "//*", "//text()", "//@*", "//comment()", "/", "//namespace::*", "count(//a)",
        "//div[@class='content']//img",
    };
    constexpr size_t kQueryCount = sizeof kQueries / sizeof kQueries[0];
    if (size == 0)
        return 0;
    const QString query = QString::fromLatin1(kQueries[(data[0] >> 1) % kQueryCount]);
    const bool isXML = (data[0] & 1u) != 0;
    const QByteArray page(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const TFHpple document = TFHpple::hppleWithData(page, isXML);
    const TFHppleElementList found = document.searchWithXPathQuery(query);
    size_t seen = 0;
    for (qsizetype i = 0; i < found.size() && i < 32; ++i)
        seen += readElement(*found[i], 0);
    (void)seen;
    return 0;
}
