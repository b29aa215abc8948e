#include "stream/OutputVerify.h"

#include <atomic>
#include <exception>
#include <span>
#include <vector>

#include "stream/ByteOrder.h"
#include "stream/Crc16.h"
#include "stream/FailureMessages.h"
#include "stream/Mp3FrameReader.h"
#include "stream/Mpg123Input.h"
#include "stream/XingFrame.h"

namespace qm {

namespace {

// Bytes of PCM taken from the decoder per call: a few dozen frames.
constexpr std::size_t kPcmChunkBytes = 65536;
// Samples that an encoder adds to its input and a file without a LAME extension does not
// declare: LAME's delay of 576 samples in front, and at the end up to 1,152 samples of its
// own plus the filling of the last frame.
constexpr std::uint64_t kMaxUndeclaredTrimSamples = 576 + 1152;

std::string Number(std::uint64_t value) { return std::to_string(value); }

// Set by the verifier to stop a check half-way; null for a check that always runs to its end.
using StopFlag = std::atomic<bool>;
constexpr const char* kStopped = "its check was stopped";

bool Stopped(const StopFlag* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// What the walk over an output's frames finds.
struct FrameWalk {
    std::vector<std::uint8_t> infoFrame;  // the Xing/Info frame, header included; empty when none
    std::uint64_t frames = 0;
    std::uint64_t frameSamples = 0;  // the frames' samples per channel, before any trimming
    std::uint64_t audioBytes = 0;    // the audio frames' bytes, the Xing/Info frame not counted
    int samplesPerFrame = 0;         // of the first frame: "one frame" for the encoded outputs
    Crc16Stream musicCrc;            // over the audio frames, as the LAME extension's music CRC
};

// Walks the frames from the audio start; the problem, or empty when they follow each other
// without a gap up to the end of the file. A gap is damage or junk that a player skips with
// a click or a jump; bytes after the last whole frame are a cut-off frame.
std::string WalkFrames(const std::filesystem::path& path, FrameWalk* walk, const StopFlag* stop) {
    Mp3FrameReader reader;
    if (!reader.Open(path)) return "it cannot be read as MPEG audio";
    walk->infoFrame = reader.InfoFrame();
    std::uint64_t nextOffset = reader.AudioStart();
    Mp3FrameHeader first;
    Mp3FrameHeader header;
    while (const std::uint8_t* frame = reader.NextFrame(&header)) {
        if (Stopped(stop)) return kStopped;
        if (header.frameOffset != nextOffset) {
            return "it has " + Number(header.frameOffset - nextOffset) + " bytes that are no audio frame at byte " +
                   Number(nextOffset);
        }
        if (walk->frames == 0) {
            first = header;
            walk->samplesPerFrame = header.samplesPerFrame;
        } else if (!SameStreamFormat(first, header)) {
            // A false sync in junk passes the header tests; a decoder ends the stream there.
            return "its frame at byte " + Number(header.frameOffset) + " differs from the first in MPEG version, " +
                   "layer, sample rate or channels";
        }
        const auto frameBytes = static_cast<std::size_t>(header.frameBytes);
        walk->musicCrc.Add({frame, frameBytes});
        ++walk->frames;
        walk->frameSamples += static_cast<std::uint64_t>(header.samplesPerFrame);
        walk->audioBytes += frameBytes;
        nextOffset = header.frameOffset + frameBytes;
    }
    if (walk->frames == 0) return "it holds no audio frame";
    if (nextOffset != reader.FileSize()) {
        return "it ends with " + Number(reader.FileSize() - nextOffset) + " bytes that are no whole audio frame";
    }
    return {};
}

// Compares what the Xing/Info frame and its LAME extension claim with the frames found;
// the problem, or empty. *declaresTrim tells whether a LAME extension declares the encoder
// delay and padding (which a gapless decoder then leaves out).
std::string CheckClaims(const FrameWalk& walk, bool* declaresTrim) {
    *declaresTrim = false;
    if (walk.infoFrame.empty()) return {};
    const std::span<const std::uint8_t> frame(walk.infoFrame);
    XingLayout layout;
    if (!ParseXingLayout(frame, &layout)) return "its Xing/Info frame cannot be read";
    // The byte counts run from the Xing/Info frame's first byte to the end of the last frame.
    const std::uint64_t streamBytes = walk.infoFrame.size() + walk.audioBytes;
    if (layout.frameCountOffset != 0) {
        const std::uint32_t claimed = ReadBigEndian32(frame.data() + layout.frameCountOffset);
        if (claimed != walk.frames) {
            return "its Xing/Info frame claims " + Number(claimed) + " frames, it holds " + Number(walk.frames);
        }
    }
    if (layout.byteCountOffset != 0) {
        const std::uint32_t claimed = ReadBigEndian32(frame.data() + layout.byteCountOffset);
        if (claimed != streamBytes) {
            return "its Xing/Info frame claims " + Number(claimed) + " bytes, it holds " + Number(streamBytes);
        }
    }
    LameExtension lame;
    if (!ReadLameExtension(frame, layout, &lame)) return {};
    if (lame.musicLengthBytes != 0 && lame.musicLengthBytes != streamBytes) {
        return "its LAME extension claims " + Number(lame.musicLengthBytes) + " bytes of music, it holds " +
               Number(streamBytes);
    }
    if (lame.musicCrc != walk.musicCrc.Value())
        return "its audio frames do not match the music CRC of its LAME extension";
    // A delay and padding longer than the audio would leave nothing to play.
    if (static_cast<std::uint64_t>(lame.encoderDelaySamples + lame.paddingSamples) > walk.frameSamples) {
        return "its LAME extension trims more samples than its frames hold";
    }
    *declaresTrim = true;
    return {};
}

// Decodes the whole file with libmpg123, which trims what a LAME extension declares. The
// problem, or empty with *samples set, and *claimedSamples the length the decoder expects
// from the Xing/Info frame and LAME extension (its own delay included), or -1 when it has
// none. The decoder stops at the first damage rather than skipping ahead to the next frame
// it recognises, and refuses a stream whose format changes.
std::string Decode(const std::filesystem::path& path, std::uint64_t* samples, std::int64_t* claimedSamples,
                   const StopFlag* stop) {
    *samples = 0;
    audio::DecoderInput input;
    if (!input.file.OpenRead(path)) return "it cannot be opened";
    if (!input.file.Size(&input.fileBytes)) return "it cannot be opened";
    if (!audio::InitialiseMpg123()) return "the decoder cannot be started";
    int error = MPG123_OK;
    audio::Mpg123Handle handle(mpg123_new(nullptr, &error));
    if (!handle) return "the decoder cannot be started";
    mpg123_param(handle.get(), MPG123_ADD_FLAGS,
                 MPG123_QUIET | MPG123_GAPLESS | MPG123_NO_RESYNC | MPG123_NO_FRANKENSTEIN, 0.0);
    if (mpg123_replace_reader_handle(handle.get(), &audio::DecoderInput::Read, &audio::DecoderInput::Seek, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(handle.get(), &input) != MPG123_OK) {
        return "the decoder cannot open it";
    }
    *claimedSamples = mpg123_length(handle.get());
    std::vector<unsigned char> pcm(kPcmChunkBytes);
    std::size_t bytesPerSample = 0;  // per sample of every channel
    for (;;) {
        if (Stopped(stop)) return kStopped;
        std::size_t done = 0;
        const int result = mpg123_read(handle.get(), pcm.data(), pcm.size(), &done);
        if (result == MPG123_NEW_FORMAT || bytesPerSample == 0) {
            long rateHz = 0;
            int channels = 0;
            int encoding = 0;
            if (mpg123_getformat(handle.get(), &rateHz, &channels, &encoding) != MPG123_OK) {
                return "it does not decode: " + std::string(mpg123_strerror(handle.get()));
            }
            bytesPerSample = static_cast<std::size_t>(channels) * static_cast<std::size_t>(mpg123_encsize(encoding));
            if (bytesPerSample == 0) return "it does not decode to a known format";
        }
        *samples += done / bytesPerSample;
        if (result == MPG123_DONE) return {};
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            return "it does not decode after " + Number(*samples) + " samples: " + mpg123_strerror(handle.get());
        }
    }
}

// Whether the output holds what its writer meant it to. Without a LAME extension the decoder
// also gives the encoder's delay and padding, which the file does not declare.
std::string CheckExpectation(const FrameWalk& walk, std::uint64_t decodedSamples, bool declaresTrim,
                             const OutputExpectation& expectation) {
    switch (expectation.kind) {
        case OutputExpectation::Kind::Anything:
            break;
        case OutputExpectation::Kind::Frames:
            if (walk.frames != expectation.count) {
                return "it holds " + Number(walk.frames) + " audio frames, " + Number(expectation.count) +
                       " were written";
            }
            break;
        case OutputExpectation::Kind::Samples: {
            // An encoder works in whole frames: its last one is padded, and a decoder's own
            // delay may move the cut by part of one.
            const auto frame = static_cast<std::uint64_t>(walk.samplesPerFrame);
            const std::uint64_t above = declaresTrim ? frame : frame + kMaxUndeclaredTrimSamples;
            if (decodedSamples > expectation.count + above || decodedSamples + frame < expectation.count) {
                return "it decodes to " + Number(decodedSamples) + " samples, " + Number(expectation.count) +
                       " were encoded";
            }
            break;
        }
    }
    return {};
}

// The frame walk and the claims, on a thread of its own while the decoder runs: each reads the
// file once, so together they take about as long as the decode alone.
struct WalkAndClaims {
    FrameWalk walk;
    bool declaresTrim = false;
    std::string problem;

    void Run(const std::filesystem::path& path, const StopFlag* stop) {
        try {
            problem = WalkFrames(path, &walk, stop);
            if (problem.empty()) problem = CheckClaims(walk, &declaresTrim);
        } catch (const std::exception& e) {
            problem = std::string("it could not be checked: ") + e.what();
        }
    }
};

VerifyResult Check(const std::filesystem::path& path, const OutputExpectation& expectation, const StopFlag* stop) {
    VerifyResult result;
    WalkAndClaims side;
    std::string decodeProblem;
    std::int64_t decoderLength = -1;
    {
        std::jthread walker([&side, &path, stop] { side.Run(path, stop); });
        decodeProblem = Decode(path, &result.samples, &decoderLength, stop);
    }
    const FrameWalk& walk = side.walk;
    result.frames = walk.frames;
    // What the walk found explains a failed decode better than the decoder's own words.
    result.problem = !side.problem.empty() ? side.problem : decodeProblem;
    if (!result.problem.empty()) return result;
    // The frames' samples, or with a Xing/Info frame as many as its frame count less the
    // declared delay and padding leaves: the decoder works that out itself, as a gapless
    // decoder also leaves out its own delay of 529 samples where the padding is shorter.
    const std::uint64_t claimedSamples =
        !walk.infoFrame.empty() && decoderLength >= 0 ? static_cast<std::uint64_t>(decoderLength) : walk.frameSamples;
    if (result.samples != claimedSamples) {
        result.problem =
            "it decodes to " + Number(result.samples) + " samples, its frames claim " + Number(claimedSamples);
        return result;
    }
    result.problem = CheckExpectation(walk, result.samples, side.declaresTrim, expectation);
    result.ok = result.problem.empty();
    return result;
}

// A check that throws (an allocation failure) fails with the library's words.
VerifyResult GuardedCheck(const std::filesystem::path& path, const OutputExpectation& expectation,
                          const StopFlag* stop) {
    try {
        return Check(path, expectation, stop);
    } catch (const std::exception& e) {
        VerifyResult result;
        result.problem = std::string("it could not be checked: ") + e.what();
        return result;
    }
}

}  // namespace

VerifyResult VerifyMp3File(const std::filesystem::path& path, const OutputExpectation& expectation) {
    return GuardedCheck(path, expectation, nullptr);
}

OutputVerifier::~OutputVerifier() { Stop(); }

void OutputVerifier::Submit(std::filesystem::path file, std::filesystem::path target, OutputExpectation expectation) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_failure) return;  // the run has failed already: nothing after it counts
        m_jobs.push_back(Job{std::move(file), std::move(target), expectation});
    }
    m_changed.notify_all();
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
}

std::optional<VerifyFailure> OutputVerifier::FirstFailure() {
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

std::optional<VerifyFailure> OutputVerifier::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
    return m_failure;
}

bool OutputVerifier::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_jobs.empty() && !m_busy; });
}

void OutputVerifier::Abandon() {
    std::unique_lock lock(m_mutex);
    m_jobs.clear();
    m_abandoning = true;
    m_changed.wait(lock, [this] { return !m_busy; });
    m_abandoning = false;
}

void OutputVerifier::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_stopping) return;
        const Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        if (m_beforeCheck) m_beforeCheck(job.file);
        const VerifyResult result = GuardedCheck(job.file, job.expectation, &m_abandoning);
        lock.lock();
        m_busy = false;
        // A check stopped half-way says nothing about its file.
        if (!result.ok && !m_failure && !m_abandoning) {
            m_failure = VerifyFailure{job.target, VerificationFailedMessage(job.target, result.problem)};
            m_jobs.clear();
        }
        m_changed.notify_all();
    }
}

void OutputVerifier::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_abandoning = true;
        m_jobs.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace qm
