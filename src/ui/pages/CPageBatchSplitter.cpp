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
#include "ui/pages/PageSizes.h"
#include "ui/pages/SplitModeInputs.h"
#include "ui/kit/ShellCalls.h"
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
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
    m_body->addWidget(MakeModeInputs());
    m_list = new FileListCtrl(ListKind::BatchSplitter, this);
    m_list->SetFolderSettings(&settings, SettingsPage::BatchSplitter);
    m_list->SetMenuEntries([this](QMenu* menu) { AddMenuEntries(menu); });
    m_body->addWidget(m_list, 1);
    m_body->addWidget(MakeButtons());

    // Tab order: each mode, then its inputs; the list; the buttons left to right.
    QWidget* const chain[] = {m_mode.Button(SplitTypeCode::BySize),
                              m_mode.size,
                              m_mode.unit,
                              m_mode.Button(SplitTypeCode::ByCount),
                              m_mode.count,
                              m_mode.Button(SplitTypeCode::ByTime),
                              m_mode.minutes,
                              m_mode.seconds,
                              m_mode.Button(SplitTypeCode::ByCustom),
                              m_begin,
                              m_length,
                              m_list,
                              m_addFiles,
                              m_addFolder,
                              m_remove,
                              m_removeAll,
                              m_splitAll,
                              m_splitSelected};
    for (std::size_t i = 1; i < std::size(chain); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }

    ShowInputs(settings.batchSplitter.split);
    EnableByMode();
    UpdateButtons();
    connect(m_list, &FileListCtrl::RowCountChanged, this, &CPageBatchSplitter::UpdateButtons);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CPageBatchSplitter::UpdateButtons);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { PlaySelected(); });
    m_list->TakeDropsAnywhereOn(this);
}

CPageBatchSplitter::~CPageBatchSplitter() {
    StoreInputs();
    m_list->DeleteAllRows();
}

QWidget* CPageBatchSplitter::MakeModeInputs() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    m_mode = MakeSplitModeRows(grid, this,
                               {kMinSizeUnits, kMinPieceCount, "The number of pieces of equal duration each file gives",
                                "By &time", "&minutes", "seconds each file"});
    m_begin = new TextSpinBox(TextSpinBox::Steps::Tenths, box);
    m_length = new TextSpinBox(TextSpinBox::Steps::Tenths, box);
    m_begin->setToolTip(QStringLiteral("Where the piece starts, in seconds with one decimal (12.5)"));
    m_length->setToolTip(
        QStringLiteral("How long the piece is, in seconds with one decimal; 0 takes the rest of the file"));
    AddModeRow(grid, m_mode.modes, SplitTypeCode::ByCustom, "By c&ustom",
               {TextLabel("&Begin at", m_begin, box), m_begin, TextLabel("seconds, a&nd", m_length, box), m_length,
                TextLabel("seconds length (0 means unlimited length)", nullptr, box)});
    grid->setColumnStretch(1, 1);
    for (QWidget* edit : {m_begin, m_length}) edit->setMinimumWidth(ModeEditWidth(box));

    connect(m_mode.modes, &QButtonGroup::idClicked, this, &CPageBatchSplitter::ModeChosen);
    const auto store = [this] { StoreInputs(); };
    m_mode.ConnectChanges(this, store);
    connect(m_begin, &TextSpinBox::TextEdited, this, store);
    connect(m_length, &TextSpinBox::TextEdited, this, store);
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
    m_addFiles = button("&Add Files", "Add MP3 files to the list", [this] { m_list->AddFiles(); });
    m_addFolder =
        button("Add &Folder", "Add the MP3 files of a folder and its subfolders", [this] { m_list->AddFolder(); });
    m_remove = button("&Remove", "Take the selected files off the list", [this] { RemoveSelected(); });
    m_removeAll = button("Remove A&ll", "Take every file off the list", [this] { RemoveAll(); });
    line->addStretch(1);
    m_splitAll = button("&Split All", "Split every file of the list, top to bottom", [this] { SplitAll(); });
    m_splitSelected = button("Split Selecte&d", "Split only the selected files", [this] { SplitSelected(); });
    return row;
}

void CPageBatchSplitter::ShowInputs(const SplitSettings& shown) {
    // A copy: each control's change signal stores the controls back into the settings.
    const SplitSettings inputs = shown;
    m_showingInputs = true;
    m_mode.Show(inputs);
    m_begin->SetText(QString::fromStdString(inputs.SplitCustomFromSec));
    m_length->SetText(QString::fromStdString(inputs.SplitCustomDuration));
    m_showingInputs = false;
}

SplitSettings CPageBatchSplitter::Inputs() const {
    SplitSettings inputs;
    m_mode.Take(&inputs);
    inputs.SplitCustomFromSec = m_begin->Text().toStdString();
    inputs.SplitCustomDuration = m_length->Text().toStdString();
    return inputs;
}

void CPageBatchSplitter::StoreInputs() {
    // Kept in the store at every change: the store writes its groups at exit, before the
    // pages' windows go.
    if (!m_showingInputs && m_mode.modes != nullptr && m_mode.modes->checkedId() >= 0) {
        m_settings.batchSplitter.split = Inputs();
    }
}

void CPageBatchSplitter::EnableByMode() {
    m_mode.EnableInputs(/*enabled=*/true);
    const bool custom = m_mode.Mode() == SplitTypeCode::ByCustom;
    m_begin->setEnabled(custom);
    m_length->setEnabled(custom);
}

void CPageBatchSplitter::ModeChosen(int mode) {
    EnableByMode();
    StoreInputs();
    const auto chosen = static_cast<SplitTypeCode>(mode);
    QWidget* first = chosen == SplitTypeCode::ByCustom ? m_begin : m_mode.FirstInput(chosen);
    if (first != nullptr) first->setFocus(Qt::OtherFocusReason);
}

void CPageBatchSplitter::UpdateButtons() {
    const bool hasRows = m_list->RowCount() > 0;
    const bool selected = !m_list->selectedItems().isEmpty();
    m_remove->setEnabled(selected);
    m_removeAll->setEnabled(hasRows);
    m_splitAll->setEnabled(hasRows);
    m_splitSelected->setEnabled(selected);
}

std::vector<int> CPageBatchSplitter::SelectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : m_list->selectedItems()) rows.push_back(m_list->indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CPageBatchSplitter::SplitAll() {
    std::vector<int> rows(static_cast<std::size_t>(m_list->RowCount()));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    RunOver(rows);
}

void CPageBatchSplitter::SplitSelected() { RunOver(SelectedRows()); }

void CPageBatchSplitter::RemoveSelected() {
    const std::vector<int> rows = SelectedRows();
    // From the bottom, so that the indices still to delete stay valid.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) m_list->DeleteRow(*row);
    UpdateButtons();
}

void CPageBatchSplitter::RemoveAll() {
    m_list->DeleteAllRows();
    UpdateButtons();
}

void CPageBatchSplitter::PlaySelected() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    OpenWithShell(PathText(m_list->Record(rows.front())->path));
}

void CPageBatchSplitter::BrowseSourceFolder() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    m_fileManager.Show(PathText(m_list->Record(rows.front())->path));
}

void CPageBatchSplitter::BrowseOutputFolder() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || m_list->Record(rows.front())->outputPaths.empty()) return;
    m_fileManager.Show(PathText(m_list->Record(rows.front())->outputPaths.front()));
}

void CPageBatchSplitter::AddMenuEntries(QMenu* menu) {
    const std::vector<int> rows = SelectedRows();
    const bool selected = !rows.empty();
    const bool hasOutputs = selected && !m_list->Record(rows.front())->outputPaths.empty();
    menu->addAction(QStringLiteral("Split S&elected"), this, [this] { SplitSelected(); })->setEnabled(selected);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Play"), this, [this] { PlaySelected(); })->setEnabled(selected);
    menu->addAction(QStringLiteral("&Browse Source Folder"), this, [this] { BrowseSourceFolder(); })
        ->setEnabled(selected);
    menu->addAction(QStringLiteral("Browse &Output Folder"), this, [this] { BrowseOutputFolder(); })
        ->setEnabled(hasOutputs);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Remove"), this, [this] { RemoveSelected(); })->setEnabled(selected);
    menu->addAction(QStringLiteral("Remove A&ll"), this, [this] { RemoveAll(); })->setEnabled(m_list->RowCount() > 0);
}

void CPageBatchSplitter::SetRunObserver(std::function<void(BatchProgressDialog*)> observer) {
    m_runObserver = std::move(observer);
}


void CPageBatchSplitter::RunOver(const std::vector<int>& rows) {
    if (rows.empty() || m_running) return;
    m_running = true;
    StoreInputs();
    const SplitterOptions options = m_settings.splitterOptions;

    std::vector<BatchSplitFile> files(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ListItemRecord* record = m_list->Record(rows[i]);
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
    if (m_runObserver) m_runObserver(&dialog);

    BatchSplitJob job;
    const BatchFilePlanner planner = MakeBatchFilePlanner(BatchSplitInputs::FromSettings(Inputs()));
    job.planner = [&](const SplitPlanContext& context, batch_plans::BatchEntry* entry, int* sequence,
                      std::string* message) {
        if (const int row = rowOf(entry); row >= 0) {
            m_list->FollowRow(row);
            m_list->SetItemText(row, OutputColumn(), QString::fromLatin1(kSplittingOutcome));
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
        m_list->Record(row)->outputPaths = file.entry.outputs;
        m_list->SetItemText(row, OutputColumn(), QString::fromStdString(file.outcome));
    };
    const bool finished = RunBatchSplit(job, &files);
    dialog.Finish();
    m_running = false;
    UpdateButtons();
    // An outcome is read whole where the window has room for it.
    m_list->FitColumnToContents(OutputColumn());

    if (!finished || !options.BrowseFolder) return;
    for (const BatchSplitFile& file : files) {
        if (!file.entry.outputs.empty()) {
            m_fileManager.Show(PathText(file.entry.outputs.front()));
            break;
        }
    }
}

}  // namespace qm
