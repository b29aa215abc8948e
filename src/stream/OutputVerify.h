#pragma once

// The check of a finished output: decoded once from end to end, its frames walked, and what
// it holds compared with what its own Xing/Info frame claims and with what the writer meant
// it to hold. OutputVerifier runs the check on a thread of its own, so that one output is
// checked while the next is written.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qm {

// What the writer of an output meant it to hold, beyond what the output itself claims.
struct OutputExpectation {
    enum class Kind {
        Anything,  // only the output's own claims are checked
        Frames,    // frames copied: exactly count audio frames
        Samples,   // audio encoded: count samples per channel, give or take one frame
    };
    Kind kind = Kind::Anything;
    std::uint64_t count = 0;

    static OutputExpectation Frames(std::uint64_t frames) { return {Kind::Frames, frames}; }
    static OutputExpectation Samples(std::uint64_t samples) { return {Kind::Samples, samples}; }
};

// How the check of one output went.
struct VerifyResult {
    bool ok = false;
    // Why the output fails, as the end of a sentence about it ("it decodes 1,200 samples ...");
    // empty when it passes.
    std::string problem;
    std::uint64_t frames = 0;   // audio frames found (the Xing/Info frame not counted)
    std::uint64_t samples = 0;  // samples per channel decoded, encoder delay and padding trimmed
};

// Decodes the MP3 file at path with libmpg123 (gapless: the encoder delay and padding that a
// LAME extension declares are trimmed) and walks its frames. It passes when it decodes
// without an error; its audio frames follow each other without a gap from the first to the
// file's end; the frame count, byte count, music length and music CRC that its Xing/Info frame
// and LAME extension carry match the frames; the decoded samples are those of the frames less
// the declared delay and padding; and it holds what expectation says. Memory does not grow
// with the file. Never throws.
[[nodiscard]] VerifyResult VerifyMp3File(const std::filesystem::path& path, const OutputExpectation& expectation);

// One output that failed its check: where it was meant to go and the whole message.
struct VerifyFailure {
    std::filesystem::path target;
    std::string message;  // "Verification failed for file \"x.mp3\": ..."
};

// Checks outputs one after the other on a thread of its own, in the order they are handed in.
// The files must stay where they are until Wait or Abandon returns.
class OutputVerifier {
public:
    // Called on the checking thread with each file before it is checked. Tests damage the file
    // here, as a disk might after the write.
    using BeforeCheck = std::function<void(const std::filesystem::path& file)>;

    OutputVerifier() = default;
    // Abandons what is left.
    ~OutputVerifier();
    OutputVerifier(const OutputVerifier&) = delete;
    OutputVerifier& operator=(const OutputVerifier&) = delete;

    void SetBeforeCheck(BeforeCheck hook) { m_beforeCheck = std::move(hook); }
    // Queues file, written for target, to be checked against expectation. The thread starts
    // with the first file. Files after one that failed are not checked.
    void Submit(std::filesystem::path file, std::filesystem::path target, OutputExpectation expectation);
    // The first failure found so far, without waiting.
    std::optional<VerifyFailure> FirstFailure();
    // Waits until every file handed in is checked (or left out after a failure); the first
    // failure, or nothing when all passed.
    std::optional<VerifyFailure> Wait();
    // Waits as Wait does, for at most timeout; whether every file handed in is checked. Callers
    // that must keep their window or their cancel check alive wait in such steps.
    [[nodiscard]] bool WaitFor(std::chrono::milliseconds timeout);
    // Drops the files not checked yet, stops the one being checked and waits until it has
    // stopped; what the stopped check found is not reported.
    void Abandon();

private:
    struct Job {
        std::filesystem::path file;
        std::filesystem::path target;
        OutputExpectation expectation;
    };
    void Run();
    void Stop();

    BeforeCheck m_beforeCheck;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_busy = false;  // a job has been taken and is being checked
    bool m_stopping = false;
    std::atomic<bool> m_abandoning{false};  // the check under way stops at its next step
    std::optional<VerifyFailure> m_failure;
    std::thread m_thread;
};

}  // namespace qm
