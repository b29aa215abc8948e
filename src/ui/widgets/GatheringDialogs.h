#pragma once

// The two system dialogs the file lists gather with: the open-file dialog (several MP3 files)
// and the folder browser. Tests put their own chooser in place of the dialogs.

#include <QString>
#include <QStringList>

class QWidget;

namespace qm {

class GatheringDialogs {
public:
    virtual ~GatheringDialogs() = default;
    // The chosen files as full paths in the dialog's order; empty when cancelled.
    virtual QStringList ChooseFiles(QWidget* parent) = 0;
    // The chosen folder, starting at startFolder; empty when cancelled.
    virtual QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
};

// The dialogs in use: the system's unless a replacement was set.
GatheringDialogs& CurrentGatheringDialogs();
// Puts dialogs in place of the system's (nullptr restores them). Not owned.
void SetGatheringDialogs(GatheringDialogs* dialogs);

}  // namespace qm
