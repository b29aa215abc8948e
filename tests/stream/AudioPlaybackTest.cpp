// Playback on the output device: the mixing and gain of the device callback, the position
// heard, pause and seek, and the end and position syncs. The device is SDL's dummy driver,
// which runs in real time and makes no sound; files are a fraction of a second long.

#include "stream/AudioPlayback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "fixtures/Fixtures.h"

namespace qm::audio {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kDeviceRateHz = 44100;
constexpr std::int64_t kStereoFrameBytes = 4;

// Bytes of 44100 Hz stereo PCM in ms milliseconds.
constexpr std::int64_t BytesOfMs(std::int64_t ms) { return ms * kDeviceRateHz / 1000 * kStereoFrameBytes; }

// Polls until done() holds or timeout passes; returns done().
bool WaitFor(const std::function<bool()>& done, milliseconds timeout) {
    const Clock::time_point until = Clock::now() + timeout;
    while (!done() && Clock::now() < until) std::this_thread::sleep_for(milliseconds(2));
    return done();
}

// A stream whose every sample is one value: whatever the device mixes from it shows the
// gain at once, however far the audio thread has read.
class ConstantStream final : public Stream {
public:
    ConstantStream(int channels, std::int16_t value) : m_channels(channels), m_value(value) {}
    ChannelInfo Info() const override { return {kDeviceRateHz, m_channels, false}; }
    std::int64_t LengthBytes() override { return -1; }
    std::int64_t Position() override { return m_positionBytes; }
    bool SetPosition(std::int64_t byteOffset) override {
        m_positionBytes = byteOffset;
        return true;
    }
    std::int64_t GetData(void* buffer, std::size_t byteCount) override {
        std::fill_n(static_cast<std::int16_t*>(buffer), byteCount / 2, m_value);
        m_positionBytes += static_cast<std::int64_t>(byteCount);
        return static_cast<std::int64_t>(byteCount);
    }
    std::uint64_t FileStart() const override { return 0; }
    std::uint64_t FileEnd() const override { return 0; }

private:
    int m_channels;
    std::int16_t m_value;
    std::int64_t m_positionBytes = 0;
};

// Records how often a sync fired, and when.
struct SyncRecord {
    std::atomic<int> count{0};
    std::atomic<Clock::rep> firstTicks{0};

    Playback::SyncCallback Callback() {
        return [this] {
            if (count.fetch_add(1) == 0) firstTicks = Clock::now().time_since_epoch().count();
        };
    }
    milliseconds SinceStart(Clock::time_point start) const {
        const Clock::time_point at{Clock::duration(firstTicks.load())};
        return std::chrono::duration_cast<milliseconds>(at - start);
    }
};

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(Init(kDefaultDevice, kDeviceRateHz));
        ASSERT_TRUE(HasSoundCard());
        SetOutputVolume(kMaxVolume);
    }
    void TearDown() override {
        SetOutputVolume(kMaxVolume);
        Free();
    }

    // A stereo 44100 Hz tone of the given length (without an Info frame, so nothing is
    // trimmed) on the device, stopped at 0.
    std::unique_ptr<Playback> ToneOf(double seconds) {
        fixtures::EncodeSpec spec;
        spec.seconds = seconds;
        spec.channels = fixtures::Channels::Stereo;
        const auto path = m_dir / ("tone" + std::to_string(++m_files) + ".mp3");
        fixtures::WriteFileBytes(path, fixtures::EncodeMp3(spec));
        return Playback::Create(StreamCreateFile(path));
    }

    // One device buffer rendered by the test itself, between the audio thread's own.
    std::vector<std::int16_t> RenderNow(std::size_t frames) {
        std::vector<std::int16_t> out(frames * 2, 12345);
        const OutputLock lock;
        RenderOutput(nullptr, reinterpret_cast<std::uint8_t*>(out.data()), static_cast<int>(out.size() * 2));
        return out;
    }

    fixtures::TempDir m_dir;
    int m_files = 0;
};

// The gain rounds toward zero and the mix saturates at the 16-bit limits in both directions;
// full volume passes samples unchanged and volume 0 adds nothing.
TEST(MixScaled, ScalesAndSaturates) {
    struct Case {
        std::int16_t source;
        std::int16_t mixBefore;
        int volume;
        std::int16_t mixAfter;
    };
    const Case cases[] = {
        {12345, 0, kMaxVolume, 12345},
        {-32768, 0, kMaxVolume, -32768},
        {32767, 0, 0, 0},
        {1000, 7, 0, 7},
        {1000, 0, 32768, 500},       // 500.0076...
        {-1000, 0, 32768, -500},     // toward zero, not down
        {3, 0, 21845, 1},            // a third of 3
        {20000, 20000, kMaxVolume, 32767},
        {-20000, -20000, kMaxVolume, -32768},
        {20000, -20000, kMaxVolume, 0},
        {100, 0, kMaxVolume + 5000, 100},  // clamped to full volume
        {100, 0, -5, 0},                   // clamped to silence
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.source) + " onto " + std::to_string(c.mixBefore) + " at " +
                     std::to_string(c.volume));
        const std::int16_t source[] = {c.source};
        std::int16_t mix[] = {c.mixBefore};
        MixScaled(source, mix, c.volume);
        EXPECT_EQ(mix[0], c.mixAfter);
    }
    // Only the samples both hold are touched.
    const std::int16_t source[] = {1, 2, 3};
    std::int16_t mix[] = {10, 10};
    MixScaled(source, mix, kMaxVolume);
    EXPECT_EQ(mix[0], 11);
    EXPECT_EQ(mix[1], 12);
}

TEST(OutputVolume, ClampsToItsRange) {
    struct Case {
        int level;
        int kept;
    };
    const int before = OutputVolume();
    for (const Case c : {Case{-1, 0}, Case{0, 0}, Case{40000, 40000}, Case{70000, kMaxVolume}}) {
        SetOutputVolume(c.level);
        EXPECT_EQ(OutputVolume(), c.kept) << c.level;
    }
    SetOutputVolume(before);
}

// Without an output device (the silent device) nothing can play.
TEST(PlaybackWithoutDevice, IsNotCreated) {
    ASSERT_TRUE(Init(kSilentDevice, kDeviceRateHz));
    EXPECT_EQ(Playback::Create(std::make_unique<ConstantStream>(2, 1)), nullptr);
    Free();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(Init(kDefaultDevice, kDeviceRateHz));
    EXPECT_EQ(Playback::Create(nullptr), nullptr);
    EXPECT_NE(Playback::Create(std::make_unique<ConstantStream>(2, 1)), nullptr);
    Free();
}

// The device callback outputs silence while nothing plays; a playing stream comes out at
// the output volume, a mono one on both channels, and two streams add up (saturating).
// Rendered by the test under the device lock, so no waiting is needed.
TEST_F(PlaybackTest, TheCallbackMixesPlayingStreamsAtTheVolume) {
    auto mono = Playback::Create(std::make_unique<ConstantStream>(1, 10000));
    auto stereo = Playback::Create(std::make_unique<ConstantStream>(2, 30000));
    ASSERT_NE(mono, nullptr);
    ASSERT_NE(stereo, nullptr);
    constexpr std::size_t kFrames = 512;
    EXPECT_EQ(RenderNow(kFrames), std::vector<std::int16_t>(kFrames * 2, 0));

    mono->Play(Playback::Restart::No);
    struct Case {
        int volume;
        std::int16_t sample;
    };
    for (const Case c : {Case{kMaxVolume, 10000}, Case{32768, 5000}, Case{6553, 999}, Case{0, 0}}) {
        SetOutputVolume(c.volume);
        EXPECT_EQ(RenderNow(kFrames), std::vector<std::int16_t>(kFrames * 2, c.sample)) << c.volume;
    }
    SetOutputVolume(kMaxVolume);
    stereo->Play(Playback::Restart::No);
    EXPECT_EQ(RenderNow(kFrames), std::vector<std::int16_t>(kFrames * 2, 32767));
    mono->Pause();
    EXPECT_EQ(RenderNow(kFrames), std::vector<std::int16_t>(kFrames * 2, 30000));
    stereo.reset();  // detached: its PCM is gone from the mix at once
    EXPECT_EQ(RenderNow(kFrames), std::vector<std::int16_t>(kFrames * 2, 0));
}

// A file played to its end fires its end sync once, when its length has been heard; the
// stream then stops at its end. A removed sync never fires.
TEST_F(PlaybackTest, EndSyncFiresOnceAtTheEnd) {
    auto playback = ToneOf(0.4);
    ASSERT_NE(playback, nullptr);
    const std::int64_t lengthBytes = playback->LengthBytes();
    ASSERT_GT(lengthBytes, BytesOfMs(400));
    const milliseconds lengthMs(lengthBytes / kStereoFrameBytes * 1000 / kDeviceRateHz);
    SyncRecord end;
    SyncRecord removed;
    playback->SetEndSync(end.Callback());
    const Playback::SyncHandle gone = playback->SetEndSync(removed.Callback());
    EXPECT_TRUE(playback->RemoveSync(gone));
    EXPECT_FALSE(playback->RemoveSync(gone));
    EXPECT_FALSE(playback->RemoveSync(0));

    const Clock::time_point start = Clock::now();
    playback->Play(Playback::Restart::No);
    ASSERT_TRUE(WaitFor([&] { return end.count > 0; }, lengthMs + milliseconds(1500)));
    // The dummy device waits whole milliseconds per buffer: a little faster than real time.
    EXPECT_GE(end.SinceStart(start), lengthMs * 97 / 100);
    EXPECT_LE(end.SinceStart(start), lengthMs + milliseconds(250));
    EXPECT_FALSE(playback->IsPlaying());
    EXPECT_EQ(playback->Position(), lengthBytes);
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(end.count, 1);
    EXPECT_EQ(removed.count, 0);

    // Played again at its end, it ends at once; a sync set now fires, the spent one not again.
    SyncRecord again;
    playback->SetEndSync(again.Callback());
    playback->Play(Playback::Restart::No);
    EXPECT_TRUE(WaitFor([&] { return again.count > 0; }, milliseconds(300)));
    EXPECT_EQ(end.count, 1);
    EXPECT_EQ(playback->Position(), lengthBytes);
}

// A position sync fires once, when the heard position reaches it; one behind the start of
// play does not (a seek past it is no passing), and one at the start fires at once.
TEST_F(PlaybackTest, PositionSyncFiresWhenThePositionPassesIt) {
    struct Case {
        const char* name;
        std::int64_t startMs;
        std::int64_t syncMs;
        bool fires;
    };
    const Case cases[] = {
        {"ahead", 100, 350, true},
        {"behind", 400, 300, false},
        {"at the start", 200, 200, true},
    };
    auto playback = ToneOf(0.8);
    ASSERT_NE(playback, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        playback->Pause();
        ASSERT_TRUE(playback->SetPosition(BytesOfMs(c.startMs)));
        SyncRecord sync;
        const Playback::SyncHandle handle = playback->SetPositionSync(BytesOfMs(c.syncMs), sync.Callback());
        const Clock::time_point start = Clock::now();
        playback->Play(Playback::Restart::No);
        const milliseconds due(std::max<std::int64_t>(c.syncMs - c.startMs, 0));
        EXPECT_EQ(WaitFor([&] { return sync.count > 0; }, due + milliseconds(200)), c.fires);
        if (c.fires) {
            EXPECT_GE(sync.SinceStart(start), due * 95 / 100);
            EXPECT_LE(sync.SinceStart(start), due + milliseconds(120));
            EXPECT_GE(playback->Position(), BytesOfMs(c.syncMs));
            EXPECT_TRUE(playback->IsPlaying());
        }
        std::this_thread::sleep_for(milliseconds(60));
        EXPECT_EQ(sync.count, c.fires ? 1 : 0);
        EXPECT_EQ(playback->RemoveSync(handle), !c.fires);
    }
}

// The position follows the time played; Pause holds it where it was heard, and Play goes on
// from there.
TEST_F(PlaybackTest, PauseHoldsThePosition) {
    auto playback = ToneOf(1.0);
    ASSERT_NE(playback, nullptr);
    EXPECT_EQ(playback->Position(), 0);
    playback->Play(Playback::Restart::No);
    std::this_thread::sleep_for(milliseconds(250));
    const std::int64_t playing = playback->Position();
    EXPECT_GE(playing, BytesOfMs(150));
    EXPECT_LE(playing, BytesOfMs(300));

    playback->Pause();
    const std::int64_t paused = playback->Position();
    EXPECT_FALSE(playback->IsPlaying());
    EXPECT_GE(paused, playing);
    EXPECT_LE(paused, playing + BytesOfMs(20));
    EXPECT_EQ(paused % kStereoFrameBytes, 0);
    std::this_thread::sleep_for(milliseconds(120));
    EXPECT_EQ(playback->Position(), paused);

    playback->Play(Playback::Restart::No);
    std::this_thread::sleep_for(milliseconds(150));
    const std::int64_t resumed = playback->Position();
    EXPECT_GE(resumed, paused + BytesOfMs(80));
    EXPECT_LE(resumed, paused + BytesOfMs(220));

    playback->Play(Playback::Restart::Yes);
    EXPECT_LE(playback->Position(), BytesOfMs(50));
}

// A seek moves the position at once, playing or not, to whole sample frames within the
// length.
TEST_F(PlaybackTest, SetPositionMovesThePosition) {
    auto playback = ToneOf(1.0);
    ASSERT_NE(playback, nullptr);
    const std::int64_t lengthBytes = playback->LengthBytes();
    struct Case {
        std::int64_t target;
        std::int64_t position;
    };
    const Case cases[] = {
        {BytesOfMs(500), BytesOfMs(500)},
        {BytesOfMs(500) + 3, BytesOfMs(500)},  // inside a frame: back to its start
        {0, 0},
        {lengthBytes + 4096, lengthBytes},
        {-8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        ASSERT_TRUE(playback->SetPosition(c.target));
        EXPECT_EQ(playback->Position(), c.position);
    }
    playback->SetPosition(0);
    playback->Play(Playback::Restart::No);
    std::this_thread::sleep_for(milliseconds(100));
    ASSERT_TRUE(playback->SetPosition(BytesOfMs(700)));
    const std::int64_t afterSeek = playback->Position();
    EXPECT_GE(afterSeek, BytesOfMs(700));
    EXPECT_LE(afterSeek, BytesOfMs(720));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_GE(playback->Position(), BytesOfMs(740));
    EXPECT_TRUE(playback->IsPlaying());
}

// Playbacks destroyed while the audio thread plays them, and one that outlives the device,
// go without harm (the sanitizer build watches the memory).
TEST_F(PlaybackTest, DetachesWhilePlaying) {
    for (int round = 0; round < 4; ++round) {
        auto playback = Playback::Create(std::make_unique<ConstantStream>(2, 100));
        ASSERT_NE(playback, nullptr);
        playback->Play(Playback::Restart::No);
        std::this_thread::sleep_for(milliseconds(10 * round));
    }
    auto survivor = ToneOf(0.3);
    ASSERT_NE(survivor, nullptr);
    survivor->Play(Playback::Restart::No);
    std::this_thread::sleep_for(milliseconds(30));
    Free();
    survivor.reset();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(Init(kDefaultDevice, kDeviceRateHz));
    EXPECT_EQ(RenderNow(64), std::vector<std::int16_t>(128, 0));
}

}  // namespace
}  // namespace qm::audio
