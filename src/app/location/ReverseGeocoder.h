#pragma once

#include <QGeoCoordinate>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// One place of a reverse geocoding answer.
struct PlaceMark
{
    QString administrativeArea;  // province, e.g. "广东省"
    QString locality;            // city, e.g. "深圳市"
};

// Turns a coordinate into places. The completion runs once, on the main thread.
class ReverseGeocoder
{
public:
    using Completion = std::function<void(const QList<PlaceMark>& placeMarks)>;
    virtual ~ReverseGeocoder() = default;
    virtual void reverseGeocodeLocation(const QGeoCoordinate& coordinate, Completion completion) = 0;
};

// The platform has no reverse geocoder: every answer is empty, so no city is ever found.
class NoReverseGeocoder : public ReverseGeocoder
{
public:
    void reverseGeocodeLocation(const QGeoCoordinate& coordinate, Completion completion) override;
};

// The city of a place mark: the administrative area without "省" and "市"; for the
// municipalities and the special regions that alone, otherwise followed by the locality without
// "市". "" when there is no city.
QString cityFromPlaceMark(const PlaceMark& placeMark);
