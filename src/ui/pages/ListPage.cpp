#include "ui/pages/ListPage.h"

#include "ui/kit/DesktopCalls.h"
#include "ui/pages/PageSizes.h"
#include "ui/widgets/PathText.h"

namespace qm {

ListPage::ListPage(const char* caption, SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(caption), WorkingPageSize(), parent),
      m_settings(settings),
      m_body(new QVBoxLayout(this)) {}

ListPage::~ListPage() {
    // The lists outlive this part of the page; their rows go first, and nothing they do
    // after that reaches the page.
    for (FileListCtrl* list : m_lists) {
        disconnect(list, nullptr, this, nullptr);
        list->DeleteAllRows();
    }
}

FileListCtrl* ListPage::MakeList(ListKind kind, SettingsPage folderPage, std::function<void(QMenu*)> addEntries) {
    auto* list = new FileListCtrl(kind, this);
    list->SetFolderSettings(&m_settings, folderPage);
    list->SetMenuEntries(std::move(addEntries));
    list->SetDesktop(Desktop());
    connect(list, &FileListCtrl::RowCountChanged, this, [this] { UpdateButtons(); });
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    m_lists.push_back(list);
    return list;
}

void ListPage::SetDesktop(DesktopCalls& desktop) {
    CResizablePage::SetDesktop(desktop);
    for (FileListCtrl* list : m_lists) list->SetDesktop(desktop);
}

void ListPage::ShowInFileManager(const std::filesystem::path& path) { Desktop().ShowInFileManager(PathText(path)); }

void ListPage::OpenWithDesktop(const std::filesystem::path& path) {
    Desktop().OpenWithDesktop(PathText(path), ShowMode::Normal);
}

void ListPage::ObserveRun(ProgressWindow* window) {
    if (m_runObserver) m_runObserver(window);
}

}  // namespace qm
