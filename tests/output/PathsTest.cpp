// Path helpers: folder and title of a path, rename numbers, mirrored trees, folder creation.

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "output/Paths.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

TEST(PathTextTest, FolderTitleAndRenameNumber) {
    struct FolderCase {
        const char* path;
        bool ok;
        const char* folder;
    };
    const FolderCase folders[] = {{"/music/a/x.mp3", true, "/music/a/"},
                                  {"/x.mp3", true, "/"},
                                  {"a/", true, "a/"},
                                  {"x.mp3", false, "untouched"}};
    for (const FolderCase& c : folders) {
        fs::path folder = "untouched";
        EXPECT_EQ(FolderOfPath(c.path, &folder), c.ok) << c.path;
        EXPECT_EQ(folder, c.folder) << c.path;
    }

    const std::pair<const char*, const char*> titles[] = {
        {"/m/song.mp3", "song"}, {"a.b.mp3", "a.b"}, {"/m.d/song", "song"}, {"/m/.mp3", ""}, {"x.MP3", "x"}};
    for (const auto& [path, title] : titles) EXPECT_EQ(FileTitleOf(path), title) << path;

    struct RenameCase {
        const char* name;
        int number;
        const char* renamed;
    };
    const RenameCase renames[] = {{"song-1.mp3", 1, "song-1_1.mp3"},
                                  {"piece7", 1, "piece7_1"},
                                  {"a.b.mp3", 12, "a.b_12.mp3"},
                                  {".mp3", 2, "_2.mp3"},
                                  {"", 1, "_1"}};
    for (const RenameCase& c : renames) {
        EXPECT_EQ(InsertNumberBeforeExtension(c.name, c.number), c.renamed) << c.name;
    }
}

TEST(PathTextTest, MirroredFolderIsRelativeWithoutColonsOrDoubledSeparators) {
    const std::pair<const char*, const char*> cases[] = {{"/music/a/", "music/a/"},
                                                         {"//server/share/", "server/share/"},
                                                         {"/a//b///c/", "a/b/c/"},
                                                         {"/c:/d:x/", "c/dx/"},
                                                         {"", ""},
                                                         {"rel/", "rel/"}};
    for (const auto& [source, mirrored] : cases) EXPECT_EQ(MirroredFolderText(source), mirrored);
}

TEST(FileStateTest, ExistsAndFolderTests) {
    TempDir dir;
    WriteFileBytes(dir / "file", {1});
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "folder", dir / "folderLink");
    fs::create_symlink(dir / "missing", dir / "dangling");
    struct Case {
        const char* name;
        bool exists;
        bool folder;
    };
    const Case cases[] = {{"file", true, false},
                          {"folder", true, true},
                          {"folderLink", true, true},
                          {"dangling", true, false},
                          {"missing", false, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(FileExists(dir / c.name), c.exists) << c.name;
        EXPECT_EQ(IsFolder(dir / c.name), c.folder) << c.name;
    }
}

TEST(CreateFolderTreeTest, CreatesEveryLevelOrStopsAtAFile) {
    TempDir dir;
    WriteFileBytes(dir / "blocker", {1});
    fs::create_directories(dir / "have" / "some");
    struct Case {
        std::string relative;
        bool ok;
        const char* mustExist;
    };
    const Case cases[] = {
        {"x/y/z/", true, "x/y/z"},
        {"p/q", true, "p/q"},
        {"have/some/more/", true, "have/some/more"},
        {"have//doubled/", true, "have/doubled"},
        // A level that is a file stops the walk; nothing below it is attempted.
        {"blocker/sub/", false, nullptr},
        {"blocker", false, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreateFolderTree(dir.Path().string() + "/" + c.relative), c.ok) << c.relative;
        if (c.mustExist != nullptr) {
            EXPECT_TRUE(IsFolder(dir / c.mustExist)) << c.relative;
        }
    }
    EXPECT_FALSE(EnsureFolder(dir / "absent", CreateMissing::No));
    EXPECT_FALSE(FileExists(dir / "absent"));
    EXPECT_TRUE(EnsureFolder(dir / "absent", CreateMissing::Yes));
    EXPECT_TRUE(EnsureFolder(dir / "absent", CreateMissing::No));
}

}  // namespace
}  // namespace qm
