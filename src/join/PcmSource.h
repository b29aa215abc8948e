#pragma once

// A decoded-audio source for the re-encoding join: any file the audio layer decodes,
// delivered as left and right channel buffers of at most kMaxSamplesPerRead samples per
// channel, in the file's own sample rate and width.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "stream/AudioLayer.h"
#include "stream/ChannelMode.h"

namespace qm {

class PcmSource {
public:
    // Samples per channel of one read: the length of an MPEG-1 Layer III frame.
    static constexpr int kMaxSamplesPerRead = 1152;

    PcmSource() = default;
    PcmSource(const PcmSource&) = delete;
    PcmSource& operator=(const PcmSource&) = delete;

    // The operations in their table order.
    virtual void Close() = 0;
    // Opens path for decoding; musicRateHz is the rate asked of module music (0: the
    // layer's own). False when nothing can decode the file.
    [[nodiscard]] virtual bool Open(const std::filesystem::path& path, int musicRateHz) = 0;
    // Decodes the next block into left and right (each room for kMaxSamplesPerRead samples of
    // the source's width; right untouched for one channel). Returns the samples per channel,
    // 0 at the end or on an error.
    virtual int Read(void* left, void* right) = 0;
    // Decoded length in bytes of interleaved PCM.
    virtual std::uint64_t GetLength() { return m_lengthBytes; }
    // Read position in the same unit.
    virtual std::uint64_t GetPosition() { return m_positionBytes; }
    // Whole seconds, truncated.
    virtual int GetDuration() { return m_durationSeconds; }
    virtual int GetChannels() { return m_channels; }
    // 1 for one channel, 2 otherwise: what Read delivers.
    virtual int GetOutputChannels() { return m_outputChannels; }
    virtual int GetSampleRate() { return m_sampleRateHz; }
    virtual int GetBitsPerSample() { return m_bitsPerSample; }
    // MPEG channel mode of the first frame; empty when unknown (no MPEG header at the start).
    virtual std::optional<ChannelMode> GetChannelMode() { return std::nullopt; }
    virtual int GetAverageBitrate() { return m_averageKbps; }
    // kbit/s of the first frame; 0 when unknown.
    virtual int GetFrameBitrate() { return 0; }
    // Whether the file changed under the reads since Open (cut short, rewritten, extended by
    // another program): the samples read then need not be the file's.
    virtual bool SourceChanged() { return false; }
    virtual ~PcmSource() = default;

protected:
    void ClearFigures();

    std::uint64_t m_lengthBytes = 0;
    std::uint64_t m_positionBytes = 0;
    int m_durationSeconds = 0;
    int m_sampleRateHz = 0;
    int m_channels = 0;
    int m_outputChannels = 0;
    int m_bitsPerSample = 0;
    int m_bytesPerSample = 0;
    int m_averageKbps = 0;
};

// A PcmSource over the audio layer: MPEG audio through libmpg123, Ogg Vorbis, FLAC and WAV
// through libsndfile, module music through libopenmpt.
class AudioLayerSource final : public PcmSource {
public:
    AudioLayerSource() = default;
    ~AudioLayerSource() override;

    void Close() override;
    [[nodiscard]] bool Open(const std::filesystem::path& path, int musicRateHz) override;
    int Read(void* left, void* right) override;
    std::uint64_t GetPosition() override;
    std::optional<ChannelMode> GetChannelMode() override { return m_channelMode; }
    int GetFrameBitrate() override { return m_frameKbps; }
    bool SourceChanged() override { return m_stream && m_stream->SourceChanged(); }

    bool IsMusic() const { return m_isMusic; }
    bool IsMp3() const { return m_isMp3; }
    bool IsOgg() const { return m_isOgg; }

private:
    void ProbeFirstHeader(const std::filesystem::path& path);
    void ComputeAverageBitrate();

    std::unique_ptr<audio::Stream> m_stream;
    bool m_isMusic = false;
    bool m_isMp3 = false;
    bool m_isOgg = false;
    std::optional<ChannelMode> m_channelMode;
    int m_frameKbps = 0;
    std::vector<std::uint8_t> m_decodeBuffer;
};

// True when the path's last four characters are ext (".mp3"), ignoring case.
bool PathEndsWith(const std::filesystem::path& path, const char* ext);

// Reads a frame header the way the source's probe does: 0xFF, three sync bits, version not
// reserved, layer not reserved, bit-rate index neither 0 nor 15. On success fills the frame
// bit rate (kbit/s) and channel mode.
bool ProbeFrameHeader(const std::uint8_t* bytes, int* kbps, ChannelMode* channelMode);

}  // namespace qm
