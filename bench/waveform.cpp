// qm-bench-waveform: loads one MP3 file into the waveform strip, shown in a window on the
// offscreen platform, and prints how long its levels took to complete, how long the Load call
// itself held the event loop, the longest wait of the event loop while the levels were
// computed, how often the strip was repainted, and how long a Clear in the middle of the work
// holds the event loop. Then it times the scan alone, without the window, in one part and in
// two. Last, the same file on the manual splitter page at full-HD size: how long loading it
// holds the window, when its waveform is complete, and how long clicks on the timeline made
// every 100 ms meanwhile wait and take.
//
// With "zoom", only the zoomed strip instead: how long a one-minute view takes from being
// set to its full detail drawn, and the longest repaint while it scrolls across the detail.
// With "shots DIR", pictures of the manual splitter page with the file instead (whole file
// and one second, light and dark palette, two window sizes) into DIR.
//
//   qm-bench-waveform FILE SECONDS [zoom | shots DIR]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "LoopGapMeter.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "stream/AudioLayer.h"
#include "stream/WaveformPeaks.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/WaveformStrip.h"

namespace {

// Counts the strip's paint events.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return QObject::eventFilter(watched, event);
    }
    int count = 0;
};

// Seconds one scan of path takes in threadCount parts, or -1 when it fails.
double TimeScan(const std::filesystem::path& path, int threadCount) {
    std::atomic<bool> stop{false};
    std::string message;
    QElapsedTimer clock;
    clock.start();
    const bool done = qm::ScanWaveformPeaks(
        path, qm::kWaveformBuckets, threadCount, stop, [](int, std::span<const float>) {}, &message);
    return done ? clock.nsecsElapsed() / 1e9 : -1.0;
}

// The page with the file: load, levels complete, and clicks answered while they are computed.
void TimePage(const std::filesystem::path& path) {
    if (!qm::audio::Init(qm::audio::kDefaultDevice, 44100)) {
        std::fprintf(stderr, "qm-bench-waveform: no output device, not even the silent one\n");
        return;
    }
    qm::MemorySettingsBackend backend;
    qm::SettingsStore store(backend, "");
    qm::CPageSplitter page(store);
    page.SetSoundCard(qm::audio::HasSoundCard());
    page.resize(1920, 1080);
    page.show();
    QCoreApplication::processEvents();

    QEventLoop loop;
    QObject::connect(page.Ui().waveform, &qm::WaveformStrip::Completed, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    if (!page.LoadSourceFile(qm::PathText(path))) {
        std::fprintf(stderr, "qm-bench-waveform: the page could not load \"%s\"\n", path.c_str());
        return;
    }
    const double loadMs = clock.nsecsElapsed() / 1e6;
    page.PlayPressed();

    // A click on the timeline every 100 ms: how late it runs (the wait) plus how long it takes.
    double worstClickMs = 0;
    int clicks = 0;
    QElapsedTimer due;
    QTimer clicker;
    clicker.setInterval(100);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        const double lateMs = clicks == 0 ? 0.0 : std::max(0.0, due.nsecsElapsed() / 1e6 - 100.0);
        QElapsedTimer work;
        work.start();
        page.MoveTimeline((clicks * 997) % std::max(1, page.TotalTenths()));
        worstClickMs = std::max(worstClickMs, lateMs + work.nsecsElapsed() / 1e6);
        ++clicks;
        due.restart();
    });
    due.start();
    clicker.start();
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    giveUp.start(120000);
    loop.exec();
    const double completeS = clock.nsecsElapsed() / 1e9;
    clicker.stop();
    std::printf(
        "page: LoadSourceFile held the window %.1f ms; waveform complete %.3f s after the load began, "
        "playing; %d timeline clicks meanwhile, the slowest answered within %.1f ms\n",
        loadMs, completeS, clicks, worstClickMs);
    page.CloseSourceFile();
    qm::audio::Free();
}

// Runs the event loop until done() or timeoutMs.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return done();
}

// A one-minute view set on a full-HD strip at five places of the file: until its detail is
// drawn; then the longest repaint of 120 one-second scrolls across the detail of the last.
int TimeZoom(const std::filesystem::path& path, int seconds) {
    qm::WaveformStrip strip;
    strip.ShowRulerAndScrollBar(true);
    strip.resize(1920, 300);
    strip.show();
    strip.Load(path, seconds * 10);
    if (!WaitUntil([&] { return strip.IsComplete(); }, 120000)) return 1;
    WaitUntil([] { return false; }, 300);  // the detail's frame index is made meanwhile
    const qm::timeline::Ms totalMs = qm::timeline::Ms{seconds} * 1000;
    const int width = strip.View().widthPixels;
    std::vector<double> detailMs;
    for (int place = 1; place <= 5; ++place) {
        const double startMs = static_cast<double>(totalMs) * place / 6.0;
        QElapsedTimer clock;
        clock.start();
        strip.SetView({startMs, 60000.0 / (width - 1), width, totalMs});
        if (!WaitUntil([&] { return strip.IsDetailShown(); }, 10000)) return 1;
        strip.repaint();
        detailMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    double longestPaintMs = 0;
    const qm::timeline::View detailed = strip.View();
    for (int step = -60; step < 60; ++step) {
        qm::timeline::View view = detailed;
        view.startMs += step * 1000.0;
        strip.SetView(view);
        QElapsedTimer clock;
        clock.start();
        strip.repaint();
        longestPaintMs = std::max(longestPaintMs, clock.nsecsElapsed() / 1e6);
    }
    std::printf("zoom: one-minute view to full detail drawn:");
    for (const double ms : detailMs) std::printf(" %.1f", ms);
    std::printf(" ms; longest repaint over 120 scrolls of a second: %.2f ms\n", longestPaintMs);
    return 0;
}

QPalette DarkPalette() {
    QPalette dark;
    const QColor window(45, 45, 48), base(30, 30, 32), text(220, 220, 220);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Mid, QColor(80, 80, 84));
    dark.setColor(QPalette::PlaceholderText, QColor(130, 130, 130));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    return dark;
}

// The page with the file, three pieces (the middle one unchecked, the last selected), at two
// sizes, whole and one second around the second boundary, in the light and a dark palette.
int TakeShots(const std::filesystem::path& path, const QString& folder) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::style()->standardPalette();
    qm::MemorySettingsBackend backend;
    qm::SettingsStore store(backend, "");
    QDir().mkpath(folder);
    for (const bool isDark : {false, true}) {
        QApplication::setPalette(isDark ? DarkPalette() : light);
        for (const QSize size : {QSize(1024, 768), QSize(1920, 1080)}) {
            qm::CPageSplitter page(store);
            page.resize(size);
            page.show();
            if (!page.LoadSourceFile(qm::PathText(path))) return 1;
            const int total = page.TotalTenths();
            page.MoveTimeline(total / 3);
            page.AddPiece();
            page.MoveTimeline(total * 2 / 3);
            page.AddPiece();
            page.SelectPiece(2);
            page.Ui().pieces->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
            WaitUntil([&] { return page.Ui().waveform->IsComplete(); }, 20000);
            const QString name = QStringLiteral("%1/%2x%3-%4")
                                     .arg(folder)
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(isDark ? QStringLiteral("dark") : QStringLiteral("light"));
            page.grab().save(name + QStringLiteral("-whole.png"));
            const qm::timeline::Ms at = qm::TenthsToMillis(total * 2 / 3);
            page.Ui().waveform->ZoomToRange(at - 500, at + 500);
            WaitUntil([&] { return page.Ui().waveform->IsDetailShown(); }, 5000);
            page.grab().save(name + QStringLiteral("-second.png"));
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 3 ? argv[3] : "";
    if (argc < 3 || (mode == "shots" && argc != 5) || (mode != "shots" && mode != "zoom" && argc != 3)) {
        std::fprintf(stderr, "usage: qm-bench-waveform FILE SECONDS [zoom | shots DIR]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::filesystem::path path = argv[1];
    const int seconds = std::atoi(argv[2]);
    if (mode == "zoom") return TimeZoom(path, seconds);
    if (mode == "shots") return TakeShots(path, QString::fromLocal8Bit(argv[4]));

    // A full-HD-wide strip, as on a maximised window.
    qm::WaveformStrip strip;
    strip.resize(1920, 64);
    strip.show();
    PaintCounter paints;
    strip.installEventFilter(&paints);
    QCoreApplication::processEvents();
    paints.count = 0;

    QEventLoop loop;
    QObject::connect(&strip, &qm::WaveformStrip::Completed, &loop, &QEventLoop::quit);
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    giveUp.start(120000);

    LoopGapMeter gaps;
    QElapsedTimer clock;
    clock.start();
    strip.Load(path, seconds * 10);
    const double loadMs = clock.nsecsElapsed() / 1e6;
    loop.exec();
    const double elapsed = clock.nsecsElapsed() / 1e9;
    if (!strip.IsComplete()) {
        std::fprintf(stderr, "qm-bench-waveform: the levels of \"%s\" did not complete\n", path.c_str());
        return 1;
    }
    std::printf(
        "strip: %d s of audio complete in %.3f s; Load returned in %.2f ms; longest wait for the "
        "event loop: %.1f ms; %d repaints\n",
        seconds, elapsed, loadMs, gaps.LongestMs(), paints.count);
    // Another file loaded while the levels are being computed: the call stops and joins
    // the scan under way, on the window's thread.
    strip.Load(path, seconds * 10);
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    clock.restart();
    strip.Clear();
    std::printf("Clear during the scan returned in %.2f ms\n", clock.nsecsElapsed() / 1e6);
    std::printf("scan alone: one part %.3f s, two parts %.3f s\n", TimeScan(path, 1), TimeScan(path, 2));
    TimePage(path);
    return 0;
}
