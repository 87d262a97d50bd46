#pragma once

#include "TestEnvironment.h"
#include "images/SDWebImageDownloader.h"
#include "images/SDWebImageManager.h"

// Ends the shared picture loads a test's views started and waits until their downloads are gone.
// The shared manager outlives the application object: a download still running when its access
// manager is destroyed at exit leaves Qt's network thread objects behind for the leak check.
// Header only: for the test programs that link the picture loader.
inline void endImageLoads()
{
    const std::shared_ptr<SDWebImageManager>& manager = SDWebImageManager::sharedManager();
    manager->cancelAll();
    manager->imageDownloader()->cancelAllDownloads();
    if (!waitUntil([&] { return manager->imageDownloader()->currentDownloadCount() == 0; }, 30000))
        std::fprintf(stderr, "picture downloads still running: %d\n", manager->imageDownloader()->currentDownloadCount());
    endRepliesStillRunning();
}
