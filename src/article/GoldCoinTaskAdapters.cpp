#include "article/GoldCoinTaskAdapters.h"

#include "article/GoldCoinTask.h"

void GoldCoinAdClickTask::postAdvertiseTask()
{
    GoldCoinTask::postAdvertiseTask();
}

GoldCoinCommentsShell::GoldCoinCommentsShell(std::shared_ptr<CommentsShell> inner) : m_inner(std::move(inner)) {}

QString GoldCoinCommentsShell::city()
{
    return m_inner ? m_inner->city() : QStringLiteral("");
}

void GoldCoinCommentsShell::openLogin()
{
    if (m_inner)
        m_inner->openLogin();
}

void GoldCoinCommentsShell::postCommentAndReplyTask()
{
    // Never handed on: the wrapped shell may itself lead back to the comment writer's task.
    GoldCoinTask::postCommentAndReplyTask();
}
