// qm-bench-batch-split: splits every MP3 file of a folder by time through the batch splitter
// page ("Split All" under its batch progress window), on the offscreen platform, and prints
// how long that took and how long a click on Cancel could have had to wait.
//
//   qm-bench-batch-split FOLDER SECONDS [CANCEL_MS]
//
// The pieces are written beside their sources. With CANCEL_MS, the run is cancelled by a
// click that many milliseconds in, and the time from the click being due to the run having
// stopped is printed instead.

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "LoopGapMeter.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/pages/CPageBatchSplitter.h"
#include "ui/widgets/BatchProgressDialog.h"

namespace {

namespace fs = std::filesystem;

qm::BatchProgressDialog* RunningBatchDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<qm::BatchProgressDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible()) return dialog;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qm-bench-batch-split FOLDER SECONDS [CANCEL_MS]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path folder = argv[1];
    const int seconds = std::atoi(argv[2]);
    const int cancelAfterMs = argc > 3 ? std::atoi(argv[3]) : -1;

    qm::MemorySettingsBackend backend;
    qm::SettingsStore store(backend, "");  // no documents folder: pieces go beside their sources
    store.LoadPageGroups();
    store.splitterOptions.BrowseFolder = false;  // no file manager at the end of the run
    qm::CPageBatchSplitter page(store);
    page.resize(1000, 700);
    page.show();

    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".mp3") sources.push_back(entry.path());
    }
    std::sort(sources.begin(), sources.end());
    for (const fs::path& source : sources) page.Ui().list->AddFile(source);
    page.Ui().mode.Button(qm::SplitTypeCode::ByTime)->click();
    page.Ui().mode.minutes->setValue(seconds / 60);
    page.Ui().mode.seconds->setValue(seconds % 60);

    QTimer click;
    click.setSingleShot(true);
    click.setTimerType(Qt::PreciseTimer);
    bool clicked = false;
    QObject::connect(&click, &QTimer::timeout, [&clicked] {
        if (qm::BatchProgressDialog* dialog = RunningBatchDialog()) {
            dialog->CancelButton()->click();
            clicked = true;
        }
    });
    LoopGapMeter gaps;
    QElapsedTimer clock;
    clock.start();
    if (cancelAfterMs >= 0) click.start(cancelAfterMs);
    page.SplitAll();
    const double elapsed = clock.nsecsElapsed() / 1e9;
    if (cancelAfterMs >= 0) {
        if (clicked) {
            std::printf("cancel at %d ms: stopped %.1f ms after the click was due\n", cancelAfterMs,
                        elapsed * 1000.0 - cancelAfterMs);
        } else {
            std::printf("cancel at %d ms: the run had ended before\n", cancelAfterMs);
        }
        return 0;
    }
    std::printf("page: %zu files split in %.3f s; longest wait for the event loop: %.1f ms\n", sources.size(), elapsed,
                gaps.LongestMs());
    return 0;
}
