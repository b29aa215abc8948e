#include "stream/XingFrame.h"

#include <algorithm>
#include <cstring>

#include "stream/ByteOrder.h"
#include "stream/MpegHeader.h"

namespace qm {
namespace {

// Xing flags: which optional fields follow the flags word, in this order.
constexpr std::uint32_t kFlagFrameCount = 0x1;
constexpr std::uint32_t kFlagByteCount = 0x2;
constexpr std::uint32_t kFlagToc = 0x4;
constexpr std::uint32_t kFlagQuality = 0x8;

// Offsets inside the LAME extension, counted from the first byte of its version string.
constexpr std::size_t kLameDelayPadding = 21;  // 3 bytes: 12 bits delay, 12 bits padding
constexpr std::size_t kLameMusicLength = 28;   // 4 bytes, big-endian
constexpr std::size_t kLameMusicCrc = 32;      // 2 bytes, big-endian
constexpr std::size_t kLameTagCrc = 34;        // 2 bytes: CRC of every frame byte before it

bool IsVersionChar(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.';
}

// An encoder version string ("LAME3.100", "Lavf58.76", "GOGO", "L3.99r") starts with a capital
// letter followed by letters, digits or dots. Anything else after the Xing fields is not an
// extension we know how to rebuild, so it is left alone.
bool LooksLikeEncoderVersion(const std::uint8_t* p) {
    if (!(p[0] >= 'A' && p[0] <= 'Z')) return false;
    return IsVersionChar(p[1]) && IsVersionChar(p[2]) && IsVersionChar(p[3]);
}

// Bytes of a Xing frame after the side information: the tag word, the flags, the two counts,
// the seek table and the quality field.
constexpr std::size_t kXingFieldBytes = 4 + 4 + 4 + 4 + kXingTocEntries + 4;
// The LAME extension's version string in a frame this program makes: the extension's layout
// is LAME's, and decoders look for its name before they read delay and padding.
constexpr char kLameVersion[] = "LAME3.100";

// The four header bytes of a frame like format at bit-rate index bitRateIndex and sample-rate
// index sampleRateIndex.
void WriteHeaderLike(const Mp3FrameHeader& format, int bitRateIndex, int sampleRateIndex, std::uint8_t* header) {
    // 11111111 111VVLLP: sync, version, layer (4 - layer in two bits), P = 1: no CRC.
    header[0] = 0xFF;
    header[1] = static_cast<std::uint8_t>(0xE0 | static_cast<int>(format.version) << 3 | (4 - format.layer) << 1 | 1);
    // BBBBSSPp: bit-rate index, sample-rate index, no padding, private bit 0.
    header[2] = static_cast<std::uint8_t>(bitRateIndex << 4 | sampleRateIndex << 2);
    // MMEECOEE: channel mode, mode extension 0, not copyrighted, original, no emphasis.
    header[3] = static_cast<std::uint8_t>(static_cast<int>(format.channelMode) << 6 | 0x04);
}

// The sample-rate index (0 to 2) that gives format's rate in its MPEG version; -1 for none.
int SampleRateIndexOf(const Mp3FrameHeader& format) {
    std::uint8_t header[4];
    for (int index = 0; index < 3; ++index) {
        WriteHeaderLike(format, 1, index, header);
        if (IsValidMp3FrameHeader(header) && DecodeMp3FrameHeader(header).sampleRateHz == format.sampleRateHz) {
            return index;
        }
    }
    return -1;
}

}  // namespace

std::vector<std::uint8_t> MakeXingFrame(const Mp3FrameHeader& format, WithLameExtension lame) {
    const int rateIndex = SampleRateIndexOf(format);
    if (format.layer != 3 || rateIndex < 0) return {};
    const std::size_t needed = 4 + static_cast<std::size_t>(format.sideInfoBytes) + kXingFieldBytes +
                               (lame == WithLameExtension::Yes ? kLameExtensionBytes : 0);
    // The stream's own bit rate keeps a constant-bit-rate stream constant; the lowest rate
    // that holds the fields otherwise (index 1 to 14; 0 is free format, 15 is not allowed).
    std::uint8_t header[4];
    int chosen = 0;
    for (int index = 14; index >= 1; --index) {
        WriteHeaderLike(format, index, rateIndex, header);
        const Mp3FrameHeader candidate = DecodeMp3FrameHeader(header);
        if (static_cast<std::size_t>(candidate.frameBytes) < needed) break;
        chosen = index;
        if (candidate.bitRateKbps == format.bitRateKbps) break;
    }
    if (chosen == 0) return {};
    WriteHeaderLike(format, chosen, rateIndex, header);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(DecodeMp3FrameHeader(header).frameBytes), 0);
    std::copy(header, header + 4, frame.begin());
    std::uint8_t* tag = frame.data() + 4 + format.sideInfoBytes;
    std::memcpy(tag, "Xing", 4);
    WriteBigEndian32(tag + 4, kFlagFrameCount | kFlagByteCount | kFlagToc | kFlagQuality);
    if (lame == WithLameExtension::Yes) {
        std::memcpy(tag + kXingFieldBytes, kLameVersion, sizeof kLameVersion - 1);
    }
    return frame;
}

bool ParseXingLayout(std::span<const std::uint8_t> frame, XingLayout* layout) {
    *layout = XingLayout{};
    if (frame.size() < 4 || !IsValidMp3FrameHeader(frame.data())) return false;
    // The tag sits right after the side information: 4 + S bytes into the frame.
    const std::size_t tagOffset = 4 + static_cast<std::size_t>(DecodeMp3FrameHeader(frame.data()).sideInfoBytes);
    if (frame.size() < tagOffset + 8) return false;
    const std::uint8_t* tag = frame.data() + tagOffset;
    if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0) return false;
    layout->flags = ReadBigEndian32(tag + 4);

    // The optional fields follow the flags in a fixed order, each only when its flag is set.
    std::size_t cursor = tagOffset + 8;
    auto take = [&](std::uint32_t flag, std::size_t bytes, std::size_t* offset) {
        if ((layout->flags & flag) == 0) return true;
        if (cursor + bytes > frame.size()) return false;
        if (offset != nullptr) *offset = cursor;
        cursor += bytes;
        return true;
    };
    if (!take(kFlagFrameCount, 4, &layout->frameCountOffset) || !take(kFlagByteCount, 4, &layout->byteCountOffset) ||
        !take(kFlagToc, kXingTocEntries, &layout->tocOffset) || !take(kFlagQuality, 4, nullptr)) {
        *layout = XingLayout{};
        return false;
    }
    // The LAME extension, when present, starts with the encoder's version string.
    if (cursor + kLameExtensionBytes <= frame.size() && LooksLikeEncoderVersion(frame.data() + cursor)) {
        layout->lameOffset = cursor;
    }
    return true;
}

int PlaybackDelaySamples(std::span<const std::uint8_t> infoFrame) {
    XingLayout layout;
    LameExtension lame;
    if (infoFrame.empty() || !ParseXingLayout(infoFrame, &layout) || !ReadLameExtension(infoFrame, layout, &lame)) {
        return 0;
    }
    return lame.encoderDelaySamples + kDecoderDelaySamples;
}

bool ReadLameExtension(std::span<const std::uint8_t> frame, const XingLayout& layout, LameExtension* extension) {
    if (layout.lameOffset == 0 || layout.lameOffset + kLameExtensionBytes > frame.size()) return false;
    const std::uint8_t* lame = frame.data() + layout.lameOffset;
    // Delay and padding share three bytes: dddddddd ddddpppp pppppppp.
    const std::uint8_t* dp = lame + kLameDelayPadding;
    extension->encoderDelaySamples = (dp[0] << 4) | (dp[1] >> 4);
    extension->paddingSamples = ((dp[1] & 0x0F) << 8) | dp[2];
    extension->musicLengthBytes = ReadBigEndian32(lame + kLameMusicLength);
    extension->musicCrc = static_cast<std::uint16_t>((lame[kLameMusicCrc] << 8) | lame[kLameMusicCrc + 1]);
    extension->tagCrc = static_cast<std::uint16_t>((lame[kLameTagCrc] << 8) | lame[kLameTagCrc + 1]);
    return true;
}

std::uint16_t ComputeLameTagCrc(std::span<const std::uint8_t> frame, const XingLayout& layout) {
    // The tag CRC covers the frame from its header up to the CRC field itself (190 bytes for
    // an MPEG-1 stereo frame).
    const std::size_t covered = std::min(frame.size(), layout.lameOffset + kLameTagCrc);
    return Crc16Update(0, frame.first(covered));
}

XingFrameBuilder::XingFrameBuilder(std::span<const std::uint8_t> sourceFrame)
    : m_frame(sourceFrame.begin(), sourceFrame.end()) {
    m_valid = ParseXingLayout(m_frame, &m_layout);
    m_samples.reserve(kSampleCapacity);
}

void XingFrameBuilder::AddFrame(std::span<const std::uint8_t> frameBytes) {
    const std::uint32_t index = m_frameCount;
    if (index % m_sampleStride == 0) {
        // A full table keeps every other position and samples half as often from now on.
        if (m_samples.size() == kSampleCapacity) {
            for (std::size_t i = 0; i < kSampleCapacity / 2; ++i) m_samples[i] = m_samples[2 * i];
            m_samples.resize(kSampleCapacity / 2);
            m_sampleStride *= 2;
        }
        if (index % m_sampleStride == 0) m_samples.push_back(m_audioBytes);
    }
    // The bit-rate index is the high nibble of the third header byte: BBBBxxxx.
    if (frameBytes.size() >= 4) {
        const int bitRateIndex = frameBytes[2] >> 4;
        if (m_firstBitRateIndex < 0) m_firstBitRateIndex = bitRateIndex;
        m_bitRatesDiffer = m_bitRatesDiffer || bitRateIndex != m_firstBitRateIndex;
    }
    ++m_frameCount;
    m_audioBytes += frameBytes.size();
    if (HasLameExtension()) m_musicCrc.Add(frameBytes);
}

void XingFrameBuilder::SetEncoderDelay(int samples) { m_delaySamples = std::clamp(samples, 0, kMaxLameTrimSamples); }

void XingFrameBuilder::SetPadding(int samples) { m_paddingSamples = std::clamp(samples, 0, kMaxLameTrimSamples); }

void XingFrameBuilder::DropLameExtension() {
    if (!HasLameExtension()) return;
    std::fill_n(m_frame.begin() + static_cast<std::ptrdiff_t>(m_layout.lameOffset), kLameExtensionBytes, 0);
    m_layout.lameOffset = 0;
}

void XingFrameBuilder::WriteTrim(int delaySamples, int paddingSamples) {
    // Delay and padding share three bytes: dddddddd ddddpppp pppppppp.
    std::uint8_t* dp = &m_frame[m_layout.lameOffset + kLameDelayPadding];
    dp[0] = static_cast<std::uint8_t>(delaySamples >> 4);
    dp[1] = static_cast<std::uint8_t>((delaySamples & 0x0F) << 4 | paddingSamples >> 8);
    dp[2] = static_cast<std::uint8_t>(paddingSamples & 0xFF);
}

void XingFrameBuilder::BuildToc() {
    std::uint8_t* toc = m_frame.data() + m_layout.tocOffset;
    std::fill(toc, toc + kXingTocEntries, 0);
    if (m_frameCount == 0 || m_audioBytes == 0) return;
    // Entry i: where, as a fraction of 256 of the audio bytes, the frame that plays at i
    // percent of the time begins. Between sampled frames the position is interpolated.
    for (std::size_t i = 1; i < kXingTocEntries; ++i) {
        const std::uint64_t frame = static_cast<std::uint64_t>(i) * m_frameCount / kXingTocEntries;
        const std::uint64_t sample = frame / m_sampleStride;
        double position = 0.0;
        if (sample + 1 < m_samples.size()) {
            const double fraction = static_cast<double>(frame % m_sampleStride) / m_sampleStride;
            position = static_cast<double>(m_samples[sample]) +
                       fraction * static_cast<double>(m_samples[sample + 1] - m_samples[sample]);
        } else {
            const std::uint64_t lastFrame = (m_samples.size() - 1) * std::uint64_t{m_sampleStride};
            const double fraction =
                static_cast<double>(frame - lastFrame) / static_cast<double>(m_frameCount - lastFrame);
            position =
                static_cast<double>(m_samples.back()) + fraction * static_cast<double>(m_audioBytes - m_samples.back());
        }
        const double entry = 256.0 * position / static_cast<double>(m_audioBytes);
        toc[i] = static_cast<std::uint8_t>(std::min(255.0, entry));
    }
}

const std::vector<std::uint8_t>& XingFrameBuilder::Finish(std::uint64_t streamBytes, bool keepEncoderDelay,
                                                          bool keepPadding) {
    if (!m_valid) return m_frame;
    // The counts hold the low 32 bits, as the fields are 32 bits wide.
    if (m_layout.frameCountOffset != 0) WriteBigEndian32(&m_frame[m_layout.frameCountOffset], m_frameCount);
    if (m_layout.byteCountOffset != 0) {
        WriteBigEndian32(&m_frame[m_layout.byteCountOffset], static_cast<std::uint32_t>(streamBytes));
    }
    if (m_layout.tocOffset != 0) BuildToc();
    if (m_nameByBitRates) {
        // "Info" marks a constant-bit-rate stream, "Xing" a variable one.
        const std::size_t tagOffset = 4 + static_cast<std::size_t>(DecodeMp3FrameHeader(m_frame.data()).sideInfoBytes);
        std::memcpy(&m_frame[tagOffset], m_bitRatesDiffer ? "Xing" : "Info", 4);
    }
    if (!HasLameExtension()) return m_frame;

    std::uint8_t* lame = &m_frame[m_layout.lameOffset];
    // Encoder delay belongs to the stream's first frames, padding to its last: a piece that
    // does not start (end) where the source did carries none.
    LameExtension own;
    if (!ReadLameExtension(m_frame, m_layout, &own)) return m_frame;
    const int delay = m_delaySamples.value_or(keepEncoderDelay ? own.encoderDelaySamples : 0);
    const int padding = m_paddingSamples.value_or(keepPadding ? own.paddingSamples : 0);
    WriteTrim(delay, padding);
    WriteBigEndian32(lame + kLameMusicLength, static_cast<std::uint32_t>(streamBytes));
    WriteBigEndian16(lame + kLameMusicCrc, m_musicCrc.Value());
    WriteBigEndian16(lame + kLameTagCrc, ComputeLameTagCrc(m_frame, m_layout));
    return m_frame;
}

}  // namespace qm
