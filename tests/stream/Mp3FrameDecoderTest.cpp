// LAME's frame decoder behind its owner: frames in, 1152 samples a frame out, and nothing of
// one stream left over when the next starts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/Mp3FrameDecoder.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// Feeds the frames one by one, each followed by calls without bytes until the decoder has
// nothing more, and returns the left channel of everything decoded.
std::vector<std::int16_t> DecodeAll(Mp3FrameDecoder& decoder, fx::Bytes image) {
    std::vector<std::int16_t> out;
    std::vector<std::int16_t> left(1152);
    std::vector<std::int16_t> right(1152);
    std::uint8_t nothing = 0;
    for (const fx::FrameSpan& frame : fx::WalkFrames(image, 0)) {
        int samples = decoder.Decode(image.data() + frame.offset, frame.bytes, left.data(), right.data());
        while (samples > 0) {
            out.insert(out.end(), left.begin(), left.begin() + samples);
            samples = decoder.Decode(&nothing, 0, left.data(), right.data());
        }
    }
    return out;
}

// Frames fed one at a time give 1152 samples each, every frame counted, and a restarted
// decoder gives the same samples again: no bit reservoir or sync state carries over.
TEST(Mp3FrameDecoder, DecodesEveryFrameAndStartsAfresh) {
    const fx::Bytes image = fx::EncodeMp3(fx::StreamSpec(1.0, fx::Signal::Tone, 44100, 128));
    const std::size_t frames = fx::WalkFrames(image, 0).size();
    Mp3FrameDecoder decoder;
    ASSERT_TRUE(decoder.Start());
    const std::vector<std::int16_t> first = DecodeAll(decoder, image);
    EXPECT_EQ(first.size(), frames * 1152);
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), [](std::int16_t s) { return s != 0; })) << "a tone";
    ASSERT_TRUE(decoder.Start());
    EXPECT_EQ(DecodeAll(decoder, image), first);
}

}  // namespace
}  // namespace qm
