#pragma once

#include <QHash>
#include <QString>
#include <QUrl>
#include <QVariantList>

#include <cstdint>
#include <optional>

// The comment page of an article: a title linking to the article, then one row per comment.
// Every text from the service is HTML-escaped, so markup in a comment shows as text.
namespace CommentPageBuilder {

// The user's recorded votes, by comment id (1 support, 2 oppose).
using Votes = QHash<QString, int64_t>;

// What a click on a vote link of the page asks: the comment, the vote type, and whether to cast
// it (YES) or cancel the user's own vote of that type (NO).
struct VoteLink
{
    QString commentId;
    int64_t type = 0;
    bool zhiChi = true;
};
// The address a vote link of the page opens (it never reaches the network), and back.
QUrl voteLinkUrl(const VoteLink& link);
std::optional<VoteLink> voteLinkFrom(const QUrl& url);

// One row per comment dictionary (keys of the comment service: N name, Y location, D time,
// C text, S support, A against, SF floor, Ui user id, Cl client code, Ta device). The support
// and oppose counts are vote links: a comment the user has not voted on offers both, the user's
// own vote is marked "voted" and cancels it, the other kind is then plain text.
QString rowsHtml(const QVariantList& comments, const Votes& votes = {});
// The whole page; themeMode 2 is the night colours. The title links to the article's link on the
// web site (ServerUrls::siteAddress); a link that gives no web address is left out.
// listShown NO: the article's list is not in (loading, or failed), so no rows and no "暂无评论".
QString pageHtml(const QString& title, const QString& link, const QVariantList& comments, int themeMode,
                 const Votes& votes = {}, bool listShown = true);

}  // namespace CommentPageBuilder
