#pragma once

#include <QString>

// The font of the program's own web pages (the article, its comments, a deal): the family the
// thin-font switch names, then the sans face. A machine without that family draws the pages in
// the sans face, as it draws the widgets, never in the web engine's serif default.
namespace PageFont {

// "PingFangSC-Light" while the thin font is on, else "PingFangSC-Regular".
QString family(bool thin);
// A page's script: its function SetFontFamily(name), which gives the page that family and then
// the sans face, run at once with the family of the thin-font switch as it stands.
QString pageScript();

}  // namespace PageFont
