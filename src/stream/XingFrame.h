#pragma once

// The Xing/Info frame that heads a VBR or LAME-encoded stream, and its LAME extension:
// finding the fields, and rebuilding them for a stream cut out of another (a split piece).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "stream/Crc16.h"
#include "stream/MpegHeader.h"

namespace qm {

// Where the fields of a Xing/Info frame lie, as byte offsets from the frame's first byte.
// An offset of 0 means the field is absent.
struct XingLayout {
    std::uint32_t flags = 0;
    std::size_t frameCountOffset = 0;
    std::size_t byteCountOffset = 0;
    std::size_t tocOffset = 0;
    std::size_t lameOffset = 0;  // the encoder's version string ("LAME3.100", "Lavf...")
};

constexpr std::size_t kXingTocEntries = 100;
// Bytes of the LAME extension from its version string to the end of its tag CRC.
constexpr std::size_t kLameExtensionBytes = 36;

// Finds the fields of a Xing/Info frame (header included). False when the frame is too short
// or carries neither "Xing" nor "Info" after its side information.
[[nodiscard]] bool ParseXingLayout(std::span<const std::uint8_t> frame, XingLayout* layout);

// The LAME extension's fields that a cut stream has to change.
struct LameExtension {
    int encoderDelaySamples = 0;  // 12 bits
    int paddingSamples = 0;       // 12 bits
    std::uint32_t musicLengthBytes = 0;
    std::uint16_t musicCrc = 0;
    std::uint16_t tagCrc = 0;
};
// Reads the LAME extension of a frame whose layout has one. False when it has none.
[[nodiscard]] bool ReadLameExtension(std::span<const std::uint8_t> frame, const XingLayout& layout,
                                     LameExtension* extension);
// CRC-16 of the frame bytes that the LAME extension's tag CRC covers.
std::uint16_t ComputeLameTagCrc(std::span<const std::uint8_t> frame, const XingLayout& layout);

// Samples a decoder plays late by: the synthesis filter bank's delay, which gapless decoders
// skip on top of the encoder delay that the LAME extension gives (and leave at the end).
constexpr int kDecoderDelaySamples = 529;
// Samples a gapless decoder skips at the start of a stream whose Xing/Info frame is
// infoFrame: the LAME extension's encoder delay and the decoder's own; 0 without an
// extension (every sample is played). Times in the played audio (a cue sheet's, a
// chapter's) lie this many samples before the same place in the stream.
int PlaybackDelaySamples(std::span<const std::uint8_t> infoFrame);
// The widest value the LAME extension's encoder delay and padding fields hold (12 bits).
constexpr int kMaxLameTrimSamples = 4095;

enum class WithLameExtension { No, Yes };

// A fresh Xing frame ("Xing" until XingFrameBuilder names it) for a stream of frames like
// format: same MPEG version, layer, sample rate and channel mode, no CRC, side information
// all zero (so a decoder that does not know the frame plays it as silence), room for the frame
// and byte counts, the seek table, the quality field and, with WithLameExtension::Yes, a LAME
// extension (delay and padding 0). Its bit rate is format's when the fields fit at that rate,
// else the lowest that holds them. Empty for Layer I and II, whose decoders do not look for
// such a frame and would play it as a frame of silence.
std::vector<std::uint8_t> MakeXingFrame(const Mp3FrameHeader& format, WithLameExtension lame);

// Rebuilds a copy of a source's Xing/Info frame for a stream made of some of its frames.
// Feed it every audio frame that follows the Xing/Info frame in the new stream, then Finish.
// Memory stays constant whatever the number of frames: the seek table is sampled from at most
// kSampleCapacity frame positions, thinned out as the stream grows.
class XingFrameBuilder {
public:
    // sourceFrame: the whole Xing/Info frame of the source, header included.
    explicit XingFrameBuilder(std::span<const std::uint8_t> sourceFrame);

    bool IsValid() const { return m_valid; }
    bool HasLameExtension() const { return m_layout.lameOffset != 0; }
    std::size_t FrameBytes() const { return m_frame.size(); }
    // The frame as it stands (before Finish: as it was given).
    const std::vector<std::uint8_t>& Frame() const { return m_frame; }

    // One audio frame of the new stream, in stream order.
    void AddFrame(std::span<const std::uint8_t> frameBytes);
    std::uint32_t FrameCount() const { return m_frameCount; }
    // Bytes of the frames added so far.
    std::uint64_t AudioBytes() const { return m_audioBytes; }

    // Finish names the frame "Info" when every frame added has one bit rate and "Xing" when
    // they differ, instead of keeping the word of the frame it was built from.
    void NameByBitRates() { m_nameByBitRates = true; }
    // Encoder delay and padding (samples, clamped to the 12 bits of their fields) that Finish
    // writes into the LAME extension in place of the frame's own; nothing without one.
    void SetEncoderDelay(int samples);
    void SetPadding(int samples);
    // Clears the LAME extension to zeros: the frame then carries none (a frame of
    // MakeXingFrame keeps its size either way).
    void DropLameExtension();

    // The rebuilt frame: frame count = the frames added; byte count = streamBytes, the MPEG
    // data from the Xing/Info frame's first byte to the end of the last frame (tags are not
    // counted: decoders and validators read the field so); seek table from the frames'
    // positions; and, with a LAME extension, music length = streamBytes as well, music CRC
    // over the frames added, the encoder delay kept only when keepEncoderDelay, the padding
    // only when keepPadding (a value set with SetEncoderDelay or SetPadding is written
    // instead), and a fresh tag CRC.
    const std::vector<std::uint8_t>& Finish(std::uint64_t streamBytes, bool keepEncoderDelay, bool keepPadding);

private:
    static constexpr std::size_t kSampleCapacity = 400;

    void BuildToc();
    void WriteTrim(int delaySamples, int paddingSamples);

    std::vector<std::uint8_t> m_frame;
    XingLayout m_layout;
    bool m_valid = false;
    std::uint32_t m_frameCount = 0;
    std::uint64_t m_audioBytes = 0;
    Crc16Stream m_musicCrc;
    // Stream positions (bytes of audio before the frame) of every m_sampleStride-th frame.
    std::vector<std::uint64_t> m_samples;
    std::uint32_t m_sampleStride = 1;
    bool m_nameByBitRates = false;
    int m_firstBitRateIndex = -1;  // of the first frame added
    bool m_bitRatesDiffer = false;
    std::optional<int> m_delaySamples;
    std::optional<int> m_paddingSamples;
};

}  // namespace qm
