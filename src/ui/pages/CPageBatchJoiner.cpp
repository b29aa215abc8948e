#include "ui/pages/CPageBatchJoiner.h"

#include "ui/pages/PageSizes.h"

#include <QLabel>

namespace qm {

CPageBatchJoiner::CPageBatchJoiner(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
    m_mainList = new FileListCtrl(ListKind::BatchJoinerMain, this);
    m_mainList->SetFolderSettings(&settings, SettingsPage::BatchJoiner);
    m_joinedList = new FileListCtrl(ListKind::BatchJoinerJoined, this);
    // Folders and dropped files always go to the main files.
    m_joinedList->SetGatheringTarget(m_mainList);
    const auto addCaptioned = [this](const char* caption, FileListCtrl* list) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(list);
        label->setWordWrap(true);
        m_body->addWidget(label);
        m_body->addWidget(list, 1);
    };
    addCaptioned("&Main MP3 Files (all joined MP3 files in bottom section will be joined at beginning or end "
                 "of every file in the section)",
                 m_mainList);
    addCaptioned("Joined M&P3 Files", m_joinedList);
}

}  // namespace qm
