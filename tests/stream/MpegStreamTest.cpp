#include <gtest/gtest.h>

#include <future>

#include "fixtures/Fixtures.h"
#include "stream/AudioLayer.h"
#include "stream/AudioStreams.h"
#include "stream/MpegHeader.h"

namespace qm::audio {
namespace {

using fixtures::Bytes;
using fixtures::Concat;
using fixtures::EncodeSpec;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

Bytes Encoded(int rateHz, int kbps, fixtures::Channels channels, fixtures::XingFrame xing, double seconds = 1.0) {
    EncodeSpec spec = fixtures::StreamSpec(seconds, fixtures::Signal::Tone, rateHz, kbps, channels);
    spec.xing = xing;
    return fixtures::EncodeMp3(spec);
}

Bytes PlainMp3() { return Encoded(44100, 128, fixtures::Channels::JointStereo, fixtures::XingFrame::No); }
Bytes InfoMp3() { return Encoded(44100, 128, fixtures::Channels::JointStereo, fixtures::XingFrame::Yes); }

std::uint32_t FirstFrameBytes(const Bytes& mp3) { return fixtures::FrameLengthOf(mp3.data()); }

Bytes Tag(int version, int paddingBytes, bool footer) {
    fixtures::Id3v2Spec spec;
    spec.majorVersion = version;
    spec.title = "A title";
    spec.artist = "An artist";
    spec.paddingBytes = paddingBytes;
    spec.footer = footer;
    return fixtures::MakeId3v2Tag(spec);
}

// Two MPEG-1 Layer I frames (48 kHz, 32 kbit/s: 32 bytes each) such as 16-bit PCM may hold.
Bytes TwoLayerIFrames() {
    const Bytes frame = fixtures::MakeRawFrame(3, 3, 1, 1, 0, 3);
    return Concat({frame, frame});
}

struct StartCase {
    const char* name;
    Bytes file;
    std::uint64_t expectedStart;
    int channels;
    int rateHz;
};

std::vector<StartCase> StartCases() {
    const Bytes plain = PlainMp3();
    const Bytes info = InfoMp3();
    const Bytes v3 = Tag(3, 200, false);
    const Bytes v4footer = Tag(4, 0, true);
    const Bytes mono = Encoded(22050, 64, fixtures::Channels::Mono, fixtures::XingFrame::Yes);
    // A whole frame and the first half of the next, where the file ends; three whole frames
    // and an ID3v1 tag.
    auto firstBytes = [&](std::size_t byteCount) {
        return Bytes(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(byteCount));
    };
    const std::size_t second = FirstFrameBytes(plain);
    const Bytes cutShort = firstBytes(second + fixtures::FrameLengthOf(&plain[second]) / 2);
    std::size_t threeFrames = 0;
    for (int i = 0; i < 3; ++i) threeFrames += fixtures::FrameLengthOf(&plain[threeFrames]);
    const std::string id3v1 = "TAG" + std::string(125, ' ');
    return {
        {"plain_frames", plain, 0, 2, 44100},
        {"past_the_info_frame", info, FirstFrameBytes(info), 2, 44100},
        {"past_an_id3v23_tag", Concat({v3, plain}), v3.size(), 2, 44100},
        {"past_tag_footer_and_info_frame", Concat({v4footer, info}), v4footer.size() + FirstFrameBytes(info), 2, 44100},
        {"past_junk_after_the_tag", Concat({v3, fixtures::Junk(5000), plain}), v3.size() + 5000, 2, 44100},
        {"mpeg2_mono", mono, FirstFrameBytes(mono), 1, 22050},
        {"mpeg_audio_inside_riff_wave",
         Concat({fixtures::WavHeader(0x55, static_cast<std::uint32_t>(plain.size())), plain}), 44, 2, 44100},
        // Runs too short to confirm a stream, that end where the audio ends.
        {"two_frames_the_last_cut_by_the_end", cutShort, 0, 2, 44100},
        {"three_frames_then_an_id3v1_tag", Concat({firstBytes(threeFrames), Bytes(id3v1.begin(), id3v1.end())}), 0, 2,
         44100},
    };
}

class FileStartTest : public testing::TestWithParam<StartCase> {};

// The start lies past the tag and the Xing/Info frame, and the PCM format is the file's.
TEST_P(FileStartTest, FindsTheFirstAudioFrame) {
    const StartCase& c = GetParam();
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", c.file);
    const auto stream = OpenMpegStream(dir / "f.mp3");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->FileStart(), c.expectedStart);
    EXPECT_EQ(stream->FileEnd(), c.file.size());
    EXPECT_EQ(stream->Info().channels, c.channels);
    EXPECT_EQ(stream->Info().sampleRateHz, c.rateHz);
    EXPECT_FALSE(stream->Info().eightBit);
}

INSTANTIATE_TEST_SUITE_P(Files, FileStartTest, testing::ValuesIn(StartCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The length is the decoder's exact sample count, and reading delivers exactly that much.
TEST(MpegStreamTest, LengthMatchesTheDecodedPcm) {
    TempDir dir;
    const Bytes cases[] = {PlainMp3(), InfoMp3(),
                           Encoded(11025, 32, fixtures::Channels::Mono, fixtures::XingFrame::Yes)};
    for (const Bytes& file : cases) {
        WriteFileBytes(dir / "f.mp3", file);
        const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(dir / "f.mp3");
        ASSERT_TRUE(decoded.ok);
        const auto stream = OpenMpegStream(dir / "f.mp3");
        ASSERT_NE(stream, nullptr);
        const std::int64_t frameBytes = 2 * stream->Info().channels;
        EXPECT_EQ(stream->LengthBytes(), decoded.samples * frameBytes);
        std::vector<char> buffer(10000);
        std::int64_t total = 0;
        for (std::int64_t got; (got = stream->GetData(buffer.data(), buffer.size())) > 0;) total += got;
        EXPECT_EQ(total, stream->LengthBytes());
        EXPECT_EQ(stream->Position(), total);
        EXPECT_EQ(stream->GetData(buffer.data(), buffer.size()), -1);
    }
}

TEST(MpegStreamTest, SetPositionMovesTheDecoder) {
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", InfoMp3());
    const auto stream = OpenMpegStream(dir / "f.mp3");
    ASSERT_NE(stream, nullptr);
    const std::int64_t half = stream->LengthBytes() / 2 / 4 * 4;
    ASSERT_TRUE(stream->SetPosition(half));
    EXPECT_EQ(stream->Position(), half);
    std::vector<char> buffer(1 << 20);
    std::int64_t rest = 0;
    for (std::int64_t got; (got = stream->GetData(buffer.data(), buffer.size())) > 0;) rest += got;
    EXPECT_EQ(rest, stream->LengthBytes() - half);
    EXPECT_FALSE(stream->SetPosition(-4));
}

Bytes TagClaiming(std::uint32_t size) {
    return {'I',
            'D',
            '3',
            3,
            0,
            0,
            static_cast<std::uint8_t>((size >> 21) & 0x7F),
            static_cast<std::uint8_t>((size >> 14) & 0x7F),
            static_cast<std::uint8_t>((size >> 7) & 0x7F),
            static_cast<std::uint8_t>(size & 0x7F)};
}

struct RejectCase {
    const char* name;
    Bytes file;
};

std::vector<RejectCase> RejectCases() {
    const Bytes plain = PlainMp3();
    const std::string text = "This is a text file, not audio.\n";
    return {
        {"empty", {}},
        {"text", Bytes(text.begin(), text.end())},
        {"noise", fixtures::Noise(200000, 99)},
        {"tag_only", Tag(3, 1000, false)},
        {"tag_larger_than_the_file", Concat({TagClaiming(0x0FFFFFFF), plain})},
        {"single_frame", Bytes(plain.begin(), plain.begin() + FirstFrameBytes(plain))},
        // Audio that begins at the window's end is not looked for.
        {"audio_past_the_verify_window", Concat({fixtures::Junk(100000), plain})},
        // Two headers at the right distance are no run of frames, and other containers are
        // not searched for frames at all.
        {"two_frames_then_junk", Concat({fixtures::Junk(100), TwoLayerIFrames(), fixtures::Junk(1000)})},
        {"pcm_wav_holding_frame_syncs",
         Concat({fixtures::WavHeader(1, 2000), TwoLayerIFrames(), TwoLayerIFrames(), fixtures::Junk(1872)})},
        {"ogg_holding_frame_syncs", Concat({Bytes{'O', 'g', 'g', 'S', 0, 2}, plain})},
        {"flac_after_an_id3v2_tag", Concat({Tag(3, 0, false), Bytes{'f', 'L', 'a', 'C', 0, 0, 0, 34}, plain})},
    };
}

class RejectTest : public testing::TestWithParam<RejectCase> {};

TEST_P(RejectTest, OpenFails) {
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", GetParam().file);
    EXPECT_EQ(OpenMpegStream(dir / "f.mp3"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, RejectTest, testing::ValuesIn(RejectCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The last byte of the window still counts: catches an off-by-one at its end.
TEST(MpegStreamTest, AudioStartingInsideTheWindowIsFound) {
    TempDir dir;
    WriteFileBytes(dir / "f.mp3", Concat({fixtures::Junk(VerifyLength() - 1), PlainMp3()}));
    const auto stream = OpenMpegStream(dir / "f.mp3");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->FileStart(), static_cast<std::uint64_t>(VerifyLength() - 1));
    EXPECT_GT(stream->LengthBytes(), 0);
}

// The length set on the program's thread is the one a stream opened on another thread (as
// the re-encoding join's decoder opens its sources) searches: audio one byte past a shorter
// window is not found there, and is found once the window is long enough again.
TEST(MpegStreamTest, AnotherThreadSearchesTheWindowSet) {
    TempDir dir;
    constexpr int kShortWindowBytes = 4096;
    WriteFileBytes(dir / "f.mp3", Concat({fixtures::Junk(kShortWindowBytes), PlainMp3()}));
    const auto opensOnAnotherThread = [&] {
        return std::async(std::launch::async, [&] { return OpenMpegStream(dir / "f.mp3") != nullptr; }).get();
    };
    SetVerifyLength(kShortWindowBytes);
    EXPECT_FALSE(opensOnAnotherThread());
    SetVerifyLength(kShortWindowBytes + 1);
    EXPECT_TRUE(opensOnAnotherThread());
    SetVerifyLength(0);  // back to the default
    EXPECT_EQ(VerifyLength(), 100000);
}

TEST(MpegStreamTest, MissingFileAndFolderFail) {
    TempDir dir;
    EXPECT_EQ(OpenMpegStream(dir / "missing.mp3"), nullptr);
    EXPECT_EQ(OpenMpegStream(dir.Path()), nullptr);
}

}  // namespace
}  // namespace qm::audio
