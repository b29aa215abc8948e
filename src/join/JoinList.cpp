#include "join/JoinList.h"

#include <exception>

#include "join/JoinProgress.h"
#include "stream/BackgroundWriter.h"
#include "stream/File.h"
#include "stream/Mp3FrameReader.h"

namespace qm {

std::string FailedToCreateMessage(const std::filesystem::path& path) {
    return "Failed to create file \"" + path.string() + "\".";
}

std::string FailedToOpenMessage(const std::filesystem::path& path) {
    return "Failed to open file \"" + path.string() + "\".";
}

std::string FailedToWriteMessage(const std::filesystem::path& path) {
    return "Failed to write file \"" + path.string() + "\".";
}

void JoinList::Clear() {
    m_sources.clear();
    m_targetTag.clear();
}

void JoinList::AddSource(const std::filesystem::path& path) { m_sources.push_back(path); }

void JoinList::AddSources(const std::vector<std::filesystem::path>& paths) {
    m_sources.insert(m_sources.end(), paths.begin(), paths.end());
}

void JoinList::SetTargetTag(const std::string& title, const std::string& artist,
                            const std::string& album, const std::string& year,
                            const std::string& comment, const std::string& genre, int track) {
    TagInfo tags;
    tags.title = title;
    tags.artist = artist;
    tags.album = album;
    tags.year = year;
    tags.comment = comment;
    tags.genre = genre;
    tags.track = track;  // the whole number: track 300 stays 300
    m_targetTag = BuildId3v2Tag(tags);
}

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

bool JoinList::JoinReencode(const std::filesystem::path& target, const EncoderParams& params,
                            const LongOperation& operation) {
    try {
        return Reencode(target, params, operation);
    } catch (const std::exception&) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
}

bool JoinList::CopyFrames(const std::filesystem::path& target, const LongOperation& operation) {
    AtomicOutputFile output;
    if (!output.Create(target)) {
        m_lastError = FailedToCreateMessage(target);
        return false;
    }
    // Stored by a thread of its own while the next frames are read; it lets go of the file
    // before the file is committed or, on the way out of a failure, deleted.
    BackgroundWriter out;
    if (!out.Begin(output.Out())) {
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
    const bool written = out.Flush();
    out.Discard();
    if (!written || !output.Commit()) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    return true;
}

}  // namespace qm
