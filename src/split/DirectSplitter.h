#pragma once

// The direct split engine: frames are copied byte for byte.

#include <cstdint>
#include <filesystem>

#include "split/SplitEngine.h"

namespace qm {

// Copies whole frames into each piece, with a copy of the source's Xing/Info frame (brought
// up to date for the piece) ahead of them.
class DirectSplitter final : public SplitEngine {
public:
    void SetFadeIn(bool, int) override {}
    void SetFadeOut(bool, int) override {}

protected:
    [[nodiscard]] bool WritePiece(const std::filesystem::path& path, const PieceLimit& limit,
                                  const PieceNumbers& numbers, bool* endReached) override;

private:
    struct Piece;

    // Everything from the current position to the end of the source; its frames are not
    // recorded, as no piece follows.
    [[nodiscard]] bool WriteRest(const std::filesystem::path& path, const PieceNumbers& numbers);
    [[nodiscard]] bool BeginPiece(Piece& piece, const std::filesystem::path& path, const PieceNumbers& numbers);
    // What became of a frame handed to WriteFrame.
    enum class FrameWrite { Written, Skipped, Failed, SourceEnded };
    // Adds a frame read from the source to the piece: to its Xing/Info frame at once, to the
    // file with the run of frames it belongs to. A frame of another stream format than the
    // source's (a false sync in junk) is Skipped: nothing of it reaches the piece, and the
    // caller counts it nowhere. Failed as WritePieceBytes.
    [[nodiscard]] FrameWrite WriteFrame(Piece& piece, const std::uint8_t* frame, const Mp3FrameHeader& header);
    // Reads the source's next frame (*frame, *header) and adds it to the piece as WriteFrame
    // does; SourceEnded, with the piece marked so, when the source has no frame left.
    [[nodiscard]] FrameWrite CopyNextFrame(Piece& piece, const std::uint8_t** frame, Mp3FrameHeader* header);
    // Copies the pending run of source frames into the piece; false as WritePieceBytes.
    [[nodiscard]] bool CopyRun(Piece& piece);
    [[nodiscard]] bool CopyLeadIn(Piece& piece);
    bool CopyOwnFrames(Piece& piece, const PieceLimit& limit, bool* endReached);
    [[nodiscard]] bool CopyTail(Piece& piece);
    bool FinishPiece(Piece& piece);
    [[nodiscard]] bool LeaveOutEmptyPiece();
    bool Fail();
};

}  // namespace qm
