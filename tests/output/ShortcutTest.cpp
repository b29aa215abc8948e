// Shell-link shortcuts, built byte by byte in the Shell Link binary layout.

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "output/Shortcut.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

void PutU32(Bytes* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

constexpr std::uint32_t kHasLinkInfo = 0x02;         // LinkFlags bit
constexpr std::uint32_t kAttributeDirectory = 0x10;  // FileAttributes bits
constexpr std::uint32_t kAttributeArchive = 0x20;

// The 76-byte ShellLinkHeader: size 0x4C, the shell-link CLSID, flags, target attributes, three
// file times, size, icon index, show command, hot key and reserved fields (all zero here).
Bytes Header(std::uint32_t linkFlags, std::uint32_t attributes) {
    Bytes out;
    PutU32(&out, 0x4C);
    // CLSID 00021401-0000-0000-C000-000000000046, its first three groups little-endian.
    const Bytes clsid = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    out.insert(out.end(), clsid.begin(), clsid.end());
    PutU32(&out, linkFlags);
    PutU32(&out, attributes);
    out.resize(out.size() + 24 + 4 + 4);  // creation, access, write times; size; icon index
    PutU32(&out, 1);                      // show command: normal window
    out.resize(76);                       // hot key and reserved fields
    return out;
}

// A LinkInfo structure with a VolumeID (fixed drive, empty label) and a LocalBasePath; the
// CommonPathSuffix is empty.
Bytes LinkInfo(const std::string& localBasePath) {
    constexpr std::uint32_t kHeaderSize = 0x1C;
    constexpr std::uint32_t kVolumeIdSize = 0x11;  // 16 bytes of fields and the empty label
    const std::uint32_t baseOffset = kHeaderSize + kVolumeIdSize;
    const std::uint32_t suffixOffset = baseOffset + static_cast<std::uint32_t>(localBasePath.size()) + 1;
    Bytes out;
    PutU32(&out, suffixOffset + 1);  // LinkInfoSize
    PutU32(&out, kHeaderSize);
    PutU32(&out, 0x01);          // VolumeIDAndLocalBasePath
    PutU32(&out, kHeaderSize);   // VolumeIDOffset
    PutU32(&out, baseOffset);    // LocalBasePathOffset
    PutU32(&out, 0);             // CommonNetworkRelativeLinkOffset
    PutU32(&out, suffixOffset);  // CommonPathSuffixOffset
    PutU32(&out, kVolumeIdSize);
    PutU32(&out, 3);           // DRIVE_FIXED
    PutU32(&out, 0x12345678);  // serial number
    PutU32(&out, 0x10);        // VolumeLabelOffset
    out.push_back(0);          // empty label
    out.insert(out.end(), localBasePath.begin(), localBasePath.end());
    out.push_back(0);
    out.push_back(0);  // empty CommonPathSuffix
    return out;
}

Bytes Terminal() { return {0, 0, 0, 0}; }  // TerminalBlock of ExtraData

Bytes Shortcut(const std::string& localPath, std::uint32_t attributes = kAttributeArchive) {
    return fixtures::Concat({Header(kHasLinkInfo, attributes), LinkInfo(localPath), Terminal()});
}

TEST(ResolveShortcutTest, ReadsTheTargetOfWellFormedLinks) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* target;
    };
    const Case cases[] = {
        {"posix.lnk", Shortcut("/srv/music/x.mp3"), "/srv/music/x.mp3"},
        {"windows.lnk", Shortcut("C:\\Music\\song.mp3"), "C:/Music/song.mp3"},
        // The path is stored in the Windows-1252 code page and comes back as UTF-8.
        {"accent.lnk", Shortcut("/m/caf\xE9.mp3"), "/m/caf\xC3\xA9.mp3"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFileBytes(dir / c.name, c.bytes);
        fs::path target;
        EXPECT_TRUE(ResolveShortcut(dir / c.name, &target)) << c.name;
        EXPECT_EQ(target.string(), c.target) << c.name;
    }
}

TEST(ResolveShortcutTest, RejectsWhatIsNoFileShortcut) {
    Bytes truncated = Shortcut("/srv/music/x.mp3");
    truncated.resize(90);
    Bytes badClsid = Shortcut("/srv/music/x.mp3");
    badClsid[4] ^= 0xFF;
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty.lnk", {}},
        {"junk.lnk", fixtures::Junk(300)},
        {"clsid.lnk", badClsid},
        {"truncated.lnk", truncated},
        {"nolinkinfo.lnk", fixtures::Concat({Header(0, kAttributeArchive), Terminal()})},
        {"folder.lnk", Shortcut("/srv/music", kAttributeDirectory)},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFileBytes(dir / c.name, c.bytes);
        fs::path target = "stale";
        EXPECT_FALSE(ResolveShortcut(dir / c.name, &target)) << c.name;
        EXPECT_TRUE(target.empty()) << c.name;
    }
    fs::path target;
    EXPECT_FALSE(ResolveShortcut(dir / "missing.lnk", &target));
}

}  // namespace
}  // namespace qm
