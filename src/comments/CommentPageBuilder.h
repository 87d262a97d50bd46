#pragma once

#include <QString>
#include <QVariantList>

// The comment page of an article: a title linking to the article, then one row per comment.
// Every text from the service is HTML-escaped, so markup in a comment shows as text.
namespace CommentPageBuilder {

// One row per comment dictionary (keys of the comment service: N name, Y location, D time,
// C text, S support, A against, SF floor, Ui user id, Cl client code, Ta device).
QString rowsHtml(const QVariantList& comments);
// The whole page; themeMode 2 is the night colours. A link that is not http(s) is left out.
QString pageHtml(const QString& title, const QString& link, const QVariantList& comments, int themeMode);

}  // namespace CommentPageBuilder
