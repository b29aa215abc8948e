// The decoded source over the audio layer: figures of an opened file, the probe of the
// first MPEG header, and reads of at most 1152 samples per channel.

#include <gtest/gtest.h>

#include <array>

#include "join/JoinKit.h"
#include "join/PcmSource.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// The .mp3 probe: channel mode and first-frame bit rate of MPEG files named .mp3 (any case);
// other names and odd first bytes leave them unknown.
TEST(AudioLayerSource, ProbesTheFirstHeaderOfMp3Files) {
    struct Case {
        const char* name;
        std::string fileName;
        fx::EncodeSpec spec;
        std::optional<ChannelMode> mode;
        int frameKbps;
        bool isMp3;
    };
    fx::EncodeSpec mono;
    mono.sampleRateHz = 22050;
    mono.kbps = 64;
    mono.channels = fx::Channels::Mono;
    fx::EncodeSpec joint;
    joint.kbps = 160;
    fx::EncodeSpec stereo;
    stereo.channels = fx::Channels::Stereo;
    stereo.sampleRateHz = 48000;
    stereo.kbps = 96;
    const std::vector<Case> cases = {
        {"joint stereo .mp3", "a.mp3", joint, ChannelMode::JointStereo, 160, true},
        {"mono .MP3", "b.MP3", mono, ChannelMode::Mono, 64, true},
        {"stereo .Mp3", "c.Mp3", stereo, ChannelMode::Stereo, 96, true},
        {".mpeg is not .mp3", "d.mpeg", joint, std::nullopt, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        const auto path = joinkit::WriteMp3(dir, c.fileName, c.spec);
        AudioLayerSource source;
        ASSERT_TRUE(source.Open(path, 0));
        EXPECT_EQ(source.GetChannelMode(), c.mode);
        EXPECT_EQ(source.GetFrameBitrate(), c.frameKbps);
        EXPECT_EQ(source.IsMp3(), c.isMp3);
        EXPECT_FALSE(source.IsMusic());
        EXPECT_EQ(source.GetSampleRate(), c.spec.sampleRateHz);
        EXPECT_EQ(source.GetOutputChannels(), c.spec.channels == fx::Channels::Mono ? 1 : 2);
        EXPECT_EQ(source.GetBitsPerSample(), 16);
        EXPECT_NEAR(source.GetAverageBitrate(), c.spec.kbps, 3);
        EXPECT_EQ(source.GetDuration(), 2);
        source.Close();
        EXPECT_EQ(source.GetChannelMode(), std::nullopt);
        EXPECT_EQ(source.GetFrameBitrate(), 0);
    }
}

// The probe's own header rule: free format and bad bit rates are refused, the sample-rate
// index is not looked at.
TEST(AudioLayerSource, ProbeHeaderRule) {
    constexpr int kUntouched = 4;  // none of the four modes
    struct Case {
        std::array<std::uint8_t, 4> bytes;
        bool accepted;
        int kbps, mode;  // kUntouched: the mode was left as it was
    };
    const std::vector<Case> cases = {
        {{0xFF, 0xFB, 0x90, 0x64}, true, 128, 1},          // MPEG-1 Layer III 128 kbps joint stereo
        {{0xFF, 0xF3, 0x80, 0xC4}, true, 64, 3},           // MPEG-2 Layer III 64 kbps mono
        {{0xFF, 0xE3, 0x40, 0x00}, true, 32, 0},           // MPEG-2.5 Layer III 32 kbps stereo
        {{0xFF, 0xFB, 0x9C, 0x83}, true, 128, 2},          // sample-rate index 3 and emphasis 2 pass
        {{0xFF, 0xFB, 0x00, 0x64}, false, 0, kUntouched},  // free format
        {{0xFF, 0xFB, 0xF0, 0x64}, false, 0, kUntouched},  // bit-rate index 15
        {{0xFF, 0xEB, 0x90, 0x64}, false, 0, kUntouched},  // reserved version
        {{0xFF, 0xF9, 0x90, 0x64}, false, 0, kUntouched},  // reserved layer
        {{0xFE, 0xFB, 0x90, 0x64}, false, 0, kUntouched},  // no sync
        {{'R', 'I', 'F', 'F'}, false, 0, kUntouched},
    };
    for (const Case& c : cases) {
        int kbps = 0;
        ChannelMode mode = static_cast<ChannelMode>(kUntouched);
        EXPECT_EQ(ProbeFrameHeader(c.bytes.data(), &kbps, &mode), c.accepted) << int(c.bytes[2]);
        EXPECT_EQ(kbps, c.kbps);
        EXPECT_EQ(static_cast<int>(mode), c.mode);
    }
}

// Reads give at most 1152 samples per channel and add up to the decoded length; a
// six-channel file delivers its first two channels, 384 frames per read.
TEST(AudioLayerSource, ReadsSplitChannels) {
    fx::TempDir dir;
    ASSERT_TRUE(joinkit::WriteSoundFile(dir / "six.wav", joinkit::SoundFormat::Wav, 44100, 6, 1.0));
    AudioLayerSource source;
    ASSERT_TRUE(source.Open(dir / "six.wav", 0));
    EXPECT_EQ(source.GetChannels(), 6);
    EXPECT_EQ(source.GetOutputChannels(), 2);
    EXPECT_EQ(source.GetChannelMode(), std::nullopt);
    EXPECT_EQ(source.GetLength(), 44100u * 6 * 2);
    // File bytes over 125 × seconds, rounded.
    const auto fileBytes = std::filesystem::file_size(dir / "six.wav");
    EXPECT_EQ(source.GetAverageBitrate(), static_cast<int>(double(fileBytes) / 125.0 + 0.5));
    std::array<std::int16_t, 1152> left{}, right{};
    std::int64_t frames = 0;
    int reads = 0;
    int first = 0;
    while (const int n = source.Read(left.data(), right.data())) {
        if (reads++ == 0) {
            first = n;
            // Channel 1 is 300 Hz, channel 2 600 Hz: sample 1 tells them apart.
            EXPECT_EQ(left[0], 0);
            EXPECT_NEAR(left[1], std::lround(0.4 * 32767 * std::sin(2 * 3.14159265358979 * 300 / 44100.0)), 1);
            EXPECT_NEAR(right[1], std::lround(0.4 * 32767 * std::sin(2 * 3.14159265358979 * 600 / 44100.0)), 1);
        }
        frames += n;
    }
    EXPECT_EQ(first, 384);
    EXPECT_EQ(frames, 44100);
    EXPECT_EQ(source.GetPosition(), source.GetLength());
}

// An empty sound file: duration 0 and the PCM rate as its average bit rate. A file nothing
// decodes fails to open.
TEST(AudioLayerSource, EmptyAndUndecodableFiles) {
    fx::TempDir dir;
    ASSERT_TRUE(joinkit::WriteSoundFile(dir / "empty.wav", joinkit::SoundFormat::Wav, 22050, 2, 0.0));
    AudioLayerSource source;
    ASSERT_TRUE(source.Open(dir / "empty.wav", 0));
    EXPECT_EQ(source.GetDuration(), 0);
    EXPECT_EQ(source.GetLength(), 0u);
    EXPECT_EQ(source.GetAverageBitrate(), 16 * 22050 * 2 / 1000);
    std::array<std::int16_t, 1152> left{}, right{};
    EXPECT_EQ(source.Read(left.data(), right.data()), 0);

    fx::WriteFileBytes(dir / "junk.mp3", fx::Junk(5000));
    EXPECT_FALSE(source.Open(dir / "junk.mp3", 0));
    EXPECT_FALSE(source.Open(dir / "missing.ogg", 0));
    EXPECT_EQ(source.GetSampleRate(), 0);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// A four-channel ProTracker module with one empty pattern: 64 rows at speed 6 and 125 BPM
// play 7.68 seconds. The stream call rejects it and the music call opens it.
fx::Bytes MinimalModule() {
    fx::Bytes mod(20 + 31 * 30, 0);
    const char title[] = "quiet module";
    std::copy(title, title + sizeof title - 1, mod.begin());
    mod.push_back(1);    // song length: one order
    mod.push_back(127);  // restart byte
    fx::Bytes orders(128, 0);
    mod.insert(mod.end(), orders.begin(), orders.end());
    for (const char c : {'M', '.', 'K', '.'}) mod.push_back(static_cast<std::uint8_t>(c));
    fx::Bytes pattern(64 * 4 * 4, 0);
    mod.insert(mod.end(), pattern.begin(), pattern.end());
    return mod;
}

TEST(AudioLayerSource, ModulesOpenThroughTheMusicCall) {
    fx::TempDir dir;
    const auto path = dir / "tune.mod";
    const fx::Bytes mod = MinimalModule();
    fx::WriteFileBytes(path, mod);
    AudioLayerSource source;
    ASSERT_TRUE(source.Open(path, 0));
    EXPECT_TRUE(source.IsMusic());
    EXPECT_FALSE(source.IsMp3());
    EXPECT_EQ(source.GetDuration(), 7);
    EXPECT_EQ(source.GetChannelMode(), std::nullopt);
    const double seconds =
        double(source.GetLength()) / (source.GetSampleRate() * source.GetChannels() * (source.GetBitsPerSample() / 8));
    EXPECT_NEAR(seconds, 7.68, 0.05);
    EXPECT_EQ(source.GetAverageBitrate(), static_cast<int>(double(mod.size()) / (seconds * 125) + 0.5));
}

}  // namespace
}  // namespace qm
