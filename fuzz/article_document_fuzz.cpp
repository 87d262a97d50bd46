// Arbitrary bytes as the article replies: the article document (and its body through the page
// builder, both ways), the vote document and the fragments built from it, checking what every
// result must hold.
#include "article/ArticleCacheFile.h"
#include "article/ArticleDocument.h"
#include "article/ArticlePageBuilder.h"
#include "article/CommentHtmlManager.h"
#include "article/HtmlText.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "article_document: %s\n", what);
    std::abort();
}

void checkPage(const QString& body, bool online)
{
    ArticlePageInput input;
    input.html = body;
    input.newsID = QStringLiteral("123456");
    input.title = body.left(64);
    input.networkReachable = online;
    const ArticlePageResult page = ArticlePageBuilder::complateHtmlCode(input);
    if (!page.page.startsWith(QStringLiteral("<html><head>")) || !page.page.endsWith(QStringLiteral("</body></html>")))
        fail("a page without its frame");
    if (!online && !page.firstimgurlInHtml.isEmpty())
        fail("a first picture without network");
    for (const QString& vote : page.voteIds) {
        if (!ArticleIds::isVoteId(vote))
            fail("a vote id that is not one");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const FeedPtr feed = ArticleDocument::parseXML(bytes);
    if (!feed)
        fail("no item");
    if (!feed->detail.isEmpty() && feed->detail.size() < 200000) {
        checkPage(feed->detail, true);
        checkPage(feed->detail, false);
    } else if (size < 20000) {
        checkPage(QString::fromUtf8(bytes), true);
    }

    if (const auto vote = CommentHtmlManager::parseVoteDocument(bytes)) {
        const QString html = CommentHtmlManager::GetNewsPageVoteBody(*vote, QStringLiteral("77"));
        if (!html.startsWith(QStringLiteral("77")) || html.contains(QStringLiteral("nan")))
            fail("a vote block without its id or with a share that is no number");
    }

    // The same bytes as a side-block reply: whatever they hold arrives as a script literal.
    const QString literal = HtmlText::scriptLiteral(QString::fromUtf8(bytes));
    if (literal.contains(QStringLiteral("</")))
        fail("a literal that could close its script");
    const QJsonDocument back = QJsonDocument::fromJson(("[" + literal + "]").toUtf8());
    if (!back.isArray() || back.array().at(0).toString() != QString::fromUtf8(bytes))
        fail("a literal that does not read back");
    return 0;
}
