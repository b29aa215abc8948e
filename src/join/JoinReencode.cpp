// The re-encoding join: every source decoded, brought to the target's rate and channels,
// and encoded as one constant-bit-rate stream, raised or lowered by the join's gain.
//
// Two threads share the work. A decoding thread opens the sources one at a time, decodes
// them and brings each block to the target format (the resampler is most of its work); the
// thread that called the join encodes the blocks with LAME (most of the whole work) and
// writes them. Everything the caller's progress contract sees, the bar, the status text,
// the pump and the cancel check, happens on the calling thread, block by block as the
// encoder takes them, so the contract sees the same calls in the same order as a join on
// one thread would make.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <span>
#include <thread>
#include <utility>

#include "join/JoinList.h"
#include "join/JoinNavigation.h"
#include "join/JoinProgress.h"
#include "join/PcmBlockQueue.h"
#include "join/PcmConverter.h"
#include "join/PcmSource.h"
#include "stream/Mp3Encoder.h"
#include "stream/OutputFile.h"
#include "stream/XingFrame.h"

namespace qm {

namespace {

constexpr int kEncoderBits = 16;  // LAME is fed 16-bit signed samples

std::string BadParameterMessage(const EncoderParams& params) {
    char text[96];
    std::snprintf(text, sizeof text, "Bad encoding parameter: %dHz, %dkbps, %d", params.sampleRateHz,
                  params.bitRateKbps, static_cast<int>(params.channelMode));
    return text;
}

// The encoder's settings for a join's target: the same rate in and out, so LAME never
// resamples (the converter does), and the target's channel count fed.
Mp3EncoderSettings EncoderSettingsOf(const EncoderParams& params) {
    Mp3EncoderSettings settings;
    settings.inputRateHz = params.sampleRateHz;
    settings.inputChannels = ChannelCountOf(params.channelMode);
    settings.outputRateHz = params.sampleRateHz;
    settings.bitRateKbps = params.bitRateKbps;
    settings.mode = params.channelMode;
    return settings;
}

// Writes the frames of the encoder's last call, passing them by the offsets' walk; false on
// a failed write.
[[nodiscard]] bool WriteEncoded(const Mp3Encoder& encoder, OutputFile& out, FrameOffsets& offsets) {
    const std::span<const std::uint8_t> frames = encoder.Output();
    offsets.Feed(frames);
    return out.Write(frames.data(), frames.size());
}

// The factor a gain of tenthsDb tenths of a dB scales samples by: 10^(dB/20).
double GainFactorOf(int tenthsDb) { return std::pow(10.0, tenthsDb / 200.0); }

// Scales count samples by factor, to the nearest value and held within 16 bits: a gain that
// raises a loud passage clips it rather than wrapping around.
void ScaleSamples(std::int16_t* samples, int count, double factor) {
    constexpr long kLowest = std::numeric_limits<std::int16_t>::min();
    constexpr long kHighest = std::numeric_limits<std::int16_t>::max();
    for (int i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(std::clamp(std::lround(samples[i] * factor), kLowest, kHighest));
    }
}

// Encodes one block and writes the frames it completes; false on an encoder error or a
// failed write.
[[nodiscard]] bool EncodeBlock(const PcmBlock& block, Mp3Encoder& encoder, OutputFile& out, FrameOffsets& offsets) {
    return encoder.Encode(block.left.data(), block.right.data(), block.samples) && WriteEncoded(encoder, out, offsets);
}

// The decoding side: runs on its own thread from Start until it has delivered every source,
// met a source it cannot open, thrown, or been stopped. Stopping and joining the thread is
// the destructor's job, so the thread never outlives the queue it fills; the source paths
// and the hook are its own copies, so nothing else it reads can change under it. The gain is
// applied here too, to each block in the target format, so the encoding thread does no more.
class SourceDecoder {
public:
    SourceDecoder(PcmBlockQueue& queue, std::vector<std::filesystem::path> sources, int channels, int rateHz,
                  int gainTenthsDb, JoinList::DecodeHook hook)
        : m_queue(queue),
          m_sources(std::move(sources)),
          m_channels(channels),
          m_rateHz(rateHz),
          m_gainFactor(GainFactorOf(gainTenthsDb)),
          m_gain(gainTenthsDb != 0),
          m_hook(std::move(hook)) {}
    ~SourceDecoder() {
        m_queue.Stop();
        if (m_thread.joinable()) m_thread.join();
    }
    SourceDecoder(const SourceDecoder&) = delete;
    SourceDecoder& operator=(const SourceDecoder&) = delete;

    void Start() {
        m_thread = std::thread([this] { Run(); });
    }

private:
    void Run() noexcept;
    [[nodiscard]] bool DeliverSource(int index);
    [[nodiscard]] bool DeliverBlocks(int index, bool convert);
    bool Post(PcmBlock::Kind kind, int index, std::uint64_t units, std::exception_ptr error = nullptr);
    static void CopyInto(PcmBlock* block, const PcmConverter& converter, int samples, int channels);
    // Applies the gain, if any, to a filled block.
    void Scale(PcmBlock* block) const;

    PcmBlockQueue& m_queue;
    const std::vector<std::filesystem::path> m_sources;
    const int m_channels;
    const int m_rateHz;
    const double m_gainFactor;
    const bool m_gain;
    const JoinList::DecodeHook m_hook;
    AudioLayerSource m_source;
    PcmConverter m_converter;
    // A source's own samples before conversion: room for kMaxSamplesPerRead of either width.
    std::array<std::int16_t, PcmSource::kMaxSamplesPerRead> m_left{};
    std::array<std::int16_t, PcmSource::kMaxSamplesPerRead> m_right{};
    std::thread m_thread;  // last: started after everything above exists
};

// Nothing leaves the thread as an exception: a failure is handed to the encoder as a block
// and rethrown on the calling thread, where the join reports it as it always did.
void SourceDecoder::Run() noexcept {
    try {
        for (std::size_t k = 0; k < m_sources.size(); ++k) {
            if (!DeliverSource(static_cast<int>(k))) return;
        }
        Post(PcmBlock::Kind::kEnd, 0, 0);
    } catch (...) {
        // Post only locks a mutex; should even that throw, noexcept ends the program rather
        // than leave the encoder waiting for a block that never comes.
        Post(PcmBlock::Kind::kFailed, 0, 0, std::current_exception());
    }
}

bool SourceDecoder::Post(PcmBlock::Kind kind, int index, std::uint64_t units, std::exception_ptr error) {
    PcmBlock* block = m_queue.Claim();
    if (block == nullptr) return false;
    block->kind = kind;
    block->index = index;
    block->units = units;
    block->samples = 0;
    block->error = std::move(error);
    m_queue.Publish();
    return true;
}

void SourceDecoder::CopyInto(PcmBlock* block, const PcmConverter& converter, int samples, int channels) {
    block->Reserve(samples);
    const std::size_t bytes = static_cast<std::size_t>(samples) * sizeof(std::int16_t);
    std::memcpy(block->left.data(), converter.LeftOutput(), bytes);
    if (channels == 2) std::memcpy(block->right.data(), converter.RightOutput(), bytes);
    block->samples = samples;
}

void SourceDecoder::Scale(PcmBlock* block) const {
    if (!m_gain) return;
    ScaleSamples(block->left.data(), block->samples, m_gainFactor);
    if (m_channels == 2) ScaleSamples(block->right.data(), block->samples, m_gainFactor);
}

// Decodes and converts source index into blocks, then closes it. False when the decoder is
// to stop: the source failed to open (and the encoder has been told) or the encoder stopped
// the queue.
bool SourceDecoder::DeliverSource(int index) {
    AudioLayerSource& source = m_source;
    if (!source.Open(m_sources[static_cast<std::size_t>(index)], 0) || source.GetSampleRate() <= 0) {
        source.Close();
        Post(PcmBlock::Kind::kOpenFailed, index, 0);
        return false;
    }
    if (!Post(PcmBlock::Kind::kSourceStart, index, source.GetLength())) return false;
    const bool convert = source.GetOutputChannels() != m_channels || source.GetSampleRate() != m_rateHz ||
                         source.GetBitsPerSample() != kEncoderBits;
    if (convert) {
        // A fresh converter per source, so no resampler state crosses a seam.
        m_converter.Reset();
        m_converter.source = {source.GetOutputChannels(), source.GetSampleRate(), source.GetBitsPerSample()};
        m_converter.target = {m_channels, m_rateHz, kEncoderBits};
        m_converter.Prepare();
    }
    if (!DeliverBlocks(index, convert)) return false;
    // A source that another program cut short or rewrote meanwhile ended early, or gave
    // samples that are not the file's: the join must not pass that off as complete.
    if (source.SourceChanged()) {
        source.Close();
        Post(PcmBlock::Kind::kChanged, index, 0);
        return false;
    }
    // What the resampler still holds belongs to the end of this source.
    const int tail = convert ? m_converter.Flush() : 0;
    if (tail > 0) {
        PcmBlock* block = m_queue.Claim();
        if (block == nullptr) return false;
        CopyInto(block, m_converter, tail, m_channels);
        Scale(block);
        block->kind = PcmBlock::Kind::kSourceTail;
        block->index = index;
        m_queue.Publish();
    }
    source.Close();
    return true;
}

// One block per read of the open source, each with the source's position after the read,
// until the source ends. False when the encoder stopped the queue.
bool SourceDecoder::DeliverBlocks(int index, bool convert) {
    for (;;) {
        PcmBlock* block = m_queue.Claim();
        if (block == nullptr) return false;
        if (convert) {
            const int samples = m_source.Read(m_left.data(), m_right.data());
            if (samples == 0) return true;  // the claimed block stays free for the next event
            CopyInto(block, m_converter, m_converter.Process(m_left.data(), m_right.data(), samples), m_channels);
        } else {
            // Already in the target format: decoded straight into the block.
            block->Reserve(PcmSource::kMaxSamplesPerRead);
            block->samples = m_source.Read(block->left.data(), block->right.data());
            if (block->samples == 0) return true;
        }
        Scale(block);
        if (m_hook) m_hook(index);
        block->kind = PcmBlock::Kind::kSamples;
        block->index = index;
        block->units = m_source.GetPosition();
        m_queue.Publish();
    }
}

}  // namespace

// Library exceptions (an allocation failure, a file-system error) end the join here as a
// failed write; the unfinished output is removed on the way out.
bool JoinList::JoinReencode(const std::filesystem::path& target, const EncoderParams& params,
                            const LongOperation& operation) {
    m_gainCounts = GainEditCount{};
    m_appliedGainDb = m_gainTenthsDb / 10.0;
    try {
        return Reencode(target, params, operation);
    } catch (const std::exception&) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
}

struct JoinList::ReencodeRun {
    ReencodeRun(const std::filesystem::path& targetPath, const EncoderParams& encoderParams,
                const LongOperation& operation, int sourceCount)
        : target(targetPath),
          params(encoderParams),
          channels(ChannelCountOf(encoderParams.channelMode)),
          progress(operation, sourceCount, targetPath.filename().string()) {}

    const std::filesystem::path& target;
    EncoderParams params;
    int channels;
    JoinProgress progress;
    Mp3Encoder encoder;
    // Stored by this thread as each block fills: the encoder makes a megabyte in seconds,
    // so a writer thread would save nothing.
    OutputFile out{OutputFile::Storing::ByTheCaller};
    PcmBlockQueue queue;
    std::uint64_t samplesEncoded = 0;  // per channel, at the target's rate
    // Where each source begins: samples handed to the encoder before it, and the frame that
    // holds its first sample, found as the frames are written (the Info frame is frame 0).
    std::vector<std::uint64_t> sourceStarts;
    FrameOffsets offsets{0};
    std::uint64_t leadSamples = 0;  // the encoder's delay and the decoder's before the first sample fed
    int frameSamples = 0;
};

bool JoinList::Reencode(const std::filesystem::path& target, const EncoderParams& params,
                        const LongOperation& operation) {
    ReencodeRun run(target, params, operation, static_cast<int>(m_sources.size()));
    if (!run.out.Create(target)) {
        m_lastError = FailedToCreateMessage(target);
        return false;
    }
    operation.Pump();
    const EncoderStart started = run.encoder.Start(EncoderSettingsOf(params));
    if (started != EncoderStart::Started) {
        m_lastError = started == EncoderStart::Refused ? BadParameterMessage(params) : FailedToCreateMessage(target);
        return false;
    }
    if (!WriteTargetTag(run.out)) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    run.offsets = FrameOffsets(m_writtenTagBytes);
    run.leadSamples = static_cast<std::uint64_t>(run.encoder.EncoderDelaySamples() + kDecoderDelaySamples);
    run.frameSamples = run.encoder.FrameSamples();
    run.progress.Begin();
    // Declared after `run`, whose queue it fills: on every way out, a throw included, the
    // decoding thread is stopped and joined before the queue goes.
    SourceDecoder decoder(run.queue, m_sources, run.channels, params.sampleRateHz, m_gainTenthsDb, m_decodeHook);
    decoder.Start();
    if (!EncodeBlocks(run)) return false;
    // The Info frame goes over the placeholder the encoder put first, after the tag.
    // The chapters' places: a source's first sample lies after the encoder's and the
    // decoder's delay in the stream, and the player skips exactly those before the audio.
    const auto timeline = [&run] {
        JoinedTimeline joined;
        const std::vector<std::uint64_t> offsets = run.offsets.Found();
        for (std::size_t k = 0; k < run.sourceStarts.size(); ++k) {
            joined.StartSource(run.sourceStarts[k] + run.leadSamples, offsets[k]);
        }
        return joined;
    };
    const auto played = [&run] {
        return PlayedStream{run.encoder.Settings().outputRateHz, run.leadSamples, run.samplesEncoded};
    };
    const auto writeInfoFrame = [&run, tagBytes = m_writtenTagBytes] {
        const std::span<const std::uint8_t> info = run.encoder.InfoFrame();
        return info.empty() || run.out.Rewrite(tagBytes, info.data(), info.size());
    };
    if (!run.encoder.Finish() || !WriteEncoded(run.encoder, run.out, run.offsets) || !writeInfoFrame() ||
        !FinishNavigation(run.out, timeline(), played(), run.offsets.End())) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    return CommitOutput(run.out, target, OutputExpectation::Samples(run.samplesEncoded), operation);
}

// Encodes the decoder's blocks in order until the last source has ended. False on an open
// failure, a failed write or a cancel (the last leaves the message alone); an exception of
// the decoding thread is thrown again here.
bool JoinList::EncodeBlocks(ReencodeRun& run) {
    for (;;) {
        const PcmBlock& block = run.queue.Front();
        switch (block.kind) {
            case PcmBlock::Kind::kSourceStart:
                if (!run.progress.StartSource(block.index, block.units)) return false;
                if (m_navigation.Any() && run.frameSamples > 0) {
                    run.sourceStarts.push_back(run.samplesEncoded);
                    run.offsets.Want(
                        (run.samplesEncoded + run.leadSamples) / static_cast<std::uint64_t>(run.frameSamples) + 1);
                }
                break;
            case PcmBlock::Kind::kSamples:
                if (!run.progress.Advance(block.units)) return false;  // this block is not encoded
                [[fallthrough]];
            case PcmBlock::Kind::kSourceTail:
                if (block.samples > 0 && !EncodeBlock(block, run.encoder, run.out, run.offsets)) {
                    m_lastError = FailedToWriteMessage(run.target);
                    return false;
                }
                run.samplesEncoded += static_cast<std::uint64_t>(block.samples);
                break;
            case PcmBlock::Kind::kOpenFailed:
                m_lastError = FailedToOpenMessage(m_sources[static_cast<std::size_t>(block.index)]);
                return false;
            case PcmBlock::Kind::kChanged:
                m_lastError = SourceChangedMessage(m_sources[static_cast<std::size_t>(block.index)]);
                return false;
            case PcmBlock::Kind::kFailed:
                std::rethrow_exception(block.error);
            case PcmBlock::Kind::kEnd:
                return true;
        }
        run.queue.Release();
    }
}

}  // namespace qm
