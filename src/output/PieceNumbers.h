#pragma once

// The numbers that name and title one piece of a split.

namespace qm {

// Piece `piece` of `total` (the %P% and %T% of the templates), the run's general sequence
// number (%S%, which runs on across the files of a batch), and the digits the three numbers are
// padded to when a template is expanded (what 0 means is the template's: see Templates.h).
struct PieceNumbers {
    int piece = 1;
    int total = 1;
    int sequence = 1;
    int digits = 0;
};

}  // namespace qm
