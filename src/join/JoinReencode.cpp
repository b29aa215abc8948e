// The re-encoding join: every source decoded, brought to the target's rate and channels,
// and encoded as one constant-bit-rate stream.
//
// Two threads share the work. A decoding thread opens the sources one at a time, decodes
// them and brings each block to the target format (the resampler is most of its work); the
// thread that called the join encodes the blocks with LAME (most of the whole work) and
// writes them. Everything the caller's progress contract sees, the bar, the status text,
// the pump and the cancel check, happens on the calling thread, block by block as the
// encoder takes them, so the contract sees the same calls in the same order as a join on
// one thread would make.

#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>

#include "join/JoinList.h"
#include "join/JoinProgress.h"
#include "join/Mp3EncoderStage.h"
#include "join/PcmBlockQueue.h"
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

// The decoding side: runs on its own thread from Start until it has delivered every source,
// met a source it cannot open, thrown, or been stopped. Stopping and joining the thread is
// the destructor's job, so the thread never outlives what it reads.
class SourceDecoder {
public:
    SourceDecoder(PcmBlockQueue& queue, const std::vector<std::filesystem::path>& sources, int channels,
                  int rateHz)
        : m_queue(queue), m_sources(sources), m_channels(channels), m_rateHz(rateHz) {}
    ~SourceDecoder() {
        m_queue.Stop();
        if (m_thread.joinable()) m_thread.join();
    }
    SourceDecoder(const SourceDecoder&) = delete;
    SourceDecoder& operator=(const SourceDecoder&) = delete;

    void Start() { m_thread = std::thread([this] { Run(); }); }

private:
    void Run() noexcept;
    bool DeliverSource(int index);
    bool DeliverBlocks(int index, bool convert);
    bool Post(PcmBlock::Kind kind, int index, std::uint64_t units, std::exception_ptr error = nullptr);
    static void CopyInto(PcmBlock* block, const PcmConverter& converter, int samples, int channels);

    PcmBlockQueue& m_queue;
    const std::vector<std::filesystem::path>& m_sources;
    const int m_channels;
    const int m_rateHz;
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
    // What the resampler still holds belongs to the end of this source.
    const int tail = convert ? m_converter.Flush() : 0;
    if (tail > 0) {
        PcmBlock* block = m_queue.Claim();
        if (block == nullptr) return false;
        CopyInto(block, m_converter, tail, m_channels);
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
        block->kind = PcmBlock::Kind::kSamples;
        block->index = index;
        block->units = m_source.GetPosition();
        m_queue.Publish();
    }
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
    PcmBlockQueue queue;
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
    // Declared after `run`, whose queue it fills: on every way out, a throw included, the
    // decoding thread is stopped and joined before the queue goes.
    SourceDecoder decoder(run.queue, m_sources, run.channels, params.sampleRateHz);
    decoder.Start();
    if (!EncodeBlocks(run)) {
        encoder.Discard();
        return false;
    }
    if (!encoder.Finish()) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    return true;
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
            break;
        case PcmBlock::Kind::kSamples:
            if (!run.progress.Advance(block.units)) return false;  // this block is not encoded
            [[fallthrough]];
        case PcmBlock::Kind::kSourceTail:
            if (block.samples > 0 && !run.encoder.Encode(block.left.data(), block.right.data(), block.samples)) {
                m_lastError = FailedToWriteMessage(run.target);
                return false;
            }
            break;
        case PcmBlock::Kind::kOpenFailed:
            m_lastError = FailedToOpenMessage(m_sources[static_cast<std::size_t>(block.index)]);
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
