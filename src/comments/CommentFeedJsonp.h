#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>

#include <optional>

// The comment service's envelope of a comment list: "showcomment(" + JSON array + ")".
namespace CommentFeedJsonp {

inline constexpr auto kPrefix = "showcomment(";

// The array inside the envelope (white space around it allowed); nothing when the bytes are not
// exactly one such envelope around one JSON array.
std::optional<QVariantList> parse(const QByteArray& bytes);

}  // namespace CommentFeedJsonp

// Addresses of the comment files and the ids they are built from.
namespace CommentUrls {

// Only a run of 1 to 18 ASCII digits is an id that may enter a file name or a URL path.
bool isDigitsId(const QString& id);
// The folder of an id's files: "0" for up to three digits, else all but the last three.
QString newsIdFolder(const QString& newsId);
// The comment list file of an article: base + "/" + folder + "/" + upper-case enciphered id +
// ".json"; "" for an id that is not digits.
QString commentListUrl(const QString& base, const QString& newsId);

}  // namespace CommentUrls
