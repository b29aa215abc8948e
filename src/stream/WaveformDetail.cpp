// The detail decoder: one libmpg123 handle per file, kept open on the decoding thread. Its
// frames are indexed once when the file is opened, so that a seek lands on the very sample
// (the decoder starts a few frames before it to fill the bit reservoir) after reading only
// frame headers; each request then decodes its stretch alone, in three parts: what is in
// view first, then the part after it, then the part before it.

#include "stream/WaveformDetail.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "stream/Mpg123Input.h"

namespace qm {

namespace {

using audio::Mpg123Handle;

// Samples per decoder read: under a tenth of a second at 44.1 kHz, so that a request that
// has been replaced is dropped within a millisecond or so of decoding.
constexpr std::size_t kChunkSamples = 4096;
constexpr float kFullScale = 32768.0F;
// How far the decoder looks for the first frame, as the level scan does: the audio layer's
// search past a leading tag plus the longest frame.
constexpr long kResyncBytes = 100000 + 2881;

}  // namespace

bool DetailLevels::Covers(double beginMs, double endMs) const {
    if (low.empty() || beginMs < firstMs || endMs > EndMs()) return false;
    const auto first = static_cast<std::size_t>(std::max(0.0, (beginMs - firstMs) / msPerBlock));
    const auto end = std::min(low.size(), static_cast<std::size_t>(std::ceil((endMs - firstMs) / msPerBlock)));
    for (std::size_t block = first; block < end; ++block) {
        if (!Known(block)) return false;
    }
    return true;
}

// The decoder reads through an input that fails once the detail is stopped, so that the
// indexing pass over a long file ends at its next read.
struct WaveformDetail::Decoder {
    std::unique_ptr<audio::StoppableInput> input;  // the handle reads through it: declared first, freed last
    Mpg123Handle handle;
    long rateHz = 0;

    // Opens path as signed 16-bit mono at the file's own rate, and indexes its frames. False
    // when it is no MPEG audio or the detail is stopped.
    bool Open(const std::filesystem::path& path, const std::atomic<bool>& stop) {
        if (!audio::InitialiseMpg123()) return false;
        input = std::make_unique<audio::StoppableInput>();
        input->stop = &stop;
        if (!input->input.file.OpenRead(path) || !input->input.file.Size(&input->input.fileBytes)) return false;
        int error = MPG123_OK;
        handle.reset(mpg123_new(nullptr, &error));
        mpg123_handle* mh = handle.get();
        if (mh == nullptr) return false;
        mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_MONO_MIX, 0.0);
        mpg123_param(mh, MPG123_RESYNC_LIMIT, kResyncBytes, 0.0);
        audio::AcceptMono16AtEveryRate(mh);
        if (mpg123_replace_reader_handle(mh, &audio::StoppableInput::Read, &audio::StoppableInput::Seek, nullptr) !=
                MPG123_OK ||
            mpg123_open_handle(mh, input.get()) != MPG123_OK) {
            return false;
        }
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(mh, &rateHz, &channels, &encoding) != MPG123_OK || rateHz <= 0) return false;
        return mpg123_scan(mh) == MPG123_OK;
    }
};

WaveformDetail::WaveformDetail(Ready ready) : m_ready(std::move(ready)) {}

WaveformDetail::~WaveformDetail() { Close(); }

void WaveformDetail::Open(const std::filesystem::path& path) {
    Close();
    m_stop = false;
    {
        const std::lock_guard lock(m_mutex);
        m_ended = false;
        m_job = {};
    }
    try {
        m_worker = std::thread([this, path] { Run(path); });
    } catch (const std::system_error&) {
        // No thread to be had: the strip keeps its coarse levels.
    }
}

void WaveformDetail::Close() {
    m_stop = true;
    {
        const std::lock_guard lock(m_mutex);
        m_ended = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable()) m_worker.join();
}

std::uint64_t WaveformDetail::Request(double beginMs, double endMs, double visibleBeginMs, double visibleEndMs,
                                      double msPerBlock) {
    const std::uint64_t request = m_latest.load() + 1;
    {
        const std::lock_guard lock(m_mutex);
        m_job = Job{request, beginMs, endMs, visibleBeginMs, visibleEndMs, msPerBlock};
        m_latest = request;
    }
    m_wake.notify_all();
    return request;
}

void WaveformDetail::Run(std::filesystem::path path) {
    Decoder decoder;
    const bool opened = decoder.Open(path, m_stop);
    std::uint64_t done = 0;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_ended || m_job.request != done; });
            if (m_ended) return;
            job = m_job;
        }
        done = job.request;
        if (opened) Decode(decoder, job);
    }
}

namespace {

// Folds decoded samples into blocks of blockSamples, the first one starting at firstSample.
struct BlockFolder {
    DetailLevels& levels;
    std::int64_t firstSample;
    std::int64_t blockSamples;

    void Fold(std::int64_t sample, const std::int16_t* samples, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::int64_t block = (sample + static_cast<std::int64_t>(i) - firstSample) / blockSamples;
            if (block < 0) continue;
            if (block >= static_cast<std::int64_t>(levels.low.size())) return;
            const float value = samples[i] / kFullScale;
            auto& low = levels.low[static_cast<std::size_t>(block)];
            auto& high = levels.high[static_cast<std::size_t>(block)];
            // A block not decoded yet holds low > high: its first sample sets both.
            if (low > high) {
                low = high = value;
            } else {
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
    }
};

}  // namespace

void WaveformDetail::Decode(Decoder& decoder, const Job& job) {
    const double samplesPerMs = static_cast<double>(decoder.rateHz) / 1000.0;
    const auto blockSamples = std::max<std::int64_t>(1, std::llround(job.msPerBlock * samplesPerMs));
    const auto sampleAt = [&](double ms) { return static_cast<std::int64_t>(std::max(0.0, ms) * samplesPerMs); };
    const std::int64_t firstSample = sampleAt(job.beginMs) / blockSamples * blockSamples;
    const std::int64_t endSample = sampleAt(job.endMs);
    if (endSample <= firstSample) return;
    const auto blocks = static_cast<std::size_t>((endSample - firstSample + blockSamples - 1) / blockSamples);

    DetailLevels levels;
    levels.request = job.request;
    levels.msPerBlock = static_cast<double>(blockSamples) / samplesPerMs;
    levels.firstMs = static_cast<double>(firstSample) / samplesPerMs;
    levels.low.assign(blocks, 1.0F);
    levels.high.assign(blocks, -1.0F);
    BlockFolder folder{levels, firstSample, blockSamples};

    const std::int64_t visibleBegin = std::clamp(sampleAt(job.visibleBeginMs), firstSample, endSample);
    const std::int64_t visibleEnd = std::clamp(sampleAt(job.visibleEndMs), visibleBegin, endSample);
    const std::pair<std::int64_t, std::int64_t> parts[] = {
        {visibleBegin, visibleEnd}, {visibleEnd, endSample}, {firstSample, visibleBegin}};
    std::vector<std::int16_t> pcm(kChunkSamples);
    mpg123_handle* mh = decoder.handle.get();
    for (const auto& [begin, end] : parts) {
        if (begin >= end) continue;
        off_t at = mpg123_seek(mh, static_cast<off_t>(begin), SEEK_SET);
        if (at < 0) return;
        auto sample = static_cast<std::int64_t>(at);
        while (sample < end) {
            if (m_stop.load(std::memory_order_relaxed) || m_latest.load(std::memory_order_relaxed) != job.request)
                return;
            size_t bytes = 0;
            const int result = mpg123_read(mh, pcm.data(), pcm.size() * sizeof pcm[0], &bytes);
            const std::size_t count =
                std::min<std::size_t>(bytes / sizeof pcm[0], static_cast<std::size_t>(end - sample));
            folder.Fold(sample, pcm.data(), count);
            sample += static_cast<std::int64_t>(bytes / sizeof pcm[0]);
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
        }
        if (m_latest.load() != job.request) return;
        m_ready(levels);
    }
}

}  // namespace qm
