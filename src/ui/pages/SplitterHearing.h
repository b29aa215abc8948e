#pragma once

// What the manual splitter writes to let the user hear the cut before splitting: the two
// sides of one boundary ("Play Seam") or every piece the split would write ("Play Pieces"),
// written by the split engine itself into a folder of the caller's, and where in the source
// each moment of those files comes from. Plain rules over the page's rows; no widgets.

#include <filesystem>
#include <vector>

#include "progress/RunResult.h"
#include "settings/Options.h"
#include "split/PagePlanners.h"
#include "split/SplitInputs.h"
#include "split/SplitPlanners.h"

namespace qm::hearing {

// How much of each side of a boundary "Play Seam" plays.
inline constexpr Millis kSeamSideMillis = 2000;

// Which end of a piece a stretch of the seam is.
enum class Side { EndOfPieceBefore, StartOfPieceAfter };

// One stretch of the source written as part of a piece: its own audio [begin, end) in ms
// from the start of the source. wholePiece: the stretch is its piece from start to end, so
// both of the piece's ends (and their fades and overlaps) are in it.
struct Stretch {
    Millis begin = 0;
    Millis end = 0;
    Side side = Side::EndOfPieceBefore;
    bool wholePiece = false;
    friend bool operator==(const Stretch&, const Stretch&) = default;
};

// The stretches "Play Seam" writes at the boundary of rows nearest to boundaryMs: the last
// kSeamSideMillis of the piece that ends there, then the first kSeamSideMillis of the piece
// that begins there. A piece is taken whole where it is no longer than that plus the fade of
// its other end (options' tenths), so that a fade reaching into the stretch sounds as it will.
// At the first start or the last end only the side that exists; a side without audio is left
// out. Empty without rows.
std::vector<Stretch> SeamStretches(const std::vector<PieceRow>& rows, Millis boundaryMs,
                                   const SplitterOptions& options);

// The options a stretch is written with: options, less the fade and the overlap of the
// piece's end that the stretch does not reach (fade-in and lead-in overlap belong to a
// piece's start, fade-out and tail overlap to its end).
SplitterOptions StretchOptions(const SplitterOptions& options, const Stretch& stretch);

// Rows of a file lasting durationTenths whose one checked row is the stretch, with an
// unchecked row before it when it begins after 0 and one after it when it ends before the
// file does; the rows end to the millisecond where the stretch does.
std::vector<PieceRow> RowsOfStretch(const Stretch& stretch, int durationTenths);

// One file written to be heard, and the source time its last sample comes from (the end of
// its own audio and of its tail overlap): the file's audio maps back from there, so the
// frames a direct piece repeats at its start stand before its begin.
struct HeardFile {
    std::filesystem::path path;
    Millis sourceEndMs = 0;
};

// Writes the stretches into folder as "seam-1.mp3", "seam-2.mp3" (in order), one plan each
// over RowsOfStretch with StretchOptions of *base.options. *heard lists the files written.
// Failed with the planner's message, or cancelled (nothing is left in folder then).
RunResult WriteSeam(const SplitPlanContext& base, const page_plans::PageSource& source,
                    const std::vector<Stretch>& stretches, const std::filesystem::path& folder,
                    std::vector<HeardFile>* heard);

// Writes what "Split Now!" would write for inputs and rows (a copy: the page's rows keep
// their outputs), but into folder as "piece-1.mp3", "piece-2.mp3", ... by piece number.
// *heard lists the files written, in order.
RunResult WritePieces(const SplitPlanContext& base, const SplitInputs& inputs, const page_plans::PageSource& source,
                      std::vector<PieceRow> rows, const std::filesystem::path& folder, std::vector<HeardFile>* heard);

// One file as it plays within the files played back to back: where it starts and how long
// it lasts in what is heard, and the source time of its end.
struct HeardPart {
    Millis playStartMs = 0;
    Millis lengthMs = 0;
    Millis sourceEndMs = 0;
};

// The source time, in ms, of the moment playedMs of the files played back to back: within
// the part that plays then, as far before the part's source end as the part has left to
// play. Never below 0; before the first part or past the last, that part's first or last
// moment. 0 without parts.
Millis SourceMillisAt(const std::vector<HeardPart>& parts, Millis playedMs);

}  // namespace qm::hearing
