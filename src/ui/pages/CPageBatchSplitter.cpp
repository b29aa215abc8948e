#include "ui/pages/CPageBatchSplitter.h"

#include "ui/pages/PageSizes.h"

namespace qm {

CPageBatchSplitter::CPageBatchSplitter(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
    m_list = new FileListCtrl(ListKind::BatchSplitter, this);
    m_list->SetFolderSettings(&settings, SettingsPage::BatchSplitter);
    m_body->addWidget(m_list);
}

}  // namespace qm
