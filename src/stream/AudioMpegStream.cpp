// The MPEG audio stream of the audio layer: libmpg123 decodes, the layer itself finds where
// the frames start.

#include <mpg123.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "stream/AudioLayer.h"
#include "stream/AudioStreams.h"
#include "stream/File.h"
#include "stream/Mpg123Input.h"
#include "stream/MpegHeader.h"
#include "stream/XingFrame.h"

namespace qm::audio {

namespace {

constexpr std::size_t kHeaderBytes = 4;
// The longest frame the header tables allow (MPEG-2.5 Layer II, 160 kbit/s, 8 kHz, padded).
constexpr std::size_t kLongestFrameBytes = 2881;
constexpr int kBytesPerSample = 2;  // signed 16-bit output

// Two headers belong to one stream when version, layer and sample rate agree (channel mode
// and bit rate may change from frame to frame).
bool SameStream(const std::uint8_t* a, const std::uint8_t* b) {
    constexpr std::uint8_t kVersionAndLayer = 0x1E;  // byte 1: 000vvll0
    constexpr std::uint8_t kSampleRate = 0x0C;       // byte 2: 0000ss00
    return (a[1] & kVersionAndLayer) == (b[1] & kVersionAndLayer) &&
           (a[2] & kSampleRate) == (b[2] & kSampleRate);
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
    {0, "OggS"}, {0, "fLaC"}, {0, "FORM"},  {0, ".snd"}, {0, "caff"},
    {0, "wvpk"}, {0, "MAC "}, {0, "MThd"}, {0, "IMPM"}, {0, "Extended Module: "},
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
        const std::uint64_t chunkBytes = std::uint64_t{chunk[4]} | (std::uint64_t{chunk[5]} << 8) |
                                         (std::uint64_t{chunk[6]} << 16) | (std::uint64_t{chunk[7]} << 24);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (at + kChunkHeaderBytes + 2 > bytes.size()) return true;
            const auto format = static_cast<std::uint16_t>(chunk[8] | (chunk[9] << 8));
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

// What the start search found: where the audio starts and, when a Xing/Info frame leads it,
// that frame's offset and a copy of it.
struct FileStart {
    std::uint64_t tagBytes = 0;  // the leading ID3v2 tag
    std::uint64_t audioStart = 0;
    std::uint64_t infoFrameOffset = 0;
    std::vector<std::uint8_t> infoFrame;  // empty without a Xing/Info frame
};

// Offset of the first audio frame: past a leading ID3v2 tag (footer included), the first
// header that begins a run of frames of one stream (StartsARun), searched within verifyBytes
// after the tag, and past that frame when it is a Xing/Info frame. Empty when there is no
// such run (not an MPEG file, or no audio), or when the file is a container of another
// decoder (WAV, Ogg, FLAC...), whose bytes may hold frame syncs by chance.
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
    const std::size_t lastCandidate = static_cast<std::size_t>(
        std::min<std::uint64_t>(verifyBytes, have - kHeaderBytes + 1));

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

std::uint32_t LittleEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// Bytes of the tags that end the file, none of them reaching below floor: an ID3v1 tag (the
// last 128 bytes, starting "TAG") and an APEv2 tag right before it or at the very end (its
// 32-byte footer "APETAGEX" gives its size, and whether a 32-byte header comes first).
// Other trailing tags are not recognised.
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
            const std::uint64_t apeBytes = std::uint64_t{LittleEndian32(footer + 12)} +
                                           ((LittleEndian32(footer + 20) & kApeHasHeader) != 0 ? 32 : 0);
            if (apeBytes >= kApeFooterBytes && apeBytes <= fileBytes - floor - tags) tags += apeBytes;
        }
    }
    return tags;
}

// The frame count of the leading Xing/Info frame when it can be trusted to describe the file
// as it is now, so that no scan of every frame is needed for the length. A count is trusted
// only beside a byte count that matches the bytes actually there: from the Xing/Info frame to
// the end of the audio, with or without what lies before the frame (an ID3v2 tag) and with or
// without the trailing tags, as encoders and taggers count them differently. A file cut short
// or with frames appended after the count was written has a byte count that no longer
// matches. The average frame the counts give must also be one this stream can have.
std::optional<std::uint32_t> TrustedFrameCount(File& file, std::uint64_t fileBytes, const FileStart& start) {
    const std::span<const std::uint8_t> frame = start.infoFrame;
    XingLayout layout;
    if (frame.empty() || !ParseXingLayout(frame, &layout)) return std::nullopt;
    if (layout.frameCountOffset == 0 || layout.byteCountOffset == 0) return std::nullopt;
    const std::uint32_t frames = BigEndian32(&frame[layout.frameCountOffset]);
    const std::uint64_t countedBytes = BigEndian32(&frame[layout.byteCountOffset]);
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

class MpegStream final : public Stream {
public:
    MpegStream(std::unique_ptr<DecoderInput> input, Mpg123Handle handle, ChannelInfo info,
               std::uint64_t fileStart, std::uint64_t fileEnd, std::int64_t lengthBytes)
        : m_input(std::move(input)),
          m_handle(std::move(handle)),
          m_info(info),
          m_fileStart(fileStart),
          m_fileEnd(fileEnd),
          m_lengthBytes(lengthBytes) {}

    ~MpegStream() override {
        // The decoder reads through the input, so it goes first.
        m_handle.reset();
    }

    ChannelInfo Info() const override { return m_info; }
    std::int64_t LengthBytes() override { return m_lengthBytes; }
    std::int64_t Position() override { return m_positionBytes; }
    std::uint64_t FileStart() const override { return m_fileStart; }
    std::uint64_t FileEnd() const override { return m_fileEnd; }

    bool SetPosition(std::int64_t byteOffset) override {
        const std::int64_t frameBytes = FrameBytes();
        if (byteOffset < 0 || frameBytes <= 0) return false;
        const off_t sample = mpg123_seek(m_handle.get(), byteOffset / frameBytes, SEEK_SET);
        if (sample < 0) return false;
        m_positionBytes = static_cast<std::int64_t>(sample) * frameBytes;
        return true;
    }

    std::int64_t GetData(void* buffer, std::size_t byteCount) override {
        if (byteCount == 0) return 0;
        auto* out = static_cast<unsigned char*>(buffer);
        // A format change delivers nothing; the format stays the one fixed at the open (the
        // decoder converts), so reading simply goes on.
        constexpr int kMaxEmptyReads = 16;
        for (int attempt = 0; attempt < kMaxEmptyReads; ++attempt) {
            size_t done = 0;
            const int result = mpg123_read(m_handle.get(), out, byteCount, &done);
            if (done > 0) {
                m_positionBytes += static_cast<std::int64_t>(done);
                return static_cast<std::int64_t>(done);
            }
            if (result != MPG123_NEW_FORMAT && result != MPG123_OK) return -1;
        }
        return -1;
    }

private:
    std::int64_t FrameBytes() const { return std::int64_t{m_info.channels} * kBytesPerSample; }

    std::unique_ptr<DecoderInput> m_input;
    Mpg123Handle m_handle;
    ChannelInfo m_info;
    std::uint64_t m_fileStart;
    std::uint64_t m_fileEnd;
    std::int64_t m_lengthBytes;
    std::int64_t m_positionBytes = 0;
};

// Every rate the decoder knows, mono or stereo, signed 16-bit only.
bool AllowSigned16(mpg123_handle* handle) {
    if (mpg123_format_none(handle) != MPG123_OK) return false;
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    return true;
}

// Opens the decoder on the input from origin (the file's start, so that it reads the ID3v2
// tag and the LAME/Xing frame itself, which gives gapless output as libmpg123 does by
// default) and fixes the output format to the first frame's rate and channel count.
Mpg123Handle OpenDecoder(DecoderInput& input, std::uint64_t origin, long resyncBytes, ChannelInfo* info) {
    if (!InitialiseMpg123()) return nullptr;
    int error = MPG123_OK;
    Mpg123Handle handle(mpg123_new(nullptr, &error));
    if (!handle) return nullptr;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // The decoder must be willing to skip as much junk before the first frame as the start
    // search above does, or it would refuse files whose start was found.
    mpg123_param(handle.get(), MPG123_RESYNC_LIMIT, resyncBytes, 0.0);
    if (!AllowSigned16(handle.get())) return nullptr;
    // The start search moved the descriptor behind the buffer's back: start afresh.
    input.origin = input.base = origin;
    input.valid = input.cursor = 0;
    if (!input.file.Seek(origin) ||
        mpg123_replace_reader_handle(handle.get(), &DecoderInput::Read, &DecoderInput::Seek,
                                     nullptr) != MPG123_OK ||
        mpg123_open_handle(handle.get(), &input) != MPG123_OK) {
        return nullptr;
    }
    long rateHz = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rateHz, &channels, &encoding) != MPG123_OK) return nullptr;
    if (rateHz <= 0 || channels <= 0 || encoding != MPG123_ENC_SIGNED_16) return nullptr;
    // A stream whose channel count or rate changes later keeps this format: the decoder
    // converts, so a reader of the PCM never sees the format move.
    mpg123_format_none(handle.get());
    if (mpg123_format(handle.get(), rateHz, channels, MPG123_ENC_SIGNED_16) != MPG123_OK) {
        return nullptr;
    }
    info->sampleRateHz = static_cast<int>(rateHz);
    info->channels = channels;
    info->eightBit = false;
    return handle;
}

// A forward-only view of the file for hopping from header to header: a window of the file
// in the input's buffer, [base, base + valid), read on as far as asked for. Frame bodies
// between the headers are read along (the file is read in large blocks) but not looked at.
class HeaderWindow {
public:
    HeaderWindow(DecoderInput& in, std::uint64_t start) : m_in(in), m_base(start) {
        m_ok = m_in.file.Seek(start);
    }

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
            if (got <= 0) m_ok = false;
            else m_valid += static_cast<std::size_t>(got);
        }
        return m_ok ? buffer + (offset - m_base) : nullptr;
    }

private:
    DecoderInput& m_in;
    std::uint64_t m_base;
    std::size_t m_valid = 0;
    bool m_ok = false;
};

// The samples (per channel) of a file without a Xing/Info frame, counted by hopping from
// header to header, when its audio is one unbroken chain of frames: from right after the
// leading tag (or the file's start) to the end of the file or of its audio before the
// trailing tags, every frame of the same version, layer, sample rate and channel count as
// the first. For such a file this is the count the decoder's scan comes to, for less work.
// Anything else (junk anywhere, a frame cut short, a change of stream, a Fraunhofer VBRI
// frame) gives nothing, and the decoder's scan decides. Reads through the input's buffer; the
// decoder is opened afterwards and starts afresh.
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
    constexpr int kSingleChannel = 3;
    const bool mono = firstHeader.channelMode == kSingleChannel;
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
        if ((decoded.channelMode == kSingleChannel) != mono) return std::nullopt;
        at += static_cast<std::uint64_t>(decoded.frameBytes);
        if (at > audioEnd) return std::nullopt;  // the last frame is cut short
    }
    return frames * static_cast<std::uint64_t>(firstHeader.samplesPerFrame);
}

// What a decoded length depends on: the file, as its device, inode, size and times tell it
// apart from any other or from an earlier state of itself, and the decoder's resync limit.
struct ScanKey {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    long resyncBytes = 0;

    bool operator==(const ScanKey& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec &&
               resyncBytes == other.resyncBytes;
    }
};

std::optional<ScanKey> ScanKeyOf(const File& file, long resyncBytes) {
    struct stat info {};
    if (::fstat(file.Descriptor(), &info) != 0) return std::nullopt;
    return ScanKey{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim, resyncBytes};
}

// The lengths the scans measured while a ScanMemoScope lives; the oldest go first.
struct ScanMemo {
    static constexpr std::size_t kEntries = 32;

    std::mutex mutex;
    int scopes = 0;
    std::deque<std::pair<ScanKey, std::int64_t>> lengths;
};

ScanMemo& Memo() {
    static ScanMemo memo;
    return memo;
}

std::atomic<std::uint64_t> g_scanCount{0};

std::optional<std::int64_t> RememberedLength(const ScanKey& key) {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    for (const auto& [known, lengthBytes] : memo.lengths) {
        if (known == key) return lengthBytes;
    }
    return std::nullopt;
}

void RememberLength(const ScanKey& key, std::int64_t lengthBytes) {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    if (memo.scopes == 0) return;
    if (memo.lengths.size() == ScanMemo::kEntries) memo.lengths.pop_front();
    memo.lengths.emplace_back(key, lengthBytes);
}

// Exact decoded length, with the encoder delay and padding of a LAME frame taken off. The
// decoder knows it without reading further when the Xing/Info frame's count can be trusted
// and the decoder took the same count from it. Otherwise the file is read to the end (a count
// may describe a longer original of a cut file), unless the same unchanged file was read
// before in a ScanMemoScope: an unbroken chain of frames without a Xing/Info frame is counted
// by our own walk (chainedSamples, done beforehand), anything else by the decoder's scan.
std::int64_t DecodedLengthBytes(mpg123_handle* handle, int channels, std::optional<std::uint32_t> trustedFrames,
                                std::optional<std::int64_t> remembered, std::optional<std::uint64_t> chainedSamples,
                                const std::optional<ScanKey>& key) {
    const std::int64_t sampleBytes = std::int64_t{channels} * kBytesPerSample;
    if (trustedFrames && mpg123_framelength(handle) == static_cast<off_t>(*trustedFrames)) {
        // The scan would count the same frames and trim the same delay and padding. A stream
        // trimmed to nothing (a negative count) is left to the scan, which settles it.
        const off_t samples = mpg123_length(handle);
        if (samples >= 0) return static_cast<std::int64_t>(samples) * sampleBytes;
    }
    if (remembered) return *remembered;
    g_scanCount.fetch_add(1, std::memory_order_relaxed);
    std::int64_t lengthBytes = 0;
    if (chainedSamples) {
        // Without a Xing/Info frame there is no delay or padding to take off.
        lengthBytes = static_cast<std::int64_t>(*chainedSamples) * sampleBytes;
    } else {
        const bool scanned = mpg123_scan(handle) == MPG123_OK;
        const off_t samples = mpg123_length(handle);
        // A LAME frame whose delay and padding exceed the audio of a short file leaves a
        // negative count after a good scan: such a stream plays for no time at all.
        if (!scanned) return samples < 0 ? -1 : static_cast<std::int64_t>(samples) * sampleBytes;
        lengthBytes = std::max<std::int64_t>(samples, 0) * sampleBytes;
    }
    if (key) RememberLength(*key, lengthBytes);
    return lengthBytes;
}

bool MemoActive() {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    return memo.scopes > 0;
}

}  // namespace

ScanMemoScope::ScanMemoScope() {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    ++memo.scopes;
}

ScanMemoScope::~ScanMemoScope() {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    if (--memo.scopes == 0) memo.lengths.clear();
}

std::uint64_t MpegScanCount() { return g_scanCount.load(std::memory_order_relaxed); }

std::unique_ptr<Stream> OpenMpegStream(const std::filesystem::path& path) {
    auto input = std::make_unique<DecoderInput>();
    if (!input->file.OpenRead(path)) return nullptr;
    if (!input->file.Size(&input->fileBytes) || input->fileBytes == 0) return nullptr;

    const int verifyBytes = std::max(VerifyLength(), 1);
    const std::optional<FileStart> fileStart =
        FindFileStart(input->file, input->fileBytes, static_cast<std::uint64_t>(verifyBytes));
    if (!fileStart) return nullptr;
    const std::optional<std::uint32_t> trustedFrames = TrustedFrameCount(input->file, input->fileBytes, *fileStart);

    constexpr long kDecoderResyncBytes = 1024;  // libmpg123's own default
    const long resyncBytes =
        std::max<long>(kDecoderResyncBytes, verifyBytes + static_cast<long>(kLongestFrameBytes));
    const std::optional<ScanKey> key = MemoActive() ? ScanKeyOf(input->file, resyncBytes) : std::nullopt;
    const std::optional<std::int64_t> remembered = key ? RememberedLength(*key) : std::nullopt;
    std::optional<std::uint64_t> chainedSamples;
    if (!trustedFrames && !remembered) {
        const std::uint64_t audioEnd =
            input->fileBytes - TrailingTagBytes(input->file, input->fileBytes, fileStart->audioStart);
        chainedSamples = CountChainedSamples(*input, *fileStart, audioEnd);
    }

    ChannelInfo info;
    Mpg123Handle handle = OpenDecoder(*input, 0, resyncBytes, &info);
    if (!handle) {
        // An ID3v2 tag whose declared size runs into the first frame sends the decoder into
        // the middle of that frame, where it can lock onto a false sync and lose the stream.
        // It then decodes from the audio start that the search above confirmed (from the
        // Xing/Info frame when there is one, for its gapless figures).
        const std::uint64_t origin =
            fileStart->infoFrame.empty() ? fileStart->audioStart : fileStart->infoFrameOffset;
        if (origin == 0) return nullptr;
        handle = OpenDecoder(*input, origin, resyncBytes, &info);
        if (!handle) return nullptr;
    }
    const std::int64_t lengthBytes =
        DecodedLengthBytes(handle.get(), info.channels, trustedFrames, remembered, chainedSamples, key);
    const std::uint64_t fileBytes = input->fileBytes;
    return std::make_unique<MpegStream>(std::move(input), std::move(handle), info, fileStart->audioStart,
                                        fileBytes, lengthBytes);
}

}  // namespace qm::audio
