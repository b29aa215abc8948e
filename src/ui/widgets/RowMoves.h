#pragma once

// Where the rows of a list go when its selected rows move: one place up, one place down, or
// together to a place of the list, as the list pages' Up and Down buttons and a drag move
// them. An order lists, for each place of the list from the top, the row (by its index
// before the move) that stands there afterwards. Selections are row indices in ascending
// order, each below rowCount.

#include <vector>

namespace qm::rows {

// Each selected row changes place with the row above it, so that a block of selected rows
// moves up as one and the rows it passes go below it. Nothing moves (the order stays as it
// is) when nothing is selected or the first row is.
std::vector<int> OrderAfterMoveUp(int rowCount, const std::vector<int>& selected);
// As OrderAfterMoveUp, downwards; nothing moves when the last row is selected.
std::vector<int> OrderAfterMoveDown(int rowCount, const std::vector<int>& selected);
// The selected rows, in their order, stand together before the row that stood at `before`
// (rowCount and above: after the last row, below 0: before the first); the other rows keep
// their order around them.
std::vector<int> OrderAfterMoveTo(int rowCount, const std::vector<int>& selected, int before);

}  // namespace qm::rows
