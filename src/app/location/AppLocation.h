#pragma once

#include "app/AppNeighbours.h"
#include "app/location/ReverseGeocoder.h"

#include <QGeoPositionInfo>
#include <QGeoPositionInfoSource>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

// The one-shot location lookup of start-up: when the system can locate the machine and the user
// reads Chinese, the first position is turned into a city, kept enciphered (GB 18030, main
// request key) for comment posting. The position source is released after its first update,
// failure or refusal. Main thread only.
//
// There is no permission question on this platform: a source that could be made counts as
// authorized, a refusal reaches the program as the source's access error.
class AppLocation : public QObject, public LocationLookup
{
    Q_OBJECT

public:
    // The statuses of an authorization change.
    enum AuthorizationStatus { kNotDetermined = 0, kRestricted = 1, kDenied = 2, kAuthorized = 3 };

    // Makes the system's position source; null when location services are off.
    using SourceFactory = std::function<QGeoPositionInfoSource*(QObject* parent)>;

    // geocoder: null means the platform's, which answers nothing. citySink hears each city found
    // (enciphered), e.g. the delegate's gCity.
    explicit AppLocation(std::shared_ptr<ReverseGeocoder> geocoder = nullptr,
                         std::function<void(const QString&)> citySink = nullptr);
    ~AppLocation() override;

    void setSourceFactory(SourceFactory factory) { m_sourceFactory = std::move(factory); }
    // The user's first preferred language; the system's by default.
    void setPreferredLanguage(std::function<QString()> language) { m_preferredLanguage = std::move(language); }

    // LocationLookup
    void getLocation() override;

    void didChangeAuthorizationStatus(int status);
    void didUpdateLocations(const QGeoPositionInfo& location);
    void didFailWithError(QGeoPositionInfoSource::Error error);

    QGeoPositionInfoSource* locationManager() const { return m_locationManager; }
    int iLocationTag() const { return m_iLocationTag; }
    // The located city, enciphered; "" until located.
    QString gCity() const { return m_gCity; }

    // The standard user-defaults key that records the first refusal.
    static constexpr auto kRefusalKey = "dingweitishi";

private:
    void releaseManager();
    void takePlaceMarks(const QList<PlaceMark>& placeMarks);

    std::shared_ptr<ReverseGeocoder> m_geocoder;
    std::function<void(const QString&)> m_citySink;
    SourceFactory m_sourceFactory;
    std::function<QString()> m_preferredLanguage;
    QPointer<QGeoPositionInfoSource> m_locationManager;
    int m_iLocationTag = 0;
    QString m_gCity = QStringLiteral("");
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
