// The joiner page: enabling, ordering, the tag fields and joins run from the page, checked
// against the command line's join of the same files.

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <tuple>

#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "join/RunJoin.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "stream/Tags.h"
#include "stream/XingFrame.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageJoiner.h"
#include "ui/widgets/ProgressDialog.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::App;

fs::path WriteMp3(const fs::path& path, const fixtures::EncodeSpec& spec = {}, const fixtures::Bytes& tag = {}) {
    fixtures::WriteFileBytes(path, fixtures::Concat({tag, fixtures::EncodeMp3(spec)}));
    return path;
}

ProgressDialog* VisibleProgressDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<ProgressDialog*>(widget); dialog != nullptr && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

struct JoinerPageTest : ::testing::Test {
    JoinerPageTest() { page.SetDesktop(desktop); }

    void AddFiles(const std::vector<std::string>& names, const fixtures::EncodeSpec& spec = {}) {
        for (const std::string& name : names)
            ASSERT_EQ(page.Ui().list->AddFile(WriteMp3(dir / name, spec)), AddOutcome::Added);
    }
    QStringList Order() const {
        QStringList names;
        for (int row = 0; row < page.Ui().list->RowCount(); ++row) {
            names << page.Ui().list->ItemText(row, 0);
            // The row's record moves with its texts.
            EXPECT_EQ(QString::fromStdString(page.Ui().list->Record(row)->path.filename().string()), names.back());
        }
        return names;
    }
    void Select(const std::vector<int>& rows) {
        page.Ui().list->clearSelection();
        for (int row : rows) page.Ui().list->topLevelItem(row)->setSelected(true);
    }
    std::vector<int> Selected() const {
        std::vector<int> rows;
        for (int row = 0; row < page.Ui().list->RowCount(); ++row) {
            if (page.Ui().list->topLevelItem(row)->isSelected()) rows.push_back(row);
        }
        return rows;
    }
    // Which of Remove, Up, Down, Copy, Remove All and Join are enabled, as letters.
    std::string Enabled() const {
        std::string letters;
        const std::pair<QPushButton*, char> buttons[] = {{page.Ui().remove, 'r'},    {page.Ui().up, 'u'},
                                                         {page.Ui().down, 'd'},      {page.Ui().copyTag, 'c'},
                                                         {page.Ui().removeAll, 'a'}, {page.Ui().join, 'j'}};
        for (const auto& [button, letter] : buttons) letters += button->isEnabled() ? letter : '-';
        return letters;
    }
    std::vector<std::string> FilesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.Path())) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    QApplication& app = App();  // before the page
    fixtures::TempDir dir;
    MemorySettingsBackend backend;
    SettingsStore store{backend, ""};
    test::RecordedDesktop desktop;
    CPageJoiner page{store};
};

TEST_F(JoinerPageTest, EnablingFollowsTheRowsAndTheSelection) {
    EXPECT_EQ(Enabled(), "------");
    AddFiles({"a.mp3", "b.mp3", "c.mp3"});
    EXPECT_EQ(Enabled(), "----aj");
    Select({1});
    EXPECT_EQ(Enabled(), "rudcaj");
    page.Ui().remove->click();
    EXPECT_EQ(Order(), QStringList({"a.mp3", "c.mp3"}));
    EXPECT_EQ(Enabled(), "----aj");
    Select({0, 1});
    page.Ui().remove->click();
    EXPECT_EQ(page.Ui().list->RowCount(), 0);
    EXPECT_EQ(Enabled(), "------");
    AddFiles({"d.mp3"});
    Select({0});
    page.Ui().removeAll->click();
    EXPECT_EQ(Enabled(), "------");
}

// Up and Down move the selection as a block, and not at all when it touches the end it moves
// towards.
TEST_F(JoinerPageTest, UpAndDownMoveTheSelectedRows) {
    struct Case {
        bool up;
        std::vector<int> selected;
        QStringList order;
        std::vector<int> selectedAfter;
    };
    const Case cases[] = {
        {true, {0}, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}, {0}},
        {true, {0, 2}, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}, {0, 2}},
        {true, {1, 3}, {"b.mp3", "a.mp3", "d.mp3", "c.mp3"}, {0, 2}},
        {true, {2, 3}, {"a.mp3", "c.mp3", "d.mp3", "b.mp3"}, {1, 2}},
        {false, {3}, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}, {3}},
        {false, {1, 3}, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}, {1, 3}},
        {false, {0, 1}, {"c.mp3", "a.mp3", "b.mp3", "d.mp3"}, {1, 2}},
        {false, {0, 2}, {"b.mp3", "a.mp3", "d.mp3", "c.mp3"}, {1, 3}},
    };
    std::vector<fs::path> files;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}) files.push_back(WriteMp3(dir / name));
    for (const Case& c : cases) {
        page.Ui().list->DeleteAllRows();
        for (const fs::path& file : files) ASSERT_EQ(page.Ui().list->AddFile(file), AddOutcome::Added);
        Select(c.selected);
        (c.up ? page.Ui().up : page.Ui().down)->click();
        EXPECT_EQ(Order(), c.order) << (c.up ? "up " : "down ") << c.selected.front();
        EXPECT_EQ(Selected(), c.selectedAfter) << (c.up ? "up " : "down ") << c.selected.front();
    }
}

// Dragged rows land together before the row they are dropped on, in their own order; a drag
// by one place gives what Up or Down gives.
TEST_F(JoinerPageTest, DraggedRowsMoveToTheDropPlace) {
    struct Case {
        std::vector<int> selected;
        int dropBefore;
        QStringList order;
        std::vector<int> selectedAfter;
    };
    const Case cases[] = {
        {{3}, 0, {"d.mp3", "a.mp3", "b.mp3", "c.mp3"}, {0}},
        {{0}, 4, {"b.mp3", "c.mp3", "d.mp3", "a.mp3"}, {3}},
        {{0, 2}, 4, {"b.mp3", "d.mp3", "a.mp3", "c.mp3"}, {2, 3}},
        {{1, 3}, 0, {"b.mp3", "d.mp3", "a.mp3", "c.mp3"}, {0, 1}},
        {{1, 2}, 2, {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}, {1, 2}},
        {{1, 2}, 0, {"b.mp3", "c.mp3", "a.mp3", "d.mp3"}, {0, 1}},  // as Up
        {{1, 2}, 4, {"a.mp3", "d.mp3", "b.mp3", "c.mp3"}, {2, 3}},  // as Down
    };
    std::vector<fs::path> files;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}) files.push_back(WriteMp3(dir / name));
    for (const Case& c : cases) {
        page.Ui().list->DeleteAllRows();
        for (const fs::path& file : files) ASSERT_EQ(page.Ui().list->AddFile(file), AddOutcome::Added);
        Select(c.selected);
        page.Ui().list->MoveSelectedTo(c.dropBefore);
        EXPECT_EQ(Order(), c.order) << c.dropBefore;
        EXPECT_EQ(Selected(), c.selectedAfter) << c.dropBefore;
    }
}

// The list's menu: the page's entries first, each enabled as the selection allows.
TEST_F(JoinerPageTest, MenuEntriesFollowTheSelection) {
    AddFiles({"a.mp3", "b.mp3"});
    page.Ui().list->resize(600, 300);
    page.Ui().list->show();
    const auto menuOf = [this] {
        QStringList entries;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (const QAction* action : menu->actions()) {
                if (!action->isSeparator()) entries << (action->isEnabled() ? "+" : "-") + action->text();
            }
            menu->close();
        });
        QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(1, 1),
                                       page.Ui().list->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(page.Ui().list->viewport(), &fromKeyboard);
        return entries;
    };
    struct Case {
        std::vector<int> selected;
        QStringList entries;
    };
    const Case cases[] = {
        {{},
         {"-&Play", "-&Browse", "-&Remove", "+Remo&ve All", "-&Up", "-&Down", "-Copy &ID3 tag", "+&Add Files...",
          "+Add &Folder..."}},
        {{1},
         {"+&Play", "+&Browse", "+&Remove", "+Remo&ve All", "+&Up", "+&Down", "+Copy &ID3 tag", "+&Add Files...",
          "+Add &Folder..."}},
        {{0, 1},
         {"-&Play", "-&Browse", "+&Remove", "+Remo&ve All", "+&Up", "+&Down", "-Copy &ID3 tag", "+&Add Files...",
          "+Add &Folder..."}},
    };
    for (const Case& c : cases) {
        Select(c.selected);
        EXPECT_EQ(menuOf(), c.entries) << c.selected.size();
    }
}

TEST_F(JoinerPageTest, CopyTagFillsTheFieldsFromTheFirstSelectedRow) {
    fixtures::Id3v2Spec tag;
    tag.title = "Night";
    tag.artist = "Owl";
    tag.album = "Woods";
    tag.year = "1999";
    tag.genre = "Folk";
    tag.comment = "quiet";
    tag.track = "7/12";
    AddFiles({"plain.mp3"});
    ASSERT_EQ(page.Ui().list->AddFile(WriteMp3(dir / "night.mp3", {}, fixtures::MakeId3v2Tag(tag))), AddOutcome::Added);
    Select({1, 0});
    page.Ui().title->setText("stale");
    page.CopyTagFromSelection();
    EXPECT_EQ(page.Ui().title->text(), "");  // row 0 has no tag
    Select({1});
    page.CopyTagFromSelection();
    const JoinerPageSettings fields = page.TagFields();
    EXPECT_EQ(fields.ID3Title, "Night");
    EXPECT_EQ(fields.ID3Artist, "Owl");
    EXPECT_EQ(fields.ID3Album, "Woods");
    EXPECT_EQ(fields.ID3Year, "1999");
    EXPECT_EQ(fields.ID3GenreEx, "Folk");
    EXPECT_EQ(fields.ID3Comment, "quiet");
    EXPECT_EQ(fields.ID3TrackNo, "7");
}

// The fields start from the store and go back to it with the page; the folder "Add Folder"
// keeps is left as it is.
TEST(JoinerPageFieldsTest, TagFieldsAreKeptBetweenRuns) {
    App();
    MemorySettingsBackend backend;
    SettingsStore store(backend, "");
    store.joinerPage.ID3Title = "Old title";
    store.joinerPage.ID3TrackNo = "12";
    store.joinerPage.ID3GenreEx = "Synthpop";
    store.joinerPage.Folder = "/music/";
    {
        CPageJoiner page(store);
        EXPECT_EQ(page.Ui().title->text(), "Old title");
        EXPECT_EQ(page.Ui().track->text(), "12");
        EXPECT_EQ(page.Ui().genre->currentText(), "Synthpop");
        page.Ui().artist->setText("Wren");
        page.Ui().genre->setEditText("My own genre");
        page.Ui().track->findChild<QLineEdit*>()->setText("300");
        // The settings are written at exit while the page still stands.
        EXPECT_EQ(store.joinerPage.ID3Artist, "Wren");
        EXPECT_EQ(store.joinerPage.ID3GenreEx, "My own genre");
        EXPECT_EQ(store.joinerPage.ID3TrackNo, "300");
    }
    EXPECT_EQ(store.joinerPage.ID3Title, "Old title");
    EXPECT_EQ(store.joinerPage.ID3Artist, "Wren");
    EXPECT_EQ(store.joinerPage.ID3GenreEx, "My own genre");
    EXPECT_EQ(store.joinerPage.Folder, "/music/");
}

// The track field takes four digits as typed, and its arrows step up to 9999.
TEST(JoinerPageFieldsTest, TrackFieldKeepsFourDigits) {
    App();
    MemorySettingsBackend backend;
    SettingsStore store(backend, "");
    CPageJoiner page(store);
    for (const auto& [typed, steps, shown] : {std::tuple{"1500", 0, "1500"}, std::tuple{"300", 1, "301"}}) {
        page.Ui().track->findChild<QLineEdit*>()->clear();
        QTest::keyClicks(page.Ui().track->findChild<QLineEdit*>(), QString::fromLatin1(typed));
        page.Ui().track->stepBy(steps);
        EXPECT_EQ(page.Ui().track->text(), shown) << typed;
    }
}

TEST_F(JoinerPageTest, OneRowJoinDoesNothing) {
    AddFiles({"only.mp3"});
    desktop.fileToSave.push_back(QString::fromStdString((dir / "out.mp3").string()));
    EXPECT_TRUE(page.Ui().join->isEnabled());
    page.Ui().join->click();
    EXPECT_TRUE(desktop.dialogsShown.empty());
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_FALSE(fs::exists(dir / "out.mp3"));
}

TEST_F(JoinerPageTest, CancelledSaveDialogJoinsNothing) {
    AddFiles({"a.mp3", "b.mp3"});
    page.JoinNow();
    ASSERT_EQ(desktop.dialogsShown.size(), 1u);
    EXPECT_EQ(desktop.dialogsShown[0].startFolder.toStdString(), dir.Path().string());
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(FilesInDir(), (std::vector<std::string>{"a.mp3", "b.mp3"}));
}

TEST_F(JoinerPageTest, CancelDuringTheJoinLeavesNoTargetAndNoMessage) {
    AddFiles({"a.mp3", "b.mp3", "c.mp3"});
    desktop.fileToSave.push_back(QString::fromStdString((dir / "out.mp3").string()));
    page.SetRunObserver([](ProgressWindow* running) { running->CancelButton()->click(); });
    page.JoinNow();
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_TRUE(desktop.shownInFileManager.empty());
    EXPECT_EQ(FilesInDir(), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(VisibleProgressDialog(), nullptr);
    EXPECT_TRUE(page.isEnabled());
}

// A source gone since it was listed fails the join with its name; the list and the fields
// stay for another try.
TEST_F(JoinerPageTest, FailedJoinShowsTheReason) {
    AddFiles({"a.mp3", "b.mp3"});
    page.Ui().title->setText("Kept");
    fs::remove(dir / "b.mp3");
    desktop.fileToSave.push_back(QString::fromStdString((dir / "out.mp3").string()));
    page.JoinNow();
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text,
              QString::fromStdString("Join failure. Failed to open file \"" + (dir / "b.mp3").string() + "\"."));
    EXPECT_EQ(desktop.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(FilesInDir(), (std::vector<std::string>{"a.mp3"}));
    EXPECT_EQ(page.Ui().list->RowCount(), 2);
    EXPECT_EQ(page.Ui().title->text(), "Kept");
}

// Three files joined from the page give the bytes the command line writes for the same files
// and tag: copied frames when the files match, one re-encoded stream when their rates differ.
// The track field's whole number goes into the tag.
TEST_F(JoinerPageTest, JoinGivesTheCommandLinesBytes) {
    struct Case {
        const char* name;
        std::vector<fixtures::EncodeSpec> specs;
        bool samplesOfTheSources;  // decodes to exactly the sources' samples, one after the other
        long rateHz;
        int channels;
        bool automatic = true;  // else 32000 Hz, 96 kbit/s, mono from the options
    };
    fixtures::EncodeSpec mono22{22050, 64, fixtures::Channels::Mono};
    const Case cases[] = {
        {"direct", {{}, {}, {}}, true, 44100, 2},
        {"reencoded", {{}, mono22, {}}, false, 44100, 2},
        {"options", {{}, {}, {}}, false, 32000, 1, false},
    };
    for (const Case& c : cases) {
        page.Ui().list->DeleteAllRows();
        store.joinerOptions.AutoMP3EncodingParam = c.automatic;
        store.joinerOptions.MP3SampleRate = 32000;
        store.joinerOptions.MP3BitRate = 96;
        store.joinerOptions.MP3ChannelMode = ChannelModeCode::Mono;
        std::vector<std::string> args{"join",    "-o",      (dir / (std::string(c.name) + "-cli.mp3")).string(),
                                      "--title", "Joined",  "--genre",
                                      "Folk",    "--track", "300"};
        if (!c.automatic) args.insert(args.end(), {"--rate", "32000", "--bitrate", "96", "--channels", "mono"});
        std::int64_t sourceSamples = 0;
        for (std::size_t i = 0; i < c.specs.size(); ++i) {
            const fs::path source = WriteMp3(dir / (std::string(c.name) + std::to_string(i) + ".mp3"), c.specs[i]);
            sourceSamples += fixtures::DecodeWithMpg123(source).samples;
            ASSERT_EQ(page.Ui().list->AddFile(source), AddOutcome::Added);
            args.push_back(source.string());
        }
        page.Ui().title->setText("Joined");
        page.Ui().genre->setEditText("Folk");
        page.Ui().track->findChild<QLineEdit*>()->setText("300");
        const fs::path target = dir / (std::string(c.name) + "-page.mp3");
        desktop.fileToSave.push_back(QString::fromStdString(target.string()));
        desktop.shownInFileManager.clear();
        page.JoinNow();
        EXPECT_TRUE(desktop.shown.empty()) << c.name;
        EXPECT_EQ(desktop.shownInFileManager, std::vector<QString>{QString::fromStdString(target.string())}) << c.name;

        const fixtures::RunResult cli = fixtures::RunProgram(fixtures::CliPath(), args);
        ASSERT_EQ(cli.exitCode, 0) << cli.err;
        EXPECT_EQ(cli.out.find("joined by copying") != std::string::npos, std::string(c.name) == "direct") << cli.out;
        EXPECT_EQ(fixtures::ReadFileBytes(target), fixtures::ReadFileBytes(args[2])) << c.name;

        const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(target);
        EXPECT_TRUE(decoded.ok) << c.name;
        EXPECT_EQ(decoded.rateHz, c.rateHz) << c.name;
        EXPECT_EQ(decoded.channels, c.channels) << c.name;
        if (c.samplesOfTheSources) {
            // A Xing frame heads the copied stream, and libmpg123 then leaves out its decoder
            // delay once, at the start.
            EXPECT_EQ(decoded.samples, sourceSamples - kDecoderDelaySamples) << c.name;
        }
        TagInfo tag;
        ASSERT_TRUE(ReadTags(target, &tag)) << c.name;
        EXPECT_EQ(tag.title, "Joined");
        EXPECT_EQ(tag.genre, "Folk");
        EXPECT_EQ(tag.track, 300);
    }
}

// With chapters and a cue sheet asked for, the page's join writes NAME.cue beside the
// joined file and a chapter per source in its tag, titled by the source's tag or else its
// file name: the same bytes as the join engine writes for the same options.
TEST_F(JoinerPageTest, JoinWritesChaptersAndTheCueSheetTheOptionsAskFor) {
    store.joinerOptions.WriteChapters = true;
    store.joinerOptions.WriteCueSheet = true;
    fixtures::Id3v2Spec tag;
    tag.title = "Night";
    tag.artist = "Owl";
    ASSERT_EQ(page.Ui().list->AddFile(WriteMp3(dir / "night.mp3", {}, fixtures::MakeId3v2Tag(tag))), AddOutcome::Added);
    AddFiles({"plain.mp3"});
    desktop.fileToSave.push_back(QString::fromStdString((dir / "out.mp3").string()));
    page.JoinNow();
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(FilesInDir(), (std::vector<std::string>{"night.mp3", "out.cue", "out.mp3", "plain.mp3"}));

    // What the chapters and the sheet hold is the engine's to test: the page's join gives the
    // engine's bytes for the same files, names and options.
    std::vector<Chapter> chapters;
    ASSERT_TRUE(ReadChapters(dir / "out.mp3", &chapters));
    EXPECT_EQ(chapters.size(), 2u);
    JoinList job;
    job.AddSource(dir / "night.mp3");
    job.AddSource(dir / "plain.mp3");
    const JoinerPageSettings fields = page.TagFields();
    job.SetTargetTag(fields.ID3Title, fields.ID3Artist, fields.ID3Album, fields.ID3Year, fields.ID3Comment,
                     fields.ID3GenreEx, 0);
    fs::create_directory(dir / "engine");
    const fs::path engine = dir / "engine" / "out.mp3";
    ASSERT_TRUE(RunJoin(job, engine, store.joinerOptions, ForceReencode::No, fixtures::Quiet()).IsDone());
    EXPECT_EQ(fixtures::ReadFileBytes(dir / "out.mp3"), fixtures::ReadFileBytes(engine));
    EXPECT_EQ(fixtures::ReadFileBytes(dir / "out.cue"), fixtures::ReadFileBytes(dir / "engine" / "out.cue"));
}

// Without BrowseFolder the joined file is not shown in the file manager.
TEST_F(JoinerPageTest, BrowseFolderOffShowsNothing) {
    store.joinerOptions.BrowseFolder = false;
    AddFiles({"a.mp3", "b.mp3"});
    desktop.fileToSave.push_back(QString::fromStdString((dir / "out.mp3").string()));
    page.JoinNow();
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_TRUE(fs::exists(dir / "out.mp3"));
    EXPECT_TRUE(desktop.shownInFileManager.empty());
}

}  // namespace
}  // namespace qm
