#pragma once

class QWidget;

// The keys that close a window of the program that is not a dialog, wherever its keys are:
// Ctrl+W as in every window, and Escape as in the dialogs. An alert standing over the window
// takes Escape for itself.
void closeOnWindowKeys(QWidget* window);
