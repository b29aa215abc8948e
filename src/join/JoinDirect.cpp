// The direct join: the MPEG frames of every source copied unchanged, in order, after the
// target's tag.

#include <exception>

#include "join/JoinList.h"
#include "join/JoinProgress.h"
#include "stream/Mp3FrameReader.h"
#include "stream/OutputFile.h"

namespace qm {

// Library exceptions (an allocation failure, a file-system error) end the join here as a
// failed write; the unfinished output is removed on the way out.
bool JoinList::JoinDirect(const std::filesystem::path& target, const LongOperation& operation) {
    try {
        return CopyFrames(target, operation);
    } catch (const std::exception&) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
}

bool JoinList::CopyFrames(const std::filesystem::path& target, const LongOperation& operation) {
    // Stored by a thread of its own while the next frames are read.
    OutputFile out;
    if (!out.Create(target)) {
        m_lastError = FailedToCreateMessage(target);
        return false;
    }
    if (!m_targetTag.empty() && !out.Write(m_targetTag.data(), m_targetTag.size())) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    operation.Pump();
    JoinProgress progress(operation, static_cast<int>(m_sources.size()), target.filename().string());
    progress.Begin();

    Mp3FrameReader reader;
    for (std::size_t k = 0; k < m_sources.size(); ++k) {
        if (!reader.Open(m_sources[k])) {
            m_lastError = FailedToOpenMessage(m_sources[k]);
            return false;
        }
        if (!progress.StartSource(static_cast<int>(k), reader.FileSize())) return false;
        // Frames are copied as the reader finds them from the audio start: whatever lies
        // before it (an ID3v2 tag, a Xing/Info frame) and whatever the sync search passes
        // over (junk, a trailing ID3v1 tag) stays behind.
        Mp3FrameHeader header;
        while (const std::uint8_t* frame = reader.NextFrame(&header)) {
            if (!out.Write(frame, static_cast<std::size_t>(header.frameBytes))) {
                m_lastError = FailedToWriteMessage(target);
                return false;
            }
            if (!progress.Advance(reader.Position())) return false;
        }
        reader.Close();
    }
    if (!out.Commit()) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    return true;
}

}  // namespace qm
