#pragma once

// Copies a run of bytes from one open file into another inside the kernel (copy_file_range),
// so that the data never passes through the program; where the kernel refuses (files on
// different file systems, a target that is a pipe, an old kernel) the same run is copied
// through a small buffer with pread and write instead. Memory: one fixed buffer at most,
// whatever the length of the run.

#include <cstdint>

namespace qm {

// How a run is copied. KernelFirst is the normal way; ReadWriteOnly skips the kernel copy
// (for measuring the two against each other).
enum class CopyWay { KernelFirst, ReadWriteOnly };

// Copies byteCount bytes of the file behind sourceFd, from the 64-bit sourceByteOffset on,
// to targetFd at its current position, which moves past them; the source's own position is
// left where it was. Interrupted and short copies are continued until the run is whole.
// False on a failed read or write (disk full, I/O error) or when the source ends before the
// run does; *errorNumber (when given) then holds the errno value, ENODATA for a source that
// is too short. The target may then hold part of the run.
[[nodiscard]] bool CopyRange(int sourceFd, std::uint64_t sourceByteOffset, int targetFd, std::uint64_t byteCount,
                             CopyWay way = CopyWay::KernelFirst, int* errorNumber = nullptr);

}  // namespace qm
