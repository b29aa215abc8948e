#pragma once

// The joiner options page: how joined files are encoded, named and placed.

#include "ui/shell/CResizablePage.h"

namespace qm {

class SettingsStore;

class CPageJoinerOpt : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "Joiner Options";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageJoinerOpt(SettingsStore& settings, QWidget* parent = nullptr);

    // Checks the page's fields before the window closes. Shows the page's own message and
    // returns false when a field holds a value that cannot be kept.
    virtual bool Validate();

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    SettingsStore& m_settings;
};

}  // namespace qm
