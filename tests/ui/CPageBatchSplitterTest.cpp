// The batch splitter page: which controls a mode and a selection enable, the tenth-second
// arrows, a run by time against the command line, a file that fails to load, Cancel in the
// middle of a run, and a run by each file's cue sheet.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "fixtures/Fixtures.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageBatchSplitter.h"
#include "ui/pages/CPageBatchSplitterSpin.h"
#include "ui/widgets/ProgressWindow.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::App;

// 25 seconds of tone at 44.1 kHz, 128 kbit/s: three pieces of 10 seconds or less.
fs::path WriteSong(const fs::path& path, double toneHz) {
    fixtures::EncodeSpec spec;
    spec.seconds = 25.0;
    spec.toneHz = toneHz;
    fixtures::WriteFileBytes(path, fixtures::EncodeMp3(spec));
    return path;
}

// The files of folder whose names start with prefix, sorted.
std::vector<std::string> FilesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BatchSplitterPage : public ::testing::Test {
protected:
    BatchSplitterPage() : store(backend, "") {
        App();
        store.LoadPageGroups();
        page = std::make_unique<CPageBatchSplitter>(store);
        page->SetDesktop(desktop);
    }

    void AddSongs(const fs::path& folder, int count) {
        for (int i = 1; i <= count; ++i) {
            const fs::path song = WriteSong(folder / ("song" + std::to_string(i) + ".mp3"), 200.0 * i);
            ASSERT_EQ(page->Ui().list->AddFile(song), AddOutcome::Added);
        }
    }

    void ChooseByTime(int minutes, int seconds) {
        page->Ui().mode.Button(SplitTypeCode::ByTime)->click();
        page->Ui().mode.minutes->setValue(minutes);
        page->Ui().mode.seconds->setValue(seconds);
    }

    QString Output(int row) const {
        return page->Ui().list->ItemText(row, ColumnIndex(ListKind::BatchSplitter, ListColumn::Output));
    }

    MemorySettingsBackend backend;
    SettingsStore store;
    test::RecordedDesktop desktop;
    std::unique_ptr<CPageBatchSplitter> page;
    fixtures::TempDir dir;
};

// The run buttons follow the rows and the selection; only the chosen mode's inputs take input.
TEST_F(BatchSplitterPage, EnablingFollowsRowsSelectionAndMode) {
    const auto buttons = [&] {
        return std::vector<bool>{page->Ui().remove->isEnabled(), page->Ui().removeAll->isEnabled(),
                                 page->Ui().splitAll->isEnabled(), page->Ui().splitSelected->isEnabled()};
    };
    EXPECT_EQ(buttons(), (std::vector<bool>{false, false, false, false}));
    AddSongs(dir.Path(), 2);
    EXPECT_EQ(buttons(), (std::vector<bool>{false, true, true, false}));
    page->SplitSelected();  // no selection: nothing is split
    EXPECT_EQ(Output(0), "");
    EXPECT_EQ(FilesStartingWith(dir.Path(), "song1-").size(), 0u);
    page->Ui().list->topLevelItem(1)->setSelected(true);
    EXPECT_EQ(buttons(), (std::vector<bool>{true, true, true, true}));
    page->Ui().remove->click();
    EXPECT_EQ(page->Ui().list->RowCount(), 1);
    EXPECT_EQ(buttons(), (std::vector<bool>{false, true, true, false}));
    page->Ui().removeAll->click();
    EXPECT_EQ(buttons(), (std::vector<bool>{false, false, false, false}));

    struct Case {
        SplitTypeCode mode;
        std::vector<bool> enabled;  // size, unit, count, minutes, seconds, begin, length, silence settings
    };
    const Case cases[] = {
        {SplitTypeCode::BySize, {true, true, false, false, false, false, false, false}},
        {SplitTypeCode::ByCount, {false, false, true, false, false, false, false, false}},
        {SplitTypeCode::ByTime, {false, false, false, true, true, false, false, false}},
        {SplitTypeCode::ByCustom, {false, false, false, false, false, true, true, false}},
        {SplitTypeCode::BySilence, {false, false, false, false, false, false, false, true}},
        {SplitTypeCode::ByMarks, {false, false, false, false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        page->Ui().mode.Button(c.mode)->click();
        const std::vector<bool> enabled{page->Ui().mode.size->isEnabled(),    page->Ui().mode.unit->isEnabled(),
                                        page->Ui().mode.count->isEnabled(),   page->Ui().mode.minutes->isEnabled(),
                                        page->Ui().mode.seconds->isEnabled(), page->Ui().begin->isEnabled(),
                                        page->Ui().length->isEnabled(),       page->Ui().silenceSettings->isEnabled()};
        EXPECT_EQ(enabled, c.enabled) << static_cast<int>(c.mode);
        EXPECT_EQ(store.batchSplitter.split.SplitType, c.mode);
    }
}

// The page shows the stored inputs, and every change goes back into the store.
TEST_F(BatchSplitterPage, ShowsStoredInputsAndKeepsChanges) {
    backend.Put(kBatchSplitKey, "SplitType", 3);
    backend.Put(kBatchSplitKey, "SplitFileUnit", 201);
    backend.Put(kBatchSplitKey, "SplitCustomFromSec", std::string("12.5"));
    backend.Put(kBatchSplitKey, "SilenceThresholdDb", -30);
    store.LoadPageGroups();
    page = std::make_unique<CPageBatchSplitter>(store);
    page->SetDesktop(desktop);
    EXPECT_TRUE(page->Ui().mode.Button(SplitTypeCode::ByCustom)->isChecked());
    EXPECT_EQ(page->Ui().mode.unit->currentText(), "KB");
    EXPECT_EQ(page->Ui().begin->Text(), "12.5");
    EXPECT_EQ(page->Ui().length->Text(), "1.0");
    EXPECT_EQ(page->Ui().mode.minutes->value(), 1);

    page->Ui().length->stepBy(1);
    page->Ui().mode.count->setValue(7);
    EXPECT_EQ(store.batchSplitter.split.SplitCustomDuration, "1.1");
    EXPECT_EQ(store.batchSplitter.split.SplitFileAmount, 7);
    EXPECT_EQ(store.batchSplitter.split.SplitCustomFromSec, "12.5");
    EXPECT_EQ(store.batchSplitter.split.silence.ThresholdDb, -30);  // no control of the page changes it
}

// The arrows of the times step a tenth and never go below 0; the size's arrows step whole
// units inside 1..32,767.
TEST(BatchSplitterSpin, ArrowsStepTheText) {
    struct Case {
        TextSpinBox::Steps kind;
        const char* text;
        int steps;
        const char* expected;
    };
    using S = TextSpinBox::Steps;
    const Case cases[] = {
        {S::Tenths, "0.0", 1, "0.1"},     {S::Tenths, "", 1, "0.1"},       {S::Tenths, ".5", 1, "0.6"},
        {S::Tenths, "1.9", 1, "2.0"},     {S::Tenths, "12.57", 1, "12.6"}, {S::Tenths, "0.0", -1, "0.0"},
        {S::Tenths, "2", -1, "1.9"},      {S::Tenths, "0.3", -10, "0.0"},  {S::Whole, "1.5", 1, "2"},
        {S::Whole, "1", -1, "1"},         {S::Whole, "32767", 1, "32767"}, {S::Whole, "", 1, "1"},
        {S::Whole, "40000", -1, "32767"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SteppedText(c.kind, QString::fromLatin1(c.text), c.steps, 1, 32767), QString::fromLatin1(c.expected))
            << c.text << " " << c.steps;
    }
}

// Three files split by 10 seconds give the same pieces, byte for byte, as the command line
// with the same mode; each row shows its piece count and the file manager shows the first.
TEST_F(BatchSplitterPage, SplitByTimeWritesWhatTheCommandLineWrites) {
    const fs::path pageDir = dir / "page";
    const fs::path cliDir = dir / "cli";
    fs::create_directories(pageDir);
    fs::create_directories(cliDir);
    AddSongs(pageDir, 3);
    std::vector<std::string> cliArgs{"split", "--time", "0:10"};
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "song" + std::to_string(i) + ".mp3";
        fs::copy_file(pageDir / name, cliDir / name);
        cliArgs.push_back((cliDir / name).string());
    }
    ChooseByTime(0, 10);
    page->SplitAll();

    const fixtures::RunResult cli = fixtures::RunProgram(fixtures::CliPath(), cliArgs);
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Output(row), "3 piece(s)");
        const std::string prefix = "song" + std::to_string(row + 1) + "-";
        const std::vector<std::string> pieces = FilesStartingWith(pageDir, prefix);
        ASSERT_EQ(pieces.size(), 3u);
        EXPECT_EQ(pieces, FilesStartingWith(cliDir, prefix));
        ASSERT_EQ(page->Ui().list->Record(row)->outputPaths.size(), 3u);
        for (const std::string& piece : pieces) {
            EXPECT_EQ(fixtures::ReadFileBytes(pageDir / piece), fixtures::ReadFileBytes(cliDir / piece)) << piece;
        }
    }
    const fixtures::Decoded first = fixtures::DecodeWithMpg123(page->Ui().list->Record(0)->outputPaths.front());
    EXPECT_TRUE(first.ok);
    EXPECT_NEAR(static_cast<double>(first.samples) / 44100.0, 10.0, 0.1);
    ASSERT_EQ(desktop.shownInFileManager.size(), 1u);
    EXPECT_EQ(desktop.shownInFileManager.front().toStdString(),
              page->Ui().list->Record(0)->outputPaths.front().string());
}

// A file gone since it was added fails with the load message; the run goes on, and "Split
// Selected" splits only the selected rows.
TEST_F(BatchSplitterPage, FailedFileDoesNotStopTheRunOfTheSelection) {
    page->resize(1024, 700);
    page->show();
    AddSongs(dir.Path(), 3);
    fs::remove(dir / "song1.mp3");
    page->Ui().list->SetItemText(1, ColumnIndex(ListKind::BatchSplitter, ListColumn::Output), "earlier");
    page->Ui().list->topLevelItem(2)->setSelected(true);
    page->Ui().list->topLevelItem(0)->setSelected(true);
    page->Ui().mode.Button(SplitTypeCode::ByCount)->click();
    page->Ui().mode.count->setValue(2);
    page->SplitSelected();

    EXPECT_EQ(Output(0).toStdString(), "Failure: Failed to load file \"" + (dir / "song1.mp3").string() + "\".");
    // The outcome column has grown to show the failure whole.
    const QModelIndex failure =
        page->Ui().list->model()->index(0, ColumnIndex(ListKind::BatchSplitter, ListColumn::Output));
    EXPECT_EQ(page->Ui().list->CellToolTip(page->Ui().list->visualRect(failure).center()), QString());
    EXPECT_EQ(Output(1), "earlier");
    EXPECT_EQ(Output(2), "2 piece(s)");
    EXPECT_EQ(FilesStartingWith(dir.Path(), "song1-").size(), 0u);
    EXPECT_EQ(FilesStartingWith(dir.Path(), "song2-").size(), 0u);
    EXPECT_EQ(FilesStartingWith(dir.Path(), "song3-").size(), 2u);
}

// Cancel while file 2 of 3 is split: file 1 keeps its pieces, file 2 leaves none, file 3 is
// not touched, and the file manager is not opened.
TEST_F(BatchSplitterPage, CancelDuringTheSecondFile) {
    AddSongs(dir.Path(), 3);
    page->Ui().list->SetItemText(2, ColumnIndex(ListKind::BatchSplitter, ListColumn::Output), "earlier");
    ChooseByTime(0, 10);
    ProgressWindow* running = nullptr;
    page->SetRunObserver([&](ProgressWindow* dialog) { running = dialog; });
    QObject::connect(page->Ui().list->model(), &QAbstractItemModel::dataChanged, page.get(), [&] {
        if (running != nullptr && Output(1) == "Splitting...") running->CancelButton()->click();
    });
    page->SplitAll();

    EXPECT_EQ(Output(0), "3 piece(s)");
    EXPECT_EQ(Output(1), "Cancelled");
    EXPECT_EQ(Output(2), "earlier");
    EXPECT_EQ(FilesStartingWith(dir.Path(), "song1-").size(), 3u);
    EXPECT_EQ(FilesStartingWith(dir.Path(), "song2").size(), 1u);  // the source itself
    EXPECT_EQ(FilesStartingWith(dir.Path(), "song3").size(), 1u);
    EXPECT_TRUE(page->Ui().list->Record(1)->outputPaths.empty());
    EXPECT_TRUE(desktop.shownInFileManager.empty());
    EXPECT_TRUE(page->isEnabled());
}

// By cue sheet or chapters: a file with NAME.cue beside it is cut into the sheet's titled
// pieces; a file with neither fails with its line.
TEST_F(BatchSplitterPage, ByCueSheetOrChaptersCutsEachFileBySheet) {
    AddSongs(dir.Path(), 2);
    const std::string sheet =
        "TRACK 01 AUDIO\n  TITLE \"Intro\"\n  INDEX 01 00:00:00\nTRACK 02 AUDIO\n  TITLE \"Theme\"\n"
        "  INDEX 01 00:12:00\n";
    fixtures::WriteFileBytes(dir / "song1.cue", fixtures::Bytes(sheet.begin(), sheet.end()));
    page->Ui().mode.Button(SplitTypeCode::ByMarks)->click();
    EXPECT_EQ(store.batchSplitter.split.SplitType, SplitTypeCode::ByMarks);
    page->SplitAll();

    EXPECT_EQ(Output(0), "2 piece(s)");
    EXPECT_EQ(Output(1).toStdString(), "Failure: \"" + (dir / "song2.mp3").string() +
                                           "\" has no cue sheet beside it (song2.cue) and no chapters.");
    const std::vector<fs::path>& pieces = page->Ui().list->Record(0)->outputPaths;
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].filename(), "1 - Intro.mp3");
    EXPECT_EQ(pieces[1].filename(), "2 - Theme.mp3");
    const fixtures::Decoded first = fixtures::DecodeWithMpg123(pieces[0]);
    EXPECT_NEAR(static_cast<double>(first.samples) / 44100.0, 12.0, 0.1);
}

}  // namespace
}  // namespace qm
