#include "join/Mp3EncoderStage.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>

#include "join/EncoderParams.h"

namespace qm {

namespace {

// The sample rates of MPEG-1, MPEG-2 and MPEG-2.5 audio. LAME 3.100 accepts any other rate
// and quietly resamples to a neighbour, so a rate outside this list is refused here, as a
// parameter the encoder cannot honour.
constexpr std::array<int, 9> kMpegSampleRatesHz = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

bool IsMpegSampleRate(int hz) {
    return std::find(kMpegSampleRatesHz.begin(), kMpegSampleRatesHz.end(), hz) != kMpegSampleRatesHz.end();
}

}  // namespace

void Mp3EncoderStage::LameCloser::operator()(lame_global_struct* lame) const { lame_close(lame); }

Mp3EncoderStage::Mp3EncoderStage() : m_mp3Buffer(kMp3BufferBytes) {}

Mp3EncoderStage::~Mp3EncoderStage() { Discard(); }

bool Mp3EncoderStage::Create(const std::filesystem::path& target) {
    Discard();
    m_writeFailed = false;
    auto output = std::make_unique<AtomicOutputFile>();
    if (!output->Create(target)) return false;
    m_lame.reset(lame_init());
    if (!m_lame) return false;  // the temporary file goes with `output`
    m_output = std::move(output);
    m_buffer.emplace(m_output->Out());
    m_path = target;
    return true;
}

void Mp3EncoderStage::SetPrefix(const std::uint8_t* bytes, std::size_t byteCount) {
    m_prefix.assign(bytes, bytes + byteCount);
}

void Mp3EncoderStage::SetChannels(int channels) {
    if (m_lame) lame_set_num_channels(m_lame.get(), std::clamp(channels, 1, 2));
}

void Mp3EncoderStage::SetInputSampleRate(int hz) {
    if (m_lame) lame_set_in_samplerate(m_lame.get(), hz);
}

void Mp3EncoderStage::SetBitrate(int kbps) {
    if (m_lame) lame_set_brate(m_lame.get(), std::clamp(kbps, kMinBitRateKbps, kMaxBitRateKbps));
}

void Mp3EncoderStage::SetOutputSampleRate(int hz) {
    if (m_lame) lame_set_out_samplerate(m_lame.get(), hz);
}

void Mp3EncoderStage::SetMode(int mode) {
    const bool known = mode == kModeStereo || mode == kModeJointStereo || mode == kModeMono;
    if (m_lame) lame_set_mode(m_lame.get(), static_cast<MPEG_mode>(known ? mode : kModeStereo));
}

bool Mp3EncoderStage::Start() {
    if (!m_lame || !m_output) return false;
    // No Xing/Info frame: the join writes plain constant-bit-rate frames after the tag.
    lame_set_bWriteVbrTag(m_lame.get(), 0);
    lame_set_VBR(m_lame.get(), vbr_off);
    if (!IsMpegSampleRate(lame_get_out_samplerate(m_lame.get()))) return false;
    if (lame_init_params(m_lame.get()) == -1) return false;
    return m_prefix.empty() || WriteOut(m_prefix.data(), m_prefix.size());
}

bool Mp3EncoderStage::Encode(const std::int16_t* left, const std::int16_t* right, int samples) {
    if (!m_lame || !m_output) return false;
    if (lame_get_num_channels(m_lame.get()) == 1) right = left;
    const int produced = lame_encode_buffer(m_lame.get(), left, right, samples, m_mp3Buffer.data(),
                                            static_cast<int>(m_mp3Buffer.size()));
    if (produced < 0) {
        m_writeFailed = false;
        return false;
    }
    return produced == 0 || WriteOut(m_mp3Buffer.data(), static_cast<std::size_t>(produced));
}

bool Mp3EncoderStage::Finish() {
    if (!m_output) return false;
    const int produced =
        lame_encode_flush(m_lame.get(), m_mp3Buffer.data(), static_cast<int>(m_mp3Buffer.size()));
    bool ok = produced >= 0;
    if (ok && produced > 0) ok = WriteOut(m_mp3Buffer.data(), static_cast<std::size_t>(produced));
    if (ok && !m_buffer->Flush()) {
        m_writeFailed = true;
        ok = false;
    }
    if (ok && !m_output->Commit()) {
        m_writeFailed = true;
        ok = false;
    }
    Discard();  // after a successful Commit only the encoder is left to close
    return ok;
}

void Mp3EncoderStage::Discard() {
    m_buffer.reset();
    if (m_output) m_output->Discard();
    m_output.reset();
    m_lame.reset();
    m_prefix.clear();
}

bool Mp3EncoderStage::WriteOut(const void* bytes, std::size_t byteCount) {
    if (m_buffer->Write(bytes, byteCount)) return true;
    m_writeFailed = true;
    return false;
}

}  // namespace qm
