#pragma once

// The settings backend of the desktop program, over Qt's QSettings: the registry key
// HKEY_CURRENT_USER\Software\Quillmere on Windows, the file ~/.config/Quillmere/Quillmere.conf
// elsewhere. Groups are the sub-keys ("Options/Split"); DWORDs are kept as integers, texts
// as UTF-8 strings, binary values as byte arrays.

#include <memory>

#include "settings/SettingsBackend.h"

class QSettings;

namespace qm {

class QSettingsBackend final : public SettingsBackend {
public:
    // The current user's settings of the program.
    QSettingsBackend();
    // Settings kept in the given INI file (UTF-8 path), created when first written.
    explicit QSettingsBackend(const std::string& iniFilePath);
    ~QSettingsBackend() override;
    QSettingsBackend(const QSettingsBackend&) = delete;
    QSettingsBackend& operator=(const QSettingsBackend&) = delete;

    std::unique_ptr<SettingsKey> OpenForReading(const std::string& group) override;
    std::unique_ptr<SettingsKey> CreateForWriting(const std::string& group) override;

    // Where the values are kept: the file path, or the registry path on Windows.
    std::string Location() const;

private:
    std::shared_ptr<QSettings> m_settings;
};

// The current user's documents folder (UTF-8), created when missing; empty when it cannot be
// found or created. The default specific output folder of the splitter and joiner options.
std::string UserDocumentsFolder();

}  // namespace qm
