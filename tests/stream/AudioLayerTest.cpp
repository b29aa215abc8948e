// The audio layer: its version and output device, byte/second conversions, and the streams
// over libsndfile formats and module music.

#include "stream/AudioLayer.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/AudioStreams.h"

namespace qm::audio {
namespace {

using fixtures::Bytes;

// Sets an environment variable for the lifetime of the object, restoring the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        m_hadOld = std::getenv(name) != nullptr;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (m_hadOld)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

TEST(AudioLayer, VersionIsInterfaceLevel24) { EXPECT_EQ(GetVersion() >> 16, 0x0204u); }

// The default device opens SDL's output (the dummy driver under test); without any usable
// driver it falls back to the silent device and still succeeds. A device that does not
// exist fails; the silent device always works.
TEST(AudioLayer, InitOpensOrFallsBackToTheSilentDevice) {
    struct Case {
        const char* driver;
        int device;
        bool ok;
        bool soundCard;
    };
    const Case cases[] = {
        {"dummy", kDefaultDevice, true, true}, {"no-such-driver", kDefaultDevice, true, false},
        {"dummy", kSilentDevice, true, false}, {"no-such-driver", kSilentDevice, true, false},
        {"dummy", 1000, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.driver) + " device " + std::to_string(c.device));
        ScopedEnv driver("SDL_AUDIODRIVER", c.driver);
        EXPECT_EQ(Init(c.device, 44100), c.ok);
        EXPECT_EQ(HasSoundCard(), c.soundCard);
        EXPECT_EQ(OutputDevice() != 0, c.soundCard);
        if (c.soundCard) {
            EXPECT_EQ(OutputFormat().sampleRateHz, 44100);
            EXPECT_EQ(OutputFormat().channels, 2);
        }
        Free();
        EXPECT_FALSE(HasSoundCard());
        EXPECT_EQ(OutputDevice(), 0u);
    }
}

TEST(AudioLayer, VerifyLength) {
    EXPECT_EQ(VerifyLength(), 100000);
    SetVerifyLength(4096);
    EXPECT_EQ(VerifyLength(), 4096);
    SetVerifyLength(100000);
}

// A stream with a fixed format, to exercise the conversions on their own.
class FormatOnlyStream final : public Stream {
public:
    explicit FormatOnlyStream(ChannelInfo info) : m_info(info) {}
    ChannelInfo Info() const override { return m_info; }
    std::int64_t LengthBytes() override { return -1; }
    std::int64_t Position() override { return 0; }
    bool SetPosition(std::int64_t) override { return false; }
    std::int64_t GetData(void*, std::size_t) override { return -1; }
    std::uint64_t FileStart() const override { return 0; }
    std::uint64_t FileEnd() const override { return 0; }

private:
    ChannelInfo m_info;
};

// Seconds to bytes counts whole sample frames only (rounding down, never splitting the
// channels of a frame); bytes to seconds is the exact inverse.
TEST(AudioLayer, BytesAndSeconds) {
    struct Case {
        ChannelInfo info;
        double seconds;
        std::int64_t bytes;
    };
    const Case cases[] = {
        {{44100, 2, false}, 1.0, 176400},
        {{44100, 2, false}, 0.3, 13230 * 4},  // 0.3 x 44100 is 13229.999... in binary
        {{44100, 2, false}, 1.5 / 44100, 4},  // one and a half frames: one frame
        {{44100, 2, false}, 0.0, 0},
        {{8000, 1, false}, 2.0, 32000},
        {{22050, 1, true}, 1.0, 22050},  // 8-bit: one byte per sample
        {{48000, 2, true}, 0.5, 48000},
        {{44100, 2, false}, 7200.0, 1270080000},        // two hours
        {{48000, 2, false}, 24.0 * 3600, 16588800000},  // a day: beyond 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.info.sampleRateHz) + " Hz, " + std::to_string(c.info.channels) + " ch, " +
                     std::to_string(c.seconds) + " s");
        const FormatOnlyStream stream(c.info);
        EXPECT_EQ(stream.SecondsToBytes(c.seconds), c.bytes);
        const std::int64_t frameBytes = c.info.channels * (c.info.eightBit ? 1 : 2);
        EXPECT_DOUBLE_EQ(stream.BytesToSeconds(c.bytes),
                         static_cast<double>(c.bytes / frameBytes) / c.info.sampleRateHz);
    }
    EXPECT_EQ(FormatOnlyStream({0, 0, false}).SecondsToBytes(1.0), 0);
    EXPECT_EQ(FormatOnlyStream({44100, 2, false}).SecondsToBytes(-1.0), 0);
}

// Writes frameCount frames of a tone with libsndfile and returns the samples written.
std::vector<short> WriteTone(const std::filesystem::path& path, int format, int rateHz, int channels,
                             sf_count_t frameCount) {
    std::vector<short> samples(static_cast<std::size_t>(frameCount * channels));
    for (sf_count_t frame = 0; frame < frameCount; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            const double phase = 2.0 * M_PI * (440.0 + 110.0 * channel) * frame / rateHz;
            samples[static_cast<std::size_t>(frame * channels + channel)] =
                static_cast<short>(std::lround(12000.0 * std::sin(phase)));
        }
    }
    SF_INFO info{};
    info.samplerate = rateHz;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    if (file != nullptr) {
        EXPECT_EQ(sf_writef_short(file, samples.data(), frameCount), frameCount);
        sf_close(file);
    }
    return samples;
}

// Reads a stream to its end in blocks of blockBytes, returning the PCM delivered.
std::vector<short> ReadToEnd(Stream& stream, std::size_t blockBytes) {
    std::vector<short> pcm;
    std::vector<short> block(blockBytes / 2);
    for (;;) {
        const std::int64_t got = stream.GetData(block.data(), blockBytes);
        if (got < 0) break;
        EXPECT_EQ(got % 2, 0);
        pcm.insert(pcm.end(), block.begin(), block.begin() + got / 2);
        if (got == 0) break;
    }
    return pcm;
}

// Files of the libsndfile formats open as streams with their own rate and channels, their
// length in bytes, every byte of PCM, and positions that seek.
TEST(SndfileStream, DecodesWhatLibsndfileWrote) {
    struct Case {
        const char* name;
        int format;
        int rateHz;
        int channels;
        bool lossless;
    };
    const Case cases[] = {
        {"tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, true},
        {"tone-mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, true},
        {"tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, true},
        {"tone.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 22050, 1, true},
        {"tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, false},
    };
    constexpr sf_count_t kFrames = 30011;  // not a multiple of any block size used below
    fixtures::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / c.name;
        const std::vector<short> written = WriteTone(path, c.format, c.rateHz, c.channels, kFrames);
        const std::int64_t frameBytes = 2 * c.channels;

        auto stream = StreamCreateFile(path);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->Info().sampleRateHz, c.rateHz);
        EXPECT_EQ(stream->Info().channels, c.channels);
        EXPECT_FALSE(stream->Info().eightBit);
        EXPECT_EQ(stream->LengthBytes(), kFrames * frameBytes);
        EXPECT_EQ(stream->FileStart(), 0u);
        EXPECT_EQ(stream->FileEnd(), std::filesystem::file_size(path));
        EXPECT_EQ(stream->Position(), 0);

        const std::vector<short> pcm = ReadToEnd(*stream, 4096);
        ASSERT_EQ(static_cast<std::int64_t>(pcm.size()) * 2, stream->LengthBytes());
        if (c.lossless) {
            EXPECT_EQ(pcm, written);
        }
        EXPECT_EQ(stream->Position(), stream->LengthBytes());
        EXPECT_EQ(stream->GetData(std::vector<short>(64).data(), 128), -1);

        // Seeking to a frame in the middle (a byte offset inside the frame rounds down) and
        // reading on gives exactly the rest of the PCM.
        const std::int64_t middle = 12345 * frameBytes;
        ASSERT_TRUE(stream->SetPosition(middle + 1));
        EXPECT_EQ(stream->Position(), middle);
        const std::vector<short> rest = ReadToEnd(*stream, 1000);
        ASSERT_EQ(static_cast<std::int64_t>(rest.size()) * 2, stream->LengthBytes() - middle);
        if (c.lossless) {
            EXPECT_TRUE(std::equal(rest.begin(), rest.end(), written.begin() + middle / 2));
        }
        EXPECT_FALSE(stream->SetPosition(stream->LengthBytes() + frameBytes));
        EXPECT_FALSE(stream->SetPosition(-4));
        EXPECT_TRUE(stream->SetPosition(0));
        EXPECT_EQ(stream->BytesToSeconds(stream->LengthBytes()), static_cast<double>(kFrames) / c.rateHz);
    }
}

// MPEG audio is not taken by libsndfile's stream (it would decode it, but the frame offsets
// come from the MPEG stream); StreamCreateFile hands it to the MPEG decoder.
TEST(SndfileStream, LeavesMpegToTheMpegStream) {
    fixtures::TempDir dir;
    fixtures::EncodeSpec spec;
    spec.sampleRateHz = 32000;
    spec.seconds = 0.5;
    const Bytes mp3 = fixtures::EncodeMp3(spec);
    fixtures::WriteFileBytes(dir / "tone.mp3", mp3);
    EXPECT_EQ(OpenSndfileStream(dir / "tone.mp3"), nullptr);
    auto stream = StreamCreateFile(dir / "tone.mp3");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Info().sampleRateHz, 32000);
    EXPECT_EQ(stream->FileEnd(), mp3.size());
}

// A minimal ProTracker module: 31 sample slots, one pattern of 64 rows whose first row plays
// sample 1 on channel 1, and a short square-wave sample. At the default speed (6 ticks a row,
// 125 BPM: 20 ms a tick) the pattern plays for 64 x 6 x 0.02 s = 7.68 s.
Bytes MinimalModule() {
    Bytes mod(20, 0);  // song title
    const std::string title = "quillmere test";
    std::copy(title.begin(), title.end(), mod.begin());
    constexpr int kSampleWords = 1000;
    for (int slot = 1; slot <= 31; ++slot) {
        Bytes header(30, 0);  // name 22, length 2, finetune, volume, loop start 2, loop length 2
        if (slot == 1) {
            header[22] = kSampleWords >> 8;
            header[23] = kSampleWords & 0xFF;
            header[25] = 64;  // full volume
        }
        header[29] = 1;  // loop length of one word: no loop
        mod.insert(mod.end(), header.begin(), header.end());
    }
    mod.push_back(1);               // song length: one position
    mod.push_back(127);             // restart byte
    mod.insert(mod.end(), 128, 0);  // order table: pattern 0
    for (char c : std::string("M.K.")) mod.push_back(static_cast<std::uint8_t>(c));
    Bytes pattern(64 * 4 * 4, 0);
    // Row 0, channel 1: sample 1 at period 428 (C-2): ssss pppp pppp pppp ssss eeee xxxx xxxx.
    pattern[0] = 0x01;
    pattern[1] = 0xAC;
    pattern[2] = 0x10;
    mod.insert(mod.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < kSampleWords * 2; ++i) mod.push_back(static_cast<std::uint8_t>((i / 8) % 2 ? 0x60 : 0xA0));
    return mod;
}

// Module music plays through MusicLoad (and OpenAny when the stream call fails) as 44100 Hz
// stereo, with the module's playing time as length and positions that seek.
TEST(ModuleStream, PlaysAMinimalModule) {
    fixtures::TempDir dir;
    const auto path = dir / "tune.mod";
    fixtures::WriteFileBytes(path, MinimalModule());
    EXPECT_EQ(StreamCreateFile(path), nullptr);
    for (auto open : {&MusicLoad, &OpenAny}) {
        auto stream = open(path);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->Info().sampleRateHz, 44100);
        EXPECT_EQ(stream->Info().channels, 2);
        EXPECT_NEAR(stream->BytesToSeconds(stream->LengthBytes()), 7.68, 0.01);
        EXPECT_EQ(stream->LengthBytes() % 4, 0);
        EXPECT_EQ(stream->FileEnd(), MinimalModule().size());

        // The stream delivers exactly its length, however the blocks fall.
        const std::vector<short> pcm = ReadToEnd(*stream, 8192 + 4);
        EXPECT_EQ(static_cast<std::int64_t>(pcm.size()) * 2, stream->LengthBytes());
        EXPECT_TRUE(std::any_of(pcm.begin(), pcm.end(), [](short s) { return s != 0; }));

        const std::int64_t fiveSeconds = stream->SecondsToBytes(5.0);
        ASSERT_TRUE(stream->SetPosition(fiveSeconds));
        EXPECT_EQ(stream->Position(), fiveSeconds);
        const std::vector<short> rest = ReadToEnd(*stream, 8192);
        EXPECT_EQ(static_cast<std::int64_t>(rest.size()) * 2, stream->LengthBytes() - fiveSeconds);
        EXPECT_FALSE(stream->SetPosition(stream->LengthBytes() + 4));
    }
}

// Files no decoder accepts give no stream from any of the openers, and nothing crashes.
TEST(AudioLayer, RejectsWhatNoDecoderAccepts) {
    fixtures::TempDir dir;
    fixtures::WriteFileBytes(dir / "empty.mp3", {});
    fixtures::WriteFileBytes(dir / "junk.mp3", fixtures::Junk(20000));
    fixtures::WriteFileBytes(dir / "junk.mod", fixtures::Junk(3000, 7));
    Bytes cutModule = MinimalModule();
    cutModule.resize(600);  // the header stops before the "M.K." mark
    fixtures::WriteFileBytes(dir / "cut.mod", cutModule);
    const std::filesystem::path paths[] = {dir / "empty.mp3", dir / "junk.mp3",    dir / "junk.mod",
                                           dir / "cut.mod",   dir / "missing.wav", dir.Path()};
    for (const auto& path : paths) {
        SCOPED_TRACE(path.filename().string());
        EXPECT_EQ(StreamCreateFile(path), nullptr);
        EXPECT_EQ(MusicLoad(path), nullptr);
        EXPECT_EQ(OpenAny(path), nullptr);
    }
}

}  // namespace
}  // namespace qm::audio
