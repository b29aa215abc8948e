#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

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

// Positions past 4 GiB survive the round trip (no 32-bit truncation anywhere), and the bytes
// land where another reader finds them.
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
    EXPECT_EQ(fixtures::ReadFileBytesAt(dir / "sparse.bin", kFar - 1, 8), (Bytes{0, 'a', 'b', 'c'}));
}

// Bytes another program wrote past 4 GiB are read from their place, and the end is found there.
TEST(FileTest, SeeksAndReadsBeyondFourGiB) {
    TempDir dir;
    constexpr std::uint64_t kFar = (5ull << 30) + 3;
    fixtures::WriteSparseFile(dir / "sparse.bin", kFar, Bytes{'a', 'b', 'c'});
    File file;
    ASSERT_TRUE(file.OpenRead(dir / "sparse.bin"));
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, kFar + 3);
    ASSERT_TRUE(file.Seek(kFar + 1));
    EXPECT_EQ(file.Tell(), kFar + 1);
    char back[4] = {};
    EXPECT_EQ(file.Read(back, sizeof back), 2);
    EXPECT_EQ(std::string(back, 2), "bc");
    EXPECT_EQ(file.Tell(), kFar + 3);
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

// ---------------------------------------------------------------------------------------
// A source that changes while it is read.

struct ChangeCase {
    const char* name;
    std::function<void(const std::filesystem::path&)> change;
    bool changed;  // what ChangedSinceOpen says, and whether the read at the end is an error
};

// Truncating, extending and rewriting in place are changes; a file replaced by a rename or
// deleted is none: the open descriptor still reads the whole file that was opened.
const ChangeCase kChangeCases[] = {
    {"untouched", [](const std::filesystem::path&) {}, false},
    {"truncated", [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 3000); }, true},
    {"extended", [](const std::filesystem::path& p) { std::filesystem::resize_file(p, 20000); }, true},
    {"rewritten_same_size",
     [](const std::filesystem::path& p) {
         // A rewrite a moment later: the modification time moves even where it is coarse.
         std::this_thread::sleep_for(std::chrono::milliseconds(20));
         WriteFileBytes(p, fixtures::Junk(10000, 7));
     },
     true},
    {"replaced_by_rename",
     [](const std::filesystem::path& p) {
         WriteFileBytes(p.string() + ".new", fixtures::Junk(3000, 7));
         std::filesystem::rename(p.string() + ".new", p);
     },
     false},
    {"deleted", [](const std::filesystem::path& p) { std::filesystem::remove(p); }, false},
};

class SourceChangeTest : public testing::TestWithParam<ChangeCase> {};

// Half the file is read, the change is made, and the rest is read: a changed file reports
// -1 where it ends instead of a quiet short read, and says it changed.
TEST_P(SourceChangeTest, ReadAtTheEndReportsAChange) {
    const ChangeCase& c = GetParam();
    TempDir dir;
    const auto path = dir / "source.mp3";
    WriteFileBytes(path, fixtures::Junk(10000));
    File file;
    ASSERT_TRUE(file.OpenRead(path));
    Bytes buffer(5000);
    ASSERT_EQ(file.Read(buffer.data(), buffer.size()), 5000);
    EXPECT_FALSE(file.ChangedSinceOpen());
    c.change(path);
    EXPECT_EQ(file.ChangedSinceOpen(), c.changed);
    Bytes rest(20000);
    const std::int64_t got = file.Read(rest.data(), rest.size());
    if (c.changed) {
        EXPECT_EQ(got, -1);
    } else {
        EXPECT_EQ(got, 5000);
    }
    // A change once seen stays seen, even after the file is put back as it was.
    if (c.changed) {
        WriteFileBytes(path, fixtures::Junk(10000));
        EXPECT_TRUE(file.ChangedSinceOpen());
    }
    file.Close();
    EXPECT_FALSE(file.ChangedSinceOpen());
}

INSTANTIATE_TEST_SUITE_P(Changes, SourceChangeTest, testing::ValuesIn(kChangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Files written by the program are not watched: their own writes are no change.
TEST(SourceChangeTest, OutputsAreNotWatched) {
    TempDir dir;
    File file;
    ASSERT_TRUE(file.Create(dir / "out.mp3"));
    ASSERT_TRUE(file.Write("abc", 3));
    EXPECT_FALSE(file.ChangedSinceOpen());
    ASSERT_TRUE(file.Seek(0));
    char back[8];
    EXPECT_EQ(file.Read(back, sizeof back), 3);
}

// ---------------------------------------------------------------------------------------
// Leftovers of killed runs.

struct LeftoverCase {
    const char* fileName;
    const char* target;  // empty: no leftover of this program
    long pid;
    bool setAside;
};

const LeftoverCase kLeftoverCases[] = {
    {".song.mp3.4242.0.1f3a.part", "song.mp3", 4242, false},
    {".a.b.mp3.7.12.abcdef.part", "a.b.mp3", 7, false},
    {".x.4242.3.1.old", "x", 4242, true},
    {"..hidden.mp3.1.0.0.part", ".hidden.mp3", 1, false},
    // Not ours: another shape, another program's file, or a user's own name.
    {"song.mp3.4242.0.1f.part", "", 0, false},
    {".song.mp3.4242.1f.part", "", 0, false},
    {".song.mp3.42x2.0.1f.part", "", 0, false},
    {".song.mp3.4242.0.xyz.part", "", 0, false},
    {".song.mp3.4242.0.1f.old", "", 0, false},  // an aside's attempt is decimal
    {".song.mp3.probe0", "", 0, false},
    {".4242.0.1f.part", "", 0, false},
    {"..4242.0.1f.part", "", 0, false},
    {".song.mp3.12345678901.0.1f.part", "", 0, false},
    {".song.mp3.4242.0.1f.part~", "", 0, false},
    {"notes.part", "", 0, false},
};

TEST(LeftoverTest, NamesAreMatchedExactly) {
    for (const LeftoverCase& c : kLeftoverCases) {
        long pid = 0;
        bool setAside = false;
        EXPECT_EQ(LeftoverTargetName(c.fileName, &pid, &setAside), c.target) << c.fileName;
        if (*c.target != '\0') {
            EXPECT_EQ(pid, c.pid) << c.fileName;
            EXPECT_EQ(setAside, c.setAside) << c.fileName;
        }
    }
}

// The names the program makes are the names it recognises.
TEST(LeftoverTest, MadeNamesAreRecognised) {
    TempDir dir;
    AtomicOutputFile out;
    ASSERT_TRUE(out.Create(dir / "piece 1.mp3"));
    long pid = 0;
    bool setAside = true;
    EXPECT_EQ(LeftoverTargetName(out.TemporaryPath().filename().string(), &pid, &setAside), "piece 1.mp3");
    EXPECT_EQ(pid, static_cast<long>(::getpid()));
    EXPECT_FALSE(setAside);
    EXPECT_EQ(LeftoverTargetName(SetAsideName(dir / "piece 1.mp3", 2).filename().string(), &pid, &setAside),
              "piece 1.mp3");
    EXPECT_TRUE(setAside);
}

// The id of a process that has ended (and been reaped).
long DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<long>(child);
}

// The first output written into a folder clears the leftovers of dead runs: temporary files
// go, a file set aside goes back under its free name or goes when its name is taken.
// Leftovers of live processes, links, and files that only look similar stay.
TEST(LeftoverTest, FirstOutputInAFolderClearsDeadRunsOnly) {
    TempDir dir;
    const std::string dead = std::to_string(DeadPid());
    const std::string live = std::to_string(::getppid());
    const Bytes old{'o', 'l', 'd'};
    WriteFileBytes(dir / (".a.mp3." + dead + ".0.1f.part"), {1});
    WriteFileBytes(dir / (".b.mp3." + live + ".0.1f.part"), {2});
    WriteFileBytes(dir / (".c.mp3." + dead + ".0.0.old"), old);  // c.mp3 missing: goes back
    WriteFileBytes(dir / (".d.mp3." + dead + ".0.0.old"), old);  // d.mp3 replaced: goes
    WriteFileBytes(dir / "d.mp3", {'n', 'e', 'w'});
    WriteFileBytes(dir / (".e.mp3." + dead + ".probe0"), {3});
    WriteFileBytes(dir / ".g.mp3.2147483648.0.1f.part", {5});  // no process id: kill() would take a group
    WriteFileBytes(dir / "user.part", {4});
    std::filesystem::create_symlink(dir / "user.part", dir / (".f.mp3." + dead + ".0.1f.part"));
    AtomicOutputFile out;
    ASSERT_TRUE(out.Create(dir / "new.mp3"));
    out.Discard();
    EXPECT_EQ(fixtures::FileNames(dir.Path()),
              (std::vector<std::string>{".b.mp3." + live + ".0.1f.part", ".e.mp3." + dead + ".probe0",
                                        ".f.mp3." + dead + ".0.1f.part", ".g.mp3.2147483648.0.1f.part", "c.mp3",
                                        "d.mp3", "user.part"}));
    EXPECT_EQ(ReadFileBytes(dir / "c.mp3"), old);
    EXPECT_EQ(ReadFileBytes(dir / "d.mp3"), (Bytes{'n', 'e', 'w'}));
}

// A folder's entries can be flushed; a missing folder is reported.
TEST(LeftoverTest, SyncFolderFlushesAFolderAndRefusesAMissingOne) {
    TempDir dir;
    EXPECT_TRUE(SyncFolder(dir.Path()));
    EXPECT_FALSE(SyncFolder(dir / "missing"));
}

}  // namespace
}  // namespace qm
