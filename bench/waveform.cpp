// qm-bench-waveform: loads one MP3 file into the waveform strip, shown in a window on the
// offscreen platform, and prints how long its levels took to complete, how long the Load call
// itself held the event loop, the longest wait of the event loop while the levels were
// computed, how often the strip was repainted, and how long a Clear in the middle of the work
// holds the event loop. Then it times the scan alone, without the window, in one part and in
// two. Last, the same file on the manual splitter page at full-HD size: how long loading it
// holds the window, when its waveform is complete, and how long clicks on the timeline made
// every 100 ms meanwhile wait and take.
//
//   qm-bench-waveform FILE SECONDS

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qm-bench-waveform FILE SECONDS\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::filesystem::path path = argv[1];
    const int seconds = std::atoi(argv[2]);

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
