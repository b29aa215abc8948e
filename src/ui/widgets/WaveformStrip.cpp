// The waveform strip: one scanning thread per loaded file hands its levels to the window's
// thread in batches, at most about ten a second, through queued calls stamped with the load's
// generation, so that a batch of a file that has since been replaced is dropped unseen.

#include "ui/widgets/WaveformStrip.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
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

#include "stream/WaveformPeaks.h"

namespace qm {

namespace {

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

int ScanThreadCount() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, kMostScanThreads));
}

// a blended toward b by the fraction t (0 gives a, 1 gives b).
QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// The largest known level of the buckets that column `column` of `width` shows, or kUnknown
// when none of them is known. Positions map to columns as in Geometry: column i is the pixel
// of the fraction i / (width - 1) of the file, so it shows the stretch from half a column
// before that to half a column after.
float ColumnLevel(const std::vector<float>& levels, int column, int width) {
    const auto count = static_cast<std::int64_t>(levels.size());
    std::int64_t first = 0;
    std::int64_t end = count;
    if (width > 1) {
        const std::int64_t span = 2 * std::int64_t{width - 1};
        first = std::max<std::int64_t>(0, 2 * std::int64_t{column} - 1) * count / span;
        end = (std::min(span, 2 * std::int64_t{column} + 1) * count + span - 1) / span;
        end = std::clamp(end, first + 1, count);
    }
    float level = kUnknown;
    for (std::int64_t bucket = first; bucket < end; ++bucket) level = std::max(level, levels[bucket]);
    return level;
}

// Where positions lie in the strip's contents rectangle: 0 at its left pixel, the file's
// length at its right one. Drawing and the mouse share it.
struct Geometry {
    QRect area;
    int totalTenths = 0;

    int XOf(int tenths) const {
        if (totalTenths <= 0 || area.width() <= 1) return area.left();
        const double fraction = std::clamp(static_cast<double>(tenths) / totalTenths, 0.0, 1.0);
        return area.left() + static_cast<int>(std::lround(fraction * (area.width() - 1)));
    }

    int TenthsAt(int x) const {
        if (totalTenths <= 0 || area.width() <= 1) return 0;
        const double fraction = static_cast<double>(x - area.left()) / (area.width() - 1);
        return static_cast<int>(std::clamp<long>(std::lround(fraction * totalTenths), 0, totalTenths));
    }
};

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

    explicit Impl(WaveformStrip* strip) : owner(strip) {}
    ~Impl() { StopScan(); }

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
            worker = std::thread([this, path, load = generation] { Scan(path, load); });
        } catch (const std::system_error&) {
            failed = true;  // no thread to be had: the strip stays without levels
        }
    }

    Geometry GeometryOf() const { return Geometry{owner->contentsRect(), totalTenths}; }

    WaveformStrip* owner;

    // The window's thread only.
    std::vector<float> levels;  // kWaveformBuckets while loaded, kUnknown where not known yet
    int totalTenths = 0;
    bool loaded = false;
    bool complete = false;
    bool failed = false;
    std::vector<int> boundaries;
    int selectionStartTenths = 0;
    int selectionEndTenths = 0;
    int cursorTenths = 0;
    bool dragging = false;
    std::uint64_t generation = 0;  // of the current load; batches of older loads are dropped

    // Shared with the scanning thread.
    std::atomic<bool> stop{false};
    Inbox inbox;
    std::thread worker;
};

WaveformStrip::WaveformStrip(QWidget* parent) : QWidget(parent), m_impl(std::make_unique<Impl>(this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

WaveformStrip::~WaveformStrip() = default;

void WaveformStrip::Load(const std::filesystem::path& path, int totalTenths) {
    Impl& d = *m_impl;
    d.StopScan();
    d.levels.assign(kWaveformBuckets, kUnknown);
    d.totalTenths = std::max(totalTenths, 0);
    d.loaded = true;
    d.complete = d.failed = d.dragging = false;
    d.StartScan(path);
    update();
}

void WaveformStrip::Clear() {
    Impl& d = *m_impl;
    d.StopScan();
    ++d.generation;
    d.levels.clear();
    d.totalTenths = 0;
    d.loaded = d.complete = d.failed = d.dragging = false;
    d.boundaries.clear();
    d.selectionStartTenths = d.selectionEndTenths = d.cursorTenths = 0;
    update();
}

bool WaveformStrip::IsComplete() const { return m_impl->complete; }

void WaveformStrip::SetBoundaries(const std::vector<int>& tenths) {
    if (m_impl->boundaries == tenths) return;
    m_impl->boundaries = tenths;
    update();
}

void WaveformStrip::SetSelection(int startTenths, int endTenths) {
    if (m_impl->selectionStartTenths == startTenths && m_impl->selectionEndTenths == endTenths) return;
    m_impl->selectionStartTenths = startTenths;
    m_impl->selectionEndTenths = endTenths;
    update();
}

void WaveformStrip::SetCursor(int tenths) {
    if (m_impl->cursorTenths == tenths) return;
    m_impl->cursorTenths = tenths;
    update();
}

QSize WaveformStrip::sizeHint() const { return {kPreferredWidth, kPreferredHeight}; }

QSize WaveformStrip::minimumSizeHint() const { return {kMinimumWidth, kMinimumHeight}; }

namespace {

// The colours of the strip, from its palette, so that it reads in light and dark themes.
struct Colours {
    explicit Colours(const QPalette& palette)
        : background(palette.color(QPalette::Base)),
          wave(Mix(background, palette.color(QPalette::Text), 0.65)),
          pending(Mix(background, palette.color(QPalette::Text), 0.07)),
          pendingLine(Mix(background, palette.color(QPalette::Text), 0.3)),
          selection(palette.color(QPalette::Highlight)),
          boundary(palette.color(QPalette::Highlight)),
          cursor(palette.color(QPalette::Text)),
          frame(palette.color(QPalette::Mid)) {
        selection.setAlpha(70);
    }

    QColor background, wave, pending, pendingLine, selection, boundary, cursor, frame;
};

// The levels, one column per pixel, symmetric about the middle; columns not known yet are
// shaded and crossed by a dotted middle line.
void PaintLevels(QPainter& painter, const Geometry& geometry, const std::vector<float>& levels,
                 const Colours& colours) {
    const QRect& area = geometry.area;
    const int middle = area.top() + area.height() / 2;
    const double halfHeight = (area.height() - 1) / 2.0;
    constexpr int kDotSpacing = 3;  // pixels from one dot of the pending middle line to the next
    QVector<QLine> known;
    QVector<QLine> pending;
    QVector<QPoint> pendingDots;
    for (int column = 0; column < area.width(); ++column) {
        const int x = area.left() + column;
        const float level = ColumnLevel(levels, column, area.width());
        if (level == kUnknown) {
            pending.append(QLine(x, area.top(), x, area.bottom()));
            if (x % kDotSpacing == 0) pendingDots.append(QPoint(x, middle));
            continue;
        }
        const int reach = static_cast<int>(std::lround(std::min(level, 1.0F) * halfHeight));
        known.append(QLine(x, middle - reach, x, middle + reach));
    }
    painter.setPen(colours.pending);
    painter.drawLines(pending);
    painter.setPen(colours.pendingLine);
    painter.drawPoints(pendingDots);
    painter.setPen(colours.wave);
    painter.drawLines(known);
}

}  // namespace

void WaveformStrip::paintEvent(QPaintEvent* /*event*/) {
    const Impl& d = *m_impl;
    QPainter painter(this);
    const Colours colours(palette());
    painter.fillRect(rect(), colours.background);
    // The frame goes first: with no contents margins the cursor at either end lies on it.
    painter.setPen(colours.frame);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const Geometry geometry = d.GeometryOf();
    if (d.loaded && !geometry.area.isEmpty()) {
        const QRect& area = geometry.area;
        if (!d.failed) PaintLevels(painter, geometry, d.levels, colours);
        // Translucent, over the levels, so that it shows on the pending part as well.
        if (d.selectionStartTenths < d.selectionEndTenths) {
            const int left = geometry.XOf(d.selectionStartTenths);
            const int right = geometry.XOf(d.selectionEndTenths);
            painter.fillRect(QRect(QPoint(left, area.top()), QPoint(right, area.bottom())), colours.selection);
        }
        painter.setPen(colours.boundary);
        for (const int tenths : d.boundaries) {
            const int x = geometry.XOf(tenths);
            painter.drawLine(x, area.top(), x, area.bottom());
        }
        // The cursor: a line with a small triangle at each edge, so that it stands out from
        // the waveform's own vertical strokes.
        const int x = geometry.XOf(d.cursorTenths);
        painter.setPen(colours.cursor);
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setBrush(colours.cursor);
        const QPoint top[] = {{x - kCursorMarkHalfWidth, area.top()},
                              {x + kCursorMarkHalfWidth, area.top()},
                              {x, area.top() + kCursorMarkHalfWidth}};
        const QPoint bottom[] = {{x - kCursorMarkHalfWidth, area.bottom()},
                                 {x + kCursorMarkHalfWidth, area.bottom()},
                                 {x, area.bottom() - kCursorMarkHalfWidth}};
        painter.drawPolygon(top, 3);
        painter.drawPolygon(bottom, 3);
    }
}

void WaveformStrip::mousePressEvent(QMouseEvent* event) {
    Impl& d = *m_impl;
    if (event->button() != Qt::LeftButton || !d.loaded || d.totalTenths <= 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    d.dragging = true;
    emit PositionDragged(d.GeometryOf().TenthsAt(event->position().toPoint().x()));
}

void WaveformStrip::mouseMoveEvent(QMouseEvent* event) {
    Impl& d = *m_impl;
    if (!d.dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    emit PositionDragged(d.GeometryOf().TenthsAt(event->position().toPoint().x()));
}

void WaveformStrip::mouseReleaseEvent(QMouseEvent* event) {
    Impl& d = *m_impl;
    if (event->button() != Qt::LeftButton || !d.dragging) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    d.dragging = false;
    emit PositionChosen(d.GeometryOf().TenthsAt(event->position().toPoint().x()));
}

}  // namespace qm
