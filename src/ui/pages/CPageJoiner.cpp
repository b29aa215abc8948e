#include "ui/pages/CPageJoiner.h"

#include "ui/pages/PageSizes.h"

#include <QTimer>

namespace qm {

CPageJoiner::CPageJoiner(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
    m_list = new FileListCtrl(ListKind::Joiner, this);
    m_list->SetFolderSettings(&settings, SettingsPage::Joiner);
    m_body->addWidget(m_list);
}

void CPageJoiner::SetInitialFiles(const QStringList& paths) {
    m_initialFiles = paths;
    // Loaded once the window is up, so that the progress window has its owner to stand on.
    QTimer::singleShot(0, this, [this] {
        PathList files;
        for (const QString& path : m_initialFiles) files.emplace_back(path.toStdString());
        if (!files.empty()) m_list->LoadFileList(files);
    });
}

}  // namespace qm
