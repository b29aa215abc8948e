// quillmere-cli split with fades and without --reencode, run as a process: the pieces' frames
// are the source's with only the granules' global gain changed, their level follows the
// linear ramp in whole steps, and the faded pieces still join back frame for frame.

#include <gtest/gtest.h>

#include <cmath>

#include "fixtures/Fixtures.h"
#include "stream/GranuleGainEdit.h"
#include "stream/MpegHeader.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
namespace fx = qm::fixtures;

// A file's bytes after its ID3v2 tag.
fx::Bytes AfterTag(const fx::Bytes& bytes) {
    const std::uint64_t tag = bytes.size() >= kId3v2HeaderBytes ? Id3v2TagBytes(bytes.data(), Id3v2Footer::Count) : 0;
    return fx::Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(tag), bytes.end());
}

// The audio frames of a file (after its tag and its Xing/Info frame).
std::vector<fx::Bytes> AudioFrames(const fs::path& path) {
    const fx::Bytes bytes = AfterTag(fx::ReadFileBytes(path));
    std::vector<fx::Bytes> frames;
    for (const fx::FrameSpan& span : fx::WalkFrames(bytes, 0)) {
        frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(span.offset),
                            bytes.begin() + static_cast<std::ptrdiff_t>(span.offset + span.bytes));
    }
    if (!frames.empty()) frames.erase(frames.begin());
    return frames;
}

// Whether two frames of one size differ in the bits of their granules' global gain alone.
bool DifferOnlyInGlobalGain(fx::Bytes a, fx::Bytes b) {
    if (a.size() != b.size()) return false;
    const Mp3FrameHeader header = DecodeMp3FrameHeader(a.data());
    Layer3SideInfo side;
    if (!Layer3SideInfoOf(a, header, &side)) return false;
    for (int g = 0; g < side.granuleCount; ++g) {
        for (int c = 0; c < side.channelCount; ++c) {
            const int bit = side.byteOffset * 8 + side.GlobalGainBit(g, c);
            WriteBits(a.data(), bit, 8, 0);
            WriteBits(b.data(), bit, 8, 0);
        }
    }
    return a == b;
}

// RMS levels in dB of 100 ms windows of a file's decoded first channel, from its first
// sample on, or (fromEnd) back from its last.
std::vector<double> WindowLevels(const fs::path& path, bool fromEnd = false) {
    const fx::Decoded decoded = fx::DecodeWithMpg123(path, true);
    const std::size_t window = static_cast<std::size_t>(decoded.rateHz / 10);
    const std::size_t samples = decoded.pcm.size() / static_cast<std::size_t>(decoded.channels);
    std::vector<double> levels;
    for (std::size_t at = fromEnd ? samples % window : 0; at + window <= samples; at += window) {
        double sum = 0;
        for (std::size_t i = at; i < at + window; ++i) {
            const double v = decoded.pcm[i * decoded.channels] / 32768.0;
            sum += v * v;
        }
        levels.push_back(10.0 * std::log10(std::max(sum / window, 1e-20)));
    }
    return levels;
}

// The RMS in dB of a linear ramp's gain over window w of 100 ms, the ramp rising from 0 over
// fadeWindows windows.
double RampDb(std::size_t w, double fadeWindows) {
    double sum = 0;
    constexpr int kSteps = 100;
    for (int i = 0; i < kSteps; ++i) {
        const double g = std::min(1.0, (w + (i + 0.5) / kSteps) / fadeWindows);
        sum += g * g;
    }
    return 10.0 * std::log10(sum / kSteps);
}

TEST(LosslessFade, PiecesFadeByTheirGranulesGainAndJoinBack) {
    fx::TempDir dir;
    const fs::path song = fx::MakeSong(dir, "song.mp3", 12.0);
    const fx::RunResult split = fx::RunProgram(fx::CliPath(), {"split", "--count", "2", "--fade-in", "3", "--fade-out",
                                                               "3", "-o", (dir / "p").string(), song.string()});
    ASSERT_EQ(split.exitCode, 0) << split.out << split.err;
    const fs::path first = dir / "p" / "song-1.mp3";
    const fs::path second = dir / "p" / "song-2.mp3";

    // The second piece's frames are the source's from where it begins, gains aside.
    const std::vector<fx::Bytes> source = AudioFrames(song);
    const std::vector<fx::Bytes> piece = AudioFrames(second);
    const std::size_t start = source.size() - piece.size();
    std::size_t changed = 0;
    for (std::size_t k = 0; k < piece.size(); ++k) {
        ASSERT_TRUE(DifferOnlyInGlobalGain(piece[k], source[start + k])) << k;
        changed += piece[k] != source[start + k];
    }
    EXPECT_GT(changed, 200u);          // six seconds of fades
    EXPECT_LT(changed, piece.size());  // and the middle as it was

    // Its level rises and falls with the ramp, by whole steps, from near silence (the first
    // window's granules lie at -50 dB and below, where a step is most of the ramp's rise).
    const std::vector<double> rising = WindowLevels(second);
    const std::vector<double> falling = WindowLevels(second, true);
    const std::vector<double> reference = WindowLevels(song);
    ASSERT_GT(rising.size(), 55u);
    const double full = reference[reference.size() / 2];
    for (const auto& [level, end] : {std::pair{rising, 0u}, std::pair{falling, 1u}}) {
        for (std::size_t w = 0; w < 30; ++w) {
            const std::size_t at = end ? level.size() - 1 - w : w;
            if (w == 0) continue;
            EXPECT_NEAR(level[at], full + RampDb(w, 30.0), 1.5) << end << ", window " << w;
            EXPECT_GE(level[at], level[end ? at + 1 : at - 1] - 0.01) << end << ", window " << w;
        }
        EXPECT_LT(level[end ? level.size() - 1 : 0], full - 30.0);
        EXPECT_NEAR(level[end ? level.size() - 32 : 31], full, 0.5);
    }

    // Joined back, the pieces give the source's frame count: the repeated frames the step back
    // put at the second piece's start took the first piece's own changes and are left out.
    const fs::path joined = dir / "joined.mp3";
    ASSERT_EQ(fx::RunProgram(fx::CliPath(), {"join", "-o", joined.string(), first.string(), second.string()}).exitCode,
              0);
    EXPECT_EQ(AudioFrames(joined).size(), source.size());
}

}  // namespace
}  // namespace qm
