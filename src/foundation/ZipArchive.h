#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>

// Hears what goes wrong while an archive is unpacked and decides whether an existing file may be
// replaced. Both do the harmless thing unless overridden.
class ZipArchiveDelegate
{
public:
    virtual ~ZipArchiveDelegate() = default;
    virtual void ErrorMessage(const QString& msg) {}
    // false keeps the file at this path as it is.
    virtual bool OverWriteOperation(const QString& file) { return true; }
};

// Writes and reads zip archives (deflate, optionally with the traditional zip password) for the
// favourites file. One object is used by one thread at a time.
//
// Writing: CreateZipFile2, addFileToZip for each file, CloseZipFile2.
// Reading: UnzipOpenFile, UnzipFileTo, UnzipCloseFile.
//
// Unpacking never writes outside the target folder: an entry whose name is absolute or climbs out
// of the folder is refused, links met on the way are replaced rather than followed, and an entry
// that unpacks to more than kMaxEntrySize bytes is refused.
class ZipArchive
{
public:
    static constexpr int64_t kMaxEntrySize = 64 * 1024 * 1024;

    ZipArchive() = default;
    // Closes whatever is still open, writing and reading alike.
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // A new archive at zipFile (an existing file there is replaced). True when it opened.
    bool CreateZipFile2(const QString& zipFile);
    // The same, with entries enciphered under password (ASCII only) when it is not empty.
    bool CreateZipFile2(const QString& zipFile, const QString& password);
    // Adds the bytes of file under the entry name newname, dated with the file's modification time.
    // False when no archive is being written or the file cannot be read.
    bool addFileToZip(const QString& file, const QString& newname);
    // Writes the central directory and closes. False when nothing was being written.
    bool CloseZipFile2();

    bool UnzipOpenFile(const QString& zipFile);
    bool UnzipOpenFile(const QString& zipFile, const QString& password);
    // Unpacks every entry below path (made when missing). An existing file is replaced when
    // overwrite is set or OverWrite() agrees. An entry that cannot be opened (an enciphered one
    // needs its password) ends the unpacking with false. An entry refused, or not read or written
    // whole, leaves no file and makes the answer false, but the entries after it are unpacked.
    bool UnzipFileTo(const QString& path, bool overwrite);
    // True when nothing was open.
    bool UnzipCloseFile();

    std::weak_ptr<ZipArchiveDelegate> delegate() const { return m_delegate; }
    void setDelegate(std::weak_ptr<ZipArchiveDelegate> delegate) { m_delegate = std::move(delegate); }

    void OutputErrorMessage(const QString& msg);
    // The delegate's answer; true without one.
    bool OverWrite(const QString& file);

    // 1 January 1980, local time: the earliest date an entry can carry.
    QDateTime Date1980() const;

private:
    void* m_zipFile = nullptr;  // minizip's zipFile
    void* m_unzFile = nullptr;  // minizip's unzFile
    QString m_password;
    std::weak_ptr<ZipArchiveDelegate> m_delegate;
};
