#pragma once

// The chapters of a source that a piece of it carries: those that fall inside the piece,
// timed from the piece's start.

#include <vector>

#include "marks/Marks.h"
#include "stream/Tags.h"

namespace qm {

// The chapters of source (a file's chapters, in their order) that overlap the piece whose
// played audio runs from pieceBegin to pieceEnd (ms of the source's played audio; pieceBegin
// is below 0 for a piece that plays the source's encoder delay as well), re-timed to the
// piece: a chapter inside it keeps its length and moves by pieceBegin, one cut by the piece's
// start begins at 0, one cut by its end ends at the piece's end. A chapter that does not
// overlap the piece, or only touches its edge, is left out. A chapter whose end is not after
// its start runs to the next chapter's start (or to the end of the audio), as when it becomes
// a mark. Ids and titles are kept; the byte offsets are kNoChapterOffset.
std::vector<Chapter> ChaptersInPiece(const std::vector<Chapter>& source, Millis pieceBegin, Millis pieceEnd);

}  // namespace qm
