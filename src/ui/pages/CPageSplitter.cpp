#include "ui/pages/CPageSplitter.h"

#include "ui/pages/PageSizes.h"

namespace qm {

CPageSplitter::CPageSplitter(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
}

void CPageSplitter::SetInitialFile(const QString& path) {
    m_initialFile = path;
}

}  // namespace qm
