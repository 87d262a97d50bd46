#include "app/location/ReverseGeocoder.h"

#include "platform/Dispatch.h"

void NoReverseGeocoder::reverseGeocodeLocation(const QGeoCoordinate&, Completion completion)
{
    if (completion)
        dispatch::asyncMain([completion = std::move(completion)] { completion({}); });
}

QString cityFromPlaceMark(const PlaceMark& placeMark)
{
    if (placeMark.administrativeArea.isEmpty())
        return {};
    QString province = placeMark.administrativeArea;
    province.remove(QStringLiteral("省"));
    province.remove(QStringLiteral("市"));
    static const QStringList kAlone = {QStringLiteral("北京"), QStringLiteral("上海"), QStringLiteral("重庆"),
                                       QStringLiteral("重慶"), QStringLiteral("天津")};
    static const QStringList kAlonePrefixes = {QStringLiteral("澳门"), QStringLiteral("澳門"), QStringLiteral("香港")};
    if (kAlone.contains(province))
        return province;
    for (const QString& prefix : kAlonePrefixes) {
        if (province.startsWith(prefix))
            return province;
    }
    QString locality = placeMark.locality;
    locality.remove(QStringLiteral("市"));
    if (locality.isEmpty())
        return {};
    return province + locality;
}
