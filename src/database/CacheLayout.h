#pragma once

#include <QString>
#include <QStringList>

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
// The folder's full path under the cache root.
QString folderPath(const char* folder);
// The five folders that clearing removes and makes again, in clearing order.
QStringList clearedFolders();

// Removes the folder with everything in it and makes it again with its parents. Errors are
// ignored: a folder that cannot be removed keeps its files. True when the folder exists empty.
bool recreateFolder(const char* folder);

// Empties the nine content-state tables (read marks, deal and hot-comment marks, list-ad marks,
// per-article and per-post update times, reading history), each under its own store lease.
// Returns how many of them were emptied.
int clearContentStateTables();

}  // namespace CacheLayout
