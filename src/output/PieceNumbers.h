#pragma once

// The numbers that name and title one piece of a split, and what its mark says of it.

#include <string>

namespace qm {

// What the mark of a piece says of it (a cue sheet's track, a chapter, a label, a pause): its
// own title (%C%) and performer (%R%), empty where it says nothing, and its track number (0:
// none). `titled` is set for every piece of a plan whose marks bring titles: such pieces are
// named and titled from them where the templates are the default ones.
struct PieceMarkText {
    std::string title;
    std::string performer;
    int track = 0;
    bool titled = false;
};

// Piece `piece` of `total` (the %P% and %T% of the templates), the run's general sequence
// number (%S%, which runs on across the files of a batch), and the digits the three numbers are
// padded to when a template is expanded (what 0 means is the template's: see Templates.h).
struct PieceNumbers {
    int piece = 1;
    int total = 1;
    int sequence = 1;
    int digits = 0;
    PieceMarkText mark{};
};

}  // namespace qm
