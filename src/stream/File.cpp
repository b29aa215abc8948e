#include "stream/File.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <mutex>
#include <string_view>
#include <system_error>
#include <unordered_set>

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

File::File(File&& other) noexcept
    : m_fd(other.m_fd), m_watched(other.m_watched), m_changed(other.m_changed), m_opened(other.m_opened) {
    other.m_fd = -1;
    other.m_watched = false;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_watched = other.m_watched;
        m_changed = other.m_changed;
        m_opened = other.m_opened;
        other.m_fd = -1;
        other.m_watched = false;
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
    m_watched = true;
    m_changed = false;
    m_opened = Snapshot{static_cast<std::uint64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
                        static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
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
        if (got == 0) {
            // The end of the file. A source that another program cut short (or rewrote) ends
            // here too soon; that is an error, not the end of the audio.
            if (ChangedSinceOpen()) return -1;
            break;
        }
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

bool File::ChangedSinceOpen() const {
    if (m_fd < 0 || !m_watched) return false;
    if (m_changed) return true;
    // Size and modification time (to the nanosecond) are what a truncation, an append or a
    // rewrite in place all change. A file replaced by a rename or deleted is no change: the
    // descriptor still reads the file that was opened, whole.
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) != m_opened.byteCount ||
        info.st_mtim.tv_sec != m_opened.modifiedSeconds || info.st_mtim.tv_nsec != m_opened.modifiedNanoseconds) {
        m_changed = true;
    }
    return m_changed;
}

bool File::Close() {
    m_watched = false;
    m_changed = false;
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

constexpr std::string_view kTemporarySuffix = ".part";
constexpr std::string_view kSetAsideSuffix = ".old";

// "." + the target's name + "." + each part + suffix. The leading dot hides the file from
// ordinary folder listings while it exists; the process id in it tells a later run whether
// the file's writer is still alive.
std::string HiddenName(const std::filesystem::path& target, std::initializer_list<std::string> parts,
                       std::string_view suffix) {
    std::string name = ".";
    name += target.filename().string();
    for (const std::string& part : parts) {
        name += '.';
        name += part;
    }
    name += suffix;
    return name;
}

// A name no other run will pick: process id, a counter and the clock (in hexadecimal).
std::string TemporaryName(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    char hexTicks[32];
    std::snprintf(hexTicks, sizeof hexTicks, "%llx", static_cast<unsigned long long>(ticks));
    return HiddenName(target, {std::to_string(::getpid()), std::to_string(counter.fetch_add(1)), hexTicks},
                      kTemporarySuffix);
}

bool AllOf(std::string_view text, int (*isKind)(int)) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [isKind](char c) { return isKind(static_cast<unsigned char>(c)) != 0; });
}

// Takes the last "."-separated field off text; false when there is no separator.
bool TakeLastField(std::string_view* text, std::string_view* field) {
    const std::size_t dot = text->rfind('.');
    if (dot == std::string_view::npos) return false;
    *field = text->substr(dot + 1);
    *text = text->substr(0, dot);
    return true;
}

// Whether a process with this id exists. Only "no such process" counts as gone: a process
// of another user (EPERM) is alive.
bool ProcessIsGone(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH; }

// The leftover at path of a dead run: a temporary file is deleted; a file set aside goes back
// under its name when that is free, and is deleted when its replacement took the name.
void RemoveLeftover(const std::filesystem::path& path, const std::string& targetName, bool setAside) {
    std::error_code ignored;
    if (setAside) {
        const std::filesystem::path target = path.parent_path() / targetName;
        if (!std::filesystem::exists(std::filesystem::symlink_status(target, ignored))) {
            if (std::rename(path.c_str(), target.c_str()) == 0) return;
        }
    }
    std::filesystem::remove(path, ignored);
}

}  // namespace

std::string LeftoverTargetName(const std::string& fileName, long* pid, bool* setAside) {
    std::string_view rest = fileName;
    const bool isTemporary = rest.ends_with(kTemporarySuffix);
    const bool isSetAside = rest.ends_with(kSetAsideSuffix);
    if (!isTemporary && !isSetAside) return {};
    rest.remove_suffix(isTemporary ? kTemporarySuffix.size() : kSetAsideSuffix.size());
    // Three fields after the name: the process id, a counter, and the clock in hexadecimal
    // (temporary files) or the attempt (files set aside).
    std::string_view last;
    std::string_view counter;
    std::string_view process;
    if (!TakeLastField(&rest, &last) || !TakeLastField(&rest, &counter) || !TakeLastField(&rest, &process)) return {};
    if (!AllOf(last, isTemporary ? isxdigit : isdigit) || !AllOf(counter, isdigit) || !AllOf(process, isdigit)) {
        return {};
    }
    constexpr std::size_t kMaxPidDigits = 10;  // a pid_t is 32 bits
    if (process.size() > kMaxPidDigits || rest.size() < 2 || rest.front() != '.') return {};
    *pid = std::stol(std::string(process));
    *setAside = isSetAside;
    return std::string(rest.substr(1));
}

std::filesystem::path SetAsideName(const std::filesystem::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    return target.parent_path() /
           HiddenName(target,
                      {std::to_string(::getpid()), std::to_string(counter.fetch_add(1)), std::to_string(attempt)},
                      kSetAsideSuffix);
}

void RemoveStaleOutputs(const std::filesystem::path& folder) {
    // Once per folder and process: a split into thousands of pieces looks at its folder once.
    static std::mutex mutex;
    static std::unordered_set<std::string> visited;
    std::error_code error;
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    {
        const std::string key = std::filesystem::absolute(where, error).lexically_normal().string();
        const std::lock_guard<std::mutex> lock(mutex);
        if (error || !visited.insert(key).second) return;
    }
    const long ownPid = static_cast<long>(::getpid());
    for (std::filesystem::directory_iterator it(where, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        long pid = 0;
        bool setAside = false;
        const std::string targetName = LeftoverTargetName(name, &pid, &setAside);
        // A number that is no process id (kill() would read it as a process group) is no
        // leftover of ours either.
        if (targetName.empty() || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || pid == ownPid) continue;
        // Only plain files are ours; a link or folder of that name is somebody else's.
        std::error_code statusError;
        if (!it->is_regular_file(statusError) || it->is_symlink(statusError)) continue;
        if (ProcessIsGone(pid)) RemoveLeftover(it->path(), targetName, setAside);
    }
}

namespace {

// fsync of path opened with flags; *error the errno of a failed flush.
bool SyncPath(const std::filesystem::path& path, int flags, int* error) {
    const int fd = OpenRetrying(path.c_str(), O_RDONLY | flags);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    *error = result == 0 ? 0 : errno;
    ::close(fd);
    return result == 0;
}

}  // namespace

bool SyncFolder(const std::filesystem::path& folder) {
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    int error = 0;
    // Some file systems cannot flush a folder (EINVAL): their renames need no flush of it.
    return SyncPath(where, O_DIRECTORY, &error) || error == EINVAL;
}

bool SyncFile(const std::filesystem::path& path) {
    int error = 0;
    return SyncPath(path, 0, &error);
}

AtomicOutputFile::~AtomicOutputFile() { Discard(); }

bool AtomicOutputFile::Create(const std::filesystem::path& target) {
    Discard();
    if (target.filename().empty()) return false;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    RemoveStaleOutputs(folder);
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
    // The data reaches the device before the name does: a crash after the rename must not
    // leave the target's name on a file whose blocks were never written.
    const bool closed = m_file.Sync() && m_file.Close();
    if (closed && std::rename(m_temporary.c_str(), m_target.c_str()) == 0) {
        m_temporary.clear();
        // The file itself is complete and in place; a folder that cannot be flushed leaves
        // the rename to the file system's own schedule, which is all that can be done.
        static_cast<void>(SyncFolder(m_target.parent_path()));
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
