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
    // Writes the file beside its place and renames it in, creating its folder first: a crash or a
    // full disk never leaves a cut-off file that a later read would take for the whole. False when
    // nothing was written.
    static bool writeFileAtomically(const QString& path, const QByteArray& bytes);
};
