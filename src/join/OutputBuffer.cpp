#include "join/OutputBuffer.h"

#include <cstring>

namespace qm {

bool OutputBuffer::Write(const void* data, std::size_t byteCount) {
    if (m_bytes.size() + byteCount > kCapacityBytes) {
        if (!Flush()) return false;
        // A block larger than the whole buffer goes straight to the file.
        if (byteCount >= kCapacityBytes) return m_file.Write(data, byteCount);
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + byteCount);
    return true;
}

bool OutputBuffer::Flush() {
    if (m_bytes.empty()) return true;
    const bool ok = m_file.Write(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
    return ok;
}

}  // namespace qm
