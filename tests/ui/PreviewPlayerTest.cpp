// The preview player: the figures it measures, its fallback to decoding only, and the one
// playback-ended event it posts for each play of the file or of a range. The device is SDL's
// dummy driver (real time, no sound); the files last a fraction of a second.

#include "ui/widgets/PreviewPlayer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "fixtures/Fixtures.h"
#include "stream/AudioLayer.h"
#include "stream/AudioPlayback.h"
#include "ui/UiTestSupport.h"

namespace qm {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Counts the playback-ended events it receives, noting the player's position at the first.
class EndRecorder : public QObject {
public:
    explicit EndRecorder(const PreviewPlayer& player) : m_player(player) {}

    bool event(QEvent* event) override {
        if (event->type() != kPlaybackEndedEvent) return QObject::event(event);
        if (count++ == 0) {
            firstAt = Clock::now();
            positionMsAtFirst = m_player.PositionMs();
        }
        return true;
    }

    int count = 0;
    Clock::time_point firstAt{};
    std::uint64_t positionMsAtFirst = 0;

private:
    const PreviewPlayer& m_player;
};

// Handles events until done() holds or timeout passes; returns done().
bool PumpUntil(const std::function<bool()>& done, milliseconds timeout) {
    const Clock::time_point until = Clock::now() + timeout;
    while (!done() && Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(milliseconds(2));
    }
    return done();
}

void PumpFor(milliseconds time) {
    PumpUntil([] { return false; }, time);
}

milliseconds Since(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration_cast<milliseconds>(end - start);
}

// Descriptors this process has open.
int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

class PreviewPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(audio::Init(audio::kDefaultDevice, 44100));
        ASSERT_TRUE(audio::HasSoundCard());
    }
    void TearDown() override { audio::Free(); }

    // A tone without an Info frame, so that its length is all of its frames.
    std::filesystem::path Tone(double seconds, int rateHz = 44100, int kbps = 128,
                               fixtures::Channels channels = fixtures::Channels::JointStereo) {
        fixtures::EncodeSpec spec;
        spec.seconds = seconds;
        spec.sampleRateHz = rateHz;
        spec.kbps = kbps;
        spec.channels = channels;
        const auto path = m_dir / ("tone" + std::to_string(++m_files) + ".mp3");
        fixtures::WriteFileBytes(path, fixtures::EncodeMp3(spec));
        return path;
    }

    fixtures::TempDir m_dir;
    int m_files = 0;
    EndRecorder m_ended{m_player};  // outlives the player, which may still post to it
    PreviewPlayer m_player;
};

// The average bit rate counts the whole file and rounds half up; no time, no rate.
TEST(PreviewPlayerBitRate, IsFileSizeOverPlayingTime) {
    struct Case {
        std::uint64_t fileBytes;
        double seconds;
        int kbps;
    };
    const Case cases[] = {
        {4000000, 250.0, 128},
        {32125, 2.0, 129} /* 128.5 */,
        {32124, 2.0, 128} /* 128.496 */,
        {5000000000, 312500.0, 128} /* past 32 bits */,
        {1000, 0.0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(audio::AverageKbps(c.fileBytes, c.seconds), c.kbps) << c.fileBytes << " B, " << c.seconds << " s";
    }
}

// With only the silent device the file opens for decoding: it is measured (length from all
// of its frames, rate, channels, bit rate) and can be sought, but not played.
TEST_F(PreviewPlayerTest, SilentDeviceOpensForDecodingOnly) {
    audio::Free();
    ASSERT_TRUE(audio::Init(audio::kSilentDevice, 44100));
    struct Case {
        int rateHz, kbps;
        fixtures::Channels channels;
        int channelCount;
    };
    const Case cases[] = {
        {44100, 128, fixtures::Channels::JointStereo, 2},
        {22050, 32, fixtures::Channels::Mono, 1},  // MPEG-2: padded frames, 32 on average
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rateHz);
        const auto path = Tone(0.5, c.rateHz, c.kbps, c.channels);
        ASSERT_TRUE(m_player.OpenStream(path, &m_ended));
        EXPECT_TRUE(m_player.IsOpen());
        EXPECT_FALSE(m_player.CanPlay());
        EXPECT_EQ(m_player.SampleRateHz(), c.rateHz);
        EXPECT_EQ(m_player.Channels(), c.channelCount);
        EXPECT_EQ(m_player.BitRateKbps(), c.kbps);
        const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(path);
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(m_player.LengthMs(), static_cast<std::uint64_t>(decoded.samples * 1000 / c.rateHz));

        m_player.SeekMs(300);
        EXPECT_EQ(m_player.PositionMs(), 300u);
        m_player.Play();
        m_player.PlayRange(100, 200);
        EXPECT_EQ(m_player.PositionMs(), 100u);
    }
    PumpFor(milliseconds(100));
    EXPECT_EQ(m_ended.count, 0);
    EXPECT_FALSE(m_player.OpenStream(m_dir / "missing.mp3", &m_ended));
    EXPECT_FALSE(m_player.IsOpen());
    EXPECT_EQ(m_player.LengthMs(), 0u);
    EXPECT_EQ(m_player.SampleRateHz(), 0);
}

// Opening a second file lets the first go (its file is closed, its range never ends).
TEST_F(PreviewPlayerTest, OpeningASecondFileFreesTheFirst) {
    const auto first = Tone(0.6);
    const auto second = Tone(0.3, 32000, 64, fixtures::Channels::Mono);
    PumpFor(milliseconds(10));  // whatever the event loop opens, it opens now
    const int before = OpenDescriptors();
    ASSERT_TRUE(m_player.OpenStream(first, &m_ended));
    EXPECT_TRUE(m_player.CanPlay());
    const int withOne = OpenDescriptors();
    EXPECT_GT(withOne, before);
    m_player.PlayRange(0, 150);

    ASSERT_TRUE(m_player.OpenStream(second, &m_ended));
    EXPECT_EQ(OpenDescriptors(), withOne);
    EXPECT_EQ(m_player.SampleRateHz(), 32000);
    EXPECT_EQ(m_player.Channels(), 1);
    EXPECT_EQ(m_player.PositionMs(), 0u);
    PumpFor(milliseconds(300));
    EXPECT_EQ(m_ended.count, 0);
    m_player.CloseStream();
    EXPECT_EQ(OpenDescriptors(), before);
}

// A range posts its event once the position passes its end, and playing goes on; a pause
// holds the position, Resume keeps the range's end, a seek moves the position.
TEST_F(PreviewPlayerTest, PlayRangePostsWhenThePositionPassesItsEnd) {
    ASSERT_TRUE(m_player.OpenStream(Tone(1.0), &m_ended));
    const Clock::time_point start = Clock::now();
    m_player.PlayRange(200, 400);
    EXPECT_GE(m_player.PositionMs(), 200u);
    PumpFor(milliseconds(100));
    m_player.Pause();
    const std::uint64_t pausedMs = m_player.PositionMs();
    PumpFor(milliseconds(150));
    EXPECT_EQ(m_ended.count, 0);
    EXPECT_EQ(m_player.PositionMs(), pausedMs);
    m_player.Resume();
    ASSERT_TRUE(PumpUntil([&] { return m_ended.count > 0; }, milliseconds(1000)));
    EXPECT_GE(m_ended.positionMsAtFirst, 400u);
    EXPECT_LE(m_ended.positionMsAtFirst, 560u);
    EXPECT_GE(Since(start, m_ended.firstAt), milliseconds(150 + 190));
    PumpFor(milliseconds(150));
    EXPECT_EQ(m_ended.count, 1);
    EXPECT_GT(m_player.PositionMs(), 450u);  // still playing

    // SeekMs moves it exactly (333 ms is 14685.3 sample frames: it reads 333 back, not 332).
    for (const std::uint32_t ms : {600u, 0u, 333u}) {
        m_player.SeekMs(ms);
        EXPECT_EQ(m_player.PositionMs(), ms);
    }
    PumpFor(milliseconds(150));
    EXPECT_GE(m_player.PositionMs(), 333u + 80u);
    EXPECT_LE(m_player.PositionMs(), 333u + 220u);
}

// Play after PlayRange posts one event, when the end of the file has been heard, and not at
// the old range's end; an end the old range had already posted, not yet handled, is dropped.
TEST_F(PreviewPlayerTest, PlayAfterPlayRangeEndsAtTheEndOfTheFile) {
    ASSERT_TRUE(m_player.OpenStream(Tone(0.5), &m_ended));
    m_player.PlayRange(50, 50);                      // ends at once
    std::this_thread::sleep_for(milliseconds(120));  // its event waits in the queue
    m_player.PlayRange(100, 200);
    const Clock::time_point start = Clock::now();
    m_player.Play();
    ASSERT_TRUE(PumpUntil([&] { return m_ended.count > 0; }, milliseconds(1500)));
    EXPECT_EQ(m_ended.positionMsAtFirst, m_player.LengthMs());
    // The dummy device waits whole milliseconds per buffer: a little faster than real time.
    EXPECT_GE(Since(start, m_ended.firstAt), milliseconds(m_player.LengthMs() - 100) * 97 / 100);
    PumpFor(milliseconds(200));
    EXPECT_EQ(m_ended.count, 1);
}

}  // namespace
}  // namespace qm
