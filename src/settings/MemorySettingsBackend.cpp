#include "settings/MemorySettingsBackend.h"

#include <utility>

namespace qm {

// An open group of the memory backend. Values are looked up by name at each call, so a key
// sees writes made through another key of the same group.
class MemorySettingsBackend::Key final : public SettingsKey {
public:
    Key(MemorySettingsBackend* owner, std::string group, bool writable)
        : m_owner(owner), m_group(std::move(group)), m_writable(writable) {}

    std::optional<std::int32_t> ReadDword(const std::string& name) override { return Read<std::int32_t>(name); }
    std::optional<std::string> ReadString(const std::string& name) override { return Read<std::string>(name); }
    std::optional<std::vector<std::uint8_t>> ReadBinary(const std::string& name) override {
        return Read<std::vector<std::uint8_t>>(name);
    }
    [[nodiscard]] bool WriteDword(const std::string& name, std::int32_t value) override { return Store(name, value); }
    [[nodiscard]] bool WriteString(const std::string& name, const std::string& value) override {
        return Store(name, value);
    }
    [[nodiscard]] bool WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value) override {
        return Store(name, value);
    }

private:
    // A value stored with another type reads as absent.
    template <typename T>
    std::optional<T> Read(const std::string& name) const {
        std::optional<Value> value = m_owner->Get(m_group, name);
        if (!value || !std::holds_alternative<T>(*value)) {
            return std::nullopt;
        }
        return std::get<T>(*value);
    }

    [[nodiscard]] bool Store(const std::string& name, Value value) {
        if (!m_writable) {
            return false;
        }
        m_owner->m_groups[m_group][name] = std::move(value);
        m_owner->m_writes.push_back({m_group, name});
        return true;
    }

    MemorySettingsBackend* m_owner;
    std::string m_group;
    bool m_writable;
};

std::unique_ptr<SettingsKey> MemorySettingsBackend::OpenForReading(const std::string& group) {
    if (m_openFails || !HasGroup(group)) {
        return nullptr;
    }
    return std::make_unique<Key>(this, group, false);
}

std::unique_ptr<SettingsKey> MemorySettingsBackend::CreateForWriting(const std::string& group) {
    if (m_createFails) {
        return nullptr;
    }
    m_groups[group];  // creating the group, even when nothing is written to it
    return std::make_unique<Key>(this, group, true);
}

void MemorySettingsBackend::Put(const std::string& group, const std::string& name, Value value) {
    m_groups[group][name] = std::move(value);
}

std::optional<MemorySettingsBackend::Value> MemorySettingsBackend::Get(const std::string& group,
                                                                       const std::string& name) const {
    auto groupIt = m_groups.find(group);
    if (groupIt == m_groups.end()) {
        return std::nullopt;
    }
    auto valueIt = groupIt->second.find(name);
    if (valueIt == groupIt->second.end()) {
        return std::nullopt;
    }
    return valueIt->second;
}

bool MemorySettingsBackend::HasGroup(const std::string& group) const { return m_groups.count(group) != 0; }

std::vector<std::string> MemorySettingsBackend::WrittenNames(const std::string& group) const {
    std::vector<std::string> names;
    for (const Write& write : m_writes) {
        if (write.group == group) {
            names.push_back(write.name);
        }
    }
    return names;
}

}  // namespace qm
