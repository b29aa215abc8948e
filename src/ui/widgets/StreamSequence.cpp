#include "ui/widgets/StreamSequence.h"

#include <algorithm>

namespace qm {

namespace {

bool SameFormat(const audio::ChannelInfo& a, const audio::ChannelInfo& b) {
    return a.sampleRateHz == b.sampleRateHz && a.channels == b.channels && a.eightBit == b.eightBit;
}

}  // namespace

std::unique_ptr<StreamSequence> StreamSequence::Open(const std::vector<std::filesystem::path>& paths) {
    std::vector<std::unique_ptr<audio::Stream>> parts;
    for (const std::filesystem::path& path : paths) {
        std::unique_ptr<audio::Stream> part = audio::StreamCreateFile(path);
        // A part of unknown length would leave the parts after it without a place.
        if (!part || part->LengthBytes() < 0) return nullptr;
        if (!parts.empty() && !SameFormat(part->Info(), parts.front()->Info())) return nullptr;
        parts.push_back(std::move(part));
    }
    if (parts.empty()) return nullptr;
    const audio::ChannelInfo info = parts.front()->Info();
    return std::unique_ptr<StreamSequence>(new StreamSequence(std::move(parts), info));
}

StreamSequence::StreamSequence(std::vector<std::unique_ptr<audio::Stream>> parts, audio::ChannelInfo info)
    : m_parts(std::move(parts)), m_info(info) {
    std::int64_t startBytes = 0;
    for (const std::unique_ptr<audio::Stream>& part : m_parts) {
        m_starts.push_back(startBytes);
        startBytes += part->LengthBytes();
        m_fileBytes += part->FileEnd();
    }
}

std::int64_t StreamSequence::LengthBytes() { return m_starts.back() + m_parts.back()->LengthBytes(); }

std::int64_t StreamSequence::Position() {
    // A part that delivers more than it measured stays inside its own stretch: the next part
    // still begins where the lengths place it.
    const std::int64_t end = m_current + 1 < m_parts.size() ? m_starts[m_current + 1] : LengthBytes();
    return std::min(m_starts[m_current] + m_parts[m_current]->Position(), end);
}

bool StreamSequence::SetPosition(std::int64_t byteOffset) {
    if (byteOffset < 0) return false;
    // The last part whose stretch begins at or before the offset; an offset past the end
    // lands at the end of the last part.
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), byteOffset);
    const auto part = static_cast<std::size_t>(std::distance(m_starts.begin(), after) - 1);
    const std::int64_t within = std::min(byteOffset - m_starts[part], m_parts[part]->LengthBytes());
    if (!m_parts[part]->SetPosition(within)) return false;
    m_current = part;
    return true;
}

std::int64_t StreamSequence::GetData(void* buffer, std::size_t byteCount) {
    if (byteCount == 0) return 0;
    while (true) {
        const std::int64_t got = m_parts[m_current]->GetData(buffer, byteCount);
        if (got > 0 || m_current + 1 == m_parts.size()) return got;
        // This part is over: the next one plays from its first sample.
        if (!m_parts[m_current + 1]->SetPosition(0)) return -1;
        ++m_current;
    }
}

bool StreamSequence::SourceChanged() const {
    return std::any_of(m_parts.begin(), m_parts.end(), [](const auto& part) { return part->SourceChanged(); });
}

}  // namespace qm
