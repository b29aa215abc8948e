#include "ui/widgets/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace qm::timeline {

namespace {

// The ruler's steps, each about twice or two and a half times the one before, so that a
// zoom by any factor finds one whose labels fit.
constexpr Ms kRulerStepsMs[] = {1,    2,    5,     10,    20,    50,    100,    200,    500,   1000,
                                2000, 5000, 10000, 15000, 30000, 60000, 120000, 300000, 600000};
constexpr Ms kMsPerHour = 3600000;

// The finest zoom a file allows: a file shorter than the strip at kFinestMsPerPixel shows
// whole at its own zoom, which is then the only one.
double FinestFor(const View& view) {
    return std::min(kFinestMsPerPixel, WholeFileMsPerPixel(view.totalMs, view.widthPixels));
}

}  // namespace

double WholeFileMsPerPixel(Ms totalMs, int widthPixels) {
    const double span = static_cast<double>(std::max<Ms>(totalMs, 1));
    return widthPixels > 1 ? span / (widthPixels - 1) : span;
}

View WholeFile(Ms totalMs, int widthPixels) {
    return View{0.0, WholeFileMsPerPixel(totalMs, widthPixels), std::max(widthPixels, 1), totalMs};
}

View Clamped(View view) {
    const double whole = WholeFileMsPerPixel(view.totalMs, view.widthPixels);
    view.msPerPixel = std::clamp(view.msPerPixel, FinestFor(view), whole);
    const double lastStart = static_cast<double>(view.totalMs) - view.msPerPixel * (view.widthPixels - 1);
    view.startMs = std::clamp(view.startMs, 0.0, std::max(0.0, lastStart));
    return view;
}

View Resized(const View& view, int widthPixels) {
    View resized = view;
    resized.widthPixels = std::max(widthPixels, 1);
    // A strip that showed the whole file keeps showing it.
    if (view.msPerPixel >= WholeFileMsPerPixel(view.totalMs, view.widthPixels)) {
        return WholeFile(view.totalMs, widthPixels);
    }
    return Clamped(resized);
}

View ZoomedAbout(const View& view, double factor, double anchorX) {
    const double anchorMs = view.MsAt(anchorX);
    View zoomed = view;
    zoomed.msPerPixel =
        std::clamp(view.msPerPixel / factor, FinestFor(view), WholeFileMsPerPixel(view.totalMs, view.widthPixels));
    zoomed.startMs = anchorMs - anchorX * zoomed.msPerPixel;
    return Clamped(zoomed);
}

View Scrolled(const View& view, double pixels) {
    View scrolled = view;
    scrolled.startMs += pixels * view.msPerPixel;
    return Clamped(scrolled);
}

View Fitting(Ms beginMs, Ms endMs, Ms totalMs, int widthPixels) {
    View view = WholeFile(totalMs, widthPixels);
    const double span = static_cast<double>(std::max<Ms>(endMs - beginMs, 0));
    view.msPerPixel = std::max(span / std::max(view.widthPixels - 1, 1), FinestFor(view));
    view.startMs = (static_cast<double>(beginMs) + static_cast<double>(endMs)) / 2.0 -
                   view.msPerPixel * (view.widthPixels - 1) / 2.0;
    return Clamped(view);
}

View Following(const View& view, Ms cursorMs) {
    const auto cursor = static_cast<double>(cursorMs);
    if (cursor >= view.startMs && cursor <= view.EndMs()) return view;
    View paged = view;
    paged.startMs = cursor;
    return Clamped(paged);
}

Ms RulerStepMs(const View& view, const LabelWidth& labelWidth, int gapPixels) {
    for (const Ms step : kRulerStepsMs) {
        // The widest label of the step is near the file's end, where the minutes have the
        // most digits.
        const Ms sample = std::max<Ms>(view.totalMs / step * step, 0);
        const double spacing = static_cast<double>(step) / view.msPerPixel;
        if (spacing >= labelWidth(RulerLabel(sample, step, view.totalMs)) + gapPixels) return step;
    }
    return *std::prev(std::end(kRulerStepsMs));
}

std::string RulerLabel(Ms ms, Ms stepMs, Ms totalMs) {
    const Ms at = std::max<Ms>(ms, 0);
    const Ms hours = at / kMsPerHour;
    const Ms minutes = totalMs >= kMsPerHour ? at / 60000 % 60 : at / 60000;
    const Ms seconds = at / 1000 % 60;
    char text[32];
    int length = totalMs >= kMsPerHour
                     ? std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                                     static_cast<long long>(minutes), static_cast<long long>(seconds))
                     : std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                                     static_cast<long long>(seconds));
    if (stepMs < 1000 && stepMs >= 100) {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%lld",
                      static_cast<long long>(at / 100 % 10));
    } else if (stepMs < 100) {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%03lld",
                      static_cast<long long>(at % 1000));
    }
    return text;
}

int SamplesPerFrameAt(int rateHz) {
    constexpr int kMpeg1FrameSamples = 1152;
    constexpr int kMpeg2FrameSamples = 576;
    return rateHz == 32000 || rateHz == 44100 || rateHz == 48000 ? kMpeg1FrameSamples : kMpeg2FrameSamples;
}

double FrameMs(int samplesPerFrame, int sampleRateHz) {
    return sampleRateHz > 0 ? 1000.0 * samplesPerFrame / sampleRateHz : 1.0;
}

namespace {

// The time of frame boundary k, rounded down to whole ms: the splitter cuts a piece ending at
// a time at the first boundary at or after that time, so the rounded time still names
// boundary k.
Ms FrameBoundaryMs(std::int64_t k, int samplesPerFrame, int sampleRateHz) {
    if (sampleRateHz <= 0) return k;
    return k * samplesPerFrame * 1000 / sampleRateHz;
}

}  // namespace

Ms SnapToFrame(double ms, int samplesPerFrame, int sampleRateHz) {
    if (sampleRateHz <= 0 || samplesPerFrame <= 0) return std::llround(ms);
    const auto k = std::llround(std::max(ms, 0.0) / FrameMs(samplesPerFrame, sampleRateHz));
    return FrameBoundaryMs(k, samplesPerFrame, sampleRateHz);
}

BoundaryDrop DropBoundary(double targetMs, Ms currentMs, Ms previousMs, Ms nextMs, int samplesPerFrame,
                          int sampleRateHz) {
    if (sampleRateHz <= 0 || samplesPerFrame <= 0) {
        samplesPerFrame = 1;
        sampleRateHz = 1000;  // frames of one millisecond
    }
    const double frame = FrameMs(samplesPerFrame, sampleRateHz);
    // The first frame boundary a whole frame after the previous boundary, and the last one a
    // whole frame before the next.
    const auto lowest = static_cast<std::int64_t>(std::ceil(static_cast<double>(previousMs) / frame - 1e-9)) + 1;
    // Boundary times are frame times rounded down, under a millisecond early: a next boundary
    // at 52 ms of 44.1 kHz frames is frame 2 (52.24 ms), not a time just before it.
    constexpr double kRoundedDown = 0.999;
    const auto highest =
        static_cast<std::int64_t>(std::floor((static_cast<double>(nextMs) + kRoundedDown) / frame)) - 1;
    const auto wanted = static_cast<std::int64_t>(std::llround(targetMs / frame));
    if (lowest > highest) {
        return {currentMs, targetMs < static_cast<double>(currentMs) ? Past::Previous : Past::Next};
    }
    if (wanted < lowest) return {FrameBoundaryMs(lowest, samplesPerFrame, sampleRateHz), Past::Previous};
    if (wanted > highest) return {FrameBoundaryMs(highest, samplesPerFrame, sampleRateHz), Past::Next};
    return {FrameBoundaryMs(wanted, samplesPerFrame, sampleRateHz), Past::None};
}

}  // namespace qm::timeline
