#include "ui/pages/SplitterPieces.h"

namespace qm::pieces {

namespace {

void SetRange(PieceRow* piece, int startTenths, int endTenths) {
    if (piece->startTenths == startTenths && piece->endTenths == endTenths) return;
    piece->startTenths = startTenths;
    piece->endTenths = endTenths;
    piece->outputPath.clear();
}

void Erase(std::vector<PieceRow>* pieces, int first, int last) {
    if (first >= last) return;
    pieces->erase(pieces->begin() + first, pieces->begin() + last);
}

}  // namespace

int FindPiece(const std::vector<PieceRow>& pieces, int tenths) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].startTenths <= tenths && tenths <= pieces[i].endTenths) return static_cast<int>(i);
    }
    return -1;
}

int AddSplitPoint(std::vector<PieceRow>* pieces, int tenths, int totalTenths) {
    const int found = FindPiece(*pieces, tenths);
    PieceRow added;
    added.startTenths = tenths;
    added.endTenths = totalTenths;
    if (found < 0) {
        pieces->insert(pieces->begin(), added);
        return 0;
    }
    PieceRow& holder = (*pieces)[static_cast<std::size_t>(found)];
    if (tenths == holder.startTenths || tenths == holder.endTenths) return -1;
    added.endTenths = holder.endTenths;
    SetRange(&holder, holder.startTenths, tenths);
    pieces->insert(pieces->begin() + found + 1, added);
    return found + 1;
}

BoundaryMove SetStart(std::vector<PieceRow>* pieces, int selected, int tenths, int totalTenths) {
    std::vector<PieceRow>& list = *pieces;
    const PieceRow& piece = list[static_cast<std::size_t>(selected)];
    if (tenths == piece.startTenths) return {BoundaryOutcome::Unchanged, selected};
    if (tenths >= piece.endTenths) return {BoundaryOutcome::StartNotBefore, selected};

    const int found = FindPiece(list, tenths);
    if (found == selected && selected == 0) {
        // The first piece always starts at 0: the position cuts it instead, and the part
        // after the cut is the piece chosen.
        return {BoundaryOutcome::Moved, AddSplitPoint(pieces, tenths, totalTenths)};
    }
    int first = found;  // the first piece to remove before the selected one
    if (found < selected) {
        PieceRow& landing = list[static_cast<std::size_t>(found)];
        if (landing.startTenths < tenths) {
            SetRange(&landing, landing.startTenths, tenths);
            first = found + 1;
        }
        Erase(pieces, first, selected);
        selected = first;
    } else {
        PieceRow& previous = list[static_cast<std::size_t>(selected - 1)];
        SetRange(&previous, previous.startTenths, tenths);
    }
    PieceRow& moved = list[static_cast<std::size_t>(selected)];
    SetRange(&moved, tenths, moved.endTenths);
    return {BoundaryOutcome::Moved, selected};
}

BoundaryMove SetEnd(std::vector<PieceRow>* pieces, int selected, int tenths, int totalTenths) {
    std::vector<PieceRow>& list = *pieces;
    const PieceRow& piece = list[static_cast<std::size_t>(selected)];
    if (tenths <= piece.startTenths) return {BoundaryOutcome::EndNotAfter, selected};
    if (tenths == piece.endTenths) return {BoundaryOutcome::Unchanged, selected};

    const int found = FindPiece(list, tenths);
    const int last = static_cast<int>(list.size()) - 1;
    if (found == selected && selected == last) {
        // The last piece always ends at the end of the file: the position cuts it, and a
        // new tail piece takes the rest.
        AddSplitPoint(pieces, tenths, totalTenths);
        return {BoundaryOutcome::Moved, selected};
    }
    if (found == selected) {
        PieceRow& next = list[static_cast<std::size_t>(selected + 1)];
        SetRange(&next, tenths, next.endTenths);
    } else if (found > selected) {
        PieceRow& landing = list[static_cast<std::size_t>(found)];
        int end = found;  // one past the last piece to remove after the selected one
        if (tenths < landing.endTenths) {
            SetRange(&landing, tenths, landing.endTenths);
        } else {
            end = found + 1;
        }
        Erase(pieces, selected + 1, end);
    }
    PieceRow& moved = list[static_cast<std::size_t>(selected)];
    SetRange(&moved, moved.startTenths, tenths);
    return {BoundaryOutcome::Moved, selected};
}

void MoveBoundaryTo(std::vector<PieceRow>* pieces, int boundary, Millis ms) {
    PieceRow& before = (*pieces)[static_cast<std::size_t>(boundary)];
    PieceRow& after = (*pieces)[static_cast<std::size_t>(boundary) + 1];
    if (before.EndMillis() == ms) return;
    const int tenths = MillisToTenths(ms);
    SetRange(&before, before.startTenths, tenths);
    before.exactEnd = ms;
    before.outputPath.clear();
    SetRange(&after, tenths, after.endTenths);
    after.outputPath.clear();
}

std::vector<Millis> BoundariesMillis(const std::vector<PieceRow>& pieces) {
    std::vector<Millis> boundaries;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) boundaries.push_back(pieces[i].EndMillis());
    return boundaries;
}

int RemovePiece(std::vector<PieceRow>* pieces, int index) {
    std::vector<PieceRow>& list = *pieces;
    const PieceRow removed = list[static_cast<std::size_t>(index)];
    int neighbour = 0;
    if (index > 0) {
        PieceRow& previous = list[static_cast<std::size_t>(index - 1)];
        SetRange(&previous, previous.startTenths, removed.endTenths);
        neighbour = index - 1;
    } else {
        PieceRow& next = list[1];
        SetRange(&next, removed.startTenths, next.endTenths);
    }
    list.erase(list.begin() + index);
    return neighbour;
}

void ResetPieces(std::vector<PieceRow>* pieces, int totalTenths) {
    if (pieces->empty()) return;
    pieces->resize(1);
    PieceRow& first = pieces->front();
    SetRange(&first, first.startTenths, totalTenths);
}

}  // namespace qm::pieces
