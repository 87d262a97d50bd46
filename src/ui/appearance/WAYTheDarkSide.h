#pragma once

#include <QObject>

#include <functional>

// Tells interested code when the appearance switches between dark and light. Blocks are kept per
// key object (one per key and table, replaced by a new registration) and dropped with their key.
// Main thread only.
class WAYTheDarkSide
{
public:
    using Block = std::function<void()>;

    // The block runs on every switch to dark; at once too when `immediately` and dark now.
    static void welcomeObject(QObject* object, Block block, bool immediately);
    // The block runs on every switch to light; at once too when `immediately` and light now.
    static void outcastObject(QObject* object, Block block, bool immediately);
    // The same, keyed on the application object.
    static void welcomeApplicationWithBlock(Block block, bool immediately);
    static void outcastApplicationWithBlock(Block block, bool immediately);

    static bool applicationIsOnTheDarkSide();
    // Always true here.
    static bool applicationReadyForTheDarkSide();

    // Runs every block of the dark (true) or light table.
    static void _broadcastDarkMode(bool dark);
    // What the change notice does: reads the appearance and broadcasts it when it differs from
    // the last broadcast (the first always).
    static void appearanceMayHaveChanged();

    // Installs the watcher on the current AppearanceSource (done on first use; call again after
    // installing another source).
    static void initialize();
    // Forgets every block and the last broadcast state (tests).
    static void resetForTesting();
    static int darkTableCount();
    static int lightTableCount();
};
