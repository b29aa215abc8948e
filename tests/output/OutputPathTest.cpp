// Output placement: folders, tree mirroring, collision policies, the write probe, join names.

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "fixtures/Fixtures.h"
#include "output/OutputPath.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

const Bytes kSourceBytes = {'s', 'r', 'c'};
const Bytes kOtherBytes = {'o', 't', 'h', 'e', 'r'};

// Sorted names of everything below folder, so that a test sees any stray file left behind.
std::vector<std::string> Tree(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TagReader NoTags() {
    return [](const fs::path&, TagInfo*) { return false; };
}

struct Outcome {
    bool ok = false;
    fs::path path;
    std::string error;
};

Outcome Split(const SplitPlacement& placement, const fs::path& source, int piece = 1, int total = 2, int sequence = 1,
              const TagReader& reader = NoTags()) {
    Outcome outcome;
    outcome.ok = ResolveSplitOutputPath(placement, source, PieceNumbers{piece, total, sequence, 0}, &outcome.path,
                                        &outcome.error, reader);
    return outcome;
}

Outcome Join(const JoinPlacement& placement, const fs::path& source) {
    Outcome outcome;
    outcome.ok = ResolveJoinOutputPath(placement, source, &outcome.path, &outcome.error);
    return outcome;
}

class OutputPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(m_dir / "music");
        WriteFileBytes(m_source, kSourceBytes);
    }
    TempDir m_dir;
    fs::path m_source = m_dir / "music" / "a.mp3";
};

// Beside the source, in a folder per source, with automatic and fixed widths; the probe
// leaves nothing behind.
TEST_F(OutputPathTest, PlacesPiecesBesideTheSource) {
    struct Case {
        bool folderPerFile;
        int digits;
        int piece, total;
        const char* expected;
    };
    const Case cases[] = {{false, 0, 1, 2, "music/a-1.mp3"},
                          {false, 0, 2, 2, "music/a-2.mp3"},
                          {false, 0, 7, 102, "music/a-007.mp3"},
                          {false, 4, 7, 9, "music/a-0007.mp3"},
                          {true, 0, 1, 2, "music/a/a-1.mp3"}};
    for (const Case& c : cases) {
        SplitPlacement placement;
        placement.CreateFolderForEachMP3 = c.folderPerFile;
        placement.FilenameDigitNumber = c.digits;
        const Outcome outcome = Split(placement, m_source, c.piece, c.total);
        ASSERT_TRUE(outcome.ok) << outcome.error;
        EXPECT_EQ(outcome.path, m_dir / c.expected);
    }
    EXPECT_EQ(Tree(m_dir.Path()), (std::vector<std::string>{"music", "music/a", "music/a.mp3"}));
}

// A chosen folder with the source's folder tree re-created below it, level by level.
TEST_F(OutputPathTest, MirrorsTheSourceTreeBelowTheChosenFolder) {
    SplitPlacement placement;
    placement.OutputFolderOpt = OutputFolderCode::Specific;
    placement.SpecifiedOutputFolder = (m_dir / "out").string();  // no trailing separator
    placement.CreateTreeDirs = true;
    const Outcome outcome = Split(placement, m_source);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    const fs::path mirrored = m_dir / "out" / fs::relative(m_dir / "music", "/");
    EXPECT_EQ(outcome.path, mirrored / "a-1.mp3");
    EXPECT_TRUE(fs::is_directory(mirrored));
    EXPECT_TRUE(fs::is_empty(mirrored));

    placement.CreateTreeDirs = false;
    placement.SpecifiedOutputFolder += "/";
    EXPECT_EQ(Split(placement, m_source).path, m_dir / "out" / "a-1.mp3");
}

// No source path or file title places a file outside the chosen folder: a relative source is
// mirrored by its absolute folder, and a file title of ".." or "." is no folder name.
TEST_F(OutputPathTest, KeepsEveryOutputInsideTheChosenFolder) {
    fs::create_directories(m_dir / "work" / "deep");
    const fs::path dotted = m_dir / "music" / "...mp3";
    WriteFileBytes(dotted, kSourceBytes);
    const fs::path savedFolder = fs::current_path();
    fs::current_path(m_dir / "work" / "deep");
    const fs::path out = m_dir / "out";
    const fs::path mirrored = out / fs::relative(m_dir / "music", "/");
    struct Case {
        fs::path source;
        bool tree;
        bool folderPerFile;
        fs::path expected;
    };
    const Case cases[] = {
        {"../../music/a.mp3", true, false, mirrored / "a-1.mp3"},
        {"a.mp3", true, false, out / fs::relative(m_dir / "work" / "deep", "/") / "a-1.mp3"},
        {dotted, false, true, out / "__" / "..-1.mp3"},
        {m_dir / "music" / "..mp3", false, true, out / "_" / ".-1.mp3"},
    };
    for (const Case& c : cases) {
        SplitPlacement placement;
        placement.OutputFolderOpt = OutputFolderCode::Specific;
        placement.SpecifiedOutputFolder = out.string();
        placement.CreateTreeDirs = c.tree;
        placement.CreateFolderForEachMP3 = c.folderPerFile;
        const Outcome outcome = Split(placement, c.source);
        EXPECT_TRUE(outcome.ok) << c.source << outcome.error;
        EXPECT_EQ(outcome.path, c.expected) << c.source;
    }
    fs::current_path(savedFolder);
    EXPECT_EQ(Tree(m_dir / "music"), (std::vector<std::string>{"...mp3", "a.mp3"}));
}

// Folder failures. The tests run as root, who ignores permission bits, so a folder that
// cannot be made is one whose parent is a regular file.
TEST_F(OutputPathTest, ReportsFoldersThatCannotBeMade) {
    WriteFileBytes(m_dir / "file", {1});
    const std::string underFile = (m_dir / "file" / "out").string();
    struct Case {
        std::string folder;
        bool tree;
        std::string message;
    };
    const Case cases[] = {
        {"", false, "Failed to create folder \"\""},
        {underFile, false, "Failed to create folder \"" + underFile + "\""},
        // The chosen folder exists but its first mirrored level is taken by a file.
        {m_dir.Path().string(), true,
         "Failed to create folder \"" + m_dir.Path().string() + "/" + fs::relative(m_dir / "music", "/").string() +
             "/\""},
    };
    // Make the first mirrored level below the temporary folder a regular file.
    const fs::path firstLevel = m_dir / *fs::relative(m_dir.Path(), "/").begin();
    WriteFileBytes(firstLevel, {1});
    for (const Case& c : cases) {
        SplitPlacement split;
        split.OutputFolderOpt = OutputFolderCode::Specific;
        split.SpecifiedOutputFolder = c.folder;
        split.CreateTreeDirs = c.tree;
        const Outcome outcome = Split(split, m_source);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.error, c.message);

        JoinPlacement join;
        join.OutputFolderOpt = OutputFolderCode::Specific;
        join.SpecifiedOutputFolder = c.folder;
        join.CreateTreeDirs = c.tree;
        EXPECT_EQ(Join(join, m_source).error, c.message);
    }
    EXPECT_FALSE(fs::exists(m_dir / "file" / "out"));
}

// What each policy does with an existing target; existing files are never modified.
TEST_F(OutputPathTest, AppliesTheCollisionPolicy) {
    WriteFileBytes(m_dir / "music" / "a-1.mp3", kOtherBytes);
    WriteFileBytes(m_dir / "music" / "a-1_1.mp3", kOtherBytes);
    WriteFileBytes(m_dir / "music" / "A.mp3", kOtherBytes);
    fs::create_directory(m_dir / "music" / "sub");
    fs::create_directory(m_dir / "music" / "dir-1.mp3");
    const auto policy = [](int code) { return static_cast<TargetExistsCode>(code); };
    struct Case {
        const char* nameTemplate;
        std::string folder;  // empty: beside the source
        TargetExistsCode existsOpt;
        bool ok;
        const char* expected;  // path below the temporary folder, or the message
    };
    const std::string viaSub = (m_dir / "music" / "sub" / "..").string();
    const Case cases[] = {
        {"%F%-%P%.mp3", "", TargetExistsCode::Rename, true, "music/a-1_2.mp3"},
        {"%F%-%P%.mp3", "", policy(0), true, "music/a-1_2.mp3"},  // unknown codes rename
        {"%F%-%P%.mp3", "", TargetExistsCode::Overwrite, true, "music/a-1.mp3"},
        {"%F%-%P%.mp3", "", TargetExistsCode::Skip, false, "Target exists and skipped"},
        // The source itself is never the target.
        {"%F%.mp3", "", TargetExistsCode::Rename, true, "music/a_1.mp3"},
        {"%F%.mp3", "", TargetExistsCode::Overwrite, false, "Target file name is same as original file"},
        {"%F%.mp3", viaSub, TargetExistsCode::Overwrite, false, "Target file name is same as original file"},
        // On a case-sensitive file system A.mp3 is another file.
        {"A.mp3", "", TargetExistsCode::Overwrite, true, "music/A.mp3"},
        {"%F%-%P%", "", TargetExistsCode::Rename, true, "music/a-1"},
        {"sub", "", TargetExistsCode::Rename, true, "music/sub_1"},
        // A folder in the way cannot be overwritten.
        {"dir-%P%.mp3", "", TargetExistsCode::Overwrite, false, "Failed to create file"},
    };
    for (const Case& c : cases) {
        SplitPlacement placement;
        placement.OutputFileName = c.nameTemplate;
        placement.TargetExistsOpt = c.existsOpt;
        if (!c.folder.empty()) {
            placement.OutputFolderOpt = OutputFolderCode::Specific;
            placement.SpecifiedOutputFolder = c.folder;
        }
        const Outcome outcome = Split(placement, m_source);
        EXPECT_EQ(outcome.ok, c.ok) << c.nameTemplate << " " << outcome.error;
        if (c.ok) {
            EXPECT_EQ(outcome.path, m_dir / c.expected) << c.nameTemplate;
        } else {
            EXPECT_TRUE(outcome.error.starts_with(c.expected)) << outcome.error;
        }
    }
    EXPECT_EQ(ReadFileBytes(m_source), kSourceBytes);
    for (const char* name : {"a-1.mp3", "a-1_1.mp3", "A.mp3"}) {
        EXPECT_EQ(ReadFileBytes(m_dir / "music" / name), kOtherBytes) << name;
    }
    EXPECT_EQ(Tree(m_dir / "music"),
              (std::vector<std::string>{"A.mp3", "a-1.mp3", "a-1_1.mp3", "a.mp3", "dir-1.mp3", "sub"}));
}

// The probe fails on a folder that cannot be made below a file, naming the path.
TEST_F(OutputPathTest, ProbeReportsAnUnwritablePath) {
    WriteFileBytes(m_dir / "music" / "a", {1});  // where the folder per file would go
    SplitPlacement placement;
    placement.CreateFolderForEachMP3 = true;
    const Outcome outcome = Split(placement, m_source);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, "Failed to create file \"" + (m_dir / "music" / "a" / "a-1.mp3").string() + "\"");
}

TEST_F(OutputPathTest, ProbeRefusesAReadOnlyTarget) {
    // Refused by its permission bits, so even root (who may open it) never replaces it.
    const fs::path target = m_dir / "music" / "a-1.mp3";
    WriteFileBytes(target, kOtherBytes);
    fs::permissions(target, fs::perms::owner_read);
    SplitPlacement placement;
    placement.TargetExistsOpt = TargetExistsCode::Overwrite;
    EXPECT_EQ(Split(placement, m_source).error, "Failed to create file \"" + target.string() + "\"");
    EXPECT_EQ(ReadFileBytes(target), kOtherBytes);
}

// The names created in folder while probe runs, as the kernel reports them.
std::vector<std::string> NamesCreatedDuring(const fs::path& folder, const std::function<void()>& probe) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(watch, 0);
    EXPECT_GE(inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0);
    probe();
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0) names.emplace_back(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    return names;
}

// The probe never makes a file under the output's own name, which must only ever appear on a
// complete output (a run killed during the probe would leave an empty file there); it works
// with the hidden temporary name, and leaves nothing. Both a new and an existing target.
TEST_F(OutputPathTest, ProbeNeverCreatesTheTargetName) {
    for (const bool targetExists : {false, true}) {
        const fs::path target = m_dir / "music" / "a-1.mp3";
        if (targetExists) WriteFileBytes(target, kOtherBytes);
        const std::vector<std::string> created =
            NamesCreatedDuring(m_dir / "music", [&] { EXPECT_TRUE(CanWriteOutput(target)); });
        ASSERT_EQ(created.size(), 1u) << targetExists;
        EXPECT_EQ(created[0].rfind(".a-1.mp3.", 0), 0u) << created[0];
        EXPECT_TRUE(created[0].ends_with(".part")) << created[0];
        const std::vector<std::string> expected =
            targetExists ? std::vector<std::string>{"a-1.mp3", "a.mp3"} : std::vector<std::string>{"a.mp3"};
        EXPECT_EQ(Tree(m_dir / "music"), expected);
        if (targetExists) {
            EXPECT_EQ(ReadFileBytes(target), kOtherBytes);
        }
    }
}

// The source's tag is read once per piece, and only when the template asks for a tag field.
TEST_F(OutputPathTest, ReadsTheTagOncePerPieceWhenNeeded) {
    int calls = 0;
    const TagReader reader = [&calls](const fs::path&, TagInfo* tag) {
        ++calls;
        tag->artist = "Band";
        tag->title = "Song";
        return true;
    };
    SplitPlacement placement;
    placement.OutputFileName = "%A%-%I%-%S%.mp3";
    EXPECT_EQ(Split(placement, m_source, 1, 3, 11, reader).path, m_dir / "music" / "Band-Song-11.mp3");
    EXPECT_EQ(calls, 1);
    placement.OutputFileName = "%F%-%S%.mp3";
    EXPECT_EQ(Split(placement, m_source, 2, 3, 12, reader).path, m_dir / "music" / "a-12.mp3");
    EXPECT_EQ(calls, 1);

    // A reader that throws fails the resolution instead of escaping from it.
    placement.OutputFileName = "%I%.mp3";
    const Outcome thrown = Split(placement, m_source, 1, 3, 1, [](const fs::path&, TagInfo*) -> bool {
        throw std::runtime_error("tag library failure");
    });
    EXPECT_FALSE(thrown.ok);
    EXPECT_EQ(thrown.error, "Failed to create file \"" + m_source.string() + "\"");
    EXPECT_EQ(Tree(m_dir / "music"), std::vector<std::string>{"a.mp3"});
}

// A real MP3 file with an ID3v2 tag supplies the tag fields through the stream layer's reader;
// an untagged one gives empty fields.
TEST_F(OutputPathTest, NamesPiecesFromARealTag) {
    fixtures::Id3v2Spec tag;
    tag.title = "AC/DC: Live?";
    tag.artist = "Band";
    tag.track = "07/12";
    const Bytes frames = fixtures::EncodeMp3({.seconds = 0.3});
    WriteFileBytes(m_dir / "music" / "tagged.mp3", fixtures::Concat({fixtures::MakeId3v2Tag(tag), frames}));
    WriteFileBytes(m_dir / "music" / "plain.mp3", frames);
    SplitPlacement placement;
    placement.OutputFileName = "%A%-%I%-%N%-%P%.mp3";
    fs::path path;
    std::string error;
    ASSERT_TRUE(
        ResolveSplitOutputPath(placement, m_dir / "music" / "tagged.mp3", PieceNumbers{2, 3, 2, 0}, &path, &error));
    EXPECT_EQ(path, m_dir / "music" / "Band-AC DC  Live -7-2.mp3");
    ASSERT_TRUE(
        ResolveSplitOutputPath(placement, m_dir / "music" / "plain.mp3", PieceNumbers{1, 3, 1, 0}, &path, &error));
    EXPECT_EQ(path, m_dir / "music" / "---1.mp3");
}

// Join names: "<title>[_joined].mp3" beside the main file or in the chosen folder.
TEST_F(OutputPathTest, NamesJoinOutputs) {
    fs::create_directory(m_dir / "out");
    WriteFileBytes(m_dir / "out" / "a_joined.mp3", kOtherBytes);
    struct Case {
        bool specific;
        bool postfix;
        TargetExistsCode existsOpt;
        bool ok;
        const char* expected;
    };
    const Case cases[] = {
        {false, false, TargetExistsCode::Rename, true, "music/a_1.mp3"},
        {false, false, TargetExistsCode::Overwrite, false, "Target file name is same as original file"},
        {false, false, TargetExistsCode::Skip, false, "Target exists and skipped"},
        {false, true, TargetExistsCode::Rename, true, "music/a_joined.mp3"},
        {true, true, TargetExistsCode::Rename, true, "out/a_joined_1.mp3"},
        {true, true, TargetExistsCode::Overwrite, true, "out/a_joined.mp3"},
        {true, false, TargetExistsCode::Skip, true, "out/a.mp3"},
    };
    for (const Case& c : cases) {
        JoinPlacement placement;
        placement.OutputFolderOpt = c.specific ? OutputFolderCode::Specific : OutputFolderCode::SameAsSource;
        placement.SpecifiedOutputFolder = (m_dir / "out").string();
        placement.AddPostfixAtEndOfFile = c.postfix;
        placement.TargetExistsOpt = c.existsOpt;
        const Outcome outcome = Join(placement, m_source);
        EXPECT_EQ(outcome.ok, c.ok) << c.expected;
        EXPECT_EQ(c.ok ? (outcome.path).string() : outcome.error, c.ok ? (m_dir / c.expected).string() : c.expected);
    }
    EXPECT_EQ(ReadFileBytes(m_dir / "out" / "a_joined.mp3"), kOtherBytes);
    EXPECT_EQ(Tree(m_dir / "out"), (std::vector<std::string>{"a_joined.mp3"}));
}

}  // namespace
}  // namespace qm
