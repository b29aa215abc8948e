#pragma once

// The hand-made pieces of the manual splitter page and the edits its buttons make. The
// pieces always cover the whole file in order without gaps or overlaps: the first starts at
// 0, each starts where the previous one ends and the last ends at the file's length. Every
// position is in tenths of a second. A piece whose start or end moves forgets its output.

#include <vector>

#include "split/PagePlanners.h"

namespace qm::pieces {

// The first piece with start <= tenths <= end, or -1.
int FindPiece(const std::vector<PieceRow>& pieces, int tenths);

// Cuts the piece holding tenths in two there: it now ends at tenths and a new checked piece
// runs from tenths to its old end, right after it (with no pieces, one piece from tenths to
// totalTenths). Returns the new piece's index, or -1 when tenths already is a boundary.
int AddSplitPoint(std::vector<PieceRow>* pieces, int tenths, int totalTenths);

enum class BoundaryOutcome {
    Moved,
    Unchanged,       // the boundary already lies there
    StartNotBefore,  // a start at or after the piece's end
    EndNotAfter,     // an end at or before the piece's start
};

struct BoundaryMove {
    BoundaryOutcome outcome = BoundaryOutcome::Unchanged;
    int selected = -1;  // the index of the piece that is selected afterwards
};

// Moves the start of piece `selected` to tenths: the pieces it passes over are removed and
// the one it lands in is shortened; on the first piece a new piece starts at tenths instead.
BoundaryMove SetStart(std::vector<PieceRow>* pieces, int selected, int tenths, int totalTenths);
// Moves the end of piece `selected` to tenths: the pieces it passes over are removed and the
// one it lands in starts later; on the last piece a new tail piece starts at tenths instead.
BoundaryMove SetEnd(std::vector<PieceRow>* pieces, int selected, int tenths, int totalTenths);

// Moves the boundary between piece `boundary` and the one after it to ms, finer than tenths:
// that piece now ends exactly there (its exactEnd) and the next one starts there. ms must lie
// after the piece's start and before the next one's end. Both forget their outputs.
void MoveBoundaryTo(std::vector<PieceRow>* pieces, int boundary, Millis ms);
// Where each boundary lies in ms: the ends of every piece but the last, exact ends included.
std::vector<Millis> BoundariesMillis(const std::vector<PieceRow>& pieces);

// Removes piece index (of two or more) and gives its range to a neighbour: the previous
// piece, or the next one when index is the first. Returns the neighbour's index afterwards.
int RemovePiece(std::vector<PieceRow>* pieces, int index);

// Keeps only the first piece, running to totalTenths.
void ResetPieces(std::vector<PieceRow>* pieces, int totalTenths);

}  // namespace qm::pieces
