#include "foundation/PageFont.h"

#include "foundation/GlobalValues.h"

namespace PageFont {

QString family(bool thin)
{
    return thin ? QStringLiteral("PingFangSC-Light") : QStringLiteral("PingFangSC-Regular");
}

QString pageScript()
{
    // Run in the head it gives the root its family, which the body takes from the first paint on;
    // called later it gives the body the family, as the article page's function does.
    return QStringLiteral("function SetFontFamily(f){(document.body||document.documentElement).style.fontFamily=\"'\"+f+\"',sans-serif\";}"
                          "SetFontFamily('%1');")
        .arg(family(gbThinFont.load()));
}

}  // namespace PageFont
