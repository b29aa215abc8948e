#pragma once

// The batch joiner page: a list of main files, each joined with the same added files.

#include <QVBoxLayout>
#include "ui/shell/CResizablePage.h"
#include "ui/widgets/FileListCtrl.h"

namespace qm {

class SettingsStore;

class CPageBatchJoiner : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Batch Joiner";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageBatchJoiner(SettingsStore& settings, QWidget* parent = nullptr);

    // Where the page's file list and its controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }
    // The main files, each joined with every file of the joined list.
    FileListCtrl* MainList() const { return m_mainList; }
    FileListCtrl* JoinedList() const { return m_joinedList; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    SettingsStore& m_settings;
    QVBoxLayout* m_body;
    FileListCtrl* m_mainList;
    FileListCtrl* m_joinedList;
};

}  // namespace qm
