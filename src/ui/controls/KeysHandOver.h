#pragma once

#include <functional>

class QWidget;

// The keys are always where the reader sees them. A view hidden while it holds its window's keys
// (the article while its next page loads, a page of the detail pane put aside for another, a list
// put behind another) would leave them to the next view of the window's Tab chain: a button the
// reader never chose, often out of sight. Inside an area registered here they go instead to the
// view the area names as its keys' place now; while it has none on show (the next page still
// loading) the area holds them itself and hands them on once a view inside it shows. One rule for
// the whole program, installed with the first area; the innermost area around the hidden view
// decides.
namespace KeysHandOver {

// `taker` answers the view inside the area that takes its keys now (null: none yet); by default
// the one a click in the area would give them (clickKeysOf). The rule ends with the area.
void addArea(QWidget* area, std::function<QWidget*()> taker = {});

// Where a click inside the view puts the keys: the view itself when a click gives it them, else
// the first view inside it, on show within it, that a click gives them; the view when none does.
QWidget* clickKeysOf(QWidget* view);

}  // namespace KeysHandOver
