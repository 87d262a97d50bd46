#pragma once

#include "app/AppNeighbours.h"

#include <QString>

// The launch report: once per start the report service hears that a copy was opened, with a few
// facts about the machine in one enciphered record. The reply is only logged.
class MobClick
{
public:
    // The machine facts of the record, read by currentFacts().
    struct Facts
    {
        QString version;       // the program's version
        QString partition;     // getDeviceRamSize
        bool hasScreen = false;
        double screenWidth = 0.0;
        double screenHeight = 0.0;
        QString mac;           // getMacAddress
        float os = 0.0f;       // getSystemVersion
    };

    MobClick() = delete;

    // Builds the record from the running machine and sends it. The event name is not part of
    // the record.
    static void event(const QString& eventId);

    // The facts of the running machine: the primary screen's size (zeros without one), then the
    // version, the partition size, the hardware address and the system version.
    static Facts currentFacts();
    // "version:...;business:ponwel;...;protectsearch:;": every pair ends with ";".
    static QString record(const Facts& facts);
    // The report address with the enciphered record.
    static QString reportUrl(const QString& record);
    // Sends the record and logs the outcome.
    static void send(const QString& record);

    static constexpr auto kSuccessLog = "开启Mac版自家回发成功";
    static constexpr auto kFailureLog = "开启Mac版自家回发失败";
};

// The launch report as start-up calls it.
class MobClickLaunchReporter : public LaunchReporter
{
public:
    void event(const QString& eventId) override { MobClick::event(eventId); }
};
