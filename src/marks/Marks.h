#pragma once

// Marks: where the pieces of a file begin and end, and what each one is called, as a cue
// sheet, a label file, the file's chapters or its pauses say. The split planners cut by them,
// the joiners write them.

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Milliseconds from the start of the audio: fine enough for a cue sheet's 1/75 s frames.
using Millis = std::int64_t;

// Where a mark's piece ends when nothing else says: where the next mark begins, or the end
// of the audio for the last one.
inline constexpr Millis kToNextMark = -1;

struct Mark {
    Millis begin = 0;
    Millis end = kToNextMark;  // after begin; the audio between end and the next begin is left out
    std::string title;         // the piece's own title (%C%); empty: none
    std::string performer;     // the piece's performer (%R%); empty: none
    int track = 0;             // the track number a cue sheet gives; 0: none
};

// The marks of one file, in order of their begin, and what a cue sheet says of the whole
// album (empty where it says nothing).
struct MarkList {
    std::vector<Mark> marks;
    std::string album;
    std::string performer;
    std::string genre;
    std::string year;

    bool Empty() const { return marks.empty(); }
};

// Tenths of a second (the unit of the pages' lengths) and milliseconds.
constexpr Millis TenthsToMillis(int tenths) { return static_cast<Millis>(tenths) * 100; }
constexpr int MillisToTenths(Millis ms) { return static_cast<int>(ms / 100); }

}  // namespace qm
