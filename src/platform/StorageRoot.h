#pragma once

#include <QByteArray>
#include <QString>

// Where the program keeps its files: a Documents, a Caches and a Preferences folder, under the
// XDG data, cache and config folders. Tests move all three under one temporary folder with setRoot().
class StorageRoot
{
public:
    // "$XDG_DATA_HOME/tidwen/Documents", or "<root>/Documents" after setRoot().
    static QString documentsPath();
    // "$XDG_CACHE_HOME/tidwen", or "<root>/Caches".
    static QString cachesPath();
    // "$XDG_CONFIG_HOME/tidwen", or "<root>/Preferences".
    static QString preferencesPath();

    // Puts every folder under root; an empty root goes back to the XDG folders.
    static void setRoot(const QString& root);

    // Creates the folder and its parents, the new ones with mode 0700. True when it exists after.
    static bool ensureFolder(const QString& path);
    // base/relative, the place of a cache's folder, cleared for it: a file (or a link to nothing)
    // found there, or where base or a folder between the two belongs, is removed, so the folder
    // can be made. Only for caches, whose files all come again from a server: such a file holds
    // nothing the program can use, and removing a folder does nothing to it. One look at the disk
    // when the folder stands; the folder itself is not made.
    static QString cacheFolderPath(const QString& base, const QString& relative);
    // Writes the file beside its place and renames it in, creating its folder first, so that a
    // reader, or a full disk, never leaves a cut-off file that a later read would take for the
    // whole. False when nothing was written.
    //
    // The one policy for every file the program writes whole (the caches of lists, articles,
    // pictures, ads, the configuration, the last user information), which it often writes on
    // the main thread: nothing is forced to the disk, and the old file is removed just before the
    // rename instead of being replaced by it (a rename over an existing file makes the usual
    // Linux file system write the new one out at once, on the calling thread). A crash between
    // the two, or a power loss soon after, may therefore leave the file missing or cut short.
    // That is acceptable only because each such file is a copy of what a server gives again: a
    // missing or unreadable copy is fetched anew. A file that could not be fetched again is not
    // to be written through here.
    static bool writeFileAtomically(const QString& path, const QByteArray& bytes);
};
