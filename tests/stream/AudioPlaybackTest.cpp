// Playback on the output device: the device callback's mixing and gain, and detaching while
// the audio thread plays. The device is SDL's dummy driver (real time, no sound). The syncs
// and the position are tested through the preview player.

#include "stream/AudioPlayback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace qm::audio {
namespace {

using std::chrono::milliseconds;

constexpr int kRateHz = 44100;

// A stream whose every sample is one value: whatever the device mixes from it shows the gain,
// however far the audio thread has read.
class ConstantStream final : public Stream {
public:
    ConstantStream(int channels, std::int16_t value) : m_channels(channels), m_value(value) {}
    ChannelInfo Info() const override { return {kRateHz, m_channels, false}; }
    std::int64_t LengthBytes() override { return -1; }
    std::int64_t Position() override { return 0; }
    bool SetPosition(std::int64_t) override { return true; }
    std::int64_t GetData(void* buffer, std::size_t byteCount) override {
        std::fill_n(static_cast<std::int16_t*>(buffer), byteCount / 2, m_value);
        return static_cast<std::int64_t>(byteCount);
    }
    std::uint64_t FileStart() const override { return 0; }
    std::uint64_t FileEnd() const override { return 0; }

private:
    int m_channels;
    std::int16_t m_value;
};

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(Init(kDefaultDevice, kRateHz));
        ASSERT_TRUE(HasSoundCard());
    }
    void TearDown() override {
        SetOutputVolume(kMaxVolume);
        Free();
    }

    // One device buffer rendered by the test itself, between the audio thread's own.
    static std::vector<std::int16_t> RenderNow(std::size_t frames) {
        std::vector<std::int16_t> out(frames * 2, 12345);
        const OutputLock lock;
        RenderOutput(nullptr, reinterpret_cast<std::uint8_t*>(out.data()), static_cast<int>(out.size() * 2));
        return out;
    }
};

// The gain rounds toward zero, the mix saturates at both 16-bit limits, and volumes outside
// 0..65535 are clamped.
TEST(MixScaled, ScalesAndSaturates) {
    struct Case {
        std::int16_t source, mixBefore;
        int volume;
        std::int16_t mixAfter;
    };
    const Case cases[] = {
        {-32768, 0, kMaxVolume, -32768},
        {1000, 7, 0, 7},
        {1000, 0, 32768, 500},
        {-1000, 0, 32768, -500},
        {3, 0, 21845, 1},
        {20000, 20000, kMaxVolume, 32767},
        {-20000, -20000, kMaxVolume, -32768},
        {100, 0, 70000, 100},
        {100, 0, -5, 0},
    };
    for (const Case& c : cases) {
        const std::int16_t source[] = {c.source};
        std::int16_t mix[] = {c.mixBefore};
        MixScaled(source, mix, c.volume);
        EXPECT_EQ(mix[0], c.mixAfter) << c.source << " onto " << c.mixBefore << " at " << c.volume;
    }
}

// The device callback outputs silence while nothing plays; a playing stream comes out at the
// output volume, a mono one on both channels; two streams add up; a paused or destroyed one
// drops out at once. Rendered by the test under the device lock: no waiting.
TEST_F(PlaybackTest, TheCallbackMixesPlayingStreamsAtTheVolume) {
    EXPECT_EQ(Playback::Create(nullptr), nullptr);
    auto mono = Playback::Create(std::make_unique<ConstantStream>(1, 10000));
    auto stereo = Playback::Create(std::make_unique<ConstantStream>(2, 30000));
    ASSERT_NE(mono, nullptr);
    ASSERT_NE(stereo, nullptr);
    constexpr std::size_t kFrames = 512;
    auto all = [](std::int16_t sample) { return std::vector<std::int16_t>(kFrames * 2, sample); };
    EXPECT_EQ(RenderNow(kFrames), all(0));

    mono->Play(Playback::Restart::No);
    using VolumeAndSample = std::pair<int, std::int16_t>;
    for (const auto& [volume, sample] : {VolumeAndSample{kMaxVolume, 10000}, {6553, 999}, {0, 0}}) {
        SetOutputVolume(volume);
        EXPECT_EQ(RenderNow(kFrames), all(sample)) << volume;
    }
    SetOutputVolume(kMaxVolume);
    stereo->Play(Playback::Restart::No);
    EXPECT_EQ(RenderNow(kFrames), all(32767));
    mono->Pause();
    EXPECT_EQ(RenderNow(kFrames), all(30000));
    stereo.reset();
    EXPECT_EQ(RenderNow(kFrames), all(0));
}

// Playbacks destroyed while the audio thread plays them, and one that outlives the device,
// go without harm (the sanitizer build watches); without a device there is no playback.
TEST_F(PlaybackTest, DetachesWhilePlaying) {
    for (int round = 0; round < 4; ++round) {
        auto playback = Playback::Create(std::make_unique<ConstantStream>(2, 100));
        playback->Play(Playback::Restart::No);
        std::this_thread::sleep_for(milliseconds(15 * round));
    }
    auto survivor = Playback::Create(std::make_unique<ConstantStream>(2, 100));
    survivor->Play(Playback::Restart::No);
    std::this_thread::sleep_for(milliseconds(30));
    Free();
    survivor.reset();
    ASSERT_TRUE(Init(kSilentDevice, kRateHz));
    EXPECT_EQ(Playback::Create(std::make_unique<ConstantStream>(2, 100)), nullptr);
}

}  // namespace
}  // namespace qm::audio
