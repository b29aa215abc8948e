#pragma once

// The peak levels of a whole MPEG audio file for drawing its waveform: a fixed number of
// buckets of equal duration spread over the decoded length, filled while the file is decoded
// at a reduced rate and mixed to mono.

#include <atomic>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace qm {

// One bucket per pixel column of a 4K screen: 3840 columns, rounded up to a power of two.
constexpr int kWaveformBuckets = 4096;

// Receives levels as soon as they are final: buckets firstBucket .. firstBucket +
// levels.size() - 1, each the largest absolute sample value of its stretch of audio as a
// fraction of full scale (0 to 1). Every bucket is delivered exactly once, in no fixed order
// across calls.
using WaveformSink = std::function<void(int firstBucket, std::span<const float> levels)>;

// Decodes the MPEG audio of path and delivers the peak level of each of bucketCount buckets
// to sink, splitting the file into threadCount parts that are decoded at the same time (the
// calling thread takes the first; every thread is joined before the return). sink is called
// from those threads, one call at a time. Setting stop ends the scan within a few
// milliseconds. Returns true once every bucket was delivered; false when stopped (message
// untouched) or when the file cannot be opened or decoded ("Failed to open file \"x\"." in
// message). Audio that ends before its expected length, or damage the decoder cannot get
// past, leaves the remaining buckets silent.
[[nodiscard]] bool ScanWaveformPeaks(const std::filesystem::path& path, int bucketCount, int threadCount,
                                     const std::atomic<bool>& stop, const WaveformSink& sink, std::string* message);

}  // namespace qm
