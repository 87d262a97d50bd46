#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The raw-reply cache of the news lists: one file per feed URL in two folders under
// Documents/tmp. The hot-comment list keeps its replies in the list folder by the same naming.
namespace ListCacheFile {

// CacheLayout's list and slide folders under Documents/tmp, created with their parents when missing.
QString listFolder();
QString slideFolder();

// The stable 64-bit name hash of a URL (CacheLayout's, which the hot-comment list shares).
uint64_t urlHash(const QString& url);

// The folder path plus "%lx" of the URL hash (no extension). The URL is the feed's own, without
// any "?r=" cache-buster.
QString filePathForUrl(const QString& url);
QString slideFilePathForUrl(const QString& url);

// The file's bytes; empty when it is missing or unreadable.
QByteArray read(const QString& path);
// Replaces the file whole through a temporary file, so a reader sees the old or the new reply.
bool write(const QString& path, const QByteArray& bytes);

}  // namespace ListCacheFile
