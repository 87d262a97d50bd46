#include "foundation/xml/TBXML_Compression.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace TBXML_Compression;

TEST(CompressionTest, Base64BothWays)
{
    EXPECT_EQ(base64Encoding("abc"), QStringLiteral("YWJj"));
    EXPECT_EQ(base64Encoding("ab"), QStringLiteral("YWI="));
    EXPECT_EQ(base64Encoding("a"), QStringLiteral("YQ=="));
    EXPECT_EQ(base64Encoding(QByteArray()), QStringLiteral(""));
    EXPECT_EQ(base64Encoding(QByteArray("\xfb\xff\x00", 3)), QStringLiteral("+/8A"));

    EXPECT_EQ(newDataWithBase64EncodedString("YWJj"), QByteArray("abc"));
    EXPECT_EQ(initWithBase64EncodedString("YW Jj\r\n"), QByteArray("abc"));
    EXPECT_EQ(initWithBase64EncodedString("YWI="), QByteArray("ab"));
    EXPECT_EQ(initWithBase64EncodedString("YQ=="), QByteArray("a"));
    EXPECT_EQ(initWithBase64EncodedString("+/8A"), QByteArray("\xfb\xff\x00", 3));
    // A trailing group without padding is dropped; padding ends decoding.
    EXPECT_EQ(initWithBase64EncodedString("YWI"), QByteArray());
    EXPECT_EQ(initWithBase64EncodedString("YWJjYQ"), QByteArray("abc"));
    EXPECT_EQ(initWithBase64EncodedString("YWJj=YWJj"), QByteArray("abc"));
    EXPECT_EQ(initWithBase64EncodedString("Y=Jj"), QByteArray());
    // Text that is not ASCII does not decode at all.
    EXPECT_EQ(initWithBase64EncodedString(QStringLiteral("YWJj中")), QByteArray());
    EXPECT_EQ(initWithBase64EncodedString(QString()), QByteArray());

    const QByteArray all = [] {
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes.append(static_cast<char>(i));
        return bytes;
    }();
    EXPECT_EQ(base64Encoding(all), QString::fromLatin1(all.toBase64()));
    EXPECT_EQ(initWithBase64EncodedString(base64Encoding(all)), all);
}

TEST(CompressionTest, Base64LineLengthRoundsUpToWholeGroups)
{
    const QByteArray data(30, 'x');  // ten groups of four characters
    const QString text = base64EncodingWithLineLength(data, 10);
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4);  // three full lines of 12 and the last group alone, unfinished
    EXPECT_EQ(lines[0].size(), 12);
    EXPECT_EQ(lines[1].size(), 12);
    EXPECT_EQ(lines[2].size(), 12);
    EXPECT_EQ(lines[3].size(), 4);
    EXPECT_EQ(text.left(12), base64Encoding(data).left(12));

    // A last group that fills its line is followed by a line feed too.
    EXPECT_EQ(base64EncodingWithLineLength("abcabc", 8), QStringLiteral("YWJjYWJj\n"));
    EXPECT_EQ(base64EncodingWithLineLength("abcabc", 0), QStringLiteral("YWJjYWJj"));
    EXPECT_EQ(initWithBase64EncodedString(text), data);
}

TEST(CompressionTest, GzipRoundTripAndZlibInput)
{
    QByteArray data;
    for (int i = 0; i < 50000; ++i)
        data.append(static_cast<char>(QRandomGenerator::global()->bounded(i % 7 == 0 ? 256 : 4)));

    const std::optional<QByteArray> packed = gzipDeflate(data);
    ASSERT_TRUE(packed.has_value());
    ASSERT_GE(packed->size(), 18);
    EXPECT_EQ(static_cast<unsigned char>(packed->at(0)), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(packed->at(1)), 0x8b);
    EXPECT_EQ(gzipInflate(*packed), data);

    // Compressed output beyond the first 16 KiB step; inflated output far beyond 1.5 times the input.
    QByteArray incompressible(40000, Qt::Uninitialized);
    for (char& byte : incompressible)
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    const QByteArray packedRandom = gzipDeflate(incompressible).value();
    EXPECT_GT(packedRandom.size(), 16384);
    EXPECT_EQ(gzipInflate(packedRandom), incompressible);
    const QByteArray zeros(1 << 20, '\0');
    EXPECT_EQ(gzipInflate(gzipDeflate(zeros).value()), zeros);

    // qCompress writes a 4-byte length before a zlib stream.
    const QByteArray zlibWrapped = qCompress(data).mid(4);
    EXPECT_EQ(gzipInflate(zlibWrapped), data);

    EXPECT_EQ(gzipDeflate(QByteArray()), QByteArray());
    EXPECT_EQ(gzipInflate(QByteArray()), QByteArray());
}

TEST(CompressionTest, BrokenGzipGivesNothing)
{
    const QByteArray packed = gzipDeflate(QByteArray(5000, 'q')).value();
    EXPECT_FALSE(gzipInflate(packed.left(packed.size() - 9)).has_value());
    EXPECT_FALSE(gzipInflate(packed.left(10)).has_value());
    QByteArray corrupt = packed;
    corrupt[12] = static_cast<char>(corrupt[12] ^ 0x55);
    EXPECT_FALSE(gzipInflate(corrupt).has_value());
    EXPECT_FALSE(gzipInflate("not compressed at all").has_value());
}

TEST(CompressionTest, FilesInflateOnlyWithTheGzExtension)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray document = "<a>file</a>";
    const QByteArray packed = gzipDeflate(document).value();
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    EXPECT_EQ(dataWithUncompressedContentsOfFile(write("doc.xml.gz", packed)), document);
    EXPECT_EQ(dataWithUncompressedContentsOfFile(write("doc.xml", document)), document);
    EXPECT_EQ(dataWithUncompressedContentsOfFile(write("doc.GZ", packed)), packed);
    EXPECT_FALSE(dataWithUncompressedContentsOfFile(write("bad.gz", document)).has_value());
    EXPECT_FALSE(dataWithUncompressedContentsOfFile(dir.filePath("absent.xml")).has_value());
}
