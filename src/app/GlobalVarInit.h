#pragma once

#include <QString>

// Sets the start-up switches (foundation/GlobalValues.h) from the settings store and the
// defaults of the values the remote configuration may replace later, and publishes four of them
// in the shared user-defaults suite. Start-up calls it once, after the server URL table was read.
void initGlobalVar();

// Keys of the shared suite "group.korvask.tidwen" and of the standard store written here.
namespace SharedSuiteKeys {
inline constexpr auto kLoadAllData = "loadAllData";
inline constexpr auto kGetNews = "getNews";
inline constexpr auto kApiRandom = "apiRandom";
inline constexpr auto kTidwenUrl = "tidwenUrl";
}  // namespace SharedSuiteKeys

// Set (YES) once the first start inside the night window has happened.
inline constexpr auto kAutoNightTipKey = "autonighttishi";

// The report endpoint of the configuration download, plain HTTP on the report host.
QString defaultConfigReportUrl();
