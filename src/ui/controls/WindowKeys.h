#pragma once

class QShowEvent;
class QWidget;

// The keys that close a window of the program that is not a dialog, wherever its keys are:
// Ctrl+W as in every window, and Escape as in the dialogs. An alert standing over the window
// takes Escape for itself.
void closeOnWindowKeys(QWidget* window);

// The window's push buttons take the keys from Tab only, as the program's other buttons do: a
// click on one (发表, 登录) leaves them in the field the reader was typing in, which shows where
// they are, instead of on a button that a dialog draws alike with and without them.
void buttonsTakeKeysFromTabOnly(QWidget* window);

// Called from a window's showEvent: each opening puts the keys on `first` (none: where they are),
// marked from the opening on as a control reached by Tab is, wherever they were left before. The
// system showing a minimised window again is no new opening.
void openWithKeysOn(QWidget* window, const QShowEvent* event, QWidget* first);
