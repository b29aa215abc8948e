#include "ui/pages/CPageJoiner.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <algorithm>
#include <span>
#include <vector>

#include "join/ChooseJoin.h"
#include "join/JoinList.h"
#include "settings/Settings.h"
#include "stream/AudioLayer.h"
#include "stream/Tags.h"
#include "ui/pages/PageSizes.h"
#include "ui/kit/MessageBoxes.h"
#include "ui/kit/ShellCalls.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/ProgressDialog.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// An ID3v2 track number is text: the box takes it as typed, up to 9999.
constexpr int kTrackDigits = 4;
constexpr int kTrackSpinLow = 1;
constexpr int kTrackSpinHigh = 9999;

// The page's tag fields and the list column each is copied from, in the columns' order.
struct TagFieldColumn {
    std::string JoinerPageSettings::*text;
    ListColumn column;
};
constexpr TagFieldColumn kTagFieldColumns[] = {
    {&JoinerPageSettings::ID3TrackNo, ListColumn::Track}, {&JoinerPageSettings::ID3Title, ListColumn::Title},
    {&JoinerPageSettings::ID3Artist, ListColumn::Artist}, {&JoinerPageSettings::ID3Album, ListColumn::Album},
    {&JoinerPageSettings::ID3Year, ListColumn::Year},     {&JoinerPageSettings::ID3GenreEx, ListColumn::Genre},
    {&JoinerPageSettings::ID3Comment, ListColumn::Comment},
};

// The track number box: up to four digits or nothing, with arrows stepping from 1 to 9999.
class TrackNumberBox final : public QAbstractSpinBox {
public:
    explicit TrackNumberBox(QWidget* parent) : QAbstractSpinBox(parent) {
        lineEdit()->setMaxLength(kTrackDigits);
        setAlignment(Qt::AlignRight);
    }

    void SetText(const QString& text) { lineEdit()->setText(text); }

    QValidator::State validate(QString& input, int&) const override {
        if (input.size() > kTrackDigits) return QValidator::Invalid;
        for (const QChar c : input) {
            if (!c.isDigit() || c.unicode() > '9') return QValidator::Invalid;
        }
        return QValidator::Acceptable;
    }

    void stepBy(int steps) override {
        const int value = std::clamp(text().toInt() + steps, kTrackSpinLow, kTrackSpinHigh);
        lineEdit()->setText(QString::number(value));
        lineEdit()->selectAll();
    }

    QSize sizeHint() const override {
        QSize hint = QAbstractSpinBox::sizeHint();
        hint.setWidth(std::max(hint.width(),
                               fontMetrics().horizontalAdvance(QStringLiteral("00000")) + fontMetrics().height() * 2));
        return hint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

// The system's save dialog and file manager.
class SystemTargetDialogs final : public JoinerTargetDialogs {
public:
    QString ChooseTarget(QWidget* parent, const QString& startFolder) override {
        QFileDialog dialog(parent);
        dialog.setDirectory(startFolder);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("MP3 File (*.mp3)"));
        dialog.setDefaultSuffix(QStringLiteral("mp3"));
        // Qt's dialog asks before it replaces a file and only accepts a name in an
        // existing folder.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().front();
    }
    void ShowInFileManager(const QString& path) override { SelectInExplorer(path); }
};

JoinerTargetDialogs*& TargetDialogsInUse() {
    static JoinerTargetDialogs* dialogs = nullptr;
    return dialogs;
}

// The number a track text starts with; 0 when it starts with none.
int LeadingNumber(const QString& text) {
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') break;
        value = value * 10 + (c.unicode() - '0');
        if (value > 100000) break;
    }
    return value;
}

}  // namespace

JoinerTargetDialogs& CurrentJoinerTargetDialogs() {
    static SystemTargetDialogs system;
    return TargetDialogsInUse() != nullptr ? *TargetDialogsInUse() : system;
}

void SetJoinerTargetDialogs(JoinerTargetDialogs* dialogs) { TargetDialogsInUse() = dialogs; }

CPageJoiner::CPageJoiner(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
    m_list = new FileListCtrl(ListKind::Joiner, this);
    m_list->SetFolderSettings(&settings, SettingsPage::Joiner);
    m_list->SetMenuEntries([this](QMenu* menu) { AddMenuEntries(menu); });
    // Rows can be dragged to another place in the list; files dropped from outside are
    // still added by the list itself.
    m_list->setDragEnabled(true);
    m_list->viewport()->installEventFilter(this);
    m_dropLine = new QFrame(m_list->viewport());
    m_dropLine->setAutoFillBackground(true);
    m_dropLine->setBackgroundRole(QPalette::Highlight);
    m_dropLine->hide();

    const auto button = [this](const char* caption, void (CPageJoiner::*command)()) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        connect(b, &QPushButton::clicked, this, command);
        return b;
    };
    m_join = button("&Join Now!", &CPageJoiner::JoinNow);
    m_join->setDefault(true);
    m_join->setToolTip(QStringLiteral("Join the listed files, top to bottom, into one MP3 file"));
    m_addFiles = new QPushButton(QStringLiteral("&Add Files"), this);
    connect(m_addFiles, &QPushButton::clicked, m_list, &FileListCtrl::AddFiles);
    m_addFolder = new QPushButton(QStringLiteral("Add &Folder"), this);
    m_addFolder->setToolTip(QStringLiteral("Add the MP3 files of a folder and its subfolders"));
    connect(m_addFolder, &QPushButton::clicked, m_list, &FileListCtrl::AddFolder);
    m_remove = button("&Remove", &CPageJoiner::RemoveSelected);
    m_removeAll = button("Remove A&ll", &CPageJoiner::RemoveAll);
    m_up = button("&Up", &CPageJoiner::MoveUp);
    m_up->setToolTip(QStringLiteral("Move the selected files one place up"));
    m_down = button("&Down", &CPageJoiner::MoveDown);
    m_down->setToolTip(QStringLiteral("Move the selected files one place down"));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_join);
    buttons->addSpacing(fontMetrics().height());
    for (QPushButton* b : {m_addFiles, m_addFolder, m_remove, m_removeAll}) buttons->addWidget(b);
    buttons->addSpacing(fontMetrics().height());
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    buttons->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(buttons);
    m_body->addLayout(top, 1);

    BuildTagGroup();
    m_body->addWidget(m_tagGroup);

    ShowTagFields(m_settings.joinerPage);
    for (QLineEdit* edit : {m_title, m_artist, m_album, m_comment, m_year}) {
        connect(edit, &QLineEdit::textChanged, this, &CPageJoiner::StoreTagFields);
    }
    connect(m_track->findChild<QLineEdit*>(), &QLineEdit::textChanged, this, &CPageJoiner::StoreTagFields);
    connect(m_genre, &QComboBox::editTextChanged, this, &CPageJoiner::StoreTagFields);

    connect(m_list, &FileListCtrl::RowCountChanged, this, &CPageJoiner::UpdateEnabling);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CPageJoiner::UpdateEnabling);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const int row = m_list->indexOfTopLevelItem(item);
        if (const ListItemRecord* record = m_list->Record(row)) OpenWithShell(PathText(record->path));
    });

    setTabOrder(m_list, m_join);
    QWidget* previous = m_join;
    for (QWidget* next :
         std::initializer_list<QWidget*>{m_addFiles, m_addFolder, m_remove, m_removeAll, m_up, m_down, m_title,
                                         m_artist, m_album, m_year, m_comment, m_genre, m_track, m_copyTag}) {
        setTabOrder(previous, next);
        previous = next;
    }
    UpdateEnabling();
    m_list->TakeDropsAnywhereOn(this);
}

CPageJoiner::~CPageJoiner() { StoreTagFields(); }

// The settings are written at exit before the pages go, so the store follows every edit.
void CPageJoiner::StoreTagFields() {
    // The stored fields keep the folder "Add Folder" wrote meanwhile.
    const JoinerPageSettings fields = TagFields();
    JoinerPageSettings& stored = m_settings.joinerPage;
    for (const TagFieldColumn& field : kTagFieldColumns) stored.*field.text = fields.*field.text;
}

void CPageJoiner::BuildTagGroup() {
    m_tagGroup = new QGroupBox(QStringLiteral("ID3 tag of Target MP3 File"), this);
    auto* grid = new QGridLayout(m_tagGroup);
    const auto edit = [this] { return new QLineEdit(m_tagGroup); };
    const auto label = [this](const char* caption, QWidget* buddy) {
        auto* l = new QLabel(QString::fromLatin1(caption), m_tagGroup);
        l->setBuddy(buddy);
        return l;
    };
    m_title = edit();
    m_artist = edit();
    m_album = edit();
    m_comment = edit();
    m_year = edit();
    m_year->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_year));
    m_track = new TrackNumberBox(m_tagGroup);
    m_track->setToolTip(QStringLiteral("Track number of the joined file; empty or 0 for none"));
    m_genre = new QComboBox(m_tagGroup);
    m_genre->setEditable(true);
    m_genre->setInsertPolicy(QComboBox::NoInsert);
    QStringList genres;
    for (const char* name : GenreNames()) genres << QString::fromLatin1(name);
    std::sort(genres.begin(), genres.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    m_genre->addItems(genres);
    m_genre->setMaxVisibleItems(20);
    m_copyTag = new QPushButton(QStringLiteral("&Copy ID3 tag From Selected MP3 File"), m_tagGroup);
    m_copyTag->setToolTip(QStringLiteral("Fill the fields with the tag of the first selected file"));
    connect(m_copyTag, &QPushButton::clicked, this, &CPageJoiner::CopyTagFromSelection);

    // Title, artist, album and comment take the width; year, track and genre sit at the right.
    grid->addWidget(label("&Title:", m_title), 0, 0);
    grid->addWidget(m_title, 0, 1);
    grid->addWidget(label("Arti&st:", m_artist), 1, 0);
    grid->addWidget(m_artist, 1, 1);
    grid->addWidget(label("Albu&m:", m_album), 2, 0);
    grid->addWidget(m_album, 2, 1);
    grid->addWidget(label("C&omment:", m_comment), 3, 0);
    grid->addWidget(m_comment, 3, 1);
    grid->addWidget(label("&Year:", m_year), 0, 2);
    grid->addWidget(m_year, 0, 3);
    grid->addWidget(label("Trac&k #:", m_track), 1, 2);
    grid->addWidget(m_track, 1, 3, Qt::AlignLeft);
    grid->addWidget(label("&Genre:", m_genre), 2, 2);
    grid->addWidget(m_genre, 2, 3);
    grid->addWidget(m_copyTag, 3, 2, 1, 2);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 1);
    m_year->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000")) + fontMetrics().height());
}

void CPageJoiner::SetInitialFiles(const QStringList& paths) {
    m_initialFiles = paths;
    // Loaded once the window is up, so that the progress window has its owner to stand on.
    QTimer::singleShot(0, this, [this] {
        PathList files;
        for (const QString& path : m_initialFiles) files.emplace_back(path.toStdString());
        if (!files.empty()) m_list->LoadFileList(files);
    });
}

void CPageJoiner::AddMenuEntries(QMenu* menu) {
    const int selected = static_cast<int>(m_list->selectedItems().size());
    const int rows = m_list->RowCount();
    const auto entry = [this, menu](const char* caption, bool enabled, void (CPageJoiner::*command)()) {
        QAction* action = menu->addAction(QString::fromLatin1(caption), this, command);
        action->setEnabled(enabled);
    };
    entry("&Play", selected == 1, &CPageJoiner::PlaySelected);
    entry("&Browse", selected == 1, &CPageJoiner::BrowseSelected);
    menu->addSeparator();
    entry("&Remove", selected > 0, &CPageJoiner::RemoveSelected);
    entry("Remo&ve All", rows > 0, &CPageJoiner::RemoveAll);
    menu->addSeparator();
    entry("&Up", selected > 0, &CPageJoiner::MoveUp);
    entry("&Down", selected > 0, &CPageJoiner::MoveDown);
    menu->addSeparator();
    entry("Copy &ID3 tag", selected == 1, &CPageJoiner::CopyTagFromSelection);
}

void CPageJoiner::UpdateEnabling() {
    const bool anySelected = !m_list->selectedItems().isEmpty();
    const bool anyRow = m_list->RowCount() > 0;
    m_remove->setEnabled(anySelected);
    m_up->setEnabled(anySelected);
    m_down->setEnabled(anySelected);
    m_copyTag->setEnabled(anySelected);
    m_removeAll->setEnabled(anyRow);
    m_join->setEnabled(anyRow);
}

QList<int> CPageJoiner::SelectedRows() const {
    QList<int> rows;
    for (QTreeWidgetItem* item : m_list->selectedItems()) rows << m_list->indexOfTopLevelItem(item);
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Moves the row below upper into upper's place; the row record travels with its row.
void CPageJoiner::SwapRows(int upper) {
    QTreeWidgetItem* lower = m_list->takeTopLevelItem(upper + 1);
    m_list->insertTopLevelItem(upper, lower);
}

void CPageJoiner::RestoreSelection(const QList<QTreeWidgetItem*>& selected, QTreeWidgetItem* current) {
    if (current) m_list->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    m_list->clearSelection();
    for (QTreeWidgetItem* item : selected) item->setSelected(true);
}

void CPageJoiner::MoveUp() {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty() || rows.front() == 0) return;
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    QTreeWidgetItem* current = m_list->currentItem();
    for (const int row : rows) SwapRows(row - 1);
    RestoreSelection(selected, current);
    m_list->scrollToItem(m_list->topLevelItem(rows.front() - 1));
    m_list->setFocus();
}

void CPageJoiner::MoveDown() {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty() || rows.back() == m_list->RowCount() - 1) return;
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    QTreeWidgetItem* current = m_list->currentItem();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) SwapRows(*it);
    RestoreSelection(selected, current);
    m_list->scrollToItem(m_list->topLevelItem(rows.back() + 1));
    m_list->setFocus();
}

void CPageJoiner::MoveSelectedRowsTo(int row) {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty()) return;
    row = std::clamp(row, 0, m_list->RowCount());
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    QTreeWidgetItem* current = m_list->currentItem();
    QList<QTreeWidgetItem*> moved;
    // Taken from the bottom up, so the rows above keep their places.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        moved.prepend(m_list->takeTopLevelItem(*it));
        if (*it < row) --row;
    }
    for (int i = 0; i < moved.size(); ++i) m_list->insertTopLevelItem(row + i, moved[i]);
    RestoreSelection(selected, current);
    m_list->scrollToItem(moved.front());
    m_list->setFocus();
}

// Dropped on the upper half of a row: before it; on the lower half: after it; below the rows:
// at the end.
int CPageJoiner::DropRowAt(QPoint at) const {
    const QModelIndex index = m_list->indexAt(at);
    if (!index.isValid()) return m_list->RowCount();
    return index.row() + (at.y() > m_list->visualRect(index).center().y() ? 1 : 0);
}

void CPageJoiner::ShowDropLine(int row) {
    const int rows = m_list->RowCount();
    if (rows == 0) return;
    const QRect rect = m_list->visualItemRect(m_list->topLevelItem(std::min(row, rows - 1)));
    const int y = row < rows ? rect.top() : rect.bottom() + 1;
    m_dropLine->setGeometry(0, y - 1, m_list->viewport()->width(), 2);
    m_dropLine->show();
    m_dropLine->raise();
}

bool CPageJoiner::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_list->viewport()) return CResizablePage::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type == QEvent::DragLeave) m_dropLine->hide();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drag = static_cast<QDropEvent*>(event);
    if (drag->source() != m_list) return false;  // files from outside: the list adds them
    const int row = DropRowAt(drag->position().toPoint());
    if (type != QEvent::Drop) {
        ShowDropLine(row);
        drag->setDropAction(Qt::MoveAction);
        drag->accept();
        return true;
    }
    m_dropLine->hide();
    MoveSelectedRowsTo(row);
    // Reported as a copy, so that the view does not also delete the dragged rows.
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    return true;
}

void CPageJoiner::RemoveSelected() {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty()) return;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) m_list->DeleteRow(*it);
    m_list->clearSelection();
    UpdateEnabling();
}

void CPageJoiner::RemoveAll() {
    m_list->DeleteAllRows();
    UpdateEnabling();
}

void CPageJoiner::CopyTagFromSelection() {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty()) return;
    JoinerPageSettings fields;
    for (const TagFieldColumn& field : kTagFieldColumns) {
        fields.*field.text = m_list->ItemText(rows.front(), ColumnIndex(ListKind::Joiner, field.column)).toStdString();
    }
    ShowTagFields(fields);
}

void CPageJoiner::PlaySelected() {
    const QList<int> rows = SelectedRows();
    if (rows.size() != 1) return;
    OpenWithShell(PathText(m_list->Record(rows.front())->path));
}

void CPageJoiner::BrowseSelected() {
    const QList<int> rows = SelectedRows();
    if (rows.size() != 1) return;
    CurrentJoinerTargetDialogs().ShowInFileManager(PathText(m_list->Record(rows.front())->path));
}

std::array<std::pair<QLineEdit*, std::string JoinerPageSettings::*>, 5> CPageJoiner::TagEdits() const {
    return {{{m_title, &JoinerPageSettings::ID3Title},
             {m_artist, &JoinerPageSettings::ID3Artist},
             {m_album, &JoinerPageSettings::ID3Album},
             {m_year, &JoinerPageSettings::ID3Year},
             {m_comment, &JoinerPageSettings::ID3Comment}}};
}

JoinerPageSettings CPageJoiner::TagFields() const {
    JoinerPageSettings fields;
    for (const auto& [edit, text] : TagEdits()) fields.*text = edit->text().toStdString();
    fields.ID3GenreEx = m_genre->currentText().toStdString();
    fields.ID3TrackNo = m_track->text().toStdString();
    return fields;
}

void CPageJoiner::ShowTagFields(const JoinerPageSettings& fields) {
    for (const auto& [edit, text] : TagEdits()) edit->setText(Utf8(fields.*text));
    m_genre->setEditText(Utf8(fields.ID3GenreEx));
    // A stored or copied track text is kept to the box's digits.
    QString track = Utf8(fields.ID3TrackNo);
    int digits = 0;
    while (digits < track.size() && digits < kTrackDigits && track[digits] >= u'0' && track[digits] <= u'9') ++digits;
    static_cast<TrackNumberBox*>(m_track)->SetText(track.left(digits));
}

void CPageJoiner::JoinNow() {
    const int rows = m_list->RowCount();
    if (rows < 2) return;
    // The dialog opens in the first file's folder, with no name typed in.
    const QString chosen =
        CurrentJoinerTargetDialogs().ChooseTarget(this, PathText(m_list->Record(0)->path.parent_path()));
    if (chosen.isEmpty()) return;
    const fs::path target = PathOf(chosen);

    JoinList job;
    for (int row = 0; row < rows; ++row) job.AddSource(m_list->Record(row)->path);

    ProgressDialog progress(this);
    progress.Start();
    progress.Pump().PumpMessages();

    const JoinerPageSettings fields = TagFields();
    job.SetTargetTag(fields.ID3Title, fields.ID3Artist, fields.ID3Album, fields.ID3Year, fields.ID3Comment,
                     fields.ID3GenreEx, LeadingNumber(m_track->text()));

    // The choice needs each file's MPEG version and layer beside the figures its row shows,
    // so the files are looked at again; the join then reads each one once more.
    const audio::ScanMemoScope scanOnce;
    const JoinerOptions& options = m_settings.joinerOptions;
    JoinChoice choice;
    std::string error;
    bool ok = false;
    if (ChooseJoinOfFiles(job.Sources(), options, /*forceReencode=*/false, &choice, &error)) {
        ok = choice.method == JoinMethod::Direct ? job.JoinDirect(target, progress.Operation())
                                                 : job.JoinReencode(target, choice.params, progress.Operation());
        error = job.LastError();
    }
    progress.Finish();

    if (!ok) {
        if (progress.Cancelled() || error.empty()) return;
        ShowMessage(this, QStringLiteral("Join failure. %1").arg(Utf8(error)), MessageIcon::Exclamation);
        return;
    }
    if (options.BrowseFolder) CurrentJoinerTargetDialogs().ShowInFileManager(chosen);
}

}  // namespace qm
