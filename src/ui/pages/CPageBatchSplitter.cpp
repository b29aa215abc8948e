#include "ui/pages/CPageBatchSplitter.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <utility>

#include "batch/BatchSplit.h"
#include "settings/Settings.h"
#include "ui/pages/CPageBatchSplitterSpin.h"
#include "ui/pages/SilenceDialog.h"
#include "ui/pages/SplitModeInputs.h"
#include "ui/widgets/BatchProgressDialog.h"
#include "ui/widgets/PathText.h"

namespace qm {

namespace {

namespace fs = std::filesystem;

// The lowest values the arrows reach: a size of 1 unit, 2 pieces.
constexpr int kMinSizeUnits = 1;
constexpr int kMinPieceCount = 2;

int OutputColumn() { return ColumnIndex(ListKind::BatchSplitter, ListColumn::Output); }

}  // namespace

CPageBatchSplitter::CPageBatchSplitter(SettingsStore& settings, QWidget* parent)
    : ListPageWith(kCaption, settings, parent) {
    Body()->addWidget(MakeModeInputs());
    m_ui.list =
        MakeList(ListKind::BatchSplitter, SettingsPage::BatchSplitter, [this](QMenu* menu) { AddMenuEntries(menu); });
    Body()->addWidget(m_ui.list, 1);
    Body()->addWidget(MakeButtons());

    // Tab order: each mode, then its inputs; the list; the buttons left to right.
    const SplitModeControls& mode = m_ui.mode;
    QWidget* const chain[] = {mode.Button(SplitTypeCode::BySize),
                              mode.size,
                              mode.unit,
                              mode.Button(SplitTypeCode::ByCount),
                              mode.count,
                              mode.Button(SplitTypeCode::ByTime),
                              mode.minutes,
                              mode.seconds,
                              mode.Button(SplitTypeCode::ByCustom),
                              m_ui.begin,
                              m_ui.length,
                              mode.Button(SplitTypeCode::BySilence),
                              m_ui.silenceSettings,
                              mode.Button(SplitTypeCode::ByMarks),
                              m_ui.list,
                              m_ui.addFiles,
                              m_ui.addFolder,
                              m_ui.remove,
                              m_ui.removeAll,
                              m_ui.splitAll,
                              m_ui.splitSelected};
    for (std::size_t i = 1; i < std::size(chain); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }

    ShowInputs(settings.batchSplitter.split);
    EnableByMode();
    UpdateButtons();
    connect(m_ui.list, &QTreeWidget::itemDoubleClicked, this, [this] { PlaySelected(); });
    m_ui.list->TakeDropsAnywhereOn(this);
}

CPageBatchSplitter::~CPageBatchSplitter() { StoreInputs(); }

QWidget* CPageBatchSplitter::MakeModeInputs() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    m_ui.mode =
        MakeSplitModeRows(grid, this,
                          {kMinSizeUnits, kMinPieceCount, "The number of pieces of equal duration each file gives",
                           "By &time", "&minutes", "seconds each file"});
    m_ui.begin = new TextSpinBox(TextSpinBox::Steps::Tenths, box);
    m_ui.length = new TextSpinBox(TextSpinBox::Steps::Tenths, box);
    m_ui.begin->setToolTip(QStringLiteral("Where the piece starts, in seconds with one decimal (12.5)"));
    m_ui.length->setToolTip(
        QStringLiteral("How long the piece is, in seconds with one decimal; 0 takes the rest of the file"));
    AddModeRow(grid, m_ui.mode.modes, SplitTypeCode::ByCustom, "By c&ustom",
               {TextLabel("&Begin at", m_ui.begin, box), m_ui.begin, TextLabel("seconds, a&nd", m_ui.length, box),
                m_ui.length, TextLabel("seconds length (0 means unlimited length)", nullptr, box)});
    m_ui.silenceSettings = new QPushButton(QStringLiteral("S&ettings..."), box);
    m_ui.silenceSettings->setToolTip(QStringLiteral("How quiet and how long a pause is, and how long the pieces"));
    connect(m_ui.silenceSettings, &QPushButton::clicked, this, &CPageBatchSplitter::EditSilenceSettings);
    AddModeRow(grid, m_ui.mode.modes, SplitTypeCode::BySilence, "By s&ilence",
               {m_ui.silenceSettings, TextLabel("cut at the pauses of each file", nullptr, box)});
    AddModeRow(grid, m_ui.mode.modes, SplitTypeCode::ByMarks, "By cue sheet or c&hapters",
               {TextLabel("each file's NAME.cue beside it, else its chapters", nullptr, box)});
    grid->setColumnStretch(1, 1);
    for (QWidget* edit : {m_ui.begin, m_ui.length}) edit->setMinimumWidth(ModeEditWidth(box));

    connect(m_ui.mode.modes, &QButtonGroup::idClicked, this, &CPageBatchSplitter::ModeChosen);
    const auto store = [this] { StoreInputs(); };
    m_ui.mode.ConnectChanges(this, store);
    connect(m_ui.begin, &TextSpinBox::TextEdited, this, store);
    connect(m_ui.length, &TextSpinBox::TextEdited, this, store);
    return box;
}

QWidget* CPageBatchSplitter::MakeButtons() {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    const auto button = [&](const char* caption, const char* tip, auto slot) {
        auto* b = new QPushButton(QString::fromUtf8(caption), row);
        if (tip != nullptr) b->setToolTip(QString::fromUtf8(tip));
        connect(b, &QPushButton::clicked, this, slot);
        line->addWidget(b);
        return b;
    };
    m_ui.addFiles = button("&Add Files", "Add MP3 files to the list", [this] { m_ui.list->AddFiles(); });
    m_ui.addFolder =
        button("Add &Folder", "Add the MP3 files of a folder and its subfolders", [this] { m_ui.list->AddFolder(); });
    m_ui.remove = button("&Remove", "Take the selected files off the list", [this] { m_ui.list->RemoveSelected(); });
    m_ui.removeAll = button("Remove A&ll", "Take every file off the list", [this] { m_ui.list->DeleteAllRows(); });
    line->addStretch(1);
    m_ui.splitAll = button("&Split All", "Split every file of the list, top to bottom", [this] { SplitAll(); });
    m_ui.splitSelected = button("Split Selecte&d", "Split only the selected files", [this] { SplitSelected(); });
    return row;
}

void CPageBatchSplitter::ShowInputs(const SplitSettings& shown) {
    // A copy: each control's change signal stores the controls back into the settings.
    const SplitSettings inputs = shown;
    m_showingInputs = true;
    m_ui.mode.Show(inputs);
    m_ui.begin->SetText(QString::fromStdString(inputs.SplitCustomFromSec));
    m_ui.length->SetText(QString::fromStdString(inputs.SplitCustomDuration));
    m_showingInputs = false;
}

SplitSettings CPageBatchSplitter::Inputs() const {
    // The silence options have no controls on the page: they stay as stored.
    SplitSettings inputs = Settings().batchSplitter.split;
    m_ui.mode.Take(&inputs);
    inputs.SplitCustomFromSec = m_ui.begin->Text().toStdString();
    inputs.SplitCustomDuration = m_ui.length->Text().toStdString();
    return inputs;
}

void CPageBatchSplitter::StoreInputs() {
    // Kept in the store at every change: the store writes its groups at exit, before the
    // pages' windows go.
    if (!m_showingInputs && m_ui.mode.modes != nullptr && m_ui.mode.modes->checkedId() >= 0) {
        Settings().batchSplitter.split = Inputs();
    }
}

void CPageBatchSplitter::EnableByMode() {
    m_ui.mode.EnableInputs(/*enabled=*/true);
    const bool custom = m_ui.mode.Mode() == SplitTypeCode::ByCustom;
    m_ui.begin->setEnabled(custom);
    m_ui.length->setEnabled(custom);
    m_ui.silenceSettings->setEnabled(m_ui.mode.Mode() == SplitTypeCode::BySilence);
}

void CPageBatchSplitter::EditSilenceSettings() {
    EditSilenceOptions(this, QStringLiteral("Split at Silences"), &Settings().batchSplitter.split.silence);
}

void CPageBatchSplitter::ModeChosen(int mode) {
    EnableByMode();
    StoreInputs();
    const auto chosen = static_cast<SplitTypeCode>(mode);
    QWidget* first = chosen == SplitTypeCode::ByCustom    ? m_ui.begin
                     : chosen == SplitTypeCode::BySilence ? m_ui.silenceSettings
                                                          : m_ui.mode.FirstInput(chosen);
    if (first != nullptr) first->setFocus(Qt::OtherFocusReason);
}

void CPageBatchSplitter::UpdateButtons() {
    const bool hasRows = m_ui.list->RowCount() > 0;
    const bool selected = !m_ui.list->selectedItems().isEmpty();
    m_ui.remove->setEnabled(selected);
    m_ui.removeAll->setEnabled(hasRows);
    m_ui.splitAll->setEnabled(hasRows);
    m_ui.splitSelected->setEnabled(selected);
}

void CPageBatchSplitter::SplitAll() {
    std::vector<int> rows(static_cast<std::size_t>(m_ui.list->RowCount()));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    RunOver(rows);
}

void CPageBatchSplitter::SplitSelected() { RunOver(m_ui.list->SelectedRows()); }

const ListItemRecord* CPageBatchSplitter::FirstSelected() const {
    const std::vector<int> rows = m_ui.list->SelectedRows();
    return rows.empty() ? nullptr : m_ui.list->Record(rows.front());
}

void CPageBatchSplitter::PlaySelected() {
    if (const ListItemRecord* record = FirstSelected()) OpenWithDesktop(record->path);
}

void CPageBatchSplitter::BrowseSourceFolder() {
    if (const ListItemRecord* record = FirstSelected()) ShowInFileManager(record->path);
}

void CPageBatchSplitter::BrowseOutputFolder() {
    const ListItemRecord* record = FirstSelected();
    if (record != nullptr && !record->outputPaths.empty()) ShowInFileManager(record->outputPaths.front());
}

void CPageBatchSplitter::AddMenuEntries(QMenu* menu) {
    const ListItemRecord* first = FirstSelected();
    const bool selected = first != nullptr;
    const bool hasOutputs = selected && !first->outputPaths.empty();
    menu->addAction(QStringLiteral("Split S&elected"), this, [this] { SplitSelected(); })->setEnabled(selected);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Play"), this, [this] { PlaySelected(); })->setEnabled(selected);
    menu->addAction(QStringLiteral("&Browse Source Folder"), this, [this] { BrowseSourceFolder(); })
        ->setEnabled(selected);
    menu->addAction(QStringLiteral("Browse &Output Folder"), this, [this] { BrowseOutputFolder(); })
        ->setEnabled(hasOutputs);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Remove"), m_ui.list, &FileListCtrl::RemoveSelected)->setEnabled(selected);
    menu->addAction(QStringLiteral("Remove A&ll"), m_ui.list, &FileListCtrl::DeleteAllRows)
        ->setEnabled(m_ui.list->RowCount() > 0);
}

void CPageBatchSplitter::RunOver(const std::vector<int>& rows) {
    if (rows.empty() || m_running) return;
    m_running = true;
    StoreInputs();
    const SplitterOptions options = Settings().splitterOptions;

    std::vector<BatchSplitFile> files(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ListItemRecord* record = m_ui.list->Record(rows[i]);
        files[i].entry.path = record->path;
        files[i].entry.durationSeconds = record->durationSeconds;
        files[i].entry.outputs = record->outputPaths;
    }
    const auto rowOf = [&](const batch_plans::BatchEntry* entry) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (&files[i].entry == entry) return rows[i];
        }
        return -1;
    };

    BatchProgressDialog dialog(this);
    dialog.Start();
    dialog.RunBar().SetStep(1);
    ObserveRun(&dialog);

    BatchSplitJob job;
    const BatchFilePlanner planner = MakeBatchFilePlanner(SplitInputs::FromSettings(Inputs()));
    job.planner = [&](const SplitPlanContext& context, batch_plans::BatchEntry* entry, int* sequence,
                      std::string* message) {
        if (const int row = rowOf(entry); row >= 0) {
            m_ui.list->FollowRow(row);
            m_ui.list->SetItemText(row, OutputColumn(), QString::fromLatin1(kSplittingOutcome));
            dialog.Pump().PumpMessages();
        }
        return planner(context, entry, sequence, message);
    };
    job.options = &options;
    job.resolve = MakeSplitOutputResolver(options);
    job.progress = BatchSplitProgress{&dialog.FileBar(), &dialog.FileText(), &dialog.RunBar(),
                                      &dialog.RunText(), &dialog.Pump(),     dialog.Flag()};
    job.onFileDone = [&](const BatchSplitFile& file) {
        const int row = rowOf(&file.entry);
        if (row < 0) return;
        m_ui.list->Record(row)->outputPaths = file.entry.outputs;
        m_ui.list->SetItemText(row, OutputColumn(), QString::fromStdString(file.outcome));
    };
    const bool finished = RunBatchSplit(job, &files);
    dialog.Finish();
    m_running = false;
    UpdateButtons();
    // An outcome is read whole where the window has room for it.
    m_ui.list->FitColumnToContents(OutputColumn());

    if (!finished || !options.BrowseFolder) return;
    for (const BatchSplitFile& file : files) {
        if (!file.entry.outputs.empty()) {
            ShowInFileManager(file.entry.outputs.front());
            break;
        }
    }
}

}  // namespace qm
