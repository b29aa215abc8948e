#pragma once

// The direct split engine: frames are copied byte for byte.

#include <cstdint>
#include <filesystem>

#include <span>

#include "split/PieceLevels.h"
#include "split/SplitEngine.h"

namespace qm {

// Copies whole frames into each piece, with a copy of the source's Xing/Info frame (brought
// up to date for the piece) ahead of them. Fades and a volume change step the granules'
// global gain of the frames they touch (PieceLevels); nothing else of a frame changes.
class DirectSplitter final : public SplitEngine {
public:
    void SetFadeIn(bool enabled, int tenths) override { m_fadeInTenths = enabled ? tenths : 0; }
    void SetFadeOut(bool enabled, int tenths) override { m_fadeOutTenths = enabled ? tenths : 0; }
    const GainEditCount& LevelCounts() const override { return m_levels.Counts(); }

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
    // Writes a frame to the piece and its Xing/Info frame: one the levels edited from memory,
    // one as the source holds it with the run of frames it belongs to. False as WritePieceBytes.
    [[nodiscard]] bool EmitFrame(Piece& piece, std::span<const std::uint8_t> frame, std::uint64_t sourceOffset,
                                 bool edited);
    // The samples a player skips of the piece and plays of it, as its rebuilt Xing/Info frame
    // will declare them.
    std::int64_t SkippedSamples(const Piece& piece) const;
    std::int64_t PlayedSamples(const Piece& piece) const;
    // Copies the pending run of source frames into the piece; false as WritePieceBytes.
    [[nodiscard]] bool CopyRun(Piece& piece);
    [[nodiscard]] bool CopyLeadIn(Piece& piece);
    bool CopyOwnFrames(Piece& piece, const PieceLimit& limit, bool* endReached);
    [[nodiscard]] bool CopyTail(Piece& piece);
    bool FinishPiece(Piece& piece);
    [[nodiscard]] bool LeaveOutEmptyPiece();
    bool Fail();

    int m_fadeInTenths = 0;
    int m_fadeOutTenths = 0;
    PieceLevels m_levels;
};

}  // namespace qm
