#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Where the page's relative addresses (scripts, pictures) resolve: the program's article
// resources served under their own scheme (see views/ArticleSchemeHandler).
namespace ArticleBundle {
inline constexpr auto kScheme = "tidwenpage";
inline constexpr auto kBaseUrl = "tidwenpage://bundle/";
// The address of a bundle file.
QString fileUrl(const QString& name);
// A PNG picture of the bundle as a data address: it shows on any page, also one whose base is no
// page of the bundle (the deal page's).
QString pictureDataUrl(const QString& name);
// The bytes of a file of resources/article; nothing when it is missing. Each file is read from
// the resources once for the process.
std::optional<QByteArray> bytes(const QString& name);
// The text of a file of resources/article; "" when it is missing.
QString text(const QString& name);
}  // namespace ArticleBundle

// What the article page is built from.
struct ArticlePageInput
{
    QString html;          // the article body
    QString author;        // shown in brackets after an own-site source
    QString postDate;      // "yyyy-MM-dd HH:mm:ss"
    QString newsSource;
    QString newsID;
    QString commentCount;  // not used by the page
    bool refresh = false;  // not used by the page
    bool YuanChuang = false;
    QString newsAuthor;    // writer, "-" for none
    QString newsZeBian;    // responsible editor
    // Taken from the item on screen and the reader.
    QString title;
    QString hitCount;
    bool staffReader = false;                // a logged-in staff member reads
    bool networkReachable = true;
    bool thinFont = false;
    bool douZaiMai = true;
    std::optional<QString> fontSize;         // the ContentFontSize setting; nothing leaves the placeholder
};

struct ArticlePageResult
{
    QString page;
    QStringList currentNewsImageArray;  // picture addresses in page order
    QString firstimgurlInHtml;          // "" when no picture qualifies
    QStringList voteIds;                // votes to request (snippets found exactly once)
};

// Builds the whole article page: head from the bundle style sheet and page script, the title
// block, the rewritten body (in-site links call the pane, pictures load lazily with fallbacks),
// the empty side-block containers and the hidden hit counter.
class ArticlePageBuilder
{
public:
    ArticlePageBuilder() = delete;

    static ArticlePageResult complateHtmlCode(const ArticlePageInput& input);

    // The body rewritten as the page shows it; way R (regular expressions) for a body holding
    // "<![CDATA[", "<script" or "< script", way D (parsed document) otherwise.
    static QString rewriteBody(const QString& body, const QString& newsId, bool networkReachable,
                               QStringList* images, QString* firstImage);
    // The title block (ending with the opening of the content division).
    static QString titleBlock(const ArticlePageInput& input);
    // The domain that embedded vote scripts come from.
    static QString voteDomain();
};
