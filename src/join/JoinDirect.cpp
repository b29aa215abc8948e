// The direct join: the audio frames of every source copied unchanged, in order, after the
// target's tag and one Xing/Info frame that describes the joined stream. A volume change
// steps each Layer III granule's global_gain and leaves every other bit of the frame as it is.

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <span>
#include <vector>

#include "join/ChooseJoin.h"
#include "join/JoinList.h"
#include "join/JoinProgress.h"
#include "stream/GranuleGainEdit.h"
#include "stream/Mp3FrameReader.h"
#include "stream/OutputFile.h"
#include "stream/XingFrame.h"

namespace qm {

namespace {

// The most frames a source can mark as repeated through its encoder delay: the 12-bit field
// and the decoder delay span eight frames of 576 samples (MPEG-2 Layer III).
constexpr std::size_t kMaxRepeatedFrames = (kMaxLameTrimSamples + kDecoderDelaySamples) / 576;

std::string NotSameStreamMessage(const std::filesystem::path& path) {
    return "Failed to join file \"" + path.string() +
           "\" by copying frames: its MPEG version, layer, sample rate or channels differ from the first file's.";
}

// The LAME extension of a source's Xing/Info frame, when it has one.
std::optional<LameExtension> LameExtensionOf(const std::vector<std::uint8_t>& infoFrame) {
    XingLayout layout;
    LameExtension lame;
    if (infoFrame.empty() || !ParseXingLayout(infoFrame, &layout) || !ReadLameExtension(infoFrame, layout, &lame)) {
        return std::nullopt;
    }
    return lame;
}

// How many of a source's first frames repeat the previous source's last ones. A split piece
// after the first begins with frames of the piece before it, carried for the bit reservoir
// of its first own frame, and marks them as encoder delay: whole frames less the decoder's
// delay. Any other delay (an encoder's own, 576 samples for LAME) marks none.
std::size_t RepeatedFramesMarked(const LameExtension& lame, int samplesPerFrame) {
    const int marked = lame.encoderDelaySamples + kDecoderDelaySamples;
    if (samplesPerFrame <= 0 || lame.encoderDelaySamples == 0 || marked % samplesPerFrame != 0) return 0;
    return std::min(static_cast<std::size_t>(marked / samplesPerFrame), kMaxRepeatedFrames);
}

// The last few frames written from one source, kept to recognise them at the start of the
// next. Their buffers are reused, so the memory stays a few frames whatever the sources' size.
class RecentFrames {
public:
    void Clear() { m_count = 0; }
    void Add(std::span<const std::uint8_t> frame) {
        std::vector<std::uint8_t>& slot = m_frames[(m_first + m_count) % kMaxRepeatedFrames];
        slot.assign(frame.begin(), frame.end());
        if (m_count < kMaxRepeatedFrames) {
            ++m_count;
        } else {
            m_first = (m_first + 1) % kMaxRepeatedFrames;
        }
    }
    std::size_t Count() const { return m_count; }
    // Frame i of the last n (0 = the oldest of them).
    const std::vector<std::uint8_t>& FromLast(std::size_t n, std::size_t i) const {
        return m_frames[(m_first + m_count - n + i) % kMaxRepeatedFrames];
    }

private:
    std::array<std::vector<std::uint8_t>, kMaxRepeatedFrames> m_frames;
    std::size_t m_first = 0;
    std::size_t m_count = 0;
};

// The joined stream as it is written: the frames go to the output and into the Xing/Info
// frame's counts, seek table and CRC; the last frames of the source are remembered. Frames
// that follow one another in a source are handed to the kernel as one run (copy_file_range),
// so their bytes are not written by the program; the run is cut at a bounded length so that
// a long source is copied in steps between the frames read rather than all at its end. With
// a volume change every audio frame is written from memory instead, its granules' gain
// stepped; the Xing/Info frame's CRC is taken over the frames as written, while the frames
// remembered for the next source stay as they were read, to be compared with its own.
class JoinedStream {
public:
    explicit JoinedStream(OutputFile& out) : m_out(out) {}

    // Steps every granule's global_gain of each audio frame by gainSteps (0: frames copied as
    // they are), adding what it did to counts.
    void SetGain(int gainSteps, GainEditCount* counts) {
        m_gain.fill(GainChange{gainSteps, false});
        m_gainSteps = gainSteps;
        m_gainCounts = counts;
    }

    // Writes a placeholder Xing frame like format's frames (none for Layer I and II).
    [[nodiscard]] bool Begin(const Mp3FrameHeader& format) {
        m_headerOffset = m_out.BytesWritten();
        const std::vector<std::uint8_t> frame = MakeXingFrame(format, WithLameExtension::Yes);
        if (frame.empty()) return true;
        m_xing.emplace(frame);
        m_xing->NameByBitRates();
        m_placeholder = frame;
        return m_out.Write(frame.data(), frame.size());
    }
    // A frame of the source open on sourceFd, read from sourceByteOffset.
    [[nodiscard]] bool AddFromSource(std::span<const std::uint8_t> frame, const Mp3FrameHeader& header, int sourceFd,
                                     std::uint64_t sourceByteOffset) {
        if (m_gainSteps != 0) return AddEdited(frame, header);
        constexpr std::uint64_t kMaxRunBytes = std::uint64_t{8} << 20;
        const bool followsOn = sourceFd == m_runFd && sourceByteOffset == m_runStart + m_runBytes;
        if (m_runBytes > 0 && (!followsOn || m_runBytes >= kMaxRunBytes) && !CopyRun()) return false;
        if (m_runBytes == 0) {
            m_runFd = sourceFd;
            m_runStart = sourceByteOffset;
        }
        m_runBytes += frame.size();
        Count(frame, frame);
        return true;
    }
    // A frame written from memory, after the run before it: one remembered as read, its
    // header decoded again.
    [[nodiscard]] bool AddBytes(std::span<const std::uint8_t> frame) {
        if (m_gainSteps != 0) return AddEdited(frame, DecodeMp3FrameHeader(frame.data()));
        if (!CopyRun() || !m_out.Write(frame.data(), frame.size())) return false;
        Count(frame, frame);
        return true;
    }
    // Hands over the source's last run and waits until everything handed over is stored: the
    // kernel copies a run on the writer's thread, so the source may be closed only then.
    // Writing the placeholder again (nothing for Layer I and II) is how the output waits.
    [[nodiscard]] bool EndSource() {
        return CopyRun() && m_out.Rewrite(m_headerOffset, m_placeholder.data(), m_placeholder.size());
    }
    // Hands over the pending run.
    [[nodiscard]] bool CopyRun() {
        if (m_runBytes == 0) return true;
        const std::uint64_t bytes = m_runBytes;
        m_runBytes = 0;
        return m_out.CopyFrom(m_runFd, m_runStart, bytes);
    }
    // Audio frames written so far, and where the next one goes in the file.
    std::uint64_t Frames() const { return m_frames; }
    std::uint64_t NextByteOffset() const { return m_out.BytesWritten() + m_runBytes; }
    // After Finish: the stream's Xing/Info frame as written (empty for Layer I and II).
    const std::vector<std::uint8_t>& InfoFrame() const { return m_infoFrame; }
    // The encoder delay of the stream's start and the padding of its end, when a source
    // carries them; without either the frame carries no LAME extension.
    void SetEncoderDelay(int samples) {
        m_carriesTrim = true;
        if (m_xing) m_xing->SetEncoderDelay(samples);
    }
    void SetPadding(int samples) {
        m_carriesTrim = true;
        if (m_xing) m_xing->SetPadding(samples);
    }
    // Hands over the previous source's last frames and starts remembering this one's.
    RecentFrames TakeRecent() {
        RecentFrames recent = std::move(m_recent);
        m_recent.Clear();
        return recent;
    }
    // Rewrites the Xing/Info frame with what the stream now holds.
    [[nodiscard]] bool Finish() {
        if (!CopyRun()) return false;
        if (!m_xing) return true;
        if (!m_carriesTrim) m_xing->DropLameExtension();
        m_infoFrame =
            m_xing->Finish(m_out.BytesWritten() - m_headerOffset, /*keepEncoderDelay=*/true, /*keepPadding=*/true);
        return m_out.Rewrite(m_headerOffset, m_infoFrame.data(), m_infoFrame.size());
    }

private:
    // The frame with its granules' gain stepped, written from memory. A frame that has no
    // global_gain (Layer I and II) goes out as it is.
    [[nodiscard]] bool AddEdited(std::span<const std::uint8_t> frame, const Mp3FrameHeader& header) {
        m_edited.assign(frame.begin(), frame.end());
        static_cast<void>(ApplyGranuleSteps(m_edited, header, m_gain, m_gainCounts));
        if (!CopyRun() || !m_out.Write(m_edited.data(), m_edited.size())) return false;
        Count(m_edited, frame);
        return true;
    }
    // written: the frame's bytes in the output; asRead: the same frame as the source holds it.
    void Count(std::span<const std::uint8_t> written, std::span<const std::uint8_t> asRead) {
        if (m_xing) m_xing->AddFrame(written);
        m_recent.Add(asRead);
        ++m_frames;
    }

    OutputFile& m_out;
    int m_runFd = -1;
    std::uint64_t m_runStart = 0;
    std::uint64_t m_runBytes = 0;
    std::uint64_t m_headerOffset = 0;
    std::vector<std::uint8_t> m_placeholder;
    std::optional<XingFrameBuilder> m_xing;
    std::vector<std::uint8_t> m_infoFrame;
    bool m_carriesTrim = false;
    RecentFrames m_recent;
    std::uint64_t m_frames = 0;
    int m_gainSteps = 0;
    std::array<GainChange, 2> m_gain{};  // one change per granule: two in MPEG-1, one in MPEG-2 and 2.5
    GainEditCount* m_gainCounts = nullptr;
    std::vector<std::uint8_t> m_edited;  // the frame being edited, its buffer reused
};

enum class SourceResult { Done, WriteFailed, Cancelled };

// A frame that heads a stream instead of carrying audio: the source's own Xing/Info frame, or
// one left inside the source by an earlier join of whole files.
bool IsStreamHeaderFrame(std::span<const std::uint8_t> frame, const Mp3FrameHeader& header) {
    return !XingTagOf(frame.data(), frame.size(), header.sideInfoBytes).empty();
}

// Copies one source's audio frames from the reader's audio start. Bytes that are not audio
// of this stream stay behind: a Xing/Info frame, and a run of bytes that passes the header
// tests in another format (a false sync inside a tag or junk). The first `repeated` frames
// are left out when they are, byte for byte, the last frames written from the source before.
SourceResult CopySourceFrames(Mp3FrameReader& reader, const Mp3FrameHeader& format, std::size_t repeated,
                              JoinedStream& stream, JoinProgress& progress) {
    const RecentFrames previous = stream.TakeRecent();
    if (repeated > previous.Count()) repeated = 0;
    std::size_t matched = 0;  // of the first frames, those that repeat the previous source's
    bool checking = repeated > 0;
    Mp3FrameHeader header;
    while (const std::uint8_t* frame = reader.NextFrame(&header)) {
        const std::span<const std::uint8_t> bytes(frame, static_cast<std::size_t>(header.frameBytes));
        const bool audio = !IsStreamHeaderFrame(bytes, header) && CanShareStream(format, header);
        if (audio && checking) {
            const std::vector<std::uint8_t>& before = previous.FromLast(repeated, matched);
            if (std::equal(bytes.begin(), bytes.end(), before.begin(), before.end())) {
                checking = ++matched < repeated;
                if (!progress.Advance(reader.Position())) return SourceResult::Cancelled;
                continue;
            }
            // Not the frames the delay marked after all: the ones that matched so far are
            // this source's own and go in first.
            for (std::size_t i = 0; i < matched; ++i) {
                if (!stream.AddBytes(previous.FromLast(repeated, i))) return SourceResult::WriteFailed;
            }
            checking = false;
        }
        if (audio && !stream.AddFromSource(bytes, header, reader.Descriptor(), header.frameOffset)) {
            return SourceResult::WriteFailed;
        }
        if (!progress.Advance(reader.Position())) return SourceResult::Cancelled;
    }
    return stream.EndSource() ? SourceResult::Done : SourceResult::WriteFailed;
}

}  // namespace

// Library exceptions (an allocation failure, a file-system error) end the join here as a
// failed write; the unfinished output is removed on the way out.
bool JoinList::JoinDirect(const std::filesystem::path& target, const LongOperation& operation) {
    m_gainCounts = GainEditCount{};
    m_appliedGainDb = 0;
    try {
        return CopyFrames(target, operation);
    } catch (const std::exception&) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
}

bool JoinList::CopyFrames(const std::filesystem::path& target, const LongOperation& operation) {
    // The reader outlives the output: runs of its frames may still be copied into the
    // output on the writer's thread until the output is committed or discarded.
    Mp3FrameReader reader;
    // Stored by a thread of its own while the next frames are read.
    OutputFile out;
    if (!out.Create(target)) {
        m_lastError = FailedToCreateMessage(target);
        return false;
    }
    if (!WriteTargetTag(out)) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    operation.Pump();
    JoinProgress progress(operation, static_cast<int>(m_sources.size()), target.filename().string());
    progress.Begin();

    JoinedStream stream(out);
    JoinedTimeline timeline;
    Mp3FrameHeader format;
    for (std::size_t k = 0; k < m_sources.size(); ++k) {
        // The frames are copied, not decoded: the length the analysis would measure (a scan
        // of every frame of a source without a Xing/Info frame) is not needed.
        if (!reader.Open(m_sources[k], Mp3FrameReader::Measure::FormatOnly)) {
            m_lastError = FailedToOpenMessage(m_sources[k]);
            return false;
        }
        if (!progress.StartSource(static_cast<int>(k), reader.FileSize())) return false;
        // Open leaves the frame at the audio start as the last one read: the first source's
        // gives the stream its format, and every later source has to fit it.
        if (k == 0) {
            format = reader.LastHeader();
            // Only Layer III frames carry a gain to step; the others are copied as they are.
            const int gainSteps = format.layer == 3 ? GainSteps(m_gainTenthsDb / 10.0) : 0;
            stream.SetGain(gainSteps, &m_gainCounts);
            m_appliedGainDb = gainSteps * kGainStepDb;
            if (!stream.Begin(format)) {
                m_lastError = FailedToWriteMessage(target);
                return false;
            }
        } else if (!CanShareStream(format, reader.LastHeader())) {
            m_lastError = NotSameStreamMessage(m_sources[k]);
            return false;
        }
        const std::optional<LameExtension> lame = LameExtensionOf(reader.InfoFrame());
        if (lame && k == 0) stream.SetEncoderDelay(lame->encoderDelaySamples);
        if (lame && k + 1 == m_sources.size()) stream.SetPadding(lame->paddingSamples);
        const std::size_t repeated = k > 0 && lame ? RepeatedFramesMarked(*lame, format.samplesPerFrame) : 0;
        // The source's audio begins with the next frame written: its repeats of the source
        // before are left out.
        timeline.StartSource(stream.Frames() * static_cast<std::uint64_t>(format.samplesPerFrame),
                             stream.NextByteOffset());
        const SourceResult result = CopySourceFrames(reader, format, repeated, stream, progress);
        if (result == SourceResult::Cancelled) return false;
        // A source that another program cut short, rewrote or extended while it was copied:
        // its frame walk may have ended early, or its frames may not be the file's, and a run
        // it can no longer supply fails the copy. The fault is the source's, not the output's.
        if (reader.SourceChanged()) {
            m_lastError = SourceChangedMessage(m_sources[k]);
            return false;
        }
        if (result == SourceResult::WriteFailed) {
            m_lastError = FailedToWriteMessage(target);
            return false;
        }
        reader.Close();
    }
    const std::uint64_t streamSamples = stream.Frames() * static_cast<std::uint64_t>(format.samplesPerFrame);
    if (!stream.Finish() ||
        !FinishNavigation(out, timeline, PlayedStreamOf(stream.InfoFrame(), format.sampleRateHz, streamSamples),
                          out.BytesWritten())) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    return CommitOutput(out, target, OutputExpectation::Frames(stream.Frames()), operation);
}

}  // namespace qm
