#pragma once

#include "comments/CommentsShell.h"
#include "remoteconfig/ListADGoldCoinTask.h"

#include <memory>

// The list ads' click task over GoldCoinTask (id "3", one a day).
class GoldCoinAdClickTask : public ListADGoldCoinTask
{
public:
    void postAdvertiseTask() override;
};

// The comment pages' shell with their gold-coin task (id "1", three a day) answered here; the city
// and the login window go to the shell it wraps (none: "" and nothing).
class GoldCoinCommentsShell : public CommentsShell
{
public:
    explicit GoldCoinCommentsShell(std::shared_ptr<CommentsShell> inner);
    QString city() override;
    void openLogin() override;
    void postCommentAndReplyTask() override;

private:
    std::shared_ptr<CommentsShell> m_inner;
};
