#include "stream/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace qm {

namespace {

// New files get the usual permissions, narrowed by the user's umask.
constexpr mode_t kNewFileMode = 0666;

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool File::OpenRead(const std::filesystem::path& path) {
    Close();
    const int fd = OpenRetrying(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    // A folder or a device opens fine but is no file to analyse or copy.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool File::Create(const std::filesystem::path& path) {
    Close();
    m_fd = OpenRetrying(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, kNewFileMode);
    return m_fd >= 0;
}

bool File::CreateNew(const std::filesystem::path& path) {
    Close();
    m_fd = OpenRetrying(path.c_str(), O_RDWR | O_CREAT | O_EXCL, kNewFileMode);
    return m_fd >= 0;
}

bool File::OpenDuplicate(const File& other) {
    Close();
    if (other.m_fd < 0) return false;
    m_fd = ::fcntl(other.m_fd, F_DUPFD_CLOEXEC, 0);
    return m_fd >= 0;
}

std::int64_t File::Read(void* buffer, std::size_t byteCount) {
    if (m_fd < 0) return -1;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < byteCount) {
        const ssize_t got = ::read(m_fd, out + done, byteCount - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;  // end of file
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

bool File::Write(const void* buffer, std::size_t byteCount) {
    if (m_fd < 0) return false;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < byteCount) {
        const ssize_t put = ::write(m_fd, in + done, byteCount - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        // A write that stores nothing without an error would loop for ever; treat it as full.
        if (put == 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool File::Seek(std::uint64_t byteOffset) {
    if (m_fd < 0) return false;
    if (byteOffset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    return ::lseek(m_fd, static_cast<off_t>(byteOffset), SEEK_SET) >= 0;
}

std::uint64_t File::Tell() const {
    if (m_fd < 0) return 0;
    const off_t at = ::lseek(m_fd, 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

bool File::Size(std::uint64_t* byteCount) const {
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) return false;
    *byteCount = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool File::Sync() {
    if (m_fd < 0) return false;
    int result;
    do {
        result = ::fsync(m_fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool File::Close() {
    if (m_fd < 0) return true;
    // close() must not be retried on EINTR (Linux releases the descriptor either way); an
    // EINTR therefore does not count as a failure, any other error does.
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0 || errno == EINTR;
}

void File::AdviseSequential() {
    if (m_fd >= 0) ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

// ---------------------------------------------------------------------------------------

namespace {

// A name no other run will pick: process id, a counter and the clock.
std::string TemporaryName(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.%llx.part", static_cast<long>(::getpid()), counter.fetch_add(1),
                  static_cast<unsigned long long>(ticks));
    // The leading dot hides the file from ordinary folder listings while it is written.
    std::string name = ".";
    name += target.filename().string();
    name += suffix;
    return name;
}

}  // namespace

AtomicOutputFile::~AtomicOutputFile() { Discard(); }

bool AtomicOutputFile::Create(const std::filesystem::path& target) {
    Discard();
    if (target.filename().empty()) return false;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    // A clash with a leftover of another run is unlikely; a few attempts make it harmless.
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::filesystem::path candidate = folder / TemporaryName(target);
        if (m_file.CreateNew(candidate)) {
            m_target = target;
            m_temporary = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool AtomicOutputFile::Commit() {
    if (m_temporary.empty()) return false;
    const bool closed = m_file.Close();
    if (closed && std::rename(m_temporary.c_str(), m_target.c_str()) == 0) {
        m_temporary.clear();
        return true;
    }
    std::error_code ignored;
    std::filesystem::remove(m_temporary, ignored);
    m_temporary.clear();
    return false;
}

bool AtomicOutputFile::Release(std::filesystem::path* temporary) {
    if (m_temporary.empty()) return false;
    if (!m_file.Close()) {
        Discard();
        return false;
    }
    *temporary = std::move(m_temporary);
    m_temporary.clear();
    return true;
}

void AtomicOutputFile::Discard() {
    m_file.Close();
    if (!m_temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_temporary, ignored);
        m_temporary.clear();
    }
}

}  // namespace qm
