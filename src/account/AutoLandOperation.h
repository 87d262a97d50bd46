#pragma once

#include "foundation/models/UserLandData.h"

#include <functional>
#include <memory>

class AFHTTPSessionManager;

// Logs the remembered account in at start-up. For a current account that is logged in with a
// remembered password it shows the last stored profile at once, then asks the account service
// again: a user id (other than 99999) renews the stored profile and the logged-in user when the
// account's record can be written (otherwise nothing changes); a
// well-formed reply without a user logs out; anything else changes nothing. A renewed login
// starts both reply-count polls while reply reminders are on. A store that cannot be read at
// start (another program holds the file locked) is asked again every second until it can.
// gbLoginInProgress is cleared when the operation ends, whatever the outcome.
//
// Start it on the main thread; it keeps itself alive until it ends.
class AutoLandOperation : public std::enable_shared_from_this<AutoLandOperation>
{
public:
    static std::shared_ptr<AutoLandOperation> create() { return std::shared_ptr<AutoLandOperation>(new AutoLandOperation); }

    // YES: only a successful reply changes anything (no stored profile first, no log-out).
    void setBUpdateOnlySuss(bool onlySuccess) { m_bUpdateOnlySuss = onlySuccess; }
    bool bUpdateOnlySuss() const { return m_bUpdateOnlySuss; }

    // Runs once; the completion block runs on the main thread after the flag was cleared.
    void start();
    void setCompletionBlock(std::function<void()> block) { m_completion = std::move(block); }
    bool isFinished() const { return m_finished; }

private:
    AutoLandOperation() = default;
    // False while the store cannot be read; otherwise the login goes on with what it holds.
    bool readAccount();
    void logIn(const UserLandDataPtr& account);
    void finish();

    bool m_bUpdateOnlySuss = false;
    bool m_started = false;
    bool m_finished = false;
    std::function<void()> m_completion;
    std::shared_ptr<AFHTTPSessionManager> m_session;
};
