// --verify on quillmere-cli split and join, run as a process: every good output of every kind
// passes its check, the outcome lines and JSON stay those of a run without it, and the option
// is refused where it has no meaning.

#include <gtest/gtest.h>

#include <set>

#include "fixtures/Fixtures.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
namespace fx = qm::fixtures;

fx::RunResult Cli(const std::vector<std::string>& args) { return fx::RunProgram(fx::CliPath(), args); }

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

// Splits with --verify, direct and re-encoded, by every kind of plan: the pieces are checked
// and in place, and the outcome is as without the check.
TEST(VerifyOption, SplitPassesEveryGoodPiece) {
    const std::vector<std::vector<std::string>> cases{
        {"--count", "3"},
        {"--time", "2.5"},
        {"--size", "40KB"},
        {"--points", "1.5,4"},
        {"--count", "3", "--lead-in", "0.5", "--tail", "0.5"},
        {"--count", "3", "--reencode"},
        {"--count", "3", "--reencode", "--rate", "22050", "--bitrate", "64", "--channels", "mono"},
        {"--count", "3", "--fade-in", "1", "--fade-out", "1"},
    };
    for (const std::vector<std::string>& mode : cases) {
        SCOPED_TRACE(mode[0] + " " + mode[1] + (mode.size() > 2 ? " " + mode[2] : ""));
        fx::TempDir dir;
        const std::string song = fx::MakeSong(dir, "song.mp3", 6.0).string();
        std::vector<std::string> args{"split", "--verify"};
        args.insert(args.end(), mode.begin(), mode.end());
        args.push_back(song);
        const fx::RunResult run = Cli(args);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(run.out.find("Failure"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.rfind(song + "\t3 piece(s)\t", 0), 0U) << run.out;
        EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"song.mp3", "song-1.mp3", "song-2.mp3", "song-3.mp3"}));
    }
}

// The JSON of a verified split is that of any split: done, with its outputs.
TEST(VerifyOption, SplitJsonIsUnchanged) {
    fx::TempDir dir;
    const std::string song = fx::MakeSong(dir, "song.mp3", 4.0).string();
    const fx::RunResult run = Cli({"split", "--verify", "--json", "--count", "2", song});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"status\":\"done\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("song-2.mp3\"]"), std::string::npos) << run.out;
}

// Joins with --verify: direct (same and mixed bit rates, the pieces of a split) and
// re-encoded (chosen values), and the batch form.
TEST(VerifyOption, JoinPassesEveryGoodOutput) {
    fx::TempDir dir;
    fx::EncodeSpec spec;
    spec.seconds = 2.0;
    spec.xing = fx::XingFrame::Yes;
    fx::WriteFileBytes(dir / "a.mp3", fx::EncodeMp3(spec));
    spec.kbps = 192;
    fx::WriteFileBytes(dir / "b.mp3", fx::EncodeMp3(spec));
    spec.sampleRateHz = 48000;
    fx::WriteFileBytes(dir / "c.mp3", fx::EncodeMp3(spec));
    const std::string song = fx::MakeSong(dir, "song.mp3", 6.0).string();
    ASSERT_EQ(Cli({"split", "--count", "3", song}).exitCode, 0);
    const auto in = [&dir](const char* name) { return (dir / name).string(); };
    const std::vector<std::vector<std::string>> cases{
        {"join", "--verify", "-o", in("ab.mp3"), in("a.mp3"), in("b.mp3")},
        {"join", "--verify", "-o", in("ac.mp3"), in("a.mp3"), in("c.mp3")},
        {"join", "--verify", "-o", in("pieces.mp3"), in("song-1.mp3"), in("song-2.mp3"), in("song-3.mp3")},
        {"join", "--verify", "--rate", "32000", "--bitrate", "96", "--channels", "mono", "-o", in("mono.mp3"),
         in("a.mp3"), in("c.mp3")},
        {"join", "--verify", "--batch", "--append", "--with", in("b.mp3"), "--", in("a.mp3")},
    };
    for (const std::vector<std::string>& args : cases) {
        SCOPED_TRACE(args[args.size() - 1]);
        const fx::RunResult run = Cli(args);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(run.out.find("failure"), std::string::npos) << run.out;
    }
    for (const char* name : {"ab.mp3", "ac.mp3", "pieces.mp3", "mono.mp3", "a_joined.mp3"}) {
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
}

// --verify belongs to split and join only.
TEST(VerifyOption, UsageErrors) {
    fx::TempDir dir;
    const std::string song = fx::MakeSong(dir, "song.mp3", 1.0).string();
    EXPECT_EQ(Cli({"info", "--verify", song}).exitCode, 2);
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"song.mp3"});
}

}  // namespace
}  // namespace qm
