#pragma once

// The joiner page: a list of files joined into one, with the joined file's tag.

#include <QVBoxLayout>
#include <QStringList>
#include "ui/shell/CResizablePage.h"
#include "ui/widgets/FileListCtrl.h"

namespace qm {

class SettingsStore;

class CPageJoiner : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Joiner";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageJoiner(SettingsStore& settings, QWidget* parent = nullptr);

    // The files named on the command line, kept in order for the page's list (absolute paths).
    void SetInitialFiles(const QStringList& paths);
    QStringList InitialFiles() const { return m_initialFiles; }

    // Where the page's file list and its controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }
    // The files joined into one, in list order.
    FileListCtrl* List() const { return m_list; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    SettingsStore& m_settings;
    QStringList m_initialFiles;
    QVBoxLayout* m_body;
    FileListCtrl* m_list;
};

}  // namespace qm
