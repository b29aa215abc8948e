// The file list's gathering: duplicates per list kind, the one failure message, Cancel during
// loading, dropped folders, "Add Folder" remembering its folder, and the row texts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "fixtures/Fixtures.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "stream/Mp3FrameReader.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageBatchJoiner.h"
#include "ui/pages/CPageBatchSplitter.h"
#include "ui/pages/CPageJoiner.h"
#include "ui/widgets/FileListCtrl.h"
#include "ui/widgets/Formats.h"
#include "ui/widgets/ProgressDialog.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::App;
using test::RecordedDesktop;

// Two seconds of 44.1 kHz, 128 kbit/s joint stereo.
fs::path WriteMp3(const fs::path& path, const fixtures::Bytes& tag = {}) {
    static const fixtures::Bytes frames = fixtures::EncodeMp3(fixtures::EncodeSpec{});
    fixtures::WriteFileBytes(path, fixtures::Concat({tag, frames}));
    return path;
}

QString FileColumn(const SortListCtrl& list, int row) {
    return list.ItemText(row, ColumnIndex(ListKind::Joiner, ListColumn::File));
}

ProgressDialog* VisibleProgressDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<ProgressDialog*>(widget); dialog != nullptr && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

struct DuplicateCase {
    ListKind kind;
    int rowsAfterTwoAdds;
};

class DuplicatesTest : public ::testing::TestWithParam<DuplicateCase> {};

// The batch splitter and the batch joiner's main list take a file once, also when it is named
// through a symbolic link; the joiner and the joined list take it again. Two files whose
// names differ only in case are two files.
TEST_P(DuplicatesTest, SameFileTwice) {
    App();
    RecordedDesktop desktop;
    fixtures::TempDir dir;
    const fs::path song = WriteMp3(dir / "song.mp3");
    fs::create_symlink(song, dir / "link.mp3");
    FileListCtrl list(GetParam().kind);
    list.SetDesktop(desktop);

    EXPECT_EQ(list.AddFile(song), AddOutcome::Added);
    const AddOutcome again = list.AddFile(dir / "link.mp3");
    EXPECT_EQ(again, GetParam().rowsAfterTwoAdds == 1 ? AddOutcome::Duplicate : AddOutcome::Added);
    EXPECT_EQ(list.RowCount(), GetParam().rowsAfterTwoAdds);

    EXPECT_EQ(list.AddFile(WriteMp3(dir / "SONG.mp3")), AddOutcome::Added);
    EXPECT_EQ(list.RowCount(), GetParam().rowsAfterTwoAdds + 1);
    // A removed file can be added again.
    list.DeleteRow(0);
    EXPECT_EQ(list.AddFile(song), AddOutcome::Added);
    EXPECT_TRUE(desktop.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(EachList, DuplicatesTest,
                         ::testing::Values(DuplicateCase{ListKind::BatchSplitter, 1},
                                           DuplicateCase{ListKind::Joiner, 2},
                                           DuplicateCase{ListKind::BatchJoinerMain, 1},
                                           DuplicateCase{ListKind::BatchJoinerJoined, 2}));

// 35 unreadable files and one good one: the good one is listed, and one message names the
// first 30 bad paths, then "<more files>...".
TEST(FileListCtrlTest, FailureMessageListsThirtyPathsThenMore) {
    App();
    RecordedDesktop desktop;
    fixtures::TempDir dir;
    PathList paths;
    QString listed;
    for (int i = 0; i < 35; ++i) {
        const fs::path bad = dir / ("bad" + std::to_string(i) + (i == 3 ? ".wav" : ".mp3"));
        fixtures::WriteFileBytes(bad, fixtures::Junk(5000, static_cast<std::uint32_t>(i + 1)));
        paths.push_back(bad);
        if (i < 30) listed += QString::fromStdString(bad.string()) + "\n";
        if (i == 10) paths.push_back(WriteMp3(dir / "good.mp3"));
    }
    FileListCtrl list(ListKind::Joiner);
    list.SetDesktop(desktop);
    list.LoadFileList(paths);

    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(FileColumn(list, 0), "good.mp3");
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text,
              "Failed to load the following files.\n\n" + listed +
                  "<more files>...\n\nTo get help, please contact us at <support@quillmere.org>.");
    EXPECT_EQ(desktop.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(VisibleProgressDialog(), nullptr);
}

// Cancel pressed while the second file is added: the two files added so far stay, the rest
// are not touched, a failure before the cancel is still reported, and the main window, disabled
// while loading, is enabled again.
TEST(FileListCtrlTest, CancelDuringLoadingKeepsWhatWasLoaded) {
    App();
    RecordedDesktop desktop;
    fixtures::TempDir dir;
    fixtures::WriteFileBytes(dir / "bad.mp3", fixtures::Junk(3000));
    PathList paths = {dir / "bad.mp3"};
    for (int i = 0; i < 5; ++i) paths.push_back(WriteMp3(dir / ("s" + std::to_string(i) + ".mp3")));
    QStringList textsSeen;
    bool enabledWhileLoading = true;
    QWidget mainWindow;
    auto* list = new FileListCtrl(ListKind::Joiner, &mainWindow);
    list->SetDesktop(desktop);
    mainWindow.show();
    const auto watch = QObject::connect(list, &FileListCtrl::RowCountChanged, [&](int rows) {
        ProgressDialog* progress = VisibleProgressDialog();
        ASSERT_NE(progress, nullptr);
        textsSeen << progress->Text();
        enabledWhileLoading = enabledWhileLoading && mainWindow.isEnabled();
        if (rows == 2) progress->CancelButton()->click();
    });
    list->LoadFileList(paths);
    QObject::disconnect(watch);

    EXPECT_EQ(list->RowCount(), 2);
    EXPECT_EQ(textsSeen, QStringList({"[2/6] Adding file s0.mp3...", "[3/6] Adding file s1.mp3..."}));
    EXPECT_FALSE(enabledWhileLoading);
    EXPECT_TRUE(mainWindow.isEnabled());
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_TRUE(desktop.shown[0].text.contains(QString::fromStdString((dir / "bad.mp3").string()) + "\n\nTo get help"));
}

// A click on Cancel reaches the loading through the event pump: pressed before the first file
// is done, it stops the loading after that file.
TEST(FileListCtrlTest, CancelClickIsSeenBetweenFiles) {
    App();
    fixtures::TempDir dir;
    PathList paths;
    for (int i = 0; i < 4; ++i) paths.push_back(WriteMp3(dir / ("s" + std::to_string(i) + ".mp3")));
    FileListCtrl list(ListKind::BatchJoinerMain);
    QTimer::singleShot(0, [] {
        if (ProgressDialog* progress = VisibleProgressDialog()) progress->CancelButton()->click();
    });
    list.LoadFileList(paths);
    EXPECT_EQ(list.RowCount(), 1);
}

// A file manager offers the paths as text too.
void DropUrls(QWidget* target, const QList<QUrl>& urls, const QString& text = {}) {
    QMimeData mime;
    mime.setUrls(urls);
    if (!text.isEmpty()) mime.setText(text);
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    ASSERT_TRUE(drop.isAccepted());
}

// Waits until list holds rows rows (the drop is handled once its event has returned).
bool WaitForRows(const SortListCtrl& list, int rows) {
    QElapsedTimer clock;
    clock.start();
    while (list.RowCount() < rows && clock.elapsed() < 5000) QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return list.RowCount() == rows;
}

// A folder dropped from a file manager is searched: its MP3 file, then its subfolder's;
// other files are ignored without a message. Dropped on the batch joiner's joined list, the
// files go to the main list.
TEST(FileListCtrlTest, DroppedFolderIsSearched) {
    App();
    RecordedDesktop desktop;
    fixtures::TempDir dir;
    fs::create_directories(dir / "music/sub");
    WriteMp3(dir / "music/A.mp3");
    WriteMp3(dir / "music/sub/B.mp3");
    fixtures::WriteFileBytes(dir / "music/notes.txt", {1, 2, 3});

    FileListCtrl list(ListKind::BatchSplitter);
    list.SetDesktop(desktop);
    DropUrls(list.viewport(), {QUrl::fromLocalFile(QString::fromStdString((dir / "music").string()))});
    ASSERT_TRUE(WaitForRows(list, 2));
    EXPECT_EQ(FileColumn(list, 0), "A.mp3");
    EXPECT_EQ(FileColumn(list, 1), "B.mp3");

    FileListCtrl main(ListKind::BatchJoinerMain);
    FileListCtrl joined(ListKind::BatchJoinerJoined);
    main.SetDesktop(desktop);
    joined.SetDesktop(desktop);
    joined.SetGatheringTarget(&main);
    DropUrls(joined.viewport(), {QUrl::fromLocalFile(QString::fromStdString((dir / "music/sub/B.mp3").string())),
                                 QUrl(QStringLiteral("https://example.org/C.mp3"))});
    ASSERT_TRUE(WaitForRows(main, 1));
    EXPECT_EQ(joined.RowCount(), 0);
    EXPECT_TRUE(desktop.shown.empty());
}

// "Add Folder" starts at the remembered folder without its trailing separator, stores the
// chosen one with a separator at once, and loads the folder's files.
TEST(FileListCtrlTest, AddFolderRemembersTheFolderAtOnce) {
    App();
    fixtures::TempDir dir;
    fs::create_directories(dir / "music");
    WriteMp3(dir / "music/A.mp3");
    MemorySettingsBackend backend;
    SettingsStore store(backend, "/home/user/Documents");
    store.joinerPage.Folder = "/old/place/";
    RecordedDesktop desktop;
    desktop.folderToChoose.push_back(QString::fromStdString((dir / "music").string()));

    FileListCtrl list(ListKind::Joiner);
    list.SetDesktop(desktop);
    list.SetFolderSettings(&store, SettingsPage::Joiner);
    list.AddFolder();

    ASSERT_EQ(desktop.dialogsShown.size(), 1u);
    EXPECT_EQ(desktop.dialogsShown[0].title, "Please choose a folder:");
    EXPECT_EQ(desktop.dialogsShown[0].startFolder, "/old/place");
    const std::string stored = (dir / "music").string() + "/";
    EXPECT_EQ(store.joinerPage.Folder, stored);
    EXPECT_EQ(backend.Get(kJoinKey, "Folder"), MemorySettingsBackend::Value(stored));
    EXPECT_EQ(list.RowCount(), 1);

    // A cancelled browser changes nothing.
    backend.ClearWrites();
    list.AddFolder();
    EXPECT_TRUE(backend.Writes().empty());
    EXPECT_EQ(list.RowCount(), 1);
}

// Cancel pressed while the folder is searched ends the search and adds nothing; the window is
// gone and the main window enabled again.
TEST(FileListCtrlTest, CancelDuringTheSearchAddsNothing) {
    App();
    fixtures::TempDir dir;
    fs::create_directories(dir / "music/sub");
    WriteMp3(dir / "music/A.mp3");
    WriteMp3(dir / "music/sub/B.mp3");
    RecordedDesktop desktop;
    desktop.folderToChoose.push_back(QString::fromStdString((dir / "music").string()));
    QWidget mainWindow;
    auto* list = new FileListCtrl(ListKind::BatchSplitter, &mainWindow);
    list->SetDesktop(desktop);
    mainWindow.show();
    QString textShown;
    QTimer::singleShot(0, [&] {
        ProgressDialog* progress = VisibleProgressDialog();
        ASSERT_NE(progress, nullptr);
        textShown = progress->Text();
        progress->CancelButton()->click();
    });
    list->AddFolder();
    EXPECT_EQ(textShown, "Searching MP3 files...");
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_EQ(VisibleProgressDialog(), nullptr);
    EXPECT_TRUE(mainWindow.isEnabled());
}

// Files chosen in the open-file dialog are added in the dialog's order; the dialog offers MP3
// files and opens where it was last used.
TEST(FileListCtrlTest, AddFilesLoadsTheChosenFilesInOrder) {
    App();
    RecordedDesktop desktop;
    fixtures::TempDir dir;
    desktop.filesToOpen.push_back({QString::fromStdString(WriteMp3(dir / "z.mp3").string()),
                                   QString::fromStdString(WriteMp3(dir / "a.mp3").string())});
    FileListCtrl list(ListKind::Joiner);
    list.SetDesktop(desktop);
    int lastCount = 0;
    QObject::connect(&list, &FileListCtrl::RowCountChanged, [&](int rows) { lastCount = rows; });
    list.AddFiles();
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(FileColumn(list, 0), "z.mp3");
    EXPECT_EQ(FileColumn(list, 1), "a.mp3");
    EXPECT_EQ(lastCount, 2);
    list.DeleteAllRows();
    EXPECT_EQ(lastCount, 0);
    EXPECT_TRUE(desktop.shown.empty());
    ASSERT_EQ(desktop.dialogsShown.size(), 1u);
    EXPECT_EQ(desktop.dialogsShown[0].title, "Open");
    EXPECT_EQ(desktop.dialogsShown[0].filter, "MP3 Files (*.mp3);;All Files (*.*)");
    EXPECT_EQ(desktop.dialogsShown[0].startFolder, QString());
}

// A new row shows the file's size, length, tag fields and stream format in the list's columns.
TEST(FileListCtrlTest, RowTextsOfATaggedFile) {
    App();
    fixtures::TempDir dir;
    fixtures::Id3v2Spec tag;
    tag.title = "Night";
    tag.artist = "Owl";
    tag.album = "Woods";
    tag.year = "1999";
    tag.genre = "Folk";
    tag.comment = "quiet";
    tag.track = "7/12";
    const fs::path path = WriteMp3(dir / "night.mp3", fixtures::MakeId3v2Tag(tag));
    const QString size = QString::fromStdString(FormatSize(static_cast<std::int64_t>(fs::file_size(path))));

    struct Case {
        ListKind kind;
        QStringList texts;
    };
    const Case cases[] = {
        {ListKind::Joiner,
         {"night.mp3", size, "0:02", "7", "Night", "Owl", "Woods", "1999", "Folk", "quiet", "128 kbps", "44100 Hz",
          "J-Stereo"}},
        {ListKind::BatchSplitter,
         {"night.mp3", size, "0:02", "", "7", "Night", "Owl", "Woods", "1999", "Folk", "128 kbps", "44100 Hz",
          "J-Stereo"}},
    };
    for (const Case& c : cases) {
        FileListCtrl list(c.kind);
        ASSERT_EQ(list.AddFile(path), AddOutcome::Added);
        QStringList texts;
        for (int column = 0; column < list.columnCount(); ++column) texts << list.ItemText(0, column);
        EXPECT_EQ(texts, c.texts) << static_cast<int>(c.kind);
        EXPECT_EQ(list.Record(0)->path, path);
    }
}

// A WAV file under an .mp3 name is refused by the batch splitter too, whose decoder reads it.
TEST(FileListCtrlTest, FileWithoutMpegAudioIsRefused) {
    App();
    fixtures::TempDir dir;
    fixtures::WriteFileBytes(dir / "speech.mp3", fixtures::MakeWav(1.0));
    FileListCtrl list(ListKind::BatchSplitter);
    EXPECT_EQ(list.AddFile(dir / "speech.mp3"), AddOutcome::Failed);
}

// A variable bit rate shows as the file's average marked VBR, on the batch splitter too, which
// shows a constant rate as its first frame's; LAME's Info frame on a constant rate is no mark.
TEST(FileListCtrlTest, VariableBitRateShowsTheAverageMarkedVbr) {
    App();
    fixtures::TempDir dir;
    const fs::path path = dir / "song.mp3";
    for (const bool vbr : {false, true}) {
        fixtures::EncodeSpec spec = fixtures::StreamSpec(6.0, fixtures::Signal::Sweep);
        spec.vbr = vbr;
        spec.xing = fixtures::XingFrame::Yes;
        fixtures::WriteFileBytes(path, fixtures::EncodeMp3(spec));
        Mp3FrameReader reader;
        ASSERT_TRUE(reader.Open(path));
        FileListCtrl list(ListKind::BatchSplitter);
        ASSERT_EQ(list.AddFile(path), AddOutcome::Added);
        EXPECT_EQ(list.ItemText(0, ColumnIndex(ListKind::BatchSplitter, ListColumn::BitRate)).toStdString(),
                  vbr ? std::to_string(reader.BitRateKbps()) + " kbps VBR" : "128 kbps");
    }
}

// Files dropped on a page's button (the drop goes to the page) or field go to the page's list.
TEST(FileListCtrlTest, FilesDroppedAnywhereOnAPageGoToItsList) {
    App();
    fixtures::TempDir dir;
    MemorySettingsBackend backend;
    SettingsStore store(backend, "");
    RecordedDesktop desktop;
    CPageBatchSplitter splitter(store);
    CPageJoiner joiner(store);
    CPageBatchJoiner batchJoiner(store);
    for (ListPage* page : std::initializer_list<ListPage*>{&splitter, &joiner, &batchJoiner}) page->SetDesktop(desktop);
    const std::pair<QWidget*, FileListCtrl*> cases[] = {{&splitter, splitter.Ui().list},
                                                        {&joiner, joiner.Ui().list},
                                                        {joiner.Ui().title, joiner.Ui().list},
                                                        {&batchJoiner, batchJoiner.Ui().mainList}};
    const QString song = QString::fromStdString(WriteMp3(dir / "song.mp3").string());
    for (const auto& [target, list] : cases) {
        const int rows = list->RowCount();
        DropUrls(target, {QUrl::fromLocalFile(song)}, song);
        EXPECT_TRUE(WaitForRows(*list, rows + 1)) << target->metaObject()->className();
    }
}

// The list's menu holds the page's entries, then "&Add Files..." and "Add &Folder..."; from the
// keyboard it opens at the list's centre.
TEST(FileListCtrlTest, ContextMenuEndsWithTheTwoGatheringEntries) {
    App();
    FileListCtrl list(ListKind::Joiner);
    list.resize(600, 400);
    list.show();
    list.SetMenuEntries([](QMenu* menu) { menu->addAction(QStringLiteral("&Play")); });
    QStringList entries;
    QPoint shownAt;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* action : menu->actions()) entries << (action->isSeparator() ? "-" : action->text());
        shownAt = menu->pos();
        menu->close();
    });
    QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(1, 1), list.mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(list.viewport(), &fromKeyboard);
    EXPECT_EQ(entries, QStringList({"&Play", "-", "&Add Files...", "Add &Folder..."}));
    EXPECT_EQ(shownAt, list.viewport()->mapToGlobal(list.viewport()->rect().center()));
}

}  // namespace
}  // namespace qm
