// qm-bench-load-list: loads every MP3 file of a folder into a file list through the list's own
// gathering and loading (the path a dropped folder takes), on the offscreen platform, and
// prints how long that took and how long the Cancel button could have had to wait.
//
//   qm-bench-load-list FOLDER [joiner|batchsplitter] [CANCEL_MS...]
//
// First a full load: its time, the rows listed, and the longest gap between two rounds of the
// event loop (a click on Cancel waits at most that long to be seen). Then, for each CANCEL_MS,
// a new load cancelled by a click that many milliseconds in: the time from the click being due
// to the loading having stopped, and the rows kept.

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "LoopGapMeter.h"
#include "ui/widgets/FileListCtrl.h"
#include "ui/widgets/ProgressDialog.h"

namespace {

using qm::FileListCtrl;
using qm::ListKind;

// Processor time of this process in seconds: with other work on the machine, it shows what the
// load itself costs.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

qm::ProgressDialog* RunningProgressDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<qm::ProgressDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

void FullLoad(ListKind kind, const std::filesystem::path& folder) {
    FileListCtrl list(kind);
    list.resize(900, 600);
    if (!qEnvironmentVariableIsSet("QM_BENCH_HIDDEN")) list.show();
    LoopGapMeter gaps;
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = CpuSeconds();
    list.GatherAndLoad({folder});
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double cpu = CpuSeconds() - cpuStart;
    std::printf(
        "load: %d rows in %.3f s (%.2f ms per file), processor time %.3f s; longest wait for the event "
        "loop: %.1f ms\n",
        list.RowCount(), seconds, seconds * 1000.0 / std::max(1, list.RowCount()), cpu, gaps.LongestMs());
}

void CancelledLoad(ListKind kind, const std::filesystem::path& folder, int cancelAfterMs) {
    FileListCtrl list(kind);
    list.resize(900, 600);
    list.show();
    QElapsedTimer clock;
    clock.start();
    bool clicked = false;
    // Owned here, so that a click not yet due when the load ends never reaches the next load.
    QTimer click;
    click.setSingleShot(true);
    click.setTimerType(Qt::PreciseTimer);
    QObject::connect(&click, &QTimer::timeout, [&clicked] {
        if (qm::ProgressDialog* dialog = RunningProgressDialog()) {
            dialog->CancelButton()->click();
            clicked = true;
        }
    });
    click.start(cancelAfterMs);
    list.GatherAndLoad({folder});
    const double stoppedMs = clock.nsecsElapsed() / 1e6 - cancelAfterMs;
    if (!clicked) {
        std::printf("cancel at %d ms: the load had ended before (%d rows)\n", cancelAfterMs, list.RowCount());
        return;
    }
    std::printf("cancel at %d ms: stopped %.1f ms after the click was due, %d rows kept\n", cancelAfterMs, stoppedMs,
                list.RowCount());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qm-bench-load-list FOLDER [joiner|batchsplitter] [CANCEL_MS...]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::filesystem::path folder = argv[1];
    const std::string kindName = argc > 2 ? argv[2] : "joiner";
    const ListKind kind = kindName == "batchsplitter" ? ListKind::BatchSplitter : ListKind::Joiner;
    std::printf("list: %s\n", kindName.c_str());
    FullLoad(kind, folder);
    for (int i = 3; i < argc; ++i) CancelledLoad(kind, folder, std::atoi(argv[i]));
    return 0;
}
