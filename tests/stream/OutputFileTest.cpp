// The output of a piece or a join: its bytes arrive whole and in order whoever stores the
// blocks, a rewrite patches bytes already written, and every way of ending it leaves either
// the complete file or none (an existing target untouched).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "fixtures/Fixtures.h"
#include "stream/File.h"
#include "stream/OutputFile.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileBytes;
using Storing = OutputFile::Storing;

constexpr std::size_t kBlock = BackgroundWriter::kBlockBytes;
constexpr Storing kBothWays[] = {Storing::OnItsOwnThread, Storing::ByTheCaller};

// Appends data in parts of the given sizes, in turn; false as soon as a write is refused.
bool WriteInParts(OutputFile& out, const Bytes& data, const std::vector<std::size_t>& parts) {
    std::size_t at = 0;
    for (std::size_t i = 0; at < data.size(); ++i) {
        const std::size_t part = std::min(parts[i % parts.size()], data.size() - at);
        if (!out.Write(data.data() + at, part)) return false;
        at += part;
    }
    return true;
}

// Two outputs in a row from one object, each of parts of every size (a byte, frame sizes, a
// whole block, more than two blocks): each target holds exactly its bytes, and the count of
// bytes written starts again with each output.
TEST(OutputFileTest, CommitsEveryByteInOrder) {
    for (const Storing storing : kBothWays) {
        TempDir dir;
        OutputFile out(storing);
        for (const std::size_t size : {std::size_t{5000}, 3 * kBlock + 12345}) {
            const Bytes data = fixtures::Noise(size, static_cast<std::uint32_t>(size));
            const auto target = dir / ("out" + std::to_string(size));
            ASSERT_TRUE(out.Create(target));
            ASSERT_TRUE(WriteInParts(out, data, {1, 417, 418, kBlock, 3, 2 * kBlock + 100, 4000}));
            EXPECT_EQ(out.BytesWritten(), size);
            ASSERT_TRUE(out.Commit());
            EXPECT_FALSE(out.IsOpen());
            EXPECT_EQ(ReadFileBytes(target), data);
        }
        EXPECT_THAT(fixtures::FileNames(dir.Path()),
                    testing::UnorderedElementsAre("out5000", "out" + std::to_string(3 * kBlock + 12345)));
    }
}

// A rewrite overwrites bytes at its offset, whatever is still waiting to be stored, and the
// writes after it go on at the end (how a piece's Xing/Info frame is brought up to date).
TEST(OutputFileTest, RewritePatchesAndWritingGoesOnAtTheEnd) {
    for (const Storing storing : kBothWays) {
        TempDir dir;
        const Bytes data = fixtures::Noise(kBlock + 700, 5);
        const Bytes patch = {0xAA, 0xBB, 0xCC};
        const Bytes tail = {1, 2, 3, 4};
        OutputFile out(storing);
        ASSERT_TRUE(out.Create(dir / "out"));
        ASSERT_TRUE(out.Write(data.data(), data.size()));
        ASSERT_TRUE(out.Rewrite(10, patch.data(), patch.size()));
        EXPECT_EQ(out.BytesWritten(), data.size()) << "a rewrite adds nothing";
        ASSERT_TRUE(out.Write(tail.data(), tail.size()));
        ASSERT_TRUE(out.Commit());
        Bytes expected = data;
        std::copy(patch.begin(), patch.end(), expected.begin() + 10);
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(ReadFileBytes(dir / "out"), expected);
    }
}

enum class Ending { Discard, Destroy, FailedWrite };

// However an output ends without a commit, a new target is absent and an existing one keeps
// its bytes, and no temporary file stays behind. A write that fails (the size limit stands in
// for a full disk) fails the commit too, whoever stores the blocks.
TEST(OutputFileTest, AnUncommittedOutputLeavesTheTargetAsItWas) {
    const Bytes data = fixtures::Noise(kBlock + 10, 9);  // one full block and a few bytes
    for (const Storing storing : kBothWays) {
        for (const Ending ending : {Ending::Discard, Ending::Destroy, Ending::FailedWrite}) {
            for (const bool targetExists : {false, true}) {
                SCOPED_TRACE(static_cast<int>(storing) * 100 + static_cast<int>(ending) * 10 + targetExists);
                TempDir dir;
                const auto target = dir / "out.mp3";
                if (targetExists) WriteFileBytes(target, {'o', 'l', 'd'});
                {
                    OutputFile out(storing);
                    ASSERT_TRUE(out.Create(target));
                    if (ending == Ending::Discard || ending == Ending::Destroy) {
                        ASSERT_TRUE(out.Write(data.data(), data.size()));
                        if (ending == Ending::Discard) {
                            out.Discard();
                            EXPECT_FALSE(out.IsOpen());
                        }
                    } else {
                        const fixtures::FileSizeLimit limit(100);
                        // Stored by the caller, the first full block fails at once; stored by
                        // the thread, the failure shows at the commit at the latest.
                        const bool accepted = out.Write(data.data(), data.size());
                        EXPECT_EQ(accepted, storing == Storing::OnItsOwnThread);
                        EXPECT_FALSE(out.Commit());
                    }
                }
                EXPECT_EQ(fixtures::FileNames(dir.Path()),
                          targetExists ? std::vector<std::string>{"out.mp3"} : std::vector<std::string>{});
                if (targetExists) {
                    EXPECT_EQ(ReadFileBytes(target), (Bytes{'o', 'l', 'd'}));
                }
            }
        }
    }
}

// Staging hands over the closed, complete temporary file beside the target instead of
// renaming it; the target is the caller's to replace.
TEST(OutputFileTest, StageHandsOverTheCompleteTemporaryFile) {
    TempDir dir;
    const Bytes data = fixtures::Noise(kBlock + 1, 3);
    const auto target = dir / "out.mp3";
    WriteFileBytes(target, {'o', 'l', 'd'});
    OutputFile out;
    ASSERT_TRUE(out.Create(target));
    ASSERT_TRUE(out.Write(data.data(), data.size()));
    std::filesystem::path temporary;
    ASSERT_TRUE(out.Stage(&temporary));
    EXPECT_EQ(temporary.parent_path(), dir.Path());
    EXPECT_EQ(ReadFileBytes(temporary), data);
    EXPECT_EQ(ReadFileBytes(target), (Bytes{'o', 'l', 'd'}));
    out.Discard();
    EXPECT_TRUE(std::filesystem::exists(temporary)) << "a staged file is no longer the output's";
}

// Runs copied from a source by the kernel land between the bytes written around them, in
// order, whatever is still waiting in the writer's block; a rewrite still patches and the
// count of bytes written includes the runs.
TEST(OutputFileTest, CopiedRunsLandBetweenTheWrittenBytes) {
    for (const Storing storing : kBothWays) {
        TempDir dir;
        const Bytes source = fixtures::Noise(2 * kBlock + 999, 11);
        WriteFileBytes(dir / "source", source);
        File in;
        ASSERT_TRUE(in.OpenRead(dir / "source"));
        const Bytes head = fixtures::Noise(kBlock + 5, 12);  // more than a block: one is still filling
        const Bytes between = {7, 8, 9};
        OutputFile out(storing);
        ASSERT_TRUE(out.Create(dir / "out"));
        ASSERT_TRUE(out.Write(head.data(), head.size()));
        ASSERT_TRUE(out.CopyFrom(in.Descriptor(), 100, kBlock + 3));
        ASSERT_TRUE(out.Write(between.data(), between.size()));
        ASSERT_TRUE(out.CopyFrom(in.Descriptor(), 0, 17));
        ASSERT_TRUE(out.Rewrite(2, between.data(), between.size()));
        EXPECT_EQ(out.BytesWritten(), head.size() + kBlock + 3 + between.size() + 17);
        ASSERT_TRUE(out.Commit());
        Bytes expected = head;
        std::copy(between.begin(), between.end(), expected.begin() + 2);
        expected.insert(expected.end(), source.begin() + 100, source.begin() + 100 + kBlock + 3);
        expected.insert(expected.end(), between.begin(), between.end());
        expected.insert(expected.end(), source.begin(), source.begin() + 17);
        EXPECT_EQ(ReadFileBytes(dir / "out"), expected);
    }
}

// A run the source cannot supply in full is a failed write, not a short output: the copy or,
// when it runs on the writer's thread, the commit fails, and no file is left.
TEST(OutputFileTest, ARunPastTheSourceEndFails) {
    TempDir dir;
    WriteFileBytes(dir / "source", fixtures::Noise(1000, 13));
    File in;
    ASSERT_TRUE(in.OpenRead(dir / "source"));
    OutputFile out;
    ASSERT_TRUE(out.Create(dir / "out"));
    const bool copied = out.CopyFrom(in.Descriptor(), 900, 101);
    EXPECT_FALSE(copied && out.Commit());
    out.Discard();
    EXPECT_THAT(fixtures::FileNames(dir.Path()), testing::UnorderedElementsAre("source"));
}

}  // namespace
}  // namespace qm
