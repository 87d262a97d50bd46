#include "NewsListTestSupport.h"
#include "newslist/ChannelState.h"
#include "newslist/ListCacheFile.h"

#include <QDir>
#include <QFileInfo>

TEST(ListCacheFile, NamesAreTheFnvHashOfTheUrlText)
{
    EXPECT_EQ(QFileInfo(ListCacheFile::filePathForUrl(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml")))
                  .fileName(),
              QStringLiteral("2dcf29775cfa1451"));
    EXPECT_EQ(ListCacheFile::urlHash(QString()), 0xcbf29ce484222325ULL);
    // UTF-16 units: a non-Latin character differs from its low byte alone.
    EXPECT_NE(ListCacheFile::urlHash(QStringLiteral("中")), ListCacheFile::urlHash(QString(QChar(0x2d))));
    EXPECT_NE(ListCacheFile::filePathForUrl(QStringLiteral("http://a/1.xml")),
              ListCacheFile::filePathForUrl(QStringLiteral("http://a/2.xml")));
}

TEST(ListCacheFile, FoldersAreMadeUnderDocumentsTmp)
{
    const QString documents = StorageRoot::documentsPath();
    QDir(documents + QStringLiteral("/tmp")).removeRecursively();
    const QString list = ListCacheFile::filePathForUrl(QStringLiteral("u"));
    const QString slide = ListCacheFile::slideFilePathForUrl(QStringLiteral("u"));
    EXPECT_EQ(QFileInfo(list).absolutePath(), documents + QStringLiteral("/tmp/tidwennewslistpath"));
    EXPECT_EQ(QFileInfo(slide).absolutePath(), documents + QStringLiteral("/tmp/tidwenslidepath"));
    EXPECT_TRUE(QFileInfo(QFileInfo(list).absolutePath()).isDir());
    EXPECT_TRUE(QFileInfo(QFileInfo(slide).absolutePath()).isDir());

    EXPECT_TRUE(ListCacheFile::read(list).isEmpty());
    ASSERT_TRUE(ListCacheFile::write(list, "first"));
    ASSERT_TRUE(ListCacheFile::write(list, "2nd"));
    EXPECT_EQ(ListCacheFile::read(list), QByteArray("2nd"));
    EXPECT_EQ(QDir(QFileInfo(list).absolutePath()).entryList(QDir::Files).size(), 1);  // no temporary left
}

using ChannelStateTest = NewsListTest;

TEST_F(ChannelStateTest, ValuesAreKeptPerChannelAndKind)
{
    const NewsListData news = channel(101, QStringLiteral("/a.xml"), QStringLiteral("/s.xml"));
    const NewsListData phone = channel(103, QStringLiteral("/b.xml"));
    const NewsListData rank = channel(102, QStringLiteral("/r.xml"), QString(), QString(), 2);
    const ChannelState newsState(news);
    const ChannelState phoneState(phone);
    const ChannelState rankState(rank);

    EXPECT_TRUE(newsState.getNewListLastUpdateTime().isNull());
    EXPECT_EQ(newsState.getCurrentMaxNewsID(), -1);
    newsState.setNewListLastUpdateTime(QStringLiteral("L1"));
    newsState.setSlideDataLastUpdateTime(QStringLiteral("S1"));
    newsState.setCurrentMaxNewsID(2000000000LL);
    newsState.setNewListLastUpdateTime(QString());  // a missing header changes nothing
    EXPECT_EQ(newsState.getNewListLastUpdateTime(), QStringLiteral("L1"));
    EXPECT_EQ(newsState.getSlideDataLastUpdateTime(), QStringLiteral("S1"));
    EXPECT_EQ(newsState.getCurrentMaxNewsID(), 2000000000LL);

    // A channel without slides stores no slide value; ranking lists keep no highest id.
    phoneState.setSlideDataLastUpdateTime(QStringLiteral("S2"));
    EXPECT_TRUE(phoneState.getSlideDataLastUpdateTime().isNull());
    EXPECT_TRUE(phoneState.getNewListLastUpdateTime().isNull());
    rankState.setCurrentMaxNewsID(9);
    EXPECT_EQ(rankState.getCurrentMaxNewsID(), -1);
    rankState.setNewListLastUpdateTime(QStringLiteral("R"));
    EXPECT_EQ(rankState.getNewListLastUpdateTime(), QStringLiteral("R"));
}
