#pragma once

// The batch joiner page: a list of main files, each joined with the same added files.

#include <QVBoxLayout>
#include "ui/shell/CResizablePage.h"

namespace qm {

class SettingsStore;

class CPageBatchJoiner : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Batch Joiner";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageBatchJoiner(SettingsStore& settings, QWidget* parent = nullptr);

    // Where the page's file list and its controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    SettingsStore& m_settings;
    QVBoxLayout* m_body;
};

}  // namespace qm
