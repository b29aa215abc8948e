// Where the MPEG audio of a file starts and ends, and what its Xing/Info frame and its chain
// of frames say about its length, found before the decoder is opened on it.

#include "stream/MpegFileAnalysis.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "stream/ByteOrder.h"
#include "stream/MpegHeader.h"
#include "stream/XingFrame.h"

namespace qm::audio {

namespace {

constexpr std::size_t kHeaderBytes = 4;

// Two headers belong to one stream when version, layer and sample rate agree (channel mode
// and bit rate may change from frame to frame).
bool SameStream(const std::uint8_t* a, const std::uint8_t* b) {
    constexpr std::uint8_t kVersionAndLayer = 0x1E;  // byte 1: 000vvll0
    constexpr std::uint8_t kSampleRate = 0x0C;       // byte 2: 0000ss00
    return (a[1] & kVersionAndLayer) == (b[1] & kVersionAndLayer) && (a[2] & kSampleRate) == (b[2] & kSampleRate);
}

// Frames of one stream, one right after the other, that make a header the start of MPEG
// audio: two headers are often found by chance in other data (16-bit PCM near silence is
// full of 0xFF bytes), a run of four at the decoded lengths practically never.
constexpr int kConfirmingFrames = 4;

// The magic numbers of other audio containers (most of them read by the other decoders,
// libsndfile and libopenmpt; MIDI by none), at their offsets from the file's (or, after an
// ID3v2 tag, the tag's end's) first byte.
struct ContainerMagic {
    std::size_t offset;
    std::string_view magic;
};
constexpr ContainerMagic kOtherContainers[] = {
    {0, "OggS"},  {0, "fLaC"}, {0, "FORM"}, {0, ".snd"}, {0, "caff"},
    {0, "wvpk"},  {0, "MAC "}, {0, "MThd"}, {0, "IMPM"}, {0, "Extended Module: "},
    {44, "SCRM"},
};
// RIFF and its 64-bit forms.
constexpr std::string_view kRiffMagics[] = {"RIFF", "RIFX", "RF64"};

// True when bytes (the first bytes of a file or of what follows its ID3v2 tag) begin a
// container of another decoder. A RIFF/WAVE file counts unless its format chunk says MPEG
// audio (format tags 0x0050 and 0x0055, which libmpg123 reads past the RIFF header).
bool IsOtherContainer(std::span<const std::uint8_t> bytes) {
    auto has = [&](std::size_t offset, std::string_view magic) {
        return bytes.size() >= offset + magic.size() &&
               std::memcmp(bytes.data() + offset, magic.data(), magic.size()) == 0;
    };
    for (const ContainerMagic& known : kOtherContainers) {
        if (has(known.offset, known.magic)) return true;
    }
    const bool riff = std::any_of(std::begin(kRiffMagics), std::end(kRiffMagics),
                                  [&](std::string_view magic) { return has(0, magic); });
    if (!riff) return false;
    if (!has(8, "WAVE")) return true;  // AVI and the other RIFF forms
    // The chunks after "RIFF" size "WAVE": an id, a little-endian size, the body (padded to
    // an even length).
    constexpr std::size_t kChunkHeaderBytes = 8;
    constexpr std::uint16_t kFormatMpeg = 0x0050;
    constexpr std::uint16_t kFormatMpegLayer3 = 0x0055;
    for (std::size_t at = 12; at + kChunkHeaderBytes <= bytes.size();) {
        const std::uint8_t* chunk = bytes.data() + at;
        const std::uint64_t chunkBytes = ReadLittleEndian32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (at + kChunkHeaderBytes + 2 > bytes.size()) return true;
            const std::uint16_t format = ReadLittleEndian16(chunk + 8);
            return format != kFormatMpeg && format != kFormatMpegLayer3;
        }
        at += kChunkHeaderBytes + static_cast<std::size_t>(chunkBytes + (chunkBytes & 1));
    }
    return true;  // no format chunk in sight: not audio we know how to find
}

// Whether the bytes at offset 0 of data (the first bytes of the rest of the file) end a
// stream: the end of the file, or the start of a trailing tag.
bool EndsTheAudio(std::span<const std::uint8_t> data, bool fileEnds) {
    constexpr std::string_view kTrailingTags[] = {"TAG", "APETAGEX", "LYRICSBEGIN", "ID3"};
    if (data.size() < kHeaderBytes) return fileEnds;
    return std::any_of(std::begin(kTrailingTags), std::end(kTrailingTags), [&](std::string_view tag) {
        return data.size() >= tag.size() && std::memcmp(data.data(), tag.data(), tag.size()) == 0;
    });
}

// True when the header at window[at] begins a run of kConfirmingFrames frames of one stream,
// or a shorter run (of two headers at least) that ends where the audio ends: at a trailing
// tag or the end of the file, or in a last frame that the end of the file cuts short.
// fileEnds: the window holds the file to its end.
bool StartsARun(std::span<const std::uint8_t> window, std::size_t at, bool fileEnds) {
    const std::uint8_t* first = window.data() + at;
    std::size_t next = at;
    for (int frames = 0; frames < kConfirmingFrames; ++frames) {
        const std::uint8_t* here = window.data() + next;
        if (next + kHeaderBytes > window.size() || !IsValidMp3FrameHeader(here) || !SameStream(first, here)) {
            return frames >= 2 && EndsTheAudio(window.subspan(next), fileEnds);
        }
        next += static_cast<std::size_t>(DecodeMp3FrameHeader(here).frameBytes);
        if (next > window.size()) return frames >= 1 && fileEnds;
    }
    return true;
}

// A forward-only view of the file for hopping from header to header: a window of the file
// in the input's buffer, [base, base + valid), read on as far as asked for. Frame bodies
// between the headers are read along (the file is read in large blocks) but not looked at.
class HeaderWindow {
public:
    HeaderWindow(DecoderInput& in, std::uint64_t start) : m_in(in), m_base(start) { m_ok = m_in.file.Seek(start); }

    // The four bytes at offset (never before an offset asked for earlier); null when the
    // file ends before them or cannot be read.
    const std::uint8_t* At(std::uint64_t offset) {
        std::uint8_t* const buffer = m_in.buffer.data();
        while (m_ok && offset + kHeaderBytes > m_base + m_valid) {
            if (offset < m_base + m_valid) {
                // The first bytes are here: they move to the front, the rest is read after them.
                const auto keep = static_cast<std::size_t>(m_base + m_valid - offset);
                std::memmove(buffer, buffer + (offset - m_base), keep);
                m_base = offset;
                m_valid = keep;
            } else {
                m_base += m_valid;
                m_valid = 0;
            }
            const std::int64_t got = m_in.file.Read(buffer + m_valid, m_in.buffer.size() - m_valid);
            if (got <= 0)
                m_ok = false;
            else
                m_valid += static_cast<std::size_t>(got);
        }
        return m_ok ? buffer + (offset - m_base) : nullptr;
    }

private:
    DecoderInput& m_in;
    std::uint64_t m_base;
    std::size_t m_valid = 0;
    bool m_ok = false;
};

}  // namespace

std::optional<FileStart> FindFileStart(File& file, std::uint64_t fileBytes, std::uint64_t verifyBytes) {
    std::uint8_t first[kId3v2HeaderBytes] = {};
    if (!file.Seek(0)) return std::nullopt;
    std::uint64_t tagBytes = 0;
    if (file.Read(first, sizeof first) == static_cast<std::int64_t>(sizeof first)) {
        tagBytes = Id3v2TagBytes(first, Id3v2Footer::Count);
    }
    // A tag that claims more than the file holds leaves no room for audio.
    if (tagBytes >= fileBytes) return std::nullopt;

    // One window holds every candidate header plus the frames and header that confirm it.
    const std::uint64_t windowBytes = std::min<std::uint64_t>(
        fileBytes - tagBytes, verifyBytes + kConfirmingFrames * kLongestFrameBytes + kHeaderBytes);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(windowBytes));
    if (!file.Seek(tagBytes)) return std::nullopt;
    const std::int64_t got = file.Read(window.data(), window.size());
    if (got < static_cast<std::int64_t>(kHeaderBytes)) return std::nullopt;
    const auto have = static_cast<std::size_t>(got);
    const std::span<const std::uint8_t> data(window.data(), have);
    if (IsOtherContainer(data)) return std::nullopt;
    const bool fileEnds = tagBytes + have == fileBytes;
    const std::size_t lastCandidate =
        static_cast<std::size_t>(std::min<std::uint64_t>(verifyBytes, have - kHeaderBytes + 1));

    for (std::size_t at = 0; at < lastCandidate; ++at) {
        const std::uint8_t* here = window.data() + at;
        if (!IsValidMp3FrameHeader(here) || !StartsARun(data, at, fileEnds)) continue;
        const Mp3FrameHeader header = DecodeMp3FrameHeader(here);
        const auto frameBytes = static_cast<std::size_t>(header.frameBytes);
        // The first confirmed frame: the engines write their own Xing/Info frame, so the
        // audio starts after the file's one.
        FileStart start;
        start.tagBytes = tagBytes;
        start.audioStart = tagBytes + at;
        if (!XingTagOf(here, frameBytes, header.sideInfoBytes).empty()) {
            start.infoFrameOffset = start.audioStart;
            start.infoFrame.assign(here, here + frameBytes);
            start.audioStart += frameBytes;
        }
        return start;
    }
    return std::nullopt;
}

std::uint64_t TrailingTagBytes(File& file, std::uint64_t fileBytes, std::uint64_t floor) {
    constexpr std::uint64_t kId3v1Bytes = 128;
    constexpr std::uint64_t kApeFooterBytes = 32;
    constexpr std::uint32_t kApeHasHeader = 0x80000000U;
    std::uint8_t tail[kId3v1Bytes + kApeFooterBytes];
    const std::uint64_t tailBytes = std::min<std::uint64_t>(sizeof tail, fileBytes - floor);
    if (!file.Seek(fileBytes - tailBytes) ||
        file.Read(tail, static_cast<std::size_t>(tailBytes)) != static_cast<std::int64_t>(tailBytes)) {
        return 0;
    }
    const std::uint8_t* end = tail + tailBytes;
    std::uint64_t tags = 0;
    if (tailBytes >= kId3v1Bytes && std::memcmp(end - kId3v1Bytes, "TAG", 3) == 0) tags = kId3v1Bytes;
    if (tailBytes >= tags + kApeFooterBytes) {
        const std::uint8_t* footer = end - tags - kApeFooterBytes;
        if (std::memcmp(footer, "APETAGEX", 8) == 0) {
            // The size counts the items and the footer, not the header.
            const std::uint64_t apeBytes = std::uint64_t{ReadLittleEndian32(footer + 12)} +
                                           ((ReadLittleEndian32(footer + 20) & kApeHasHeader) != 0 ? 32 : 0);
            if (apeBytes >= kApeFooterBytes && apeBytes <= fileBytes - floor - tags) tags += apeBytes;
        }
    }
    return tags;
}

std::optional<std::uint32_t> TrustedFrameCount(File& file, std::uint64_t fileBytes, const FileStart& start) {
    const std::span<const std::uint8_t> frame = start.infoFrame;
    XingLayout layout;
    if (frame.empty() || !ParseXingLayout(frame, &layout)) return std::nullopt;
    if (layout.frameCountOffset == 0 || layout.byteCountOffset == 0) return std::nullopt;
    const std::uint32_t frames = ReadBigEndian32(&frame[layout.frameCountOffset]);
    const std::uint64_t countedBytes = ReadBigEndian32(&frame[layout.byteCountOffset]);
    if (frames == 0) return std::nullopt;

    const std::uint64_t audioStart = start.infoFrameOffset + frame.size();
    if (audioStart > fileBytes) return std::nullopt;
    const std::uint64_t trailing = TrailingTagBytes(file, fileBytes, audioStart);
    const std::uint64_t audioEnd = fileBytes - trailing;
    const std::uint64_t stream = audioEnd - start.infoFrameOffset;
    const std::uint64_t leading = start.infoFrameOffset;
    if (countedBytes != stream && countedBytes != stream + leading && countedBytes != stream + trailing &&
        countedBytes != stream + leading + trailing) {
        return std::nullopt;
    }

    // The audio frames between them must average a length from the stream's smallest frame
    // to its largest: the header's byte 2 (bbbbsspx) with bit-rate index 1 and no padding,
    // and with index 14 and padding.
    std::uint8_t smallest[4] = {frame[0], frame[1], static_cast<std::uint8_t>((frame[2] & 0x0C) | 0x10), frame[3]};
    std::uint8_t largest[4] = {frame[0], frame[1], static_cast<std::uint8_t>((frame[2] & 0x0C) | 0xE2), frame[3]};
    const std::uint64_t audioBytes = audioEnd - audioStart;
    const auto minBytes = static_cast<std::uint64_t>(DecodeMp3FrameHeader(smallest).frameBytes);
    const auto maxBytes = static_cast<std::uint64_t>(DecodeMp3FrameHeader(largest).frameBytes);
    if (audioBytes < minBytes * frames || audioBytes > maxBytes * frames) return std::nullopt;
    return frames;
}

std::optional<std::uint64_t> CountChainedSamples(DecoderInput& in, const FileStart& start, std::uint64_t audioEnd) {
    if (!start.infoFrame.empty() || start.audioStart != start.tagBytes || audioEnd <= start.audioStart) {
        return std::nullopt;
    }
    HeaderWindow window(in, start.audioStart);
    const std::uint8_t* header = window.At(start.audioStart);
    if (header == nullptr || !IsValidMp3FrameHeader(header)) return std::nullopt;
    std::uint8_t first[kHeaderBytes];
    std::memcpy(first, header, sizeof first);
    const Mp3FrameHeader firstHeader = DecodeMp3FrameHeader(first);
    const int channels = ChannelCountOf(firstHeader.channelMode);
    // A VBRI frame carries its tag 32 bytes after the header, whatever the side information.
    constexpr std::size_t kVbriOffset = kHeaderBytes + 32;
    if (static_cast<std::size_t>(firstHeader.frameBytes) >= kVbriOffset + 4) {
        const std::uint8_t* vbri = window.At(start.audioStart + kVbriOffset);
        if (vbri == nullptr || std::memcmp(vbri, "VBRI", 4) == 0) return std::nullopt;
    }

    std::uint64_t frames = 0;
    for (std::uint64_t at = start.audioStart; at != audioEnd; ++frames) {
        if (at + kHeaderBytes > audioEnd) return std::nullopt;
        header = window.At(at);
        if (header == nullptr || !IsValidMp3FrameHeader(header) || !SameStream(first, header)) return std::nullopt;
        const Mp3FrameHeader decoded = DecodeMp3FrameHeader(header);
        if (ChannelCountOf(decoded.channelMode) != channels) return std::nullopt;
        at += static_cast<std::uint64_t>(decoded.frameBytes);
        if (at > audioEnd) return std::nullopt;  // the last frame is cut short
    }
    return frames * static_cast<std::uint64_t>(firstHeader.samplesPerFrame);
}

}  // namespace qm::audio
