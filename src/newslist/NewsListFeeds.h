#pragma once

#include "foundation/models/Feed.h"
#include "foundation/models/slideData.h"

#include <QByteArray>
#include <QList>

class TBXML;
struct TBXMLElement;

// Readers of the three feeds of a channel (news list, ranking list, focus slides) over TBXML,
// and the keyword filter every parsed batch passes. Free functions without state: the list view
// forwards to them, load-more calls the list reader on a pool thread, the search window reuses
// the item reader.

// Reads the bytes into document and gives its root when that is "rss" in any letter case; null
// for empty or ill-formed bytes and for any other root. Shared with the search reader.
TBXMLElement* rssRootOf(TBXML& document, const QByteArray& data);

// The first child of parent with that name; null for a null parent.
TBXMLElement* firstChildNamed(TBXMLElement* parent, const char* name);

// The items of a news-list document in document order; items with an empty news id are dropped.
// Empty when the bytes are not well-formed, the root is not "rss" (any case) or there is no
// "channel".
QList<FeedPtr> parserNewsListXmlData(const QByteArray& data);

// One array per section element present, in the order 48-hour, week-hot, week-comment, month.
QList<QList<FeedPtr>> parserRankNewsListXmlData(const QByteArray& data);

// One "item" element as a Feed; null for a null element. The caller drops an empty guid.
FeedPtr parserSingleNewsXmlData(TBXMLElement* item);

// Appends the kept slides (device empty or containing "6") to newSlides. False only when the
// bytes are not well-formed XML; a document without root, "channel" or items is true and adds
// nothing.
bool parserSlideXmlData(const QByteArray& data, QList<slideDataPtr>& newSlides);

slideDataPtr parserSingleSlideXmlData(TBXMLElement* item);

// The keyword filter. While gbLoadAllData is on, everything passes; otherwise items and slides
// whose lower-cased title holds one of the fixed words are removed in place.
void filerData(QList<FeedPtr>& feeds);
void filerData(QList<QList<FeedPtr>>& sections);
void filerData(QList<slideDataPtr>& slides);
