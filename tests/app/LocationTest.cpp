#include "PushTestSupport.h"

#include "app/location/AppLocation.h"
#include "foundation/CommonFunction.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <QBuffer>
#include <QNmeaPositionInfoSource>

namespace {

// One RMC sentence with its checksum.
QByteArray rmc(const char* time, const char* latitude, const char* longitude)
{
    const QByteArray body = QByteArray("GPRMC,") + time + ",A," + latitude + ",N," + longitude + ",E,0.0,0.0,071226,,,A";
    char sum = 0;
    for (const char c : body)
        sum = static_cast<char>(sum ^ c);
    return "$" + body + "*" + QByteArray::number(static_cast<uchar>(sum), 16).rightJustified(2, '0').toUpper() + "\r\n";
}

// A geocoder that answers with the places it was given, later on the main thread.
class FakeGeocoder : public ReverseGeocoder
{
public:
    void reverseGeocodeLocation(const QGeoCoordinate& coordinate, Completion completion) override
    {
        asked.append(coordinate);
        dispatch::asyncMain([completion, places = answer] { completion(places); });
    }
    QList<PlaceMark> answer;
    QList<QGeoCoordinate> asked;
};

// A position source that answers startUpdates with the error it was given, or with nothing.
class ScriptedSource : public QGeoPositionInfoSource
{
public:
    explicit ScriptedSource(QObject* parent) : QGeoPositionInfoSource(parent) {}
    QGeoPositionInfo lastKnownPosition(bool = false) const override { return {}; }
    PositioningMethods supportedPositioningMethods() const override { return AllPositioningMethods; }
    int minimumUpdateInterval() const override { return 0; }
    Error error() const override { return m_error; }
    void startUpdates() override
    {
        ++starts;
        if (failWith != NoError) {
            m_error = failWith;
            emit errorOccurred(failWith);
        }
    }
    void stopUpdates() override { ++stops; }
    void requestUpdate(int = 0) override {}

    Error failWith = NoError;
    int starts = 0;
    int stops = 0;

private:
    Error m_error = NoError;
};

}  // namespace

TEST(LocationCity, PlaceMarkRule)
{
    struct Case
    {
        const char* area;
        const char* locality;
        const char* city;
    };
    const std::vector<Case> cases = {
        {"广东省", "深圳市", "广东深圳"},
        {"北京市", "朝阳区", "北京"},
        {"北京市", "", "北京"},
        {"上海市", "上海市", "上海"},
        {"重慶市", "x", "重慶"},
        {"天津", "", "天津"},
        {"香港特别行政区", "九龙", "香港特别行政区"},
        {"澳門特別行政區", "", "澳門特別行政區"},
        {"浙江省", "", ""},
        {"浙江省", "市", ""},
        {"", "深圳市", ""},
        {"四川省", "成都市", "四川成都"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.area);
        EXPECT_EQ(cityFromPlaceMark({QString::fromUtf8(c.area), QString::fromUtf8(c.locality)}), QString::fromUtf8(c.city));
    }
}

class LocationTest : public ::testing::Test
{
protected:
    LocationTest()
    {
        location.setSourceFactory([this](QObject* parent) -> QGeoPositionInfoSource* {
            ++made;
            if (!servicesOn)
                return nullptr;
            if (scripted) {
                auto* source = new ScriptedSource(parent);
                source->failWith = failWith;
                scriptedSource = source;
                lastSource = source;
                return source;
            }
            auto* source = new QNmeaPositionInfoSource(QNmeaPositionInfoSource::SimulationMode, parent);
            auto* nmea = new QBuffer(source);
            nmea->setData(rmc("120000.00", "2232.400", "11403.600") + rmc("120001.00", "2232.500", "11403.700") +
                          rmc("120002.00", "2232.600", "11403.800"));
            nmea->open(QIODevice::ReadOnly);
            source->setDevice(nmea);
            lastSource = source;
            return source;
        });
        location.setPreferredLanguage([this] { return language; });
        geocoder->answer = {{QStringLiteral("广东省"), QStringLiteral("深圳市")}};
        UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(AppLocation::kRefusalKey));
    }

    std::shared_ptr<FakeGeocoder> geocoder = std::make_shared<FakeGeocoder>();
    QStringList cities;
    AppLocation location{geocoder, [this](const QString& city) { cities.append(city); }};
    QString language = QStringLiteral("zh-Hans-CN");
    bool servicesOn = true;
    bool scripted = false;
    QGeoPositionInfoSource::Error failWith = QGeoPositionInfoSource::NoError;
    int made = 0;
    QPointer<QGeoPositionInfoSource> lastSource;
    QPointer<ScriptedSource> scriptedSource;
};

TEST_F(LocationTest, FirstUpdateAsksTheGeocoderOnceReleasesTheSourceAndKeepsTheCityEnciphered)
{
    location.getLocation();
    EXPECT_NE(location.locationManager(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return !cities.isEmpty(); }));
    settle(1500);  // the simulation would hand out two more positions by now
    EXPECT_EQ(geocoder->asked.size(), 1);
    EXPECT_NEAR(geocoder->asked.first().latitude(), 22.54, 0.001);
    EXPECT_NEAR(geocoder->asked.first().longitude(), 114.06, 0.001);
    EXPECT_EQ(location.locationManager(), nullptr);
    EXPECT_TRUE(lastSource.isNull()) << "the source is released";
    const QString expected = CommonFunction::EncrypteGB2312(QStringLiteral("广东深圳"), kDesKeyRequest);
    EXPECT_EQ(location.gCity(), expected);
    EXPECT_EQ(cities, QStringList{expected});
    EXPECT_EQ(location.iLocationTag(), 0);
}

TEST_F(LocationTest, LanguageDecidesWhetherALookupStarts)
{
    struct Case
    {
        const char* language;
        bool starts;
    };
    const std::vector<Case> cases = {{"en-US", false}, {"", false}, {"de-zh", false}, {"zh-Hans-CN", true}, {"zh", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        language = QString::fromLatin1(c.language);
        location.getLocation();
        EXPECT_EQ(location.locationManager() != nullptr, c.starts);
        if (!c.starts) {
            settle(50);
            EXPECT_TRUE(lastSource.isNull());
        }
    }
    // Only the Chinese starts reached the geocoder; a later start replaced the earlier source.
    ASSERT_TRUE(waitUntil([&] { return geocoder->asked.size() == 1 && location.locationManager() == nullptr; }));
}

TEST_F(LocationTest, ServicesOffStartNothing)
{
    servicesOn = false;
    location.getLocation();
    settle(100);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(location.locationManager(), nullptr);
    EXPECT_TRUE(geocoder->asked.isEmpty());
}

TEST_F(LocationTest, RefusalReleasesTheSourceAndIsRecordedOnce)
{
    scripted = true;
    failWith = QGeoPositionInfoSource::AccessError;
    location.getLocation();
    ASSERT_TRUE(waitUntil([&] { return location.locationManager() == nullptr; }));
    EXPECT_TRUE(UserDefaults::standardUserDefaults().boolForKey(QLatin1String(AppLocation::kRefusalKey)));
    settle(50);
    EXPECT_TRUE(lastSource.isNull());
    EXPECT_TRUE(geocoder->asked.isEmpty());
    EXPECT_TRUE(location.gCity().isEmpty());
}

TEST_F(LocationTest, OtherFailureReleasesWithoutRecordingARefusal)
{
    scripted = true;
    failWith = QGeoPositionInfoSource::ClosedError;
    location.getLocation();
    ASSERT_TRUE(waitUntil([&] { return location.locationManager() == nullptr; }));
    EXPECT_FALSE(UserDefaults::standardUserDefaults().boolForKey(QLatin1String(AppLocation::kRefusalKey)));
    EXPECT_TRUE(geocoder->asked.isEmpty());
}

TEST_F(LocationTest, UpdatesStartedBeforeTheAnswerAreNotStartedAgain)
{
    scripted = true;
    location.getLocation();
    ASSERT_NE(scriptedSource, nullptr);
    location.didChangeAuthorizationStatus(AppLocation::kNotDetermined);
    EXPECT_EQ(location.iLocationTag(), 1);
    EXPECT_EQ(scriptedSource->starts, 1);
    settle(50);  // the queued "authorized" answer arrives
    EXPECT_EQ(scriptedSource->starts, 1);
    EXPECT_EQ(location.iLocationTag(), 0);
}

TEST_F(LocationTest, PlatformGeocoderFindsNoCity)
{
    AppLocation platform;
    platform.setPreferredLanguage([] { return QStringLiteral("zh-Hans-CN"); });
    platform.setSourceFactory([](QObject* parent) {
        auto* source = new QNmeaPositionInfoSource(QNmeaPositionInfoSource::SimulationMode, parent);
        auto* nmea = new QBuffer(source);
        nmea->setData(rmc("120000.00", "3954.000", "11623.000"));
        nmea->open(QIODevice::ReadOnly);
        source->setDevice(nmea);
        return source;
    });
    platform.getLocation();
    ASSERT_TRUE(waitUntil([&] { return platform.locationManager() == nullptr; }));
    settle(100);
    EXPECT_EQ(platform.gCity(), QStringLiteral(""));
}
