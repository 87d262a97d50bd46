#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// Where the raw replies the program keeps for a later start live, and which content-state tables
// belong to that cache. The list column writes the list and slide folders, the article pane the
// article folder, the deal page its detail folder; the settings pages size and clear all of it.
namespace CacheLayout {

// Folders under the cache root.
inline constexpr auto kNewsListFolder = "tidwennewslistpath";          // raw news-list replies
inline constexpr auto kSlideFolder = "tidwenslidepath";                // focus-slide replies
inline constexpr auto kCommentManageFolder = "commentMangedatapath";   // comment management data
inline constexpr auto kSingleNewsFolder = "tidwensinglenewspath";      // article files
inline constexpr auto kHotProductDetailFolder = "tidwenhotproductdetailpath";  // deal pages
inline constexpr auto kAdImageFolder = "ADInfo/ADImageIpad";           // ad images (cleared by their owner)

// Documents/tmp under the storage root.
QString cacheRoot();
// The folder's full path under the cache root. Every writer of a cache asks for it: a file found
// in the place of the folder, or of a folder above it up to the cache root, is removed, so the
// folder can be made again.
QString folderPath(const char* folder);
// The five folders that clearing removes and makes again, in clearing order.
QStringList clearedFolders();

// The name of a URL's reply file in the list and slide folders: a stable 64-bit hash of the URL
// text (FNV-1a over its UTF-16 units, low byte first), written "%lx".
uint64_t urlHash(const QString& url);
// The folder's full path plus that name; the folder is made with its parents when missing.
QString filePathForUrl(const char* folder, const QString& url);

// Removes the folder with everything in it and makes it again with its parents. Errors are
// ignored: a folder that cannot be removed keeps its files. True when the folder exists empty.
bool recreateFolder(const char* folder);

// Empties the nine content-state tables (read marks, deal and hot-comment marks, list-ad marks,
// per-article and per-post update times, reading history), each under its own store lease.
// Returns how many of them were emptied.
int clearContentStateTables();

}  // namespace CacheLayout
