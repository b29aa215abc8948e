#include "ui/pages/CPageBatchJoiner.h"

#include "ui/pages/PageSizes.h"

namespace qm {

CPageBatchJoiner::CPageBatchJoiner(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
}

}  // namespace qm
