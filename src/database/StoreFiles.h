#pragma once

#include <QString>

#include <optional>

// The database file's own handling beside SQLite: made private, forced to the disk, and what can
// still be read of a damaged one copied into a new file.
namespace StoreFiles {

// Creates the file with mode 0600 when it is missing, before SQLite first touches it: SQLite
// would make it with the process's umask, and the database holds the user's accounts. SQLite
// gives its journal files the database file's mode.
void createPrivateFile(const QString& path);

// Forces what was written to the file, or to a folder's entries, to the disk.
bool syncToDisk(const QString& path);

// How much of a damaged file its copy holds.
enum class Kept { Nothing, Part, All };

// Where the copy of the damaged file at path is built. A file there beside a database file that
// is still in place is a copy cut off midway, never to be used.
QString copyPath(const QString& path);

// Builds copyPath(path) from the damaged file at path, which is only read: every table row by
// row as its pages give them, each under its own rowid, in one read of the file, passing over the
// stretches that cannot be read. A table of which nothing could be read is left out, so that its
// store makes it again with its defaults; when the favourites table is not kept whole, the
// favourites sync rows say that no version of the favourites is held. Indexes are made anew from
// the rows; a row whose rowid or key repeats an earlier row's counts as lost. The copy is on the
// disk when this returns; nothing when it could not be made or written whole, or another
// connection kept the file from being read (it is removed then).
std::optional<Kept> copyReadable(const QString& path);

}  // namespace StoreFiles
