// The kit's song for the splitting tests and the decoded length it checks pieces by.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"

namespace qm::fixtures {
namespace {

// The song lies where asked, starts with LAME's Info frame and decodes to its length; a noise
// song is told apart from a tone one of the same length.
TEST(Songs, MakeSongWritesATaggedLengthOfAudio) {
    TempDir dir;
    const auto tone = MakeSong(dir, "tone.mp3", 1.5);
    const auto noise = MakeSong(dir, "noise.mp3", 1.5, Signal::Noise);
    EXPECT_EQ(tone, dir / "tone.mp3");
    const Bytes bytes = ReadFileBytes(tone);
    const auto frames = WalkFrames(bytes, 0);
    ASSERT_FALSE(frames.empty());
    // 66150 samples, LAME's delay of 576 before them and its padding to a whole frame after
    // them: 59 frames of 1152 samples after the Info frame.
    EXPECT_EQ(frames.size() - 1, 59u);
    EXPECT_NEAR(DecodedSeconds(tone), 1.5, 1e-9);
    EXPECT_NE(bytes, ReadFileBytes(noise));
}

// A file cut in the middle of a frame decodes with an error: refused by default, let pass
// when errors are allowed; a file that does not decode at all always fails.
TEST(Songs, DecodedSecondsChecksTheDecode) {
    TempDir dir;
    Bytes cut = ReadFileBytes(MakeSong(dir, "whole.mp3", 1.0));
    cut.resize(cut.size() / 2 + 7);
    cut.insert(cut.end(), 600, 0x00);
    const Bytes rest = ReadFileBytes(dir / "whole.mp3");
    cut.insert(cut.end(), rest.begin() + static_cast<std::ptrdiff_t>(rest.size() / 2), rest.end());
    WriteFileBytes(dir / "cut.mp3", cut);
    const Decoded decoded = DecodeWithMpg123(dir / "cut.mp3");
    ASSERT_GT(decoded.errors, 0) << "the damage must show for this test to mean anything";

    EXPECT_NONFATAL_FAILURE(DecodedSeconds(dir / "cut.mp3"), "decoded.errors");
    EXPECT_NEAR(DecodedSeconds(dir / "cut.mp3", DecodeErrors::Allowed), static_cast<double>(decoded.samples) / 44100.0,
                1e-9);
    WriteFileBytes(dir / "empty.mp3", {});
    EXPECT_NONFATAL_FAILURE(DecodedSeconds(dir / "empty.mp3", DecodeErrors::Allowed), "decoded.ok");
}

}  // namespace
}  // namespace qm::fixtures
