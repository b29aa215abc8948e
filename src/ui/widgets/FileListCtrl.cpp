#include "ui/widgets/FileListCtrl.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <system_error>

#include "stream/Tags.h"
#include "ui/kit/Addresses.h"
#include "ui/kit/DesktopCalls.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/RowAnalysis.h"
#include "ui/widgets/RowMoves.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSearchingText = "Searching MP3 files...";
constexpr const char* kChooseFolderTitle = "Please choose a folder:";

// The open-file dialog of every list: MP3 files, several at once, starting where the dialog
// was last used (no start folder).
FileChoice OpenFilesChoice() {
    return FileChoice{QStringLiteral("Open"), QString(), QStringLiteral("MP3 Files (*.mp3);;All Files (*.*)"),
                      QString()};
}

// The same file reached by two paths (a symbolic link, "..", a shortcut's target) gives the
// same identity; a file that cannot be resolved keeps its absolute path.
std::string IdentityOf(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    if (error) resolved = fs::absolute(path, error).lexically_normal();
    return resolved.string();
}

// The failed paths of one load: the first kMaxListedFailures in full, then one line saying
// that there were more.
class FailureList {
public:
    void Add(const fs::path& path) {
        ++m_count;
        if (m_count <= FileListCtrl::kMaxListedFailures) {
            m_text += PathText(path) + u'\n';
        } else if (m_count == FileListCtrl::kMaxListedFailures + 1) {
            m_text += QStringLiteral("<more files>...\n");
        }
    }
    bool Empty() const { return m_count == 0; }
    QString Message() const {
        return QStringLiteral("Failed to load the following files.\n\n%1\nTo get help, please contact us at <%2>.")
            .arg(m_text, QString::fromLatin1(kSupportAddress));
    }

private:
    int m_count = 0;
    QString m_text;
};

// The Folder value of a page's settings group; null without a store or for a page without one.
std::string* StoredFolder(SettingsStore* store, SettingsPage page) {
    if (store == nullptr) return nullptr;
    switch (page) {
        case SettingsPage::BatchSplitter:
            return &store->batchSplitter.Folder;
        case SettingsPage::Joiner:
            return &store->joinerPage.Folder;
        case SettingsPage::BatchJoiner:
            return &store->batchJoiner.Folder;
        default:
            return nullptr;
    }
}

// Redrawing every visible row at each round of the event loop costs more than analysing the
// files, so while a load runs the list is redrawn about ten times a second, showing its newest
// row; the progress window keeps being redrawn at every round.
class LoadingRedraw {
public:
    static constexpr qint64 kIntervalMs = 100;

    explicit LoadingRedraw(FileListCtrl* list) : m_list(list), m_wasEnabled(list->updatesEnabled()) {
        m_list->setUpdatesEnabled(false);
        m_clock.start();
    }
    ~LoadingRedraw() {
        m_list->setUpdatesEnabled(m_wasEnabled);
        ShowNewestRow();
    }
    LoadingRedraw(const LoadingRedraw&) = delete;
    LoadingRedraw& operator=(const LoadingRedraw&) = delete;

    void AfterRow() {
        if (!m_wasEnabled || m_clock.elapsed() < kIntervalMs) return;
        m_clock.restart();
        m_list->setUpdatesEnabled(true);
        ShowNewestRow();
        m_eventPump.PumpMessages();  // the redraw itself, whatever the rate of the loading's pump
        m_list->setUpdatesEnabled(false);
    }

private:
    void ShowNewestRow() {
        if (m_list->RowCount() > 0) m_list->scrollToItem(m_list->topLevelItem(m_list->RowCount() - 1));
    }

    FileListCtrl* m_list;
    bool m_wasEnabled;
    QElapsedTimer m_clock;
    QtMessagePump m_eventPump;
};

// Gives a list the local files dragged over the widgets it watches; any other drag is left
// to the widget (text dragged into a field stays text).
class PageDropFilter final : public QObject {
public:
    PageDropFilter(FileListCtrl* list, QObject* parent) : QObject(parent), m_list(list) {}

    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
        auto* drag = static_cast<QDropEvent*>(event);
        if (!FileListCtrl::HoldsLocalFiles(drag->mimeData())) return false;
        drag->acceptProposedAction();
        if (type == QEvent::Drop && m_list) m_list->HandleDrop(drag->mimeData());
        return true;
    }

private:
    QPointer<FileListCtrl> m_list;
};

bool InsideAList(const QWidget* widget, const QWidget* page) {
    for (; widget != nullptr && widget != page; widget = widget->parentWidget()) {
        if (qobject_cast<const FileListCtrl*>(widget) != nullptr) return true;
    }
    return false;
}

// Adds each path in turn, showing its number and name, until the end or Cancel; returns the
// paths that failed.
FailureList AddEach(FileListCtrl* list, const PathList& paths, ProgressDialog* progress) {
    FailureList failures;
    LoadingRedraw redraw(list);
    const int count = static_cast<int>(paths.size());
    for (int i = 0; i < count; ++i) {
        const fs::path& path = paths[static_cast<std::size_t>(i)];
        progress->SetText(
            QStringLiteral("[%1/%2] Adding file %3...").arg(i + 1).arg(count).arg(PathText(path.filename())));
        progress->Bar().StepIt();
        if (list->AddFile(path) == AddOutcome::Failed) failures.Add(path);
        redraw.AfterRow();
        progress->Pump().PumpMessages();
        if (progress->Cancelled()) break;
    }
    return failures;
}

}  // namespace

FileListCtrl::FileListCtrl(ListKind kind, QWidget* parent)
    : SortListCtrl(parent), m_kind(kind), m_desktop(&SystemDesktop()) {
    SetUpColumns(this, kind);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    const auto changed = [this] { emit RowCountChanged(RowCount()); };
    connect(model(), &QAbstractItemModel::rowsInserted, this, changed);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model(), &QAbstractItemModel::modelReset, this, changed);
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { ForgetIdentities(); });
    connect(model(), &QAbstractItemModel::modelAboutToBeReset, this, [this] { ForgetIdentities(); });
}

FileListCtrl::~FileListCtrl() {
    // The rows go with the base class; nothing is told about that any more.
    disconnect(model(), nullptr, this, nullptr);
}

void FileListCtrl::SetFolderSettings(SettingsStore* store, SettingsPage page) {
    m_store = store;
    m_page = page;
}

std::string* FileListCtrl::FolderField() {
    std::string* stored = StoredFolder(m_store, m_page);
    return stored != nullptr ? stored : &m_folder;
}

QString FileListCtrl::RememberedFolder() const {
    const std::string* stored = StoredFolder(m_store, m_page);
    return QString::fromStdString(stored != nullptr ? *stored : m_folder);
}

void FileListCtrl::SetGatheringTarget(FileListCtrl* target) { m_target = target; }

FileListCtrl* FileListCtrl::Target() { return m_target ? m_target.data() : this; }

void FileListCtrl::SetMenuEntries(std::function<void(QMenu*)> addEntries) { m_menuEntries = std::move(addEntries); }

void FileListCtrl::AddFiles() {
    const QStringList chosen = m_desktop->ChooseFilesToOpen(this, OpenFilesChoice());
    if (chosen.isEmpty()) return;
    PumpMessages();  // lets the window under the closed dialog redraw first
    PathList paths;
    paths.reserve(static_cast<std::size_t>(chosen.size()));
    for (const QString& file : chosen) paths.push_back(PathOf(file));
    LoadFileList(paths);
}

void FileListCtrl::AddFolder() {
    if (Target() != this) {
        Target()->AddFolder();
        return;
    }
    std::string* remembered = FolderField();
    QString start = QString::fromStdString(*remembered);
    while (start.size() > 1 && (start.endsWith(u'/') || start.endsWith(QDir::separator()))) start.chop(1);
    const QString chosen = m_desktop->ChooseFolder(this, QString::fromLatin1(kChooseFolderTitle), start);
    if (chosen.isEmpty()) return;

    QString folder = QDir::toNativeSeparators(chosen);
    if (!folder.endsWith(QDir::separator())) folder += QDir::separator();
    *remembered = folder.toStdString();
    // A folder that cannot be stored is still the one used for the rest of the run.
    if (m_store != nullptr) static_cast<void>(m_store->SaveFolder(m_page));

    ProgressDialog progress(this);
    progress.SetText(QString::fromLatin1(kSearchingText));
    progress.Start();
    progress.Pump().PumpMessages();
    PathList files;
    SearchFolders(PathOf(chosen), &files, progress.Operation());
    // Cancel during the search loads nothing of the part that was found.
    if (progress.Cancelled()) return;
    LoadFileList(files, &progress);
}

bool FileListCtrl::HoldsLocalFiles(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void FileListCtrl::HandleDrop(const QMimeData* mime) {
    if (!HoldsLocalFiles(mime)) return;
    PathList items;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) items.push_back(PathOf(url.toLocalFile()));
    }
    QPointer<FileListCtrl> target = Target();
    QMetaObject::invokeMethod(
        target,
        [target, items] {
            if (target) target->GatherAndLoad(items);
        },
        Qt::QueuedConnection);
}

void FileListCtrl::TakeDropsAnywhereOn(QWidget* page) {
    auto* filter = new PageDropFilter(this, page);
    // A drag over a widget that takes no drops (a button, a label) goes to the page; the
    // fields take drops of their own, of text, and are watched one by one.
    page->setAcceptDrops(true);
    page->installEventFilter(filter);
    for (QWidget* child : page->findChildren<QWidget*>()) {
        if (child->acceptDrops() && !InsideAList(child, page)) child->installEventFilter(filter);
    }
}

void FileListCtrl::GatherAndLoad(const PathList& items) {
    ProgressDialog progress(this);
    progress.SetText(QString::fromLatin1(kSearchingText));
    progress.Start();
    progress.Pump().PumpMessages();
    const PathList files = GatherDroppedPaths(items, progress.Operation());
    if (files.empty() || progress.Cancelled()) return;
    LoadFileList(files, &progress);
}

void FileListCtrl::LoadFileList(const PathList& paths, ProgressDialog* progress) {
    std::unique_ptr<ProgressDialog> own;
    if (progress == nullptr || !progress->IsRunning()) {
        own = std::make_unique<ProgressDialog>(this);
        own->Start();
        progress = own.get();
    }
    const int count = static_cast<int>(paths.size());
    progress->Bar().SetRange(0, count);
    progress->Bar().SetPosition(0);
    progress->Bar().SetStep(1);
    progress->Pump().PumpMessages();

    const FailureList failures = AddEach(this, paths, progress);
    progress->Finish();
    if (!failures.Empty()) ShowMessage(*m_desktop, this, failures.Message(), MessageIcon::Exclamation);
}

bool FileListCtrl::HoldsFile(const fs::path& path) {
    if (!m_identitiesValid) {
        m_identities.clear();
        for (int row = 0; row < RowCount(); ++row) m_identities.insert(IdentityOf(Record(row)->path));
        m_identitiesValid = true;
    }
    return m_identities.count(IdentityOf(path)) != 0;
}

AddOutcome FileListCtrl::AddFile(const fs::path& path) {
    const bool oncePerFile = SkipsDuplicates(m_kind);
    if (oncePerFile && HoldsFile(path)) return AddOutcome::Duplicate;
    if (!HasExtension(path, ".mp3")) return AddOutcome::Failed;
    auto record = std::make_unique<ListItemRecord>();
    record->path = path;
    if (!AnalyseListFile(m_kind, path, record.get())) return AddOutcome::Failed;
    std::error_code error;
    const std::uintmax_t sizeBytes = fs::file_size(path, error);
    ReadTags(path, &record->tags);

    const ListItemRecord* kept = record.get();
    const int row = InsertRow(PathText(path.filename()), std::move(record));
    FillRowTexts(this, m_kind, row, *kept, error ? 0 : static_cast<std::int64_t>(sizeBytes));
    if (oncePerFile) m_identities.insert(IdentityOf(path));
    return AddOutcome::Added;
}

std::vector<int> FileListCtrl::SelectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : selectedItems()) rows.push_back(indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileListCtrl::RemoveSelected() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    // From the bottom, so that the indices still to delete stay valid.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) DeleteRow(*row);
    clearSelection();
}

void FileListCtrl::MoveSelectedUp() {
    const std::vector<int> rows = SelectedRows();
    const std::vector<int> order = rows::OrderAfterMoveUp(RowCount(), rows);
    if (std::is_sorted(order.begin(), order.end())) return;
    Reorder(order, topLevelItem(rows.front()));
}

void FileListCtrl::MoveSelectedDown() {
    const std::vector<int> rows = SelectedRows();
    const std::vector<int> order = rows::OrderAfterMoveDown(RowCount(), rows);
    if (std::is_sorted(order.begin(), order.end())) return;
    Reorder(order, topLevelItem(rows.back()));
}

void FileListCtrl::MoveSelectedTo(int row) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    Reorder(rows::OrderAfterMoveTo(RowCount(), rows, row), topLevelItem(rows.front()));
}

void FileListCtrl::Reorder(const std::vector<int>& order, QTreeWidgetItem* shown) {
    std::vector<QTreeWidgetItem*> items;
    for (int row = 0; row < RowCount(); ++row) items.push_back(topLevelItem(row));
    const QList<QTreeWidgetItem*> selected = selectedItems();
    QTreeWidgetItem* current = currentItem();
    // Only the rows that land out of turn are taken out and put back; moving the items keeps
    // their texts and records together.
    for (std::size_t place = 0; place < order.size(); ++place) {
        QTreeWidgetItem* wanted = items[static_cast<std::size_t>(order[place])];
        const int at = static_cast<int>(place);
        if (topLevelItem(at) != wanted) insertTopLevelItem(at, takeTopLevelItem(indexOfTopLevelItem(wanted)));
    }
    // A row taken out leaves the selection and may take the current row elsewhere.
    if (current != nullptr) setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    clearSelection();
    for (QTreeWidgetItem* item : selected) item->setSelected(true);
    scrollToItem(shown);
    setFocus(Qt::OtherFocusReason);
}

void FileListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    if (m_menuEntries) {
        m_menuEntries(&menu);
        if (!menu.isEmpty()) menu.addSeparator();
    }
    menu.addAction(QStringLiteral("&Add Files..."), this, &FileListCtrl::AddFiles);
    // A list whose folders go to another list (the batch joiner's joined files) offers no
    // "Add Folder": its rows would appear in the other list.
    if (Target() == this) menu.addAction(QStringLiteral("Add &Folder..."), this, &FileListCtrl::AddFolder);
    // From the keyboard the menu opens at the list's centre, otherwise under the mouse.
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                          ? viewport()->mapToGlobal(viewport()->rect().center())
                          : event->globalPos();
    menu.exec(at);
}

void FileListCtrl::dragEnterEvent(QDragEnterEvent* event) {
    if (HoldsLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FileListCtrl::dragMoveEvent(QDragMoveEvent* event) {
    if (HoldsLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FileListCtrl::dropEvent(QDropEvent* event) {
    if (!HoldsLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    HandleDrop(event->mimeData());
}

}  // namespace qm
