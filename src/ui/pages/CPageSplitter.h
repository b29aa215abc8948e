#pragma once

// The manual splitter page: one file, cut by size, count, time or by hand into pieces on a
// timeline, with the file or one piece played on the output device. Above the timeline a
// waveform of the file; keys for people who cut by hand: Space plays and pauses, M adds a
// piece at the position, I and O set the selected piece's start and end there. The pieces
// can come from marks (the file's pauses, a cue sheet, its chapters, a label file) and be
// saved as a cue sheet or label file.

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "settings/Options.h"
#include "split/PagePlanners.h"
#include "ui/kit/CResizablePage.h"
#include "ui/kit/ShellCalls.h"
#include "ui/pages/SplitModeInputs.h"
#include "ui/pages/SplitterAudition.h"
#include "ui/pages/SplitterPieces.h"
#include "ui/widgets/PreviewPlayer.h"
#include "ui/widgets/Timeline.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QSplitter;
class QTimer;
class QTreeWidget;

namespace qm {

class PositionSpin;
class ProgressWindow;
class SettingsStore;
class TextSpinBox;
class TimelineSlider;
class WaveformStrip;

// The play state of the page. Hearing: files written to be heard ("Play Seam", "Play
// Pieces") are playing.
enum class PlayerState { Stopped = 0, Playing = 1, Paused = 2, Previewing = 3, PreviewPaused = 4, Hearing = 5 };

// A position in tenths as the page shows it for a file lasting totalTenths: "h:mm:ss.t" when
// the file lasts more than 35999 tenths, else "m:ss.t", so one file's positions share a form.
QString FormatPosition(int tenths, int totalTenths);

class CPageSplitter : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Splitter";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageSplitter(SettingsStore& settings, QWidget* parent = nullptr);
    ~CPageSplitter() override;

    // The file named on the command line (absolute path): loaded as "&Open" loads, with its
    // message when that fails (shown once the event loop runs).
    void SetInitialFile(const QString& path);
    QString InitialFile() const { return m_initialFile; }
    // Whether the program found a sound card: without one nothing is played.
    void SetSoundCard(bool present) { m_soundCard = present; }

    // "&Open": the open-file dialog, then loading with a message when that fails.
    void OpenFile();
    // Loads path: the page is emptied first, so a failure leaves it empty. False for a file
    // that is not ".mp3", holds no MPEG audio, cannot be opened for playing or measuring, or
    // has no readable size.
    bool LoadSourceFile(const QString& path);
    // Stops playing and empties the page.
    void CloseSourceFile();

    // The buttons' commands.
    void AddPiece();
    void SetStart();
    void SetEnd();
    void GoToStart();
    void GoToEnd();
    void RemovePiece();
    void ResetPieces();
    void PlayPressed();
    void PreviewPressed();
    void StopPressed();
    // "Play Seam": 2 s either side of the selected boundary, and "Play Pieces": every checked
    // piece, each written by the split engine into a temporary folder first (with the split's
    // progress window; Stop cancels) and played back to back as the split will write it.
    void PlaySeamPressed();
    void PlayPiecesPressed();
    // What those two wrote and play now, for tests.
    const SplitterAudition& Audition() const { return m_audition; }
    void SplitNow();
    // The marks commands: each load replaces the pieces with rows of the marks (the mode
    // becomes "By custom") or shows the reader's message; each save writes the checked rows'
    // marks or shows the writer's message. A cancelled dialog does nothing.
    void FindSilences();
    void LoadCueSheet();
    void LoadChapters();
    void LoadLabels();
    void SaveCueSheet();
    void SaveLabels();
    // Replaces the pieces with rows of marks, titles included, and switches to "By custom".
    void LoadMarks(const MarkList& marks);
    // Moves the timeline to tenths as the user would by a click on it (the move ends there).
    void MoveTimeline(int tenths);
    // The waveform's commands: the selected piece filling the view, the whole file in view,
    // a zoom by factor (> 1 zooms in) about the cursor, the chosen boundary moved by frames
    // frames, and the cursor moved to the boundary before (-1) or after (+1) it.
    void ZoomToPiece();
    void ShowWholeFile();
    void ZoomWaveform(double factor);
    void NudgeBoundary(int frames);
    void JumpToBoundary(int direction);

    // What the page holds, for tests and the help's screenshots.
    QString SourcePath() const { return m_path; }
    int TotalTenths() const { return m_totalTenths; }
    const std::vector<PieceRow>& Pieces() const { return m_pieces; }
    int SelectedPiece() const;
    void SelectPiece(int index);
    // The piece boundary last clicked, dragged or jumped to on the waveform, in ms from the
    // start of the file; empty when none is (or it has gone with an edit of the pieces).
    std::optional<Millis> SelectedBoundaryMillis() const { return m_selectedBoundaryMs; }
    PlayerState State() const { return m_state; }
    int TimelinePosition() const;
    QString PositionText() const;
    QString InfoText() const;
    const std::vector<std::filesystem::path>& Outputs() const { return m_outputs; }
    SplitSettings Inputs() const;
    PreviewPlayer& Player() { return m_player; }

    // The page's controls, for tests and the help's screenshots.
    struct Controls {
        QLineEdit* source = nullptr;
        QPushButton* open = nullptr;
        SplitModeControls mode;  // the mode buttons and the size, count and time inputs
        QPlainTextEdit* info = nullptr;
        QPushButton* split = nullptr;
        PositionSpin* position = nullptr;
        QPushButton* addPiece = nullptr;
        QPushButton* marks = nullptr;  // opens the marks commands' menu
        struct MarksMenu {
            QAction* findSilences = nullptr;
            QAction* loadCueSheet = nullptr;
            QAction* loadChapters = nullptr;  // enabled only for a file with chapters
            QAction* loadLabels = nullptr;
            QAction* saveCueSheet = nullptr;
            QAction* saveLabels = nullptr;
        } marksMenu;
        QPushButton* play = nullptr;
        QPushButton* stop = nullptr;
        QPushButton* playSeam = nullptr;
        QPushButton* playPieces = nullptr;
        QSlider* volume = nullptr;
        WaveformStrip* waveform = nullptr;
        QSplitter* waveformSplit = nullptr;  // the waveform above, the pieces list below
        QPushButton* zoomToPiece = nullptr;
        QPushButton* wholeFile = nullptr;
        TimelineSlider* timeline = nullptr;
        QPushButton* setStart = nullptr;
        QPushButton* setEnd = nullptr;
        QPushButton* goToStart = nullptr;
        QPushButton* goToEnd = nullptr;
        QPushButton* preview = nullptr;
        QTreeWidget* pieces = nullptr;
        QPushButton* remove = nullptr;
        QPushButton* reset = nullptr;
    };
    const Controls& Ui() const { return m_ui; }
    // The pieces list's menu as it would open now.
    void AddMenuEntries(QMenu* menu);

protected:
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    using Transition = void (CPageSplitter::*)();
    enum class Command { Play = 0, Preview = 1, Stop = 2 };

    QPushButton* AddButton(QHBoxLayout* line, const char* caption, const char* tip, void (CPageSplitter::*command)());
    QWidget* MakeSourceRow();
    QWidget* MakeModeArea();
    QWidget* MakePlayRow();
    QWidget* MakePieceButtons();
    QPushButton* MakeMarksButton(QWidget* parent);
    void EnableMarks(bool loaded);
    void EditTitle(int row);
    // A marks file chosen in the open dialog and read by read, loaded as LoadMarks loads.
    using MarksReader = std::optional<MarkList> (*)(const std::filesystem::path&, std::string*);
    void LoadMarksFile(const char* title, const char* filter, MarksReader read);
    // The checked rows' marks written by write to a file chosen in the save dialog.
    using MarksWriter = std::function<bool(const std::filesystem::path&, const MarkList&, std::string*)>;
    void SaveMarksFile(const char* title, const char* filter, const char* suffix, const MarksWriter& write);
    QWidget* MakePiecesArea();
    void MakeShortcuts();
    void ConnectTimeline();
    QWidget* MakeWaveformArea();
    void ConnectWaveform();
    void RestoreWaveformSplit();
    void ApplyWaveformSplit();
    // A boundary on the waveform dragged or nudged to ms; refusals speak as Set Start and
    // Set End do when the move pressed against a neighbour.
    void BoundaryMovedTo(int boundary, Millis ms);
    void RefuseBoundaryMove(timeline::Past past);
    // The boundary chosen on the waveform: its index, or -1.
    int ChosenBoundary() const;
    void ChooseBoundary(int boundary);

    void ShowInputs(const SplitSettings& inputs);
    void StoreInputs();
    void ApplyMode();
    void UpdatePieceButtons();
    void FillInfoBox();
    void ShowPieces(int selected);
    void ShowSelection();
    void ShowPosition(int tenths);
    void ShowAt(int tenths);
    void EnableLoaded(bool loaded);
    void ReportLoadFailure(const QString& path);
    void OpenMenuAt(const QPoint& globalPos);
    using BoundaryEdit = pieces::BoundaryMove (*)(std::vector<PieceRow>*, int, int, int);
    void MoveBoundary(BoundaryEdit edit, QPushButton* button, pieces::BoundaryOutcome refused, const char* refusal);
    void GoTo(int tenths);

    // The play state machine: one transition per state and command.
    void Run(Command command);
    void StartPlaying();
    void PausePlaying();
    void PauseAndPreview();
    void StopPlaying();
    void ResumeOrPlay();
    void StopPaused();
    void PausePreview();
    void StopPreview();
    void ResumePreviewOrPlay();
    void StopPreviewPaused();
    void PreviewSelected();
    void StayStopped();
    // Writes what is to be heard with write into a fresh folder of the audition, then plays it.
    using HearingWriter = std::function<RunResult(const SplitPlanContext&, const page_plans::PageSource&,
                                                  const std::filesystem::path&, std::vector<hearing::HeardFile>*)>;
    void HearWritten(const HearingWriter& write);
    void StopHearing();
    // The boundary "Play Seam" plays around: the one last chosen on the waveform, else the
    // start of the selected piece; none with fewer than two pieces.
    std::optional<Millis> SeamBoundary() const;
    void EnableHearing();
    void EnterPlaying(PlayerState state);
    void TimerTick();
    void TimelineMoveEnded();
    void PositionStepped(int steps);

    int PositionTenths() const;
    std::uint32_t Ms(int tenths) const;

    SettingsStore& m_settings;
    QString m_initialFile;
    bool m_soundCard = false;
    PreviewPlayer m_player;

    QString m_path;
    int m_totalTenths = 0;
    std::int64_t m_fileSizeBytes = 0;
    std::vector<std::filesystem::path> m_outputs;
    std::vector<PieceRow> m_pieces;
    std::optional<MarkList> m_chapters;  // the loaded file's chapters, read once at load
    std::optional<Millis> m_selectedBoundaryMs;

    PlayerState m_state = PlayerState::Stopped;
    int m_playStartTenths = 0;
    int m_pauseTenths = 0;
    int m_previewStartTenths = 0;
    int m_previewEndTenths = 0;
    bool m_dragging = false;

    bool m_showingInputs = false;
    bool m_showingPieces = false;

    Controls m_ui;
    QTimer* m_timer = nullptr;
    SplitterAudition m_audition;
    ProgressWindow* m_writing = nullptr;  // while files to be heard are written
};

}  // namespace qm
