#pragma once

// Where the settings store keeps its values: groups (sub-keys such as "Options/Split") of
// named values, each a signed 32-bit number, a UTF-8 text or a block of bytes. Every
// failure is silent to the user; the store simply keeps its defaults or skips a write.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm {

// One open group. Reads give nothing when the value is absent or cannot be read as the
// asked type; writes return false when the value could not be stored.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    virtual std::optional<std::int32_t> ReadDword(const std::string& name) = 0;
    virtual std::optional<std::string> ReadString(const std::string& name) = 0;
    virtual std::optional<std::vector<std::uint8_t>> ReadBinary(const std::string& name) = 0;
    [[nodiscard]] virtual bool WriteDword(const std::string& name, std::int32_t value) = 0;
    [[nodiscard]] virtual bool WriteString(const std::string& name, const std::string& value) = 0;
    [[nodiscard]] virtual bool WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value) = 0;
};

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // Opens an existing group for reading; null when it does not exist or cannot be opened.
    // Writes through the returned key fail.
    virtual std::unique_ptr<SettingsKey> OpenForReading(const std::string& group) = 0;
    // Opens a group for reading and writing, creating it when missing; null on failure.
    virtual std::unique_ptr<SettingsKey> CreateForWriting(const std::string& group) = 0;
};

// The group names, one per stored sub-key, with "/" between levels.
inline constexpr const char* kOptionsKey = "Options";
inline constexpr const char* kSplitKey = "Options/Split";
inline constexpr const char* kBatchSplitKey = "Options/BatchSplit";
inline constexpr const char* kJoinKey = "Options/Join";
inline constexpr const char* kBatchJoinKey = "Options/BatchJoin";

}  // namespace qm
