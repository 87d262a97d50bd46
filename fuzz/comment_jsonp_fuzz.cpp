// Arbitrary bytes as a comment list reply, a hot-comment channel reply and a deals reply: parsed,
// then built into pages, which must never carry markup of the reply's own.
#include "comments/CommentFeedJsonp.h"
#include "comments/CommentPageBuilder.h"
#include "comments/HotCommentListModel.h"
#include "deals/DealsApi.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "comment_jsonp: %s\n", what);
    std::abort();
}

// Each page has exactly one script element, its own, and no element or link target of the reply's.
void checkPage(const QString& html)
{
    if (html.count(QStringLiteral("<script")) != 1)
        fail("a page with a script element from the reply");
    if (html.contains(QStringLiteral("<iframe")) || html.contains(QStringLiteral("<img src=x")) ||
        html.contains(QStringLiteral("=\"javascript:")))
        fail("a page with active markup from the reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto comments = CommentFeedJsonp::parse(bytes)) {
        if (!bytes.trimmed().startsWith(CommentFeedJsonp::kPrefix))
            fail("an envelope without its prefix");
        checkPage(CommentPageBuilder::pageHtml(QStringLiteral("t"), QStringLiteral("http://a.test/"), *comments, 1));
    }
    if (const auto rows = HotCommentListModel::parse(bytes)) {
        qint64 rank = 0;
        for (const CommentFeedPtr& row : *rows) {
            if (!row || row->rank != ++rank)
                fail("hot-comment rows out of order");
        }
    }
    if (const auto deals = DealsApi::parseList(bytes)) {
        for (const DealItem& deal : *deals) {
            if (!DealsApi::isProductId(deal.model->pro_productid))
                fail("a deal whose id is not digits");
            checkPage(DealsApi::detailPageHtml(deal, QString(), 1));
        }
    }
    if (const auto deal = DealsApi::parseDetail(bytes))
        checkPage(DealsApi::detailPageHtml(*deal, QString(), 2));
    return 0;
}
