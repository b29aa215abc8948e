// The waveform strip: levels drawn where the sound is, nothing of a replaced file ever shown,
// the mouse mapped to positions as the drawing places them, and Clear ending the work.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "fixtures/Fixtures.h"
#include "ui/UiTestSupport.h"
#include "ui/widgets/WaveformStrip.h"

namespace qm {
namespace {

using fixtures::EncodeSpec;
using test::App;

constexpr int kWidth = 201;  // 200 pixel steps: the middle pixel is exactly half-way
constexpr int kHeight = 64;

// seconds of silence then seconds of a tone at half of full scale, 44.1 kHz joint stereo with an
// Info frame (so the decoder trims the encoder's delay).
std::filesystem::path WriteMp3(const fixtures::TempDir& dir, const char* name, double silenceSeconds,
                               double toneSeconds) {
    EncodeSpec spec;
    spec.xing = fixtures::XingFrame::Yes;
    const auto path = dir / name;
    fixtures::WriteFileBytes(path, fixtures::EncodeSilenceThenTone(spec, silenceSeconds, toneSeconds));
    return path;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void RunEventsFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Whether the column at x shows a level above a quarter of full scale: the pixel three eighths
// down is then painted over, while the one near the top edge never is.
bool IsLoud(const QImage& image, int x) { return image.pixel(x, kHeight * 3 / 8) != image.pixel(x, 2); }

// Columns between the frame and the cursor's marks at the edges that show a loud level.
std::vector<int> LoudColumns(WaveformStrip& strip) {
    const QImage image = strip.grab().toImage();
    std::vector<int> loud;
    for (int x = 8; x < kWidth - 8; ++x) {
        if (IsLoud(image, x)) loud.push_back(x);
    }
    return loud;
}

struct Counter {
    int count = 0;
    void operator()() { ++count; }
};

// How many of this process's file descriptors lead to path: the scan holds the file open
// while it runs.
int OpenHandlesTo(const std::filesystem::path& path) {
    int count = 0;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        if (std::filesystem::read_symlink(fd.path(), linkError) == path) ++count;
    }
    return count;
}

// 2 s of silence then 2 s of tone: once Completed arrives (exactly once), the left half of the
// strip is flat and the right half loud.
TEST(WaveformStripTest, CompletedLevelsShowWhereTheToneIs) {
    App();
    fixtures::TempDir dir;
    const auto path = WriteMp3(dir, "step.mp3", 2.0, 2.0);
    WaveformStrip strip;
    strip.resize(kWidth, kHeight);
    Counter completed;
    QObject::connect(&strip, &WaveformStrip::Completed, std::ref(completed));
    strip.Load(path, 40);
    EXPECT_FALSE(strip.IsComplete());
    ASSERT_TRUE(WaitFor([&] { return completed.count > 0; }));
    EXPECT_TRUE(strip.IsComplete());
    const std::vector<int> loud = LoudColumns(strip);
    ASSERT_FALSE(loud.empty());
    // The tone starts at x = 100; the encoder smears the onset by a granule, under a column.
    EXPECT_GE(loud.front(), 100 - 1);
    EXPECT_LE(loud.front(), 100 + 1);
    EXPECT_EQ(loud.back(), kWidth - 9);
    EXPECT_EQ(loud.size(), static_cast<std::size_t>(loud.back() - loud.front() + 1));
    RunEventsFor(200);
    EXPECT_EQ(completed.count, 1);
}

// A loud file replaced by a silent one, while its levels are being computed or once its last
// batches are queued: no loud column is ever drawn again, neither at once nor once the silent
// file's levels are complete, and only the silent file completes.
TEST(WaveformStripTest, AnotherFileNeverShowsTheOldLevels) {
    App();
    fixtures::TempDir dir;
    const auto loudFile = WriteMp3(dir, "loud.mp3", 0.0, 10.0);
    const auto silentFile = WriteMp3(dir, "silent.mp3", 4.0, 0.0);
    for (const int waitMs : {0, 150}) {
        SCOPED_TRACE(waitMs == 0 ? "while computed" : "with its batches queued");
        WaveformStrip strip;
        strip.resize(kWidth, kHeight);
        Counter completed;
        QObject::connect(&strip, &WaveformStrip::Completed, std::ref(completed));
        strip.Load(loudFile, 100);
        ASSERT_TRUE(WaitFor([&] { return !LoudColumns(strip).empty(); }));  // the loud file is being drawn
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        // The loud file may have completed before it was replaced: only what comes after counts.
        completed.count = 0;
        strip.Load(silentFile, 40);
        EXPECT_TRUE(LoudColumns(strip).empty());
        ASSERT_TRUE(WaitFor([&] { return completed.count > 0; }));
        EXPECT_TRUE(LoudColumns(strip).empty());
        RunEventsFor(200);
        EXPECT_EQ(completed.count, 1);
        EXPECT_TRUE(LoudColumns(strip).empty());
    }
}

// Press, drag and release map x to tenths at both edges, the middle and beyond the edges
// (clamped), inside the contents rectangle; and the cursor drawn at the tenths chosen lies at
// the x that chose them.
TEST(WaveformStripTest, MouseXMapsToTenthsAsTheDrawing) {
    App();
    struct Case {
        const char* name;
        int margin;  // left and right contents margins
        int x;
        int tenths;
    };
    const Case cases[] = {
        {"left edge", 0, 0, 0},
        {"middle", 0, 100, 300},
        {"right edge", 0, 200, 600},
        {"a quarter", 0, 50, 150},
        {"left of the strip", 0, -40, 0},
        {"right of the strip", 0, 260, 600},
        {"margins: left edge of the contents", 12, 12, 0},
        {"margins: middle", 12, 112, 300},
        {"margins: right edge of the contents", 12, 212, 600},
        {"margins: in the left margin", 12, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WaveformStrip strip;
        strip.setContentsMargins(c.margin, 0, c.margin, 0);
        strip.resize(kWidth + 2 * c.margin, kHeight);
        strip.Load("/nonexistent/waveform.mp3", 600);  // no levels, but a length
        std::vector<int> dragged;
        std::vector<int> chosen;
        QObject::connect(&strip, &WaveformStrip::PositionDragged, [&](int tenths) { dragged.push_back(tenths); });
        QObject::connect(&strip, &WaveformStrip::PositionChosen, [&](int tenths) { chosen.push_back(tenths); });
        const QPointF start(kWidth / 2 + c.margin, kHeight / 2);
        const QPointF at(c.x, kHeight / 2);
        QMouseEvent press(QEvent::MouseButtonPress, start, start, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&strip, &press);
        QCoreApplication::sendEvent(&strip, &move);
        QCoreApplication::sendEvent(&strip, &release);
        EXPECT_EQ(dragged, (std::vector<int>{300, c.tenths}));
        EXPECT_EQ(chosen, (std::vector<int>{c.tenths}));

        strip.SetCursor(c.tenths);
        const QImage image = strip.grab().toImage();
        const int cursorX = std::clamp(c.x, c.margin, c.margin + kWidth - 1);
        const QRgb text = strip.palette().color(QPalette::Text).rgb();
        EXPECT_EQ(image.pixel(cursorX, kHeight / 2), text);
        if (cursorX > 2) {
            EXPECT_NE(image.pixel(cursorX - 2, kHeight / 2), text);
        }
    }
}

// Clear ends the scan before it returns (the file is no longer open), Completed never comes,
// and the strip is empty; deleting a strip while it scans is just as clean.
TEST(WaveformStripTest, ClearStopsTheWork) {
    App();
    fixtures::TempDir dir;
    const auto path = std::filesystem::canonical(WriteMp3(dir, "long.mp3", 0.0, 10.0));
    WaveformStrip strip;
    strip.resize(kWidth, kHeight);
    Counter completed;
    QObject::connect(&strip, &WaveformStrip::Completed, std::ref(completed));
    strip.Load(path, 100);
    strip.Clear();
    EXPECT_EQ(OpenHandlesTo(path), 0);
    RunEventsFor(300);
    EXPECT_EQ(completed.count, 0);
    EXPECT_FALSE(strip.IsComplete());
    const QImage image = strip.grab().toImage();
    const QRgb base = strip.palette().color(QPalette::Base).rgb();
    for (const int x : {10, kWidth / 2, kWidth - 10}) {
        EXPECT_EQ(image.pixel(x, kHeight / 2), base) << "x " << x;
        EXPECT_EQ(image.pixel(x, 2), base) << "x " << x;
    }

    auto scanning = std::make_unique<WaveformStrip>();
    scanning->Load(path, 100);
    scanning.reset();
    EXPECT_EQ(OpenHandlesTo(path), 0);
    RunEventsFor(100);  // batches it queued must not reach it
}

}  // namespace
}  // namespace qm
