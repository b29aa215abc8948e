#include "ui/pages/CPageBatchJoiner.h"

#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <utility>

#include "batch/BatchJoin.h"
#include "settings/Settings.h"
#include "ui/pages/CPageBatchJoinerTagDialog.h"
#include "ui/pages/PageSizes.h"
#include "ui/kit/ShellCalls.h"
#include "ui/widgets/BatchProgressDialog.h"
#include "ui/widgets/PathText.h"

namespace qm {

namespace {

namespace fs = std::filesystem;

int MainColumn(ListColumn column) { return ColumnIndex(ListKind::BatchJoinerMain, column); }

QPushButton* AddButton(QBoxLayout* line, QWidget* parent, const char* caption, const char* tip) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setToolTip(QString::fromUtf8(tip));
    line->addWidget(button);
    return button;
}

}  // namespace

std::vector<int> SelectedRowsOf(const FileListCtrl* list) {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : list->selectedItems()) rows.push_back(list->indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

CPageBatchJoiner::CPageBatchJoiner(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
    m_mainList = new FileListCtrl(ListKind::BatchJoinerMain, this);
    m_mainList->SetFolderSettings(&settings, SettingsPage::BatchJoiner);
    m_joinedList = new FileListCtrl(ListKind::BatchJoinerJoined, this);
    // Folders and dropped files always go to the main files.
    m_joinedList->SetGatheringTarget(m_mainList);
    m_mainList->SetMenuEntries([this](QMenu* menu) { AddMainMenuEntries(menu); });
    m_joinedList->SetMenuEntries([this](QMenu* menu) { AddJoinedMenuEntries(menu); });

    m_body->addWidget(MakeJoinType());
    auto* grid = new QGridLayout;
    const auto addCaptioned = [&](int row, const char* caption, FileListCtrl* list, QVBoxLayout* buttons) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(list);
        label->setWordWrap(true);
        grid->addWidget(label, row, 0, 1, 2);
        grid->addWidget(list, row + 1, 0);
        grid->addLayout(buttons, row + 1, 1);
        grid->setRowStretch(row + 1, 1);
    };
    QVBoxLayout* mainButtons = MakeMainButtons();
    QVBoxLayout* joinedButtons = MakeJoinedButtons();
    addCaptioned(0,
                 "&Main MP3 Files (all joined MP3 files in bottom section will be joined at beginning or end "
                 "of every file in the section)",
                 m_mainList, mainButtons);
    addCaptioned(2, "Joined M&P3 Files", m_joinedList, joinedButtons);
    // Tab order: the join type and "Join Now!", then each list followed by its buttons.
    std::vector<QWidget*> chain{m_insert, m_append, m_join, m_mainList};
    const auto addButtonsOf = [&chain](QVBoxLayout* column) {
        for (int i = 0; i < column->count(); ++i) {
            if (QWidget* button = column->itemAt(i)->widget()) chain.push_back(button);
        }
    };
    addButtonsOf(mainButtons);
    chain.push_back(m_joinedList);
    addButtonsOf(joinedButtons);
    for (std::size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
    grid->setColumnStretch(0, 1);
    m_body->addLayout(grid, 1);

    UpdateButtons();
    for (FileListCtrl* list : {m_mainList, m_joinedList}) {
        connect(list, &FileListCtrl::RowCountChanged, this, &CPageBatchJoiner::UpdateButtons);
        connect(list, &QTreeWidget::itemSelectionChanged, this, &CPageBatchJoiner::UpdateButtons);
    }
    connect(m_mainList, &QTreeWidget::itemDoubleClicked, this, [this] { EditTag(); });
    connect(m_joinedList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        OpenWithShell(PathText(m_joinedList->Record(m_joinedList->indexOfTopLevelItem(item))->path));
    });
    // Files dropped anywhere else on the page are main files too.
    m_mainList->TakeDropsAnywhereOn(this);
}

CPageBatchJoiner::~CPageBatchJoiner() {
    StoreJoinType();
    m_mainList->DeleteAllRows();
    m_joinedList->DeleteAllRows();
}

QWidget* CPageBatchJoiner::MakeJoinType() {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(QStringLiteral("Join &Type:"), row);
    auto* radios = new QHBoxLayout(group);
    m_insert = new QRadioButton(QStringLiteral("&Insert at beginning"), group);
    m_append = new QRadioButton(QStringLiteral("Appe&nd to end"), group);
    m_insert->setToolTip(QStringLiteral("The joined files go before each main file"));
    m_append->setToolTip(QStringLiteral("The joined files go after each main file"));
    radios->addWidget(m_insert);
    radios->addWidget(m_append);
    radios->addStretch(1);
    (m_settings.batchJoiner.JoinType == JoinTypeCode::Append ? m_append : m_insert)->setChecked(true);
    connect(m_insert, &QRadioButton::toggled, this, &CPageBatchJoiner::StoreJoinType);
    line->addWidget(group, 1);
    m_join = new QPushButton(QStringLiteral("&Join Now!"), row);
    m_join->setToolTip(QStringLiteral("Write one joined file for every main file"));
    m_join->setMinimumHeight(m_join->sizeHint().height() * 3 / 2);
    connect(m_join, &QPushButton::clicked, this, &CPageBatchJoiner::JoinNow);
    line->addWidget(m_join, 0, Qt::AlignBottom);
    return row;
}

QVBoxLayout* CPageBatchJoiner::MakeMainButtons() {
    auto* column = new QVBoxLayout;
    connect(AddButton(column, this, "&Add Files", "Add main MP3 files"), &QPushButton::clicked, m_mainList,
            &FileListCtrl::AddFiles);
    connect(AddButton(column, this, "Add &Folder", "Add the MP3 files of a folder and its subfolders"),
            &QPushButton::clicked, m_mainList, &FileListCtrl::AddFolder);
    m_mainRemove = AddButton(column, this, "&Remove", "Take the selected main files off the list");
    connect(m_mainRemove, &QPushButton::clicked, this, [this] { RemoveSelected(m_mainList); });
    m_tag = AddButton(column, this, "ID3 tag", "Edit the tag of the selected main file's output");
    connect(m_tag, &QPushButton::clicked, this, &CPageBatchJoiner::EditTag);
    column->addStretch(1);
    return column;
}

QVBoxLayout* CPageBatchJoiner::MakeJoinedButtons() {
    auto* column = new QVBoxLayout;
    connect(AddButton(column, this, "Add Fil&es", "Add files to join to every main file"), &QPushButton::clicked,
            m_joinedList, &FileListCtrl::AddFiles);
    m_joinedRemove = AddButton(column, this, "Remo&ve", "Take the selected joined files off the list");
    connect(m_joinedRemove, &QPushButton::clicked, this, [this] { RemoveSelected(m_joinedList); });
    m_up = AddButton(column, this, "&Up", "Move the selected joined files one place up");
    connect(m_up, &QPushButton::clicked, this, &CPageBatchJoiner::MoveJoinedUp);
    m_down = AddButton(column, this, "&Down", "Move the selected joined files one place down");
    connect(m_down, &QPushButton::clicked, this, &CPageBatchJoiner::MoveJoinedDown);
    column->addStretch(1);
    return column;
}

void CPageBatchJoiner::UpdateButtons() {
    const bool joinedSelected = !m_joinedList->selectedItems().isEmpty();
    const bool mainSelected = !m_mainList->selectedItems().isEmpty();
    m_join->setEnabled(!m_running && m_mainList->RowCount() > 0 && m_joinedList->RowCount() > 0);
    m_mainRemove->setEnabled(mainSelected);
    m_tag->setEnabled(mainSelected);
    m_joinedRemove->setEnabled(joinedSelected);
    m_up->setEnabled(joinedSelected);
    m_down->setEnabled(joinedSelected);
}

void CPageBatchJoiner::StoreJoinType() {
    m_settings.batchJoiner.JoinType = m_append->isChecked() ? JoinTypeCode::Append : JoinTypeCode::Prepend;
}

void CPageBatchJoiner::AddMainMenuEntries(QMenu* menu) {
    const std::vector<int> rows = SelectedRowsOf(m_mainList);
    const bool one = rows.size() == 1;
    const fs::path output = rows.empty() ? fs::path() : m_mainList->Record(rows.front())->outputPath;
    const fs::path source = rows.empty() ? fs::path() : m_mainList->Record(rows.front())->path;
    menu->addAction(QStringLiteral("&Play"), this, [source] { OpenWithShell(PathText(source)); })->setEnabled(one);
    menu->addAction(QStringLiteral("&Browse"), this, [this, source] { m_fileManager.Show(PathText(source)); })
        ->setEnabled(one);
    menu->addAction(QStringLiteral("Set &ID3 tag"), this, &CPageBatchJoiner::EditTag)->setEnabled(one);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Play &Outputted MP3"), this, [output] { OpenWithShell(PathText(output)); })
        ->setEnabled(!output.empty());
    menu->addAction(QStringLiteral("Browse Outputted &MP3"), this,
                    [this, output] { m_fileManager.Show(PathText(output)); })
        ->setEnabled(!output.empty());
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Remove"), this, [this] { RemoveSelected(m_mainList); })->setEnabled(!rows.empty());
    menu->addAction(QStringLiteral("Remo&ve All"), this, [this] { RemoveAll(m_mainList); })
        ->setEnabled(m_mainList->RowCount() > 0);
}

void CPageBatchJoiner::AddJoinedMenuEntries(QMenu* menu) {
    const std::vector<int> rows = SelectedRowsOf(m_joinedList);
    const bool one = rows.size() == 1;
    const fs::path source = rows.empty() ? fs::path() : m_joinedList->Record(rows.front())->path;
    menu->addAction(QStringLiteral("&Play"), this, [source] { OpenWithShell(PathText(source)); })->setEnabled(one);
    menu->addAction(QStringLiteral("&Browse"), this, [this, source] { m_fileManager.Show(PathText(source)); })
        ->setEnabled(one);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Remove"), this, [this] { RemoveSelected(m_joinedList); })
        ->setEnabled(!rows.empty());
    menu->addAction(QStringLiteral("Remo&ve All"), this, [this] { RemoveAll(m_joinedList); })
        ->setEnabled(m_joinedList->RowCount() > 0);
    menu->addAction(QStringLiteral("&Up"), this, &CPageBatchJoiner::MoveJoinedUp)->setEnabled(!rows.empty());
    menu->addAction(QStringLiteral("&Down"), this, &CPageBatchJoiner::MoveJoinedDown)->setEnabled(!rows.empty());
}

void CPageBatchJoiner::RemoveSelected(FileListCtrl* list) {
    const std::vector<int> rows = SelectedRowsOf(list);
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) list->DeleteRow(*row);
    UpdateButtons();
}

void CPageBatchJoiner::RemoveAll(FileListCtrl* list) {
    list->DeleteAllRows();
    UpdateButtons();
}

void CPageBatchJoiner::MoveJoinedUp() { MoveJoined(-1); }

void CPageBatchJoiner::MoveJoinedDown() { MoveJoined(1); }

void CPageBatchJoiner::MoveJoined(int offset) {
    const std::vector<int> rows = SelectedRowsOf(m_joinedList);
    if (rows.empty()) return;
    if (offset < 0 && rows.front() == 0) return;
    if (offset > 0 && rows.back() == m_joinedList->RowCount() - 1) return;
    // Each selected row changes place with its neighbour, from the end the rows move to, so
    // that a block of selected rows moves as one. Moving the items keeps their texts and
    // records together.
    std::vector<QTreeWidgetItem*> moved;
    const auto moveOne = [&](int row) {
        QTreeWidgetItem* item = m_joinedList->takeTopLevelItem(row);
        m_joinedList->insertTopLevelItem(row + offset, item);
        moved.push_back(item);
    };
    if (offset < 0) {
        for (int row : rows) moveOne(row);
    } else {
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) moveOne(*row);
    }
    for (QTreeWidgetItem* item : moved) item->setSelected(true);
    // The first row moved is the topmost one going up and the lowest one going down.
    QTreeWidgetItem* shown = moved.front();
    m_joinedList->setCurrentItem(shown, 0, QItemSelectionModel::NoUpdate);
    m_joinedList->scrollToItem(shown);
    m_joinedList->setFocus(Qt::OtherFocusReason);
    UpdateButtons();
}

TagInfo CPageBatchJoiner::RowTag(int row) const {
    const auto text = [&](ListColumn column) { return m_mainList->ItemText(row, MainColumn(column)).toStdString(); };
    TagInfo tag;
    tag.track = m_mainList->ItemText(row, MainColumn(ListColumn::Track)).trimmed().toInt();
    tag.title = text(ListColumn::Title);
    tag.artist = text(ListColumn::Artist);
    tag.album = text(ListColumn::Album);
    tag.year = text(ListColumn::Year);
    tag.genre = text(ListColumn::Genre);
    tag.comment = text(ListColumn::Comment);
    return tag;
}

void CPageBatchJoiner::SetRowTag(int row, const TagInfo& tag) {
    const auto set = [&](ListColumn column, const std::string& value) {
        m_mainList->SetItemText(row, MainColumn(column), QString::fromStdString(value));
    };
    m_mainList->SetItemText(row, MainColumn(ListColumn::Track), tag.track > 0 ? QString::number(tag.track) : QString());
    set(ListColumn::Title, tag.title);
    set(ListColumn::Artist, tag.artist);
    set(ListColumn::Album, tag.album);
    set(ListColumn::Year, tag.year);
    set(ListColumn::Genre, tag.genre);
    set(ListColumn::Comment, tag.comment);
}

void CPageBatchJoiner::EditTag() {
    const std::vector<int> rows = SelectedRowsOf(m_mainList);
    if (rows.empty()) return;
    BatchJoinerTagDialog dialog(RowTag(rows.front()), this);
    if (dialog.exec() == QDialog::Accepted) SetRowTag(rows.front(), dialog.Tag());
}

void CPageBatchJoiner::SetRunObserver(std::function<void(BatchProgressDialog*)> observer) {
    m_runObserver = std::move(observer);
}


void CPageBatchJoiner::JoinNow() {
    StoreJoinType();
    if (m_running || m_mainList->RowCount() == 0 || m_joinedList->RowCount() == 0) return;
    m_running = true;
    const JoinerOptions options = m_settings.joinerOptions;

    std::vector<BatchJoinItem> items(static_cast<std::size_t>(m_mainList->RowCount()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const int row = static_cast<int>(i);
        items[i].mainPath = m_mainList->Record(row)->path;
        items[i].tag = RowTag(row);
        items[i].outcome = m_mainList->ItemText(row, MainColumn(ListColumn::Output)).toStdString();
    }
    std::vector<fs::path> joined;
    for (int row = 0; row < m_joinedList->RowCount(); ++row) joined.push_back(m_joinedList->Record(row)->path);

    BatchProgressDialog dialog(this);
    dialog.Start();
    dialog.RunBar().SetStep(1);
    if (m_runObserver) m_runObserver(&dialog);
    const BatchJoinProgress progress{dialog.FileOperation(), &dialog.RunBar(), &dialog.RunText()};
    const auto rowChanged = [&](std::size_t i) {
        const int row = static_cast<int>(i);
        m_mainList->Record(row)->outputPath = items[i].outputPath;
        m_mainList->SetItemText(row, MainColumn(ListColumn::Output), QString::fromStdString(items[i].outcome));
        m_mainList->FollowRow(row);
        dialog.Pump().PumpMessages();
    };
    const BatchJoinResult result =
        RunBatchJoin(items, joined, m_settings.batchJoiner.JoinType, options, progress, rowChanged);
    dialog.Finish();
    m_running = false;
    UpdateButtons();
    // An outcome is read whole where the window has room for it.
    m_mainList->FitColumnToContents(MainColumn(ListColumn::Output));

    if (result == BatchJoinResult::Cancelled || !options.BrowseFolder) return;
    for (const BatchJoinItem& item : items) {
        if (!item.outputPath.empty()) {
            m_fileManager.Show(PathText(item.outputPath));
            break;
        }
    }
}

}  // namespace qm
