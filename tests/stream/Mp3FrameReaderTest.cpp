#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "fixtures/Fixtures.h"
#include "stream/Mp3FrameReader.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::Concat;
using fixtures::Junk;
using fixtures::MakeRawFrame;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

struct Seen {
    std::uint64_t offset;
    int frameBytes;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> WalkAll(Mp3FrameReader& reader) {
    std::vector<Seen> seen;
    Mp3FrameHeader header;
    while (const std::uint8_t* frame = reader.NextFrame(&header)) {
        // The returned bytes are the frame itself, header first.
        EXPECT_EQ(frame[0], 0xFF);
        seen.push_back({header.frameOffset, header.frameBytes});
    }
    return seen;
}

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes, 418 padded.
Bytes Frame417() { return MakeRawFrame(3, 1, 9, 0, 0, 1); }
Bytes Frame418() { return MakeRawFrame(3, 1, 9, 0, 1, 1); }
// A 48-byte frame (MPEG-2.5 Layer III, 8 kbit/s, 12 kHz): small enough to hide in a tag.
Bytes Frame48() { return MakeRawFrame(0, 1, 1, 1, 0, 3); }

// An ID3v1 tag whose title holds a whole small frame: the reader does not know ID3v1, so
// those bytes are searched like any others.
Bytes Id3v1HidingAFrame() {
    Bytes tag = fixtures::MakeId3v1Tag("", "artist", "album", "1999", "comment", 3, 12);
    const Bytes frame = Frame48();
    std::copy(frame.begin(), frame.end(), tag.begin() + 3);
    return tag;
}

// A header that passes every test but whose frame the file does not hold completely.
Bytes CutFrame() {
    Bytes frame = Frame417();
    frame.resize(200);
    return frame;
}

// Bytes that look like a header but fail one of the seven tests, followed by zeros.
Bytes Rejected(int versionBits, int layerBits, int bitRateIndex, int sampleRateIndex, int emphasis) {
    Bytes bytes = fixtures::MakeRawHeader(versionBits, layerBits, bitRateIndex, sampleRateIndex, 0, 1, emphasis);
    bytes.resize(20, 0);
    return bytes;
}

struct WalkCase {
    const char* name;
    Bytes file;
    std::vector<Seen> expected;
};

std::vector<WalkCase> WalkCases() {
    const Bytes a = Frame417();
    const Bytes b = Frame418();
    return {
        {"back_to_back", Concat({a, b, a}), {{0, 417}, {417, 418}, {835, 417}}},
        {"junk_before", Concat({Junk(123), a, b}), {{123, 417}, {540, 418}}},
        {"junk_between", Concat({a, Junk(77), b}), {{0, 417}, {494, 418}}},
        {"rejected_headers_skipped",
         Concat({Rejected(3, 1, 0, 0, 0), Rejected(3, 1, 15, 0, 0), Rejected(3, 1, 9, 3, 0), Rejected(1, 1, 9, 0, 0),
                 Rejected(3, 0, 9, 0, 0), Rejected(3, 1, 9, 0, 2), a}),
         {{120, 417}}},
        {"truncated_last_frame_not_returned", Concat({a, b, CutFrame()}), {{0, 417}, {417, 418}}},
        {"trailing_id3v1_scanned_as_bytes", Concat({a, Id3v1HidingAFrame()}), {{0, 417}, {420, 48}}},
        {"layer1_padded_36_bytes", Concat({MakeRawFrame(3, 3, 1, 1, 1, 0), a}), {{0, 36}, {36, 417}}},
        {"mpeg2_24_bytes",
         Concat({MakeRawFrame(2, 1, 1, 1, 0, 0), MakeRawFrame(2, 1, 1, 1, 0, 0)}),
         {{0, 24}, {24, 24}}},
        {"nothing_but_junk", Junk(5000), {}},
        {"three_bytes", Bytes{0xFF, 0xFB, 0x90}, {}},
    };
}

class WalkTest : public testing::TestWithParam<WalkCase> {};

TEST_P(WalkTest, ReturnsEveryWholeFrameAtItsOffset) {
    const WalkCase& c = GetParam();
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", c.file);
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.OpenRaw(dir / "f.mp3"));
    EXPECT_EQ(WalkAll(reader), c.expected);
    // After the walk the position is just past the last frame returned.
    const std::uint64_t end = c.expected.empty() ? 0 : c.expected.back().offset + c.expected.back().frameBytes;
    EXPECT_EQ(reader.Position(), end);
    // The end stays the end.
    EXPECT_EQ(reader.NextFrame(nullptr), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Frames, WalkTest, testing::ValuesIn(WalkCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The out-parameters, the reader's own figures and the frame bytes agree with the header.
TEST(Mp3FrameReaderTest, ReportsTheFrameThroughEveryChannel) {
    TempDir dir;
    const Bytes mono22k = MakeRawFrame(2, 1, 8, 0, 1, 3);  // MPEG-2 L3 64 kbit/s 22.05 kHz mono
    Bytes file = Concat({Junk(10), mono22k});
    file[10 + 100] = 0xAB;  // a marker inside the frame body
    WriteFileBytes(dir / "f.mp3", file);
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.OpenRaw(dir / "f.mp3"));
    int rateHz = 0, kbps = 0, frameBytes = 0, samples = 0;
    std::uint64_t offset = 0;
    const std::uint8_t* frame = reader.NextFrame(&rateHz, &kbps, &frameBytes, &samples, &offset);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(rateHz, 22050);
    EXPECT_EQ(kbps, 64);
    EXPECT_EQ(frameBytes, 209);
    EXPECT_EQ(samples, 576);
    EXPECT_EQ(offset, 10u);
    EXPECT_EQ(frame[100], 0xAB);
    EXPECT_EQ(reader.ChannelMode(), ChannelMode::Mono);
    EXPECT_EQ(reader.SideInfoBytes(), 9);
    EXPECT_EQ(reader.SampleRateHz(), 22050);
    EXPECT_EQ(reader.Position(), 219u);
}

// Stepping back re-reads the same frames (the split engines step back three frames), and a
// seek far away drops the buffered window.
TEST(Mp3FrameReaderTest, SeekRereadsFromAnyOffset) {
    TempDir dir;
    std::vector<Bytes> frames;
    for (int i = 0; i < 400; ++i) frames.push_back(i % 2 ? Frame418() : Frame417());
    WriteFileBytes(dir / "f.mp3", Concat(frames));
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.OpenRaw(dir / "f.mp3"));
    const std::vector<Seen> all = WalkAll(reader);
    ASSERT_EQ(all.size(), 400u);
    for (const std::size_t index : {3u, 399u, 0u, 250u, 1u}) {
        reader.Seek(all[index].offset);
        EXPECT_EQ(reader.Position(), all[index].offset);
        Mp3FrameHeader header;
        ASSERT_NE(reader.NextFrame(&header), nullptr);
        EXPECT_EQ(header.frameOffset, all[index].offset);
        EXPECT_EQ(header.frameBytes, all[index].frameBytes);
    }
    // A seek into the middle of a frame hunts for the next header.
    reader.Seek(all[10].offset + 1);
    Mp3FrameHeader header;
    ASSERT_NE(reader.NextFrame(&header), nullptr);
    EXPECT_EQ(header.frameOffset, all[11].offset);
}

// CopyRange copies exactly the bytes asked for and leaves the reader after them.
TEST(Mp3FrameReaderTest, CopyRangeCopiesExactBytes) {
    TempDir dir;
    const Bytes data = Concat({Junk(70000, 7), Frame417(), Junk(90000, 8)});
    WriteFileBytes(dir / "src.bin", data);
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.OpenRaw(dir / "src.bin"));
    const std::pair<std::uint64_t, std::uint64_t> ranges[] = {{0, 10}, {100, 140000}, {69999, 419}, {160000, 417}};
    for (const auto& [offset, length] : ranges) {
        File out;
        ASSERT_TRUE(out.Create(dir / "out.bin"));
        EXPECT_TRUE(reader.CopyRange(out, offset, length));
        out.Close();
        EXPECT_EQ(reader.Position(), offset + length);
        EXPECT_EQ(fixtures::ReadFileBytes(dir / "out.bin"),
                  Bytes(data.begin() + offset, data.begin() + offset + length));
    }
    // The frame after a copied range is found from where the copy ended.
    File out;
    ASSERT_TRUE(out.Create(dir / "out.bin"));
    ASSERT_TRUE(reader.CopyRange(out, 0, 69000));
    Mp3FrameHeader header;
    ASSERT_NE(reader.NextFrame(&header), nullptr);
    EXPECT_EQ(header.frameOffset, 70000u);
    // A range past the end of the source is reported.
    EXPECT_FALSE(reader.CopyRange(out, data.size() - 5, 10));
}

// 64-bit offsets: a sparse file whose frames lie past 4 GiB.
TEST(Mp3FrameReaderTest, ReportsOffsetsBeyondFourGiB) {
    TempDir dir;
    constexpr std::uint64_t kFar = (4ull << 30) + 1000;
    const Bytes frames = Concat({Frame417(), Frame418()});
    {
        File file;
        ASSERT_TRUE(file.Create(dir / "big.mp3"));
        ASSERT_EQ(::ftruncate(file.Descriptor(), static_cast<off_t>(kFar)), 0);
        ASSERT_TRUE(file.Seek(kFar));
        ASSERT_TRUE(file.Write(frames.data(), frames.size()));
    }
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.OpenRaw(dir / "big.mp3"));
    EXPECT_EQ(reader.FileSize(), kFar + 835);
    reader.Seek(kFar - 100);  // zeros before the frames are hunted through
    EXPECT_EQ(WalkAll(reader), (std::vector<Seen>{{kFar, 417}, {kFar + 417, 418}}));
    EXPECT_EQ(reader.Position(), kFar + 835);
}

TEST(Mp3FrameReaderTest, ClosedReaderReturnsNothing) {
    Mp3FrameReader reader;
    EXPECT_EQ(reader.NextFrame(nullptr), nullptr);
    EXPECT_EQ(reader.ChannelMode(), std::nullopt);
    TempDir dir;
    EXPECT_FALSE(reader.OpenRaw(dir / "missing.mp3"));
    EXPECT_FALSE(reader.IsOpen());
}

// Opened for its format only, a file is read from the same audio start, with the same
// Xing/Info frame and first frame, as after the full analysis: behind a tag, behind junk,
// behind an Info frame.
TEST(Mp3FrameReaderTest, FormatOnlyOpenStartsWhereTheAnalysisDoes) {
    TempDir dir;
    fixtures::EncodeSpec spec = fixtures::StreamSpec(1.0, fixtures::Signal::Tone);
    const Bytes plain = fixtures::EncodeMp3(spec);
    spec.xing = fixtures::XingFrame::Yes;
    const Bytes withInfo = fixtures::EncodeMp3(spec);
    const Bytes files[] = {plain, Concat({fixtures::MakeId3v2Tag({}), withInfo}), Concat({Junk(700), plain})};
    for (const Bytes& file : files) {
        WriteFileBytes(dir / "f.mp3", file);
        Mp3FrameReader full;
        Mp3FrameReader fast;
        ASSERT_TRUE(full.Open(dir / "f.mp3"));
        ASSERT_TRUE(fast.Open(dir / "f.mp3", Mp3FrameReader::Measure::FormatOnly));
        EXPECT_EQ(fast.AudioStart(), full.AudioStart());
        EXPECT_EQ(fast.InfoFrame(), full.InfoFrame());
        EXPECT_EQ(fast.LastHeader().frameOffset, full.LastHeader().frameOffset);
        EXPECT_EQ(fast.Position(), full.Position());
        EXPECT_EQ(fast.DurationSeconds(), 0);
        EXPECT_GT(full.DurationSeconds(), 0);
    }
    WriteFileBytes(dir / "f.mp3", Junk(5000));
    Mp3FrameReader fast;
    EXPECT_FALSE(fast.Open(dir / "f.mp3", Mp3FrameReader::Measure::FormatOnly));
}

}  // namespace
}  // namespace qm
