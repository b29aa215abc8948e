#include "stream/BackgroundWriter.h"

#include <algorithm>
#include <system_error>

#include <fcntl.h>

#include "stream/CopyRange.h"

namespace qm {

BackgroundWriter::~BackgroundWriter() {
    Discard();
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
}

bool BackgroundWriter::Begin(const File& file) {
    Discard();
    m_failed = false;  // the thread is idle
    return m_file.OpenDuplicate(file);
}

bool BackgroundWriter::Write(const void* bytes, std::size_t byteCount) {
    if (!m_file.IsOpen() || m_failed.load(std::memory_order_relaxed)) return false;
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    while (byteCount > 0) {
        if (m_filling.capacity() < kBlockBytes) m_filling.reserve(kBlockBytes);
        const std::size_t take = std::min(byteCount, kBlockBytes - m_filling.size());
        m_filling.insert(m_filling.end(), in, in + take);
        in += take;
        byteCount -= take;
        if (m_filling.size() == kBlockBytes && !HandOff()) return false;
    }
    // A failure of the block being written shows at the latest at the next hand-off or flush.
    return true;
}

bool BackgroundWriter::Copy(int sourceFd, std::uint64_t sourceByteOffset, std::uint64_t byteCount) {
    if (!m_file.IsOpen() || m_failed.load(std::memory_order_relaxed)) return false;
    if (byteCount == 0) return true;
    // The bytes appended before the run go first.
    if (!m_filling.empty() && !HandOff()) return false;
    const CopyJob copy{sourceFd, sourceByteOffset, byteCount};
    if (!StartThread()) {
        const bool copied = !m_failed && Store(copy);
        if (!copied) m_failed = true;
        return copied;
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    if (m_failed) return false;
    m_copy = copy;
    m_busy = true;
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool BackgroundWriter::Flush() {
    if (!m_file.IsOpen()) return false;
    const bool handed = m_filling.empty() || HandOff();
    WaitUntilIdle();
    return handed && !m_failed;
}

void BackgroundWriter::Discard() {
    WaitUntilIdle();
    m_filling.clear();
    m_file.Close();
}

bool BackgroundWriter::HandOff() {
    if (!StartThread()) {
        const bool written = !m_failed && m_file.Write(m_filling.data(), m_filling.size());
        m_filling.clear();
        if (!written) m_failed = true;
        return written;
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    if (m_failed) {
        m_filling.clear();
        return false;
    }
    // The thread's emptied block, with its capacity, becomes the caller's next one.
    std::swap(m_filling, m_writing);
    m_busy = true;
    lock.unlock();
    m_changed.notify_all();
    return true;
}

void BackgroundWriter::WaitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
}

bool BackgroundWriter::StartThread() {
    if (m_thread.joinable()) return true;
    if (m_threadless) return false;
    try {
        m_thread = std::thread(&BackgroundWriter::Run, this);
        return true;
    } catch (const std::system_error&) {
        m_threadless = true;  // no thread to be had: the caller writes
        return false;
    }
}

bool BackgroundWriter::Store(const CopyJob& copy) {
    const bool stored = copy.byteCount > 0
                            ? CopyRange(copy.sourceFd, copy.sourceByteOffset, m_file.Descriptor(), copy.byteCount)
                            : m_file.Write(m_writing.data(), m_writing.size());
    // The device starts on what is stored while the next block is made, so that the flush of
    // the finished output (before its rename) finds little left to write.
    if (stored) static_cast<void>(::sync_file_range(m_file.Descriptor(), 0, 0, SYNC_FILE_RANGE_WRITE));
    return stored;
}

void BackgroundWriter::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_stop; });
        if (!m_busy) return;  // stopped with nothing to write
        // m_writing and the file belong to this thread while m_busy is set.
        const CopyJob copy = m_copy;
        lock.unlock();
        const bool written = Store(copy);
        m_writing.clear();
        lock.lock();
        m_copy = CopyJob{};
        if (!written) m_failed = true;
        m_busy = false;
        m_changed.notify_all();
    }
}

}  // namespace qm
