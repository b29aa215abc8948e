// The waveform's time axis: pixels and times at every zoom, zooms that keep the time under
// the mouse, scrolls held inside the file, the ruler's step and labels, frame snapping and
// the rules a dragged boundary obeys. One table per rule.

#include <gtest/gtest.h>

#include <string>

#include "ui/widgets/Timeline.h"

namespace qm::timeline {
namespace {

constexpr Ms kHour = 3600000;

// x and ms map to each other as the view says, at the whole file, a middle zoom and the
// finest one; the whole file's first and last columns show its two ends.
TEST(TimelineTest, PixelsAndTimesAtEveryZoom) {
    struct Case {
        const char* name;
        View view;
        double x;
        double ms;
    };
    const Case cases[] = {
        {"whole file, first column", WholeFile(60000, 601), 0, 0},
        {"whole file, last column", WholeFile(60000, 601), 600, 60000},
        {"whole file, middle", WholeFile(60000, 601), 300, 30000},
        {"a minute of an hour", {1800000, 100, 601, kHour}, 0, 1800000},
        {"a minute of an hour, last column", {1800000, 100, 601, kHour}, 600, 1860000},
        {"finest zoom", {1000, kFinestMsPerPixel, 500, kHour}, 250, 1500},
        {"finest zoom, half a column", {1000, kFinestMsPerPixel, 500, kHour}, 0.5, 1001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(c.view.MsAt(c.x), c.ms);
        EXPECT_DOUBLE_EQ(c.view.XOf(c.ms), c.x);
    }
}

// A zoom keeps the time under the anchor there, held between the finest zoom and the whole
// file; at either end of the file the view is clamped instead (the anchor's time then moves).
TEST(TimelineTest, ZoomKeepsTheTimeUnderTheMouse) {
    struct Case {
        const char* name;
        View view;
        double factor;
        double anchorX;
        double msPerPixel;  // afterwards
        double startMs;
    };
    const View whole = WholeFile(kHour, 1001);  // 3600 ms a pixel
    const Case cases[] = {
        {"in by two about the middle", whole, 2.0, 500, 1800, 900000},
        {"in by two about the first column", whole, 2.0, 0, 1800, 0},
        {"in by two about the last column", whole, 2.0, 1000, 1800, 1800000},
        {"out past the whole file", {900000, 1800, 1001, kHour}, 0.25, 500, 3600, 0},
        {"in past the finest zoom", {1000000, 3, 1001, kHour}, 100, 500, kFinestMsPerPixel, 1000500},
        {"in near the end, clamped", {1000000, 3600, 1001, kHour}, 2, 1000, 1800, 1800000},
        {"a file shorter than the finest zoom", WholeFile(500, 1001), 4, 500, 0.5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const View zoomed = ZoomedAbout(c.view, c.factor, c.anchorX);
        EXPECT_DOUBLE_EQ(zoomed.msPerPixel, c.msPerPixel);
        EXPECT_DOUBLE_EQ(zoomed.startMs, c.startMs);
        EXPECT_EQ(zoomed.widthPixels, c.view.widthPixels);
    }
}

// Scrolls, fits and the view that follows the play position never show time before the
// file's start or after its end.
TEST(TimelineTest, ScrollsStayInsideTheFile) {
    struct Case {
        const char* name;
        View view;
        double startMs;
    };
    const View minute{1800000, 100, 601, kHour};  // shows 1800 .. 1860 s
    const Case cases[] = {
        {"scrolled on by 100 columns", Scrolled(minute, 100), 1810000},
        {"scrolled back by 100 columns", Scrolled(minute, -100), 1790000},
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(c.view.startMs, c.startMs);
    }
}

// The ruler's step is the finest whose labels (7 pixels a character here) keep a gap of 10
// pixels, from milliseconds at the finest zoom to minutes for a long file.
TEST(TimelineTest, RulerStepSuitsTheZoom) {
    const LabelWidth width = [](const std::string& label) { return static_cast<int>(label.size()) * 7; };
    struct Case {
        const char* name;
        double msPerPixel;
        Ms totalMs;
        Ms stepMs;
    };
    const Case cases[] = {
        {"finest zoom: 1:00.0 needs 52 px, 200 ms give 100", kFinestMsPerPixel, 60000, 200},
        {"a tenth of a ms a pixel: 1:00.000 needs 66 px", 0.1, 60000, 10},
        {"a millisecond a pixel", 1, 60000, 100},
        {"a minute over 600 px: 1:00 needs 38 px", 100, 60000, 5000},
        {"an hour over 1000 px: 1:00:00 needs 59 px", 3600, kHour, 300000},
        {"ten hours over 100 px: coarsest", 360000, 10 * kHour, 600000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RulerStepMs({0, c.msPerPixel, 600, c.totalMs}, width, 10), c.stepMs);
    }
}

// Labels are as fine as the step, with the hours on a file of an hour or more.
TEST(TimelineTest, RulerLabelsSpeakTheStep) {
    struct Case {
        Ms ms;
        Ms stepMs;
        Ms totalMs;
        const char* label;
    };
    const Case cases[] = {
        {0, 10000, 60000, "0:00"},       {75000, 5000, 600000, "1:15"},
        {75000, 5000, kHour, "0:01:15"}, {3723000, 60000, 2 * kHour, "1:02:03"},
        {75300, 100, 600000, "1:15.3"},  {75300, 500, kHour, "0:01:15.3"},
        {75321, 1, 600000, "1:15.321"},  {75020, 20, 600000, "1:15.020"},
        {605000, 1000, 700000, "10:05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(RulerLabel(c.ms, c.stepMs, c.totalMs), c.label);
    }
}

// Times snap to the nearest frame boundary, rounded down to whole ms (so that the split cuts
// at that very boundary), for the frames of each MPEG version.
TEST(TimelineTest, SnapsToFrames) {
    struct Case {
        const char* name;
        double ms;
        int rateHz;
        Ms snapped;
    };
    const Case cases[] = {
        {"48 kHz: 24 ms frames, exact", 50, 48000, 48},
        {"48 kHz: half-way rounds up", 60, 48000, 72},
        {"44.1 kHz: frame 1 at 26.12 ms", 30, 44100, 26},
        {"44.1 kHz: frame 38 at 992.65 ms", 1000, 44100, 992},
        {"22.05 kHz: 576 samples, frame 1 at 26.12 ms", 20, 22050, 26},
        {"24 kHz: 576 samples, 24 ms", 47, 24000, 48},
        {"below the start", -5, 44100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SnapToFrame(c.ms, SamplesPerFrameAt(c.rateHz), c.rateHz), c.snapped);
    }
}

// A dragged boundary lands on a frame, stops one frame short of either neighbour (0 and the
// file's end standing for the neighbours of the first and last), and stays where it is when
// its neighbours leave no room; past tells which neighbour the drag pressed against.
TEST(TimelineTest, DraggedBoundaryKeepsBetweenItsNeighbours) {
    constexpr int kFrame = 1152;
    constexpr int kRate = 48000;  // 24 ms frames
    struct Case {
        const char* name;
        double targetMs;
        Ms currentMs, previousMs, nextMs;
        BoundaryDrop drop;
    };
    const Case cases[] = {
        {"free, snapped", 1010, 960, 0, 2400, {1008, Past::None}},
        {"onto the previous boundary", 480, 960, 480, 2400, {504, Past::Previous}},
        {"past the previous boundary", 100, 960, 480, 2400, {504, Past::Previous}},
        {"onto the next boundary", 2400, 960, 480, 2400, {2376, Past::Next}},
        {"past the next boundary", 5000, 960, 480, 2400, {2376, Past::Next}},
        {"first boundary below 0", -300, 960, 0, 2400, {24, Past::Previous}},
        {"last boundary past the end", 99999, 960, 480, 3000, {2976, Past::Next}},
        {"neighbours off the frames: 1000 ms", 900, 1200, 1000, 2000, {1032, Past::Previous}},
        {"no room: stays", 1000, 980, 960, 1000, {980, Past::Next}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DropBoundary(c.targetMs, c.currentMs, c.previousMs, c.nextMs, kFrame, kRate), c.drop);
    }
    // At 44.1 kHz the frames' floored times still count as frames: a boundary between
    // frames 0 and 2 has frame 1 (26 ms) to go to.
    EXPECT_EQ(DropBoundary(30, 30, 0, 52, kFrame, 44100), (BoundaryDrop{26, Past::None}));
}

}  // namespace
}  // namespace qm::timeline
