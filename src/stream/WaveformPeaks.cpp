// Peak levels for the waveform: libmpg123 decodes at a reduced sample rate and mixes
// the channels before synthesis, which spares half of the synthesis and most of the output;
// the file is cut into parts at bucket boundaries and the parts are decoded side by side.

#include "stream/WaveformPeaks.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "stream/FailureMessages.h"
#include "stream/Mpg123Input.h"

namespace qm {

namespace {

using audio::AcceptMono16AtEveryRate;
using audio::DecoderInput;
using audio::Mpg123Handle;
using audio::StoppableInput;

// MPG123_DOWN_SAMPLE steps, the first one that gives a rate the decoder produces is taken: a
// quarter of 44.1 or 48 kHz, half of the MPEG-2 rates, the MPEG-2.5 rates as they are (the
// decoder only produces the standard rates, so 22.05 kHz cannot become 5512 Hz).
constexpr long kDownSampleSteps[] = {2, 1};
// How far the decoder looks for the first frame: the audio layer's search for the start of
// the frames (100,000 bytes after a leading tag) plus the longest frame, so that every file
// the layer opens is found here too.
constexpr long kResyncBytes = 100000 + 2881;
// Samples per decoder read: about 0.75 s at 11,025 Hz, a few milliseconds of work, which is
// also how long a stop can take to be seen.
constexpr std::size_t kChunkSamples = 8192;
constexpr float kFullScale = 32768.0F;

// One decoder over the file, producing signed 16-bit mono at a reduced rate.
struct PeakDecoder {
    std::unique_ptr<StoppableInput> input;  // the handle reads through it: declared first, freed last
    Mpg123Handle handle;
    long rateHz = 0;  // of the output
    long downSample = 0;
};

// Opens the decoder with one down-sampling step; empty when the file is no MPEG audio, the
// step gives a rate the decoder does not produce, or stop is set.
std::optional<PeakDecoder> OpenAtStep(const std::filesystem::path& path, const std::atomic<bool>& stop,
                                      long downSample) {
    PeakDecoder decoder;
    decoder.input = std::make_unique<StoppableInput>();
    decoder.input->stop = &stop;
    DecoderInput& input = decoder.input->input;
    if (!input.file.OpenRead(path) || !input.file.Size(&input.fileBytes)) return std::nullopt;
    int error = MPG123_OK;
    decoder.handle.reset(mpg123_new(nullptr, &error));
    mpg123_handle* mh = decoder.handle.get();
    if (mh == nullptr) return std::nullopt;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_MONO_MIX, 0.0);
    mpg123_param(mh, MPG123_DOWN_SAMPLE, downSample, 0.0);
    mpg123_param(mh, MPG123_RESYNC_LIMIT, kResyncBytes, 0.0);
    AcceptMono16AtEveryRate(mh);
    if (mpg123_replace_reader_handle(mh, &StoppableInput::Read, &StoppableInput::Seek, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, decoder.input.get()) != MPG123_OK) {
        return std::nullopt;
    }
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &decoder.rateHz, &channels, &encoding) != MPG123_OK || channels != 1 ||
        encoding != MPG123_ENC_SIGNED_16) {
        return std::nullopt;
    }
    decoder.downSample = downSample;
    return decoder;
}

// The first of kDownSampleSteps whose rate (the stream's rate halved step times) the decoder
// produces; 0 when none is.
long DownSampleFor(long rateHz) {
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (const long step : kDownSampleSteps) {
        const long reduced = rateHz >> step;
        if ((reduced << step) == rateHz && std::find(rates, rates + rateCount, reduced) != rates + rateCount) {
            return step;
        }
    }
    return 0;
}

// Opens the decoder at the reduced rate: at the given step, or, without one, at the file's own
// rate first to learn it and then again at the step that suits it.
std::optional<PeakDecoder> OpenPeakDecoder(const std::filesystem::path& path, const std::atomic<bool>& stop,
                                           std::optional<long> downSample) {
    if (!audio::InitialiseMpg123()) return std::nullopt;
    if (downSample) return OpenAtStep(path, stop, *downSample);
    std::optional<PeakDecoder> native = OpenAtStep(path, stop, 0);
    if (!native) return std::nullopt;
    const long step = DownSampleFor(native->rateHz);
    if (step == 0) return native;
    return OpenAtStep(path, stop, step);
}

// Output samples of the whole stream, encoder delay and padding taken off when a LAME frame
// gives them, counted by the decoder's pass over every frame header (no decoding; about a
// twentieth of the decoding's time). A Xing/Info frame's count is not taken on trust: it may
// describe a longer original of a cut file, and without one the decoder only estimates the
// length from the first frame's bit rate, which for VBR may be off by half. -1 when the pass
// fails.
std::int64_t LengthSamples(mpg123_handle* handle) {
    if (mpg123_scan(handle) != MPG123_OK) return -1;
    const off_t samples = mpg123_length(handle);
    return samples < 0 ? -1 : static_cast<std::int64_t>(samples);
}

// Buckets of equal duration over the stream: sample s lies in bucket s * count / length.
struct BucketMap {
    std::int64_t lengthSamples = 0;
    int count = 0;

    // The first sample of bucket b (the length for b == count).
    std::int64_t StartOf(int bucket) const { return (std::int64_t{bucket} * lengthSamples + count - 1) / count; }
};

int PeakOf(const std::int16_t* samples, std::size_t count) {
    int peak = 0;
    for (std::size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(int{samples[i]}));
    return peak;
}

using Deliver = std::function<void(int firstBucket, std::span<const float> levels)>;

// The levels of buckets [firstBucket, endBucket), folded from the decoded samples as they
// come and delivered after every read.
class PartScan {
public:
    PartScan(const BucketMap& map, int firstBucket, int endBucket, const Deliver& deliver)
        : m_map(map), m_bucket(firstBucket), m_endBucket(endBucket), m_deliver(deliver) {}

    // Decodes from the part's first sample to its end. False only when stopped; audio that
    // ends early (a length that was estimated, damage the decoder cannot get past) leaves the
    // rest silent.
    [[nodiscard]] bool Run(mpg123_handle* handle, const std::atomic<bool>& stop) {
        m_sample = m_map.StartOf(m_bucket);
        if (m_sample > 0) {
            // The decoder decodes a few frames before the target itself, so that the bit
            // reservoir of the first frame it returns is filled; it lands on the very sample.
            const off_t at = mpg123_seek(handle, static_cast<off_t>(m_sample), SEEK_SET);
            if (stop.load()) return false;
            if (at < 0) return Finish();
            m_sample = std::max<std::int64_t>(m_sample, at);
        }
        std::vector<std::int16_t> pcm(kChunkSamples);
        while (m_bucket < m_endBucket) {
            size_t bytes = 0;
            const int result = mpg123_read(handle, pcm.data(), pcm.size() * sizeof pcm[0], &bytes);
            if (stop.load()) return false;
            Fold(pcm.data(), bytes / sizeof pcm[0]);
            Flush();
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
        }
        return Finish();
    }

    // The part's buckets not reached are silent.
    [[nodiscard]] bool Finish() {
        while (m_bucket < m_endBucket) CloseBucket();
        Flush();
        return true;
    }

private:
    void Fold(const std::int16_t* samples, std::size_t count) {
        for (std::size_t i = 0; m_bucket < m_endBucket;) {
            const std::int64_t bucketEnd = m_map.StartOf(m_bucket + 1);
            const auto take = static_cast<std::size_t>(
                std::clamp<std::int64_t>(bucketEnd - m_sample, 0, static_cast<std::int64_t>(count - i)));
            m_peak = std::max(m_peak, PeakOf(samples + i, take));
            i += take;
            m_sample += static_cast<std::int64_t>(take);
            if (m_sample < bucketEnd) break;  // the chunk ended inside the bucket
            CloseBucket();
        }
    }

    void CloseBucket() {
        m_ready.push_back(static_cast<float>(m_peak) / kFullScale);
        m_peak = 0;
        ++m_bucket;
    }

    void Flush() {
        if (m_ready.empty()) return;
        m_deliver(m_bucket - static_cast<int>(m_ready.size()), m_ready);
        m_ready.clear();
    }

    const BucketMap& m_map;
    int m_bucket;
    const int m_endBucket;
    const Deliver& m_deliver;
    std::int64_t m_sample = 0;
    int m_peak = 0;
    std::vector<float> m_ready;  // closed buckets not yet delivered
};

// Part `part` of `parts` on a decoder of its own, at the same rate as the first part's.
// False only when stopped; a part whose decoder cannot be opened again is silent.
bool ScanOtherPart(const std::filesystem::path& path, const BucketMap& map, int part, int parts, long downSample,
                   const std::atomic<bool>& stop, const Deliver& deliver) {
    const int first = map.count * part / parts;
    const int end = map.count * (part + 1) / parts;
    PartScan scan(map, first, end, deliver);
    std::optional<PeakDecoder> decoder = OpenPeakDecoder(path, stop, downSample);
    if (stop.load()) return false;
    if (!decoder) return scan.Finish();
    return scan.Run(decoder->handle.get(), stop);
}

// Runs the parts after the first on threads of their own and the first on the calling
// thread; a part whose thread cannot be started runs on the calling thread afterwards. The
// threads are joined however the calling thread leaves.
bool ScanParts(const std::filesystem::path& path, PeakDecoder& first, const BucketMap& map, int parts,
               const std::atomic<bool>& stop, const Deliver& deliver) {
    std::vector<char> finished(static_cast<std::size_t>(parts), 1);  // each thread writes its own
    const auto scanPart = [&](int part) {
        try {
            return ScanOtherPart(path, map, part, parts, first.downSample, stop, deliver);
        } catch (const std::bad_alloc&) {
            return false;
        }
    };
    std::vector<int> leftOver;
    std::vector<std::jthread> threads;
    threads.reserve(static_cast<std::size_t>(parts));
    for (int part = 1; part < parts; ++part) {
        try {
            threads.emplace_back([&, part] { finished[static_cast<std::size_t>(part)] = scanPart(part) ? 1 : 0; });
        } catch (const std::system_error&) {
            leftOver.push_back(part);
        }
    }
    PartScan scan(map, 0, map.count / parts, deliver);
    bool ok = scan.Run(first.handle.get(), stop);
    threads.clear();  // joins
    for (const int part : leftOver) ok = ok && scanPart(part);
    return ok && std::all_of(finished.begin(), finished.end(), [](char done) { return done != 0; });
}

}  // namespace

bool ScanWaveformPeaks(const std::filesystem::path& path, int bucketCount, int threadCount,
                       const std::atomic<bool>& stop, const WaveformSink& sink, std::string* message) {
    const auto failed = [&] {
        if (!stop.load()) *message = FailedToOpenMessage(path);
        return false;
    };
    try {
        if (bucketCount <= 0) return failed();
        std::optional<PeakDecoder> decoder = OpenPeakDecoder(path, stop, std::nullopt);
        if (!decoder) return failed();
        const std::int64_t lengthSamples = LengthSamples(decoder->handle.get());
        if (lengthSamples < 0) return failed();
        if (lengthSamples > 0 && mpg123_seek(decoder->handle.get(), 0, SEEK_SET) != 0) return failed();

        const BucketMap map{lengthSamples, bucketCount};
        // Parts of fewer than one bucket each would deliver nothing.
        const int parts = std::clamp(threadCount, 1, bucketCount);
        std::mutex sinkMutex;
        const Deliver deliver = [&](int firstBucket, std::span<const float> levels) {
            const std::lock_guard lock(sinkMutex);
            sink(firstBucket, levels);
        };
        return ScanParts(path, *decoder, map, parts, stop, deliver) || failed();
    } catch (const std::bad_alloc&) {
        return failed();
    }
}

}  // namespace qm
