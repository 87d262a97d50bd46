#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// One row of the hot-comments channel, filled from the hot-comment JSON (keys in comments).
struct CommentFeed
{
    int64_t rank = 0;                   // 1-based position in the list
    int64_t newsId = 0;                 // I
    QString newsTitle = emptyText();    // T
    QString newsUrl = emptyText();      // U
    int64_t commentId = 0;              // CI; key of the hot-comment read marks
    QString comment = emptyText();      // C
    int64_t userId = 0;                 // Ui
    QString userName = emptyText();     // N
    QString imgUrl = emptyText();       // avatar URL built from the user id
    QString location = emptyText();     // Y
    QString postTime = emptyText();     // D
    QString device = emptyText();       // Ta
    int64_t client = 0;                 // Cl: client code 1 to 23
    int64_t sCount = 0;                 // S: support
    int64_t aCount = 0;                 // A: against
    QString floor = emptyText();        // SF
    bool isSelected = false;
    bool isHaveRead = false;
    double rowHeight = 150.0;
    double rowHeight1 = 150.0;
};

using CommentFeedPtr = std::shared_ptr<CommentFeed>;
