#pragma once

#include "foundation/models/Feed.h"

#include <QByteArray>

// The news service's XML document of one article (rss/channel/item) read into a Feed.
class ArticleDocument
{
public:
    ArticleDocument() = delete;

    // A new Feed, never null: empty for missing or unparsable bytes. isScore is set when the
    // document asks for the score block (the caller then sends the score query); comments of an
    // article 30 days old or older are closed.
    static FeedPtr parseXML(const QByteArray& data);
};
