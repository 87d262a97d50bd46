#pragma once

#include <QString>

// Texts from the network pasted into page markup or page scripts.
namespace HtmlText {
// & < > " ' as entities: the text shows as itself and cannot open a tag or leave an attribute.
QString escape(const QString& text);
// A double-quoted script string literal whose value is the text: quotes, backslashes, control
// characters and the two line separators escaped, and "</" written "<\/" so that the literal can
// stand inside a script element.
QString scriptLiteral(const QString& text);
}  // namespace HtmlText
