#pragma once

#include <QPalette>

// The program keeps its own light design whatever the desktop's colour scheme: a view that paints
// its own light surfaces sets this palette on itself, so its children's texts, fields and buttons
// take dark ink on light ground instead of the desktop's colours. Every role of every group is
// set, so nothing of a dark desktop palette shows through.
QPalette lightPalette();
