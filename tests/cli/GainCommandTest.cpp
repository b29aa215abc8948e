// quillmere-cli's --gain, run as a process: a direct join lowered by whole global_gain steps
// and nothing else, and the outcome lines and JSON members of split and join with a gain.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>

#include "fixtures/Fixtures.h"
#include "stream/GranuleGainEdit.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// A second and a half of LAME's tone, without an Info frame.
std::filesystem::path WriteTone(const fx::TempDir& dir, const std::string& name) {
    fx::WriteFileBytes(dir / name, fx::EncodeMp3(fx::StreamSpec(1.5, fx::Signal::Tone)));
    return dir / name;
}

// The root mean square of the decoded samples, every channel together.
double DecodedRms(const std::filesystem::path& path) {
    const fx::Decoded decoded = fx::DecodeWithMpg123(path, /*keepPcm=*/true);
    EXPECT_TRUE(decoded.ok) << path;
    double sum = 0;
    for (const std::int16_t sample : decoded.pcm) sum += double(sample) * double(sample);
    return decoded.pcm.empty() ? 0.0 : std::sqrt(sum / double(decoded.pcm.size()));
}

// The file with each granule's global_gain in its audio frames (all but the Xing/Info frame at
// its head) moved by steps, held at 0.
fx::Bytes Stepped(fx::Bytes file, int steps) {
    const std::vector<fx::FrameSpan> frames = fx::WalkFrames(file, 0);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const std::span<std::uint8_t> frame(file.data() + frames[i].offset, frames[i].bytes);
        Layer3SideInfo side;
        EXPECT_TRUE(Layer3SideInfoOf(frame, DecodeMp3FrameHeader(frame.data()), &side)) << "frame " << i;
        for (int run = 0; run < side.granuleCount * side.channelCount; ++run) {
            const int bit = side.byteOffset * 8 + side.GlobalGainBit(run / side.channelCount, run % side.channelCount);
            WriteBits(frame.data(), bit, 8, std::max(ReadBits(frame.data(), bit, 8) + steps, 0));
        }
    }
    return file;
}

// join --gain -6 of two files copies their frames and lowers what a decoder makes of them by
// 6.0 dB: each audio frame keeps its size and every bit but its granules' global_gain, each 4
// steps (of 1.505 dB) lower, and the outcome line ends with the gain applied.
TEST(GainCommand, JoinLowersTheDecodedLevelBySixDecibels) {
    fx::TempDir dir;
    const auto a = WriteTone(dir, "a.mp3");
    const auto b = WriteTone(dir, "b.mp3");
    const auto plain = dir / "plain.mp3";
    const auto lowered = dir / "lowered.mp3";
    ASSERT_EQ(fx::RunProgram(fx::CliPath(), {"join", "-o", plain.string(), a.string(), b.string()}).exitCode, 0);
    const fx::RunResult run =
        fx::RunProgram(fx::CliPath(), {"join", "--gain", "-6", "-o", lowered.string(), a.string(), b.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, lowered.string() + ": 2 files joined by copying their frames, gain -6.0 dB\n  " +
                           lowered.string() + "\n");

    EXPECT_NEAR(20.0 * std::log10(DecodedRms(lowered) / DecodedRms(plain)), -6.0, 0.1);
    const fx::Bytes before = fx::ReadFileBytes(plain);
    ASSERT_GT(fx::WalkFrames(before, 0).size(), 100u);
    EXPECT_TRUE(fx::ReadFileBytes(lowered) == Stepped(before, -4))
        << "each granule's global_gain is not 4 steps lower, or something else changed";
}

// What each command with --gain tells: the outcome line with the gain applied (whole steps
// where frames are copied or cut directly, the gain asked where they are re-encoded) and the
// granules held at the top of their range when there are any, no word of a gain without
// --gain, and the same as members of the --json record. A gain outside -100..+100 dB is a
// usage error.
TEST(GainCommand, OutcomesTellTheGainApplied) {
    struct Case {
        const char* name;
        std::vector<std::string> args;  // OUT, A and B stand for paths
        const char* output;             // a pattern of the output; {OUT} or {A} stands for a path
        int exitCode = 0;
    };
    const std::vector<Case> cases = {
        {"direct join, nearest whole steps",
         {"join", "--gain", "2.5", "-o", "OUT", "A", "B"},
         "^{OUT}: 2 files joined by copying their frames, gain 3\\.0 dB\n"},
        {"direct join raised past the top",
         {"join", "--gain", "100", "-o", "OUT", "A", "B"},
         "^{OUT}: 2 files joined by copying their frames, gain 99\\.3 dB, [0-9]+ granules held at the top of their "
         "range\n"},
        {"re-encoded join, the gain asked",
         {"join", "--reencode", "--gain", "-2.5", "-o", "OUT", "A", "B"},
         "^{OUT}: 2 files re-encoded at 44100 Hz, 128 kbps, joint, gain -2\\.5 dB\n"},
        {"batch join",
         {"join", "--batch", "--append", "--with", "B", "--gain", "-6", "--", "A"},
         "^{A}: a_joined\\.mp3, gain -6\\.0 dB\n"},
        {"join without a gain", {"join", "-o", "OUT", "A", "B"}, "^{OUT}: 2 files joined by copying their frames\n"},
        {"split", {"split", "--count", "2", "--gain", "-6", "A"}, "^{A}\t2 piece\\(s\\), gain -6\\.0 dB\t"},
        {"json",
         {"join", "--json", "--gain", "-6", "-o", "OUT", "A", "B"},
         "\"join\":\"copied\",\"gainDb\":-6\\.0,\"clampedGranules\":0\\}\n"},
        {"above the range", {"join", "--gain", "100.1", "-o", "OUT", "A", "B"}, "", 2},
        {"below the range", {"join", "--gain", "-101", "-o", "OUT", "A", "B"}, "", 2},
        {"no number", {"join", "--gain", "loud", "-o", "OUT", "A", "B"}, "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        const std::map<std::string, std::string> paths = {{"OUT", (dir / "out.mp3").string()},
                                                          {"A", WriteTone(dir, "a.mp3").string()},
                                                          {"B", WriteTone(dir, "b.mp3").string()}};
        std::vector<std::string> args;
        std::string pattern = c.output;
        for (const std::string& arg : c.args) args.push_back(paths.count(arg) ? paths.at(arg) : arg);
        for (const auto& [name, path] : paths) {
            if (const auto at = pattern.find("{" + name + "}"); at != std::string::npos)
                pattern.replace(at, name.size() + 2, path);
        }
        const fx::RunResult run = fx::RunProgram(fx::CliPath(), args);
        ASSERT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(pattern))) << run.out;
    }
}

}  // namespace
}  // namespace qm
