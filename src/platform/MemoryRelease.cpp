#include "platform/MemoryRelease.h"

#include "platform/Dispatch.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace memory {

namespace {

// Long enough for the work that follows a page load (its blocks, its pictures) to have ended.
constexpr int kQuietMs = 500;

}  // namespace

void releaseFreedSoon()
{
    static quint64 asked = 0;
    const quint64 ask = ++asked;
    dispatch::after(kQuietMs, [ask] {
        if (ask != asked)
            return;
#if defined(__GLIBC__)
        // Walking the heaps takes some milliseconds: not on the thread that draws.
        dispatch::asyncGlobal([] { malloc_trim(0); });
#endif
    });
}

}  // namespace memory
