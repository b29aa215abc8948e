// The waveform strip: one scanning thread per loaded file hands the whole file's levels to
// the window's thread in batches, at most about ten a second, through queued calls stamped
// with the load's generation, so that a batch of a file that has since been replaced is
// dropped unseen. The detail of the part in view comes the same way from WaveformDetail.
// The levels are drawn into an image one device pixel a column, so that they stay crisp on
// a screen of two device pixels a pixel; the marks over them are drawn by the painter.

#include "ui/widgets/WaveformStrip.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "stream/WaveformDetail.h"
#include "stream/WaveformPeaks.h"

namespace qm {

namespace {

using timeline::Ms;

// The strip's height in a layout: tall enough to read a level, small beside the page.
constexpr int kPreferredHeight = 64;
constexpr int kPreferredWidth = 400;
constexpr int kMinimumHeight = 24;
constexpr int kMinimumWidth = 40;
// Batches reach the window at most this often: a repaint every 100 ms shows the waveform
// growing smoothly and costs the window's thread next to nothing.
constexpr std::chrono::milliseconds kBatchInterval{100};
// The scan's parts, one per core up to two: more adds threads that compete with playback.
constexpr unsigned kMostScanThreads = 2;
// A level not known yet.
constexpr float kUnknown = -1.0F;
// Half the width of the cursor's marks at the top and bottom edges, in pixels.
constexpr int kCursorMarkHalfWidth = 4;
// A boundary is taken by the mouse within this many pixels of its line; its grip at the top
// is twice as wide and this tall.
constexpr int kHandleReach = 4;
constexpr int kGripHeight = 8;
// One notch of the wheel zooms by this factor, or scrolls by this share of the view.
constexpr double kWheelZoomFactor = 1.5;
constexpr double kWheelScrollShare = 0.1;
constexpr double kWheelNotch = 120.0;
// The detail decoded around the view, in views on each side, so that a scroll finds it.
constexpr double kDetailMarginViews = 1.0;
// Detail blocks per device column: two keep a zoom in by two sharp until the next decode;
// beyond sixteen a repaint reads more blocks than it needs and a coarser decode is asked for.
constexpr double kBlocksPerColumn = 2.0;
constexpr double kMostBlocksPerColumn = 16.0;
// The ruler's ticks and the room between its labels, in pixels.
constexpr int kRulerTick = 5;
constexpr int kRulerLabelGap = 12;

int ScanThreadCount() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, kMostScanThreads));
}

// a blended toward b by the fraction t (0 gives a, 1 gives b).
QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// The colours of the strip, from its palette, so that it reads in light and dark themes.
struct Colours {
    explicit Colours(const QPalette& palette)
        : background(palette.color(QPalette::Base)),
          wave(Mix(background, palette.color(QPalette::Text), 0.65)),
          pending(Mix(background, palette.color(QPalette::Text), 0.07)),
          pendingLine(Mix(background, palette.color(QPalette::Text), 0.3)),
          uncheckedBackground(Mix(background, palette.color(QPalette::Mid), 0.6)),
          uncheckedWave(Mix(background, palette.color(QPalette::PlaceholderText), 0.45)),
          boundary(palette.color(QPalette::Highlight)),
          cursor(palette.color(QPalette::Text)),
          frame(palette.color(QPalette::Mid)),
          ruler(palette.color(QPalette::Window)),
          rulerText(palette.color(QPalette::WindowText)),
          highlight(palette.color(QPalette::Highlight)) {}

    // A colour of the selected piece: shaded toward the highlight.
    QColor Selected(const QColor& colour) const { return Mix(colour, highlight, 0.18); }

    QColor background, wave, pending, pendingLine, uncheckedBackground, uncheckedWave, boundary, cursor, frame, ruler,
        rulerText, highlight;
};

// The range of one device column: from half a column before its time to half a column after,
// so that the whole file's first and last columns show its first and last stretch.
struct ColumnSpan {
    double beginMs;
    double endMs;
};

// The largest known level of the whole file's buckets that the span holds, or kUnknown when
// none of them is known.
float CoarseLevel(const std::vector<float>& levels, Ms totalMs, ColumnSpan span) {
    const auto count = static_cast<std::int64_t>(levels.size());
    if (count == 0 || totalMs <= 0) return kUnknown;
    const double perMs = static_cast<double>(count) / static_cast<double>(totalMs);
    const auto first =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(span.beginMs * perMs)), 0, count - 1);
    const auto end =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(span.endMs * perMs)), first + 1, count);
    float level = kUnknown;
    for (std::int64_t bucket = first; bucket < end; ++bucket) level = std::max(level, levels[bucket]);
    return level;
}

// The lowest and highest detail sample of the span; false when any of its blocks is not
// decoded (or the detail does not reach it).
bool DetailRange(const DetailLevels& detail, ColumnSpan span, float* low, float* high) {
    if (detail.low.empty() || span.beginMs < detail.firstMs || span.endMs > detail.EndMs()) return false;
    const auto first = static_cast<std::size_t>((span.beginMs - detail.firstMs) / detail.msPerBlock);
    const auto end = std::clamp(static_cast<std::size_t>(std::ceil((span.endMs - detail.firstMs) / detail.msPerBlock)),
                                first + 1, detail.low.size());
    *low = 1.0F;
    *high = -1.0F;
    for (std::size_t block = first; block < end; ++block) {
        if (!detail.Known(block)) return false;
        *low = std::min(*low, detail.low[block]);
        *high = std::max(*high, detail.high[block]);
    }
    return true;
}

// Fills rows top .. bottom (inclusive) of column x of image with colour.
void FillColumn(QImage& image, int x, int top, int bottom, QRgb colour) {
    top = std::max(top, 0);
    bottom = std::min(bottom, image.height() - 1);
    for (int y = top; y <= bottom; ++y) reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
}

}  // namespace

struct WaveformStrip::Impl {
    // What the scanning thread hands over; guarded by mutex.
    struct Inbox {
        std::mutex mutex;
        std::vector<std::pair<int, float>> arrived;  // (bucket, level) not yet drawn
        bool postPending = false;                    // a call to Drain is queued
        std::chrono::steady_clock::time_point lastPost{};
        bool finished = false;
        bool succeeded = false;
    };

    explicit Impl(WaveformStrip* strip)
        : owner(strip), detail([this](const DetailLevels& levels) { PostDetail(levels); }) {}
    ~Impl() {
        StopScan();
        detail.Close();
    }

    void StopScan() {
        stop = true;
        if (worker.joinable()) worker.join();
    }

    // Runs on the scanning thread.
    void Scan(const std::filesystem::path& path, std::uint64_t load) {
        const WaveformSink sink = [this, load](int firstBucket, std::span<const float> levels) {
            bool post = false;
            {
                const std::lock_guard lock(inbox.mutex);
                for (std::size_t i = 0; i < levels.size(); ++i) {
                    inbox.arrived.emplace_back(firstBucket + static_cast<int>(i), levels[i]);
                }
                const auto now = std::chrono::steady_clock::now();
                post = !inbox.postPending && now - inbox.lastPost >= kBatchInterval;
                if (post) {
                    inbox.postPending = true;
                    inbox.lastPost = now;
                }
            }
            if (post) Post(load);
        };
        std::string message;
        const bool succeeded = ScanWaveformPeaks(path, kWaveformBuckets, ScanThreadCount(), stop, sink, &message);
        if (stop) return;
        bool post = false;
        {
            const std::lock_guard lock(inbox.mutex);
            inbox.finished = true;
            inbox.succeeded = succeeded;
            post = !inbox.postPending;
            inbox.postPending = true;
        }
        if (post) Post(load);
    }

    // Queues a Drain on the window's thread; Qt drops it if the strip is gone by then.
    void Post(std::uint64_t load) {
        QMetaObject::invokeMethod(
            owner, [this, load] { Drain(load); }, Qt::QueuedConnection);
    }

    // Runs on the detail's thread: hands a copy of the levels to the window's thread.
    void PostDetail(const DetailLevels& levels) {
        QMetaObject::invokeMethod(
            owner, [this, levels, load = generation.load()] { TakeDetail(load, levels); }, Qt::QueuedConnection);
    }

    // Runs on the window's thread: takes what arrived for the current load.
    void Drain(std::uint64_t load) {
        if (load != generation) return;
        std::vector<std::pair<int, float>> batch;
        bool finished = false;
        bool succeeded = false;
        {
            const std::lock_guard lock(inbox.mutex);
            batch.swap(inbox.arrived);
            inbox.postPending = false;
            finished = inbox.finished;
            succeeded = inbox.succeeded;
        }
        for (const auto& [bucket, level] : batch) levels[static_cast<std::size_t>(bucket)] = level;
        owner->update();
        if (finished && !complete && !failed) {
            complete = succeeded;
            failed = !succeeded;
            if (complete) emit owner->Completed();
        }
    }

    void TakeDetail(std::uint64_t load, const DetailLevels& arrived) {
        if (load != generation || arrived.request < shownDetail.request || arrived.request < wantedRequest) return;
        shownDetail = arrived;
        owner->update();
        if (IsDetailShown()) emit owner->DetailShown();
    }

    // Starts a new load's scan; the previous one must have been stopped.
    void StartScan(const std::filesystem::path& path) {
        ++generation;
        {
            const std::lock_guard lock(inbox.mutex);
            inbox.arrived.clear();
            inbox.postPending = false;
            inbox.lastPost = {};
            inbox.finished = inbox.succeeded = false;
        }
        stop = false;
        try {
            worker = std::thread([this, path, load = generation.load()] { Scan(path, load); });
        } catch (const std::system_error&) {
            failed = true;  // no thread to be had: the strip stays without levels
        }
    }

    // ---- geometry ----

    // The levels' rectangle: the contents less the ruler above and the scroll bar below.
    QRect WaveArea() const {
        QRect area = owner->contentsRect();
        if (chrome) {
            area.setTop(area.top() + RulerHeight());
            area.setBottom(area.bottom() - scrollBar->sizeHint().height());
        }
        return area;
    }
    int RulerHeight() const { return owner->fontMetrics().height() + kRulerTick + 2; }
    double XOf(double ms) const { return WaveArea().left() + view.XOf(ms); }
    double MsAt(double x) const {
        return std::clamp(view.MsAt(x - WaveArea().left()), 0.0, static_cast<double>(view.totalMs));
    }
    int TenthsAt(double x) const { return static_cast<int>(std::lround(MsAt(x) / 100.0)); }

    // The ms one device column spans at the present zoom.
    double ColumnMs() const { return view.msPerPixel / owner->devicePixelRatioF(); }
    double BucketMs() const { return static_cast<double>(view.totalMs) / kWaveformBuckets; }
    bool DetailWanted() const { return loaded && view.totalMs > 0 && ColumnMs() < BucketMs(); }

    bool IsDetailShown() const {
        if (!DetailWanted()) return true;
        return shownDetail.request == wantedRequest && shownDetail.Covers(view.startMs, view.EndMs());
    }

    // Asks for the detail of the view (and around it) unless what is asked for or shown
    // already serves the zoom.
    void RequestDetail() {
        if (!DetailWanted()) return;
        const double columnMs = ColumnMs();
        const bool fineEnough = wanted.msPerBlock <= columnMs && wanted.msPerBlock * kMostBlocksPerColumn >= columnMs;
        if (wantedRequest != 0 && fineEnough && wanted.beginMs <= view.startMs && wanted.endMs >= view.EndMs()) return;
        const double span = view.EndMs() - view.startMs;
        wanted = {std::max(0.0, view.startMs - kDetailMarginViews * span),
                  std::min(static_cast<double>(view.totalMs), view.EndMs() + kDetailMarginViews * span),
                  columnMs / kBlocksPerColumn};
        wantedRequest = detail.Request(wanted.beginMs, wanted.endMs, view.startMs, view.EndMs(), wanted.msPerBlock);
    }

    void SetView(const timeline::View& next) {
        const timeline::View clamped = timeline::Clamped(next);
        if (clamped == view) return;
        view = clamped;
        ShowViewInScrollBar();
        RequestDetail();
        owner->update();
    }

    void ShowViewInScrollBar() {
        if (scrollBar == nullptr) return;
        const double span = view.EndMs() - view.startMs;
        settingScrollBar = true;
        scrollBar->setRange(0, static_cast<int>(std::max(0.0, static_cast<double>(view.totalMs) - span)));
        scrollBar->setPageStep(std::max(1, static_cast<int>(span)));
        scrollBar->setSingleStep(std::max(1, static_cast<int>(span * kWheelScrollShare)));
        scrollBar->setValue(static_cast<int>(view.startMs));
        settingScrollBar = false;
    }

    void PlaceScrollBar() {
        const QRect contents = owner->contentsRect();
        const int height = scrollBar->sizeHint().height();
        scrollBar->setGeometry(contents.left(), contents.bottom() - height + 1, contents.width(), height);
        scrollBar->setVisible(chrome);
    }

    // The boundary whose handle is under x, y (the nearest within reach), or -1.
    int BoundaryAt(QPointF at) const {
        int found = -1;
        double nearest = kHandleReach + 0.5;
        const QRect area = WaveArea();
        if (at.y() < area.top() - 1 || at.y() > area.bottom() + 1) return -1;
        for (std::size_t i = 0; i < boundaries.size(); ++i) {
            const double reach = at.y() <= area.top() + kGripHeight ? 2.0 * kHandleReach : kHandleReach;
            const double distance = std::abs(XOf(static_cast<double>(boundaries[i])) - at.x());
            if (distance <= reach && distance < nearest + (reach - kHandleReach)) {
                found = static_cast<int>(i);
                nearest = distance;
            }
        }
        return found;
    }

    // ---- painting ----

    void PaintLevels(QPainter& painter, const Colours& colours) const;
    void PaintMarks(QPainter& painter, const Colours& colours) const;
    void PaintRuler(QPainter& painter, const Colours& colours) const;
    // The colours (background, wave) of the piece at ms.
    std::pair<QRgb, QRgb> PieceColours(double ms, std::size_t* piece, const Colours& colours) const;

    WaveformStrip* owner;

    // The window's thread only.
    std::vector<float> levels;  // kWaveformBuckets while loaded, kUnknown where not known yet
    bool loaded = false;
    bool complete = false;
    bool failed = false;
    timeline::View view;
    std::vector<Piece> pieces;
    std::vector<Ms> boundaries;  // the starts of pieces 1 ..
    int selectedPiece = -1;
    int chosenBoundary = -1;
    int cursorTenths = 0;
    int samplesPerFrame = 1152;
    int sampleRateHz = 44100;
    enum class Drag { None, Position, Boundary } drag = Drag::None;
    int draggedBoundary = -1;
    timeline::BoundaryDrop lastDrop;
    bool chrome = false;
    QScrollBar* scrollBar = nullptr;
    bool settingScrollBar = false;
    struct Wanted {
        double beginMs = 0, endMs = 0, msPerBlock = 0;
    } wanted;
    std::uint64_t wantedRequest = 0;
    DetailLevels shownDetail;

    // Shared with the threads.
    std::atomic<std::uint64_t> generation{0};  // of the current load; work of older loads is dropped
    std::atomic<bool> stop{false};
    Inbox inbox;
    std::thread worker;
    WaveformDetail detail;
};

std::pair<QRgb, QRgb> WaveformStrip::Impl::PieceColours(double ms, std::size_t* piece, const Colours& colours) const {
    while (*piece + 1 < pieces.size() && static_cast<double>(pieces[*piece].endMs) <= ms) ++*piece;
    QColor background = colours.background;
    QColor wave = colours.wave;
    if (*piece < pieces.size() && !pieces[*piece].checked && pieces.size() > 1) {
        background = colours.uncheckedBackground;
        wave = colours.uncheckedWave;
    }
    if (static_cast<int>(*piece) == selectedPiece && *piece < pieces.size()) {
        background = colours.Selected(background);
        wave = colours.Selected(wave);
    }
    return {background.rgb(), wave.rgb()};
}

// The levels, one device column at a time, into an image of the area's device pixels: the
// detail where it is decoded, else the whole file's levels stretched, symmetric about the
// middle; columns not known yet are shaded and crossed by a dotted middle line.
void WaveformStrip::Impl::PaintLevels(QPainter& painter, const Colours& colours) const {
    const QRect area = WaveArea();
    const double ratio = owner->devicePixelRatioF();
    QImage image(static_cast<int>(std::ceil(area.width() * ratio)), static_cast<int>(std::ceil(area.height() * ratio)),
                 QImage::Format_RGB32);
    const int middle = image.height() / 2;
    const double halfHeight = (image.height() - 1) / 2.0;
    constexpr int kDotSpacing = 3;  // device pixels from one dot of the pending middle line to the next
    const bool useDetail = DetailWanted();
    std::size_t piece = 0;
    for (int column = 0; column < image.width(); ++column) {
        const double x = column / ratio;
        const ColumnSpan span{view.MsAt(x - 0.5 / ratio), view.MsAt(x + 0.5 / ratio)};
        const auto [background, wave] = PieceColours(view.MsAt(x), &piece, colours);
        FillColumn(image, column, 0, image.height() - 1, background);
        float low = 0.0F;
        float high = 0.0F;
        if (!failed && useDetail && DetailRange(shownDetail, span, &low, &high)) {
            const auto y = [&](float level) {
                return middle - static_cast<int>(std::lround(std::clamp(level, -1.0F, 1.0F) * halfHeight));
            };
            FillColumn(image, column, y(high), y(low), wave);
            continue;
        }
        const float level = failed ? 0.0F : CoarseLevel(levels, view.totalMs, span);
        if (level == kUnknown) {
            FillColumn(image, column, 0, image.height() - 1, colours.pending.rgb());
            if (column % kDotSpacing == 0) FillColumn(image, column, middle, middle, colours.pendingLine.rgb());
            continue;
        }
        const int reach = static_cast<int>(std::lround(std::min(level, 1.0F) * halfHeight));
        FillColumn(image, column, middle - reach, middle + reach, wave);
    }
    image.setDevicePixelRatio(ratio);
    painter.drawImage(area.topLeft(), image);
}

// The boundaries (a line with a grip at the top; the chosen one wider) and the cursor (a line
// with a small triangle at each edge, so that it stands out from the waveform's own strokes).
void WaveformStrip::Impl::PaintMarks(QPainter& painter, const Colours& colours) const {
    const QRect area = WaveArea();
    const double ratio = owner->devicePixelRatioF();
    // Lines fall on whole device pixels.
    const auto snap = [ratio](double x) { return std::floor(x * ratio + 0.5) / ratio; };
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
        const double x = snap(XOf(static_cast<double>(boundaries[i])));
        if (x < area.left() - kHandleReach || x > area.right() + kHandleReach) continue;
        const bool chosen = static_cast<int>(i) == chosenBoundary;
        painter.fillRect(QRectF(x, area.top(), chosen ? 2.0 : 1.0, area.height()), colours.boundary);
        const QRectF grip(x - kHandleReach, area.top(), 2.0 * kHandleReach + 1.0, kGripHeight);
        painter.fillRect(grip, chosen ? colours.cursor : colours.boundary);
    }
    const double x = snap(XOf(cursorTenths * 100.0));
    if (x < area.left() - kCursorMarkHalfWidth || x > area.right() + kCursorMarkHalfWidth) return;
    painter.fillRect(QRectF(x, area.top(), 1.0, area.height()), colours.cursor);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.cursor);
    const QPointF top[] = {{x - kCursorMarkHalfWidth, static_cast<double>(area.top())},
                           {x + kCursorMarkHalfWidth + 1.0, static_cast<double>(area.top())},
                           {x + 0.5, area.top() + kCursorMarkHalfWidth + 0.5}};
    const QPointF bottom[] = {{x - kCursorMarkHalfWidth, area.bottom() + 1.0},
                              {x + kCursorMarkHalfWidth + 1.0, area.bottom() + 1.0},
                              {x + 0.5, area.bottom() + 0.5 - kCursorMarkHalfWidth}};
    painter.drawPolygon(top, 3);
    painter.drawPolygon(bottom, 3);
}

// The ruler: a tick and a label at each multiple of the step in view, half-way ticks between.
void WaveformStrip::Impl::PaintRuler(QPainter& painter, const Colours& colours) const {
    const QRect contents = owner->contentsRect();
    const QRect band(contents.left(), contents.top(), contents.width(), RulerHeight());
    painter.fillRect(band, colours.ruler);
    if (!loaded || view.totalMs <= 0) return;
    const QFontMetrics metrics = owner->fontMetrics();
    const Ms step = timeline::RulerStepMs(
        view, [&](const std::string& label) { return metrics.horizontalAdvance(QString::fromStdString(label)); },
        kRulerLabelGap);
    const double ratio = owner->devicePixelRatioF();
    const double onePixel = 1.0 / ratio;
    const Ms half = step % 2 == 0 ? step / 2 : 0;
    const Ms tick = half > 0 ? half : step;
    painter.setPen(colours.rulerText);
    const Ms lastMs = static_cast<Ms>(view.EndMs());
    for (Ms ms = static_cast<Ms>(view.startMs) / tick * tick; ms <= lastMs; ms += tick) {
        const double x = std::floor(XOf(static_cast<double>(ms)) * ratio + 0.5) / ratio;
        if (x < band.left()) continue;
        const bool major = ms % step == 0;
        const int length = major ? kRulerTick : kRulerTick / 2;
        painter.fillRect(QRectF(x, band.bottom() + 1 - length, onePixel, length), colours.rulerText);
        if (!major) continue;
        const QString label = QString::fromStdString(timeline::RulerLabel(ms, step, view.totalMs));
        // A label that would run past the strip's right edge is left out, not cut.
        if (x + 3 + metrics.horizontalAdvance(label) > band.right()) continue;
        painter.drawText(QPointF(x + 3, band.top() + metrics.ascent() + 1), label);
    }
    painter.fillRect(QRectF(band.left(), band.bottom(), band.width(), onePixel), colours.frame);
}

WaveformStrip::WaveformStrip(QWidget* parent) : QWidget(parent), m_impl(std::make_unique<Impl>(this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    Impl& d = *m_impl;
    d.scrollBar = new QScrollBar(Qt::Horizontal, this);
    d.scrollBar->hide();
    d.scrollBar->setCursor(Qt::ArrowCursor);
    connect(d.scrollBar, &QScrollBar::valueChanged, this, [this](int startMs) {
        Impl& impl = *m_impl;
        if (impl.settingScrollBar) return;
        timeline::View next = impl.view;
        next.startMs = startMs;
        impl.SetView(next);
    });
}

WaveformStrip::~WaveformStrip() = default;

void WaveformStrip::Load(const std::filesystem::path& path, int totalTenths) {
    Impl& d = *m_impl;
    d.StopScan();
    d.levels.assign(kWaveformBuckets, kUnknown);
    d.loaded = true;
    d.complete = d.failed = false;
    d.drag = Impl::Drag::None;
    d.shownDetail = {};
    d.wantedRequest = 0;
    d.StartScan(path);
    d.detail.Open(path);
    d.view = timeline::WholeFile(timeline::Ms{std::max(totalTenths, 0)} * 100, d.WaveArea().width());
    d.ShowViewInScrollBar();
    update();
}

void WaveformStrip::Clear() {
    Impl& d = *m_impl;
    d.StopScan();
    d.detail.Close();
    ++d.generation;
    d.levels.clear();
    d.loaded = d.complete = d.failed = false;
    d.drag = Impl::Drag::None;
    d.pieces.clear();
    d.boundaries.clear();
    d.selectedPiece = d.chosenBoundary = -1;
    d.cursorTenths = 0;
    d.shownDetail = {};
    d.wantedRequest = 0;
    d.view = timeline::WholeFile(0, d.WaveArea().width());
    d.ShowViewInScrollBar();
    update();
}

bool WaveformStrip::IsComplete() const { return m_impl->complete; }

bool WaveformStrip::IsDetailShown() const { return m_impl->IsDetailShown(); }

void WaveformStrip::SetPieces(const std::vector<Piece>& pieces, int selected) {
    Impl& d = *m_impl;
    d.pieces = pieces;
    d.selectedPiece = selected;
    d.boundaries.clear();
    for (std::size_t i = 1; i < pieces.size(); ++i) d.boundaries.push_back(pieces[i].startMs);
    if (d.chosenBoundary >= static_cast<int>(d.boundaries.size())) d.chosenBoundary = -1;
    update();
}

void WaveformStrip::SetChosenBoundary(int boundary) {
    if (m_impl->chosenBoundary == boundary) return;
    m_impl->chosenBoundary = boundary;
    update();
}

void WaveformStrip::SetCursor(int tenths) {
    if (m_impl->cursorTenths == tenths) return;
    m_impl->cursorTenths = tenths;
    update();
}

void WaveformStrip::SetFrame(int samplesPerFrame, int sampleRateHz) {
    m_impl->samplesPerFrame = samplesPerFrame;
    m_impl->sampleRateHz = sampleRateHz;
}

void WaveformStrip::ShowRulerAndScrollBar(bool shown) {
    Impl& d = *m_impl;
    d.chrome = shown;
    d.PlaceScrollBar();
    d.SetView(timeline::Resized(d.view, d.WaveArea().width()));
    update();
}

const timeline::View& WaveformStrip::View() const { return m_impl->view; }

void WaveformStrip::SetView(const timeline::View& view) { m_impl->SetView(view); }

void WaveformStrip::ZoomAboutCursor(double factor) {
    Impl& d = *m_impl;
    double anchor = d.view.XOf(d.cursorTenths * 100.0);
    if (anchor < 0 || anchor > d.view.widthPixels - 1) anchor = (d.view.widthPixels - 1) / 2.0;
    d.SetView(timeline::ZoomedAbout(d.view, factor, anchor));
}

void WaveformStrip::ZoomToRange(timeline::Ms beginMs, timeline::Ms endMs) {
    Impl& d = *m_impl;
    d.SetView(timeline::Fitting(beginMs, endMs, d.view.totalMs, d.view.widthPixels));
}

void WaveformStrip::ShowWholeFile() {
    m_impl->SetView(timeline::WholeFile(m_impl->view.totalMs, m_impl->view.widthPixels));
}

void WaveformStrip::FollowCursor() {
    Impl& d = *m_impl;
    d.SetView(timeline::Following(d.view, timeline::Ms{d.cursorTenths} * 100));
}

double WaveformStrip::XOfMs(double ms) const { return m_impl->XOf(ms); }

QSize WaveformStrip::sizeHint() const { return {kPreferredWidth, kPreferredHeight}; }

QSize WaveformStrip::minimumSizeHint() const { return {kMinimumWidth, kMinimumHeight}; }

void WaveformStrip::resizeEvent(QResizeEvent* /*event*/) {
    Impl& d = *m_impl;
    d.PlaceScrollBar();
    d.SetView(timeline::Resized(d.view, d.WaveArea().width()));
    d.ShowViewInScrollBar();
}

void WaveformStrip::paintEvent(QPaintEvent* /*event*/) {
    const Impl& d = *m_impl;
    QPainter painter(this);
    const Colours colours(palette());
    painter.fillRect(rect(), colours.background);
    // The frame goes first: with no contents margins the cursor at either end lies on it.
    painter.setPen(colours.frame);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (d.chrome) d.PaintRuler(painter, colours);
    const QRect area = d.WaveArea();
    if (!d.loaded || area.isEmpty()) return;
    d.PaintLevels(painter, colours);
    painter.setClipRect(area.adjusted(0, 0, 1, 1));
    d.PaintMarks(painter, colours);
}

void WaveformStrip::mousePressEvent(QMouseEvent* event) {
    Impl& d = *m_impl;
    if (event->button() != Qt::LeftButton || !d.loaded || d.view.totalMs <= 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF at = event->position();
    if (const int boundary = d.BoundaryAt(at); boundary >= 0) {
        d.drag = Impl::Drag::Boundary;
        d.draggedBoundary = boundary;
        d.lastDrop = {d.boundaries[static_cast<std::size_t>(boundary)], timeline::Past::None};
        d.chosenBoundary = boundary;
        update();
        emit BoundaryPressed(boundary);
        return;
    }
    d.drag = Impl::Drag::Position;
    emit PositionDragged(d.TenthsAt(at.x()));
    emit PieceClicked(static_cast<qint64>(d.MsAt(at.x())));
}

void WaveformStrip::mouseMoveEvent(QMouseEvent* event) {
    Impl& d = *m_impl;
    const QPointF at = event->position();
    if (d.drag == Impl::Drag::None) {
        setCursor(d.BoundaryAt(at) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (d.drag == Impl::Drag::Position) {
        emit PositionDragged(d.TenthsAt(at.x()));
        return;
    }
    const auto b = static_cast<std::size_t>(d.draggedBoundary);
    const Ms previous = b == 0 ? 0 : d.boundaries[b - 1];
    const Ms next = b + 1 < d.boundaries.size() ? d.boundaries[b + 1] : d.view.totalMs;
    d.lastDrop = timeline::DropBoundary(d.view.MsAt(at.x() - d.WaveArea().left()), d.boundaries[b], previous, next,
                                        d.samplesPerFrame, d.sampleRateHz);
    if (d.lastDrop.ms == d.boundaries[b]) return;
    d.boundaries[b] = d.lastDrop.ms;
    update();
    emit BoundaryDragged(d.draggedBoundary, d.lastDrop.ms);
}

void WaveformStrip::mouseReleaseEvent(QMouseEvent* event) {
    Impl& d = *m_impl;
    if (event->button() != Qt::LeftButton || d.drag == Impl::Drag::None) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Impl::Drag drag = d.drag;
    d.drag = Impl::Drag::None;
    if (drag == Impl::Drag::Boundary) {
        emit BoundaryDropped(d.draggedBoundary, d.lastDrop.ms, d.lastDrop.past);
        return;
    }
    emit PositionChosen(d.TenthsAt(event->position().x()));
}

void WaveformStrip::mouseDoubleClickEvent(QMouseEvent* event) {
    Impl& d = *m_impl;
    if (event->button() != Qt::LeftButton || !d.loaded || d.BoundaryAt(event->position()) >= 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    emit PieceDoubleClicked(static_cast<qint64>(d.MsAt(event->position().x())));
}

void WaveformStrip::wheelEvent(QWheelEvent* event) {
    Impl& d = *m_impl;
    if (!d.loaded) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        const double notches = delta.y() / kWheelNotch;
        d.SetView(timeline::ZoomedAbout(d.view, std::pow(kWheelZoomFactor, notches),
                                        event->position().x() - d.WaveArea().left()));
    } else {
        // Down or right scrolls on into the file.
        const int turned = delta.x() != 0 ? -delta.x() : -delta.y();
        d.SetView(timeline::Scrolled(d.view, turned / kWheelNotch * kWheelScrollShare * d.view.widthPixels));
    }
    event->accept();
}

}  // namespace qm
