#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>

#include "fixtures/Fixtures.h"
#include "stream/Mp3FrameReader.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::Channels;
using fixtures::Concat;
using fixtures::EncodeSpec;
using fixtures::TempDir;
using fixtures::WriteFileBytes;
using fixtures::XingFrame;

// How a LAME-encoded stream is dressed before the analysis sees it.
struct Dressing {
    int id3v2Version = 0;  // 0: no ID3v2 tag
    int paddingBytes = 0;
    bool footer = false;
    bool unsynchronised = false;
    std::size_t junkAfterTag = 0;
    bool trailingTags = false;     // APE and ID3v1 after the audio
    bool falseSyncInJunk = false;  // a header in the junk whose "frame" runs into the audio
};

struct AnalysisCase {
    const char* name;
    EncodeSpec spec;
    Dressing dressing;
};

EncodeSpec Spec(int rateHz, int kbps, Channels channels, bool vbr, XingFrame xing) {
    EncodeSpec spec = fixtures::StreamSpec(2.5, fixtures::Signal::Tone, rateHz, kbps, channels);
    spec.vbr = vbr;
    spec.xing = xing;
    return spec;
}

const EncodeSpec kCbr = Spec(44100, 128, Channels::JointStereo, false, XingFrame::No);
const EncodeSpec kCbrInfo = Spec(44100, 128, Channels::JointStereo, false, XingFrame::Yes);

const AnalysisCase kAnalysisCases[] = {
    {"cbr", kCbr, {}},
    {"cbr_info", kCbrInfo, {}},
    {"vbr_xing", Spec(44100, 0, Channels::JointStereo, true, XingFrame::Yes), {}},
    {"vbr_without_xing", Spec(48000, 0, Channels::Stereo, true, XingFrame::No), {}},
    {"id3v23_padding", kCbrInfo, {3, 700, false, false, 0, false}},
    {"id3v23_unsynchronised", kCbrInfo, {3, 0, false, true, 0, false}},
    {"id3v24_footer", kCbrInfo, {4, 0, true, false, 0, false}},
    {"id3v24_footer_no_info", kCbr, {4, 100, true, false, 0, false}},
    {"junk_after_tag", kCbrInfo, {3, 0, false, false, 333, false}},
    {"false_sync_in_junk_before_info", kCbrInfo, {3, 0, false, false, 333, false, true}},
    {"false_sync_in_junk_untagged", kCbrInfo, {0, 0, false, false, 200, false, true}},
    {"trailing_ape_and_id3v1", kCbrInfo, {3, 0, false, false, 0, true}},
    {"mpeg2_mono", Spec(22050, 64, Channels::Mono, false, XingFrame::Yes), {}},
    {"mpeg25_mono", Spec(11025, 32, Channels::Mono, false, XingFrame::Yes), {4, 50, false, false, 0, false}},
    {"stereo_320", Spec(48000, 320, Channels::Stereo, false, XingFrame::No), {}},
};

struct Built {
    Bytes file;
    Bytes mp3;
    std::size_t mp3Offset;
};

Built Build(const AnalysisCase& c) {
    Built built;
    built.mp3 = fixtures::EncodeMp3(c.spec);
    Bytes tag;
    if (c.dressing.id3v2Version != 0) {
        fixtures::Id3v2Spec tagSpec;
        tagSpec.majorVersion = c.dressing.id3v2Version;
        tagSpec.title = "Analysis";
        tagSpec.artist = "Quillmere";
        tagSpec.paddingBytes = c.dressing.paddingBytes;
        tagSpec.footer = c.dressing.footer;
        tagSpec.unsynchronised = c.dressing.unsynchronised;
        tag = fixtures::MakeId3v2Tag(tagSpec);
    }
    Bytes trailing;
    if (c.dressing.trailingTags) {
        trailing = Concat({fixtures::MakeApeTag({{"Title", "Ape"}}),
                           fixtures::MakeId3v1Tag("One", "Two", "Three", "2001", "", 5, 1)});
    }
    Bytes junk = fixtures::Junk(c.dressing.junkAfterTag, 5);
    if (c.dressing.falseSyncInJunk) {
        // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: a 417-byte "frame" from junk offset 10.
        const std::uint8_t header[] = {0xFF, 0xFB, 0x90, 0x64};
        std::copy(std::begin(header), std::end(header), junk.begin() + 10);
    }
    built.mp3Offset = tag.size() + junk.size();
    built.file = Concat({tag, junk, built.mp3, trailing});
    return built;
}

class AnalysisTest : public testing::TestWithParam<AnalysisCase> {};

// Every figure is checked against the file as built and against libmpg123's own decode.
TEST_P(AnalysisTest, FiguresMatchTheFileAndTheDecoder) {
    const AnalysisCase& c = GetParam();
    const Built built = Build(c);
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", built.file);
    const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(dir / "f.mp3");
    ASSERT_GT(decoded.samples, 0);

    Mp3FrameReader reader;
    ASSERT_TRUE(reader.Open(dir / "f.mp3"));
    const bool hasInfo = c.spec.xing == XingFrame::Yes;
    const std::uint32_t firstBytes = fixtures::FrameLengthOf(built.mp3.data());
    const std::uint64_t audioStart = built.mp3Offset + (hasInfo ? firstBytes : 0);
    const double seconds = static_cast<double>(decoded.samples) / c.spec.sampleRateHz;

    EXPECT_EQ(reader.FileSize(), built.file.size());
    EXPECT_EQ(reader.AudioStart(), audioStart);
    EXPECT_EQ(reader.Position(), audioStart);
    EXPECT_NEAR(reader.LengthSeconds(), seconds, 1e-9);
    EXPECT_EQ(reader.DurationSeconds(), static_cast<int>(seconds));
    EXPECT_EQ(reader.SampleRateHz(), c.spec.sampleRateHz);
    const ChannelMode mode = c.spec.channels == Channels::Mono     ? ChannelMode::Mono
                             : c.spec.channels == Channels::Stereo ? ChannelMode::Stereo
                                                                   : ChannelMode::JointStereo;
    EXPECT_EQ(reader.ChannelMode(), mode);
    // Tags and junk count in the byte total of the average.
    EXPECT_EQ(reader.BitRateKbps(), static_cast<int>(static_cast<double>(built.file.size()) / (seconds * 125.0) + 0.5));

    if (hasInfo) {
        EXPECT_EQ(reader.InfoFrame(), Bytes(built.mp3.begin(), built.mp3.begin() + firstBytes));
        EXPECT_EQ(reader.InfoFrameLength(), firstBytes);
    } else {
        EXPECT_TRUE(reader.InfoFrame().empty());
    }

    // The walk from the audio start meets exactly the encoder's frames after the Info frame.
    const auto frames = fixtures::WalkFrames(built.mp3, 0);
    std::size_t walked = 0;
    Mp3FrameHeader header;
    while (reader.NextFrame(&header)) {
        const std::size_t index = walked + (hasInfo ? 1 : 0);
        ASSERT_LT(index, frames.size());
        EXPECT_EQ(header.frameOffset, built.mp3Offset + frames[index].offset);
        ++walked;
    }
    EXPECT_EQ(walked, frames.size() - (hasInfo ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Lame, AnalysisTest, testing::ValuesIn(kAnalysisCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A tag whose text holds bytes that pass the header tests, followed by junk and not by a
// frame: the Info frame is still found, because the search starts at the tag's end.
TEST(FileAnalysisTest, FalseSyncInsideTheTagIsNotTakenForTheInfoFrame) {
    fixtures::Id3v2Spec tagSpec;
    tagSpec.title = "\xC3\xBF\xC3\xBB\xC2\x90";  // U+00FF U+00FB U+0090: FF FB 90 in Latin-1
    tagSpec.artist = "Tail";
    tagSpec.paddingBytes = 1000;  // room for the whole false frame inside the tag
    const Bytes tag = fixtures::MakeId3v2Tag(tagSpec);
    const Bytes mp3 = fixtures::EncodeMp3(kCbrInfo);
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", Concat({tag, fixtures::Junk(64), mp3}));
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.Open(dir / "f.mp3"));
    const std::uint32_t infoBytes = fixtures::FrameLengthOf(mp3.data());
    EXPECT_EQ(reader.InfoFrame(), Bytes(mp3.begin(), mp3.begin() + infoBytes));
    EXPECT_EQ(reader.AudioStart(), tag.size() + 64 + infoBytes);
}

struct OpenFailureCase {
    const char* name;
    Bytes file;
};

// Each failure leaves the reader closed and every figure reset.
TEST(FileAnalysisTest, FailedOpenLeavesTheReaderReset) {
    const std::string text = "plain text\n";
    const OpenFailureCase cases[] = {
        {"empty", {}},
        {"text", Bytes(text.begin(), text.end())},
        {"junk", fixtures::Junk(50000)},
        {"single_frame", fixtures::MakeRawFrame(3, 1, 9, 0, 0, 1)},
    };
    TempDir dir;
    Mp3FrameReader reader;
    WriteFileBytes(dir / "good.mp3", fixtures::EncodeMp3(kCbrInfo));
    for (const auto& c : cases) {
        ASSERT_TRUE(reader.Open(dir / "good.mp3"));
        WriteFileBytes(dir / "bad.mp3", c.file);
        EXPECT_FALSE(reader.Open(dir / "bad.mp3")) << c.name;
        EXPECT_FALSE(reader.IsOpen()) << c.name;
        EXPECT_EQ(reader.FileSize(), 0u) << c.name;
        EXPECT_EQ(reader.SampleRateHz(), 0) << c.name;
        EXPECT_EQ(reader.ChannelMode(), std::nullopt) << c.name;
        EXPECT_TRUE(reader.InfoFrame().empty()) << c.name;
        EXPECT_EQ(reader.NextFrame(nullptr), nullptr) << c.name;
    }
    EXPECT_FALSE(reader.Open(dir / "missing.mp3"));
}

struct PatchCase {
    const char* name;
    Bytes header;  // sets the reader's side-information size
    std::uint32_t flags;
    int framesAt;  // -1: not written
    int bytesAt;
};

const PatchCase kPatchCases[] = {
    {"stereo_both", fixtures::MakeRawHeader(3, 1, 9, 0, 0, 1), 0x3, 44, 48},
    {"stereo_frames_only", fixtures::MakeRawHeader(3, 1, 9, 0, 0, 1), 0x1, 44, -1},
    {"stereo_bytes_only", fixtures::MakeRawHeader(3, 1, 9, 0, 0, 1), 0x2, -1, 44},
    {"stereo_none", fixtures::MakeRawHeader(3, 1, 9, 0, 0, 1), 0x0, -1, -1},
    {"stereo_with_toc_and_quality", fixtures::MakeRawHeader(3, 1, 9, 0, 0, 1), 0xF, 44, 48},
    {"mpeg1_mono", fixtures::MakeRawHeader(3, 1, 9, 0, 0, 3), 0x3, 29, 33},
    {"mpeg2_mono_bytes_only", fixtures::MakeRawHeader(2, 1, 8, 0, 0, 3), 0x2, -1, 21},
};

class PatchTest : public testing::TestWithParam<PatchCase> {};

TEST_P(PatchTest, WritesTheCountsWhereTheFlagsSay) {
    const PatchCase& c = GetParam();
    TempDir dir;
    Bytes frame = c.header;
    frame.resize(fixtures::FrameLengthOf(frame.data()), 0);
    WriteFileBytes(dir / "f.mp3", frame);
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.OpenRaw(dir / "f.mp3"));
    ASSERT_NE(reader.NextFrame(nullptr), nullptr);

    // A copy with a recognisable filler, the tag and the flags at 4 + S and 8 + S.
    Bytes copy(frame.size(), 0xA5);
    std::copy(frame.begin(), frame.begin() + 4, copy.begin());
    const std::size_t tagAt = 4 + reader.SideInfoBytes();
    std::copy_n("Xing", 4, copy.begin() + tagAt);
    copy[tagAt + 4] = 0;
    copy[tagAt + 5] = 0;
    copy[tagAt + 6] = 0;
    copy[tagAt + 7] = static_cast<std::uint8_t>(c.flags);
    Bytes expected = copy;
    const auto put = [&expected](int at, std::uint32_t value) {
        if (at < 0) return;
        for (int i = 0; i < 4; ++i) expected[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    };
    put(c.framesAt, 0x01020304);
    put(c.bytesAt, 0xA0B0C0D0);

    reader.PatchXingFrame(copy, 0x01020304, 0xA0B0C0D0);
    EXPECT_EQ(copy, expected);
}

INSTANTIATE_TEST_SUITE_P(Flags, PatchTest, testing::ValuesIn(kPatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A copy too short for its counts is left alone rather than written past its end.
TEST(FileAnalysisTest, PatchLeavesAShortCopyAlone) {
    Mp3FrameReader reader;  // side information 0 while nothing was read
    Bytes tiny = {0xFF, 0xFB, 0x90, 0x40, 'X', 'i', 'n', 'g', 0, 0, 0, 3, 1, 2};
    const Bytes before = tiny;
    reader.PatchXingFrame(tiny, 7, 8);
    EXPECT_EQ(tiny, before);
}

// Damaged files: flipped bytes, cuts and absurd tag sizes. The analysis must end (quickly)
// with a consistent answer and never crash; whatever opens must walk to the end.
TEST(FileAnalysisTest, SurvivesMutatedFiles) {
    fixtures::Id3v2Spec tagSpec;
    tagSpec.title = "Fuzz";
    tagSpec.paddingBytes = 64;
    EncodeSpec spec = kCbrInfo;
    spec.seconds = 0.5;
    const Bytes tag = fixtures::MakeId3v2Tag(tagSpec);
    const Bytes original = Concat({tag, fixtures::EncodeMp3(spec)});
    TempDir dir;
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    const auto started = std::chrono::steady_clock::now();
    constexpr int kRounds = 150;
    for (int round = 0; round < kRounds; ++round) {
        Bytes file = original;
        switch (round % 5) {
            case 0:  // a few random bytes overwritten
                for (int i = 0; i < 8; ++i) file[next() % file.size()] = static_cast<std::uint8_t>(next());
                break;
            case 1:  // cut anywhere
                file.resize(next() % file.size());
                break;
            case 2:  // tag size replaced by anything, top bits included
                for (int i = 6; i < 10; ++i) file[i] = static_cast<std::uint8_t>(next());
                break;
            case 3:  // footer flag and version changed
                file[3] = static_cast<std::uint8_t>(next() % 6);
                file[5] = static_cast<std::uint8_t>(next());
                break;
            case 4:  // the Info frame's flags and counts scrambled
                for (int i = 0; i < 16; ++i) {
                    file[tag.size() + 36 + next() % 80] = static_cast<std::uint8_t>(next());
                }
                break;
        }
        WriteFileBytes(dir / "m.mp3", file);
        Mp3FrameReader reader;
        if (!reader.Open(dir / "m.mp3")) continue;
        EXPECT_LT(reader.AudioStart(), file.size());
        EXPECT_GE(reader.LengthSeconds(), 0.0);
        EXPECT_GE(reader.BitRateKbps(), 0);
        std::uint64_t lastEnd = reader.AudioStart();
        Mp3FrameHeader header;
        while (reader.NextFrame(&header)) {
            ASSERT_GE(header.frameOffset, lastEnd);
            lastEnd = header.frameOffset + header.frameBytes;
            ASSERT_LE(lastEnd, file.size());
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

}  // namespace
}  // namespace qm
