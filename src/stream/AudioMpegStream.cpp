// The MPEG audio stream of the audio layer: libmpg123 decodes, the layer itself finds where
// the frames start.

#include <mpg123.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "stream/AudioLayer.h"
#include "stream/AudioStreams.h"
#include "stream/File.h"
#include "stream/MpegHeader.h"

namespace qm::audio {

namespace {

constexpr std::size_t kHeaderBytes = 4;
// The longest frame the header tables allow (MPEG-2.5 Layer II, 160 kbit/s, 8 kHz, padded).
constexpr std::size_t kLongestFrameBytes = 2881;
constexpr int kBytesPerSample = 2;  // signed 16-bit output

struct Mpg123Deleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Mpg123Handle = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

bool InitialiseMpg123() {
    // Needed once per process by older libmpg123 releases; harmless in newer ones.
    static const bool initialised = mpg123_init() == MPG123_OK;
    return initialised;
}

// Two headers belong to one stream when version, layer and sample rate agree (channel mode
// and bit rate may change from frame to frame).
bool SameStream(const std::uint8_t* a, const std::uint8_t* b) {
    constexpr std::uint8_t kVersionAndLayer = 0x1E;  // byte 1: 000vvll0
    constexpr std::uint8_t kSampleRate = 0x0C;       // byte 2: 0000ss00
    return (a[1] & kVersionAndLayer) == (b[1] & kVersionAndLayer) &&
           (a[2] & kSampleRate) == (b[2] & kSampleRate);
}

// The file as the decoder reads it: through a buffer of its own, so that the decoder's many
// small reads (a header, then a frame body, for every frame) cost no system call each.
struct DecoderInput {
    static constexpr std::size_t kBufferBytes = 65536;

    File file;
    std::uint64_t fileBytes = 0;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kBufferBytes);
    std::uint64_t base = 0;  // file offset of buffer[0]; the descriptor is at base + valid
    std::size_t valid = 0;
    std::size_t cursor = 0;

    static mpg123_ssize_t Read(void* self, void* out, size_t byteCount) {
        auto& in = *static_cast<DecoderInput*>(self);
        auto* target = static_cast<std::uint8_t*>(out);
        std::size_t done = 0;
        while (done < byteCount) {
            if (in.cursor == in.valid) {
                in.base += in.valid;
                in.valid = in.cursor = 0;
                const std::int64_t got = in.file.Read(in.buffer.data(), in.buffer.size());
                if (got < 0) return done > 0 ? static_cast<mpg123_ssize_t>(done) : -1;
                if (got == 0) break;
                in.valid = static_cast<std::size_t>(got);
            }
            const std::size_t chunk = std::min(byteCount - done, in.valid - in.cursor);
            std::copy_n(in.buffer.data() + in.cursor, chunk, target + done);
            in.cursor += chunk;
            done += chunk;
        }
        return static_cast<mpg123_ssize_t>(done);
    }

    static off_t Seek(void* self, off_t offset, int whence) {
        auto& in = *static_cast<DecoderInput*>(self);
        const auto here = static_cast<std::int64_t>(in.base + in.cursor);
        const std::int64_t target = whence == SEEK_SET   ? offset
                                    : whence == SEEK_CUR ? here + offset
                                                         : static_cast<std::int64_t>(in.fileBytes) + offset;
        if (target < 0) return -1;
        const auto at = static_cast<std::uint64_t>(target);
        if (at >= in.base && at - in.base <= in.valid) {
            in.cursor = static_cast<std::size_t>(at - in.base);
        } else {
            if (!in.file.Seek(at)) return -1;
            in.base = at;
            in.valid = in.cursor = 0;
        }
        return static_cast<off_t>(target);
    }
};

// Offset of the first audio frame: past a leading ID3v2 tag (footer included), the first
// header that a second valid header of the same stream follows at the decoded frame length,
// searched within verifyBytes after the tag, and past that frame when it is a Xing/Info
// frame. Empty when there is no such pair of headers (not an MPEG file, or no audio).
std::optional<std::uint64_t> FindFileStart(File& file, std::uint64_t fileBytes,
                                           std::uint64_t verifyBytes) {
    std::uint8_t first[kId3v2HeaderBytes] = {};
    if (!file.Seek(0)) return std::nullopt;
    std::uint64_t tagBytes = 0;
    if (file.Read(first, sizeof first) == static_cast<std::int64_t>(sizeof first)) {
        tagBytes = Id3v2TagBytes(first, Id3v2Footer::Count);
    }
    // A tag that claims more than the file holds leaves no room for audio.
    if (tagBytes >= fileBytes) return std::nullopt;

    // One window holds every candidate header plus the frame and header that confirm it.
    const std::uint64_t windowBytes =
        std::min<std::uint64_t>(fileBytes - tagBytes, verifyBytes + kLongestFrameBytes + kHeaderBytes);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(windowBytes));
    if (!file.Seek(tagBytes)) return std::nullopt;
    const std::int64_t got = file.Read(window.data(), window.size());
    if (got < static_cast<std::int64_t>(kHeaderBytes)) return std::nullopt;
    const auto have = static_cast<std::size_t>(got);
    const std::size_t lastCandidate = static_cast<std::size_t>(
        std::min<std::uint64_t>(verifyBytes, have - kHeaderBytes + 1));

    for (std::size_t at = 0; at < lastCandidate; ++at) {
        const std::uint8_t* here = window.data() + at;
        if (!IsValidMp3FrameHeader(here)) continue;
        const Mp3FrameHeader header = DecodeMp3FrameHeader(here);
        const auto frameBytes = static_cast<std::size_t>(header.frameBytes);
        if (at + frameBytes + kHeaderBytes > have) continue;
        const std::uint8_t* next = here + frameBytes;
        if (!IsValidMp3FrameHeader(next) || !SameStream(here, next)) continue;
        // The first confirmed frame: the engines write their own Xing/Info frame, so the
        // audio starts after the file's one.
        const bool infoFrame = !XingTagOf(here, frameBytes, header.sideInfoBytes).empty();
        return tagBytes + at + (infoFrame ? frameBytes : 0);
    }
    return std::nullopt;
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

// Opens the decoder on the input from the file's start (so that it reads the ID3v2 tag
// and the LAME/Xing frame itself, which gives gapless output as libmpg123 does by default)
// and fixes the output format to the first frame's rate and channel count.
Mpg123Handle OpenDecoder(DecoderInput& input, long resyncBytes, ChannelInfo* info) {
    if (!InitialiseMpg123()) return nullptr;
    int error = MPG123_OK;
    Mpg123Handle handle(mpg123_new(nullptr, &error));
    if (!handle) return nullptr;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // The decoder must be willing to skip as much junk before the first frame as the start
    // search above does, or it would refuse files whose start was found.
    mpg123_param(handle.get(), MPG123_RESYNC_LIMIT, resyncBytes, 0.0);
    if (!AllowSigned16(handle.get())) return nullptr;
    // The start search moved the descriptor behind the buffer's back: start afresh at 0.
    input.base = input.valid = input.cursor = 0;
    if (!input.file.Seek(0) ||
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

// Exact decoded length: a scan of every frame (a Xing/Info count may describe a longer
// original of a cut file), with the encoder delay and padding of a LAME frame taken off.
std::int64_t DecodedLengthBytes(mpg123_handle* handle, int channels) {
    const bool scanned = mpg123_scan(handle) == MPG123_OK;
    const off_t samples = mpg123_length(handle);
    // A LAME frame whose delay and padding exceed the audio of a short file leaves a
    // negative count after a good scan: such a stream plays for no time at all.
    if (scanned) return std::max<std::int64_t>(samples, 0) * channels * kBytesPerSample;
    return samples < 0 ? -1 : static_cast<std::int64_t>(samples) * channels * kBytesPerSample;
}

}  // namespace

std::unique_ptr<Stream> OpenMpegStream(const std::filesystem::path& path) {
    auto input = std::make_unique<DecoderInput>();
    if (!input->file.OpenRead(path)) return nullptr;
    if (!input->file.Size(&input->fileBytes) || input->fileBytes == 0) return nullptr;

    const int verifyBytes = std::max(VerifyLength(), 1);
    const std::optional<std::uint64_t> fileStart =
        FindFileStart(input->file, input->fileBytes, static_cast<std::uint64_t>(verifyBytes));
    if (!fileStart) return nullptr;

    ChannelInfo info;
    constexpr long kDecoderResyncBytes = 1024;  // libmpg123's own default
    const long resyncBytes =
        std::max<long>(kDecoderResyncBytes, verifyBytes + static_cast<long>(kLongestFrameBytes));
    Mpg123Handle handle = OpenDecoder(*input, resyncBytes, &info);
    if (!handle) return nullptr;
    const std::int64_t lengthBytes = DecodedLengthBytes(handle.get(), info.channels);
    const std::uint64_t fileBytes = input->fileBytes;
    return std::make_unique<MpegStream>(std::move(input), std::move(handle), info, *fileStart,
                                        fileBytes, lengthBytes);
}

}  // namespace qm::audio
