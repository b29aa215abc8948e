#pragma once

// A write buffer in front of a File, so that an output written frame by frame costs one
// system call per megabyte instead of one per frame. Every write is checked.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream/File.h"

namespace qm {

class OutputBuffer {
public:
    static constexpr std::size_t kCapacityBytes = 1 << 20;

    explicit OutputBuffer(File& file) : m_file(file) { m_bytes.reserve(kCapacityBytes); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Appends byteCount bytes; false when a flush of the buffer failed.
    bool Write(const void* data, std::size_t byteCount);
    // Hands everything buffered to the file; false on a failed write.
    bool Flush();

private:
    File& m_file;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace qm
