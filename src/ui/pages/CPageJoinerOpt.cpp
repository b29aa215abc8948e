#include "ui/pages/CPageJoinerOpt.h"

#include "ui/pages/PageSizes.h"

namespace qm {

CPageJoinerOpt::CPageJoinerOpt(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
}

bool CPageJoinerOpt::Validate() {
    return true;
}

}  // namespace qm
