#pragma once

// Brings blocks of split-channel PCM to another sample rate (libresample, high-quality
// mode), channel count (1 or 2) and sample width (8-bit unsigned or 16-bit signed). The
// result of each call stays in the converter's own output buffers until the next call.
// Every scratch buffer only grows, so after the first blocks nothing is allocated.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qm {

class PcmConverter {
public:
    PcmConverter() = default;
    ~PcmConverter();
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;

    // Forgets the format and the resamplers: every format field becomes -1. The caller then
    // sets the six fields below and calls Prepare.
    void Reset();
    // Opens the resamplers when the rates differ (one per target channel).
    void Prepare();

    // Converts samples per channel (rightIn is read only for two source channels) and
    // returns the samples per channel now in LeftOutput/RightOutput. All input is consumed;
    // the resampler keeps a few samples back until Flush.
    int Process(const void* leftIn, const void* rightIn, int samples);
    // Drains what the resamplers still hold at the end of a source; returns the samples per
    // channel delivered (0 when the rates match).
    int Flush();

    // Output of the last Process or Flush, target width; the right channel only for two
    // target channels.
    const void* LeftOutput() const { return m_leftOut.data(); }
    const void* RightOutput() const { return m_rightOut.data(); }

    double Factor() const { return m_factor; }

    // The formats on both sides; -1 after Reset until the caller sets them.
    struct Format {
        int channels = -1;
        int rateHz = -1;
        int bits = -1;
    };
    Format source;
    Format target;

private:
    struct ResamplerCloser {
        void operator()(void* handle) const;
    };
    using Resampler = std::unique_ptr<void, ResamplerCloser>;

    int ProcessSameRate(const void* leftIn, const void* rightIn, int samples);
    int ProcessResampled(const void* leftIn, const void* rightIn, int samples);
    int ResampleChannel(void* resampler, const void* in, int samples, int bits, bool last,
                        std::vector<std::uint8_t>* out);
    void RepeatLeftChannel(int samples);

    double m_factor = 0.0;
    Resampler m_leftResampler;
    Resampler m_rightResampler;
    std::vector<std::uint8_t> m_monoMix;
    std::vector<std::uint8_t> m_leftWidth;
    std::vector<std::uint8_t> m_rightWidth;
    std::vector<float> m_floatIn;
    std::vector<float> m_floatOut;
    std::vector<std::uint8_t> m_leftOut;
    std::vector<std::uint8_t> m_rightOut;
};

// The sample conversions, on n samples. 16-bit samples are signed, 8-bit ones unsigned
// around 128.
// (left + right) >> 1: the floor of the mean for 16-bit samples, on the unsigned byte values
// for 8-bit ones.
void MixToMono(const void* left, const void* right, int samples, int bits, void* out);
// 8 → 16: (u − 128) << 8; 16 → 8: (s >> 8) − 128 as a byte.
void ConvertWidth(const void* in, int samples, int fromBits, int toBits, void* out);

}  // namespace qm
