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

CPageBatchJoiner::CPageBatchJoiner(SettingsStore& settings, QWidget* parent)
    : ListPageWith(kCaption, settings, parent) {
    m_ui.mainList = MakeList(ListKind::BatchJoinerMain, SettingsPage::BatchJoiner,
                             [this](QMenu* menu) { AddMainMenuEntries(menu); });
    m_ui.joinedList = MakeList(ListKind::BatchJoinerJoined, SettingsPage::BatchJoiner,
                               [this](QMenu* menu) { AddJoinedMenuEntries(menu); });
    // Folders and dropped files always go to the main files.
    m_ui.joinedList->SetGatheringTarget(m_ui.mainList);

    Body()->addWidget(MakeJoinType());
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
                 m_ui.mainList, mainButtons);
    addCaptioned(2, "Joined M&P3 Files", m_ui.joinedList, joinedButtons);
    // Tab order: the join type and "Join Now!", then each list followed by its buttons.
    std::vector<QWidget*> chain{m_ui.insert, m_ui.append, m_ui.join, m_ui.mainList};
    const auto addButtonsOf = [&chain](QVBoxLayout* column) {
        for (int i = 0; i < column->count(); ++i) {
            if (QWidget* button = column->itemAt(i)->widget()) chain.push_back(button);
        }
    };
    addButtonsOf(mainButtons);
    chain.push_back(m_ui.joinedList);
    addButtonsOf(joinedButtons);
    for (std::size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
    grid->setColumnStretch(0, 1);
    Body()->addLayout(grid, 1);

    UpdateButtons();
    connect(m_ui.mainList, &QTreeWidget::itemDoubleClicked, this, [this] { EditTag(); });
    connect(m_ui.joinedList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        OpenWithDesktop(m_ui.joinedList->Record(m_ui.joinedList->indexOfTopLevelItem(item))->path);
    });
    // Files dropped anywhere else on the page are main files too.
    m_ui.mainList->TakeDropsAnywhereOn(this);
}

CPageBatchJoiner::~CPageBatchJoiner() { StoreJoinType(); }

QWidget* CPageBatchJoiner::MakeJoinType() {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(QStringLiteral("Join &Type:"), row);
    auto* radios = new QHBoxLayout(group);
    m_ui.insert = new QRadioButton(QStringLiteral("&Insert at beginning"), group);
    m_ui.append = new QRadioButton(QStringLiteral("Appe&nd to end"), group);
    m_ui.insert->setToolTip(QStringLiteral("The joined files go before each main file"));
    m_ui.append->setToolTip(QStringLiteral("The joined files go after each main file"));
    radios->addWidget(m_ui.insert);
    radios->addWidget(m_ui.append);
    radios->addStretch(1);
    (Settings().batchJoiner.JoinType == JoinTypeCode::Append ? m_ui.append : m_ui.insert)->setChecked(true);
    connect(m_ui.insert, &QRadioButton::toggled, this, &CPageBatchJoiner::StoreJoinType);
    line->addWidget(group, 1);
    m_ui.join = new QPushButton(QStringLiteral("&Join Now!"), row);
    m_ui.join->setToolTip(QStringLiteral("Write one joined file for every main file"));
    m_ui.join->setMinimumHeight(m_ui.join->sizeHint().height() * 3 / 2);
    connect(m_ui.join, &QPushButton::clicked, this, &CPageBatchJoiner::JoinNow);
    line->addWidget(m_ui.join, 0, Qt::AlignBottom);
    return row;
}

QVBoxLayout* CPageBatchJoiner::MakeMainButtons() {
    auto* column = new QVBoxLayout;
    connect(AddButton(column, this, "&Add Files", "Add main MP3 files"), &QPushButton::clicked, m_ui.mainList,
            &FileListCtrl::AddFiles);
    connect(AddButton(column, this, "Add &Folder", "Add the MP3 files of a folder and its subfolders"),
            &QPushButton::clicked, m_ui.mainList, &FileListCtrl::AddFolder);
    m_ui.mainRemove = AddButton(column, this, "&Remove", "Take the selected main files off the list");
    connect(m_ui.mainRemove, &QPushButton::clicked, m_ui.mainList, &FileListCtrl::RemoveSelected);
    m_ui.tag = AddButton(column, this, "ID3 tag", "Edit the tag of the selected main file's output");
    connect(m_ui.tag, &QPushButton::clicked, this, &CPageBatchJoiner::EditTag);
    column->addStretch(1);
    return column;
}

QVBoxLayout* CPageBatchJoiner::MakeJoinedButtons() {
    auto* column = new QVBoxLayout;
    connect(AddButton(column, this, "Add Fil&es", "Add files to join to every main file"), &QPushButton::clicked,
            m_ui.joinedList, &FileListCtrl::AddFiles);
    m_ui.joinedRemove = AddButton(column, this, "Remo&ve", "Take the selected joined files off the list");
    connect(m_ui.joinedRemove, &QPushButton::clicked, m_ui.joinedList, &FileListCtrl::RemoveSelected);
    m_ui.up = AddButton(column, this, "&Up", "Move the selected joined files one place up");
    connect(m_ui.up, &QPushButton::clicked, m_ui.joinedList, &FileListCtrl::MoveSelectedUp);
    m_ui.down = AddButton(column, this, "&Down", "Move the selected joined files one place down");
    connect(m_ui.down, &QPushButton::clicked, m_ui.joinedList, &FileListCtrl::MoveSelectedDown);
    column->addStretch(1);
    return column;
}

void CPageBatchJoiner::UpdateButtons() {
    const bool joinedSelected = !m_ui.joinedList->selectedItems().isEmpty();
    const bool mainSelected = !m_ui.mainList->selectedItems().isEmpty();
    m_ui.join->setEnabled(!m_running && m_ui.mainList->RowCount() > 0 && m_ui.joinedList->RowCount() > 0);
    m_ui.mainRemove->setEnabled(mainSelected);
    m_ui.tag->setEnabled(mainSelected);
    m_ui.joinedRemove->setEnabled(joinedSelected);
    m_ui.up->setEnabled(joinedSelected);
    m_ui.down->setEnabled(joinedSelected);
}

void CPageBatchJoiner::StoreJoinType() {
    Settings().batchJoiner.JoinType = m_ui.append->isChecked() ? JoinTypeCode::Append : JoinTypeCode::Prepend;
}

void CPageBatchJoiner::AddPlayAndBrowse(QMenu* menu, FileListCtrl* list) {
    const std::vector<int> rows = list->SelectedRows();
    const bool one = rows.size() == 1;
    const fs::path source = rows.empty() ? fs::path() : list->Record(rows.front())->path;
    menu->addAction(QStringLiteral("&Play"), this, [this, source] { OpenWithDesktop(source); })->setEnabled(one);
    menu->addAction(QStringLiteral("&Browse"), this, [this, source] { ShowInFileManager(source); })->setEnabled(one);
}

void CPageBatchJoiner::AddRemoveEntries(QMenu* menu, FileListCtrl* list) {
    menu->addAction(QStringLiteral("&Remove"), list, &FileListCtrl::RemoveSelected)
        ->setEnabled(!list->selectedItems().isEmpty());
    menu->addAction(QStringLiteral("Remo&ve All"), list, &FileListCtrl::DeleteAllRows)
        ->setEnabled(list->RowCount() > 0);
}

void CPageBatchJoiner::AddMainMenuEntries(QMenu* menu) {
    const std::vector<int> rows = m_ui.mainList->SelectedRows();
    const fs::path output = rows.empty() ? fs::path() : m_ui.mainList->Record(rows.front())->outputPath;
    AddPlayAndBrowse(menu, m_ui.mainList);
    menu->addAction(QStringLiteral("Set &ID3 tag"), this, &CPageBatchJoiner::EditTag)->setEnabled(rows.size() == 1);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Play &Outputted MP3"), this, [this, output] { OpenWithDesktop(output); })
        ->setEnabled(!output.empty());
    menu->addAction(QStringLiteral("Browse Outputted &MP3"), this, [this, output] { ShowInFileManager(output); })
        ->setEnabled(!output.empty());
    menu->addSeparator();
    AddRemoveEntries(menu, m_ui.mainList);
}

void CPageBatchJoiner::AddJoinedMenuEntries(QMenu* menu) {
    FileListCtrl* list = m_ui.joinedList;
    const bool selected = !list->selectedItems().isEmpty();
    AddPlayAndBrowse(menu, list);
    menu->addSeparator();
    AddRemoveEntries(menu, list);
    menu->addAction(QStringLiteral("&Up"), list, &FileListCtrl::MoveSelectedUp)->setEnabled(selected);
    menu->addAction(QStringLiteral("&Down"), list, &FileListCtrl::MoveSelectedDown)->setEnabled(selected);
}

TagInfo CPageBatchJoiner::RowTag(int row) const {
    const auto text = [&](ListColumn column) { return m_ui.mainList->ItemText(row, MainColumn(column)).toStdString(); };
    TagInfo tag;
    tag.track = m_ui.mainList->ItemText(row, MainColumn(ListColumn::Track)).trimmed().toInt();
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
        m_ui.mainList->SetItemText(row, MainColumn(column), QString::fromStdString(value));
    };
    m_ui.mainList->SetItemText(row, MainColumn(ListColumn::Track),
                               tag.track > 0 ? QString::number(tag.track) : QString());
    set(ListColumn::Title, tag.title);
    set(ListColumn::Artist, tag.artist);
    set(ListColumn::Album, tag.album);
    set(ListColumn::Year, tag.year);
    set(ListColumn::Genre, tag.genre);
    set(ListColumn::Comment, tag.comment);
}

void CPageBatchJoiner::EditTag() {
    const std::vector<int> rows = m_ui.mainList->SelectedRows();
    if (rows.empty()) return;
    BatchJoinerTagDialog dialog(RowTag(rows.front()), this);
    if (dialog.exec() == QDialog::Accepted) SetRowTag(rows.front(), dialog.Tag());
}

void CPageBatchJoiner::JoinNow() {
    StoreJoinType();
    if (m_running || m_ui.mainList->RowCount() == 0 || m_ui.joinedList->RowCount() == 0) return;
    m_running = true;
    const JoinerOptions options = Settings().joinerOptions;

    std::vector<BatchJoinItem> items(static_cast<std::size_t>(m_ui.mainList->RowCount()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const int row = static_cast<int>(i);
        items[i].mainPath = m_ui.mainList->Record(row)->path;
        items[i].tag = RowTag(row);
        items[i].outcome = m_ui.mainList->ItemText(row, MainColumn(ListColumn::Output)).toStdString();
    }
    std::vector<fs::path> joined;
    for (int row = 0; row < m_ui.joinedList->RowCount(); ++row) joined.push_back(m_ui.joinedList->Record(row)->path);

    BatchProgressDialog dialog(this);
    dialog.Start();
    dialog.RunBar().SetStep(1);
    ObserveRun(&dialog);
    const BatchJoinProgress progress{dialog.FileOperation(), &dialog.RunBar(), &dialog.RunText()};
    const auto rowChanged = [&](std::size_t i) {
        const int row = static_cast<int>(i);
        m_ui.mainList->Record(row)->outputPath = items[i].outputPath;
        m_ui.mainList->SetItemText(row, MainColumn(ListColumn::Output), QString::fromStdString(items[i].outcome));
        m_ui.mainList->FollowRow(row);
        dialog.Pump().PumpMessages();
    };
    const BatchJoinResult result =
        RunBatchJoin(items, joined, Settings().batchJoiner.JoinType, options, progress, rowChanged);
    dialog.Finish();
    m_running = false;
    UpdateButtons();
    // An outcome is read whole where the window has room for it.
    m_ui.mainList->FitColumnToContents(MainColumn(ListColumn::Output));

    if (result == BatchJoinResult::Cancelled || !options.BrowseFolder) return;
    for (const BatchJoinItem& item : items) {
        if (!item.outputPath.empty()) {
            ShowInFileManager(item.outputPath);
            break;
        }
    }
}

}  // namespace qm
