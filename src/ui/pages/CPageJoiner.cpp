#include "ui/pages/CPageJoiner.h"

#include "ui/pages/PageSizes.h"

namespace qm {

CPageJoiner::CPageJoiner(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    m_body = new QVBoxLayout(this);
}

void CPageJoiner::SetInitialFiles(const QStringList& paths) {
    m_initialFiles = paths;
}

}  // namespace qm
