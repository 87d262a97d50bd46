#include "account/AutoLandOperation.h"

#include "account/AccountRequests.h"
#include "account/AccountShell.h"
#include "account/FavSynchronousCommonFunction.h"
#include "foundation/GlobalValues.h"

void AutoLandOperation::start()
{
    if (m_started)
        return;
    m_started = true;
    const UserLandDataPtr account = AccountRequests::rememberedLogin();
    if (!account) {
        finish();
        return;
    }
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
