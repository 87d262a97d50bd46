#include "newslist/NewsRowStyle.h"


namespace NewsRowStyle {

QColor newsTitleColor(bool hasItem, bool isHaveRead, bool isSelected, const QString& titlecolor)
{
    if (hasItem && isHaveRead && !isSelected)
        return kTitleRead;
    return titlecolor.isEmpty() ? kTitleNormal : kTitleFlagged;
}

QColor adTitleColor(bool isHaveRead)
{
    return isHaveRead ? kTitleRead : kTitleNormal;
}

int dateWidth(const QString& dateText)
{
    return dateText.contains(QStringLiteral("月")) ? 50 : 30;
}

QColor adTypeColor(const QString& adType)
{
    if (adType == QStringLiteral("活动"))
        return {241, 110, 110};
    if (adType == QStringLiteral("Zefup"))
        return {231, 71, 55};
    if (adType == QStringLiteral("广告"))
        return {42, 97, 188};
    if (adType == QStringLiteral("京东"))
        return {220, 0, 19};
    return kNote;
}

}  // namespace NewsRowStyle
