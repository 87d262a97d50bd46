#include "foundation/ZipArchive.h"
#include "TestEnvironment.h"
#include "platform/Clock.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

class RecordingDelegate : public ZipArchiveDelegate
{
public:
    void ErrorMessage(const QString& msg) override { messages.append(msg); }
    bool OverWriteOperation(const QString& file) override
    {
        asked.append(file);
        return allowOverwrite;
    }

    QStringList messages;
    QStringList asked;
    bool allowOverwrite = true;
};

using Entries = QList<std::pair<QByteArray, QByteArray>>;

// An archive written straight with minizip, entry names taken as they are (no checks at all), so
// the reader meets what a hostile server could send.
void writeRawArchive(const QString& path, const Entries& entries)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_fileinfo info{};
        info.tmz_date = {0, 0, 12, 1, 0, 2020};
        ASSERT_EQ(zipOpenNewFileInZip(zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, bytes.constData(), static_cast<unsigned>(bytes.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

void writeFile(const QString& path, const QByteArray& bytes, const QDateTime& modified = QDateTime())
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.flush();  // before the date, or the buffered write would stamp the file again
    if (modified.isValid()) {
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// Every path below folder, relative to it.
QStringList listing(const QString& folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(QDir(folder).relativeFilePath(it.next()));
    paths.sort();
    return paths;
}

// Rewrites the unpacked size an entry's local and central headers claim (single-entry archives).
void claimSize(const QString& archive, quint32 size)
{
    QFile file(archive);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const auto put = [&](qsizetype at) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>((size >> (8 * i)) & 0xff);
    };
    ASSERT_TRUE(bytes.startsWith("PK\x03\x04"));
    put(22);
    const qsizetype central = bytes.indexOf("PK\x01\x02");
    ASSERT_GT(central, 0);
    put(central + 24);
    file.seek(0);
    file.write(bytes);
}

class ZipArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_delegate = std::make_shared<RecordingDelegate>();
        // Entry dates are local time; the expectations below are written in UTC.
        Clock::setLocalZone(QTimeZone::utc());
    }

    void TearDown() override { Clock::resetLocalZone(); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Opens archive and unpacks it into target with the recording delegate.
    bool unzip(const QString& archive, const QString& target, bool overwrite = false, const QString& password = QString())
    {
        ZipArchive zip;
        zip.setDelegate(m_delegate);
        zip.UnzipOpenFile(archive, password);
        const bool result = zip.UnzipFileTo(target, overwrite);
        EXPECT_TRUE(zip.UnzipCloseFile());
        return result;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<RecordingDelegate> m_delegate;
};

}  // namespace

TEST_F(ZipArchiveTest, RoundTripKeepsBytesAndModificationTimes)
{
    // Zip dates count seconds in twos: an even second comes back exactly, an odd one a second early.
    const QDateTime even(QDate(2019, 6, 30), QTime(23, 59, 58), Qt::UTC);
    const QDateTime odd(QDate(2021, 2, 3), QTime(4, 5, 7), Qt::UTC);
    const QByteArray text("favourites\n");
    const QByteArray binary = randomBytes(3 * 4096 + 17);  // several read pieces, incompressible
    writeFile(path("in/a.txt"), text, even);
    writeFile(path("in/b.bin"), binary, odd);

    ZipArchive writer;
    EXPECT_FALSE(writer.CloseZipFile2());
    ASSERT_TRUE(writer.CreateZipFile2(path("out.zip")));
    EXPECT_TRUE(writer.addFileToZip(path("in/a.txt"), QStringLiteral("a.txt")));
    EXPECT_TRUE(writer.addFileToZip(path("in/b.bin"), QStringLiteral("data/b.bin")));
    // A file that cannot be read adds nothing.
    EXPECT_FALSE(writer.addFileToZip(path("in/missing"), QStringLiteral("missing")));
    EXPECT_TRUE(writer.CloseZipFile2());
    EXPECT_FALSE(writer.addFileToZip(path("in/a.txt"), QStringLiteral("late")));

    EXPECT_TRUE(unzip(path("out.zip"), path("x")));
    EXPECT_TRUE(m_delegate->messages.isEmpty()) << m_delegate->messages.join('|').toStdString();
    EXPECT_EQ(listing(path("x")), QStringList({"a.txt", "data", "data/b.bin"}));
    EXPECT_EQ(readFile(path("x/a.txt")), text);
    EXPECT_EQ(readFile(path("x/data/b.bin")), binary);
    EXPECT_EQ(QFileInfo(path("x/a.txt")).lastModified().toSecsSinceEpoch(), even.toSecsSinceEpoch());
    EXPECT_EQ(QFileInfo(path("x/data/b.bin")).lastModified().toSecsSinceEpoch(), odd.toSecsSinceEpoch() - 1);

    // Unpacking again over the files with the overwrite flag clear and no delegate replaces them.
    writeFile(path("x/a.txt"), "changed");
    ZipArchive again;
    ASSERT_TRUE(again.UnzipOpenFile(path("out.zip")));
    EXPECT_TRUE(again.UnzipFileTo(path("x"), false));
    EXPECT_EQ(readFile(path("x/a.txt")), text);

    EXPECT_TRUE(ZipArchive().UnzipCloseFile());
    EXPECT_EQ(ZipArchive().Date1980().date(), QDate(1980, 1, 1));
}

TEST_F(ZipArchiveTest, BackslashNamesAndFolderEntriesMakeFolders)
{
    writeRawArchive(path("win.zip"), {{"docs\\2016\\list.txt", "one"}, {"empty/", ""}, {"other\\", ""},
                                      {"./docs/./2016/../top.txt", "two"}});
    EXPECT_TRUE(unzip(path("win.zip"), path("x")));
    EXPECT_EQ(listing(path("x")),
              QStringList({"docs", "docs/2016", "docs/2016/list.txt", "docs/top.txt", "empty", "other"}));
    EXPECT_TRUE(QFileInfo(path("x/empty")).isDir());
    EXPECT_TRUE(QFileInfo(path("x/other")).isDir());
    EXPECT_EQ(readFile(path("x/docs/2016/list.txt")), "one");
    EXPECT_EQ(readFile(path("x/docs/top.txt")), "two");
    // The entry date is written back as the modification time.
    EXPECT_EQ(QFileInfo(path("x/docs/top.txt")).lastModified().toUTC(),
              QDateTime(QDate(2020, 1, 1), QTime(12, 0), Qt::UTC));
}

TEST_F(ZipArchiveTest, DelegateDecidesAboutExistingFiles)
{
    writeRawArchive(path("a.zip"), {{"keep.txt", "new"}, {"fresh.txt", "new"}});
    writeFile(path("x/keep.txt"), "old");
    m_delegate->allowOverwrite = false;
    EXPECT_TRUE(unzip(path("a.zip"), path("x")));
    EXPECT_EQ(m_delegate->asked, QStringList({path("x/keep.txt")}));
    EXPECT_EQ(readFile(path("x/keep.txt")), "old");
    EXPECT_EQ(readFile(path("x/fresh.txt")), "new");

    // With the overwrite flag the delegate is not asked.
    m_delegate->asked.clear();
    EXPECT_TRUE(unzip(path("a.zip"), path("x"), true));
    EXPECT_TRUE(m_delegate->asked.isEmpty());
    EXPECT_EQ(readFile(path("x/keep.txt")), "new");
}

TEST_F(ZipArchiveTest, PasswordArchiveOpensOnlyWithItsPassword)
{
    const QByteArray secret = randomBytes(5000);
    writeFile(path("in/fav.dat"), secret);
    ZipArchive writer;
    ASSERT_TRUE(writer.CreateZipFile2(path("p.zip"), QStringLiteral("s3cret")));
    ASSERT_TRUE(writer.addFileToZip(path("in/fav.dat"), QStringLiteral("fav.dat")));
    ASSERT_TRUE(writer.CloseZipFile2());

    // The entry is really enciphered.
    unzFile raw = unzOpen64(QFile::encodeName(path("p.zip")).constData());
    ASSERT_NE(raw, nullptr);
    ASSERT_EQ(unzGoToFirstFile(raw), UNZ_OK);
    unz_file_info64 info{};
    ASSERT_EQ(unzGetCurrentFileInfo64(raw, &info, nullptr, 0, nullptr, 0, nullptr, 0), UNZ_OK);
    EXPECT_EQ(info.flag & 1u, 1u);
    unzClose(raw);

    EXPECT_FALSE(unzip(path("p.zip"), path("none")));
    EXPECT_FALSE(QFile::exists(path("none/fav.dat")));
    EXPECT_FALSE(unzip(path("p.zip"), path("wrong"), false, QStringLiteral("guess")));
    EXPECT_FALSE(QFile::exists(path("wrong/fav.dat")));
    m_delegate->messages.clear();
    EXPECT_TRUE(unzip(path("p.zip"), path("right"), false, QStringLiteral("s3cret")));
    EXPECT_EQ(readFile(path("right/fav.dat")), secret);
    EXPECT_TRUE(m_delegate->messages.isEmpty()) << m_delegate->messages.join('|').toStdString();

    // A password the cipher cannot take writes nothing rather than writing in the clear.
    ZipArchive wide;
    ASSERT_TRUE(wide.CreateZipFile2(path("w.zip"), QStringLiteral("密码")));
    EXPECT_FALSE(wide.addFileToZip(path("in/fav.dat"), QStringLiteral("fav.dat")));
    EXPECT_TRUE(wide.CloseZipFile2());
}

TEST_F(ZipArchiveTest, ReadsPasswordArchivesOfOtherTools)
{
    // Made by Info-ZIP's zip -P: a deflated and a stored entry, both with their sizes after the data
    // (so the cipher header is checked against the time, not the CRC).
    const QString archive =
        sourceFolder(__FILE__) + QStringLiteral("/fixtures/zip/password_infozip.zip");
    QByteArray note;
    for (int i = 0; i < 300; ++i)
        note += QByteArray("line ") + QByteArray::number(i) + " of the favourites fixture\n";

    EXPECT_TRUE(unzip(archive, path("x"), false, QStringLiteral("s3cret")));
    EXPECT_TRUE(m_delegate->messages.isEmpty()) << m_delegate->messages.join('|').toStdString();
    EXPECT_EQ(readFile(path("x/note.txt")), note);
    EXPECT_EQ(readFile(path("x/tiny.txt")), "stored as it is\n");
    EXPECT_EQ(QFileInfo(path("x/note.txt")).lastModified().toUTC(), QDateTime(QDate(2016, 5, 4), QTime(3, 2), Qt::UTC));

    EXPECT_FALSE(unzip(archive, path("y"), false, QStringLiteral("S3cret")));
    EXPECT_EQ(listing(path("y")), QStringList());
}

TEST_F(ZipArchiveTest, NothingIsWrittenOutsideTheTargetFolder)
{
    const QString target = path("nest/target");
    QDir().mkpath(target);
    writeFile(path("outside/secret.txt"), "untouched");
    ASSERT_TRUE(QFile::link(path("outside/secret.txt"), target + "/link.txt"));
    ASSERT_TRUE(QFile::link(path("outside"), target + "/linkdir"));

    const QByteArray absolute = QFile::encodeName(path("outside/abs.txt"));
    writeRawArchive(path("evil.zip"), {{"../evil.txt", "x"},
                                       {absolute, "x"},
                                       {"\\outside\\back.txt", "x"},
                                       {"a/../../../up.txt", "x"},
                                       {"good.txt", "fine"},
                                       {"link.txt", "through the link?"},
                                       {"linkdir/inside.txt", "through the folder link?"}});
    EXPECT_FALSE(unzip(path("evil.zip"), target));
    EXPECT_EQ(m_delegate->messages, QStringList(4, QStringLiteral("Error occurs")));

    // Outside the folder everything is as it was.
    EXPECT_EQ(listing(path("outside")), QStringList({"secret.txt"}));
    EXPECT_EQ(readFile(path("outside/secret.txt")), "untouched");
    EXPECT_EQ(listing(path("nest")),
              QStringList({"target", "target/good.txt", "target/link.txt", "target/linkdir", "target/linkdir/inside.txt"}));
    // The links were replaced by what the archive holds.
    EXPECT_FALSE(QFileInfo(target + "/link.txt").isSymLink());
    EXPECT_EQ(readFile(target + "/link.txt"), "through the link?");
    EXPECT_FALSE(QFileInfo(target + "/linkdir").isSymLink());
    EXPECT_EQ(readFile(target + "/linkdir/inside.txt"), "through the folder link?");
    EXPECT_EQ(readFile(target + "/good.txt"), "fine");
}

TEST_F(ZipArchiveTest, EmptyOrUnreadableArchivesFail)
{
    writeRawArchive(path("empty.zip"), {});
    EXPECT_FALSE(unzip(path("empty.zip"), path("x")));
    EXPECT_EQ(m_delegate->messages, QStringList({"Failed", "Error occurs"}));

    writeFile(path("junk.zip"), "this is not an archive");
    ZipArchive zip;
    zip.setDelegate(m_delegate);
    EXPECT_FALSE(zip.UnzipOpenFile(path("junk.zip")));
    m_delegate->messages.clear();
    EXPECT_FALSE(zip.UnzipFileTo(path("y"), false));
    EXPECT_EQ(m_delegate->messages, QStringList({"Failed", "Error occurs"}));
    EXPECT_TRUE(zip.UnzipCloseFile());
}

TEST_F(ZipArchiveTest, UnwritableTargetsFail)
{
    writeRawArchive(path("a.zip"), {{"a.txt", "a"}});
    // The target is a plain file, so no folder can be made there.
    writeFile(path("plain"), "file");
    EXPECT_FALSE(unzip(path("a.zip"), path("plain")));
    EXPECT_EQ(readFile(path("plain")), "file");

    // An entry whose folder is taken by a file, and one whose path is taken by a folder.
    writeRawArchive(path("b.zip"), {{"taken/a.txt", "a"}, {"dir", "b"}, {"ok.txt", "c"}});
    writeFile(path("x/taken"), "file");
    QDir().mkpath(path("x/dir"));
    EXPECT_FALSE(unzip(path("b.zip"), path("x"), true));
    EXPECT_EQ(readFile(path("x/ok.txt")), "c");
    EXPECT_TRUE(QFileInfo(path("x/dir")).isDir());
}

TEST_F(ZipArchiveTest, OversizedEntriesAreRefused)
{
    // A header claiming more than the limit is refused before anything is written.
    writeRawArchive(path("big.zip"), {{"big.bin", QByteArray(1000, 'z')}});
    claimSize(path("big.zip"), static_cast<quint32>(ZipArchive::kMaxEntrySize + 1));
    EXPECT_FALSE(unzip(path("big.zip"), path("x")));
    EXPECT_EQ(m_delegate->messages, QStringList({"Error occurs"}));
    EXPECT_FALSE(QFile::exists(path("x/big.bin")));

    // A header that understates the size: what was read does not match, and no file is left.
    writeRawArchive(path("small.zip"), {{"small.bin", QByteArray(100000, 'z')}});
    claimSize(path("small.zip"), 10);
    m_delegate->messages.clear();
    EXPECT_FALSE(unzip(path("small.zip"), path("y")));
    EXPECT_EQ(m_delegate->messages, QStringList({"Failed to reading zip file"}));
    EXPECT_FALSE(QFile::exists(path("y/small.bin")));
}

TEST_F(ZipArchiveTest, DestructorClosesBothHandles)
{
    writeFile(path("in.txt"), "data");
    writeRawArchive(path("other.zip"), {{"other.txt", "other"}});
    {
        ZipArchive zip;
        ASSERT_TRUE(zip.UnzipOpenFile(path("other.zip")));
        ASSERT_TRUE(zip.CreateZipFile2(path("open.zip")));
        ASSERT_TRUE(zip.addFileToZip(path("in.txt"), QStringLiteral("in.txt")));
    }  // LeakSanitizer reports a reading handle left open
    // The archive was finished by the destructor, so it reads back whole.
    EXPECT_TRUE(unzip(path("open.zip"), path("x")));
    EXPECT_EQ(readFile(path("x/in.txt")), "data");
}

namespace {

struct CentralEntry
{
    QByteArray first;   // the name
    uLong second = 0;   // the general-purpose flags
    uLong versionMadeBy = 0;
    uLong externalAttributes = 0;
};

// Every entry as the archive's central directory holds it.
QList<CentralEntry> entryNamesAndFlags(const QString& archive)
{
    QList<CentralEntry> entries;
    unzFile raw = unzOpen64(QFile::encodeName(archive).constData());
    if (!raw)
        return entries;
    for (int rc = unzGoToFirstFile(raw); rc == UNZ_OK; rc = unzGoToNextFile(raw)) {
        unz_file_info64 info{};
        char name[512] = {};
        if (unzGetCurrentFileInfo64(raw, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        entries.append({QByteArray(name), info.flag, info.version, info.external_fa});
    }
    unzClose(raw);
    return entries;
}

}  // namespace

TEST_F(ZipArchiveTest, NamesBeyondAsciiCarryTheUtf8Flag)
{
    writeFile(path("in/a.jpg"), "picture");
    const struct
    {
        QString password;
        const char* zipName;
    } archives[] = {{QString(), "plain.zip"}, {QStringLiteral("s3cret"), "sealed.zip"}};
    for (const auto& archive : archives) {
        ZipArchive writer;
        ASSERT_TRUE(writer.CreateZipFile2(path(QString::fromLatin1(archive.zipName)), archive.password));
        ASSERT_TRUE(writer.addFileToZip(path("in/a.jpg"), QStringLiteral("新闻/图片.jpg")));
        ASSERT_TRUE(writer.addFileToZip(path("in/a.jpg"), QStringLiteral("plain/name.jpg")));
        ASSERT_TRUE(writer.CloseZipFile2());

        const auto entries = entryNamesAndFlags(path(QString::fromLatin1(archive.zipName)));
        ASSERT_EQ(entries.size(), 2) << archive.zipName;
        EXPECT_EQ(entries[0].first, QStringLiteral("新闻/图片.jpg").toUtf8());
        EXPECT_EQ(entries[0].second & (1u << 11), 1u << 11) << archive.zipName;
        // Plain ASCII names keep the flags they always had.
        EXPECT_EQ(entries[1].second & (1u << 11), 0u) << archive.zipName;
        EXPECT_EQ(entries[0].second & 1u, archive.password.isEmpty() ? 0u : 1u) << archive.zipName;
        // Made by Unix, as a plain file readable by all.
        EXPECT_EQ(entries[0].versionMadeBy >> 8, 3u) << archive.zipName;
        EXPECT_EQ(entries[0].externalAttributes >> 16, 0100644u) << archive.zipName;

        // Unpacking still gives the name as written.
        const QString target = path(QStringLiteral("out-") + QString::fromLatin1(archive.zipName));
        EXPECT_TRUE(unzip(path(QString::fromLatin1(archive.zipName)), target, false, archive.password));
        EXPECT_EQ(readFile(target + QStringLiteral("/新闻/图片.jpg")), "picture");
    }

    // Archives of tools that write UTF-8 names without the flag still unpack under those names.
    writeRawArchive(path("unflagged.zip"), {{QStringLiteral("新闻/旧.txt").toUtf8(), "old"}});
    ASSERT_EQ(entryNamesAndFlags(path("unflagged.zip")).value(0).second & (1u << 11), 0u);
    EXPECT_TRUE(unzip(path("unflagged.zip"), path("out-unflagged")));
    EXPECT_EQ(readFile(path("out-unflagged/新闻/旧.txt")), "old");
}

// Other readers of archives, where the machine has them: Python's zipfile decodes a name without
// the flag as code page 437, and unzip re-encodes the names of DOS-made entries whatever the flag
// says, so both list the name as written only with the flag on a Unix-made entry.
TEST_F(ZipArchiveTest, OtherToolsListTheNameAsWritten)
{
    writeFile(path("in/a.jpg"), "picture");
    ZipArchive writer;
    ASSERT_TRUE(writer.CreateZipFile2(path("names.zip")));
    ASSERT_TRUE(writer.addFileToZip(path("in/a.jpg"), QStringLiteral("新闻/图片.jpg")));
    ASSERT_TRUE(writer.CloseZipFile2());

    const struct
    {
        const char* program;
        QStringList arguments;
    } tools[] = {
        {"python3",
         {QStringLiteral("-c"),
          QStringLiteral("import sys, zipfile\n"
                         "sys.stdout.buffer.write('\\n'.join(zipfile.ZipFile(sys.argv[1]).namelist()).encode('utf-8'))"),
          path("names.zip")}},
        {"unzip", {QStringLiteral("-l"), path("names.zip")}},
    };
    int ran = 0;
    for (const auto& tool : tools) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool.program));
        if (program.isEmpty())
            continue;
        ++ran;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(environment);
        process.start(program, tool.arguments);
        ASSERT_TRUE(process.waitForFinished(30000)) << tool.program;
        EXPECT_EQ(process.exitCode(), 0) << tool.program << process.readAllStandardError().toStdString();
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
        EXPECT_TRUE(std::any_of(lines.cbegin(), lines.cend(),
                                [](const QString& line) { return line.trimmed().endsWith(QStringLiteral(" 新闻/图片.jpg")) ||
                                                                 line.trimmed() == QStringLiteral("新闻/图片.jpg"); }))
            << tool.program << ": " << lines.join(u'|').toStdString();
    }
    if (ran == 0)
        GTEST_SKIP() << "neither python3 nor unzip on this machine";
}
