#pragma once

#include "foundation/models/Feed.h"

#include <QString>

class QWidget;

// The article's share address and the three shares of the main window's Touch Bar items, which
// call them with the pane's article; the shares are the same wherever they start.
namespace ArticleShare {

// The article's web address: the main web site followed by the item's link, which the lists
// give as a path; a link that is a whole web address already is the address.
QString articleAddress(const QString& link);

// Each does nothing and answers false without an article (no feed). True when the share page
// was handed to the browser, or the address reached the clipboard.
bool touchBarShareToSina(const FeedPtr& feed);
bool touchBarShareToQQzone(const FeedPtr& feed);
// Copies the address and says so in an alert on the window.
bool touchBarShareToPaste(const FeedPtr& feed, QWidget* window);

}  // namespace ArticleShare
