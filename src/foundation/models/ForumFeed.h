#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// One community thread.
struct ForumFeed
{
    int64_t forumId = 0;  // thread id
    QString imgurl = emptyText();
    QString title = emptyText();
    QString tag = emptyText();
    QString type = emptyText();
    int64_t userid = 0;
    QString username = emptyText();
    QString replyusername = emptyText();
    double postTime = 0.0;   // post time
    double replyTime = 0.0;  // last-reply time
    int64_t hitCount = 0;
    int64_t commentCount = 0;
    QString forbidcomment = emptyText();
    QString keyword = emptyText();
    QString titlecolor = emptyText();
    bool isSelected = false;
    bool isHaveRead = false;
    double rowHeight = 90.0;
};

using ForumFeedPtr = std::shared_ptr<ForumFeed>;
