#include "join/PcmSource.h"

#include <cctype>
#include <cstring>

#include "stream/File.h"
#include "stream/MpegHeader.h"

namespace qm {

namespace {

constexpr int kKbpsPerBytePerSecond = 125;  // 1 kbit/s = 125 bytes per second

}  // namespace

void PcmSource::ClearFigures() {
    m_lengthBytes = 0;
    m_positionBytes = 0;
    m_durationSeconds = 0;
    m_sampleRateHz = 0;
    m_channels = 0;
    m_outputChannels = 0;
    m_bitsPerSample = 0;
    m_bytesPerSample = 0;
    m_averageKbps = 0;
}

bool PathEndsWith(const std::filesystem::path& path, const char* ext) {
    const std::string text = path.string();
    const std::size_t extLength = std::strlen(ext);
    if (text.size() < extLength) return false;
    for (std::size_t i = 0; i < extLength; ++i) {
        const unsigned char a = static_cast<unsigned char>(text[text.size() - extLength + i]);
        if (std::tolower(a) != std::tolower(static_cast<unsigned char>(ext[i]))) return false;
    }
    return true;
}

bool ProbeFrameHeader(const std::uint8_t* bytes, int* kbps, ChannelMode* channelMode) {
    // Sync: 0xFF and the top three bits of the second byte.
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) return false;
    // Version bits 4-3 of byte 1 (01 reserved), layer bits 2-1 (00 reserved).
    if (((bytes[1] >> 3) & 0x03) == 0x01 || ((bytes[1] >> 1) & 0x03) == 0x00) return false;
    // The bit-rate index is the high nibble of the third byte: 0 is free format, 15 bad.
    const int bitRateIndex = bytes[2] >> 4;
    if (bitRateIndex == 0 || bitRateIndex == 15) return false;
    // The bit rate depends only on version, layer and index, so the header is decoded with a
    // harmless sample-rate index and emphasis, which this probe does not test.
    std::uint8_t tame[4] = {bytes[0], bytes[1], static_cast<std::uint8_t>(bytes[2] & 0xF3),
                            static_cast<std::uint8_t>(bytes[3] & 0xFC)};
    const Mp3FrameHeader header = DecodeMp3FrameHeader(tame);
    *kbps = header.bitRateKbps;
    *channelMode = header.channelMode;
    return true;
}

AudioLayerSource::~AudioLayerSource() { Close(); }

void AudioLayerSource::Close() {
    m_stream.reset();
    m_decodeBuffer = {};
    m_channelMode.reset();
    m_frameKbps = 0;
    m_isMusic = false;
    m_isMp3 = false;
    m_isOgg = false;
}

bool AudioLayerSource::Open(const std::filesystem::path& path, int /*musicRateHz*/) {
    if (m_stream) Close();
    ClearFigures();
    // Module music plays at the layer's own rate; every caller asks for that (0).
    m_stream = audio::StreamCreateFile(path);
    m_isMusic = false;
    if (!m_stream) {
        m_stream = audio::MusicLoad(path);
        if (!m_stream) return false;
        m_isMusic = true;
    }
    const std::int64_t length = m_stream->LengthBytes();
    if (length > 0) {
        m_lengthBytes = static_cast<std::uint64_t>(length);
        m_durationSeconds = static_cast<int>(m_stream->BytesToSeconds(length));
    }
    const audio::ChannelInfo info = m_stream->Info();
    m_sampleRateHz = info.sampleRateHz;
    m_channels = info.channels;
    m_outputChannels = m_channels < 2 ? 1 : 2;
    m_bitsPerSample = info.eightBit ? 8 : 16;
    m_bytesPerSample = m_bitsPerSample / 8;

    if (PathEndsWith(path, ".mp3")) {
        m_isMp3 = true;
        ProbeFirstHeader(path);
    } else if (PathEndsWith(path, ".ogg")) {
        m_isOgg = true;
    }
    ComputeAverageBitrate();
    m_decodeBuffer.assign(static_cast<std::size_t>(m_bytesPerSample) * m_outputChannels * kMaxSamplesPerRead, 0);
    return true;
}

// Reads the four bytes at the audio start as a frame header for the channel mode and the
// bit rate of the first frame. A missing or odd header only leaves both unknown.
void AudioLayerSource::ProbeFirstHeader(const std::filesystem::path& path) {
    File file;
    if (!file.OpenRead(path) || !file.Seek(m_stream->FileStart())) return;
    std::uint8_t header[4];
    if (file.Read(header, sizeof header) != static_cast<std::int64_t>(sizeof header)) return;
    int kbps = 0;
    ChannelMode mode = ChannelMode::Stereo;
    if (!ProbeFrameHeader(header, &kbps, &mode)) return;
    m_frameKbps = kbps;
    m_channelMode = mode;
}

// The file's bytes over its playing time; without a playing time, the rate of the PCM.
void AudioLayerSource::ComputeAverageBitrate() {
    const double seconds = m_lengthBytes > 0 ? m_stream->BytesToSeconds(static_cast<std::int64_t>(m_lengthBytes)) : 0.0;
    const std::uint64_t fileBytes = m_stream->FileEnd();
    if (seconds > 0.0 && fileBytes > 0) {
        m_averageKbps = static_cast<int>(fileBytes / (seconds * kKbpsPerBytePerSecond) + 0.5);
    } else {
        m_averageKbps = m_bitsPerSample * m_sampleRateHz * m_channels / 1000;
    }
}

int AudioLayerSource::Read(void* left, void* right) {
    if (!m_stream || m_bytesPerSample == 0) return 0;
    if (m_channels < 2) {
        const std::int64_t bytes =
            m_stream->GetData(left, static_cast<std::size_t>(m_bytesPerSample) * kMaxSamplesPerRead);
        return bytes > 0 ? static_cast<int>(bytes / m_bytesPerSample) : 0;
    }
    const std::int64_t bytes = m_stream->GetData(m_decodeBuffer.data(), m_decodeBuffer.size());
    if (bytes <= 0) return 0;
    // Interleaved frames: the first two channels go to left and right, any others are
    // dropped, so six channels give a third of the samples per read.
    const int frames = static_cast<int>(bytes / m_bytesPerSample / m_channels);
    if (m_bytesPerSample == 2) {
        const auto* in = reinterpret_cast<const std::int16_t*>(m_decodeBuffer.data());
        auto* l = static_cast<std::int16_t*>(left);
        auto* r = static_cast<std::int16_t*>(right);
        for (int i = 0; i < frames; ++i) {
            l[i] = in[i * m_channels];
            r[i] = in[i * m_channels + 1];
        }
    } else {
        const std::uint8_t* in = m_decodeBuffer.data();
        auto* l = static_cast<std::uint8_t*>(left);
        auto* r = static_cast<std::uint8_t*>(right);
        for (int i = 0; i < frames; ++i) {
            l[i] = in[i * m_channels];
            r[i] = in[i * m_channels + 1];
        }
    }
    return frames;
}

std::uint64_t AudioLayerSource::GetPosition() {
    if (!m_stream) return 0;
    const std::int64_t position = m_stream->Position();
    m_positionBytes = position > 0 ? static_cast<std::uint64_t>(position) : 0;
    return m_positionBytes;
}

}  // namespace qm
