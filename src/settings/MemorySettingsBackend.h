#pragma once

// A settings backend held in memory, for tests and for runs that must not touch the user's
// stored settings. It records every successful write in order and can be told to fail.

#include <map>
#include <variant>

#include "settings/SettingsBackend.h"

namespace qm {

class MemorySettingsBackend final : public SettingsBackend {
public:
    using Value = std::variant<std::int32_t, std::string, std::vector<std::uint8_t>>;
    // One successful write: the group and the value name.
    struct Write {
        std::string group;
        std::string name;
        bool operator==(const Write&) const = default;
    };

    std::unique_ptr<SettingsKey> OpenForReading(const std::string& group) override;
    std::unique_ptr<SettingsKey> CreateForWriting(const std::string& group) override;

    // Stores a value directly (creating its group), as a previous run would have left it.
    // Not recorded as a write.
    void Put(const std::string& group, const std::string& name, Value value);
    // The stored value, or nothing when absent.
    std::optional<Value> Get(const std::string& group, const std::string& name) const;
    bool HasGroup(const std::string& group) const;

    // Successful writes since construction or the last ClearWrites, in order.
    const std::vector<Write>& Writes() const { return m_writes; }
    // The value names written to one group, in order.
    std::vector<std::string> WrittenNames(const std::string& group) const;
    void ClearWrites() { m_writes.clear(); }

    // Failure injection: groups cannot be opened (reading) or created (writing).
    void SetOpenFails(bool fails) { m_openFails = fails; }
    void SetCreateFails(bool fails) { m_createFails = fails; }

private:
    class Key;

    std::map<std::string, std::map<std::string, Value>> m_groups;
    std::vector<Write> m_writes;
    bool m_openFails = false;
    bool m_createFails = false;
};

}  // namespace qm
