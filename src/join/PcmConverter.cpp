#include "join/PcmConverter.h"

#include <libresample.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qm {

namespace {

constexpr int kHighQuality = 1;
// Room in the float output beyond the expected count: the resampler may release samples it
// held back from an earlier block.
constexpr int kOutputSlackSamples = 512;
// A flush that keeps producing is stopped after this many rounds.
constexpr int kMaxFlushRounds = 64;

int BytesPerSample(int bits) { return bits == 8 ? 1 : 2; }

template <typename T>
void Grow(std::vector<T>* buffer, std::size_t count) {
    if (buffer->size() < count) buffer->resize(count);
}

void ToFloats(const void* in, int samples, int bits, float* out) {
    if (bits == 8) {
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        for (int i = 0; i < samples; ++i) out[i] = (bytes[i] - 128) * (1.0f / 128.0f);
    } else {
        const auto* words = static_cast<const std::int16_t*>(in);
        for (int i = 0; i < samples; ++i) out[i] = words[i] * (1.0f / 32768.0f);
    }
}

void FromFloats(const float* in, int samples, int bits, void* out) {
    if (bits == 8) {
        auto* bytes = static_cast<std::uint8_t*>(out);
        for (int i = 0; i < samples; ++i) {
            const float x = std::clamp(in[i], -1.0f, 1.0f);
            bytes[i] = static_cast<std::uint8_t>(static_cast<int>(x * 127.0f) + 128);
        }
    } else {
        auto* words = static_cast<std::int16_t*>(out);
        for (int i = 0; i < samples; ++i) {
            const float x = std::clamp(in[i], -1.0f, 1.0f);
            words[i] = static_cast<std::int16_t>(x * 32767.0f);
        }
    }
}

}  // namespace

void MixToMono(const void* left, const void* right, int samples, int bits, void* out) {
    if (bits == 8) {
        const auto* l = static_cast<const std::uint8_t*>(left);
        const auto* r = static_cast<const std::uint8_t*>(right);
        auto* o = static_cast<std::uint8_t*>(out);
        for (int i = 0; i < samples; ++i) o[i] = static_cast<std::uint8_t>((l[i] + r[i]) >> 1);
    } else {
        const auto* l = static_cast<const std::int16_t*>(left);
        const auto* r = static_cast<const std::int16_t*>(right);
        auto* o = static_cast<std::int16_t*>(out);
        // An arithmetic shift of the signed sum: the floor of the mean.
        for (int i = 0; i < samples; ++i) o[i] = static_cast<std::int16_t>((l[i] + r[i]) >> 1);
    }
}

void ConvertWidth(const void* in, int samples, int fromBits, int toBits, void* out) {
    if (fromBits == toBits) {
        std::memmove(out, in, static_cast<std::size_t>(samples) * BytesPerSample(fromBits));
    } else if (fromBits == 8) {
        const auto* u = static_cast<const std::uint8_t*>(in);
        auto* s = static_cast<std::int16_t*>(out);
        for (int i = 0; i < samples; ++i) s[i] = static_cast<std::int16_t>((u[i] - 128) * 256);
    } else {
        const auto* s = static_cast<const std::int16_t*>(in);
        auto* u = static_cast<std::uint8_t*>(out);
        for (int i = 0; i < samples; ++i) u[i] = static_cast<std::uint8_t>((s[i] >> 8) - 128);
    }
}

void PcmConverter::ResamplerCloser::operator()(void* handle) const { resample_close(handle); }

PcmConverter::~PcmConverter() = default;

void PcmConverter::Reset() {
    source = Format{};
    target = Format{};
    m_factor = 0.0;
    m_leftResampler.reset();
    m_rightResampler.reset();
}

void PcmConverter::Prepare() {
    if (source.rateHz == target.rateHz) return;
    m_factor = static_cast<double>(target.rateHz) / source.rateHz;
    m_leftResampler.reset(resample_open(kHighQuality, m_factor, m_factor));
    if (target.channels == 2) m_rightResampler.reset(resample_open(kHighQuality, m_factor, m_factor));
}

int PcmConverter::Process(const void* leftIn, const void* rightIn, int samples) {
    if (samples <= 0) return 0;
    if (source.rateHz != target.rateHz) return ProcessResampled(leftIn, rightIn, samples);
    return ProcessSameRate(leftIn, rightIn, samples);
}

int PcmConverter::ProcessSameRate(const void* leftIn, const void* rightIn, int samples) {
    const std::size_t outBytes = static_cast<std::size_t>(samples) * BytesPerSample(target.bits);
    const void* left = leftIn;
    const void* right = rightIn;
    if (source.bits != target.bits) {
        Grow(&m_leftWidth, outBytes);
        ConvertWidth(left, samples, source.bits, target.bits, m_leftWidth.data());
        left = m_leftWidth.data();
        if (source.channels == 2) {
            Grow(&m_rightWidth, outBytes);
            ConvertWidth(right, samples, source.bits, target.bits, m_rightWidth.data());
            right = m_rightWidth.data();
        }
    }
    if (source.channels == 2 && target.channels == 1) {
        Grow(&m_monoMix, outBytes);
        MixToMono(left, right, samples, target.bits, m_monoMix.data());
        left = m_monoMix.data();
    } else if (source.channels == 1) {
        right = left;  // one channel to two: the right channel repeats the left
    }
    Grow(&m_leftOut, outBytes);
    std::memcpy(m_leftOut.data(), left, outBytes);
    if (target.channels == 2) {
        Grow(&m_rightOut, outBytes);
        std::memcpy(m_rightOut.data(), right, outBytes);
    }
    return samples;
}

int PcmConverter::ProcessResampled(const void* leftIn, const void* rightIn, int samples) {
    const void* left = leftIn;
    int channels = source.channels;
    if (source.channels == 2 && target.channels == 1) {
        // Mix first so that only one channel is resampled.
        Grow(&m_monoMix, static_cast<std::size_t>(samples) * BytesPerSample(source.bits));
        MixToMono(leftIn, rightIn, samples, source.bits, m_monoMix.data());
        left = m_monoMix.data();
        channels = 1;
    }
    const int produced = ResampleChannel(m_leftResampler.get(), left, samples, source.bits, false, &m_leftOut);
    if (channels == 2) {
        ResampleChannel(m_rightResampler.get(), rightIn, samples, source.bits, false, &m_rightOut);
    } else if (target.channels == 2) {
        RepeatLeftChannel(produced);
    }
    return produced;
}

int PcmConverter::Flush() {
    if (!m_leftResampler) return 0;
    const int produced = ResampleChannel(m_leftResampler.get(), nullptr, 0, source.bits, true, &m_leftOut);
    if (m_rightResampler && source.channels == 2) {
        ResampleChannel(m_rightResampler.get(), nullptr, 0, source.bits, true, &m_rightOut);
    } else if (target.channels == 2) {
        RepeatLeftChannel(produced);
    }
    return produced;
}

// One channel to two: the right output repeats the left one's samples. A flush may give
// nothing, and the buffers may then never have been allocated, so nothing is copied.
void PcmConverter::RepeatLeftChannel(int samples) {
    if (samples <= 0) return;
    Grow(&m_rightOut, m_leftOut.size());
    std::memcpy(m_rightOut.data(), m_leftOut.data(), static_cast<std::size_t>(samples) * BytesPerSample(target.bits));
}

// Resamples one channel into out (target width) and returns the samples written. Every
// input sample is handed to the resampler, calling it again while it leaves input unused;
// with last set it is drained of what it still holds.
int PcmConverter::ResampleChannel(void* resampler, const void* in, int samples, int bits, bool last,
                                  std::vector<std::uint8_t>* out) {
    if (resampler == nullptr) return 0;
    Grow(&m_floatIn, static_cast<std::size_t>(std::max(samples, 1)));
    if (samples > 0) ToFloats(in, samples, bits, m_floatIn.data());
    int consumed = 0;
    int produced = 0;
    for (int round = 0; round < kMaxFlushRounds || consumed < samples; ++round) {
        const int expected = static_cast<int>(std::ceil((samples - consumed) * m_factor));
        Grow(&m_floatOut, static_cast<std::size_t>(produced + expected + kOutputSlackSamples));
        int used = 0;
        const int made =
            resample_process(resampler, m_factor, m_floatIn.data() + consumed, samples - consumed, last ? 1 : 0, &used,
                             m_floatOut.data() + produced, static_cast<int>(m_floatOut.size()) - produced);
        if (made < 0) break;
        consumed += used;
        produced += made;
        if (made == 0 && used == 0) break;  // nothing more to take or give
        if (!last && consumed >= samples) break;
    }
    Grow(out, static_cast<std::size_t>(produced) * BytesPerSample(target.bits));
    FromFloats(m_floatOut.data(), produced, target.bits, out->data());
    return produced;
}

}  // namespace qm
