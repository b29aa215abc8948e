// The joiners' one entry: the choice, the join and its result, with a cancel told from a
// failure by the cancel flag alone.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "join/RunJoin.h"
#include "stream/Mp3FrameReader.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;
namespace fs = std::filesystem;

// One row per way a join can end: the method chosen (or forced), the result, and whether the
// target exists afterwards.
TEST(RunJoin, ChoosesJoinsAndReportsTheOutcome) {
    fx::TempDir dir;
    fx::WriteFileBytes(dir / "a.mp3", fx::EncodeMp3(fx::StreamSpec(1.0, fx::Signal::Tone, 44100, 128)));
    fx::WriteFileBytes(dir / "b.mp3", fx::EncodeMp3(fx::StreamSpec(1.0, fx::Signal::Noise, 44100, 64)));
    fx::WriteFileBytes(dir / "mono.mp3",
                       fx::EncodeMp3(fx::StreamSpec(1.0, fx::Signal::Tone, 22050, 32, fx::Channels::Mono)));
    const std::string gone = "Failed to open file \"" + (dir / "gone.mp3").string() + "\".";

    struct Case {
        const char* name;
        std::vector<std::string> sources;
        ForceReencode force;
        long cancelAtPump;  // 0: never
        RunResult result;
        JoinMethod method;   // of a join that was chosen
        int firstFrameKbps;  // of a written target
    };
    const Case cases[] = {
        {"same stream: frames copied",
         {"a.mp3", "b.mp3"},
         ForceReencode::No,
         0,
         RunResult::Done(),
         JoinMethod::Direct,
         128},
        {"forced: re-encoded at the highest bit rate",
         {"a.mp3", "b.mp3"},
         ForceReencode::Yes,
         0,
         RunResult::Done(),
         JoinMethod::Reencode,
         128},
        {"different rates: re-encoded",
         {"mono.mp3", "b.mp3"},
         ForceReencode::No,
         0,
         RunResult::Done(),
         JoinMethod::Reencode,
         64},
        {"a source that cannot be opened fails before anything is written",
         {"a.mp3", "gone.mp3"},
         ForceReencode::No,
         0,
         RunResult::Failed(gone),
         JoinMethod::Direct,
         0},
        {"cancelled copy", {"a.mp3", "b.mp3"}, ForceReencode::No, 3, RunResult::Cancelled(), JoinMethod::Direct, 0},
        {"cancelled re-encoding",
         {"a.mp3", "b.mp3"},
         ForceReencode::Yes,
         3,
         RunResult::Cancelled(),
         JoinMethod::Reencode,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = dir / "joined.mp3";
        fs::remove(target);
        JoinList job;
        for (const std::string& source : c.sources) job.AddSource(dir / source);
        fx::FakeOperation op;
        if (c.cancelAtPump != 0) op.CancelAtPump(c.cancelAtPump);
        JoinChoice chosen;
        const RunResult result = RunJoin(job, target, JoinerOptions{}, c.force, op.Get(), &chosen);
        EXPECT_EQ(result, c.result) << result.message;
        if (c.result.IsDone()) {
            EXPECT_EQ(chosen.method, c.method);
        }
        ASSERT_EQ(fs::exists(target), c.firstFrameKbps != 0);
        if (c.firstFrameKbps == 0) continue;
        Mp3FrameReader reader;
        Mp3FrameHeader header;
        ASSERT_TRUE(reader.Open(target));
        ASSERT_NE(reader.NextFrame(&header), nullptr);
        EXPECT_EQ(header.bitRateKbps, c.firstFrameKbps);
    }
}

}  // namespace
}  // namespace qm
