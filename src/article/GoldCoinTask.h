#pragma once

#include "foundation/models/UserLandData.h"

#include <QByteArray>
#include <QString>

// Daily gold-coin reports to the account service: one POST per rewarded action, at most a fixed
// number per Beijing day, counted in the standard user defaults. Reading, commenting and ad clicks
// share this one helper; each kind brings its id, its two keys, its limit and its reply rule.
class GoldCoinTask
{
public:
    GoldCoinTask() = delete;

    enum class Kind { ReadNews, Comment, AdClick };

    static constexpr auto kCoinTaskReadNews = "0";
    static constexpr auto kCoinTaskComment = "1";
    static constexpr auto kCoinTaskAdClick = "3";

    struct Rule
    {
        const char* taskId;
        const char* counterKey;
        const char* lastDayKey;
        int perDay;
        // After a reply, the last-day key moves to today only while the new counter is at most
        // this (and the reply was not "false").
        int lastDayUpTo;
    };
    static const Rule& rule(Kind kind);

    // The account service's credential field for the account (AccountRequests::userHash).
    static QString userHash(const UserLandData& account);

    // The gate: true when today's counter plus the reports still waiting for their reply is below
    // the day's limit. A new Beijing day first removes the counter.
    static bool due(Kind kind);
    // Sends the task for the remembered current account, without the gate; false when nothing
    // was sent (no account that may report).
    static bool post(Kind kind);
    // The gate, then the report when due.
    static void report(Kind kind);
    // A reply's bookkeeping (only for bytes that arrived).
    static void replied(Kind kind, const QByteArray& reply, const QString& account);
    // Reports of that kind sent and not yet answered.
    static int inFlight(Kind kind);

    // The three callers' names.
    static void postOpenNewsTask() { post(Kind::ReadNews); }
    static void postCommentAndReplyTask() { report(Kind::Comment); }
    static void postAdvertiseTask() { report(Kind::AdClick); }
};
