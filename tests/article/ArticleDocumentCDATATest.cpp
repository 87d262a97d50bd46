#include "article/ArticleDocument.h"
#include "article/CommentHtmlManager.h"

#include <gtest/gtest.h>

// The same item as the list reader's test reads: both readers must agree, since the article page
// is built from the list's item when the document has not changed.
TEST(ArticleDocument, CDATATextsStayAsWrittenAndOtherReferencesAreDecoded)
{
    const FeedPtr feed = ArticleDocument::parseXML(
        "<rss><channel><item><newsid>11</newsid><title><![CDATA[AT&amp;T &lt;b&gt;]]></title>"
        "<detail><![CDATA[<p>write &lt;b&gt; for bold</p>]]></detail>"
        "<description>A &amp; B <![CDATA[&amp;]]></description></item></channel></rss>");
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->title, QStringLiteral("AT&amp;T &lt;b&gt;"));
    EXPECT_EQ(feed->detail, QStringLiteral("<p>write &lt;b&gt; for bold</p>"));
    EXPECT_EQ(feed->description, QStringLiteral("A & B &amp;"));
}

TEST(CommentHtmlManager, VoteTextsKeepCDATAAsWritten)
{
    const auto vote = CommentHtmlManager::parseVoteDocument(
        "<vote><title><![CDATA[A&amp;B]]> &amp; C</title><items><item><t><![CDATA[&lt;x&gt;]]></t><c>1</c></item>"
        "</items></vote>");
    ASSERT_TRUE(vote);
    EXPECT_EQ(vote->value(QStringLiteral("title")).toString(), QStringLiteral("A&amp;B & C"));
    const QVariantList items = vote->value(QStringLiteral("items")).toList();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.first().toMap().value(QStringLiteral("tag")).toString(), QStringLiteral("&lt;x&gt;"));
}
