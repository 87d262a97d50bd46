// Arbitrary bytes as a document for the element reader. Every record and string it hands out
// is walked and read, so a pointer outside the document's copy shows up under the sanitizers.
#include "foundation/xml/TBXML.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "tbxml: %s\n", what);
    std::abort();
}

size_t walk(TBXMLElement* element)
{
    size_t seen = 0;
    for (; element; element = element->nextSibling) {
        ++seen;
        if (!element->name)
            fail("an element without a name");
        seen += std::strlen(element->name);
        if (element->text)
            seen += std::strlen(element->text);
        (void)TBXML::elementName(element);
        (void)TBXML::textForElement(element);
        TBXML::iterateAttributesOfElement(element, [&seen](TBXMLAttribute* attribute, const QString&, const QString&) {
            if (!attribute->name || !attribute->value)
                fail("an attribute without name or value");
            seen += std::strlen(attribute->value);
        });
        for (TBXMLElement* child = element->firstChild; child; child = child->nextSibling) {
            if (child->parent != element)
                fail("a child that does not point back to its parent");
        }
        if (element->firstChild) {
            (void)TBXML::childElementNamed(TBXML::elementName(element->firstChild), element);
            seen += walk(element->firstChild);
        }
    }
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TBXML tbxml;
    Error error;
    const int32_t code = tbxml.decodeData(bytes, &error);
    if (code != error.code)
        fail("answer and error disagree");
    if (code == 0 && !tbxml.rootXMLElement())
        fail("success without a root");
    if (size == 0 && code != TBXML::kDataIsNil)
        fail("empty data must give code 1");
    if (TBXMLElement* root = tbxml.rootXMLElement()) {
        (void)walk(root);
        int reached = 0;
        TBXML::iterateElementsForQuery("*.*", root, [&reached](TBXMLElement*) { ++reached; });
    }
    return 0;
}
