#pragma once

// The manual splitter page: one file, cut by size, count, time or by hand on a timeline.

#include "ui/shell/CResizablePage.h"

namespace qm {

class SettingsStore;

class CPageSplitter : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Splitter";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageSplitter(SettingsStore& settings, QWidget* parent = nullptr);

    // The file named on the command line, kept for the page to open (absolute path).
    void SetInitialFile(const QString& path);
    QString InitialFile() const { return m_initialFile; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    SettingsStore& m_settings;
    QString m_initialFile;
};

}  // namespace qm
