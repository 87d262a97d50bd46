#pragma once

#include "foundation/models/UserLandData.h"

#include <QString>

// Daily gold-coin reports to the account service: one POST per rewarded action, at most a fixed
// number per Beijing day, counted in the standard user defaults.
class GoldCoinTask
{
public:
    GoldCoinTask() = delete;

    static constexpr auto kCoinTaskReadNews = "0";
    static constexpr auto kCoinTaskComment = "1";
    static constexpr auto kCoinTaskAdClick = "3";

    // The remembered current account when it may report: logged in, password remembered,
    // account and password not empty. Null otherwise.
    static UserLandDataPtr reportingAccount();
    // DES-hex of account, U+000C and password under the request key.
    static QString userHash(const UserLandData& account);

    // The read gate: true when today's reads are below 4 (a new Beijing day first removes the
    // counter).
    static bool readTaskDue();
    // Sends the read task for the remembered current account; nothing without one.
    static void postOpenNewsTask();
    // The read-task reply's bookkeeping (also used by tests).
    static void readTaskReplied(const QByteArray& reply, const QString& account);
};
