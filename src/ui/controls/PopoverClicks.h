#pragma once

class QWidget;

// A transient popover closes on a click outside it, and that click also reaches what it was aimed
// at, as the platform's own popovers do: the reader does not click twice to open the row beside
// an open popover. (Qt's popups swallow the closing click on most window systems.) A click on the
// opener, the button that opened the popover, only closes it. Called at each opening; the
// popover keeps one such rule.
void passClosingClickThrough(QWidget* popup, QWidget* opener);
