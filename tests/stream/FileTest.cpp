#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "fixtures/Fixtures.h"
#include "stream/File.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

// Reads come back whole, short only at the end, and 0 after it.
TEST(FileTest, ReadsWholeBlocksAndReportsTheEnd) {
    TempDir dir;
    const Bytes data = fixtures::Junk(10000);
    WriteFileBytes(dir / "in.bin", data);
    File file;
    ASSERT_TRUE(file.OpenRead(dir / "in.bin"));
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, 10000u);
    Bytes buffer(6000);
    EXPECT_EQ(file.Read(buffer.data(), buffer.size()), 6000);
    EXPECT_EQ(file.Tell(), 6000u);
    EXPECT_EQ(file.Read(buffer.data(), buffer.size()), 4000);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 4000, data.begin() + 6000));
    EXPECT_EQ(file.Read(buffer.data(), buffer.size()), 0);
}

TEST(FileTest, OpenReadRefusesMissingFilesAndFolders) {
    TempDir dir;
    File file;
    EXPECT_FALSE(file.OpenRead(dir / "missing.mp3"));
    EXPECT_FALSE(file.OpenRead(dir.Path()));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(nullptr, 0), -1);
    EXPECT_FALSE(file.Write("x", 1));
}

// Positions past 4 GiB survive the round trip (no 32-bit truncation anywhere).
TEST(FileTest, SeeksAndWritesBeyondFourGiB) {
    TempDir dir;
    constexpr std::uint64_t kFar = (5ull << 30) + 3;
    File file;
    ASSERT_TRUE(file.Create(dir / "sparse.bin"));
    ASSERT_TRUE(file.Seek(kFar));
    ASSERT_TRUE(file.Write("abc", 3));
    EXPECT_EQ(file.Tell(), kFar + 3);
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, kFar + 3);
    ASSERT_TRUE(file.Seek(kFar + 1));
    char back[2] = {};
    EXPECT_EQ(file.Read(back, 2), 2);
    EXPECT_EQ(std::string(back, 2), "bc");
}

// A full device must fail the write, never pass as success.
TEST(FileTest, ReportsAFailedWrite) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    File file;
    ASSERT_TRUE(file.Create("/dev/full"));
    const Bytes block(4096, 0x55);
    EXPECT_FALSE(file.Write(block.data(), block.size()));
}

TEST(FileTest, WriteToAFileOpenedForReadingFails) {
    TempDir dir;
    WriteFileBytes(dir / "ro.bin", Bytes{1, 2, 3});
    File file;
    ASSERT_TRUE(file.OpenRead(dir / "ro.bin"));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_EQ(ReadFileBytes(dir / "ro.bin"), (Bytes{1, 2, 3}));
}

TEST(FileTest, CreateNewRefusesAnExistingFile) {
    TempDir dir;
    WriteFileBytes(dir / "there.bin", Bytes{9});
    File file;
    EXPECT_FALSE(file.CreateNew(dir / "there.bin"));
    EXPECT_EQ(ReadFileBytes(dir / "there.bin"), Bytes{9});
    EXPECT_TRUE(file.CreateNew(dir / "new.bin"));
}

TEST(FileTest, MovedFileKeepsTheDescriptor) {
    TempDir dir;
    File a;
    ASSERT_TRUE(a.Create(dir / "m.bin"));
    File b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    EXPECT_TRUE(b.Write("hi", 2));
    EXPECT_TRUE(b.Close());
    EXPECT_EQ(ReadFileBytes(dir / "m.bin"), (Bytes{'h', 'i'}));
}

enum class Ending { Commit, Discard, Destroy };

struct AtomicCase {
    const char* name;
    bool targetExists;
    Ending ending;
    Bytes expectedTarget;  // empty: the target must not exist
};

const AtomicCase kAtomicCases[] = {
    {"commit_creates", false, Ending::Commit, {'n', 'e', 'w'}},
    {"commit_replaces", true, Ending::Commit, {'n', 'e', 'w'}},
    {"discard_leaves_nothing", false, Ending::Discard, {}},
    {"discard_keeps_existing", true, Ending::Discard, {'o', 'l', 'd'}},
    {"destruction_leaves_nothing", false, Ending::Destroy, {}},
    {"destruction_keeps_existing", true, Ending::Destroy, {'o', 'l', 'd'}},
};

class AtomicOutputTest : public testing::TestWithParam<AtomicCase> {};

// The target is either the complete new file or untouched, and no temporary file stays.
TEST_P(AtomicOutputTest, TargetIsCompleteOrUntouched) {
    const AtomicCase& c = GetParam();
    TempDir dir;
    const auto target = dir / "out.mp3";
    if (c.targetExists) WriteFileBytes(target, Bytes{'o', 'l', 'd'});
    {
        AtomicOutputFile out;
        ASSERT_TRUE(out.Create(target));
        EXPECT_EQ(out.TemporaryPath().parent_path(), dir.Path());
        EXPECT_EQ(out.TemporaryPath().filename().string()[0], '.');
        ASSERT_TRUE(out.Out().Write("new", 3));
        // Until the end, the target is what it was.
        EXPECT_EQ(std::filesystem::exists(target), c.targetExists);
        if (c.ending == Ending::Commit) {
            EXPECT_TRUE(out.Commit());
        } else if (c.ending == Ending::Discard) {
            out.Discard();
        }
    }
    if (c.expectedTarget.empty()) {
        EXPECT_TRUE(fixtures::FileNames(dir.Path()).empty());
    } else {
        EXPECT_EQ(fixtures::FileNames(dir.Path()), std::vector<std::string>{"out.mp3"});
        EXPECT_EQ(ReadFileBytes(target), c.expectedTarget);
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, AtomicOutputTest, testing::ValuesIn(kAtomicCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AtomicOutputFileTest, CreateFailsInAMissingFolder) {
    TempDir dir;
    AtomicOutputFile out;
    EXPECT_FALSE(out.Create(dir / "no-such-folder" / "out.mp3"));
    EXPECT_FALSE(out.Commit());
}

// A rename that cannot happen (the target is a folder) fails the commit and cleans up.
TEST(AtomicOutputFileTest, FailedCommitDeletesTheTemporaryFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "taken");
    std::filesystem::create_directory(dir / "taken" / "child");
    AtomicOutputFile out;
    ASSERT_TRUE(out.Create(dir / "taken"));
    ASSERT_TRUE(out.Out().Write("x", 1));
    EXPECT_FALSE(out.Commit());
    EXPECT_EQ(fixtures::FileNames(dir.Path()), std::vector<std::string>{"taken"});
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken" / "child"));
}

// Two outputs for one target at once do not share a temporary file.
TEST(AtomicOutputFileTest, TemporaryNamesAreUnique) {
    TempDir dir;
    AtomicOutputFile a;
    AtomicOutputFile b;
    ASSERT_TRUE(a.Create(dir / "same.mp3"));
    ASSERT_TRUE(b.Create(dir / "same.mp3"));
    EXPECT_NE(a.TemporaryPath(), b.TemporaryPath());
}

}  // namespace
}  // namespace qm
