#pragma once

// The process's environment is complete before its first thread starts. Adding a variable makes
// the C library move its environment array and free the old one, under any thread that is reading
// it at that moment (proxies and certificate folders in a network thread, the time zone in a date
// conversion): a rare crash. Changing the value of a variable that exists leaves the array where it
// is.
namespace processenvironment {

// Sets now, with the values they will be given, the variables that libraries add later on the
// main thread: the web engine's "force_s3tc_enable" when its first view is made. Call it before
// anything starts a thread (before the application object).
void completeBeforeThreads();

}  // namespace processenvironment
