// Faults met by the real binary, end to end: runs killed at any moment, a full disk, a
// read-only folder, an output folder that is a file, a source cut short or deleted while it is
// read, SIGTERM. After each, no file stands under an output's name unless it is complete, an
// existing target is unharmed, no hidden temporary file outlives the next run, and the
// program says what happened.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/ByteOrder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::ReadFileBytes;
using fixtures::RunResult;
using fixtures::TempDir;
using fixtures::WriteFileBytes;
using Clock = std::chrono::steady_clock;

constexpr int kExitSomeFailed = 1;
constexpr int kExitKilled = 128 + SIGKILL;
constexpr int kExitTerminated = 128 + SIGTERM;
const Bytes kOldBytes = {'o', 'l', 'd'};

RunResult Cli(const std::vector<std::string>& args) { return fixtures::RunProgram(fixtures::CliPath(), args); }

// Every name in folder and what the file holds.
std::map<std::string, Bytes> Contents(const fs::path& folder) {
    std::map<std::string, Bytes> contents;
    for (const auto& item : fs::directory_iterator(folder)) {
        contents[item.path().filename().string()] = ReadFileBytes(item.path());
    }
    return contents;
}

std::set<std::string> HiddenNames(const fs::path& folder) {
    std::set<std::string> hidden;
    for (const std::string& name : fixtures::FileNames(folder)) {
        if (name.front() == '.') hidden.insert(name);
    }
    return hidden;
}

// The tab-separated fields of the split's first line: source, outcome, outputs.
std::vector<std::string> FirstLineFields(const std::string& out) {
    std::vector<std::string> fields;
    std::stringstream line(out.substr(0, out.find('\n')));
    for (std::string field; std::getline(line, field, '\t');) fields.push_back(field);
    return fields;
}

// Whether some process has file open (its descriptors as /proc lists them).
bool OpenSomewhere(const fs::path& file) {
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) == file) return true;
        }
    }
    return false;
}

// Whether folder holds a hidden temporary file: a run has begun writing its output there.
bool HasHiddenFile(const fs::path& folder) {
    std::error_code error;
    for (const auto& item : fs::directory_iterator(folder, error)) {
        if (item.path().filename().string().front() == '.') return true;
    }
    return false;
}

// Waits until a run has begun writing into folder and has source open for the work (not
// only for a look before it): the source is then being read. Gives up after a while.
void WaitUntilReading(const fs::path& folder, const fs::path& source) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline && !(HasHiddenFile(folder) && OpenSomewhere(source))) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Runs args and, once the run is writing into folder while it reads source, calls change.
RunResult RunChanging(const std::vector<std::string>& args, const fs::path& folder, const fs::path& source,
                      const std::function<void()>& change) {
    fs::create_directories(folder);
    std::thread changer([&] {
        WaitUntilReading(folder, source);
        change();
    });
    RunResult result = Cli(args);
    changer.join();
    return result;
}

// A tmpfs of its own at a folder, where this process may mount one (root, outside a
// restricted container); unmounted at destruction.
class ScratchMount {
public:
    ScratchMount(const fs::path& at, const std::string& options) : m_at(at) {
        fs::create_directories(at);
        m_mounted = ::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~ScratchMount() {
        if (m_mounted) ::umount2(m_at.c_str(), MNT_DETACH);
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;
    bool Mounted() const { return m_mounted; }
    // Makes the mount read-only; false when that is not allowed.
    bool MakeReadOnly() {
        return m_mounted && ::mount("tmpfs", m_at.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    fs::path m_at;
    bool m_mounted = false;
};

// One long song for every test here: made once, as encoding it takes a while.
class FaultTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir();
        s_song = fixtures::MakeSong(*s_dir, "song.mp3", 120.0);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    // A copy of the song in the test's own folder, which the test may change.
    fs::path SongCopy(const std::string& name = "song.mp3") const {
        const fs::path copy = m_dir / name;
        fs::copy_file(s_song, copy);
        return copy;
    }

    // A split of the song into out, over its "song-1.mp3", fails with reason, and that file
    // is all there is in out afterwards, as it was.
    static void ExpectSplitRefused(const fs::path& out, const std::string& reason) {
        const RunResult result =
            Cli({"split", "--count", "2", "--if-exists", "overwrite", "-o", out.string(), s_song.string()});
        EXPECT_EQ(result.exitCode, kExitSomeFailed) << result.out << result.err;
        EXPECT_EQ(FirstLineFields(result.out), (std::vector<std::string>{s_song.string(), "Failure: " + reason}));
        EXPECT_EQ(Contents(out), (std::map<std::string, Bytes>{{"song-1.mp3", kOldBytes}}));
    }

    static TempDir* s_dir;
    static fs::path s_song;
    TempDir m_dir;
};

TempDir* FaultTest::s_dir = nullptr;
fs::path FaultTest::s_song;

// What a run killed part-way may leave: under each output's name nothing, or exactly the
// output of a complete run (or the old file it replaces). Then the next run into the folder
// (a fast one) clears the killed run's hidden files and leaves exactly its own outputs.
void CheckKilledRuns(const std::vector<std::string>& slowArgs, const std::vector<std::string>& fastArgs,
                     const fs::path& folder, const std::map<std::string, Bytes>& before) {
    // A run to the end gives the complete outputs, and how long a run takes.
    for (const auto& [name, bytes] : before) WriteFileBytes(folder / name, bytes);
    const auto started = Clock::now();
    const RunResult full = Cli(slowArgs);
    ASSERT_EQ(full.exitCode, 0) << full.out << full.err;
    const auto runTime = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    const std::map<std::string, Bytes> complete = Contents(folder);
    const RunResult fast = Cli(fastArgs);
    ASSERT_EQ(fast.exitCode, 0) << fast.out << fast.err;
    const std::map<std::string, Bytes> fastOutputs = Contents(folder);

    for (const int percent : {5, 40, 80, 99}) {
        SCOPED_TRACE(percent);
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const auto& [name, bytes] : before) WriteFileBytes(folder / name, bytes);
        const RunResult killed =
            fixtures::RunProgramWithInterrupt(fixtures::CliPath(), slowArgs, runTime * percent / 100, SIGKILL);
        EXPECT_TRUE(killed.exitCode == kExitKilled || killed.exitCode == 0) << killed.exitCode << killed.err;
        for (const auto& [name, bytes] : Contents(folder)) {
            if (name.front() == '.') continue;  // the killed run's temporary files
            const auto old = before.find(name);
            const bool isOld = old != before.end() && old->second == bytes;
            EXPECT_TRUE(isOld || (complete.count(name) != 0 && complete.at(name) == bytes))
                << name << " is neither complete nor the file it replaces";
        }
        const RunResult next = Cli(fastArgs);
        EXPECT_EQ(next.exitCode, 0) << next.out << next.err;
        EXPECT_EQ(Contents(folder), fastOutputs) << "the next run leaves its outputs and nothing else";
    }
}

// A re-encoding split killed at several moments, then a direct split into the same folder.
TEST_F(FaultTest, KilledSplitLeavesOnlyCompletePiecesAndTheNextRunClearsUp) {
    const fs::path out = m_dir / "out";
    const std::vector<std::string> common{"split", "--count", "3", "--if-exists", "overwrite", "-o", out.string()};
    std::vector<std::string> slow = common;
    slow.insert(slow.end(), {"--reencode", "--rate", "22050", "--bitrate", "64", "--channels", "mono"});
    slow.push_back(s_song.string());
    std::vector<std::string> fast = common;
    fast.push_back(s_song.string());
    fs::create_directories(out);
    CheckKilledRuns(slow, fast, out, {{"song-2.mp3", kOldBytes}});
}

// A re-encoding join over an existing target killed at several moments, then a direct join.
TEST_F(FaultTest, KilledJoinLeavesTheTargetWholeAndTheNextRunClearsUp) {
    const fs::path out = m_dir / "out";
    const std::string target = (out / "joined.mp3").string();
    const std::vector<std::string> slow{"join", "-o",         target, "--rate",        "22050",        "--bitrate",
                                        "64",   "--channels", "mono", s_song.string(), s_song.string()};
    const std::vector<std::string> fast{"join", "-o", target, s_song.string(), s_song.string()};
    fs::create_directories(out);
    CheckKilledRuns(slow, fast, out, {{"joined.mp3", kOldBytes}});
}

// A full disk fails the piece with the program's message; nothing half-written stays and the
// file the run was to replace is unharmed. A small tmpfs where one can be mounted, else a
// file-size limit that fails writes the same way (EFBIG instead of ENOSPC).
TEST_F(FaultTest, FullDiskFailsWithoutPartialOutput) {
    const fs::path out = m_dir / "small";
    ScratchMount disk(out, "size=256k");
    std::optional<fixtures::FileSizeLimit> limit;
    if (!disk.Mounted()) limit.emplace(256 * 1024);
    WriteFileBytes(out / "song-1.mp3", kOldBytes);
    ExpectSplitRefused(out, "Failed to write file \"" + (out / "song-1.mp3").string() + "\".");
}

// A folder that takes no new file refuses the output before anything is written, and its
// file stays. A read-only tmpfs where one can be mounted; otherwise the folder's permission
// bits, which a user other than root cannot pass (root passes them, so the case is skipped).
TEST_F(FaultTest, ReadOnlyFolderRefusesTheOutput) {
    const fs::path out = m_dir / "readonly";
    ScratchMount disk(out, "size=64k");
    WriteFileBytes(out / "song-1.mp3", kOldBytes);
    if (!disk.MakeReadOnly()) {
        if (::geteuid() == 0) GTEST_SKIP() << "root can neither mount here nor be refused by permissions";
        fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
    }
    ExpectSplitRefused(out, "Failed to create file \"" + (out / "song-1.mp3").string() + "\"");
    if (!disk.Mounted()) fs::permissions(out, fs::perms::owner_all);
}

// An output folder that is a file: the split says it cannot make the folder, the join that
// it cannot make its file; the file is untouched.
TEST_F(FaultTest, OutputFolderThatIsAFileIsRefused) {
    const fs::path file = m_dir / "notes.txt";
    WriteFileBytes(file, kOldBytes);
    const RunResult split = Cli({"split", "--count", "2", "-o", file.string(), s_song.string()});
    EXPECT_EQ(split.exitCode, kExitSomeFailed) << split.err;
    EXPECT_EQ(
        FirstLineFields(split.out),
        (std::vector<std::string>{s_song.string(), "Failure: Failed to create folder \"" + file.string() + "\""}));
    const fs::path target = file / "joined.mp3";
    const RunResult join = Cli({"join", "-o", target.string(), s_song.string(), s_song.string()});
    EXPECT_EQ(join.exitCode, kExitSomeFailed) << join.err;
    EXPECT_EQ(join.out, target.string() + ": Join failure. Failed to create file \"" + target.string() + "\".\n");
    EXPECT_EQ(ReadFileBytes(file), kOldBytes);
    EXPECT_EQ(fixtures::FileNames(m_dir.Path()), std::vector<std::string>{"notes.txt"});
}

// A source cut to half its size while a re-encoding split or join reads it fails that file
// with the program's message instead of a short output; a piece finished before the cut is
// complete, and no hidden file stays.
TEST_F(FaultTest, SourceCutShortWhileReadFails) {
    const fs::path song = SongCopy();
    const std::uintmax_t halfBytes = fs::file_size(song) / 2;
    const auto cut = [&] { fs::resize_file(song, halfBytes); };
    const std::string changed = "Failed to read file \"" + song.string() + "\": it changed while it was read.";
    const fs::path out = m_dir / "out";
    const RunResult split = RunChanging({"split", "--count", "3", "--reencode", "--rate", "22050", "--bitrate", "64",
                                         "--channels", "mono", "-o", out.string(), song.string()},
                                        out, song, cut);
    EXPECT_EQ(split.exitCode, kExitSomeFailed) << split.out << split.err;
    const std::vector<std::string> fields = FirstLineFields(split.out);
    ASSERT_GE(fields.size(), 2u) << split.out;
    EXPECT_EQ(fields[1], "Failure: " + changed);
    EXPECT_EQ(HiddenNames(out), std::set<std::string>{});
    for (std::size_t i = 2; i < fields.size(); ++i) EXPECT_NEAR(fixtures::DecodedSeconds(fields[i]), 40.0, 0.2);

    fs::copy_file(s_song, song, fs::copy_options::overwrite_existing);
    const fs::path target = m_dir / "joined.mp3";
    const RunResult join = RunChanging({"join", "-o", target.string(), "--rate", "22050", "--bitrate", "64",
                                        "--channels", "mono", song.string(), s_song.string()},
                                       m_dir.Path(), song, cut);
    EXPECT_EQ(join.exitCode, kExitSomeFailed) << join.out << join.err;
    // The cut may land while the join opens the source for decoding (a slow build reaches
    // it later) or while it reads it: either is that source's failure, named.
    const std::string opened = "Failed to open file \"" + song.string() + "\".";
    EXPECT_THAT(join.out, testing::AnyOf(target.string() + ": Join failure. " + changed + "\n",
                                         target.string() + ": Join failure. " + opened + "\n"));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(HiddenNames(m_dir.Path()), std::set<std::string>{});
}

// A source deleted while it is read is still read whole through the open file: the split
// completes with every piece whole.
TEST_F(FaultTest, SourceDeletedWhileReadIsStillReadWhole) {
    const fs::path song = SongCopy();
    const fs::path out = m_dir / "out";
    const RunResult split = RunChanging({"split", "--count", "3", "--reencode", "--rate", "22050", "--bitrate", "64",
                                         "--channels", "mono", "-o", out.string(), song.string()},
                                        out, song, [&] { fs::remove(song); });
    ASSERT_EQ(split.exitCode, 0) << split.out << split.err;
    EXPECT_EQ(fixtures::FileNames(out), (std::vector<std::string>{"song-1.mp3", "song-2.mp3", "song-3.mp3"}));
    for (const std::string& name : fixtures::FileNames(out)) {
        EXPECT_NEAR(fixtures::DecodedSeconds(out / name), 40.0, 0.2) << name;
    }
}

// SIGTERM during a join is a cancel: exit 143, the existing target unharmed, nothing left.
TEST_F(FaultTest, TerminatedJoinKeepsTheExistingTarget) {
    const fs::path target = m_dir / "joined.mp3";
    WriteFileBytes(target, kOldBytes);
    const RunResult join =
        fixtures::RunProgramWithInterrupt(fixtures::CliPath(),
                                          {"join", "-o", target.string(), "--rate", "22050", "--bitrate", "64",
                                           "--channels", "mono", s_song.string(), s_song.string()},
                                          std::chrono::milliseconds(300), SIGTERM);
    EXPECT_EQ(join.exitCode, kExitTerminated) << join.out << join.err;
    EXPECT_EQ(join.out, target.string() + ": Cancelled\n");
    EXPECT_EQ(Contents(m_dir.Path()), (std::map<std::string, Bytes>{{"joined.mp3", kOldBytes}}));
}

// A header that claims twice the frames the file holds makes the plan by time announce more
// pieces than the audio fills: the run says so as a failure of that file, in the line and in
// the JSON report, and keeps the complete pieces it wrote.
TEST_F(FaultTest, HeaderClaimingMoreAudioSaysThePlanEndedEarly) {
    const fs::path song = fixtures::MakeSong(m_dir, "claims.mp3", 10.0);
    Bytes bytes = ReadFileBytes(song);
    // The Info tag: "Info", the flags, then the frame count (flag 1).
    const std::string tag = "Info";
    const auto at = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    ASSERT_NE(at, bytes.end());
    std::uint8_t* count = &*at + 8;
    ASSERT_NE(ReadBigEndian32(&*at + 4) & 1u, 0u);
    WriteBigEndian32(count, ReadBigEndian32(count) * 2);
    WriteFileBytes(song, bytes);

    const fs::path out = m_dir / "out";
    const RunResult text = Cli({"split", "--time", "0:03", "-o", out.string(), song.string()});
    EXPECT_EQ(text.exitCode, kExitSomeFailed) << text.err;
    const std::vector<std::string> fields = FirstLineFields(text.out);
    ASSERT_EQ(fields.size(), 6u) << text.out;
    EXPECT_EQ(fields[1], "Failure: The audio ended after 4 of 7 pieces.");
    EXPECT_EQ(fixtures::FileNames(out),
              (std::vector<std::string>{"claims-1.mp3", "claims-2.mp3", "claims-3.mp3", "claims-4.mp3"}));
    for (std::size_t i = 2; i < fields.size(); ++i)
        EXPECT_EQ(fields[i], (out / ("claims-" + std::to_string(i - 1) + ".mp3")).string());

    const RunResult json =
        Cli({"split", "--time", "0:03", "--json", "--if-exists", "overwrite", "-o", out.string(), song.string()});
    EXPECT_EQ(json.exitCode, kExitSomeFailed) << json.err;
    EXPECT_NE(json.out.find("\"status\":\"failed\",\"outcome\":\"Failure: The audio ended after 4 of 7 pieces.\""),
              std::string::npos)
        << json.out;
}

}  // namespace
}  // namespace qm
