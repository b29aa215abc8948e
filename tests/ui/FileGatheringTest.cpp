// Folder search order and dropped items, with shortcuts built in the Shell Link layout.
#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "ui/widgets/FileGathering.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;

void PutU32(Bytes* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A minimal shortcut: the 76-byte header with the link-info flag, a LinkInfo holding a
// VolumeID and the local base path, and the terminal block.
Bytes Shortcut(const std::string& localPath) {
    Bytes out;
    PutU32(&out, 0x4C);
    const Bytes clsid = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    out.insert(out.end(), clsid.begin(), clsid.end());
    PutU32(&out, 0x02);  // HasLinkInfo
    PutU32(&out, 0x20);  // archive attribute: a file
    out.resize(out.size() + 32);
    PutU32(&out, 1);
    out.resize(76);
    const std::uint32_t base = 0x1C + 0x11;
    const std::uint32_t suffix = base + static_cast<std::uint32_t>(localPath.size()) + 1;
    for (std::uint32_t v : {suffix + 1, 0x1Cu, 0x01u, 0x1Cu, base, 0u, suffix, 0x11u, 3u, 0x12345678u, 0x10u}) {
        PutU32(&out, v);
    }
    out.push_back(0);
    out.insert(out.end(), localPath.begin(), localPath.end());
    out.insert(out.end(), {0, 0, 0, 0, 0, 0});
    return out;
}

// A folder with A.mp3, a shortcut to C.mp3 stored elsewhere and a subfolder with B.mp3 gives
// A, then C, then B; a shortcut to a text file and other files are ignored.
TEST(FileGatheringTest, FolderSearchTakesFilesThenShortcutTargetsThenSubfolders) {
    fixtures::TempDir dir;
    fs::create_directories(dir / "music/sub");
    fs::create_directories(dir / "elsewhere");
    fixtures::WriteFileBytes(dir / "music/A.mp3", {1});
    fixtures::WriteFileBytes(dir / "music/notes.txt", {1});
    fixtures::WriteFileBytes(dir / "music/sub/B.mp3", {1});
    fixtures::WriteFileBytes(dir / "elsewhere/C.mp3", {1});
    fixtures::WriteFileBytes(dir / "music/C.lnk", Shortcut((dir / "elsewhere/C.mp3").string()));
    fixtures::WriteFileBytes(dir / "music/T.lnk", Shortcut((dir / "elsewhere/T.txt").string()));

    PathList files;
    SearchFolders(dir / "music", &files);
    const PathList expected = {dir / "music/A.mp3", dir / "elsewhere/C.mp3", dir / "music/sub/B.mp3"};
    EXPECT_EQ(files, expected);

    // Dropping the folder and a loose file gives the same, then the file.
    const PathList dropped = GatherDroppedPaths({dir / "music", dir / "elsewhere/C.mp3", dir / "music/notes.txt"});
    PathList withFile = expected;
    withFile.push_back(dir / "elsewhere/C.mp3");
    EXPECT_EQ(dropped, withFile);
}

}  // namespace
}  // namespace qm
