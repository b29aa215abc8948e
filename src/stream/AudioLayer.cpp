// Library-wide state of the audio layer (version, verification length) and the choice of
// decoder for a file. The output device is in AudioDevice.cpp.

#include "stream/AudioLayer.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "stream/AudioStreams.h"

namespace qm::audio {

namespace {

// Interface level 2.4 in the high 16 bits; the low 16 bits count revisions of this layer.
constexpr std::uint32_t kVersion = 0x02040001;
constexpr int kDefaultVerifyBytes = 100000;

// Set by the program's thread, read by every thread that opens a stream (the re-encoding
// join's decoder opens its sources on a thread of its own).
std::atomic<int>& VerifyBytes() {
    static std::atomic<int> verifyBytes{kDefaultVerifyBytes};
    return verifyBytes;
}

}  // namespace

std::uint32_t GetVersion() { return kVersion; }

void SetVerifyLength(int byteCount) {
    VerifyBytes().store(byteCount > 0 ? byteCount : kDefaultVerifyBytes, std::memory_order_relaxed);
}

int VerifyLength() { return VerifyBytes().load(std::memory_order_relaxed); }

namespace {

// Bytes of one sample frame (one sample of every channel), 0 for an unusable format.
std::int64_t FrameBytes(const ChannelInfo& info) {
    if (info.channels <= 0 || info.sampleRateHz <= 0) return 0;
    return std::int64_t{info.channels} * (info.eightBit ? 1 : 2);
}

}  // namespace

double Stream::BytesToSeconds(std::int64_t byteCount) const {
    const ChannelInfo info = Info();
    const std::int64_t frameBytes = FrameBytes(info);
    if (frameBytes == 0 || byteCount < 0) return 0.0;
    return static_cast<double>(byteCount) / static_cast<double>(frameBytes) / static_cast<double>(info.sampleRateHz);
}

std::int64_t Stream::SecondsToBytes(double seconds) const {
    const ChannelInfo info = Info();
    const std::int64_t frameBytes = FrameBytes(info);
    if (frameBytes == 0 || !(seconds > 0.0)) return 0;
    // Whole sample frames only, so a position never falls between the channels of a frame.
    // The small allowance keeps a product such as 0.3 s x 44100 Hz = 13229.999... on 13230.
    constexpr double kRoundingAllowance = 1e-6;
    const double frames = std::floor(seconds * static_cast<double>(info.sampleRateHz) + kRoundingAllowance);
    const double maxFrames = static_cast<double>(std::numeric_limits<std::int64_t>::max() / frameBytes);
    if (frames >= maxFrames) return static_cast<std::int64_t>(maxFrames) * frameBytes;
    return static_cast<std::int64_t>(frames) * frameBytes;
}

std::unique_ptr<Stream> StreamCreateFile(const std::filesystem::path& path) {
    // libsndfile first: it recognises its containers by their headers and declines MPEG
    // audio, which goes to the MPEG decoder; so does anything libsndfile does not accept.
    if (auto stream = OpenSndfileStream(path)) return stream;
    return OpenMpegStream(path);
}

std::unique_ptr<Stream> MusicLoad(const std::filesystem::path& path) { return OpenModuleStream(path); }

std::unique_ptr<Stream> OpenAny(const std::filesystem::path& path) {
    if (auto stream = StreamCreateFile(path)) return stream;
    return MusicLoad(path);
}

}  // namespace qm::audio
