#pragma once

#include <QString>

struct TBXMLElement;

// The text of an element as the user is to read it. The element readers hand texts over as
// they stand in the document, character references and all; what is painted or put into a page
// as text goes through here first.
namespace XMLText {

// The five predefined references ("&amp;", "&lt;", "&gt;", "&quot;", "&apos;") and the numeric
// ones ("&#20013;", "&#x4E2D;") replaced by their characters. A reference that names no
// character (an unknown name, a number beyond U+10FFFF, a surrogate, zero, a missing ";")
// stays as written.
QString decodeReferences(const QString& text);

// The element text bytes as UTF-8, every byte that is not UTF-8 read as U+FFFD so the rest of
// the text survives, with its references decoded. "" for null or empty bytes.
QString displayText(const char* utf8);

// An element's text read the same way, except that what came out of a CDATA section stays as
// written: XML keeps references there literal, and so does the article reader. "" for a null
// element or a missing text.
QString displayText(const TBXMLElement* element);

}  // namespace XMLText
