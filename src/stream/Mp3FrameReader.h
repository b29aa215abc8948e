#pragma once

// The sequential MPEG frame reader over one open file, and the analysis that opens a file
// and positions the reader at its first audio frame.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "stream/File.h"
#include "stream/MpegHeader.h"

namespace qm {

class Mp3FrameReader {
public:
    // The file is read in blocks of this size: a quarter megabyte reads a file in the page
    // cache markedly faster than 64 KiB, and stays well inside the processor's caches.
    static constexpr int kInitialBufferBytes = 262144;

    Mp3FrameReader();
    ~Mp3FrameReader();
    Mp3FrameReader(const Mp3FrameReader&) = delete;
    Mp3FrameReader& operator=(const Mp3FrameReader&) = delete;

    // How much Open measures. The length (and with it the duration and average bit rate)
    // may take a scan of every frame of a file without a Xing/Info frame; a walk that copies
    // the frames needs only where they start and their format.
    enum class Measure { Length, FormatOnly };

    // Opens and analyses a file: size, audio start, duration, sample rate, channel mode,
    // average bit rate and the Xing/Info frame copy. On success the reader is positioned at
    // the audio start. False (reader closed and reset) when the file cannot be opened, is
    // empty, cannot be decoded, or holds no frame at the audio start. With FormatOnly the
    // decoder is not asked (a file is taken when a run of frames starts its audio), the
    // length and duration stay 0 and the bit rate is the first frame's.
    [[nodiscard]] bool Open(const std::filesystem::path& path, Measure measure = Measure::Length);

    // Opens a file for the frame walk alone, positioned at offset 0, without the analysis:
    // no figures are set. False when the file cannot be opened.
    [[nodiscard]] bool OpenRaw(const std::filesystem::path& path);

    // Hunts for the next valid frame header from the current position, reads the whole
    // frame and returns its bytes (valid until the next call), or null when no further
    // complete frame can be read. Updates the channel mode, side-information size, sample
    // rate, bit rate and current position.
    const std::uint8_t* NextFrame(int* sampleRateHz, int* bitRateKbps, int* frameBytes, int* samplesPerFrame,
                                  std::uint64_t* frameOffset);
    // The same, filling a whole header (with its frame offset).
    const std::uint8_t* NextFrame(Mp3FrameHeader* header);

    // Moves the current position to a 64-bit byte offset. No check.
    void Seek(std::uint64_t byteOffset);

    // Copies byteCount bytes from byteOffset of the source to out, through the reader's
    // buffer; the current position becomes byteOffset + the bytes copied. False when a read
    // comes up short or a write fails.
    [[nodiscard]] bool CopyRange(File& out, std::uint64_t byteOffset, std::uint64_t byteCount);

    // Closes the file and resets every figure.
    void Close();
    // Forgets the file and every figure; keeps the frame buffer. The descriptor is released
    // with the file (it is owned by the reader, so forgetting it must not leak it).
    void Reset();

    // Writes the frame and byte counts into a copy of the Xing/Info frame, at the places its
    // flags give, using the reader's current side-information size. Nothing else changes.
    void PatchXingFrame(std::span<std::uint8_t> frameCopy, std::uint32_t frameCount, std::uint32_t byteCount) const;

    bool IsOpen() const { return m_file.IsOpen(); }
    // The descriptor of the open file, for copying runs of its frames by offset (the reader's
    // position does not move); -1 when closed.
    int Descriptor() const { return m_file.Descriptor(); }
    // Whether the file changed since Open (cut short, rewritten or extended by another
    // program): frames read since may be missing or not the file's. A read that reaches
    // the end of such a file ends the frame walk as an error does.
    bool SourceChanged() const { return m_file.ChangedSinceOpen(); }
    int SampleRateHz() const { return m_sampleRateHz; }
    // kbit/s of the last frame scanned; after Open, the file's average bit rate.
    int BitRateKbps() const { return m_bitRateKbps; }
    int DurationSeconds() const { return m_durationSeconds; }
    // The decoded playing time as reported by the audio layer, in seconds.
    double LengthSeconds() const { return m_lengthSeconds; }
    // The channel mode of the last frame found; empty before the first one (and after Close).
    std::optional<qm::ChannelMode> ChannelMode() const { return m_channelMode; }
    int SideInfoBytes() const { return m_sideInfoBytes; }
    std::uint64_t Position() const { return m_position; }
    std::uint64_t FileSize() const { return m_fileSize; }
    std::uint64_t AudioStart() const { return m_audioStart; }
    // The header of the last frame returned by NextFrame.
    const Mp3FrameHeader& LastHeader() const { return m_lastHeader; }
    // A copy of the file's Xing/Info frame (header included); empty when it has none.
    const std::vector<std::uint8_t>& InfoFrame() const { return m_infoFrame; }
    std::uint32_t InfoFrameLength() const { return static_cast<std::uint32_t>(m_infoFrame.size()); }

private:
    struct ReadAhead;  // the reader's own read-ahead buffer over m_file; frames are returned
                       // as pointers into it

    // Makes at least byteCount bytes available at the read cursor, reading more of the file
    // when needed; false when the file ends (or fails) before that.
    [[nodiscard]] bool Ensure(std::size_t byteCount);
    // The analysis steps of Open.
    std::uint64_t XingSearchStart();
    [[nodiscard]] bool AnalyseStream(const std::filesystem::path& path);
    [[nodiscard]] bool FindAudioStart(const std::filesystem::path& path);
    void KeepInfoFrame(std::uint64_t searchStart);
    void KeepInfoFrameBeforeAudioStart(std::uint64_t searchStart);

    File m_file;
    std::unique_ptr<ReadAhead> m_readAhead;
    std::vector<std::uint8_t> m_infoFrame;
    Mp3FrameHeader m_lastHeader{};
    int m_sampleRateHz = 0;
    int m_bitRateKbps = 0;
    int m_durationSeconds = 0;
    double m_lengthSeconds = 0.0;
    std::optional<qm::ChannelMode> m_channelMode;
    int m_sideInfoBytes = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_audioStart = 0;
};

}  // namespace qm
