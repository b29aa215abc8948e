// Joins whose output is checked before it is put in place: every good join passes, direct or
// re-encoded, and an output damaged after it was written fails the join by name, is deleted,
// and leaves the file it was to replace as it was.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "join/JoinKit.h"
#include "join/JoinList.h"
#include "split/BatchPlanners.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
namespace fx = qm::fixtures;

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

enum class Method { Direct, Reencode };

// The two songs of every case: a 44.1 kHz stereo file with LAME's Info frame, and a second
// one of the case's spec.
struct Case {
    const char* name;
    fx::EncodeSpec second;
    Method method;
    EncoderParams params;  // for Method::Reencode
};

fx::EncodeSpec SpecOf(int rateHz, int kbps, bool vbr, fx::XingFrame xing) {
    fx::EncodeSpec spec;
    spec.sampleRateHz = rateHz;
    spec.kbps = kbps;
    spec.vbr = vbr;
    spec.xing = xing;
    spec.seconds = 2.0;
    return spec;
}

const std::vector<Case> kCases{
    {"direct, same bit rate", SpecOf(44100, 128, false, fx::XingFrame::Yes), Method::Direct, {}},
    {"direct, 192 kbit/s VBR after 128", SpecOf(44100, 192, true, fx::XingFrame::Yes), Method::Direct, {}},
    {"direct, a source without Info frame", SpecOf(44100, 128, false, fx::XingFrame::No), Method::Direct, {}},
    {"re-encoded from 48 kHz",
     SpecOf(48000, 160, false, fx::XingFrame::Yes),
     Method::Reencode,
     {44100, 128, ChannelMode::JointStereo}},
    {"re-encoded to 22.05 kHz mono",
     SpecOf(44100, 128, false, fx::XingFrame::Yes),
     Method::Reencode,
     {22050, 64, ChannelMode::Mono}},
};

bool Join(JoinList& job, const Case& c, const fs::path& target) {
    fx::FakeOperation operation;
    return c.method == Method::Direct ? job.JoinDirect(target, operation.Get())
                                      : job.JoinReencode(target, c.params, operation.Get());
}

void AddSources(JoinList& job, const fx::TempDir& dir, const Case& c) {
    job.AddSource(joinkit::WriteMp3(dir, "a.mp3", SpecOf(44100, 128, false, fx::XingFrame::Yes)));
    job.AddSource(joinkit::WriteMp3(dir, "b.mp3", c.second));
}

// Every good join passes its check and is in place.
TEST(VerifiedJoin, GoodJoinsPass) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        JoinList job;
        AddSources(job, dir, c);
        job.SetVerifyOutput(true);
        EXPECT_TRUE(Join(job, c, dir / "joined.mp3")) << job.LastError();
        EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"a.mp3", "b.mp3", "joined.mp3"}));
    }
}

// The pieces of a split, joined back directly: the frames each piece repeats from the one
// before are left out by the join, and the output still holds exactly what it claims.
TEST(VerifiedJoin, PiecesOfASplitJoinedBackPass) {
    fx::TempDir dir;
    const fs::path song = fx::MakeSong(dir, "song.mp3", 6.0);
    SplitterOptions options;
    fx::FakeOperation operation;
    SplitPlanContext context;
    context.options = &options;
    context.operation = operation.Get();
    context.resolve = MakeSplitOutputResolver(options);
    context.verifyOutputs = true;
    batch_plans::BatchEntry entry{song, 6, {}};
    int sequence = 1;
    std::string message;
    ASSERT_EQ(batch_plans::PlanByCount(context, &entry, 4, &sequence, &message), PlanResult::Done) << message;
    JoinList job;
    job.AddSources(entry.outputs);
    job.SetVerifyOutput(true);
    EXPECT_TRUE(job.JoinDirect(dir / "joined.mp3", operation.Get())) << job.LastError();
    EXPECT_TRUE(fs::exists(dir / "joined.mp3"));
}

// An output damaged after it was written (its last 100 bytes lost) fails the join with the
// target's name; it is deleted, and the file it was to replace keeps its bytes.
TEST(VerifiedJoin, AnOutputDamagedAfterWritingFailsTheJoin) {
    const fx::Bytes old{'o', 'l', 'd'};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        JoinList job;
        AddSources(job, dir, c);
        fx::WriteFileBytes(dir / "joined.mp3", old);
        job.SetVerifyOutput(true);
        job.SetBeforeCheck([](const fs::path& file) { fs::resize_file(file, fs::file_size(file) - 100); });
        EXPECT_FALSE(Join(job, c, dir / "joined.mp3"));
        EXPECT_EQ(job.LastError().rfind(
                      "Verification failed for file \"" + (dir / "joined.mp3").string() + "\": it ends with ", 0),
                  0U)
            << job.LastError();
        EXPECT_EQ(fx::ReadFileBytes(dir / "joined.mp3"), old);
        EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"a.mp3", "b.mp3", "joined.mp3"}));
    }
}

// Ctrl-C while the output is checked: the join stops as a cancelled one, with no message and
// no file, and the file it was to replace stays.
TEST(VerifiedJoin, ACancelDuringTheCheckLeavesNothing) {
    fx::TempDir dir;
    JoinList job;
    AddSources(job, dir, kCases[0]);
    const fx::Bytes old{'o', 'l', 'd'};
    fx::WriteFileBytes(dir / "joined.mp3", old);
    fx::FakeOperation operation;
    job.SetVerifyOutput(true);
    // The check outlasts a few looks at the cancel flag, whatever the speed of the machine.
    job.SetBeforeCheck([&operation](const fs::path&) {
        operation.cancel = 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    EXPECT_FALSE(job.JoinDirect(dir / "joined.mp3", operation.Get()));
    EXPECT_EQ(job.LastError(), "");
    EXPECT_EQ(fx::ReadFileBytes(dir / "joined.mp3"), old);
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"a.mp3", "b.mp3", "joined.mp3"}));
}

// Without the check the hook is never called and the output goes in place as written.
TEST(VerifiedJoin, NoCheckUnlessAsked) {
    fx::TempDir dir;
    JoinList job;
    AddSources(job, dir, kCases[0]);
    bool called = false;
    job.SetBeforeCheck([&called](const fs::path&) { called = true; });
    EXPECT_TRUE(Join(job, kCases[0], dir / "joined.mp3")) << job.LastError();
    EXPECT_FALSE(called);
    EXPECT_TRUE(fs::exists(dir / "joined.mp3"));
}

}  // namespace
}  // namespace qm
