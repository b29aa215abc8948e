#include "ui/widgets/GatheringDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace qm {

namespace {

// The Qt file dialogs. The open-file dialog starts where it was last used in this run.
class SystemDialogs final : public GatheringDialogs {
public:
    QStringList ChooseFiles(QWidget* parent) override {
        const QStringList files = QFileDialog::getOpenFileNames(parent, QStringLiteral("Open"), m_lastFolder,
                                                                QStringLiteral("MP3 Files (*.mp3);;All Files (*.*)"));
        if (!files.isEmpty()) m_lastFolder = QFileInfo(files.front()).absolutePath();
        return files;
    }

    QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override {
        return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
    }

private:
    QString m_lastFolder;
};

GatheringDialogs* g_replacement = nullptr;

}  // namespace

GatheringDialogs& CurrentGatheringDialogs() {
    static SystemDialogs system;
    return g_replacement != nullptr ? *g_replacement : system;
}

void SetGatheringDialogs(GatheringDialogs* dialogs) { g_replacement = dialogs; }

}  // namespace qm
