#pragma once

// Output stored by a thread of its own. The bytes are gathered into blocks; a full block goes
// to the writer thread while the caller fills the other one, so that reading and parsing a
// source overlaps with the kernel's work of storing the output (for a direct split or join
// the two cost about the same). Memory: two blocks, whatever the size of the output. The
// object is used from one thread at a time; its own thread only ever writes, through a
// descriptor of its own, so that the caller closing (or deleting) the file early cannot make
// it write into another file that reuses the number.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "stream/File.h"

namespace qm {

class BackgroundWriter {
public:
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    // Who stores a full block: the writer's own thread, while the caller fills the next one,
    // or the caller itself, at once (for an output so slow to produce, an encoder's, that a
    // thread would save nothing).
    enum class Storing { OnItsOwnThread, ByTheCaller };

    explicit BackgroundWriter(Storing storing = Storing::OnItsOwnThread)
        : m_threadless(storing == Storing::ByTheCaller) {}
    // Drops what has not been handed on, waits for the block being written and ends the thread.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Starts an output: the bytes go to file from its current position on. Whatever an
    // earlier output did not flush is dropped. False when no descriptor is left.
    [[nodiscard]] bool Begin(const File& file);
    // Appends bytes. False once a block could not be written (a full disk, a size limit): the
    // output is then incomplete and nothing more is written to it.
    [[nodiscard]] bool Write(const void* bytes, std::size_t byteCount);
    // Appends byteCount bytes of another open file, from its 64-bit sourceByteOffset on,
    // copied by the kernel (CopyRange) on the writer's thread after every byte appended
    // before, while the caller goes on. The source must stay open until the next Flush or
    // Discard. False once a write or copy of this output failed; a failure of this copy shows
    // at a later call or at the flush.
    [[nodiscard]] bool Copy(int sourceFd, std::uint64_t sourceByteOffset, std::uint64_t byteCount);
    // Stores every byte appended and waits until they are written; the file's position is then
    // its end, and the file may be moved and written directly until the next Write. False
    // when any write of this output failed.
    [[nodiscard]] bool Flush();
    // Drops what has not been written, waits until the thread no longer writes and lets go of
    // the file: before the file is closed for good or deleted.
    void Discard();

private:
    // A run to copy, while m_busy and m_copy.byteCount > 0 (the block is then empty).
    struct CopyJob {
        int sourceFd = -1;
        std::uint64_t sourceByteOffset = 0;
        std::uint64_t byteCount = 0;
    };

    // Gives the filled block to the thread, after waiting for the one before; without a
    // thread (it could not be started) writes it here.
    [[nodiscard]] bool HandOff();
    void WaitUntilIdle();
    [[nodiscard]] bool StartThread();
    void Run();
    // Stores the thread's job: its block, or its run to copy. False when that failed.
    [[nodiscard]] bool Store(const CopyJob& copy);

    File m_file;                          // the writer's own descriptor of the output
    std::vector<std::uint8_t> m_filling;  // the caller's block

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint8_t> m_writing;  // the thread's block, while m_busy
    CopyJob m_copy;                       // the thread's run, while m_busy
    bool m_busy = false;
    bool m_stop = false;
    std::atomic<bool> m_failed{false};  // read without the lock by every Write

    std::thread m_thread;
    bool m_threadless = false;  // stored by the caller, or no thread could be started
};

}  // namespace qm
