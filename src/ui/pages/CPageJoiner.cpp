#include "ui/pages/CPageJoiner.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
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

#include "join/JoinList.h"
#include "join/RunJoin.h"
#include "settings/Settings.h"
#include "stream/Tags.h"
#include "ui/kit/DesktopCalls.h"
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
    {&JoinerPageSettings::ID3TrackNo, ListColumn::Track},   {&JoinerPageSettings::ID3Title, ListColumn::Title},
    {&JoinerPageSettings::ID3Artist, ListColumn::Artist},   {&JoinerPageSettings::ID3Album, ListColumn::Album},
    {&JoinerPageSettings::ID3Year, ListColumn::Year},       {&JoinerPageSettings::ID3GenreEx, ListColumn::Genre},
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

CPageJoiner::CPageJoiner(SettingsStore& settings, QWidget* parent) : ListPageWith(kCaption, settings, parent) {
    m_ui.list = MakeList(ListKind::Joiner, SettingsPage::Joiner, [this](QMenu* menu) { AddMenuEntries(menu); });
    // Rows can be dragged to another place in the list; files dropped from outside are
    // still added by the list itself.
    m_ui.list->setDragEnabled(true);
    m_ui.list->viewport()->installEventFilter(this);
    m_dropLine = new QFrame(m_ui.list->viewport());
    m_dropLine->setAutoFillBackground(true);
    m_dropLine->setBackgroundRole(QPalette::Highlight);
    m_dropLine->hide();
    MakeButtons();
    BuildTagGroup();
    Body()->addWidget(m_tagGroup);

    ShowTagFields(Settings().joinerPage);
    for (QLineEdit* edit : {m_ui.title, m_ui.artist, m_ui.album, m_ui.comment, m_ui.year}) {
        connect(edit, &QLineEdit::textChanged, this, &CPageJoiner::StoreTagFields);
    }
    connect(m_ui.track->findChild<QLineEdit*>(), &QLineEdit::textChanged, this, &CPageJoiner::StoreTagFields);
    connect(m_ui.genre, &QComboBox::editTextChanged, this, &CPageJoiner::StoreTagFields);
    connect(m_ui.list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const int row = m_ui.list->indexOfTopLevelItem(item);
        if (const ListItemRecord* record = m_ui.list->Record(row)) OpenWithDesktop(record->path);
    });

    setTabOrder(m_ui.list, m_ui.join);
    QWidget* previous = m_ui.join;
    for (QWidget* next : std::initializer_list<QWidget*>{
             m_ui.addFiles, m_ui.addFolder, m_ui.remove, m_ui.removeAll, m_ui.up, m_ui.down, m_ui.title, m_ui.artist,
             m_ui.album, m_ui.year, m_ui.comment, m_ui.genre, m_ui.track, m_ui.copyTag}) {
        setTabOrder(previous, next);
        previous = next;
    }
    UpdateButtons();
    m_ui.list->TakeDropsAnywhereOn(this);
}

// The buttons stand in a column at the right of the list.
void CPageJoiner::MakeButtons() {
    const auto button = [this](const char* caption, const char* tip, auto* receiver, auto command) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        if (tip != nullptr) b->setToolTip(QString::fromLatin1(tip));
        connect(b, &QPushButton::clicked, receiver, command);
        return b;
    };
    FileListCtrl* list = m_ui.list;
    m_ui.join =
        button("&Join Now!", "Join the listed files, top to bottom, into one MP3 file", this, &CPageJoiner::JoinNow);
    m_ui.join->setDefault(true);
    m_ui.addFiles = button("&Add Files", nullptr, list, &FileListCtrl::AddFiles);
    m_ui.addFolder =
        button("Add &Folder", "Add the MP3 files of a folder and its subfolders", list, &FileListCtrl::AddFolder);
    m_ui.remove = button("&Remove", nullptr, list, &FileListCtrl::RemoveSelected);
    m_ui.removeAll = button("Remove A&ll", nullptr, list, &FileListCtrl::DeleteAllRows);
    m_ui.up = button("&Up", "Move the selected files one place up", list, &FileListCtrl::MoveSelectedUp);
    m_ui.down = button("&Down", "Move the selected files one place down", list, &FileListCtrl::MoveSelectedDown);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_ui.join);
    buttons->addSpacing(fontMetrics().height());
    for (QPushButton* b : {m_ui.addFiles, m_ui.addFolder, m_ui.remove, m_ui.removeAll}) buttons->addWidget(b);
    buttons->addSpacing(fontMetrics().height());
    buttons->addWidget(m_ui.up);
    buttons->addWidget(m_ui.down);
    buttons->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(list, 1);
    top->addLayout(buttons);
    Body()->addLayout(top, 1);
}

CPageJoiner::~CPageJoiner() { StoreTagFields(); }

// The settings are written at exit before the pages go, so the store follows every edit.
void CPageJoiner::StoreTagFields() {
    // The stored fields keep the folder "Add Folder" wrote meanwhile.
    const JoinerPageSettings fields = TagFields();
    JoinerPageSettings& stored = Settings().joinerPage;
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
    m_ui.title = edit();
    m_ui.artist = edit();
    m_ui.album = edit();
    m_ui.comment = edit();
    m_ui.year = edit();
    m_ui.year->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_ui.year));
    m_ui.track = new TrackNumberBox(m_tagGroup);
    m_ui.track->setToolTip(QStringLiteral("Track number of the joined file; empty or 0 for none"));
    m_ui.genre = new QComboBox(m_tagGroup);
    m_ui.genre->setEditable(true);
    m_ui.genre->setInsertPolicy(QComboBox::NoInsert);
    QStringList genres;
    for (const char* name : GenreNames()) genres << QString::fromLatin1(name);
    std::sort(genres.begin(), genres.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    m_ui.genre->addItems(genres);
    m_ui.genre->setMaxVisibleItems(20);
    m_ui.copyTag = new QPushButton(QStringLiteral("&Copy ID3 tag From Selected MP3 File"), m_tagGroup);
    m_ui.copyTag->setToolTip(QStringLiteral("Fill the fields with the tag of the first selected file"));
    connect(m_ui.copyTag, &QPushButton::clicked, this, &CPageJoiner::CopyTagFromSelection);

    // Title, artist, album and comment take the width; year, track and genre sit at the right.
    grid->addWidget(label("&Title:", m_ui.title), 0, 0);
    grid->addWidget(m_ui.title, 0, 1);
    grid->addWidget(label("Arti&st:", m_ui.artist), 1, 0);
    grid->addWidget(m_ui.artist, 1, 1);
    grid->addWidget(label("Albu&m:", m_ui.album), 2, 0);
    grid->addWidget(m_ui.album, 2, 1);
    grid->addWidget(label("C&omment:", m_ui.comment), 3, 0);
    grid->addWidget(m_ui.comment, 3, 1);
    grid->addWidget(label("&Year:", m_ui.year), 0, 2);
    grid->addWidget(m_ui.year, 0, 3);
    grid->addWidget(label("Trac&k #:", m_ui.track), 1, 2);
    grid->addWidget(m_ui.track, 1, 3, Qt::AlignLeft);
    grid->addWidget(label("&Genre:", m_ui.genre), 2, 2);
    grid->addWidget(m_ui.genre, 2, 3);
    grid->addWidget(m_ui.copyTag, 3, 2, 1, 2);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 1);
    m_ui.year->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000")) + fontMetrics().height());
}

void CPageJoiner::SetInitialFiles(const QStringList& paths) {
    m_initialFiles = paths;
    // Loaded once the window is up, so that the progress window has its owner to stand on.
    QTimer::singleShot(0, this, [this] {
        PathList files;
        for (const QString& path : m_initialFiles) files.emplace_back(path.toStdString());
        if (!files.empty()) m_ui.list->LoadFileList(files);
    });
}

void CPageJoiner::AddMenuEntries(QMenu* menu) {
    const int selected = static_cast<int>(m_ui.list->selectedItems().size());
    const int rows = m_ui.list->RowCount();
    const auto entry = [menu](const char* caption, bool enabled, auto* receiver, auto command) {
        QAction* action = menu->addAction(QString::fromLatin1(caption), receiver, command);
        action->setEnabled(enabled);
    };
    FileListCtrl* list = m_ui.list;
    entry("&Play", selected == 1, this, &CPageJoiner::PlaySelected);
    entry("&Browse", selected == 1, this, &CPageJoiner::BrowseSelected);
    menu->addSeparator();
    entry("&Remove", selected > 0, list, &FileListCtrl::RemoveSelected);
    entry("Remo&ve All", rows > 0, list, &FileListCtrl::DeleteAllRows);
    menu->addSeparator();
    entry("&Up", selected > 0, list, &FileListCtrl::MoveSelectedUp);
    entry("&Down", selected > 0, list, &FileListCtrl::MoveSelectedDown);
    menu->addSeparator();
    entry("Copy &ID3 tag", selected == 1, this, &CPageJoiner::CopyTagFromSelection);
}

void CPageJoiner::UpdateButtons() {
    const bool anySelected = !m_ui.list->selectedItems().isEmpty();
    const bool anyRow = m_ui.list->RowCount() > 0;
    m_ui.remove->setEnabled(anySelected);
    m_ui.up->setEnabled(anySelected);
    m_ui.down->setEnabled(anySelected);
    m_ui.copyTag->setEnabled(anySelected);
    m_ui.removeAll->setEnabled(anyRow);
    m_ui.join->setEnabled(anyRow);
}

// Dropped on the upper half of a row: before it; on the lower half: after it; below the rows:
// at the end.
int CPageJoiner::DropRowAt(QPoint at) const {
    const QModelIndex index = m_ui.list->indexAt(at);
    if (!index.isValid()) return m_ui.list->RowCount();
    return index.row() + (at.y() > m_ui.list->visualRect(index).center().y() ? 1 : 0);
}

void CPageJoiner::ShowDropLine(int row) {
    const int rows = m_ui.list->RowCount();
    if (rows == 0) return;
    const QRect rect = m_ui.list->visualItemRect(m_ui.list->topLevelItem(std::min(row, rows - 1)));
    const int y = row < rows ? rect.top() : rect.bottom() + 1;
    m_dropLine->setGeometry(0, y - 1, m_ui.list->viewport()->width(), 2);
    m_dropLine->show();
    m_dropLine->raise();
}

bool CPageJoiner::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_ui.list->viewport()) return ListPage::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type == QEvent::DragLeave) m_dropLine->hide();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drag = static_cast<QDropEvent*>(event);
    if (drag->source() != m_ui.list) return false;  // files from outside: the list adds them
    const int row = DropRowAt(drag->position().toPoint());
    if (type != QEvent::Drop) {
        ShowDropLine(row);
        drag->setDropAction(Qt::MoveAction);
        drag->accept();
        return true;
    }
    m_dropLine->hide();
    m_ui.list->MoveSelectedTo(row);
    // Reported as a copy, so that the view does not also delete the dragged rows.
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    return true;
}

void CPageJoiner::CopyTagFromSelection() {
    const std::vector<int> rows = m_ui.list->SelectedRows();
    if (rows.empty()) return;
    JoinerPageSettings fields;
    for (const TagFieldColumn& field : kTagFieldColumns) {
        fields.*field.text =
            m_ui.list->ItemText(rows.front(), ColumnIndex(ListKind::Joiner, field.column)).toStdString();
    }
    ShowTagFields(fields);
}

const ListItemRecord* CPageJoiner::OnlySelected() const {
    const std::vector<int> rows = m_ui.list->SelectedRows();
    return rows.size() == 1 ? m_ui.list->Record(rows.front()) : nullptr;
}

void CPageJoiner::PlaySelected() {
    if (const ListItemRecord* record = OnlySelected()) OpenWithDesktop(record->path);
}

void CPageJoiner::BrowseSelected() {
    if (const ListItemRecord* record = OnlySelected()) ShowInFileManager(record->path);
}

std::array<std::pair<QLineEdit*, std::string JoinerPageSettings::*>, 5> CPageJoiner::TagEdits() const {
    return {{{m_ui.title, &JoinerPageSettings::ID3Title},
             {m_ui.artist, &JoinerPageSettings::ID3Artist},
             {m_ui.album, &JoinerPageSettings::ID3Album},
             {m_ui.year, &JoinerPageSettings::ID3Year},
             {m_ui.comment, &JoinerPageSettings::ID3Comment}}};
}

JoinerPageSettings CPageJoiner::TagFields() const {
    JoinerPageSettings fields;
    for (const auto& [edit, text] : TagEdits()) fields.*text = edit->text().toStdString();
    fields.ID3GenreEx = m_ui.genre->currentText().toStdString();
    fields.ID3TrackNo = m_ui.track->text().toStdString();
    return fields;
}

void CPageJoiner::ShowTagFields(const JoinerPageSettings& fields) {
    for (const auto& [edit, text] : TagEdits()) edit->setText(Utf8(fields.*text));
    m_ui.genre->setEditText(Utf8(fields.ID3GenreEx));
    // A stored or copied track text is kept to the box's digits.
    QString track = Utf8(fields.ID3TrackNo);
    int digits = 0;
    while (digits < track.size() && digits < kTrackDigits && track[digits] >= u'0' && track[digits] <= u'9') ++digits;
    static_cast<TrackNumberBox*>(m_ui.track)->SetText(track.left(digits));
}

void CPageJoiner::JoinNow() {
    const int rows = m_ui.list->RowCount();
    if (rows < 2) return;
    // The dialog opens in the first file's folder, with no name typed in.
    const QString chosen =
        Desktop().ChooseFileToSave(this, FileChoice{QString(), PathText(m_ui.list->Record(0)->path.parent_path()),
                                                    QStringLiteral("MP3 File (*.mp3)"), QStringLiteral("mp3")});
    if (chosen.isEmpty()) return;
    const fs::path target = PathOf(chosen);

    JoinList job;
    for (int row = 0; row < rows; ++row) job.AddSource(m_ui.list->Record(row)->path);

    ProgressDialog progress(this);
    progress.Start();
    ObserveRun(&progress);
    progress.Pump().PumpMessages();

    const JoinerPageSettings fields = TagFields();
    job.SetTargetTag(fields.ID3Title, fields.ID3Artist, fields.ID3Album, fields.ID3Year, fields.ID3Comment,
                     fields.ID3GenreEx, LeadingNumber(m_ui.track->text()));

    // The choice needs each file's MPEG version and layer beside the figures its row shows,
    // so the files are looked at again; the join then reads each one once more.
    const JoinerOptions& options = Settings().joinerOptions;
    const RunResult result = RunJoin(job, target, options, ForceReencode::No, progress.Operation());
    progress.Finish();

    if (result.outcome == RunOutcome::Failed && !result.message.empty()) {
        ShowMessage(Desktop(), this, QStringLiteral("Join failure. %1").arg(Utf8(result.message)),
                    MessageIcon::Exclamation);
    }
    if (!result.IsDone()) return;
    if (options.BrowseFolder) Desktop().ShowInFileManager(chosen);
}

}  // namespace qm
