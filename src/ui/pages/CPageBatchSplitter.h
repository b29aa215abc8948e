#pragma once

// The batch splitter page: a list of files, each cut by the same rule.

#include <QVBoxLayout>
#include "ui/shell/CResizablePage.h"
#include "ui/widgets/FileListCtrl.h"

namespace qm {

class SettingsStore;

class CPageBatchSplitter : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Batch Splitter";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageBatchSplitter(SettingsStore& settings, QWidget* parent = nullptr);

    // Where the page's file list and its controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }
    // The source files, each split on its own.
    FileListCtrl* List() const { return m_list; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    SettingsStore& m_settings;
    QVBoxLayout* m_body;
    FileListCtrl* m_list;
};

}  // namespace qm
