#include "stream/CopyRange.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <memory>

namespace qm {

namespace {

// The most one copy_file_range call is asked for; the kernel clamps a call to just under
// 2 GiB anyway, and a smaller request keeps each call's length inside ssize_t everywhere.
constexpr std::uint64_t kKernelChunkBytes = std::uint64_t{1} << 30;
// The buffer of the read/write way: large enough that the system calls cost little next to
// the copying, small enough to be allocated for one run.
constexpr std::size_t kBufferBytes = std::size_t{256} << 10;

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

bool Failed(int* errorNumber, int value) {
    if (errorNumber != nullptr) *errorNumber = value;
    return false;
}

// The kernel says it cannot copy between these two files at all (rather than that a read or
// write failed): the run is then copied the other way, from where the kernel stopped.
bool KernelRefuses(int error) {
    // EBADF here is a target opened for appending, which the kernel copy does not serve; a
    // descriptor that is really bad fails the other way too, with the same error.
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF;
}

// Copies in the kernel as far as it goes. Returns false only on a real failure; *done counts
// the bytes copied, and *refused says the rest must be copied another way.
bool CopyInKernel(int sourceFd, std::uint64_t sourceByteOffset, int targetFd, std::uint64_t byteCount,
                  std::uint64_t* done, bool* refused, int* errorNumber) {
    *refused = false;
    while (*done < byteCount) {
        auto from = static_cast<off_t>(sourceByteOffset + *done);
        const auto ask = static_cast<std::size_t>(std::min(byteCount - *done, kKernelChunkBytes));
        const ssize_t copied = ::copy_file_range(sourceFd, &from, targetFd, nullptr, ask, 0);
        if (copied < 0) {
            if (errno == EINTR) continue;
            // Only a refusal before any byte was copied is certain to have changed nothing;
            // later ones are rare (a file system that copies part and then gives up) and are
            // finished the other way from the exact point reached.
            if (KernelRefuses(errno)) {
                *refused = true;
                return true;
            }
            return Failed(errorNumber, errno);
        }
        if (copied == 0) return Failed(errorNumber, ENODATA);  // the source ended early
        *done += static_cast<std::uint64_t>(copied);
    }
    return true;
}

// Writes all of a buffer at the target's position.
bool WriteAll(int targetFd, const std::uint8_t* bytes, std::size_t byteCount, int* errorNumber) {
    std::size_t done = 0;
    while (done < byteCount) {
        const ssize_t put = ::write(targetFd, bytes + done, byteCount - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            return Failed(errorNumber, errno);
        }
        // A write that stores nothing without an error would loop for ever: the device is full.
        if (put == 0) return Failed(errorNumber, ENOSPC);
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool CopyThroughBuffer(int sourceFd, std::uint64_t sourceByteOffset, int targetFd, std::uint64_t byteCount,
                       std::uint64_t done, int* errorNumber) {
    const std::size_t bufferBytes = static_cast<std::size_t>(std::min<std::uint64_t>(byteCount - done, kBufferBytes));
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[bufferBytes]);
    while (done < byteCount) {
        const auto ask = static_cast<std::size_t>(std::min<std::uint64_t>(byteCount - done, bufferBytes));
        const ssize_t got = ::pread(sourceFd, buffer.get(), ask, static_cast<off_t>(sourceByteOffset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return Failed(errorNumber, errno);
        }
        if (got == 0) return Failed(errorNumber, ENODATA);
        if (!WriteAll(targetFd, buffer.get(), static_cast<std::size_t>(got), errorNumber)) return false;
        done += static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace

bool CopyRange(int sourceFd, std::uint64_t sourceByteOffset, int targetFd, std::uint64_t byteCount, CopyWay way,
               int* errorNumber) {
    if (errorNumber != nullptr) *errorNumber = 0;
    if (sourceFd < 0 || targetFd < 0) return Failed(errorNumber, EBADF);
    if (byteCount == 0) return true;
    if (sourceByteOffset > kMaxOffset || byteCount > kMaxOffset - sourceByteOffset) {
        return Failed(errorNumber, EOVERFLOW);
    }
    std::uint64_t done = 0;
    if (way == CopyWay::KernelFirst) {
        bool refused = false;
        if (!CopyInKernel(sourceFd, sourceByteOffset, targetFd, byteCount, &done, &refused, errorNumber)) {
            return false;
        }
        if (!refused) return true;
    }
    return CopyThroughBuffer(sourceFd, sourceByteOffset, targetFd, byteCount, done, errorNumber);
}

}  // namespace qm
