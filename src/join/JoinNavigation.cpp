#include "join/JoinNavigation.h"

#include <algorithm>
#include <limits>

#include "marks/CueSheet.h"
#include "output/Paths.h"
#include "stream/MpegHeader.h"
#include "stream/XingFrame.h"

namespace qm {

namespace {

// Rounded down: a split at the time then cuts at the frame boundary the time stands for
// (it cuts after the frame that holds the time's sample), not one frame later.
std::uint32_t MillisOf(std::uint64_t samples, int rateHz) {
    if (rateHz <= 0) return 0;
    const std::uint64_t rate = static_cast<std::uint64_t>(rateHz);
    const std::uint64_t ms = samples * 1000 / rate;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t OffsetField(std::uint64_t offset) {
    return offset < kNoChapterOffset ? static_cast<std::uint32_t>(offset) : kNoChapterOffset;
}

}  // namespace

SourceName SourceNameOf(const std::filesystem::path& source) {
    TagInfo tag;
    ReadTags(source, &tag);
    SourceName name{tag.title, tag.artist};
    if (name.title.empty()) name.title = FileTitleOf(source);
    return name;
}

PlayedStream PlayedStreamOf(std::span<const std::uint8_t> infoFrame, int rateHz, std::uint64_t streamSamples) {
    PlayedStream played{rateHz, 0, streamSamples};
    XingLayout layout;
    LameExtension lame;
    if (infoFrame.empty() || !ParseXingLayout(infoFrame, &layout) || !ReadLameExtension(infoFrame, layout, &lame)) {
        return played;
    }
    played.playedDelay = static_cast<std::uint64_t>(lame.encoderDelaySamples + kDecoderDelaySamples);
    const auto trimmed = static_cast<std::uint64_t>(lame.encoderDelaySamples + lame.paddingSamples);
    played.playedSamples = streamSamples > trimmed ? streamSamples - trimmed : 0;
    return played;
}

std::vector<Chapter> JoinedTimeline::Chapters(std::span<const SourceName> names, const PlayedStream& stream,
                                              std::uint64_t endByteOffset) const {
    // Where each source begins in the played audio: the samples the player skips at the start
    // come off, and a source that begins inside them begins at 0.
    std::vector<std::uint64_t> played;
    for (std::size_t k = 0; k < m_starts.size(); ++k) {
        const std::uint64_t sample = m_starts[k].streamSample;
        const std::uint64_t at = k == 0 || sample <= stream.playedDelay ? 0 : sample - stream.playedDelay;
        played.push_back(std::min(at, stream.playedSamples));
    }
    std::vector<Chapter> chapters;
    for (std::size_t k = 0; k < m_starts.size(); ++k) {
        const bool last = k + 1 == m_starts.size();
        Chapter chapter;
        chapter.id = "ch" + std::to_string(k);
        chapter.startMs = MillisOf(played[k], stream.rateHz);
        chapter.endMs = MillisOf(last ? stream.playedSamples : played[k + 1], stream.rateHz);
        if (k < names.size()) chapter.title = names[k].title;
        chapter.startOffset = OffsetField(m_starts[k].byteOffset);
        chapter.endOffset = OffsetField(last ? endByteOffset : m_starts[k + 1].byteOffset);
        chapters.push_back(std::move(chapter));
    }
    return chapters;
}

std::string JoinedCueSheetText(std::span<const Chapter> chapters, std::span<const SourceName> names,
                               const TagInfo& joined, const std::string& audioFileName) {
    MarkList marks;
    marks.album = joined.album.empty() ? joined.title : joined.album;
    marks.performer = joined.artist;
    marks.genre = joined.genre;
    marks.year = joined.year;
    for (std::size_t k = 0; k < chapters.size(); ++k) {
        Mark mark;
        // Rounded down to the sheet's 1/75 s frames, for the reason MillisOf rounds down.
        constexpr Millis kCueFramesPerSecond = 75;
        const Millis frames = Millis{chapters[k].startMs} * kCueFramesPerSecond / 1000;
        mark.begin = frames * 1000 / kCueFramesPerSecond;
        mark.title = chapters[k].title;
        if (k < names.size()) mark.performer = names[k].performer;
        mark.track = static_cast<int>(k + 1);
        marks.marks.push_back(std::move(mark));
    }
    return "\xEF\xBB\xBF" + CueSheetText(marks, audioFileName);
}

void FrameOffsets::Feed(std::span<const std::uint8_t> bytes) {
    constexpr std::uint64_t kLost = std::numeric_limits<std::uint64_t>::max();
    std::size_t at = 0;
    while (at < bytes.size() && m_nextFrame != kLost) {
        const std::uint64_t position = m_position + at;
        const std::uint64_t headerAt = m_nextFrame + static_cast<std::uint64_t>(m_headerBytes);
        if (position < headerAt) {
            at += static_cast<std::size_t>(std::min<std::uint64_t>(headerAt - position, bytes.size() - at));
            continue;
        }
        m_header[m_headerBytes++] = bytes[at++];
        if (m_headerBytes < 4) continue;
        m_headerBytes = 0;
        if (!IsValidMp3FrameHeader(m_header)) {
            // Not a stream of frames after all: the offsets not found yet take the end.
            m_nextFrame = kLost;
            break;
        }
        while (m_found.size() < m_wanted.size() && m_wanted[m_found.size()] <= m_frameIndex) {
            m_found.push_back(m_nextFrame);
        }
        m_nextFrame += static_cast<std::uint64_t>(DecodeMp3FrameHeader(m_header).frameBytes);
        ++m_frameIndex;
    }
    m_position += bytes.size();
}

std::vector<std::uint64_t> FrameOffsets::Found() const {
    std::vector<std::uint64_t> found = m_found;
    found.resize(m_wanted.size(), m_position);
    return found;
}

}  // namespace qm
