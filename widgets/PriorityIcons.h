#pragma once
// The pictures of the task priority column, drawn as vector shapes so they
// stay sharp at every device pixel ratio: 1 two red exclamation marks, 2 one,
// 4 one blue down arrow, 5 two; 3 (Normal) and anything else nothing.
#include "widgets/GridTypes.h"

class QPainter;

namespace PriorityIcons {
// Colours of the marks, also used by tests that look at the pixels.
QColor highColor();
QColor lowColor();
// Paints the icon of `priority` centred in rect.
void paint(QPainter* painter, const QRect& rect, int priority);
// The same as a grid icon painter for a column holding the priority value.
GridIconPainter painter();
} // namespace PriorityIcons
