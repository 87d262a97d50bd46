#include "foundation/ZipArchive.h"

#include "platform/Clock.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned kPieceSize = 4096;
// The entry's name is UTF-8 (general-purpose flag bit 11).
constexpr uLong kUtf8NameFlag = 1u << 11;
// "Made by" a Unix system, format 2.0, with a plain file's mode (rw-r--r--) in the attributes.
// Unzip tools take the names of entries made by DOS for its old code page and re-encode them,
// the UTF-8 flag notwithstanding; for Unix-made entries they follow the flag.
constexpr uLong kVersionMadeBy = (3u << 8) | 20u;
constexpr uLong kRegularFileAttributes = 0100644u << 16;

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A file descriptor that is closed when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now. False when the close reported an error: written bytes may be lost.
    bool reset()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

// The bytes the zip cipher takes; nothing when the password is not ASCII, which the cipher cannot
// represent (such a password must not quietly become no password).
std::optional<QByteArray> asciiBytes(const QString& password)
{
    QByteArray bytes;
    bytes.reserve(password.size());
    for (const QChar c : password) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
        bytes.append(static_cast<char>(c.unicode()));
    }
    return bytes;
}

// The modification date of file (following links) as the fields of a zip entry, in local time;
// all zero when the file has none.
tm_zip zipDate(const QString& file)
{
    tm_zip date{};
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return date;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Clock::localZone());
    date.tm_sec = static_cast<uInt>(local.time().second());
    date.tm_min = static_cast<uInt>(local.time().minute());
    date.tm_hour = static_cast<uInt>(local.time().hour());
    date.tm_mday = static_cast<uInt>(local.date().day());
    date.tm_mon = static_cast<uInt>(local.date().month() - 1);
    date.tm_year = static_cast<uInt>(local.date().year());
    return date;
}

// An entry's date fields as a moment in local time; invalid when the fields are.
QDateTime entryDate(const tm_unz& date)
{
    return QDateTime(QDate(static_cast<int>(date.tm_year), static_cast<int>(date.tm_mon) + 1,
                           static_cast<int>(date.tm_mday)),
                     QTime(static_cast<int>(date.tm_hour), static_cast<int>(date.tm_min), static_cast<int>(date.tm_sec)),
                     Clock::localZone());
}

bool setModificationDate(int fd, const QDateTime& date)
{
    if (!date.isValid())
        return false;
    timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = static_cast<time_t>(date.toSecsSinceEpoch());
    return ::futimens(fd, times) == 0;
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// The traditional zip cipher. Debian's minizip cannot be used for it: it indexes zlib's 32-bit CRC
// table as 64-bit values when enciphering, and leaves deciphering out. So entries under a password
// are enciphered and deciphered here and handed to minizip raw.
class ZipCipher
{
public:
    static constexpr int kHeaderSize = 12;

    explicit ZipCipher(const QByteArray& password)
    {
        for (const char c : password)
            update(static_cast<uint8_t>(c));
    }

    void encrypt(char* data, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i) {
            const auto plain = static_cast<uint8_t>(data[i]);
            data[i] = static_cast<char>(plain ^ streamByte());
            update(plain);
        }
    }

    void decrypt(char* data, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i) {
            const auto plain = static_cast<uint8_t>(static_cast<uint8_t>(data[i]) ^ streamByte());
            data[i] = static_cast<char>(plain);
            update(plain);
        }
    }

private:
    static uint32_t crcByte(uint32_t crc, uint8_t byte)
    {
        static const z_crc_t* const table = get_crc_table();
        return table[(crc ^ byte) & 0xff] ^ (crc >> 8);
    }

    uint8_t streamByte() const
    {
        const uint32_t t = (m_keys[2] & 0xffff) | 2;
        return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    }

    void update(uint8_t plain)
    {
        m_keys[0] = crcByte(m_keys[0], plain);
        m_keys[1] = (m_keys[1] + (m_keys[0] & 0xff)) * 134775813u + 1;
        m_keys[2] = crcByte(m_keys[2], static_cast<uint8_t>(m_keys[1] >> 24));
    }

    uint32_t m_keys[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

// The whole of data as one raw deflate stream (default level, 15-bit window, memory level 8).
std::optional<QByteArray> rawDeflate(const QByteArray& data)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    QByteArray packed(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    const int result = deflate(&stream, Z_FINISH);
    packed.truncate(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        return std::nullopt;
    return packed;
}

// The bytes of the entry the reader stands on, in pieces.
class EntryReader
{
public:
    virtual ~EntryReader() = default;
    // Bytes placed in piece; 0 at the end, negative when the entry cannot be read.
    virtual int read(char* piece, unsigned size) = 0;
    // Closes the entry. False when what was read does not match the entry's CRC.
    virtual bool close() = 0;
};

class PlainEntryReader : public EntryReader
{
public:
    explicit PlainEntryReader(unzFile file) : m_file(file) {}
    int read(char* piece, unsigned size) override { return unzReadCurrentFile(m_file, piece, size); }
    bool close() override { return unzCloseCurrentFile(m_file) == UNZ_OK; }

private:
    unzFile m_file;
};

// An enciphered entry, opened raw: deciphered, then stored or inflated, and checked against its CRC.
class EncipheredEntryReader : public EntryReader
{
public:
    EncipheredEntryReader(unzFile file, const QByteArray& password, const unz_file_info64& info)
        : m_file(file), m_cipher(password), m_deflated(info.compression_method == Z_DEFLATED),
          m_expectedCrc(info.crc)
    {
        m_inflating = m_deflated && inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
    }
    ~EncipheredEntryReader() override
    {
        if (m_inflating)
            inflateEnd(&m_stream);
    }

    // Reads the cipher header; false when its check byte says the password is wrong.
    bool readHeader(uint8_t check)
    {
        char header[ZipCipher::kHeaderSize];
        int have = 0;
        while (have < ZipCipher::kHeaderSize) {
            const int read = unzReadCurrentFile(m_file, header + have, static_cast<unsigned>(ZipCipher::kHeaderSize - have));
            if (read <= 0)
                return false;
            have += read;
        }
        m_cipher.decrypt(header, ZipCipher::kHeaderSize);
        return static_cast<uint8_t>(header[ZipCipher::kHeaderSize - 1]) == check;
    }

    int read(char* piece, unsigned size) override
    {
        if (!m_deflated) {
            const int read = unzReadCurrentFile(m_file, piece, size);
            if (read > 0)
                produced(piece, read);
            return read;
        }
        if (!m_inflating)
            return -1;
        while (!m_ended) {
            if (m_stream.avail_in == 0) {
                const int read = unzReadCurrentFile(m_file, m_input, kPieceSize);
                if (read <= 0)
                    return -1;  // an error, or the data ended inside the stream
                m_cipher.decrypt(m_input, read);
                m_stream.next_in = reinterpret_cast<Bytef*>(m_input);
                m_stream.avail_in = static_cast<uInt>(read);
            }
            m_stream.next_out = reinterpret_cast<Bytef*>(piece);
            m_stream.avail_out = size;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                m_ended = true;
            else if (result != Z_OK && result != Z_BUF_ERROR)
                return -1;
            const int read = static_cast<int>(size - m_stream.avail_out);
            if (read > 0) {
                produced(piece, read);
                return read;
            }
        }
        return 0;
    }

    bool close() override
    {
        const bool closed = unzCloseCurrentFile(m_file) == UNZ_OK;
        return closed && (!m_deflated || m_ended) && m_crc == m_expectedCrc;
    }

private:
    void produced(char* piece, int size)
    {
        if (!m_deflated)
            m_cipher.decrypt(piece, size);
        m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(piece), static_cast<uInt>(size));
    }

    unzFile m_file;
    ZipCipher m_cipher;
    const bool m_deflated;
    const uLong m_expectedCrc;
    uLong m_crc = crc32(0L, Z_NULL, 0);
    z_stream m_stream{};
    bool m_inflating = false;
    bool m_ended = false;
    char m_input[kPieceSize];
};

// Opens the entry the archive stands on. Nothing when it cannot be opened, or is enciphered and
// the password is missing or wrong, or uses a method other than storing and deflate.
std::unique_ptr<EntryReader> openEntry(unzFile file, const unz_file_info64* info, const QString& password)
{
    if (!file)
        return nullptr;
    if (!info || (info->flag & 1) == 0)
        return unzOpenCurrentFile(file) == UNZ_OK ? std::make_unique<PlainEntryReader>(file) : nullptr;

    const std::optional<QByteArray> bytes = asciiBytes(password);
    if (!bytes || bytes->isEmpty() || (info->compression_method != 0 && info->compression_method != Z_DEFLATED))
        return nullptr;
    int method = 0;
    int level = 0;
    if (unzOpenCurrentFile2(file, &method, &level, 1) != UNZ_OK)
        return nullptr;
    auto reader = std::make_unique<EncipheredEntryReader>(file, *bytes, *info);
    // The header's last byte repeats the CRC's top byte, or the time's when sizes follow the data.
    const auto check = static_cast<uint8_t>((info->flag & 8) != 0 ? (info->dosDate >> 8) : (info->crc >> 24));
    if (!reader->readHeader(check)) {
        unzCloseCurrentFile(file);
        return nullptr;
    }
    return reader;
}

// Where an entry goes below the target folder.
struct EntryPath
{
    QByteArrayList parts;  // folder names, then the file's name for a file
    bool isFolder = false;
};

// The entry's name made relative to the target folder ("\" counts as "/", "." and ".." resolved).
// Nothing when it is absolute or climbs out of the folder, or names no file for a file entry.
std::optional<EntryPath> entryPath(QByteArray name)
{
    EntryPath path;
    path.isFolder = name.endsWith('/') || name.endsWith('\\');
    name.replace('\\', '/');
    if (name.startsWith('/'))
        return std::nullopt;
    for (const QByteArray& part : name.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (path.parts.isEmpty())
                return std::nullopt;
            path.parts.removeLast();
            continue;
        }
        path.parts.append(part);
    }
    if (!path.isFolder && path.parts.isEmpty())
        return std::nullopt;
    return path;
}

// The folder part below dir, made when missing. A link found there is replaced by a real folder,
// never followed, so nothing unpacked below it can land elsewhere.
Descriptor openSubfolder(int dir, const QByteArray& part)
{
    struct stat st {};
    if (::fstatat(dir, part.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) {
            if (::unlinkat(dir, part.constData(), 0) != 0 || ::mkdirat(dir, part.constData(), 0777) != 0)
                return Descriptor();
        } else if (!S_ISDIR(st.st_mode)) {
            return Descriptor();
        }
    } else if (errno != ENOENT || (::mkdirat(dir, part.constData(), 0777) != 0 && errno != EEXIST)) {
        return Descriptor();
    }
    return Descriptor(::openat(dir, part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The folder named by the first depth parts below root, made as needed.
Descriptor openFolders(int root, const QByteArrayList& parts, qsizetype depth)
{
    Descriptor folder(root < 0 ? -1 : ::fcntl(root, F_DUPFD_CLOEXEC, 0));
    for (qsizetype i = 0; i < depth && folder.valid(); ++i)
        folder = openSubfolder(folder.get(), parts.at(i));
    return folder;
}

// Unpacks the opened entry and closes it. False when the entry was refused or could not be written
// or read whole; a file that was begun is then removed.
bool extractEntry(ZipArchive& archive, EntryReader& reader, int root, const QString& rootPath, const QByteArray& name,
                  const unz_file_info64& info, bool overwrite)
{
    const std::optional<EntryPath> path = entryPath(name);
    if (!path || info.uncompressed_size > static_cast<ZPOS64_T>(ZipArchive::kMaxEntrySize)) {
        archive.OutputErrorMessage(QStringLiteral("Error occurs"));
        reader.close();
        return false;
    }

    const Descriptor folder =
        openFolders(root, path->parts, path->isFolder ? path->parts.size() : path->parts.size() - 1);
    if (path->isFolder || !folder.valid()) {
        reader.close();
        return folder.valid();
    }

    const QByteArray& leaf = path->parts.last();
    struct stat st {};
    const bool exists = ::fstatat(folder.get(), leaf.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !overwrite && !archive.OverWrite(QDir(rootPath).filePath(QFile::decodeName(path->parts.join('/'))))) {
        reader.close();
        return true;
    }
    // The entry takes the place of a link rather than writing through it.
    if (exists && S_ISLNK(st.st_mode) && ::unlinkat(folder.get(), leaf.constData(), 0) != 0) {
        reader.close();
        return false;
    }
    Descriptor file(
        ::openat(folder.get(), leaf.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file.valid()) {
        reader.close();
        return false;
    }

    bool whole = true;
    int64_t total = 0;
    char piece[kPieceSize];
    for (;;) {
        const int read = reader.read(piece, kPieceSize);
        if (read == 0)
            break;
        // The header's size may understate what the data expands to.
        total += read;
        if (read < 0 || total > ZipArchive::kMaxEntrySize) {
            archive.OutputErrorMessage(QStringLiteral("Failed to reading zip file"));
            whole = false;
            break;
        }
        if (!writeAll(file.get(), piece, static_cast<size_t>(read))) {
            whole = false;
            break;
        }
    }
    // Closing after the last byte checks the CRC.
    if (!reader.close() && whole) {
        archive.OutputErrorMessage(QStringLiteral("Failed to reading zip file"));
        whole = false;
    }
    if (whole && !setModificationDate(file.get(), entryDate(info.tmu_date)))
        qInfo("Failed to set attributes");
    if (!file.reset())
        whole = false;
    if (!whole)
        ::unlinkat(folder.get(), leaf.constData(), 0);
    return whole;
}

}  // namespace

ZipArchive::~ZipArchive()
{
    CloseZipFile2();
    UnzipCloseFile();
}

bool ZipArchive::CreateZipFile2(const QString& zipFile)
{
    // An archive still being written is finished rather than abandoned.
    if (m_zipFile)
        zipClose(m_zipFile, nullptr);
    m_zipFile = zipOpen64(QFile::encodeName(zipFile).constData(), APPEND_STATUS_CREATE);
    return m_zipFile != nullptr;
}

bool ZipArchive::CreateZipFile2(const QString& zipFile, const QString& password)
{
    m_password = password;
    return CreateZipFile2(zipFile);
}

bool ZipArchive::addFileToZip(const QString& file, const QString& newname)
{
    if (!m_zipFile)
        return false;
    zip_fileinfo info{};
    info.external_fa = kRegularFileAttributes;
    info.tmz_date = zipDate(file);

    // A file that cannot be read must not turn into an empty entry.
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = source.readAll();
    if (source.error() != QFileDevice::NoError || static_cast<quint64>(data.size()) > UINT_MAX)
        return false;

    const QByteArray name = newname.toUtf8();
    // Names are written in UTF-8. One that is not plain ASCII says so (general-purpose bit 11);
    // without the mark other tools read its bytes in an old DOS code page.
    const uLong nameFlag = isAscii(name) ? 0 : kUtf8NameFlag;
    // Opens the entry, deflated by minizip or (raw) written as it is given, with the given flags.
    const auto openEntry = [&](int raw, uLong flags) {
        return zipOpenNewFileInZip4_64(m_zipFile, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                       Z_DEFAULT_COMPRESSION, raw, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                       nullptr, 0, kVersionMadeBy, flags | nameFlag, 0) == ZIP_OK;
    };
    if (m_password.isEmpty()) {
        if (!openEntry(0, 0))
            return false;
        if (zipWriteInFileInZip(m_zipFile, data.constData(), static_cast<unsigned>(data.size())) != ZIP_OK) {
            zipCloseFileInZip(m_zipFile);
            return false;
        }
        return zipCloseFileInZip(m_zipFile) == ZIP_OK;
    }

    // Enciphered: the cipher header (ten random bytes, then the CRC's top two bytes) and the
    // deflated bytes, enciphered together and stored raw under the entry's "enciphered" flag.
    const std::optional<QByteArray> password = asciiBytes(m_password);
    const std::optional<QByteArray> packed = rawDeflate(data);
    if (!password || !packed)
        return false;
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size()));
    QByteArray sealed(ZipCipher::kHeaderSize - 2, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(sealed.data()), 2);
    sealed.append(static_cast<char>((crc >> 16) & 0xff));
    sealed.append(static_cast<char>((crc >> 24) & 0xff));
    sealed.append(*packed);
    if (static_cast<quint64>(sealed.size()) > UINT_MAX)
        return false;
    ZipCipher(*password).encrypt(sealed.data(), sealed.size());

    if (!openEntry(1, 1))  // raw, under general-purpose bit 0 ("enciphered")
        return false;
    if (zipWriteInFileInZip(m_zipFile, sealed.constData(), static_cast<unsigned>(sealed.size())) != ZIP_OK) {
        zipCloseFileInZipRaw64(m_zipFile, static_cast<ZPOS64_T>(data.size()), crc);
        return false;
    }
    return zipCloseFileInZipRaw64(m_zipFile, static_cast<ZPOS64_T>(data.size()), crc) == ZIP_OK;
}

bool ZipArchive::CloseZipFile2()
{
    m_password.clear();
    if (!m_zipFile)
        return false;
    const int result = zipClose(m_zipFile, nullptr);
    m_zipFile = nullptr;
    return result == ZIP_OK;
}

bool ZipArchive::UnzipOpenFile(const QString& zipFile)
{
    if (m_unzFile)
        unzClose(m_unzFile);
    m_unzFile = unzOpen64(QFile::encodeName(zipFile).constData());
    return m_unzFile != nullptr;
}

bool ZipArchive::UnzipOpenFile(const QString& zipFile, const QString& password)
{
    m_password = password;
    return UnzipOpenFile(zipFile);
}

bool ZipArchive::UnzipFileTo(const QString& path, bool overwrite)
{
    int position = m_unzFile ? unzGoToFirstFile(m_unzFile) : UNZ_PARAMERROR;
    if (position != UNZ_OK)
        OutputErrorMessage(QStringLiteral("Failed"));

    QDir().mkpath(path);
    const Descriptor root(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));

    bool complete = true;
    do {
        // How an entry is opened depends on whether it is enciphered.
        unz_file_info64 info{};
        const bool described =
            m_unzFile && unzGetCurrentFileInfo64(m_unzFile, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK;
        const std::unique_ptr<EntryReader> reader = openEntry(m_unzFile, described ? &info : nullptr, m_password);
        if (!reader) {
            OutputErrorMessage(QStringLiteral("Error occurs"));
            return false;
        }
        if (!described) {
            OutputErrorMessage(QStringLiteral("Error occurs while getting file info"));
            reader->close();
            return false;
        }
        // The name is read as C text: it ends at its first zero byte.
        QByteArray name(static_cast<qsizetype>(info.size_filename) + 1, '\0');
        unzGetCurrentFileInfo64(m_unzFile, nullptr, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr,
                                0);
        name.truncate(static_cast<qsizetype>(qstrlen(name.constData())));

        if (!extractEntry(*this, *reader, root.get(), path, name, info, overwrite))
            complete = false;
        position = unzGoToNextFile(m_unzFile);
    } while (position == UNZ_OK);
    // A central directory that breaks off leaves the entries after the break unread.
    return complete && position == UNZ_END_OF_LIST_OF_FILE;
}

bool ZipArchive::UnzipCloseFile()
{
    m_password.clear();
    if (!m_unzFile)
        return true;
    const int result = unzClose(m_unzFile);
    m_unzFile = nullptr;
    return result == UNZ_OK;
}

void ZipArchive::OutputErrorMessage(const QString& msg)
{
    if (const std::shared_ptr<ZipArchiveDelegate> delegate = m_delegate.lock())
        delegate->ErrorMessage(msg);
}

bool ZipArchive::OverWrite(const QString& file)
{
    const std::shared_ptr<ZipArchiveDelegate> delegate = m_delegate.lock();
    return !delegate || delegate->OverWriteOperation(file);
}

QDateTime ZipArchive::Date1980() const
{
    return QDateTime(QDate(1980, 1, 1), QTime(0, 0), Clock::localZone());
}
