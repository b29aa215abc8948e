// The re-encoding join: every source decoded, brought to the target's rate and channels,
// and encoded as one constant-bit-rate stream.

#include <array>
#include <cstdio>

#include "join/JoinList.h"
#include "join/JoinProgress.h"
#include "join/Mp3EncoderStage.h"
#include "join/PcmConverter.h"
#include "join/PcmSource.h"

namespace qm {

namespace {

constexpr int kEncoderBits = 16;  // LAME is fed 16-bit signed samples

std::string BadParameterMessage(const EncoderParams& params) {
    char text[96];
    std::snprintf(text, sizeof text, "Bad encoding parameter: %dHz, %dkbps, %d", params.sampleRateHz,
                  params.bitRateKbps, params.channelMode);
    return text;
}

}  // namespace

struct JoinList::ReencodeRun {
    ReencodeRun(const std::filesystem::path& targetPath, const EncoderParams& encoderParams,
                const LongOperation& operation, int sourceCount)
        : target(targetPath),
          params(encoderParams),
          channels(TargetChannels(encoderParams.channelMode)),
          progress(operation, sourceCount, targetPath.filename().string()) {}

    const std::filesystem::path& target;
    EncoderParams params;
    int channels;
    JoinProgress progress;
    Mp3EncoderStage encoder;
    PcmConverter converter;
    AudioLayerSource source;
    std::array<std::int16_t, PcmSource::kMaxSamplesPerRead> left{};
    std::array<std::int16_t, PcmSource::kMaxSamplesPerRead> right{};
};

bool JoinList::Reencode(const std::filesystem::path& target, const EncoderParams& params,
                        const LongOperation& operation) {
    ReencodeRun run(target, params, operation, static_cast<int>(m_sources.size()));
    Mp3EncoderStage& encoder = run.encoder;
    if (!encoder.Create(target)) {
        m_lastError = FailedToCreateMessage(target);
        return false;
    }
    operation.Pump();
    if (!m_targetTag.empty()) encoder.SetPrefix(m_targetTag.data(), m_targetTag.size());
    // The same rate in and out: LAME never resamples; the converter does.
    encoder.SetChannels(run.channels);
    encoder.SetInputSampleRate(params.sampleRateHz);
    encoder.SetBitrate(params.bitRateKbps);
    encoder.SetOutputSampleRate(params.sampleRateHz);
    encoder.SetMode(params.channelMode);
    if (!encoder.Start()) {
        m_lastError = encoder.WriteFailed() ? FailedToWriteMessage(target) : BadParameterMessage(params);
        encoder.Discard();
        return false;
    }
    run.progress.Begin();
    for (std::size_t k = 0; k < m_sources.size(); ++k) {
        if (!ReencodeSource(run, static_cast<int>(k))) {
            encoder.Discard();
            return false;
        }
    }
    if (!encoder.Finish()) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    return true;
}

// Decodes, converts and encodes source index. False on an open failure, a failed write or a
// cancel (the last leaves the message alone).
bool JoinList::ReencodeSource(ReencodeRun& run, int index) {
    const std::filesystem::path& path = m_sources[static_cast<std::size_t>(index)];
    AudioLayerSource& source = run.source;
    if (!source.Open(path, 0) || source.GetSampleRate() <= 0) {
        source.Close();
        m_lastError = FailedToOpenMessage(path);
        return false;
    }
    if (!run.progress.StartSource(index, source.GetLength())) return false;

    const bool convert = source.GetOutputChannels() != run.channels ||
                         source.GetSampleRate() != run.params.sampleRateHz ||
                         source.GetBitsPerSample() != kEncoderBits;
    PcmConverter& converter = run.converter;
    if (convert) {
        // A fresh converter per source, so no resampler state crosses a seam.
        converter.Reset();
        converter.source = {source.GetOutputChannels(), source.GetSampleRate(), source.GetBitsPerSample()};
        converter.target = {run.channels, run.params.sampleRateHz, kEncoderBits};
        converter.Prepare();
    }
    auto encode = [&](int samples) {
        if (!convert) return run.encoder.Encode(run.left.data(), run.right.data(), samples);
        return run.encoder.Encode(static_cast<const std::int16_t*>(converter.LeftOutput()),
                                  static_cast<const std::int16_t*>(converter.RightOutput()), samples);
    };
    while (const int samples = source.Read(run.left.data(), run.right.data())) {
        if (!run.progress.Advance(source.GetPosition())) return false;  // this block is not encoded
        const int ready = convert ? converter.Process(run.left.data(), run.right.data(), samples) : samples;
        if (ready > 0 && !encode(ready)) {
            m_lastError = FailedToWriteMessage(run.target);
            return false;
        }
    }
    // What the resampler still holds belongs to the end of this source.
    const int tail = convert ? converter.Flush() : 0;
    if (tail > 0 && !encode(tail)) {
        m_lastError = FailedToWriteMessage(run.target);
        return false;
    }
    source.Close();
    return true;
}

}  // namespace qm
