// A file past 4 GiB through quillmere-cli: info counts every frame and places the audio start,
// and a direct split into three pieces copies the source's frames, every one of them, in order.
// The file (4.3 GB) is written for real on the temporary folder's disk, so the test needs that
// much free space twice over (source and pieces) and skips with a message when it is not there.
// Each frame carries its own number in its main data, so any frame lost, repeated out of place
// or cut at a 32-bit boundary shows.

#include <gtest/gtest.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/ByteOrder.h"
#include "stream/XingFrame.h"

namespace qm::fixtures {
namespace {

using qm::ParseXingLayout;
using qm::XingLayout;
using Json = nlohmann::json;

// MPEG-1 Layer III, 320 kbit/s at 32 kHz, stereo, no padding: every frame is 144 * 320000 /
// 32000 = 1440 bytes of 1152 samples, so a frame's offset is a plain product.
constexpr int kRateHz = 32000;
constexpr std::uint64_t kFrameBytes = 1440;
constexpr std::uint64_t kSamplesPerFrame = 1152;
// The frame number sits right after the 32 bytes of side information, in the main data, which
// an all-zero side information (no bits of any granule) leaves unread: the frames decode to
// silence.
constexpr std::size_t kNumberOffset = 4 + 32;
// 4.3 GB of frames: the offsets of the last few thousand do not fit 32 bits.
constexpr std::uint64_t kFrameCount = 2'986'200;
constexpr std::uint64_t kFramesPerWrite = 4096;  // 5.6 MiB per write, whatever the file's size
constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;
static_assert(kFrameCount * kFrameBytes > kFourGiB, "the last frames lie past 4 GiB");
// At most this many frames are carried from one piece into the next (for the bit reservoir).
constexpr std::uint64_t kMaxRepeatedFrames = 3;
constexpr std::uintmax_t kSpareBytes = std::uintmax_t{512} << 20;  // left free for everyone else
constexpr long kTmpfsMagic = 0x01021994;

// Frame `number` of the source.
void FillFrame(std::uint8_t* frame, const Bytes& header, std::uint32_t number) {
    std::memset(frame, 0, kFrameBytes);
    std::memcpy(frame, header.data(), header.size());
    WriteBigEndian32(frame + kNumberOffset, number);
}

Bytes SourceHeader() { return MakeRawHeader(3, 1, 14, 2, 0, 0); }

Bytes LeadingTag() {
    Id3v2Spec tag;
    tag.title = "Past four gibibytes";
    tag.paddingBytes = 1000;
    return MakeId3v2Tag(tag);
}

// Why the test cannot run here, or nothing.
std::optional<std::string> MissingRoom(const std::filesystem::path& folder, std::uint64_t sourceBytes) {
    struct statfs fs {};
    if (statfs(folder.c_str(), &fs) == 0 && fs.f_type == kTmpfsMagic) {
        return "the temporary folder " + folder.string() + " is in memory (tmpfs); set TMPDIR to a folder on a disk";
    }
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(folder, ec);
    const std::uintmax_t needed = 2 * sourceBytes + kSpareBytes;
    if (ec || space.available < needed) {
        return "needs " + std::to_string(needed >> 20) + " MiB free under " + folder.string() + ", has " +
               std::to_string(ec ? 0 : space.available >> 20) + " MiB";
    }
    return std::nullopt;
}

class PastFourGiB : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_source = s_dir->Path() / "long.mp3";
        s_tagBytes = LeadingTag().size();
        s_skip = MissingRoom(s_dir->Path(), s_tagBytes + kFrameCount * kFrameBytes);
        if (!s_skip) WriteSource();
    }
    static void TearDownTestSuite() {
        delete s_dir;  // the source and every piece with it
        s_dir = nullptr;
    }
    void SetUp() override {
        if (s_skip) GTEST_SKIP() << *s_skip;
        ASSERT_TRUE(s_written) << "the source could not be written";
    }

    static void WriteSource() {
        std::ofstream out(s_source, std::ios::binary | std::ios::trunc);
        const Bytes tag = LeadingTag();
        out.write(reinterpret_cast<const char*>(tag.data()), static_cast<std::streamsize>(tag.size()));
        const Bytes header = SourceHeader();
        std::vector<std::uint8_t> block(kFramesPerWrite * kFrameBytes);
        for (std::uint64_t first = 0; first < kFrameCount && out; first += kFramesPerWrite) {
            const std::uint64_t count = std::min(kFramesPerWrite, kFrameCount - first);
            for (std::uint64_t i = 0; i < count; ++i) {
                FillFrame(&block[i * kFrameBytes], header, static_cast<std::uint32_t>(first + i));
            }
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(count * kFrameBytes));
        }
        out.close();
        s_written = static_cast<bool>(out);
    }

    static TempDir* s_dir;
    static std::filesystem::path s_source;
    static std::uint64_t s_tagBytes;
    static std::optional<std::string> s_skip;
    static bool s_written;
};

TempDir* PastFourGiB::s_dir = nullptr;
std::filesystem::path PastFourGiB::s_source;
std::uint64_t PastFourGiB::s_tagBytes = 0;
std::optional<std::string> PastFourGiB::s_skip;
bool PastFourGiB::s_written = false;

// The frames of one piece, read in blocks: each must be the source's frame of its number, and
// the numbers must run on without a gap. A piece may begin with a Xing/Info frame of its own
// (the frame number's place is where its tag sits); its frame count must be the piece's.
// Returns the first and last frame number.
struct PieceFrames {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// The frame count of a Xing/Info frame, or nothing when frame is none or has no count.
std::optional<std::uint32_t> XingFrameCount(const std::uint8_t* frame) {
    const std::span<const std::uint8_t> bytes(frame, kFrameBytes);
    XingLayout layout;
    if (!ParseXingLayout(bytes, &layout) || layout.frameCountOffset == 0) return std::nullopt;
    return ReadBigEndian32(frame + layout.frameCountOffset);
}

PieceFrames CheckPieceFrames(const std::filesystem::path& piece) {
    PieceFrames span;
    const std::uint64_t bytes = std::filesystem::file_size(piece);
    EXPECT_EQ(bytes % kFrameBytes, 0u) << piece << " is not whole frames (no tag expected)";
    EXPECT_GT(bytes, kFrameBytes) << piece;
    std::ifstream in(piece, std::ios::binary);
    const Bytes header = SourceHeader();
    std::vector<std::uint8_t> block(kFramesPerWrite * kFrameBytes);
    std::vector<std::uint8_t> expected(kFrameBytes);
    std::optional<std::uint32_t> countedFrames;
    std::uint64_t index = 0;
    for (std::uint64_t done = 0; done < bytes;) {
        const std::uint64_t want = std::min<std::uint64_t>(block.size(), bytes - done);
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(want));
        if (!in) {
            ADD_FAILURE() << "cannot read " << piece;
            return span;
        }
        std::uint64_t at = 0;
        if (done == 0) {
            countedFrames = XingFrameCount(block.data());
            if (countedFrames) at = kFrameBytes;
        }
        for (; at + kFrameBytes <= want; at += kFrameBytes, ++index) {
            const std::uint32_t number = ReadBigEndian32(&block[at] + kNumberOffset);
            if (index == 0) span.first = number;
            FillFrame(expected.data(), header, static_cast<std::uint32_t>(span.first + index));
            if (std::memcmp(&block[at], expected.data(), kFrameBytes) != 0) {
                ADD_FAILURE() << piece << ": audio frame " << index << " is not source frame " << span.first + index
                              << " (it carries number " << number << ")";
                return span;
            }
        }
        done += want;
    }
    span.last = span.first + index - 1;
    if (countedFrames) {
        EXPECT_EQ(*countedFrames, index) << piece << ": the Xing/Info frame's count";
    }
    return span;
}

// info reads the whole file with 64-bit offsets: the frame count, the length from those frames
// and the size are exact, and the audio starts right after the tag.
TEST_F(PastFourGiB, InfoCountsEveryFrame) {
    const RunResult run = RunProgram(CliPath(), {"info", "--json", s_source.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json info = Json::parse(run.out)["files"][0]["info"];
    const std::uint64_t fileBytes = s_tagBytes + kFrameCount * kFrameBytes;
    EXPECT_EQ(info["size"].get<std::uint64_t>(), fileBytes);
    EXPECT_EQ(info["audioStart"].get<std::uint64_t>(), s_tagBytes);
    EXPECT_EQ(info["frames"].get<std::uint64_t>(), kFrameCount);
    const double seconds = static_cast<double>(kFrameCount * kSamplesPerFrame) / kRateHz;
    EXPECT_DOUBLE_EQ(info["lengthSeconds"].get<double>(), seconds);
    EXPECT_EQ(info["durationSeconds"].get<std::int64_t>(), static_cast<std::int64_t>(seconds));
    EXPECT_EQ(info["sampleRate"].get<int>(), kRateHz);
    EXPECT_EQ(info["averageKbps"].get<int>(), 320);
    EXPECT_TRUE(info["xing"].is_null());
}

// A direct split into three pieces: together they hold every frame of the source in order,
// each piece a run of the source's frames copied byte for byte, the next piece starting where
// the last one ended (or at most a few frames before, for the bit reservoir). The last piece ends
// with the frames that lie beyond 4 GiB in the source.
TEST_F(PastFourGiB, DirectSplitCopiesEveryFrame) {
    const std::filesystem::path out = s_dir->Path() / "pieces";
    const RunResult run =
        RunProgram(CliPath(), {"split", "--count", "3", "--no-tag", "-o", out.string(), "--json", s_source.string()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const Json record = Json::parse(run.out)["files"][0];
    ASSERT_EQ(record["outputs"].size(), 3u) << run.out;

    std::uint64_t nextFrame = 0;
    for (const Json& output : record["outputs"]) {
        const std::filesystem::path piece = output.get<std::string>();
        SCOPED_TRACE(piece.string());
        const PieceFrames frames = CheckPieceFrames(piece);
        EXPECT_LE(frames.first, nextFrame) << "frames left out between pieces";
        EXPECT_GE(frames.first + kMaxRepeatedFrames, nextFrame) << "too many frames repeated";
        EXPECT_GE(frames.last, nextFrame) << "a piece with no frame of its own";
        nextFrame = frames.last + 1;
        std::filesystem::remove(piece);  // room for the next test run, and less for the page cache
    }
    EXPECT_EQ(nextFrame, kFrameCount) << "the last frames are missing";
}

}  // namespace
}  // namespace qm::fixtures
