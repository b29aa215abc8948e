// The manual splitter page: positions as it shows them, loading, the piece buttons with their
// messages, the play state machine on a device that makes no sound, the sound-card messages,
// the keys, splits that match the command line's, and pieces made from marks.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <functional>

#include "fixtures/Fixtures.h"
#include "marks/CueSheet.h"
#include "marks/MarksTestKit.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "stream/AudioLayer.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageBatchSplitterSpin.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/pages/SilenceDialog.h"
#include "ui/pages/SplitterControls.h"
#include "ui/widgets/Formats.h"
#include "ui/widgets/PathText.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::App;

// seconds of tone at 44.1 kHz, 128 kbit/s.
fs::path WriteSong(const fs::path& path, double seconds) {
    fixtures::EncodeSpec spec;
    spec.seconds = seconds;
    fixtures::WriteFileBytes(path, fixtures::EncodeMp3(spec));
    return path;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SplitterPosition, FormIsChosenByTheFilesLength) {
    struct Case {
        int tenths;
        int totalTenths;
        const char* shown;
    };
    const Case cases[] = {
        {35999, 35999, "59:59.9"},   {0, 35999, "0:00.0"},      {605, 1000, "1:00.5"},
        {36000, 36000, "1:00:00.0"}, {605, 36000, "0:01:00.5"}, {359999, 400000, "9:59:59.9"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatPosition(c.tenths, c.totalTenths), c.shown) << c.tenths;
}

// A key or a wheel step that moves the thumb ends the user's move; a key that cannot move it
// ends nothing and leaves nothing pending, so the program's next move of the value is not
// taken for the user's.
TEST(SplitterTimeline, OnlyStepsThatMoveTheThumbEndAMove) {
    App();
    const auto key = [](Qt::Key k) { return [k](TimelineSlider* t) { QTest::keyClick(t, k); }; };
    const auto wheel = [](TimelineSlider* t) {
        const QPointF at(5, 5);
        QWheelEvent event(at, t->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(t, &event);
    };
    const struct {
        int startTenths;
        std::function<void(TimelineSlider*)> step;
        int movesEnded;
    } cases[] = {{0, key(Qt::Key_Left), 0}, {500, key(Qt::Key_End), 0}, {0, key(Qt::Key_Right), 1}, {200, wheel, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TimelineSlider timeline;
        timeline.setRange(0, 500);
        timeline.setSingleStep(10);
        timeline.setValue(c.startTenths);
        int ended = 0;
        QObject::connect(&timeline, &TimelineSlider::MoveEnded, [&] { ++ended; });
        c.step(&timeline);
        EXPECT_EQ(ended, c.movesEnded);
        timeline.setValue(123);  // the program's move, as the playback timer's
        EXPECT_EQ(ended, c.movesEnded);
    }
}

class SplitterPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        App();
        ASSERT_TRUE(audio::Init(audio::kDefaultDevice, 44100));  // SDL's dummy driver in the tests
    }
    static void TearDownTestSuite() { audio::Free(); }

    SplitterPage() : store(backend, "") {
        store.LoadPageGroups();
        store.splitterOptions.BrowseFolder = false;
        page = std::make_unique<CPageSplitter>(store);
        page->SetSoundCard(true);
        page->SetDesktop(desktop);
    }

    // A song of the given length, loaded into the page.
    void Load(double seconds) {
        song = WriteSong(dir / "song.mp3", seconds);
        ASSERT_TRUE(page->LoadSourceFile(PathText(song)));
    }

    // The pieces list's columns that the tests read.
    static constexpr int kTitle = 5;
    static constexpr int kOutput = 6;

    QString Cell(int row, int column) const { return page->Ui().pieces->topLevelItem(row)->text(column); }
    // Each row as "start end title".
    std::vector<QString> Rows() const {
        std::vector<QString> rows;
        for (int row = 0; row < page->Ui().pieces->topLevelItemCount(); ++row)
            rows.push_back(Cell(row, 1) + " " + Cell(row, 2) + " " + Cell(row, kTitle));
        return rows;
    }
    std::vector<QString> Messages() const {
        std::vector<QString> texts;
        for (const ShownMessage& m : desktop.shown) texts.push_back(m.text);
        return texts;
    }

    MemorySettingsBackend backend;
    SettingsStore store;
    std::unique_ptr<CPageSplitter> page;
    test::RecordedDesktop desktop;
    fixtures::TempDir dir;
    fs::path song;
};

// A loaded file is one checked, selected piece over the whole file, sized as the file.
TEST_F(SplitterPage, LoadingGivesOnePieceOverTheFile) {
    Load(25.0);
    EXPECT_EQ(page->TotalTenths(), 250);
    ASSERT_EQ(page->Ui().pieces->topLevelItemCount(), 1);
    EXPECT_EQ(page->SelectedPiece(), 0);
    EXPECT_EQ(page->Ui().pieces->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(Cell(0, 2), "0:25.0");
    EXPECT_EQ(Cell(0, 4), Utf8(FormatSize(static_cast<std::int64_t>(fs::file_size(song)))));
    EXPECT_TRUE(page->InfoText().startsWith("Length: 0:25     Size: ")) << page->InfoText().toStdString();
    EXPECT_TRUE(page->InfoText().contains("\nMP3 Info: 44100 Hz, 128 kbps, Stereo\nTitle: \n"));
    EXPECT_EQ(page->PositionText(), "0:00.0");

    // A file that is not ".mp3" leaves the page empty; "&Open" says so.
    const fs::path wav = dir / "song.wav";
    fs::copy_file(song, wav);
    desktop.fileToOpen = {PathText(wav)};
    page->OpenFile();
    EXPECT_TRUE(page->SourcePath().isEmpty());
    EXPECT_EQ(page->Ui().pieces->topLevelItemCount(), 0);
    EXPECT_FALSE(page->Ui().split->isEnabled());
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, QStringLiteral("Failed to open file \"%1\".\n\nTo get help, please contact us "
                                                    "at <support@quillmere.org>.")
                                         .arg(PathText(wav)));
}

// A file named ".mp3" that holds no MPEG audio (a WAV file, which the player would play) does
// not load; named on the command line, it is reported as "&Open" reports it, once the event
// loop runs. A file that loads says nothing.
TEST_F(SplitterPage, FilesWithoutMpegAudioAreRefusedWhereTheyAreLoaded) {
    const fs::path wave = dir / "wave.mp3";
    fixtures::WriteFileBytes(wave, fixtures::MakeWav(2.0));
    song = WriteSong(dir / "song.mp3", 3.0);
    for (const fs::path& path : {wave, song}) {
        SCOPED_TRACE(path.filename().string());
        const bool loads = path == song;
        desktop.shown.clear();
        page->SetInitialFile(PathText(path));
        EXPECT_TRUE(desktop.shown.empty());
        QCoreApplication::processEvents();
        EXPECT_EQ(page->SourcePath(), loads ? PathText(path) : QString());
        const std::vector<QString> failed{QStringLiteral("Failed to open file \"%1\".\n\nTo get help, please contact "
                                                         "us at <support@quillmere.org>.")
                                              .arg(PathText(path))};
        EXPECT_EQ(Messages(), loads ? std::vector<QString>{} : failed);
    }
}

// The piece buttons with their messages; the mode decides what takes input.
TEST_F(SplitterPage, PieceButtonsAndTheirMessages) {
    Load(25.0);
    page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
    page->AddPiece();  // at 0
    page->MoveTimeline(250);
    page->AddPiece();  // at the end
    EXPECT_EQ(Messages(), (std::vector<QString>{"0:00.0 has been added.", "0:25.0 has been added."}));

    page->MoveTimeline(100);
    page->AddPiece();
    page->MoveTimeline(50);
    page->AddPiece();
    ASSERT_EQ(page->Ui().pieces->topLevelItemCount(), 3);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(Cell(row, 0), QString::number(row + 1));
    EXPECT_EQ(Cell(1, 1) + " " + Cell(1, 2), "0:05.0 0:10.0");
    EXPECT_EQ(page->SelectedPiece(), 1);
    EXPECT_EQ(page->Ui().timeline->SelectionStart(), 50);
    EXPECT_EQ(page->Ui().timeline->SelectionEnd(), 100);

    page->MoveTimeline(30);  // the selected piece 5.0-10.0 cannot end at 3.0
    page->SetEnd();
    page->MoveTimeline(120);  // nor start at 12.0
    page->SetStart();
    EXPECT_EQ(desktop.shown.back().text,
              "You can not set the start position greater than or equal to the end position.");
    EXPECT_EQ(desktop.shown[desktop.shown.size() - 2].text,
              "You can not set the end position less than or equal to the start position.");

    page->SelectPiece(0);
    page->MoveTimeline(30);
    page->SetStart();  // on the first piece: a piece 0-3 stays before it
    EXPECT_EQ(page->SelectedPiece(), 1);
    EXPECT_EQ(Cell(0, 2) + " " + Cell(1, 1), "0:03.0 0:03.0");

    page->SelectPiece(0);
    page->RemovePiece();  // the next piece starts at 0
    EXPECT_EQ(Cell(0, 1), "0:00.0");
    page->GoToEnd();
    EXPECT_EQ(page->TimelinePosition(), 50);

    desktop.answers = {MessageAnswer::Yes};
    page->ResetPieces();
    EXPECT_EQ(desktop.shown.back().text, "Are you sure you want to reset all pieces?");
    ASSERT_EQ(page->Ui().pieces->topLevelItemCount(), 1);
    desktop.answers = {MessageAnswer::Yes};
    page->RemovePiece();
    EXPECT_EQ(desktop.shown.back().text, "Are you sure you want to close current file?");
    EXPECT_TRUE(page->SourcePath().isEmpty());

    // Without a file nothing takes input; by count, only the count.
    EXPECT_FALSE(page->Ui().mode.Button(SplitTypeCode::ByCount)->isEnabled());
    Load(25.0);
    page->Ui().mode.Button(SplitTypeCode::ByCount)->click();
    EXPECT_TRUE(page->Ui().mode.count->isEnabled());
    EXPECT_FALSE(page->Ui().addPiece->isEnabled());
    EXPECT_FALSE(page->Ui().preview->isEnabled());
    EXPECT_FALSE(page->Ui().mode.size->isEnabled());
    EXPECT_EQ(store.splitterPage.split.SplitType, SplitTypeCode::ByCount);
}

// Playing, pausing, previewing and stopping on the dummy device, as the state table says.
TEST_F(SplitterPage, PlayStateMachine) {
    Load(100.0);
    page->MoveTimeline(600);
    page->PlayPressed();
    EXPECT_EQ(page->State(), PlayerState::Playing);
    EXPECT_EQ(page->Ui().play->text(), "&Pause");
    page->MoveTimeline(900);  // playing goes on from 1:30.0
    page->PlayPressed();
    EXPECT_EQ(page->State(), PlayerState::Paused);
    EXPECT_NEAR(page->TimelinePosition(), 900, 5);
    page->StopPressed();  // back to where playing started
    EXPECT_EQ(page->State(), PlayerState::Stopped);
    EXPECT_EQ(page->PositionText(), "1:00.0");
    EXPECT_EQ(page->Ui().play->text(), "&Play");

    // A paused preview, the thumb moved outside the piece: Play plays the whole file there.
    page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
    page->MoveTimeline(200);
    page->AddPiece();  // pieces 0-20 s and 20-100 s, the second selected
    page->SelectPiece(0);
    page->PreviewPressed();
    EXPECT_EQ(page->State(), PlayerState::Previewing);
    EXPECT_EQ(page->Ui().preview->text(), "Stop");
    page->PlayPressed();
    EXPECT_EQ(page->State(), PlayerState::PreviewPaused);
    page->MoveTimeline(500);
    page->PlayPressed();
    EXPECT_EQ(page->State(), PlayerState::Playing);
    EXPECT_EQ(page->Ui().preview->text(), "Previe&w");

    // The end of playback is handled as "S&top": back where the preview started.
    QEvent ended(kPlaybackEndedEvent);
    QCoreApplication::sendEvent(page.get(), &ended);
    EXPECT_EQ(page->State(), PlayerState::Stopped);
    EXPECT_EQ(page->PositionText(), "0:00.0");

    // The position box's arrows step a second while nothing plays.
    page->Ui().position->stepBy(1);
    EXPECT_EQ(page->PositionText(), "0:01.0");
}

// Without a sound card the page says so, and a file can still be loaded and split.
TEST_F(SplitterPage, NoSoundCard) {
    page->SetSoundCard(false);
    Load(5.0);
    page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
    page->PlayPressed();
    page->PreviewPressed();
    EXPECT_EQ(page->State(), PlayerState::Stopped);
    EXPECT_EQ(Messages(),
              (std::vector<QString>{
                  "Dear user, the program can't detect a sound card on your computer. The \"Play\" doesn't work.",
                  "Dear user, the program can't detect a sound card on your computer. The \"Preview\" "
                  "doesn't work."}));
}

// M adds a piece and Space plays while no field the user types into has the focus.
TEST_F(SplitterPage, Keys) {
    Load(25.0);
    page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
    page->show();
    QApplication::setActiveWindow(page.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    page->MoveTimeline(100);
    page->Ui().source->setFocus();  // a read-only field leaves the keys to the page
    QTest::keyClick(page->Ui().source, Qt::Key_M);
    EXPECT_EQ(page->Ui().pieces->topLevelItemCount(), 2);
    page->Ui().pieces->setFocus();
    QTest::keyClick(page->Ui().pieces, Qt::Key_Space);
    EXPECT_EQ(page->State(), PlayerState::Playing);
}

// A tagged VBR MPEG-2 mono file: the information box shows its figures and tag, and pieces
// cut by hand decode to the whole file between them.
TEST_F(SplitterPage, TaggedVbrMpeg2FileCutByHand) {
    fixtures::EncodeSpec spec;
    spec.sampleRateHz = 22050;
    spec.channels = fixtures::Channels::Mono;
    spec.vbr = true;
    spec.xing = fixtures::XingFrame::Yes;
    spec.seconds = 12.0;
    fixtures::Id3v2Spec tag;
    tag.title = "Night";
    tag.artist = "Owls";
    tag.track = "7";
    fixtures::Bytes bytes = fixtures::MakeId3v2Tag(tag);
    const fixtures::Bytes audio = fixtures::EncodeMp3(spec);
    bytes.insert(bytes.end(), audio.begin(), audio.end());
    song = dir / "night.mp3";
    fixtures::WriteFileBytes(song, bytes);
    ASSERT_TRUE(page->LoadSourceFile(PathText(song)));
    EXPECT_TRUE(
        page->InfoText().contains(QRegularExpression("MP3 Info: 22050 Hz, \\d+ kbps, Mono\nTitle: Night\n"
                                                     "Artist: Owls\n.*Track #: 7\n",
                                                     QRegularExpression::DotMatchesEverythingOption)))
        << page->InfoText().toStdString();

    page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
    for (const int tenths : {40, 80}) {
        page->MoveTimeline(tenths);
        page->AddPiece();
    }
    page->SplitNow();
    ASSERT_EQ(page->Outputs().size(), 3u);
    std::int64_t samples = 0;
    for (const fs::path& piece : page->Outputs()) {
        const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(piece);
        EXPECT_TRUE(decoded.ok) << piece;
        EXPECT_EQ(decoded.rateHz, 22050);
        samples += decoded.samples;
    }
    // The whole file, plus the frames that neighbouring pieces share (three at each cut).
    const std::int64_t whole = fixtures::DecodeWithMpg123(song).samples;
    EXPECT_GE(samples, whole);
    EXPECT_LE(samples, whole + 2 * 3 * 576);
}

// Dropped paths are tried in order, folders and other files passed over silently; a split the
// planner refuses shows its reason and writes nothing.
TEST_F(SplitterPage, DropsAndARefusedSplit) {
    const fs::path wav = dir / "song.wav";
    fixtures::WriteFileBytes(wav, fixtures::Bytes(100, 0));
    song = WriteSong(dir / "song.mp3", 5.0);
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(PathText(dir.Path())), QUrl::fromLocalFile(PathText(wav)),
                     QUrl::fromLocalFile(PathText(song))});
    // A drop reaches the window the drag entered.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page.get(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page.get(), &drop);
    EXPECT_EQ(page->SourcePath(), PathText(song));
    EXPECT_TRUE(desktop.shown.empty());

    page->Ui().mode.Button(SplitTypeCode::ByCount)->click();
    page->Ui().mode.count->setValue(1);
    page->SplitNow();
    EXPECT_EQ(Messages(), (std::vector<QString>{"The file count should be greater than or equal to 2."}));
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"song.mp3", "song.wav"}));
}

// Hand-made pieces with the middle one unchecked: only pieces 1 and 3 are written, and their
// rows name them; a split by count writes what the command line writes.
TEST_F(SplitterPage, SplitsWriteWhatTheyShould) {
    Load(25.0);
    page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
    page->MoveTimeline(80);
    page->AddPiece();
    page->MoveTimeline(160);
    page->AddPiece();
    page->Ui().pieces->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    page->SplitNow();
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"song-1.mp3", "song-3.mp3", "song.mp3"}));
    EXPECT_EQ(Cell(0, kOutput) + "|" + Cell(1, kOutput) + "|" + Cell(2, kOutput), "song-1.mp3||song-3.mp3");

    const fs::path pageDir = dir / "page";
    const fs::path cliDir = dir / "cli";
    fs::create_directories(pageDir);
    fs::create_directories(cliDir);
    fs::copy_file(song, pageDir / "song.mp3");
    fs::copy_file(song, cliDir / "song.mp3");
    ASSERT_TRUE(page->LoadSourceFile(PathText(pageDir / "song.mp3")));
    page->Ui().mode.Button(SplitTypeCode::ByCount)->click();
    page->Ui().mode.count->setValue(3);
    store.splitterOptions.BrowseFolder = true;
    page->SplitNow();
    const fixtures::RunResult cli =
        fixtures::RunProgram(fixtures::CliPath(), {"split", "--count", "3", (cliDir / "song.mp3").string()});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    const std::vector<std::string> written = FilesIn(pageDir);
    ASSERT_EQ(written.size(), 4u);
    EXPECT_EQ(written, FilesIn(cliDir));
    for (const std::string& name : written) {
        EXPECT_EQ(fixtures::ReadFileBytes(pageDir / name), fixtures::ReadFileBytes(cliDir / name)) << name;
    }
    ASSERT_EQ(desktop.shownInFileManager.size(), 1u);
    EXPECT_EQ(desktop.shownInFileManager[0], PathText(pageDir / "song-1.mp3"));
}

// A cue sheet becomes titled pieces; F2 edits a title, the split names the pieces by their
// titles, and the rows saved as a sheet beside the source read back as they are (a track
// starting between tenths still to the CD frame). A sheet that cannot be read says why and
// leaves the pieces alone.
TEST_F(SplitterPage, CueSheetGivesTitledPieces) {
    Load(30.0);
    const fs::path sheet = dir / "album.cue";
    const std::string text =
        "FILE \"song.mp3\" MP3\nTRACK 01 AUDIO\n  TITLE \"Dawn\"\n  INDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\n  TITLE \"Noon\"\n  INDEX 01 00:10:00\nTRACK 03 AUDIO\n  TITLE \"Dusk\"\n"
        "  INDEX 01 00:20:37\n";
    fixtures::WriteFileBytes(sheet, fixtures::Bytes(text.begin(), text.end()));
    desktop.fileToOpen = {PathText(sheet)};
    page->LoadCueSheet();
    EXPECT_EQ(desktop.dialogsShown.back().filter, "Cue Sheets (*.cue);;All Files (*)");
    EXPECT_TRUE(page->Ui().mode.Button(SplitTypeCode::ByCustom)->isChecked());
    EXPECT_EQ(Rows(), (std::vector<QString>{"0:00.0 0:10.0 Dawn", "0:10.0 0:20.4 Noon", "0:20.4 0:30.0 Dusk"}));

    page->show();
    QApplication::setActiveWindow(page.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    page->SelectPiece(1);
    page->Ui().pieces->setFocus();
    QTest::keyClick(page->Ui().pieces, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(qobject_cast<QLineEdit*>(editor), nullptr);
    QTest::keySequence(editor, QKeySequence::SelectAll);
    QTest::keyClicks(editor, "Midday");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the list takes the edit once the key is handled
    EXPECT_EQ(page->Pieces()[1].title, "Midday");

    page->SplitNow();
    EXPECT_EQ(Messages(), std::vector<QString>{});
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::vector<std::string>{"1 - Dawn.mp3", "2 - Midday.mp3", "3 - Dusk.mp3", "album.cue", "song.mp3"}));

    desktop.fileToSave = {PathText(dir / "saved.cue")};
    page->SaveCueSheet();
    EXPECT_EQ(desktop.dialogsShown.back().startFolder, PathText(dir / "song.cue"));
    std::string message;
    const std::optional<MarkList> saved = ReadCueSheet(dir / "saved.cue", &message);
    ASSERT_TRUE(saved) << message;
    EXPECT_EQ(testing::Describe(*saved), "/// | 0-next 'Dawn' #1 | 10000-next 'Midday' #2 | 20493-next 'Dusk' #3");

    const fs::path empty = dir / "empty.cue";
    fixtures::WriteFileBytes(empty, fixtures::Bytes{'\n'});
    desktop.fileToOpen = {PathText(empty)};
    page->LoadCueSheet();
    const QString noTracks = QStringLiteral("Failed to read cue sheet \"%1\": no tracks.").arg(PathText(empty));
    EXPECT_EQ(Messages(), std::vector<QString>{noTracks});
    EXPECT_EQ(page->Pieces().size(), 3u);
}

// "Find Silences..." takes its options from the dialog, keeps them, and cuts two tones apart
// inside the pause between them; asked for longer pauses, it says it found none and leaves
// the pieces as they were.
TEST_F(SplitterPage, FindSilencesCutsInThePause) {
    const fixtures::EncodeSpec spec = fixtures::StreamSpec(3.0, fixtures::Signal::Tone);
    const std::vector<std::int16_t> tone = fixtures::MakePcm(spec);
    std::vector<std::int16_t> pcm = tone;
    pcm.resize(tone.size() + 2 * 44100 * 2, 0);  // two seconds of stereo silence
    pcm.insert(pcm.end(), tone.begin(), tone.end());
    song = dir / "pause.mp3";
    fixtures::WriteFileBytes(song, fixtures::EncodePcm(spec, pcm));
    ASSERT_TRUE(page->LoadSourceFile(PathText(song)));

    // Answers the dialog with pauses under -40 dBFS of at least minSilence seconds.
    const auto findSilences = [&](double minSilence) {
        QTimer::singleShot(0, [minSilence] {
            auto* dialog = qobject_cast<SilenceDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->Ui().threshold->setValue(-40);
            dialog->Ui().minSilence->setValue(minSilence);
            dialog->accept();
        });
        page->FindSilences();
    };
    findSilences(1.0);
    EXPECT_EQ(Messages(), std::vector<QString>{});
    EXPECT_EQ(store.splitterPage.split.silence.ThresholdDb, -40);
    ASSERT_EQ(page->Pieces().size(), 2u);
    EXPECT_GT(page->Pieces()[1].startTenths, 30);
    EXPECT_LT(page->Pieces()[1].startTenths, 50);

    findSilences(3.0);
    EXPECT_EQ(Messages(), (std::vector<QString>{QStringLiteral("No silence found in \"%1\".").arg(PathText(song))}));
    EXPECT_EQ(page->Pieces().size(), 2u);
}

}  // namespace
}  // namespace qm
