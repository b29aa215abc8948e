// The MP3 encoder both re-encoding engines use: one rule for its settings, nothing carried
// from one output to the next, an encode call that a test can make fail, and the Info frame
// that makes an output decode to exactly the samples fed. (The frames it makes are checked
// through the engines' tests too.)

#include <gtest/gtest.h>

#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/Mp3Encoder.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// Seven is none of the four modes.
const ChannelMode kNotAMode = static_cast<ChannelMode>(7);

// The rule on each field: rates at and just beside the ends of the MPEG list, bit rates at
// and beyond 8 and 320, every mode, channel counts outside 1..2.
TEST(Mp3EncoderTest, OneRuleForTheSettings) {
    struct Case {
        Mp3EncoderSettings asked;
        bool accepted;
        Mp3EncoderSettings made;  // when accepted
    };
    using M = ChannelMode;
    const Case cases[] = {
        {{44100, 2, 8000, 128, M::JointStereo}, true, {44100, 2, 8000, 128, M::JointStereo}},
        {{44100, 2, 7999, 128, M::JointStereo}, false, {}},
        {{44100, 2, 48000, 128, M::Stereo}, true, {44100, 2, 48000, 128, M::Stereo}},
        {{44100, 2, 48001, 128, M::Stereo}, false, {}},
        {{44100, 2, 12345, 128, M::Stereo}, false, {}},
        {{48000, 2, 11025, 8, M::Mono}, true, {48000, 2, 11025, 8, M::Mono}},
        {{44100, 2, 22050, 7, M::Mono}, true, {44100, 2, 22050, 8, M::Mono}},
        {{44100, 2, 44100, 320, M::Stereo}, true, {44100, 2, 44100, 320, M::Stereo}},
        {{44100, 2, 44100, 321, M::Stereo}, true, {44100, 2, 44100, 320, M::Stereo}},
        {{44100, 2, 44100, 128, M::DualChannel}, true, {44100, 2, 44100, 128, M::Stereo}},
        {{44100, 2, 44100, 128, kNotAMode}, true, {44100, 2, 44100, 128, M::Stereo}},
        {{44100, 0, 44100, 128, M::Mono}, true, {44100, 1, 44100, 128, M::Mono}},
        {{44100, 6, 44100, 128, M::JointStereo}, true, {44100, 2, 44100, 128, M::JointStereo}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked.outputRateHz * 1000 + c.asked.bitRateKbps);
        Mp3EncoderSettings settings = c.asked;
        ASSERT_EQ(ApplyEncoderRules(&settings), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(settings, c.made);
        }
        Mp3Encoder encoder;
        EXPECT_EQ(encoder.Start(c.asked), c.accepted ? EncoderStart::Started : EncoderStart::Refused);
        EXPECT_EQ(encoder.IsStarted(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(encoder.Settings(), c.made);
        }
    }
}

// Feeds a tone through the encoder in blocks of blockSamples and returns every byte it gave.
fx::Bytes EncodeTone(Mp3Encoder& encoder, const fx::EncodeSpec& tone, int blockSamples) {
    const std::vector<std::int16_t> pcm = fx::MakePcm(tone);
    const int channels = fx::ChannelCount(tone);
    const auto samples = static_cast<int>(pcm.size()) / channels;
    std::vector<std::int16_t> left(static_cast<std::size_t>(blockSamples));
    std::vector<std::int16_t> right(static_cast<std::size_t>(blockSamples));
    fx::Bytes out;
    auto keep = [&] { out.insert(out.end(), encoder.Output().begin(), encoder.Output().end()); };
    for (int first = 0; first < samples; first += blockSamples) {
        const int count = std::min(blockSamples, samples - first);
        for (int i = 0; i < count; ++i) {
            left[i] = pcm[static_cast<std::size_t>((first + i) * channels)];
            right[i] = pcm[static_cast<std::size_t>((first + i) * channels + channels - 1)];
        }
        EXPECT_TRUE(encoder.Encode(left.data(), channels == 1 ? nullptr : right.data(), count));
        keep();
    }
    EXPECT_TRUE(encoder.Finish());
    keep();
    EXPECT_FALSE(encoder.IsStarted()) << "Finish closes the context";
    return out;
}

// A second output of the same encoder starts from nothing: its bytes are those of a fresh
// encoder, whatever the first output was and however the input is cut into calls.
TEST(Mp3EncoderTest, EachOutputStartsFresh) {
    fx::EncodeSpec tone;
    tone.seconds = 0.7;
    const Mp3EncoderSettings settings{44100, 2, 44100, 128, ChannelMode::JointStereo};
    Mp3Encoder fresh;
    ASSERT_EQ(fresh.Start(settings), EncoderStart::Started);
    const fx::Bytes expected = EncodeTone(fresh, tone, 1152);

    Mp3Encoder reused;
    fx::EncodeSpec other = tone;
    other.signal = fx::Signal::Noise;
    ASSERT_EQ(reused.Start({44100, 2, 32000, 64, ChannelMode::Mono}), EncoderStart::Started);
    EncodeTone(reused, other, 1000);
    ASSERT_EQ(reused.Start(settings), EncoderStart::Started);
    EXPECT_TRUE(EncodeTone(reused, tone, 4000) == expected);

    // Started and closed without a flush: nothing of it reaches the next output either.
    ASSERT_EQ(reused.Start(settings), EncoderStart::Started);
    const std::vector<std::int16_t> noise(3000, 1234);
    ASSERT_TRUE(reused.Encode(noise.data(), noise.data(), 3000));
    reused.Close();
    ASSERT_EQ(reused.Start(settings), EncoderStart::Started);
    EXPECT_TRUE(EncodeTone(reused, tone, 1152) == expected);
}

// The encode call can be replaced: a failure is reported and leaves no output, the calls
// see what the encoder was given (the left buffer twice for one channel), and the
// replacement serves every later output too. Without a started output nothing is encoded.
TEST(Mp3EncoderTest, TheEncodeCallCanFail) {
    Mp3Encoder encoder;
    const std::vector<std::int16_t> left(1152, 100);
    EXPECT_FALSE(encoder.Encode(left.data(), left.data(), 1152));
    EXPECT_FALSE(encoder.Finish());

    int calls = 0;
    std::vector<const std::int16_t*> rightSeen;
    encoder.SetEncodeFunction([&](lame_global_flags* lame, const std::int16_t* l, const std::int16_t* r, int samples,
                                  std::uint8_t* mp3, int mp3Bytes) {
        rightSeen.push_back(r);
        if (++calls == 2) return -1;
        return lame_encode_buffer(lame, l, r, samples, mp3, mp3Bytes);
    });
    for (int output = 0; output < 2; ++output) {
        calls = 0;
        ASSERT_EQ(encoder.Start({44100, 1, 44100, 64, ChannelMode::Mono}), EncoderStart::Started);
        EXPECT_TRUE(encoder.Encode(left.data(), nullptr, 1152));
        EXPECT_FALSE(encoder.Encode(left.data(), nullptr, 1152)) << output;
        EXPECT_TRUE(encoder.Output().empty());
    }
    EXPECT_EQ(rightSeen, (std::vector<const std::int16_t*>(4, left.data())));
}

// With the Info frame written over the first frame, a gapless decoder (libmpg123) gives back
// exactly the samples fed: the encoder delay and the padding of the last frame are left out,
// at every rate and for lengths that end anywhere in a frame. Where a frame of the bit rate is
// too small to hold the Info frame (32 kbit/s at 32 kHz, MPEG-2 at 48 kbit/s, 8 kbit/s), LAME makes none: no frame
// is taken for it and the output decodes with the delay and padding in it, as before.
TEST(Mp3EncoderTest, TheInfoFrameMakesTheOutputDecodeToTheSamplesFed) {
    struct Case {
        int rateHz;
        fx::Channels channels;
        int kbps;
        double seconds;
        bool infoFrame;
    };
    const Case cases[] = {
        {44100, fx::Channels::JointStereo, 128, 1.0, true},        // 44,100: 38 frames and 324 samples
        {44100, fx::Channels::Stereo, 320, 1152.0 / 44100, true},  // exactly one frame
        {48000, fx::Channels::Mono, 64, 0.51, true},
        {22050, fx::Channels::Mono, 64, 0.77, true},  // MPEG-2: 576 samples a frame
        {32000, fx::Channels::JointStereo, 64, 0.3, true},
        {32000, fx::Channels::JointStereo, 32, 0.3, false},  // 144-byte frames
        {24000, fx::Channels::Stereo, 48, 0.5, false},
        {22050, fx::Channels::Mono, 8, 0.5, false},
    };
    fx::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rateHz) + " Hz, " + std::to_string(c.kbps) + " kbit/s");
        fx::EncodeSpec tone;
        tone.sampleRateHz = c.rateHz;
        tone.channels = c.channels;
        tone.seconds = c.seconds;
        const int channels = fx::ChannelCount(tone);
        const ChannelMode mode = c.channels == fx::Channels::Mono     ? ChannelMode::Mono
                                 : c.channels == fx::Channels::Stereo ? ChannelMode::Stereo
                                                                      : ChannelMode::JointStereo;
        Mp3Encoder encoder;
        ASSERT_EQ(encoder.Start({c.rateHz, channels, c.rateHz, c.kbps, mode}), EncoderStart::Started);
        fx::Bytes out = EncodeTone(encoder, tone, 1000);
        const std::span<const std::uint8_t> info = encoder.InfoFrame();
        ASSERT_EQ(info.empty(), !c.infoFrame);
        const auto frames = fx::WalkFrames(out, 0);
        ASSERT_FALSE(frames.empty());
        if (c.infoFrame) {
            ASSERT_EQ(info.size(), frames[0].bytes) << "the Info frame has the placeholder's size";
            std::copy(info.begin(), info.end(), out.begin());
        }
        fx::WriteFileBytes(dir / "out.mp3", out);
        const fx::Decoded decoded = fx::DecodeWithMpg123(dir / "out.mp3");
        ASSERT_TRUE(decoded.ok);
        const std::int64_t fed = fx::PcmSampleCount(tone);
        if (c.infoFrame) {
            EXPECT_EQ(decoded.samples, fed);
        } else {
            EXPECT_GT(decoded.samples, fed + 576);
        }
    }
}

}  // namespace
}  // namespace qm
