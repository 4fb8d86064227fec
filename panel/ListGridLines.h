// Grid lines between the cells of a report list, which the tree widget does not draw
// by itself: a delegate paints each cell's right and bottom edge.
#pragma once

class QAbstractItemView;

void ShowGridLines(QAbstractItemView* list);
