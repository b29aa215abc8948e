#pragma once

// The waveform's detail on demand: a stretch of the file decoded at its own rate on a thread
// of its own, folded into the lowest and highest sample of each block of a few samples. Only
// the stretch asked for is decoded, so memory depends on the strip's width, never on the
// file's length; a new request ends the one under way at its next read.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

// The levels of blocks of equal length from firstMs on: block i covers
// [firstMs + i * msPerBlock, firstMs + (i + 1) * msPerBlock). low > high marks a block not
// decoded yet. Levels are fractions of full scale (-1 to 1).
struct DetailLevels {
    std::uint64_t request = 0;  // the request the levels answer
    double firstMs = 0.0;
    double msPerBlock = 1.0;
    std::vector<float> low;
    std::vector<float> high;

    double EndMs() const { return firstMs + msPerBlock * static_cast<double>(low.size()); }
    bool Known(std::size_t block) const { return low[block] <= high[block]; }
    // Whether every block of beginMs .. endMs is decoded.
    bool Covers(double beginMs, double endMs) const;
};

class WaveformDetail {
public:
    // Called on the decoding thread with the levels so far, after each stretch decoded.
    using Ready = std::function<void(const DetailLevels& levels)>;

    explicit WaveformDetail(Ready ready);
    ~WaveformDetail();
    WaveformDetail(const WaveformDetail&) = delete;
    WaveformDetail& operator=(const WaveformDetail&) = delete;

    // Ends the work on any earlier file and readies path: the thread opens it and indexes its
    // frames at once, so that the first request only decodes.
    void Open(const std::filesystem::path& path);
    // Ends the work and forgets the file; returns once the thread has let go of it.
    void Close();
    // Asks for beginMs .. endMs (the file's part in view plus some around it) in blocks of
    // about msPerBlock; visibleBeginMs .. visibleEndMs, which it holds, is decoded first.
    // Replaces any earlier request. Returns the request's number.
    std::uint64_t Request(double beginMs, double endMs, double visibleBeginMs, double visibleEndMs, double msPerBlock);

private:
    struct Job {
        std::uint64_t request = 0;
        double beginMs = 0, endMs = 0, visibleBeginMs = 0, visibleEndMs = 0, msPerBlock = 1;
    };
    struct Decoder;

    void Run(std::filesystem::path path);
    void Decode(Decoder& decoder, const Job& job);

    Ready m_ready;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Job m_job;             // the latest request; guarded by m_mutex
    bool m_ended = false;  // guarded by m_mutex
    std::atomic<std::uint64_t> m_latest{0};
    std::atomic<bool> m_stop{false};
    std::thread m_worker;
};

}  // namespace qm
