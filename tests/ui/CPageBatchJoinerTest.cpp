// The batch joiner page: enabling by the two lists and their selections, Up and Down, the tag
// columns and their dialog, runs with either join type against the command line, and Cancel
// in the middle of a batch.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include "fixtures/Fixtures.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageBatchJoiner.h"
#include "ui/pages/CPageBatchJoinerTagDialog.h"
#include "ui/widgets/ProgressWindow.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::App;

fs::path WriteSong(const fs::path& path, double seconds, double toneHz) {
    fixtures::EncodeSpec spec;
    spec.seconds = seconds;
    spec.toneHz = toneHz;
    fixtures::WriteFileBytes(path, fixtures::EncodeMp3(spec));
    return path;
}

class BatchJoinerPage : public ::testing::Test {
protected:
    BatchJoinerPage() : store(backend, "") {
        App();
        store.LoadPageGroups();
        page = std::make_unique<CPageBatchJoiner>(store);
        page->SetDesktop(desktop);
    }

    // Main files main1.mp3 ... and joined files a.mp3, b.mp3 ... in folder.
    void AddFiles(const fs::path& folder, int mainCount, int joinedCount) {
        for (int i = 1; i <= mainCount; ++i) {
            const fs::path song = WriteSong(folder / ("main" + std::to_string(i) + ".mp3"), 6.0, 300.0 * i);
            ASSERT_EQ(page->Ui().mainList->AddFile(song), AddOutcome::Added);
        }
        for (int i = 0; i < joinedCount; ++i) {
            const fs::path song =
                WriteSong(folder / (std::string(1, static_cast<char>('a' + i)) + ".mp3"), 1.0, 1000.0 + 100.0 * i);
            ASSERT_EQ(page->Ui().joinedList->AddFile(song), AddOutcome::Added);
        }
    }

    QString Output(int row) const {
        return page->Ui().mainList->ItemText(row, ColumnIndex(ListKind::BatchJoinerMain, ListColumn::Output));
    }
    std::vector<std::string> JoinedNames() const {
        std::vector<std::string> names;
        for (int row = 0; row < page->Ui().joinedList->RowCount(); ++row) {
            names.push_back(page->Ui().joinedList->Record(row)->path.filename().string());
        }
        return names;
    }

    MemorySettingsBackend backend;
    SettingsStore store;
    test::RecordedDesktop desktop;
    std::unique_ptr<CPageBatchJoiner> page;
    fixtures::TempDir dir;
};

// "Join Now!" needs rows in both lists; the row buttons follow their list's selection.
TEST_F(BatchJoinerPage, EnablingFollowsBothListsAndTheirSelections) {
    const auto buttons = [&] {
        return std::vector<bool>{page->Ui().join->isEnabled(), page->Ui().mainRemove->isEnabled(),
                                 page->Ui().tag->isEnabled(),  page->Ui().joinedRemove->isEnabled(),
                                 page->Ui().up->isEnabled(),   page->Ui().down->isEnabled()};
    };
    EXPECT_EQ(buttons(), (std::vector<bool>{false, false, false, false, false, false}));
    ASSERT_EQ(page->Ui().mainList->AddFile(WriteSong(dir / "main1.mp3", 1.0, 440.0)), AddOutcome::Added);
    EXPECT_EQ(buttons(), (std::vector<bool>{false, false, false, false, false, false}));
    page->JoinNow();  // nothing to join with: nothing happens
    EXPECT_EQ(Output(0), "");
    ASSERT_EQ(page->Ui().joinedList->AddFile(WriteSong(dir / "a.mp3", 1.0, 880.0)), AddOutcome::Added);
    EXPECT_EQ(buttons(), (std::vector<bool>{true, false, false, false, false, false}));
    page->Ui().mainList->topLevelItem(0)->setSelected(true);
    EXPECT_EQ(buttons(), (std::vector<bool>{true, true, true, false, false, false}));
    page->Ui().joinedList->topLevelItem(0)->setSelected(true);
    EXPECT_EQ(buttons(), (std::vector<bool>{true, true, true, true, true, true}));
    page->Ui().joinedRemove->click();
    EXPECT_EQ(buttons(), (std::vector<bool>{false, true, true, false, false, false}));
    page->Ui().mainList->DeleteAllRows();
    EXPECT_EQ(buttons(), (std::vector<bool>{false, false, false, false, false, false}));
}

// Up and Down move the selected rows as a block and do nothing at the list's ends; each case
// starts from the order the one before left.
TEST_F(BatchJoinerPage, UpAndDownMoveTheSelectedJoinedRows) {
    AddFiles(dir.Path(), 0, 4);
    ASSERT_EQ(JoinedNames(), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    const auto select = [&](std::initializer_list<int> rows) {
        page->Ui().joinedList->clearSelection();
        for (int row : rows) page->Ui().joinedList->topLevelItem(row)->setSelected(true);
    };
    struct Case {
        std::initializer_list<int> selected;
        bool up;
        std::vector<std::string> expected;
        std::vector<int> selectedAfter;
    };
    const Case cases[] = {
        {{0}, true, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}, {0}},
        {{3}, false, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}, {3}},
        {{1, 2}, true, {"b.mp3", "c.mp3", "a.mp3", "d.mp3"}, {0, 1}},
        {{0, 2}, false, {"c.mp3", "b.mp3", "d.mp3", "a.mp3"}, {1, 3}},
        {{1, 3}, true, {"b.mp3", "c.mp3", "a.mp3", "d.mp3"}, {0, 2}},
    };
    for (const Case& c : cases) {
        select(c.selected);
        (c.up ? page->Ui().up : page->Ui().down)->click();
        EXPECT_EQ(JoinedNames(), c.expected);
        std::vector<int> selected = page->Ui().joinedList->SelectedRows();
        EXPECT_EQ(selected, c.selectedAfter);
    }
}

// The dialog opens with the row's columns and writes them back; a track of 0 leaves the
// column empty; the genre list is the sorted genre names.
TEST_F(BatchJoinerPage, TagDialogReadsAndWritesTheRowColumns) {
    AddFiles(dir.Path(), 1, 0);
    TagInfo tag;
    tag.track = 7;
    tag.title = "Episode";
    tag.genre = "Podcast";
    tag.comment = "two\nlines";
    page->SetRowTag(0, tag);
    EXPECT_EQ(page->Ui().mainList->ItemText(0, ColumnIndex(ListKind::BatchJoinerMain, ListColumn::Track)), "7");
    EXPECT_EQ(page->RowTag(0), tag);

    BatchJoinerTagDialog dialog(page->RowTag(0));
    EXPECT_EQ(dialog.TrackEdit()->value(), 7);
    EXPECT_EQ(dialog.TrackEdit()->maximum(), 9999);
    EXPECT_EQ(dialog.GenreList()->currentText(), "Podcast");
    ASSERT_EQ(dialog.GenreList()->count(), kGenreCount);
    for (int i = 1; i < dialog.GenreList()->count(); ++i) {
        EXPECT_LE(dialog.GenreList()->itemText(i - 1).compare(dialog.GenreList()->itemText(i), Qt::CaseInsensitive), 0);
    }
    dialog.TrackEdit()->setValue(0);
    dialog.TitleEdit()->setText("Other");
    page->SetRowTag(0, dialog.Tag());
    EXPECT_EQ(page->Ui().mainList->ItemText(0, ColumnIndex(ListKind::BatchJoinerMain, ListColumn::Track)), "");
    EXPECT_EQ(page->RowTag(0).title, "Other");
    EXPECT_EQ(page->RowTag(0).comment, "two\nlines");
}

// A row's track number above 9999 is kept through the dialog unless the track is changed.
TEST_F(BatchJoinerPage, TagDialogKeepsATrackItCannotShow) {
    for (const auto& [typed, kept] : {std::pair{-1, 12345}, std::pair{42, 42}}) {
        TagInfo tag;
        tag.track = 12345;
        BatchJoinerTagDialog dialog(tag);
        dialog.TitleEdit()->setText("Edited");
        if (typed >= 0) dialog.TrackEdit()->setValue(typed);
        EXPECT_EQ(dialog.Tag().track, kept) << typed;
    }
}

// Both join types write what the command line writes for the same files: the joined files
// before (Insert at beginning) or after (Append to end) each main file, in list order.
TEST_F(BatchJoinerPage, JoinTypesWriteWhatTheCommandLineWrites) {
    struct Case {
        const char* name;
        bool append;
        const char* flag;
    };
    for (const Case& c : {Case{"insert at beginning", false, "--prepend"}, Case{"append to end", true, "--append"}}) {
        SCOPED_TRACE(c.name);
        page = std::make_unique<CPageBatchJoiner>(store);
        page->SetDesktop(desktop);
        desktop.shownInFileManager.clear();
        const fs::path pageDir = dir / (std::string(c.flag + 2) + "-page");
        const fs::path cliDir = dir / (std::string(c.flag + 2) + "-cli");
        fs::create_directories(pageDir);
        fs::create_directories(cliDir);
        AddFiles(pageDir, 2, 2);
        for (const char* name : {"main1.mp3", "main2.mp3", "a.mp3", "b.mp3"})
            fs::copy_file(pageDir / name, cliDir / name);
        (c.append ? page->Ui().append : page->Ui().insert)->click();
        EXPECT_EQ(store.batchJoiner.JoinType, c.append ? JoinTypeCode::Append : JoinTypeCode::Prepend);
        page->JoinNow();

        const fixtures::RunResult cli = fixtures::RunProgram(
            fixtures::CliPath(),
            {"join", "--batch", c.flag, "--with", (cliDir / "a.mp3").string(), (cliDir / "b.mp3").string(), "--",
             (cliDir / "main1.mp3").string(), (cliDir / "main2.mp3").string()});
        ASSERT_EQ(cli.exitCode, 0) << cli.out << cli.err;
        for (int row = 0; row < 2; ++row) {
            const std::string main = "main" + std::to_string(row + 1);
            const std::string output = main + "_joined.mp3";
            EXPECT_EQ(Output(row).toStdString(), output);
            EXPECT_EQ(page->Ui().mainList->Record(row)->outputPath, pageDir / output);
            const fixtures::Bytes written = fixtures::ReadFileBytes(pageDir / output);
            EXPECT_TRUE(written == fixtures::ReadFileBytes(cliDir / output));
            const fixtures::Bytes a = fixtures::ReadFileBytes(pageDir / "a.mp3");
            const fixtures::Bytes b = fixtures::ReadFileBytes(pageDir / "b.mp3");
            const fixtures::Bytes m = fixtures::ReadFileBytes(pageDir / (main + ".mp3"));
            // After the Xing/Info frame that heads the joined stream.
            const auto headerFrame = fixtures::WalkFrames(written, 0).front();
            EXPECT_TRUE(
                fixtures::Bytes(written.begin() + static_cast<std::ptrdiff_t>(headerFrame.bytes), written.end()) ==
                (c.append ? fixtures::Concat({m, a, b}) : fixtures::Concat({a, b, m})));
        }
        ASSERT_EQ(desktop.shownInFileManager.size(), 1u);
        EXPECT_EQ(desktop.shownInFileManager.front().toStdString(), (pageDir / "main1_joined.mp3").string());
    }
}

// A row with a tag gives an output carrying it.
TEST_F(BatchJoinerPage, RowTagBecomesTheOutputsTag) {
    AddFiles(dir.Path(), 1, 1);
    TagInfo tag;
    tag.track = 3;
    tag.title = "With intro";
    tag.artist = "Host";
    page->SetRowTag(0, tag);
    page->JoinNow();
    TagInfo written;
    ASSERT_TRUE(ReadTags(dir / "main1_joined.mp3", &written));
    EXPECT_EQ(written, tag);
}

// Cancel while row 2 of 3 is joined: row 1 keeps its output, row 2 leaves none, row 3 keeps
// its text, and the file manager is not opened.
TEST_F(BatchJoinerPage, CancelDuringTheSecondRow) {
    AddFiles(dir.Path(), 3, 1);
    page->Ui().mainList->SetItemText(2, ColumnIndex(ListKind::BatchJoinerMain, ListColumn::Output), "earlier");
    ProgressWindow* running = nullptr;
    page->SetRunObserver([&](ProgressWindow* dialog) { running = dialog; });
    QObject::connect(page->Ui().mainList->model(), &QAbstractItemModel::dataChanged, page.get(), [&] {
        if (running != nullptr && Output(1) == "Joining...") running->CancelButton()->click();
    });
    page->JoinNow();

    EXPECT_EQ(Output(0), "main1_joined.mp3");
    EXPECT_EQ(Output(1), "Cancelled");
    EXPECT_EQ(Output(2), "earlier");
    EXPECT_TRUE(fs::exists(dir / "main1_joined.mp3"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.mp3", "main1.mp3", "main1_joined.mp3", "main2.mp3", "main3.mp3"}));
    EXPECT_TRUE(page->Ui().mainList->Record(1)->outputPath.empty());
    EXPECT_TRUE(desktop.shownInFileManager.empty());
    EXPECT_TRUE(page->Ui().join->isEnabled());
}

// Each list's menu holds its own commands; the joined list offers no "Add Folder", whose files
// would go to the main list.
TEST_F(BatchJoinerPage, EachListHasItsOwnMenu) {
    AddFiles(dir.Path(), 1, 1);
    page->resize(900, 700);
    page->show();
    const auto menuOf = [](FileListCtrl* list) {
        QStringList entries;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (const QAction* action : menu->actions()) {
                entries << (action->isSeparator() ? "-" : action->text() + (action->isEnabled() ? "" : " (off)"));
            }
            menu->close();
        });
        QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(1, 1), list->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(list->viewport(), &fromKeyboard);
        return entries;
    };
    page->Ui().mainList->topLevelItem(0)->setSelected(true);
    EXPECT_EQ(menuOf(page->Ui().mainList),
              QStringList({"&Play", "&Browse", "Set &ID3 tag", "-", "Play &Outputted MP3 (off)",
                           "Browse Outputted &MP3 (off)", "-", "&Remove", "Remo&ve All", "-", "&Add Files...",
                           "Add &Folder..."}));
    EXPECT_EQ(menuOf(page->Ui().joinedList),
              QStringList({"&Play (off)", "&Browse (off)", "-", "&Remove (off)", "Remo&ve All", "&Up (off)",
                           "&Down (off)", "-", "&Add Files..."}));
}

}  // namespace
}  // namespace qm
