// The hand-made pieces of the manual splitter: cutting, moving starts and ends, removing and
// resetting, with the pieces always covering the file without gaps.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ui/pages/SplitterPieces.h"

namespace qm::pieces {
namespace {

constexpr int kTotal = 400;

// Pieces from their boundaries: {0, 100, 400} gives 0-100 and 100-400.
std::vector<PieceRow> Cut(std::initializer_list<int> bounds) {
    std::vector<PieceRow> rows;
    const std::vector<int> b(bounds);
    for (std::size_t i = 0; i + 1 < b.size(); ++i) {
        PieceRow row;
        row.startTenths = b[i];
        row.endTenths = b[i + 1];
        row.outputPath = "old.mp3";
        rows.push_back(row);
    }
    return rows;
}

std::string Ranges(const std::vector<PieceRow>& rows) {
    std::ostringstream out;
    for (const PieceRow& row : rows) out << row.startTenths << '-' << row.endTenths << ' ';
    return out.str();
}

// Which pieces still name an output: those whose range did not move.
std::string Outputs(const std::vector<PieceRow>& rows) {
    std::string marks;
    for (const PieceRow& row : rows) marks += row.outputPath.empty() ? '-' : 'o';
    return marks;
}

TEST(SplitterPieces, AddingPointsCutsThePieceHoldingThem) {
    std::vector<PieceRow> rows;
    EXPECT_EQ(AddSplitPoint(&rows, 0, kTotal), 0);
    EXPECT_EQ(AddSplitPoint(&rows, 0, kTotal), -1);       // the start is a boundary
    EXPECT_EQ(AddSplitPoint(&rows, kTotal, kTotal), -1);  // and so is the end
    EXPECT_EQ(AddSplitPoint(&rows, 100, kTotal), 1);
    EXPECT_EQ(AddSplitPoint(&rows, 50, kTotal), 1);
    EXPECT_EQ(Ranges(rows), "0-50 50-100 100-400 ");
    EXPECT_EQ(AddSplitPoint(&rows, 100, kTotal), -1);
    for (const PieceRow& row : rows) EXPECT_TRUE(row.checked);
}

struct BoundaryCase {
    const char* name;
    std::vector<PieceRow> rows;
    int selected;
    int tenths;
    bool start;  // SetStart, else SetEnd
    BoundaryOutcome outcome;
    int selectedAfter;
    const char* ranges;
    const char* outputs;
};

TEST(SplitterPieces, MovingBoundaries) {
    const BoundaryCase cases[] = {
        {"start of the first piece cuts it", Cut({0, 200, 400}), 0, 30, true, BoundaryOutcome::Moved, 1,
         "0-30 30-200 200-400 ", "--o"},
        {"start inside the previous piece", Cut({0, 100, 200, 400}), 1, 50, true, BoundaryOutcome::Moved, 1,
         "0-50 50-200 200-400 ", "--o"},
        {"start back over a whole piece", Cut({0, 100, 200, 300, 400}), 3, 150, true, BoundaryOutcome::Moved, 2,
         "0-100 100-150 150-400 ", "o--"},
        {"start on an earlier piece's start removes it", Cut({0, 100, 200, 300, 400}), 3, 100, true,
         BoundaryOutcome::Moved, 1, "0-100 100-400 ", "o-"},
        {"start at the piece's start", Cut({0, 100, 400}), 1, 100, true, BoundaryOutcome::Unchanged, 1,
         "0-100 100-400 ", "oo"},
        {"start at the piece's end", Cut({0, 100, 400}), 0, 100, true, BoundaryOutcome::StartNotBefore, 0,
         "0-100 100-400 ", "oo"},
        {"start after the piece's end", Cut({0, 100, 400}), 0, 300, true, BoundaryOutcome::StartNotBefore, 0,
         "0-100 100-400 ", "oo"},
        {"end of the last piece adds a tail", Cut({0, 100, 400}), 1, 300, false, BoundaryOutcome::Moved, 1,
         "0-100 100-300 300-400 ", "o--"},
        {"end inside the piece moves the next start", Cut({0, 100, 200, 400}), 0, 60, false, BoundaryOutcome::Moved, 0,
         "0-60 60-200 200-400 ", "--o"},
        {"end past two pieces shortens the third", Cut({0, 100, 200, 300, 400}), 0, 350, false, BoundaryOutcome::Moved,
         0, "0-350 350-400 ", "--"},
        {"end on a later piece's end removes it", Cut({0, 100, 200, 300, 400}), 0, 300, false, BoundaryOutcome::Moved,
         0, "0-300 300-400 ", "-o"},
        {"end at the piece's start", Cut({0, 100, 400}), 1, 100, false, BoundaryOutcome::EndNotAfter, 1,
         "0-100 100-400 ", "oo"},
        {"end at the piece's end", Cut({0, 100, 400}), 0, 100, false, BoundaryOutcome::Unchanged, 0, "0-100 100-400 ",
         "oo"},
    };
    for (const BoundaryCase& c : cases) {
        std::vector<PieceRow> rows = c.rows;
        const BoundaryMove move =
            c.start ? SetStart(&rows, c.selected, c.tenths, kTotal) : SetEnd(&rows, c.selected, c.tenths, kTotal);
        EXPECT_EQ(move.outcome, c.outcome) << c.name;
        EXPECT_EQ(move.selected, c.selectedAfter) << c.name;
        EXPECT_EQ(Ranges(rows), c.ranges) << c.name;
        EXPECT_EQ(Outputs(rows), c.outputs) << c.name;
    }
}

TEST(SplitterPieces, RemovingGivesTheRangeToANeighbour) {
    std::vector<PieceRow> rows = Cut({0, 100, 200, 400});
    EXPECT_EQ(RemovePiece(&rows, 0), 0);  // the next piece now starts at 0
    EXPECT_EQ(Ranges(rows), "0-200 200-400 ");
    rows = Cut({0, 100, 200, 400});
    EXPECT_EQ(RemovePiece(&rows, 2), 1);  // the previous piece now runs to the end
    EXPECT_EQ(Ranges(rows), "0-100 100-400 ");
    EXPECT_EQ(Outputs(rows), "o-");
}

TEST(SplitterPieces, ResetKeepsOnePieceOverTheWholeFile) {
    std::vector<PieceRow> rows = Cut({0, 100, 200, 400});
    ResetPieces(&rows, kTotal);
    EXPECT_EQ(Ranges(rows), "0-400 ");
}

}  // namespace
}  // namespace qm::pieces
