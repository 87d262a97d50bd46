#include "foundation/Util.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <functional>
#include <string>

#include <dirent.h>
#include <sys/stat.h>

namespace {

int64_t lstatSize(const char* path)
{
    struct stat status {};
    if (::lstat(path, &status) != 0)
        return 0;
    return static_cast<int64_t>(status.st_size);
}

// Calls visit with every path below the folder, sub-folders included, links not followed.
void forEachPathBelow(const QString& folderPath, const std::function<void(const QString&)>& visit)
{
    QDirIterator it(folderPath, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        visit(it.next());
}

}  // namespace

int64_t Util::fileSizeAtPath1(const QString& filePath)
{
    if (!QFile::exists(filePath))
        return 0;
    return fileSizeAtPath2(filePath);
}

int64_t Util::fileSizeAtPath2(const QString& filePath)
{
    return lstatSize(QFile::encodeName(filePath).constData());
}

int64_t Util::folderSizeAtPath1(const QString& folderPath)
{
    int64_t total = 0;
    forEachPathBelow(folderPath, [&total](const QString& path) {
        const int64_t size1 = fileSizeAtPath1(path);
        const int64_t size2 = fileSizeAtPath2(path);
        if (size1 != size2)
            qInfo("%s, %lld, %lld", qUtf8Printable(path), static_cast<long long>(size1), static_cast<long long>(size2));
        total += size1;
    });
    return total;
}

int64_t Util::folderSizeAtPath2(const QString& folderPath)
{
    int64_t total = 0;
    forEachPathBelow(folderPath, [&total](const QString& path) { total += fileSizeAtPath2(path); });
    return total;
}

int64_t Util::folderSizeAtPath3(const QString& folderPath)
{
    return _folderSizeAtPath(folderPath.toUtf8().constData());
}

int64_t Util::_folderSizeAtPath(const char* folderPath)
{
    DIR* dir = ::opendir(folderPath);
    if (!dir)
        return 0;
    // Child paths are built in a string of their own length: deep trees and long names are fine.
    std::string base(folderPath);
    if (base.empty() || base.back() != '/')
        base.push_back('/');
    int64_t total = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if ((name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0'))
            continue;
        const std::string childPath = base + name;
        unsigned char type = entry->d_type;
        struct stat status {};
        const bool haveStatus = ::lstat(childPath.c_str(), &status) == 0;
        if (type == DT_UNKNOWN && haveStatus) {
            // Some file systems leave the type to a status call.
            type = S_ISREG(status.st_mode) ? DT_REG : S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        const int64_t ownSize = haveStatus ? static_cast<int64_t>(status.st_size) : 0;
        if (type == DT_REG || type == DT_LNK)
            total += ownSize;
        else if (type == DT_DIR)
            total += _folderSizeAtPath(childPath.c_str()) + ownSize;
    }
    ::closedir(dir);
    return total;
}
