#include "stream/Mp3FrameReader.h"

#include <algorithm>
#include <cstring>

#include "stream/AudioLayer.h"
#include "stream/AudioStreams.h"
#include "stream/ByteOrder.h"
#include "stream/MpegFileAnalysis.h"

namespace qm {

namespace {

constexpr std::size_t kHeaderBytes = 4;
// kbit/s per byte per second: one kbit/s carries 125 bytes every second.
constexpr double kBytesPerSecondPerKbps = 125.0;

}  // namespace

// A window of the file held in memory. bytes[0] lies at file offset base; bytes[cursor] is
// the reader's file pointer; bytes[valid..] hold nothing yet. The descriptor's own position
// is always base + valid, so refilling simply reads on.
struct Mp3FrameReader::ReadAhead {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kInitialBufferBytes);
    std::uint64_t base = 0;
    std::size_t valid = 0;
    std::size_t cursor = 0;

    std::size_t Available() const { return valid - cursor; }
    std::uint8_t* At() { return bytes.data() + cursor; }
    std::uint64_t Offset() const { return base + cursor; }
};

Mp3FrameReader::Mp3FrameReader() : m_readAhead(std::make_unique<ReadAhead>()) {}

Mp3FrameReader::~Mp3FrameReader() = default;

bool Mp3FrameReader::Ensure(std::size_t byteCount) {
    ReadAhead& ra = *m_readAhead;
    if (ra.Available() >= byteCount) return true;
    // The capacity only ever grows, and the bytes not yet consumed move to the front so that
    // a frame always lies whole in the buffer.
    if (ra.bytes.size() < byteCount) ra.bytes.resize((byteCount & ~std::size_t{3}) + 4);
    if (ra.cursor > 0) {
        std::memmove(ra.bytes.data(), ra.At(), ra.Available());
        ra.base += ra.cursor;
        ra.valid -= ra.cursor;
        ra.cursor = 0;
    }
    while (ra.valid < byteCount) {
        const std::int64_t got = m_file.Read(ra.bytes.data() + ra.valid, ra.bytes.size() - ra.valid);
        if (got <= 0) return false;  // end of the file or a read error: the audio ends here
        ra.valid += static_cast<std::size_t>(got);
    }
    return true;
}

const std::uint8_t* Mp3FrameReader::NextFrame(Mp3FrameHeader* header) {
    if (!m_file.IsOpen()) return nullptr;
    ReadAhead& ra = *m_readAhead;

    // Hunt for four bytes that pass the header tests, one byte further at each miss. Every
    // run of bytes that passes is taken as a frame; the next header is not looked at.
    for (;;) {
        if (!Ensure(kHeaderBytes)) return nullptr;
        if (IsValidMp3FrameHeader(ra.At())) break;
        ++ra.cursor;
    }

    Mp3FrameHeader found = DecodeMp3FrameHeader(ra.At());
    m_channelMode = found.channelMode;
    m_sideInfoBytes = found.sideInfoBytes;

    // A frame cut short by the end of the file is not returned: the walk ends there.
    const auto frameBytes = static_cast<std::size_t>(found.frameBytes);
    if (!Ensure(frameBytes)) return nullptr;

    found.frameOffset = ra.Offset();
    const std::uint8_t* frame = ra.At();
    ra.cursor += frameBytes;
    m_position = ra.Offset();
    m_sampleRateHz = found.sampleRateHz;
    m_bitRateKbps = found.bitRateKbps;
    m_lastHeader = found;
    if (header) *header = found;
    return frame;
}

const std::uint8_t* Mp3FrameReader::NextFrame(int* sampleRateHz, int* bitRateKbps, int* frameBytes,
                                              int* samplesPerFrame, std::uint64_t* frameOffset) {
    Mp3FrameHeader header;
    const std::uint8_t* frame = NextFrame(&header);
    if (!frame) return nullptr;
    if (sampleRateHz) *sampleRateHz = header.sampleRateHz;
    if (bitRateKbps) *bitRateKbps = header.bitRateKbps;
    if (frameBytes) *frameBytes = header.frameBytes;
    if (samplesPerFrame) *samplesPerFrame = header.samplesPerFrame;
    if (frameOffset) *frameOffset = header.frameOffset;
    return frame;
}

void Mp3FrameReader::Seek(std::uint64_t byteOffset) {
    ReadAhead& ra = *m_readAhead;
    m_position = byteOffset;
    // Inside the window the bytes are already here (the split engines step back a few
    // frames all the time); elsewhere the window is dropped and the file moved.
    if (byteOffset >= ra.base && byteOffset - ra.base <= ra.valid) {
        ra.cursor = static_cast<std::size_t>(byteOffset - ra.base);
        return;
    }
    ra.base = byteOffset;
    ra.valid = 0;
    ra.cursor = 0;
    // A seek that fails shows as the next read coming up short.
    static_cast<void>(m_file.Seek(byteOffset));
}

bool Mp3FrameReader::CopyRange(File& out, std::uint64_t byteOffset, std::uint64_t byteCount) {
    Seek(byteOffset);
    ReadAhead& ra = *m_readAhead;
    std::uint64_t remaining = byteCount;
    bool ok = true;
    while (remaining > 0) {
        if (ra.Available() == 0 && !Ensure(1)) {
            ok = false;  // the source ended before the range did
            break;
        }
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, ra.Available()));
        if (!out.Write(ra.At(), chunk)) {
            ok = false;
            break;
        }
        ra.cursor += chunk;
        remaining -= chunk;
    }
    m_position = ra.Offset();
    return ok;
}

void Mp3FrameReader::Close() { Reset(); }

void Mp3FrameReader::Reset() {
    // The descriptor is owned by m_file, so forgetting the file releases it as well.
    m_file.Close();
    ReadAhead& ra = *m_readAhead;
    ra.base = 0;
    ra.valid = 0;
    ra.cursor = 0;
    m_infoFrame.clear();
    m_lastHeader = Mp3FrameHeader{};
    m_sampleRateHz = 0;
    m_bitRateKbps = 0;
    m_durationSeconds = 0;
    m_lengthSeconds = 0.0;
    m_channelMode.reset();
    m_sideInfoBytes = 0;
    m_position = 0;
    m_fileSize = 0;
    m_audioStart = 0;
}

// ---------------------------------------------------------------------------------------
// Analysis

bool Mp3FrameReader::Open(const std::filesystem::path& path, Measure measure) {
    Close();
    if (!m_file.OpenRead(path)) return false;
    std::uint64_t fileBytes = 0;
    if (!m_file.Size(&fileBytes) || fileBytes == 0) {
        Close();
        return false;
    }
    m_file.AdviseSequential();
    m_fileSize = fileBytes;

    const std::uint64_t xingSearchStart = XingSearchStart();
    if (!(measure == Measure::Length ? AnalyseStream(path) : FindAudioStart(path))) {
        Close();
        return false;
    }
    const int averageKbps = m_bitRateKbps;  // the frame scans below overwrite the field
    KeepInfoFrame(xingSearchStart);

    // The frame at the audio start gives the sample rate, channel mode and side-information
    // size; a file with no frame there cannot be split or joined.
    Seek(m_audioStart);
    Mp3FrameHeader first;
    if (!NextFrame(&first)) {
        Close();
        return false;
    }
    // A stream that decodes to nothing (one frame, or trimmed away entirely by its encoder
    // delay and padding) has no playing time to average over: it keeps the bit rate of its
    // first frame, so that nothing downstream divides by zero.
    m_bitRateKbps = m_lengthSeconds > 0.0 ? averageKbps : first.bitRateKbps;
    Seek(m_audioStart);
    return true;
}

bool Mp3FrameReader::OpenRaw(const std::filesystem::path& path) {
    Close();
    if (!m_file.OpenRead(path) || !m_file.Size(&m_fileSize)) {
        Close();
        return false;
    }
    m_file.AdviseSequential();
    return true;
}

std::uint64_t Mp3FrameReader::XingSearchStart() {
    // The Xing/Info frame, when there is one, is the first frame after a leading ID3v2 tag.
    // The tag's size is taken from its header; a footer is not counted, so the search then
    // starts on the footer and hunts past it like past any other non-frame bytes.
    Seek(0);
    if (!Ensure(kId3v2HeaderBytes)) return 0;
    const std::uint64_t tagBytes = Id3v2TagBytes(m_readAhead->At(), Id3v2Footer::Ignore);
    // Whatever follows the tag (a frame, padding, garbage), the search starts at the tag's
    // end and never inside the tag, whose text may hold bytes that pass the header tests.
    return tagBytes;
}

bool Mp3FrameReader::AnalyseStream(const std::filesystem::path& path) {
    const std::unique_ptr<audio::Stream> stream = audio::OpenMpegStream(path);
    if (!stream) return false;
    const std::int64_t lengthBytes = stream->LengthBytes();
    if (lengthBytes < 0) return false;
    m_audioStart = stream->FileStart();
    m_lengthSeconds = stream->BytesToSeconds(lengthBytes);
    m_durationSeconds = static_cast<int>(m_lengthSeconds);
    const std::uint64_t endBytes = stream->FileEnd();
    // Average bit rate over the whole file, tags included: bytes / (seconds * 125), rounded.
    m_bitRateKbps =
        m_lengthSeconds > 0.0
            ? static_cast<int>(static_cast<double>(endBytes) / (m_lengthSeconds * kBytesPerSecondPerKbps) + 0.5)
            : 0;
    return true;
}

bool Mp3FrameReader::FindAudioStart(const std::filesystem::path& path) {
    // The decoder's own start search, through a descriptor of its own so that the reader's
    // buffer and position stay as they are.
    File probe;
    if (!probe.OpenRead(path)) return false;
    const auto verifyBytes = static_cast<std::uint64_t>(std::max(audio::VerifyLength(), 1));
    const std::optional<audio::FileStart> start = audio::FindFileStart(probe, m_fileSize, verifyBytes);
    if (!start) return false;
    m_audioStart = start->audioStart;
    return true;
}

void Mp3FrameReader::KeepInfoFrame(std::uint64_t searchStart) {
    Seek(searchStart);
    Mp3FrameHeader header;
    const std::uint8_t* frame = NextFrame(&header);
    if (frame) {
        const auto frameBytes = static_cast<std::size_t>(header.frameBytes);
        if (!XingTagOf(frame, frameBytes, header.sideInfoBytes).empty()) {
            m_infoFrame.assign(frame, frame + frameBytes);
            return;
        }
    }
    KeepInfoFrameBeforeAudioStart(searchStart);
}

void Mp3FrameReader::KeepInfoFrameBeforeAudioStart(std::uint64_t searchStart) {
    // Junk before the audio may hold a false frame sync, and the hunt above then reads the
    // Xing/Info frame as part of that "frame". The audio start lies just past the Xing/Info
    // frame when the stream begins with one, so the frame that ends exactly there is looked at.
    constexpr std::uint64_t kLongestFrameBytes = 2881;  // MPEG-2.5 Layer II, 160 kbit/s, 8 kHz, padded
    if (m_audioStart < searchStart + kHeaderBytes) return;
    const std::uint64_t from = std::max(searchStart, m_audioStart - std::min(m_audioStart, kLongestFrameBytes));
    Seek(from);
    const auto span = static_cast<std::size_t>(m_audioStart - from);
    if (!Ensure(span)) return;
    const std::uint8_t* bytes = m_readAhead->At();
    for (std::size_t at = 0; at + kHeaderBytes <= span; ++at) {
        if (!IsValidMp3FrameHeader(bytes + at)) continue;
        const Mp3FrameHeader candidate = DecodeMp3FrameHeader(bytes + at);
        const auto frameBytes = static_cast<std::size_t>(candidate.frameBytes);
        if (at + frameBytes != span || XingTagOf(bytes + at, frameBytes, candidate.sideInfoBytes).empty()) continue;
        m_infoFrame.assign(bytes + at, bytes + span);
        return;
    }
}

void Mp3FrameReader::PatchXingFrame(std::span<std::uint8_t> frameCopy, std::uint32_t frameCount,
                                    std::uint32_t byteCount) const {
    constexpr std::uint32_t kFramesFlag = 0x1;
    constexpr std::uint32_t kBytesFlag = 0x2;
    const std::size_t flagsAt = 8 + static_cast<std::size_t>(std::max(m_sideInfoBytes, 0));
    if (frameCopy.size() < flagsAt + 4) return;

    auto writeBigEndian = [&](std::size_t at, std::uint32_t value) {
        if (frameCopy.size() >= at + 4) WriteBigEndian32(&frameCopy[at], value);
    };

    // The flags say which counts follow them, in this order: frames, then bytes. The table
    // of contents and everything after it keep the source's values.
    const std::uint32_t flags = ReadBigEndian32(&frameCopy[flagsAt]);
    std::size_t writeAt = flagsAt + 4;
    if (flags & kFramesFlag) {
        writeBigEndian(writeAt, frameCount);
        writeAt += 4;
    }
    if (flags & kBytesFlag) writeBigEndian(writeAt, byteCount);
}

}  // namespace qm
