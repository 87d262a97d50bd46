#pragma once

#include <functional>

class RightViewController;

// The detail pane as everything outside it reaches it (a list row, a deal of the deals column, a
// push notification): the work waits until the main window is finished and, during start-up,
// until the first screen is up, when the pane is made by its one getter
// (MainSplitViewController::RightViewController). Then it runs with the pane. Dropped when the
// program has no delegate or no window.
void withRightPane(std::function<void(RightViewController&)> work);
