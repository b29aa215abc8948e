#pragma once

// The arithmetic of a zoomable time axis, kept apart from the widgets that draw it: which
// part of a file a strip of pixels shows, how a zoom or a scroll moves it, the ruler's step
// and labels, and how a dragged piece boundary lands on the frames of the file. Times are
// in milliseconds from the start of the file; x is in pixels from the strip's left edge.

#include <cstdint>
#include <functional>
#include <string>

namespace qm::timeline {

using Ms = std::int64_t;

// The finest zoom: two milliseconds a pixel still shows each frame as some twelve columns
// and a transient as a few.
constexpr double kFinestMsPerPixel = 2.0;

// What `widthPixels` columns show of a file lasting totalMs: column 0 at startMs, each
// column msPerPixel further. The whole file spans columns 0 .. widthPixels - 1, so its last
// millisecond lies on the last column.
struct View {
    double startMs = 0.0;
    double msPerPixel = 1.0;
    int widthPixels = 1;
    Ms totalMs = 0;

    double XOf(double ms) const { return (ms - startMs) / msPerPixel; }
    double MsAt(double x) const { return startMs + x * msPerPixel; }
    // The time the last column shows.
    double EndMs() const { return MsAt(widthPixels - 1); }
    bool operator==(const View&) const = default;
};

// The coarsest zoom for the width: the whole file over every column.
double WholeFileMsPerPixel(Ms totalMs, int widthPixels);
View WholeFile(Ms totalMs, int widthPixels);
// The same view over another number of columns (a resize): its start and zoom are kept
// where the file still fills it, else clamped.
View Resized(const View& view, int widthPixels);
// view with startMs held so that the view never runs past either end of the file.
View Clamped(View view);
// The view zoomed by factor (> 1 zooms in) about column anchorX, which keeps showing the time
// it showed; the zoom is held between kFinestMsPerPixel and the whole file.
View ZoomedAbout(const View& view, double factor, double anchorX);
// The view moved by pixels columns (positive: later in the file), clamped.
View Scrolled(const View& view, double pixels);
// The range beginMs .. endMs filling the columns (at most as fine as kFinestMsPerPixel,
// centred on the range then).
View Fitting(Ms beginMs, Ms endMs, Ms totalMs, int widthPixels);
// While playing: the view paged forward (or back) so that cursorMs is in it again, the
// cursor at its left column; the view as it was while the cursor is in it.
View Following(const View& view, Ms cursorMs);

// The ruler's step: the smallest of 1, 2, 5 ms .. 10 min whose labels, as wide as
// labelWidth says for a label of that step, stay apart by at least gapPixels. The coarsest
// step when none does.
using LabelWidth = std::function<int(const std::string& label)>;
Ms RulerStepMs(const View& view, const LabelWidth& labelWidth, int gapPixels);
// The label of a ruler tick at ms for a step: "h:mm:ss" (files of an hour or more) or
// "m:ss" for whole seconds, "m:ss.t" for tenths, "m:ss.mmm" for steps under a tenth; the
// hours lead every form on a file of an hour or more.
std::string RulerLabel(Ms ms, Ms stepMs, Ms totalMs);

// Samples in a frame of a source at rateHz: 1152 at the MPEG-1 rates, 576 at the lower ones.
int SamplesPerFrameAt(int rateHz);
// The length of one frame of the source, in ms (1152 or 576 samples at its rate).
double FrameMs(int samplesPerFrame, int sampleRateHz);
// The frame boundary nearest to ms, rounded to whole ms.
Ms SnapToFrame(double ms, int samplesPerFrame, int sampleRateHz);

// Where a dragged boundary lands: snapped to a frame, at least one frame after the boundary
// before it (or 0) and one before the boundary after it (or the file's end). Past tells on
// which side the drag pressed against a neighbour.
enum class Past { None, Previous, Next };
struct BoundaryDrop {
    Ms ms = 0;
    Past past = Past::None;
    bool operator==(const BoundaryDrop&) const = default;
};
// previousMs and nextMs are the neighbouring boundaries (0 and the file's length at the
// ends). When they are less than two frames apart the boundary stays at currentMs.
BoundaryDrop DropBoundary(double targetMs, Ms currentMs, Ms previousMs, Ms nextMs, int samplesPerFrame,
                          int sampleRateHz);

}  // namespace qm::timeline
