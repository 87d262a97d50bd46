#include "app/location/AppLocation.h"

#include "foundation/CommonFunction.h"
#include "platform/UserDefaults.h"

#include <QDebug>
#include <QLocale>
#include <QTimer>

AppLocation::AppLocation(std::shared_ptr<ReverseGeocoder> geocoder, std::function<void(const QString&)> citySink)
    : m_geocoder(geocoder ? std::move(geocoder) : std::make_shared<NoReverseGeocoder>()),
      m_citySink(std::move(citySink)),
      m_sourceFactory([](QObject* parent) { return QGeoPositionInfoSource::createDefaultSource(parent); }),
      m_preferredLanguage([] { return QLocale::system().uiLanguages().value(0); })
{
}

AppLocation::~AppLocation()
{
    *m_alive = false;
    releaseManager();
}

void AppLocation::getLocation()
{
    // The language is asked first: finding out whether location services are on means making a
    // position source (loading the system's positioning plugins on the main thread), which a
    // start whose language rules the lookup out anyway need not pay for.
    const QString language = m_preferredLanguage ? m_preferredLanguage() : QString();
    if (language.isEmpty() || !language.startsWith(QLatin1String("zh")))
        return;
    // Location services are on when the system can give a position source.
    QGeoPositionInfoSource* source = m_sourceFactory ? m_sourceFactory(this) : nullptr;
    if (source == nullptr) {
        qInfo("location: location services are not available");
        return;
    }

    m_iLocationTag = 0;
    releaseManager();
    m_locationManager = source;
    connect(source, &QGeoPositionInfoSource::positionUpdated, this, &AppLocation::didUpdateLocations);
    connect(source, &QGeoPositionInfoSource::errorOccurred, this, [this](QGeoPositionInfoSource::Error error) {
        if (error == QGeoPositionInfoSource::AccessError)
            didChangeAuthorizationStatus(kDenied);
        else if (error != QGeoPositionInfoSource::NoError)
            didFailWithError(error);
    });
    // The system answers a new manager with its authorization state; a made source is allowed.
    QPointer<QGeoPositionInfoSource> made(source);
    QTimer::singleShot(0, this, [this, made] {
        if (made && made == m_locationManager)
            didChangeAuthorizationStatus(kAuthorized);
    });
}

void AppLocation::didChangeAuthorizationStatus(int status)
{
    if (status == kNotDetermined) {
        m_iLocationTag = 1;
        if (m_locationManager)
            m_locationManager->startUpdates();
    } else if (status == kAuthorized) {
        if (m_iLocationTag != 1 && m_locationManager)
            m_locationManager->startUpdates();
        m_iLocationTag = 0;
    } else {
        m_iLocationTag = 0;
        releaseManager();
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        if (!defaults.boolForKey(QLatin1String(kRefusalKey))) {
            defaults.setBool(true, QLatin1String(kRefusalKey));
            defaults.synchronize();
        }
    }
}

void AppLocation::didUpdateLocations(const QGeoPositionInfo& location)
{
    if (!m_locationManager)
        return;
    // The first position is enough for a city: the source goes at once.
    releaseManager();
    std::weak_ptr<bool> alive = m_alive;
    m_geocoder->reverseGeocodeLocation(location.coordinate(), [this, alive](const QList<PlaceMark>& placeMarks) {
        if (!alive.expired())
            takePlaceMarks(placeMarks);
    });
}

void AppLocation::didFailWithError(QGeoPositionInfoSource::Error error)
{
    qInfo("location: the position source failed (%d)", static_cast<int>(error));
    releaseManager();
}

void AppLocation::releaseManager()
{
    if (!m_locationManager)
        return;
    QGeoPositionInfoSource* source = m_locationManager;
    m_locationManager = nullptr;
    source->stopUpdates();
    source->disconnect(this);
    // It may be the sender of the signal being handled.
    source->deleteLater();
}

void AppLocation::takePlaceMarks(const QList<PlaceMark>& placeMarks)
{
    if (placeMarks.isEmpty())
        return;
    const QString city = cityFromPlaceMark(placeMarks.first());
    if (city.isEmpty())
        return;
    m_gCity = CommonFunction::EncrypteGB2312(city, kDesKeyRequest);
    if (m_citySink)
        m_citySink(m_gCity);
}
