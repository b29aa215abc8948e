#include "ui/widgets/RowMoves.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace qm::rows {

namespace {

std::vector<int> Unmoved(int rowCount) {
    std::vector<int> order(static_cast<std::size_t>(std::max(0, rowCount)));
    std::iota(order.begin(), order.end(), 0);
    return order;
}

// The rows at place and place + 1 change places.
void SwapWithNext(std::vector<int>* order, int place) {
    std::swap((*order)[static_cast<std::size_t>(place)], (*order)[static_cast<std::size_t>(place + 1)]);
}

bool IsSelected(const std::vector<int>& selected, int row) {
    return std::binary_search(selected.begin(), selected.end(), row);
}

}  // namespace

std::vector<int> OrderAfterMoveUp(int rowCount, const std::vector<int>& selected) {
    std::vector<int> order = Unmoved(rowCount);
    if (selected.empty() || selected.front() <= 0) return order;
    // From the top down: a row whose upper neighbour was selected too swaps with the place
    // that neighbour has just left, so the block keeps together.
    for (const int row : selected) SwapWithNext(&order, row - 1);
    return order;
}

std::vector<int> OrderAfterMoveDown(int rowCount, const std::vector<int>& selected) {
    std::vector<int> order = Unmoved(rowCount);
    if (selected.empty() || selected.back() >= rowCount - 1) return order;
    // From the bottom up, for the same reason.
    for (auto row = selected.rbegin(); row != selected.rend(); ++row) SwapWithNext(&order, *row);
    return order;
}

std::vector<int> OrderAfterMoveTo(int rowCount, const std::vector<int>& selected, int before) {
    if (selected.empty()) return Unmoved(rowCount);
    before = std::clamp(before, 0, std::max(0, rowCount));
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(std::max(0, rowCount)));
    for (int row = 0; row < before; ++row) {
        if (!IsSelected(selected, row)) order.push_back(row);
    }
    order.insert(order.end(), selected.begin(), selected.end());
    for (int row = before; row < rowCount; ++row) {
        if (!IsSelected(selected, row)) order.push_back(row);
    }
    return order;
}

}  // namespace qm::rows
