// Where the rows of a list go when the selected ones move up, down or to a dropped place.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/widgets/RowMoves.h"

namespace qm::rows {
namespace {

enum class Move { Up, Down, To };

// An order as letters, row 0 as "a": {1, 0, 2} gives "bac".
std::string Letters(const std::vector<int>& order) {
    std::string letters;
    for (const int row : order) letters += static_cast<char>('a' + row);
    return letters;
}

// Each case moves the selected rows of a list of `rows` rows and gives the list's order
// afterwards. A block of selected rows moves as one, a selection touching the end it moves
// towards does not move at all, and a drop lands the selection together before the row
// dropped on.
TEST(RowMoves, SelectedRowsMoveAsABlock) {
    struct Case {
        Move move;
        int rows;
        std::vector<int> selected;
        int before;  // Move::To only
        const char* order;
    };
    const Case cases[] = {
        {Move::Up, 4, {}, 0, "abcd"},       {Move::Up, 4, {0}, 0, "abcd"},
        {Move::Up, 4, {0, 2}, 0, "abcd"},  // the first row holds the whole selection back
        {Move::Up, 4, {1}, 0, "bacd"},      {Move::Up, 4, {1, 3}, 0, "badc"},
        {Move::Up, 4, {1, 2}, 0, "bcad"},   {Move::Up, 4, {2, 3}, 0, "acdb"},
        {Move::Down, 4, {}, 0, "abcd"},     {Move::Down, 4, {3}, 0, "abcd"},
        {Move::Down, 4, {1, 3}, 0, "abcd"}, {Move::Down, 4, {0, 1}, 0, "cabd"},
        {Move::Down, 4, {0, 2}, 0, "badc"}, {Move::Down, 1, {0}, 0, "a"},
        {Move::To, 4, {}, 0, "abcd"},       {Move::To, 4, {3}, 0, "dabc"},
        {Move::To, 4, {0}, 4, "bcda"},      {Move::To, 4, {0, 2}, 4, "bdac"},
        {Move::To, 4, {1, 3}, 0, "bdac"},   {Move::To, 4, {1, 2}, 2, "abcd"},  // dropped inside the selection
        {Move::To, 4, {1, 2}, 3, "abcd"},                                      // just below it
        {Move::To, 4, {1, 2}, 0, "bcad"},                                      // one place up, as Up
        {Move::To, 4, {1, 2}, 4, "adbc"},                                      // one place down, as Down
        {Move::To, 4, {0, 3}, 2, "badc"},   {Move::To, 4, {2}, -5, "cabd"},    // before the first row
        {Move::To, 4, {1}, 99, "acdb"},                                        // after the last row
    };
    for (const Case& c : cases) {
        std::vector<int> order;
        switch (c.move) {
            case Move::Up:
                order = OrderAfterMoveUp(c.rows, c.selected);
                break;
            case Move::Down:
                order = OrderAfterMoveDown(c.rows, c.selected);
                break;
            case Move::To:
                order = OrderAfterMoveTo(c.rows, c.selected, c.before);
                break;
        }
        EXPECT_EQ(Letters(order), c.order)
            << "move " << static_cast<int>(c.move) << ", " << c.selected.size() << " selected from "
            << (c.selected.empty() ? -1 : c.selected.front()) << ", before " << c.before;
    }
}

}  // namespace
}  // namespace qm::rows
