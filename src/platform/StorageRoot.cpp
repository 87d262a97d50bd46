#include "platform/StorageRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QTemporaryFile>
#include <QStandardPaths>

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace {

QMutex gRootMutex;
QString gRoot;  // guarded by gRootMutex; empty = XDG folders

constexpr auto kAppFolder = "tidwen";

QString underRootOr(const char* sub, QStandardPaths::StandardLocation xdg, const char* xdgSub)
{
    QString path;
    {
        QMutexLocker lock(&gRootMutex);
        if (!gRoot.isEmpty())
            path = gRoot + QLatin1Char('/') + QLatin1String(sub);
    }
    if (path.isEmpty()) {
        path = QStandardPaths::writableLocation(xdg) + QLatin1Char('/') + QLatin1String(kAppFolder);
        if (xdgSub)
            path += QLatin1Char('/') + QLatin1String(xdgSub);
    }
    StorageRoot::ensureFolder(path);
    return path;
}

}  // namespace

QString StorageRoot::documentsPath()
{
    return underRootOr("Documents", QStandardPaths::GenericDataLocation, "Documents");
}

QString StorageRoot::cachesPath()
{
    return underRootOr("Caches", QStandardPaths::GenericCacheLocation, nullptr);
}

QString StorageRoot::preferencesPath()
{
    return underRootOr("Preferences", QStandardPaths::GenericConfigLocation, nullptr);
}

void StorageRoot::setRoot(const QString& root)
{
    QMutexLocker lock(&gRootMutex);
    gRoot = root;
}

bool StorageRoot::ensureFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;

    // Walk down from the first missing ancestor so that every folder we create gets 0700,
    // not only the last one (QDir::mkpath would leave the parents at the umask's mode).
    QStringList missing;
    QString cursor = clean;
    while (!cursor.isEmpty() && !QFileInfo::exists(cursor)) {
        missing.prepend(cursor);
        const QString parent = QFileInfo(cursor).path();
        if (parent == cursor)
            break;
        cursor = parent;
    }
    for (const QString& folder : missing) {
        const QByteArray native = QFile::encodeName(folder);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return QFileInfo(clean).isDir();
}

QString StorageRoot::cacheFolderPath(const QString& base, const QString& relative)
{
    const QString whole = QDir(base).filePath(relative);
    if (QFileInfo(whole).isDir())
        return whole;
    const auto removeFileInPlaceOfFolder = [](const QString& path) {
        const QFileInfo info(path);
        if (!info.isDir() && (info.exists() || info.isSymLink()))
            QFile::remove(path);
    };
    QString path = base;
    removeFileInPlaceOfFolder(path);
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path = QDir(path).filePath(part);
        removeFileInPlaceOfFolder(path);
    }
    return whole;
}

bool StorageRoot::writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty() || !ensureFolder(QFileInfo(path).absolutePath()))
        return false;
    QTemporaryFile part(path + QStringLiteral(".XXXXXX"));
    if (!part.open())
        return false;
    const bool written = part.write(bytes) == bytes.size() && part.flush();
    part.close();
    if (!written)
        return false;
    const QByteArray target = QFile::encodeName(path);
    std::remove(target.constData());
    if (std::rename(QFile::encodeName(part.fileName()).constData(), target.constData()) != 0)
        return false;
    part.setAutoRemove(false);  // it is the file now
    return true;
}
