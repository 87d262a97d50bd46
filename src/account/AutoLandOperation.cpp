#include "account/AutoLandOperation.h"

#include "account/AccountRequests.h"
#include "account/AccountShell.h"
#include "account/FavSynchronousCommonFunction.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/GlobalValues.h"
#include "platform/Dispatch.h"

#include <QCoreApplication>

namespace {

// How often a store that cannot be read is asked again; the channel column waits as long.
constexpr int kStoreRetryMs = 1000;

// Whether the accounts can be read now: a store another program holds locked answers no account
// as well, which is not the same as none remembered.
bool accountsReadable()
{
    SettingsDatabaseOperate::Lease settings;
    return settings && settings->UserLandData_check();
}

}  // namespace

void AutoLandOperation::start()
{
    if (m_started)
        return;
    m_started = true;
    if (readAccount())
        return;
    // The store cannot be read (another program holds the file locked): the login waits for it.
    auto self = shared_from_this();
    dispatch::retryEvery(QCoreApplication::instance(), kStoreRetryMs, [self] { return self->readAccount(); });
}

bool AutoLandOperation::readAccount()
{
    UserLandDataPtr account = AccountRequests::rememberedLogin();
    if (!account) {
        if (!accountsReadable())
            return false;
        // What the store holds now decides, also when the lock ended between the two looks.
        account = AccountRequests::rememberedLogin();
    }
    if (account)
        logIn(account);
    else
        finish();
    return true;
}

void AutoLandOperation::logIn(const UserLandDataPtr& account)
{
    const auto shell = AccountShell::installed();
    if (!m_bUpdateOnlySuss && shell) {
        if (const NSMyUserInfoPtr stored = AccountRequests::lastUserInfo())
            shell->setCurrLandUser(stored, false);
    }
    auto self = shared_from_this();
    m_session = AccountRequests::postUserInfo(
        account->UserAccount, account->UserPassWord,
        [self, account](const QByteArray& bytes) {
            NSMyUserInfoPtr user;
            switch (AccountRequests::classify(bytes, &user)) {
            case AccountRequests::Reply::User: {
                // A record that cannot be written leaves the login as it was: nothing to sync or
                // poll for. The store tells the reader why.
                if (!AccountRequests::logIn(bytes, *account, user, account->UserPassWord))
                    break;
                FavSynchronousCommonFunction::synchronize(account->UserAccount, account->UserPassWord);
                const auto shell = AccountShell::installed();
                if (shell && gbReplyRemind.load()) {
                    shell->downloadUserRemindCount(QString::number(user->userID));
                    shell->downloadUserForumRemindCount(QString::number(user->userID));
                }
                break;
            }
            case AccountRequests::Reply::NoUser:
                if (!self->m_bUpdateOnlySuss)
                    AccountRequests::logOut();
                break;
            case AccountRequests::Reply::Garbled:
                break;
            }
            self->finish();
        },
        [self](qint64) { self->finish(); });
}

void AutoLandOperation::finish()
{
    gbLoginInProgress = false;
    m_finished = true;
    m_session.reset();
    if (m_completion)
        m_completion();
}
