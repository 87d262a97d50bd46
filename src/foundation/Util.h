#pragma once

#include <QString>

#include <cstdint>

// Sizes of files and folders in bytes, as the settings window shows for the cache folders.
// Every operation answers 0 for a path that does not exist or cannot be read.
class Util
{
public:
    // The item's own size (a link's, not its target's); 0 when nothing exists at the path, links
    // followed.
    static int64_t fileSizeAtPath1(const QString& filePath);
    // The size of the item's status read without following a link.
    static int64_t fileSizeAtPath2(const QString& filePath);
    // Sums over the full list of paths below the folder; the first logs each item on which the
    // two file sizes disagree.
    static int64_t folderSizeAtPath1(const QString& folderPath);
    static int64_t folderSizeAtPath2(const QString& folderPath);
    // The walk the program uses: regular files and links by their own size, each sub-folder by
    // its contents plus the size of its own entry; the folder itself adds nothing.
    static int64_t folderSizeAtPath3(const QString& folderPath);
    static int64_t _folderSizeAtPath(const char* folderPath);
};
