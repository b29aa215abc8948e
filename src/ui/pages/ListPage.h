#pragma once

// What the three list pages (batch splitter, joiner, batch joiner) share: their body laid out
// top to bottom, the option values they edit, their file lists, which get the page's desktop
// and whose rows and selections the page's buttons follow, the file manager and the
// desktop's "open" for the files of their rows, and a hook that sees each run's progress
// window.

#include <QVBoxLayout>
#include <filesystem>
#include <functional>
#include <vector>

#include "settings/Settings.h"
#include "ui/kit/CResizablePage.h"
#include "ui/widgets/FileListCtrl.h"

class QMenu;

namespace qm {

class ProgressWindow;

class ListPage : public CResizablePage {
    Q_OBJECT

public:
    ~ListPage() override;

    // Hands desktop to the page and to each of its lists.
    void SetDesktop(DesktopCalls& desktop) override;
    // Called with the progress window of each run once it is shown (tests press Cancel).
    void SetRunObserver(std::function<void(ProgressWindow*)> observer) { m_runObserver = std::move(observer); }

protected:
    // The page edits the option values held in settings, which must outlive it.
    ListPage(const char* caption, SettingsStore& settings, QWidget* parent);

    // Where the page's lists and controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

    // A new file list of the page: "Add Folder" remembers its folder in folderPage's group,
    // addEntries puts the page's entries into its context menu, and UpdateButtons runs
    // whenever its rows or its selection change.
    FileListCtrl* MakeList(ListKind kind, SettingsPage folderPage, std::function<void(QMenu*)> addEntries);
    // Enables the page's buttons for the rows and selections of its lists.
    virtual void UpdateButtons() = 0;

    // Shows path selected in the file manager.
    void ShowInFileManager(const std::filesystem::path& path);
    // Opens path with the application the desktop associates with it ("&Play").
    void OpenWithDesktop(const std::filesystem::path& path);
    // Tells the run observer that window is up.
    void ObserveRun(ProgressWindow* window);

private:
    SettingsStore& m_settings;
    QVBoxLayout* m_body;
    std::vector<FileListCtrl*> m_lists;
    std::function<void(ProgressWindow*)> m_runObserver;
};

// A list page with its own Controls, which tests and the tab order reach through Ui().
template <typename PageControls>
class ListPageWith : public ListPage {
public:
    using Controls = PageControls;

    const Controls& Ui() const { return m_ui; }

protected:
    using ListPage::ListPage;

    Controls m_ui;
};

}  // namespace qm
