#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <memory>

// One news item of a list or an article, filled from the news-list and article XML.
struct Feed
{
    QString title = emptyText();              // list element title
    QString link = emptyText();               // article URL (element url)
    QString description = emptyText();        // summary
    QString postDate = emptyText();           // "yyyy-MM-dd HH:mm:ss" (element postdate)
    QString guid = emptyText();               // news id: key of read marks, favourites, comments, article cache
    QString imgurl = emptyText();             // thumbnail URL (".jpg" replaced by "_240.jpg")
    QString firstimgurlInHtml = emptyText();  // first picture of the article body, set when it loads
    QString detail = emptyText();
    QString hitCount = emptyText();
    QString commentCount = emptyText();
    QString author = emptyText();             // element newsauthor
    QString newsSource = emptyText();
    QString newsZeBian = emptyText();         // responsible editor (element z)
    QString forbidcomment = emptyText();      // comments-closed flag text
    QString titlecolor = emptyText();         // element c
    bool isSelected = false;
    bool isHaveRead = false;
    bool isYuanChuang = false;                // own reporting: third character of element v is "1"
    bool isTouPiao = false;                   // has a vote: second character of element v is "1"
    bool isShiPin = false;                    // video: first character of element v is "1"
    bool isScore = false;                     // article scoring is on
    bool isReward = false;                    // the article offers a reward
    bool isTop = false;                       // pinned: attribute t is "1"
};

using FeedPtr = std::shared_ptr<Feed>;
