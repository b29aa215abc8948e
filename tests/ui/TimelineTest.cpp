// The waveform's time axis: pixels and times at every zoom, zooms that keep the time under
// the mouse, scrolls held inside the file, the ruler's step and labels, frame snapping and
// the rules a dragged boundary obeys. One table per rule.

#include <gtest/gtest.h>

#include <string>

#include "ui/widgets/Timeline.h"

namespace qm::timeline {
namespace {

constexpr Ms kHour = 3600000;

// Column anchorX shows anchorMs before and after a zoom by factor (1: none), which is held
// between the finest zoom and the whole file, the whole file's last column showing its end; at
// either end of the file the view is clamped instead (the anchor's time then moves).
TEST(TimelineTest, ZoomKeepsTheTimeUnderTheMouse) {
    const View whole = WholeFile(kHour, 1001);  // 3600 ms a pixel
    const struct {
        const char* name;
        View view;
        double factor, anchorX, msPerPixel, anchorMs;  // the last two afterwards
    } cases[] = {
        {"whole file: the last column shows the end", WholeFile(60000, 601), 1, 600, 100, 60000},
        {"finest zoom: half a column", {1000, kFinestMsPerPixel, 500, kHour}, 1, 0.5, kFinestMsPerPixel, 1001},
        {"in by two about the middle", whole, 2.0, 500, 1800, 1800000},
        {"in by two about the first column", whole, 2.0, 0, 1800, 0},
        {"in by two about the last column", whole, 2.0, 1000, 1800, kHour},
        {"out past the whole file", {900000, 1800, 1001, kHour}, 0.25, 500, 3600, 1800000},
        {"in past the finest zoom", {1000000, 3, 1001, kHour}, 100, 500, kFinestMsPerPixel, 1001500},
        {"in near the end, clamped", {1000000, 3600, 1001, kHour}, 2, 1000, 1800, kHour},
        {"a file shorter than the finest zoom", WholeFile(500, 1001), 4, 500, 0.5, 250},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const View zoomed = ZoomedAbout(c.view, c.factor, c.anchorX);
        EXPECT_DOUBLE_EQ(zoomed.msPerPixel, c.msPerPixel);
        EXPECT_DOUBLE_EQ(zoomed.MsAt(c.anchorX), c.anchorMs);
        EXPECT_DOUBLE_EQ(zoomed.XOf(c.anchorMs), c.anchorX);
        EXPECT_EQ(zoomed.widthPixels, c.view.widthPixels);
    }
}

// Scrolls, fits and the view that follows the play position never show time before the
// file's start or after its end.
TEST(TimelineTest, ScrollsStayInsideTheFile) {
    const View minute{1800000, 100, 601, kHour};  // shows 1800 .. 1860 s
    const struct {
        const char* name;
        View view;
        double startMs;
    } cases[] = {
        {"scrolled on by 100 columns", Scrolled(minute, 100), 1810000},
        {"scrolled before the start", Scrolled(minute, -1e9), 0},
        {"scrolled past the end", Scrolled(minute, 1e9), kHour - 60000},
        {"the whole file does not scroll", Scrolled(WholeFile(kHour, 601), 50), 0},
        {"fit of a piece, centred", Fitting(600000, 660000, kHour, 601), 600000},
        {"fit of a short piece, at the finest zoom", Fitting(1000, 1100, kHour, 601), 450},
        {"fit of the last piece", Fitting(kHour - 60000, kHour, kHour, 601), kHour - 60000},
        {"follow: cursor in view stays", Following(minute, 1830000), 1800000},
        {"follow: cursor past the view pages", Following(minute, 1860100), 1860100},
        {"follow: cursor before the view pages back", Following(minute, 1000), 1000},
        {"follow: near the end, clamped", Following(minute, kHour - 1000), kHour - 60000},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(c.view.startMs, c.startMs) << c.name;
}

// The ruler's step is the finest whose labels (7 pixels a character here) keep a gap of 10
// pixels, from milliseconds at the finest zoom to minutes for a long file.
TEST(TimelineTest, RulerStepSuitsTheZoom) {
    const LabelWidth width = [](const std::string& label) { return static_cast<int>(label.size()) * 7; };
    const struct {
        const char* name;
        double msPerPixel;
        Ms totalMs, stepMs;
    } cases[] = {
        {"finest zoom: 1:00.0 needs 52 px, 200 ms give 100", kFinestMsPerPixel, 60000, 200},
        {"a tenth of a ms a pixel: 1:00.000 needs 66 px", 0.1, 60000, 10},
        {"a millisecond a pixel", 1, 60000, 100},
        {"a minute over 600 px: 1:00 needs 38 px", 100, 60000, 5000},
        {"an hour over 1000 px: 1:00:00 needs 59 px", 3600, kHour, 300000},
        {"ten hours over 100 px: coarsest", 360000, 10 * kHour, 600000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RulerStepMs({0, c.msPerPixel, 600, c.totalMs}, width, 10), c.stepMs) << c.name;
}

// Labels are as fine as the step, with the hours on a file of an hour or more.
TEST(TimelineTest, RulerLabelsSpeakTheStep) {
    const struct {
        Ms ms, stepMs, totalMs;
        const char* label;
    } cases[] = {
        {0, 10000, 60000, "0:00"},       {75000, 5000, 600000, "1:15"},
        {75000, 5000, kHour, "0:01:15"}, {3723000, 60000, 2 * kHour, "1:02:03"},
        {75300, 100, 600000, "1:15.3"},  {75300, 500, kHour, "0:01:15.3"},
        {75321, 1, 600000, "1:15.321"},  {75020, 20, 600000, "1:15.020"},
        {605000, 1000, 700000, "10:05"},
    };
    for (const auto& c : cases) EXPECT_EQ(RulerLabel(c.ms, c.stepMs, c.totalMs), c.label);
}

// Times snap to the nearest frame boundary, rounded down to whole ms (so that the split cuts
// at that very boundary), for the frames of each MPEG version.
TEST(TimelineTest, SnapsToFrames) {
    const struct {
        const char* name;
        double ms;
        int rateHz;
        Ms snapped;
    } cases[] = {
        {"48 kHz: 24 ms frames, exact", 50, 48000, 48},
        {"48 kHz: half-way rounds up", 60, 48000, 72},
        {"44.1 kHz: frame 1 at 26.12 ms", 30, 44100, 26},
        {"44.1 kHz: frame 38 at 992.65 ms", 1000, 44100, 992},
        {"22.05 kHz: 576 samples, frame 1 at 26.12 ms", 20, 22050, 26},
        {"24 kHz: 576 samples, frame 1 at 24 ms", 30, 24000, 24},
        {"below the start", -5, 44100, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SnapToFrame(c.ms, SamplesPerFrameAt(c.rateHz), c.rateHz), c.snapped) << c.name;
}

// A dragged boundary lands on a frame, stops one frame short of either neighbour (0 and the
// file's end standing for the neighbours of the first and last), and stays where it is when
// its neighbours leave no room; past tells which neighbour the drag pressed against. At
// 44.1 kHz the frames' floored times still count as frames.
TEST(TimelineTest, DraggedBoundaryKeepsBetweenItsNeighbours) {
    const struct {
        const char* name;
        double targetMs;
        Ms currentMs, previousMs, nextMs;
        BoundaryDrop drop;
        int rateHz = 48000;  // 24 ms frames
    } cases[] = {
        {"free, snapped", 1010, 960, 0, 2400, {1008, Past::None}},
        {"onto the previous boundary", 480, 960, 480, 2400, {504, Past::Previous}},
        {"onto the next boundary", 2400, 960, 480, 2400, {2376, Past::Next}},
        {"first boundary below 0", -300, 960, 0, 2400, {24, Past::Previous}},
        {"last boundary past the end", 99999, 960, 480, 3000, {2976, Past::Next}},
        {"neighbours off the frames: 1000 ms", 900, 1200, 1000, 2000, {1032, Past::Previous}},
        {"no room: stays", 1000, 980, 960, 1000, {980, Past::Next}},
        {"44.1 kHz: frame 1 (26 ms) between frames 0 and 2", 30, 30, 0, 52, {26, Past::None}, 44100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DropBoundary(c.targetMs, c.currentMs, c.previousMs, c.nextMs, 1152, c.rateHz), c.drop) << c.name;
    }
}

}  // namespace
}  // namespace qm::timeline
