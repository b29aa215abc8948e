#include "ui/pages/CPageSplitter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <system_error>

#include "marks/Chapters.h"
#include "settings/Settings.h"
#include "stream/Mp3FrameReader.h"
#include "stream/Tags.h"
#include "stream/TenthsText.h"
#include "ui/kit/Addresses.h"
#include "ui/kit/DesktopCalls.h"
#include "ui/kit/ShellCalls.h"
#include "ui/pages/CPageBatchSplitterSpin.h"
#include "ui/pages/PageSizes.h"
#include "ui/pages/SplitModeInputs.h"
#include "ui/pages/SplitterControls.h"
#include "ui/pages/SplitterPieces.h"
#include "ui/widgets/Formats.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/WaveformStrip.h"

namespace qm {

namespace {

namespace fs = std::filesystem;

// The timer that follows playback, and the timeline's page step (a twentieth of the file).
constexpr int kPlayTimerMs = 100;
constexpr int kPageStepsPerFile = 20;
// The volume slider shows the output volume (0..65535) in eighths, ticked every tenth.
constexpr int kVolumeSliderMax = 8192;
constexpr int kVolumeTick = 819;
constexpr int kVolumeScale = 8;
constexpr int kMaxVolume = 65535;

enum PieceColumn { kNumberColumn, kStartColumn, kEndColumn, kLengthColumn, kSizeColumn, kTitleColumn, kOutputColumn };
struct ColumnEntry {
    const char* caption;
    Qt::Alignment alignment;
    int widthPixels;
};
constexpr ColumnEntry kPieceColumns[] = {
    {"No.", Qt::AlignLeft, 50},      {"Start", Qt::AlignRight, 90},           {"End", Qt::AlignRight, 90},
    {"Length", Qt::AlignRight, 100}, {"Estimated Size", Qt::AlignRight, 100}, {"Title", Qt::AlignLeft, 160},
    {"Output", Qt::AlignLeft, 220},
};

// The refusals of a boundary moved past its neighbour, by Set Start and Set End or on the
// waveform.
constexpr char kStartNotBeforeEnd[] = "You can not set the start position greater than or equal to the end position.";
constexpr char kEndNotAfterStart[] = "You can not set the end position less than or equal to the start position.";

// Whether the file holds MPEG audio the splitters can cut: the reader's format check, which
// refuses the containers of other decoders, without measuring the length.
bool HoldsMpegAudio(const fs::path& path) {
    Mp3FrameReader reader;
    return reader.Open(path, Mp3FrameReader::Measure::FormatOnly);
}

}  // namespace

QString FormatPosition(int tenths, int totalTenths) { return Utf8(PositionText(tenths, totalTenths)); }

CPageSplitter::CPageSplitter(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    auto* body = new QVBoxLayout(this);
    body->addWidget(MakeSourceRow());
    body->addWidget(MakeModeArea());
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    body->addWidget(line);
    body->addWidget(MakePlayRow());
    // The waveform takes the room the page has to spare; a handle between it and the pieces
    // list gives either more.
    m_ui.waveformSplit = new QSplitter(Qt::Vertical, this);
    m_ui.waveformSplit->setChildrenCollapsible(false);
    m_ui.waveformSplit->addWidget(MakeWaveformArea());
    m_ui.waveformSplit->addWidget(MakePiecesArea());
    m_ui.waveformSplit->setStretchFactor(0, 1);
    m_ui.waveformSplit->setStretchFactor(1, 0);
    body->addWidget(m_ui.waveformSplit, 1);

    m_timer = new QTimer(this);
    m_timer->setInterval(kPlayTimerMs);
    connect(m_timer, &QTimer::timeout, this, &CPageSplitter::TimerTick);
    // While playing the waveform's view follows the position, once the tick has shown it.
    connect(m_timer, &QTimer::timeout, this, [this] { m_ui.waveform->FollowCursor(); });
    ConnectTimeline();
    ConnectWaveform();
    RestoreWaveformSplit();
    MakeShortcuts();
    setAcceptDrops(true);

    ShowInputs(settings.splitterPage.split);
    EnableLoaded(false);
    ApplyMode();
}

CPageSplitter::~CPageSplitter() {
    StoreInputs();
    m_timer->stop();
    m_player.CloseStream();
    m_pieces.clear();
}

QWidget* CPageSplitter::MakeSourceRow() {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    m_ui.source = new QLineEdit(row);
    m_ui.source->setReadOnly(true);
    m_ui.source->installEventFilter(this);
    line->addWidget(TextLabel("Source &File:", m_ui.source, row));
    line->addWidget(m_ui.source, 1);
    m_ui.open = new QPushButton(QStringLiteral("&Open"), row);
    m_ui.open->setToolTip(QStringLiteral("Open an MP3 file to split (or drop one on this page)"));
    connect(m_ui.open, &QPushButton::clicked, this, &CPageSplitter::OpenFile);
    line->addWidget(m_ui.open);
    return row;
}

QWidget* CPageSplitter::MakeModeArea() {
    auto* area = new QWidget(this);
    auto* grid = new QGridLayout(area);
    grid->setContentsMargins(0, 0, 0, 0);
    m_ui.mode = MakeSplitModeRows(
        grid, this, {0, 0, "The number of pieces of equal duration", "By ti&me", "mi&n", "sec each file"});
    AddModeRow(grid, m_ui.mode.modes, SplitTypeCode::ByCustom, "By c&ustom",
               {TextLabel("the pieces below", nullptr, area)});

    m_ui.info = new QPlainTextEdit(area);
    m_ui.info->setReadOnly(true);
    m_ui.info->installEventFilter(this);
    m_ui.info->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_ui.info->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 36);
    grid->addWidget(m_ui.info, 0, 2, 4, 1);
    m_ui.split = new QPushButton(QStringLiteral("&Split Now!"), area);
    m_ui.split->setToolTip(QStringLiteral("Split the file as the chosen mode says"));
    connect(m_ui.split, &QPushButton::clicked, this, &CPageSplitter::SplitNow);
    grid->addWidget(m_ui.split, 0, 3, Qt::AlignTop);
    grid->setColumnStretch(2, 1);
    // The info box shows its nine lines.
    m_ui.info->setFixedHeight(fontMetrics().lineSpacing() * 9 + 2 * m_ui.info->frameWidth() +
                              2 * static_cast<int>(m_ui.info->document()->documentMargin()) + 6);

    connect(m_ui.mode.modes, &QButtonGroup::idClicked, this, [this] { ApplyMode(); });
    m_ui.mode.ConnectChanges(this, [this] { StoreInputs(); });
    return area;
}

QPushButton* CPageSplitter::AddButton(QHBoxLayout* line, const char* caption, const char* tip,
                                      void (CPageSplitter::*command)()) {
    auto* b = new QPushButton(QString::fromUtf8(caption), line->parentWidget());
    b->setToolTip(QString::fromUtf8(tip));
    connect(b, &QPushButton::clicked, this, command);
    line->addWidget(b);
    return b;
}

QWidget* CPageSplitter::MakePlayRow() {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    m_ui.position = new PositionSpin(row);
    m_ui.position->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.0")) + 40);
    m_ui.position->setToolTip(QStringLiteral("The position; the arrows move it by one second"));
    connect(m_ui.position, &PositionSpin::Stepped, this, &CPageSplitter::PositionStepped);
    line->addWidget(m_ui.position);
    const auto button = [&](const char* caption, const char* tip, void (CPageSplitter::*slot)()) {
        return AddButton(line, caption, tip, slot);
    };
    m_ui.addPiece = button("&Add Piece", "Cut the piece under the position in two there (M)", &CPageSplitter::AddPiece);
    m_ui.marks = MakeMarksButton(row);
    line->addWidget(m_ui.marks);
    m_ui.play = button("&Play", "Play the file from the position, or pause it (Space)", &CPageSplitter::PlayPressed);
    m_ui.stop = button("S&top", "Stop playing and go back to where playing started", &CPageSplitter::StopPressed);
    m_ui.playSeam =
        button("P&lay Seam", "Plays 2 s either side of the selected boundary as the pieces will sound, fades included",
               &CPageSplitter::PlaySeamPressed);
    m_ui.playPieces = button("Play P&ieces", "Plays every checked piece one after another as it will be written",
                             &CPageSplitter::PlayPiecesPressed);
    line->addStretch(1);
    m_ui.volume = new QSlider(Qt::Horizontal, row);
    m_ui.volume->setRange(0, kVolumeSliderMax);
    m_ui.volume->setTickInterval(kVolumeTick);
    m_ui.volume->setPageStep(kVolumeTick);
    m_ui.volume->setTickPosition(QSlider::TicksBelow);
    m_ui.volume->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 18);
    m_ui.volume->setValue(PreviewPlayer::Volume() / kVolumeScale);
    connect(m_ui.volume, &QSlider::valueChanged, this,
            [](int value) { PreviewPlayer::SetVolume(std::min(kMaxVolume, value * kVolumeScale)); });
    line->addWidget(TextLabel("&Volume:", m_ui.volume, row));
    line->addWidget(m_ui.volume);
    return row;
}

QWidget* CPageSplitter::MakePieceButtons() {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    const auto button = [&](const char* caption, const char* tip, void (CPageSplitter::*slot)()) {
        return AddButton(line, caption, tip, slot);
    };
    m_ui.setStart =
        button("Set Start", "Move the selected piece's start to the position (I)", &CPageSplitter::SetStart);
    m_ui.setEnd = button("Set End", "Move the selected piece's end to the position (O)", &CPageSplitter::SetEnd);
    m_ui.goToStart =
        button("Go to Start", "Move the position to the selected piece's start", &CPageSplitter::GoToStart);
    m_ui.goToEnd = button("Go to End", "Move the position to the selected piece's end", &CPageSplitter::GoToEnd);
    line->addSpacing(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 2);
    m_ui.zoomToPiece =
        button("&Zoom to Piece", "Show the selected piece across the waveform", &CPageSplitter::ZoomToPiece);
    m_ui.wholeFile = button("W&hole File", "Show the whole file across the waveform", &CPageSplitter::ShowWholeFile);
    line->addStretch(1);
    m_ui.preview =
        button("Previe&w", "Play the selected piece from its start to its end", &CPageSplitter::PreviewPressed);
    return row;
}

QWidget* CPageSplitter::MakePiecesArea() {
    auto* area = new QWidget(this);
    auto* line = new QHBoxLayout(area);
    line->setContentsMargins(0, 0, 0, 0);
    m_ui.pieces = new QTreeWidget(area);
    m_ui.pieces->setRootIsDecorated(false);
    m_ui.pieces->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ui.pieces->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ui.pieces->setUniformRowHeights(true);
    // However high the waveform is dragged, five rows stay in view.
    constexpr int kRowsAlwaysShown = 5;
    m_ui.pieces->setMinimumHeight(m_ui.pieces->fontMetrics().height() * (kRowsAlwaysShown + 1) * 3 / 2 +
                                  2 * m_ui.pieces->frameWidth() + 8);
    m_ui.pieces->setSortingEnabled(false);
    m_ui.pieces->header()->setSectionsClickable(false);
    m_ui.pieces->header()->setSectionsMovable(false);
    QStringList captions;
    for (const ColumnEntry& column : kPieceColumns) captions << QString::fromLatin1(column.caption);
    m_ui.pieces->setHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(std::size(kPieceColumns)); ++i) {
        m_ui.pieces->headerItem()->setTextAlignment(i, kPieceColumns[i].alignment | Qt::AlignVCenter);
        // Never narrower than the caption (in the header's font) or a long position in the
        // list's font.
        const int caption = m_ui.pieces->header()->fontMetrics().horizontalAdvance(captions[i] + QStringLiteral("00"));
        const int text = m_ui.pieces->fontMetrics().horizontalAdvance(
            i == kNumberColumn ? captions[i] + QStringLiteral("000") : QStringLiteral("00:00:00.0 "));
        m_ui.pieces->setColumnWidth(i, std::max({kPieceColumns[i].widthPixels, caption + 24, text + 24}));
    }
    m_ui.pieces->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui.pieces, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { OpenMenuAt(m_ui.pieces->viewport()->mapToGlobal(at)); });
    m_ui.pieces->installEventFilter(this);
    connect(m_ui.pieces, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_showingPieces) return;
        UpdatePieceButtons();
        ShowSelection();
    });
    m_ui.pieces->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_ui.pieces, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        const int row = m_ui.pieces->indexOfTopLevelItem(item);
        if (m_showingPieces || row < 0) return;
        PieceRow& piece = m_pieces[static_cast<std::size_t>(row)];
        if (column == kNumberColumn) {
            piece.checked = item->checkState(kNumberColumn) == Qt::Checked;
            ShowSelection();  // the waveform greys unchecked pieces
        }
        if (column == kTitleColumn) piece.title = item->text(kTitleColumn).toStdString();
    });
    // A double click anywhere on a row edits its title, as F2 does.
    connect(m_ui.pieces, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { EditTitle(m_ui.pieces->indexOfTopLevelItem(item)); });
    line->addWidget(m_ui.pieces, 1);

    auto* buttons = new QVBoxLayout;
    m_ui.remove = new QPushButton(QStringLiteral("&Remove"), area);
    m_ui.remove->setToolTip(QStringLiteral("Remove the selected piece; its neighbour takes its time"));
    connect(m_ui.remove, &QPushButton::clicked, this, &CPageSplitter::RemovePiece);
    m_ui.reset = new QPushButton(QStringLiteral("R&eset"), area);
    m_ui.reset->setToolTip(QStringLiteral("Go back to one piece holding the whole file"));
    connect(m_ui.reset, &QPushButton::clicked, this, &CPageSplitter::ResetPieces);
    buttons->addWidget(m_ui.remove);
    buttons->addWidget(m_ui.reset);
    buttons->addStretch(1);
    line->addLayout(buttons);
    return area;
}

void CPageSplitter::MakeShortcuts() {
    // The keys act while the focus is on this page and not in a text field: a text field
    // takes its letters and Space itself.
    const auto key = [this](Qt::Key k, void (CPageSplitter::*command)()) {
        auto* shortcut = new QShortcut(QKeySequence(k), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, [this, command] {
            if (m_path.isEmpty()) return;
            (this->*command)();
        });
    };
    key(Qt::Key_Space, &CPageSplitter::PlayPressed);
    key(Qt::Key_M, &CPageSplitter::AddPiece);
    key(Qt::Key_I, &CPageSplitter::SetStart);
    key(Qt::Key_O, &CPageSplitter::SetEnd);
}

void CPageSplitter::SetInitialFile(const QString& path) {
    m_initialFile = path;
    // A file named on the command line that cannot be loaded is reported as "&Open" reports
    // it, once the window it belongs to is up.
    if (LoadSourceFile(path)) return;
    QTimer::singleShot(0, this, [this, path] { ReportLoadFailure(path); });
}

void CPageSplitter::ReportLoadFailure(const QString& path) {
    ShowMessage(Desktop(), this,
                QStringLiteral("Failed to open file \"%1\".\n\nTo get help, please contact us at <%2>.")
                    .arg(path, QString::fromLatin1(kSupportAddress)));
}

// ---- the mode and its inputs -------------------------------------------------------------

void CPageSplitter::ShowInputs(const SplitSettings& shown) {
    const SplitSettings inputs = shown;  // the controls' signals store into the settings
    m_showingInputs = true;
    m_ui.mode.Show(inputs);
    m_showingInputs = false;
}

SplitSettings CPageSplitter::Inputs() const {
    SplitSettings inputs = m_settings.splitterPage.split;
    m_ui.mode.Take(&inputs);
    return inputs;
}

void CPageSplitter::StoreInputs() {
    // Kept in the store at every change: the store writes its groups at exit, before the
    // pages' windows go.
    if (!m_showingInputs && m_ui.mode.modes != nullptr && m_ui.mode.modes->checkedId() >= 0) {
        m_settings.splitterPage.split = Inputs();
    }
}

void CPageSplitter::ApplyMode() {
    StoreInputs();
    const bool loaded = !m_path.isEmpty();
    m_ui.mode.EnableInputs(loaded);
    const bool custom = loaded && m_ui.mode.Mode() == SplitTypeCode::ByCustom;
    m_ui.pieces->setEnabled(custom);
    m_ui.addPiece->setEnabled(custom);
    m_ui.reset->setEnabled(custom);
    UpdatePieceButtons();
    if (!loaded) return;
    if (QWidget* first = m_ui.mode.FirstInput(m_ui.mode.Mode())) first->setFocus(Qt::OtherFocusReason);
}

void CPageSplitter::UpdatePieceButtons() {
    const bool enabled = !m_path.isEmpty() && m_ui.mode.Mode() == SplitTypeCode::ByCustom && SelectedPiece() >= 0;
    for (QPushButton* b : {m_ui.preview, m_ui.remove, m_ui.goToStart, m_ui.goToEnd, m_ui.setStart, m_ui.setEnd})
        b->setEnabled(enabled);
    EnableHearing();
}

void CPageSplitter::EnableLoaded(bool loaded) {
    for (QAbstractButton* mode : m_ui.mode.modes->buttons()) mode->setEnabled(loaded);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_ui.split, m_ui.position, m_ui.play, m_ui.stop, m_ui.timeline}) {
        control->setEnabled(loaded);
    }
    EnableMarks(loaded);
}

// ---- loading and closing -----------------------------------------------------------------

void CPageSplitter::OpenFile() {
    const QString folder = m_path.isEmpty() ? QString() : QFileInfo(m_path).absolutePath();
    const QString chosen = Desktop().ChooseFileToOpen(
        this, FileChoice{QString(), folder, QStringLiteral("MP3 Files (*.mp3);;All Files (*)"), QString()});
    QCoreApplication::processEvents();
    if (chosen.isEmpty()) return;
    if (!LoadSourceFile(chosen)) ReportLoadFailure(chosen);
}

bool CPageSplitter::LoadSourceFile(const QString& path) {
    CloseSourceFile();
    if (!path.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive)) return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The player decodes WAV, Ogg and FLAC as well; a file named ".mp3" that holds no MPEG
    // audio would play here and fail only at "Split Now!", so it is refused now.
    const bool opened = HoldsMpegAudio(PathOf(path)) && m_player.OpenStream(PathOf(path), this);
    QApplication::restoreOverrideCursor();
    if (!opened) return false;
    std::error_code error;
    const std::uintmax_t size = fs::file_size(PathOf(path), error);
    if (error) {
        m_player.CloseStream();
        return false;
    }
    m_totalTenths = static_cast<int>(m_player.LengthMs() / 100);
    m_fileSizeBytes = static_cast<std::int64_t>(size);
    m_path = path;
    m_ui.source->setText(path);
    std::string noChapters;  // most files have none; nothing is said of it
    m_chapters = ReadChapterMarks(PathOf(path), &noChapters);
    m_state = PlayerState::Stopped;
    m_pauseTenths = 0;
    m_dragging = false;
    EnableLoaded(true);
    FillInfoBox();

    m_ui.timeline->setRange(0, m_totalTenths);
    m_ui.timeline->setPageStep(std::max(1, m_totalTenths / kPageStepsPerFile));
    m_ui.timeline->setSingleStep(kTenthsPerSecond);
    m_ui.timeline->setValue(0);
    ShowPosition(0);
    m_pieces.clear();
    pieces::AddSplitPoint(&m_pieces, 0, m_totalTenths);
    m_selectedBoundaryMs.reset();
    m_ui.waveform->Load(PathOf(path), m_totalTenths);
    m_ui.waveform->SetFrame(timeline::SamplesPerFrameAt(m_player.SampleRateHz()), m_player.SampleRateHz());
    ShowPieces(0);
    m_ui.wholeFile->setEnabled(true);
    ApplyMode();
    return true;
}

void CPageSplitter::CloseSourceFile() {
    if (m_path.isEmpty()) return;
    StopPressed();
    m_timer->stop();
    m_player.CloseStream();
    m_state = PlayerState::Stopped;
    m_previewStartTenths = m_previewEndTenths = m_pauseTenths = m_playStartTenths = 0;
    m_path.clear();
    m_chapters.reset();
    m_fileSizeBytes = 0;
    m_totalTenths = 0;
    m_outputs.clear();
    m_ui.timeline->setValue(0);
    m_ui.timeline->setRange(0, 0);
    ShowPosition(0);
    m_ui.source->clear();
    m_ui.info->clear();
    m_ui.play->setText(QStringLiteral("&Play"));
    m_ui.preview->setText(QStringLiteral("Previe&w"));
    m_pieces.clear();
    m_selectedBoundaryMs.reset();
    m_ui.waveform->Clear();
    ShowPieces(-1);
    m_ui.wholeFile->setEnabled(false);
    EnableLoaded(false);
    ApplyMode();
}

void CPageSplitter::FillInfoBox() {
    TagInfo tags;
    ReadTags(PathOf(m_path), &tags);  // a file without a tag shows empty fields
    const QString text =
        QStringLiteral(
            "Length: %1     Size: %2\nMP3 Info: %3 Hz, %4 kbps, %5\nTitle: %6\nArtist: %7\nAlbum: %8\n"
            "Year: %9\nGenre: %10\nTrack #: %11\nComment: %12")
            .arg(Utf8(FormatDuration(static_cast<unsigned>(m_totalTenths / kTenthsPerSecond))),
                 Utf8(FormatSize(m_fileSizeBytes)), QString::number(m_player.SampleRateHz()),
                 QString::number(m_player.BitRateKbps()),
                 m_player.Channels() > 1 ? QStringLiteral("Stereo") : QStringLiteral("Mono"), Utf8(tags.title),
                 Utf8(tags.artist), Utf8(tags.album), Utf8(tags.year))
            .arg(Utf8(tags.genre), tags.track > 0 ? QString::number(tags.track) : QString(), Utf8(tags.comment));
    m_ui.info->setPlainText(text);
}

QString CPageSplitter::InfoText() const { return m_ui.info->toPlainText(); }

void CPageSplitter::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CPageSplitter::dropEvent(QDropEvent* event) {
    // The dropped files are tried in order until one loads; nothing is said of the others.
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        const QFileInfo file(url.toLocalFile());
        if (file.isDir() || !file.isReadable()) continue;
        if (LoadSourceFile(file.absoluteFilePath())) break;
    }
    event->acceptProposedAction();
}

// ---- the pieces ------------------------------------------------------------------------------

int CPageSplitter::SelectedPiece() const {
    const QList<QTreeWidgetItem*> selected = m_ui.pieces->selectedItems();
    return selected.isEmpty() ? -1 : m_ui.pieces->indexOfTopLevelItem(selected.front());
}

void CPageSplitter::SelectPiece(int index) {
    QTreeWidgetItem* item = m_ui.pieces->topLevelItem(index);
    if (item == nullptr) {
        m_ui.pieces->clearSelection();
        return;
    }
    m_ui.pieces->setCurrentItem(item);
    item->setSelected(true);
    m_ui.pieces->scrollToItem(item);
}

void CPageSplitter::ShowPieces(int selected) {
    m_showingPieces = true;
    const int rows = static_cast<int>(m_pieces.size());
    while (m_ui.pieces->topLevelItemCount() > rows)
        delete m_ui.pieces->takeTopLevelItem(m_ui.pieces->topLevelItemCount() - 1);
    while (m_ui.pieces->topLevelItemCount() < rows) {
        auto* item = new QTreeWidgetItem(m_ui.pieces);
        // Only the title is edited in place (EditTitle opens its editor).
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        for (int i = 0; i < static_cast<int>(std::size(kPieceColumns)); ++i) {
            item->setTextAlignment(i, kPieceColumns[i].alignment | Qt::AlignVCenter);
        }
    }
    for (int row = 0; row < rows; ++row) {
        const PieceRow& piece = m_pieces[static_cast<std::size_t>(row)];
        QTreeWidgetItem* item = m_ui.pieces->topLevelItem(row);
        const int length = piece.endTenths - piece.startTenths;
        const double share = m_totalTenths > 0 ? static_cast<double>(length) / m_totalTenths : 1.0;
        item->setText(kNumberColumn, QString::number(row + 1));
        item->setCheckState(kNumberColumn, piece.checked ? Qt::Checked : Qt::Unchecked);
        item->setText(kStartColumn, FormatPosition(piece.startTenths, m_totalTenths));
        item->setText(kEndColumn, FormatPosition(piece.endTenths, m_totalTenths));
        item->setText(kLengthColumn, FormatPosition(length, m_totalTenths));
        item->setText(kSizeColumn,
                      Utf8(FormatSize(static_cast<std::int64_t>(share * static_cast<double>(m_fileSizeBytes)))));
        item->setText(kTitleColumn, Utf8(piece.title));
        item->setText(kOutputColumn, piece.outputPath.empty() ? QString() : PathText(piece.outputPath.filename()));
    }
    SelectPiece(selected);
    m_showingPieces = false;
    UpdatePieceButtons();
    ShowSelection();
}

void CPageSplitter::ShowSelection() {
    const int selected = SelectedPiece();
    std::vector<WaveformStrip::Piece> shown;
    Millis startMs = 0;  // each piece starts where the one before ends
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        const Millis endMs = i + 1 < m_pieces.size() ? m_pieces[i].EndMillis() : TenthsToMillis(m_totalTenths);
        shown.push_back({startMs, endMs, m_pieces[i].checked});
        startMs = endMs;
    }
    m_ui.waveform->SetPieces(shown, selected);
    // The chosen boundary goes with an edit that removes it.
    ChooseBoundary(ChosenBoundary());
    m_ui.zoomToPiece->setEnabled(!m_path.isEmpty() && selected >= 0);
    if (selected < 0) {
        m_ui.timeline->SetSelection(0, 0);
        return;
    }
    const PieceRow& piece = m_pieces[static_cast<std::size_t>(selected)];
    m_ui.timeline->SetSelection(piece.startTenths, piece.endTenths);
}

void CPageSplitter::EditTitle(int row) {
    QTreeWidgetItem* item = m_ui.pieces->topLevelItem(row);
    if (item == nullptr || !m_ui.pieces->isEnabled()) return;
    m_ui.pieces->editItem(item, kTitleColumn);
}

void CPageSplitter::AddPiece() {
    if (m_path.isEmpty() || !m_ui.addPiece->isEnabled()) return;
    const int position = m_ui.timeline->value();
    const int added = pieces::AddSplitPoint(&m_pieces, position, m_totalTenths);
    if (added < 0) {
        ShowMessage(Desktop(), this, QStringLiteral("%1 has been added.").arg(FormatPosition(position, m_totalTenths)));
        return;
    }
    ShowPieces(added);
}

void CPageSplitter::SetStart() {
    MoveBoundary(&pieces::SetStart, m_ui.setStart, pieces::BoundaryOutcome::StartNotBefore, kStartNotBeforeEnd);
}

void CPageSplitter::SetEnd() {
    MoveBoundary(&pieces::SetEnd, m_ui.setEnd, pieces::BoundaryOutcome::EndNotAfter, kEndNotAfterStart);
}

void CPageSplitter::RefuseBoundaryMove(timeline::Past past) {
    // Pressed against the boundary after it, the start of a piece would reach its end;
    // against the one before, the end of the piece before would reach its start.
    ShowMessage(Desktop(), this,
                QString::fromLatin1(past == timeline::Past::Next ? kStartNotBeforeEnd : kEndNotAfterStart));
}

void CPageSplitter::MoveBoundary(BoundaryEdit edit, QPushButton* button, pieces::BoundaryOutcome refused,
                                 const char* refusal) {
    const int selected = SelectedPiece();
    if (selected < 0 || !button->isEnabled()) return;
    const pieces::BoundaryMove move = edit(&m_pieces, selected, m_ui.timeline->value(), m_totalTenths);
    if (move.outcome == refused) {
        ShowMessage(Desktop(), this, QString::fromLatin1(refusal));
        return;
    }
    if (move.outcome != pieces::BoundaryOutcome::Moved) return;
    ShowPieces(move.selected);
    m_ui.timeline->setFocus(Qt::OtherFocusReason);
}

void CPageSplitter::GoTo(int tenths) {
    m_ui.timeline->setValue(tenths);
    ShowPosition(tenths);
    m_ui.timeline->setFocus(Qt::OtherFocusReason);
}

void CPageSplitter::GoToStart() {
    if (const int selected = SelectedPiece(); selected >= 0)
        GoTo(m_pieces[static_cast<std::size_t>(selected)].startTenths);
}

void CPageSplitter::GoToEnd() {
    if (const int selected = SelectedPiece(); selected >= 0)
        GoTo(m_pieces[static_cast<std::size_t>(selected)].endTenths);
}

void CPageSplitter::RemovePiece() {
    if (m_pieces.size() == 1) {
        if (AskYesNo(Desktop(), this, QStringLiteral("Are you sure you want to close current file?")))
            CloseSourceFile();
        return;
    }
    const int selected = SelectedPiece();
    if (selected < 0) return;
    ShowPieces(pieces::RemovePiece(&m_pieces, selected));
}

void CPageSplitter::ResetPieces() {
    if (m_pieces.size() < 2) return;
    if (!AskYesNo(Desktop(), this, QStringLiteral("Are you sure you want to reset all pieces?"))) return;
    pieces::ResetPieces(&m_pieces, m_totalTenths);
    ShowPieces(0);
}

void CPageSplitter::AddMenuEntries(QMenu* menu) {
    const bool custom = m_ui.mode.Mode() == SplitTypeCode::ByCustom && !m_path.isEmpty();
    const int selected = SelectedPiece();
    const bool one = custom && selected >= 0;
    const bool hasOutput = one && !m_pieces[static_cast<std::size_t>(selected)].outputPath.empty();
    menu->addAction(QStringLiteral("&Preview"), this, &CPageSplitter::PreviewPressed)->setEnabled(one);
    menu->addAction(QStringLiteral("&Remove"), this, &CPageSplitter::RemovePiece)->setEnabled(one);
    menu->addAction(QStringLiteral("Re&set"), this, &CPageSplitter::ResetPieces)->setEnabled(custom);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Zoom to Piece"), this, &CPageSplitter::ZoomToPiece)
        ->setEnabled(!m_path.isEmpty() && selected >= 0);
    menu->addAction(QStringLiteral("W&hole File"), this, &CPageSplitter::ShowWholeFile)->setEnabled(!m_path.isEmpty());
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Browse..."), this,
                    [this] {
                        const int row = SelectedPiece();
                        if (row < 0 || m_pieces[static_cast<std::size_t>(row)].outputPath.empty()) return;
                        Desktop().ShowInFileManager(PathText(m_pieces[static_cast<std::size_t>(row)].outputPath));
                    })
        ->setEnabled(hasOutput);
}

void CPageSplitter::OpenMenuAt(const QPoint& globalPos) {
    QMenu menu(this);
    AddMenuEntries(&menu);
    menu.exec(globalPos);
}

void CPageSplitter::resizeEvent(QResizeEvent* event) {
    CResizablePage::resizeEvent(event);
    // The waveform's positions line up with the timeline's thumb below it.
    const QMargins insets = m_ui.timeline->ValueInsets();
    if (m_ui.waveform->contentsMargins() != insets) m_ui.waveform->setContentsMargins(insets);
}

bool CPageSplitter::eventFilter(QObject* watched, QEvent* event) {
    // The waveform keeps its share of the height at every size of the page.
    if (watched == m_ui.waveformSplit && event->type() == QEvent::Resize) ApplyWaveformSplit();
    // The read-only fields (the source path, the information box) would take the page's keys
    // as text they cannot type; leave those keys to the page.
    if (event->type() == QEvent::ShortcutOverride && (watched == m_ui.source || watched == m_ui.info)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_M || key == Qt::Key_I || key == Qt::Key_O) return true;
    }
    if (watched == m_ui.pieces && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2) {
        EditTitle(SelectedPiece());
        return true;
    }
    // The keyboard's menu key opens the pieces' menu at the middle of the list.
    if (watched == m_ui.pieces && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        OpenMenuAt(m_ui.pieces->mapToGlobal(m_ui.pieces->rect().center()));
        return true;
    }
    return CResizablePage::eventFilter(watched, event);
}

// ---- splitting ------------------------------------------------------------------------------

void CPageSplitter::SplitNow() {
    if (m_path.isEmpty()) return;
    ProgressDialog progress(this);
    progress.SetText(QStringLiteral("Splitting %1...").arg(QFileInfo(m_path).fileName()));
    progress.Start();
    progress.Pump().PumpMessages();

    StoreInputs();
    const SplitInputs inputs = SplitInputs::FromSettings(Inputs());
    const SplitterOptions options = m_settings.splitterOptions;
    SplitPlanContext context;
    context.options = &options;
    context.operation = progress.Operation();
    context.resolve = MakeSplitOutputResolver(options);
    const page_plans::PageSource source{PathOf(m_path), static_cast<std::uint64_t>(m_fileSizeBytes), m_totalTenths};
    const RunResult result = page_plans::PlanLoadedFile(context, inputs, source, &m_pieces, &m_outputs);
    // A manual plan marks the rows it wrote.
    if (inputs.mode == SplitTypeCode::ByCustom) ShowPieces(SelectedPiece());
    progress.Finish();

    if (result.outcome == RunOutcome::Failed) {
        if (!result.message.empty()) ShowMessage(Desktop(), this, Utf8(result.message));
        return;
    }
    if (!options.BrowseFolder || m_outputs.empty()) return;
    Desktop().ShowInFileManager(PathText(m_outputs.front()));
}

}  // namespace qm
