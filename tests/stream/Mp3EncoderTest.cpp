// The MP3 encoder both re-encoding engines use: one rule for its settings, nothing carried
// from one output to the next, and an encode call that a test can make fail. (The frames it
// makes are checked through the engines' tests.)

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

}  // namespace
}  // namespace qm
