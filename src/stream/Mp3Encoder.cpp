#include "stream/Mp3Encoder.h"

#include <algorithm>
#include <array>

namespace qm {

namespace {

int EncodeWithLame(lame_global_flags* lame, const std::int16_t* left, const std::int16_t* right, int samples,
                   std::uint8_t* mp3, int mp3Bytes) {
    return lame_encode_buffer(lame, left, right, samples, mp3, mp3Bytes);
}

}  // namespace

bool IsMpegSampleRate(int hz) {
    return std::find(kMpegSampleRatesHz.begin(), kMpegSampleRatesHz.end(), hz) != kMpegSampleRatesHz.end();
}

bool ApplyEncoderRules(Mp3EncoderSettings* settings) {
    if (!IsMpegSampleRate(settings->outputRateHz)) return false;
    settings->bitRateKbps = std::clamp(settings->bitRateKbps, kMinEncoderKbps, kMaxEncoderKbps);
    settings->mode = EncodedChannelMode(settings->mode);
    settings->inputChannels = std::clamp(settings->inputChannels, 1, 2);
    return true;
}

Mp3Encoder::Mp3Encoder() : m_encode(EncodeWithLame), m_mp3(kMaxMp3BufferBytes) {}

EncoderStart Mp3Encoder::Start(const Mp3EncoderSettings& asked) {
    m_lame.reset();
    m_outputBytes = 0;
    m_infoFrame.clear();
    Mp3EncoderSettings settings = asked;
    if (!ApplyEncoderRules(&settings)) return EncoderStart::Refused;
    LameHandle lame = MakeQuietLame();
    if (!lame) return EncoderStart::NoContext;
    lame_set_in_samplerate(lame.get(), settings.inputRateHz);
    lame_set_num_channels(lame.get(), settings.inputChannels);
    lame_set_out_samplerate(lame.get(), settings.outputRateHz);
    lame_set_brate(lame.get(), settings.bitRateKbps);
    lame_set_mode(lame.get(), static_cast<MPEG_mode>(settings.mode));
    // Constant bit rate, with an Info frame: LAME puts a placeholder frame first and makes the
    // real one at the end (the engines write their own tag in front of both).
    lame_set_bWriteVbrTag(lame.get(), 1);
    lame_set_VBR(lame.get(), vbr_off);
    if (lame_init_params(lame.get()) < 0) return EncoderStart::Refused;
    m_lame = std::move(lame);
    m_settings = settings;
    return EncoderStart::Started;
}

bool Mp3Encoder::Encode(const std::int16_t* left, const std::int16_t* right, int samples) {
    m_outputBytes = 0;
    if (!m_lame) return false;
    // With one input channel LAME reads only the left buffer; it is passed twice so that no
    // encode function is ever handed a null buffer.
    if (m_settings.inputChannels == 1) right = left;
    const int produced = m_encode(m_lame.get(), left, right, samples, m_mp3.data(), static_cast<int>(m_mp3.size()));
    if (produced < 0) return false;
    m_outputBytes = static_cast<std::size_t>(produced);
    return true;
}

bool Mp3Encoder::Finish() {
    m_outputBytes = 0;
    if (!m_lame) return false;
    const int produced = lame_encode_flush(m_lame.get(), m_mp3.data(), static_cast<int>(m_mp3.size()));
    if (produced >= 0) TakeInfoFrame();
    m_lame.reset();
    if (produced < 0) return false;
    m_outputBytes = static_cast<std::size_t>(produced);
    return true;
}

void Mp3Encoder::TakeInfoFrame() {
    // Asked with no room, LAME says how large the frame is; a frame larger than any MPEG
    // frame would be a fault of LAME's and is left out.
    constexpr std::size_t kMaxFrameBytes = 2881;  // MPEG-1 Layer III, 320 kbit/s, 32 kHz, padded
    m_infoFrame.clear();
    const std::size_t frameBytes = lame_get_lametag_frame(m_lame.get(), nullptr, 0);
    if (frameBytes == 0 || frameBytes > kMaxFrameBytes) return;
    m_infoFrame.resize(frameBytes);
    if (lame_get_lametag_frame(m_lame.get(), m_infoFrame.data(), m_infoFrame.size()) != frameBytes) {
        m_infoFrame.clear();
    }
}

int Mp3Encoder::EncoderDelaySamples() const { return m_lame ? lame_get_encoder_delay(m_lame.get()) : 0; }

int Mp3Encoder::FrameSamples() const { return m_lame ? lame_get_framesize(m_lame.get()) : 0; }

}  // namespace qm
