// Where the MPEG stream's length comes from: a trusted Xing/Info frame (no scan), a scan of
// every frame, or a scan remembered within a ScanMemoScope. Whichever way, the length is what
// libmpg123 decodes.

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "stream/AudioLayer.h"
#include "stream/AudioStreams.h"
#include "stream/XingFrame.h"

namespace qm::audio {
namespace {

using fixtures::Bytes;
using fixtures::Channels;
using fixtures::Concat;
using fixtures::EncodeSpec;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

Bytes Encode(int rateHz, int kbps, Channels channels, bool vbr, double seconds, fixtures::XingFrame xing) {
    EncodeSpec spec = fixtures::StreamSpec(seconds, fixtures::Signal::Sweep, rateHz, kbps, channels);
    spec.vbr = vbr;
    spec.xing = xing;
    return fixtures::EncodeMp3(spec);
}

Bytes WithInfo(int rateHz, int kbps, Channels channels, bool vbr = false, double seconds = 1.5) {
    return Encode(rateHz, kbps, channels, vbr, seconds, fixtures::XingFrame::Yes);
}

Bytes Id3v2() {
    fixtures::Id3v2Spec spec;
    spec.title = "Length";
    spec.paddingBytes = 300;
    return fixtures::MakeId3v2Tag(spec);
}

Bytes Id3v1() { return fixtures::MakeId3v1Tag("Length", "Artist", "Album", "2024", "", 3, 12); }

Bytes Ape() { return fixtures::MakeApeTag({{"Title", "Length"}, {"Artist", "Somebody"}}); }

// The file less its last frames (a file cut short after the counts were written).
Bytes DropLastFrames(const Bytes& mp3, std::size_t frames) {
    const auto spans = fixtures::WalkFrames(mp3, 0);
    const fixtures::FrameSpan& keptEnd = spans[spans.size() - 1 - frames];
    return Bytes(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(keptEnd.offset + keptEnd.bytes));
}

// The Info frame's frame and byte counts replaced.
Bytes WithCounts(Bytes mp3, std::optional<std::uint32_t> frames, std::optional<std::uint32_t> bytes) {
    XingLayout layout;
    const std::uint32_t infoBytes = fixtures::FrameLengthOf(mp3.data());
    EXPECT_TRUE(ParseXingLayout({mp3.data(), infoBytes}, &layout));
    auto put = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) mp3[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    };
    if (frames) put(layout.frameCountOffset, *frames);
    if (bytes) put(layout.byteCountOffset, *bytes);
    return mp3;
}

std::uint32_t FrameCountOf(const Bytes& mp3) {
    XingLayout layout;
    EXPECT_TRUE(ParseXingLayout({mp3.data(), fixtures::FrameLengthOf(mp3.data())}, &layout));
    const std::uint8_t* p = mp3.data() + layout.frameCountOffset;
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

struct LengthCase {
    const char* name;
    Bytes file;
    bool scanned;  // whether the length needs a pass over every frame
    // Whether a decoder that never scans plays exactly that length: not when a stale count
    // claims more frames than there are (the decoder drops the gapless trimming once it has
    // counted them, so one that never counts plays a little less).
    bool asDecoded = true;
};

void PrintTo(const LengthCase& c, std::ostream* out) { *out << c.name; }

std::vector<LengthCase> LengthCases() {
    const Bytes cbr = WithInfo(44100, 128, Channels::JointStereo);
    const Bytes vbr = WithInfo(44100, 0, Channels::Stereo, true);
    const Bytes plain = Encode(44100, 128, Channels::JointStereo, false, 1.0, fixtures::XingFrame::No);
    const std::uint32_t cbrFrames = FrameCountOf(cbr);
    const Bytes mono = Encode(22050, 64, Channels::Mono, false, 1.0, fixtures::XingFrame::No);
    const Bytes mono22k = Encode(22050, 64, Channels::Mono, false, 0.5, fixtures::XingFrame::No);
    // A frame boundary in the middle of the plain stream.
    const auto plainFrames = fixtures::WalkFrames(plain, 0);
    const auto plainHalf = static_cast<std::ptrdiff_t>(plainFrames[plainFrames.size() / 2].offset);
    return {
        {"cbr_info", cbr, false},
        {"vbr_xing", vbr, false},
        {"mpeg2_mono", WithInfo(22050, 64, Channels::Mono), false},
        {"mpeg25_mono", WithInfo(11025, 32, Channels::Mono), false},
        {"48k_stereo_short", WithInfo(48000, 192, Channels::Stereo, false, 0.1), false},
        {"id3v2_before", Concat({Id3v2(), cbr}), false},
        {"id3v1_after", Concat({cbr, Id3v1()}), false},
        {"all_tags", Concat({Id3v2(), vbr, Ape(), Id3v1()}), false},
        {"ape_after", Concat({cbr, Ape()}), false},
        // The byte count counting the tag before the frame, as some encoders write it.
        {"byte_count_with_the_tag", Concat({Id3v2(), WithCounts(cbr, std::nullopt, cbr.size() + Id3v2().size())}),
         false},
        // Counts that no longer describe the file.
        {"cut_short", DropLastFrames(cbr, 5), true, false},
        {"cut_and_tagged", Concat({DropLastFrames(vbr, 3), Id3v1()}), true, false},
        {"frames_appended", Concat({cbr, plain}), true},
        {"junk_appended", Concat({cbr, fixtures::Junk(1000)}), true},
        {"byte_count_off_by_one", WithCounts(cbr, std::nullopt, cbr.size() + 1), true},
        {"no_byte_count", WithCounts(cbr, std::nullopt, 0), true},
        {"frame_count_zero", WithCounts(cbr, 0, std::nullopt), true},
        // Ten times the frames the bytes can hold: no frame of this stream is that short.
        {"frame_count_impossible", WithCounts(cbr, cbrFrames * 10, std::nullopt), true, false},
        // No Xing/Info frame: an unbroken chain of frames is counted frame by frame; anything
        // else goes to the decoder's scan. Both must come to what the decoder plays.
        {"no_info_frame", plain, true},
        {"no_info_mpeg2_mono", mono, true},
        {"no_info_tagged", Concat({Id3v2(), plain, Ape(), Id3v1()}), true},
        {"no_info_last_frame_cut", Bytes(plain.begin(), plain.end() - 100), true},
        {"no_info_junk_between",
         Concat({Bytes(plain.begin(), plain.begin() + plainHalf), fixtures::Junk(300),
                 Bytes(plain.begin() + plainHalf, plain.end())}),
         true},
        {"no_info_junk_before", Concat({fixtures::Junk(700), plain}), true},
        {"no_info_mono_then_stereo",
         Concat({mono22k, Encode(22050, 64, Channels::Stereo, false, 0.5, fixtures::XingFrame::No)}), true},
    };
}

class MpegLengthTest : public testing::TestWithParam<LengthCase> {};

// The length is what the stream delivers and, but for stale counts, what a decoder plays.
TEST_P(MpegLengthTest, LengthIsTheDecodedLengthAndScansOnlyWhenNeeded) {
    const LengthCase& c = GetParam();
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", c.file);
    const std::uint64_t scansBefore = MpegScanCount();
    const auto stream = OpenMpegStream(dir / "f.mp3");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(MpegScanCount() - scansBefore, c.scanned ? 1u : 0u);
    const std::int64_t length = stream->LengthBytes();
    std::vector<char> buffer(1 << 16);
    std::int64_t delivered = 0;
    for (std::int64_t got; (got = stream->GetData(buffer.data(), buffer.size())) > 0;) delivered += got;
    EXPECT_EQ(length, delivered);
    if (c.asDecoded) {
        const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(dir / "f.mp3");
        ASSERT_GT(decoded.channels, 0);
        EXPECT_EQ(length, decoded.samples * 2 * stream->Info().channels);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, MpegLengthTest, testing::ValuesIn(LengthCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Within a scope a file is scanned once however often it is opened, as long as it does not
// change; a changed file (other size, or only other times) is scanned again. Outside any
// scope, and in a later scope, every open scans.
TEST(ScanMemoScopeTest, ScansAnUnchangedFileOnce) {
    TempDir dir;
    const auto path = dir / "f.mp3";
    const Bytes plain = Encode(44100, 128, Channels::JointStereo, false, 1.0, fixtures::XingFrame::No);
    const Bytes longer = Concat({plain, plain});
    WriteFileBytes(path, plain);
    auto scansFor = [&](auto&& open) {
        const std::uint64_t before = MpegScanCount();
        open();
        return MpegScanCount() - before;
    };
    auto lengthOf = [&] {
        const auto stream = OpenMpegStream(path);
        return stream ? stream->LengthBytes() : -2;
    };
    const std::int64_t plainLength = fixtures::DecodeWithMpg123(path).samples * 4;
    EXPECT_EQ(scansFor([&] {
                  EXPECT_EQ(lengthOf(), plainLength);
                  EXPECT_EQ(lengthOf(), plainLength);
              }),
              2u);
    {
        const ScanMemoScope scope;
        EXPECT_EQ(scansFor([&] {
                      for (int i = 0; i < 3; ++i) EXPECT_EQ(lengthOf(), plainLength);
                  }),
                  1u);
        {
            const ScanMemoScope nested;  // a scope inside another changes nothing
            EXPECT_EQ(scansFor(lengthOf), 0u);
        }
        EXPECT_EQ(scansFor(lengthOf), 0u);

        WriteFileBytes(path, longer);
        const std::int64_t longerLength = fixtures::DecodeWithMpg123(path).samples * 4;
        EXPECT_EQ(scansFor([&] { EXPECT_EQ(lengthOf(), longerLength); }), 1u);

        // Same size and content, other modification time: scanned again all the same.
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
        EXPECT_EQ(scansFor([&] { EXPECT_EQ(lengthOf(), longerLength); }), 1u);
        EXPECT_EQ(scansFor(lengthOf), 0u);

        // A file of the same size put in its place (another inode) is another file.
        WriteFileBytes(dir / "g.mp3", longer);
        std::filesystem::rename(dir / "g.mp3", path);
        EXPECT_EQ(scansFor(lengthOf), 1u);
    }
    const ScanMemoScope later;
    EXPECT_EQ(scansFor(lengthOf), 1u);
}

}  // namespace
}  // namespace qm::audio
