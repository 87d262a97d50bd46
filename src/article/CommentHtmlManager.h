#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

// Builders of the HTML blocks that fill the article page's side containers (and the deal page's
// "大家还在买" list). Stateless: every method builds from its arguments and the configuration
// values, so any thread may call any of them at the same time.
//
// Every result begins with the identifier it was given (news id or vote id; "" for a null one),
// followed at once by the block's HTML. Texts of the service are HTML-escaped; actions call the
// page bridge window.external or a page function.
class CommentHtmlManager
{
public:
    CommentHtmlManager() = delete;

    // Deals list of the article page ("大家都在买") and of the deal page ("大家还在买").
    static QString GetNewsPageDouZaiMaiBody(const QVariantList& items, const QString& newsId);
    static QString GetNewsPageHaiZaiMaiBody(const QVariantList& items, const QString& newsId);
    static QString GetNewsPageZaiMaiBody(const QVariantList& items, const QString& newsId, bool isDou);

    // The score block for a reader, whose own stored choice comes from the content store.
    static QString GetNewsScoreBody(const QVariantMap& grade, const QString& newsId, const QString& userId);
    // The score block after the reader chose "0", "1" or "2".
    static QString RefreshNewsScoreBody(const QVariantMap& grade, const QString& newsId, const QString& choice);
    static QString GetNewsRewardBody(const QString& newsId);
    // At most gRelatedNewsCount rows.
    static QString GetNewsPageRelateNewsBody(const QVariantList& related, const QString& newsId);
    // A vote dictionary as parseVoteDocument gives it.
    static QString GetNewsPageVoteBody(const QVariantMap& vote, const QString& voteId);
    // The "最热评论" block of a hot-comment array; avatars only with haveImage.
    static QString GetNewsPageHotCommentBody(const QVariantList& comments, bool haveImage, const QString& newsId);

    // The vote reply: root "vote" with title, total, votetype, voted, los, ld, lt and
    // items/item (t, c, i). Nothing for bytes that do not parse or another root.
    static std::optional<QVariantMap> parseVoteDocument(const QByteArray& data);

    // The width in pixels of the score's star bar, 0 to 100, for a grade text.
    static long scoreBarWidth(const QString& grade);
    // A count as shown: "100000+" above 100000.
    static QString countText(long long count);
};
