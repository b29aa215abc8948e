#include "ui/pages/CPageSplitterOpt.h"

#include "ui/pages/PageSizes.h"

namespace qm {

CPageSplitterOpt::CPageSplitterOpt(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
}

bool CPageSplitterOpt::Validate() {
    return true;
}

}  // namespace qm
