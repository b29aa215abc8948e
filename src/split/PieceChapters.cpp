#include "split/PieceChapters.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace qm {
namespace {

// Where a chapter ends: its own end, or, when that is not after its start (some taggers mark
// only where a chapter begins), the start of the next chapter in time; the end of the audio
// for the last.
Millis ChapterEnd(const std::vector<Chapter>& source, const Chapter& chapter) {
    if (chapter.endMs > chapter.startMs) return chapter.endMs;
    Millis next = std::numeric_limits<Millis>::max();
    for (const Chapter& other : source) {
        if (other.startMs > chapter.startMs) next = std::min<Millis>(next, other.startMs);
    }
    return next;
}

}  // namespace

std::vector<Chapter> ChaptersInPiece(const std::vector<Chapter>& source, Millis pieceBegin, Millis pieceEnd) {
    std::vector<Chapter> inPiece;
    for (const Chapter& chapter : source) {
        const Millis begin = std::max<Millis>(chapter.startMs, pieceBegin);
        const Millis end = std::min(ChapterEnd(source, chapter), pieceEnd);
        // Empty once cut to the piece: outside it, or touching one of its edges.
        if (end <= begin) continue;
        Chapter moved;
        moved.id = chapter.id;
        moved.title = chapter.title;
        // Within 0..pieceEnd - pieceBegin, which a piece's length in ms keeps in 32 bits.
        moved.startMs = static_cast<std::uint32_t>(begin - pieceBegin);
        moved.endMs = static_cast<std::uint32_t>(end - pieceBegin);
        inPiece.push_back(std::move(moved));
    }
    return inPiece;
}

}  // namespace qm
