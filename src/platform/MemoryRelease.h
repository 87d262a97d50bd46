#pragma once

// The allocator keeps what a burst of work freed (a page built, a list parsed, frames composed)
// for later use, spread among what is still in use: tens of megabytes after an article has
// loaded. This hands it back to the system once the burst is over.
namespace memory {

// Asks for one release after the main thread has had a quiet moment; asks made before it runs
// join it. Main thread only.
void releaseFreedSoon();

}  // namespace memory
