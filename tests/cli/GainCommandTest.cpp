// quillmere-cli's --gain, run as a process: a direct join lowered by whole global_gain steps
// and nothing else, and the outcome lines and JSON members of split and join with a gain.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>

#include "fixtures/Fixtures.h"
#include "stream/GranuleGainEdit.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

std::filesystem::path WriteTone(const fx::TempDir& dir, const std::string& name, double toneHz) {
    fx::EncodeSpec spec = fx::StreamSpec(1.5, fx::Signal::Tone);
    spec.toneHz = toneHz;
    fx::WriteFileBytes(dir / name, fx::EncodeMp3(spec));
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

// The frame with every granule's global_gain field cleared.
fx::Bytes WithoutGains(fx::Bytes frame) {
    const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
    Layer3SideInfo side;
    if (!Layer3SideInfoOf(frame, header, &side)) return frame;
    for (int g = 0; g < side.granuleCount; ++g) {
        for (int c = 0; c < side.channelCount; ++c) {
            WriteBits(frame.data() + side.byteOffset, side.GlobalGainBit(g, c), 8, 0);
        }
    }
    return frame;
}

// join --gain -6 of two alike files copies their frames and lowers what a decoder makes of
// them by 6.0 dB (four steps of 1.505 dB): every frame keeps its size and every bit but its
// granules' global_gain, and the outcome line ends with the gain applied.
TEST(GainCommand, JoinLowersTheDecodedLevelBySixDecibels) {
    fx::TempDir dir;
    const auto a = WriteTone(dir, "a.mp3", 440.0);
    const auto b = WriteTone(dir, "b.mp3", 550.0);
    const auto plain = dir / "plain.mp3";
    const auto lowered = dir / "lowered.mp3";
    ASSERT_EQ(fx::RunProgram(fx::CliPath(), {"join", "-o", plain.string(), a.string(), b.string()}).exitCode, 0);
    const fx::RunResult run =
        fx::RunProgram(fx::CliPath(), {"join", "--gain", "-6", "-o", lowered.string(), a.string(), b.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, lowered.string() + ": 2 files joined by copying their frames, gain -6.0 dB\n  " +
                           lowered.string() + "\n");

    EXPECT_NEAR(20.0 * std::log10(DecodedRms(lowered) / DecodedRms(plain)), -6.0, 0.1);
    const fx::Bytes plainBytes = fx::ReadFileBytes(plain);
    const fx::Bytes loweredBytes = fx::ReadFileBytes(lowered);
    const std::vector<fx::FrameSpan> plainFrames = fx::WalkFrames(plainBytes, 0);
    const std::vector<fx::FrameSpan> loweredFrames = fx::WalkFrames(loweredBytes, 0);
    ASSERT_EQ(loweredFrames.size(), plainFrames.size());
    ASSERT_GT(plainFrames.size(), 100u);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < plainFrames.size(); ++i) {
        ASSERT_EQ(loweredFrames[i].offset, plainFrames[i].offset) << "frame " << i;
        const auto frameOf = [](const fx::Bytes& bytes, const fx::FrameSpan& span) {
            const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(span.offset);
            return fx::Bytes(begin, begin + span.bytes);
        };
        const fx::Bytes before = frameOf(plainBytes, plainFrames[i]);
        const fx::Bytes after = frameOf(loweredBytes, loweredFrames[i]);
        EXPECT_EQ(WithoutGains(after), WithoutGains(before)) << "frame " << i;
        changed += after != before;
    }
    EXPECT_EQ(changed, plainFrames.size() - 1) << "every frame but the Xing/Info frame at the head is lowered";
}

// The outcome line and the JSON record of each command with --gain: the gain applied (whole
// steps where frames are copied or cut directly, the gain asked where they are re-encoded),
// the granules held at the top of their range when there are any, and no word of a gain
// without --gain.
TEST(GainCommand, OutcomesTellTheGainApplied) {
    struct Case {
        const char* name;
        std::vector<std::string> args;  // OUT, A and B stand for paths
        const char* outcome;            // a pattern of the outcome line; {OUT}, {A} and {B} stand for paths
    };
    const std::vector<Case> cases = {
        {"direct join, nearest whole steps",
         {"join", "--gain", "2.5", "-o", "OUT", "A", "B"},
         "{OUT}: 2 files joined by copying their frames, gain 3\\.0 dB\n"},
        {"direct join raised past the top",
         {"join", "--gain", "100", "-o", "OUT", "A", "B"},
         "{OUT}: 2 files joined by copying their frames, gain 99\\.3 dB, [0-9]+ granules held at the top of their "
         "range\n"},
        {"re-encoded join, the gain asked",
         {"join", "--reencode", "--gain", "-2.5", "-o", "OUT", "A", "B"},
         "{OUT}: 2 files re-encoded at 44100 Hz, 128 kbps, joint, gain -2\\.5 dB\n"},
        {"batch join",
         {"join", "--batch", "--append", "--with", "B", "--gain", "-6", "--", "A"},
         "{A}: a_joined\\.mp3, gain -6\\.0 dB\n"},
        {"join without a gain", {"join", "-o", "OUT", "A", "B"}, "{OUT}: 2 files joined by copying their frames\n"},
        {"split", {"split", "--count", "2", "--gain", "-6", "A"}, "{A}\t2 piece\\(s\\), gain -6\\.0 dB\t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        const std::map<std::string, std::string> paths = {{"OUT", (dir / "out.mp3").string()},
                                                          {"A", WriteTone(dir, "a.mp3", 440.0).string()},
                                                          {"B", WriteTone(dir, "b.mp3", 550.0).string()}};
        std::vector<std::string> args;
        std::string pattern = c.outcome;
        for (const std::string& arg : c.args) args.push_back(paths.count(arg) ? paths.at(arg) : arg);
        for (const auto& [name, path] : paths) {
            for (std::size_t at; (at = pattern.find("{" + name + "}")) != std::string::npos;) {
                pattern.replace(at, name.size() + 2, path);
            }
        }
        const fx::RunResult run = fx::RunProgram(fx::CliPath(), args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string firstLine = run.out.substr(0, run.out.find('\n') + 1);
        EXPECT_TRUE(std::regex_search(firstLine, std::regex("^" + pattern))) << run.out;
    }
}

// --json carries the gain applied and the granules held as members of the record; a gain
// outside -100..+100 dB is a usage error.
TEST(GainCommand, JsonMembersAndRange) {
    fx::TempDir dir;
    const auto a = WriteTone(dir, "a.mp3", 440.0);
    const auto b = WriteTone(dir, "b.mp3", 550.0);
    const auto out = dir / "out.mp3";
    const fx::RunResult run =
        fx::RunProgram(fx::CliPath(), {"join", "--json", "--gain", "-6", "-o", out.string(), a.string(), b.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"join\":\"copied\",\"gainDb\":-6.0,\"clampedGranules\":0}"), std::string::npos) << run.out;
    for (const char* gain : {"100.1", "-101", "loud"}) {
        SCOPED_TRACE(gain);
        const fx::RunResult refused =
            fx::RunProgram(fx::CliPath(), {"join", "--gain", gain, "-o", out.string(), a.string(), b.string()});
        EXPECT_EQ(refused.exitCode, 2);
    }
}

}  // namespace
}  // namespace qm
