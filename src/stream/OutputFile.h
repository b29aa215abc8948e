#pragma once

// The output of a split piece or a join: written through a BackgroundWriter into a temporary
// file beside the target, and either put in place whole or removed. The writer always lets
// go of the file before the file is closed, renamed or deleted, whichever way the output
// ends (committed, staged, discarded, or destroyed on the way out of a failure).

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "stream/BackgroundWriter.h"
#include "stream/File.h"

namespace qm {

class OutputFile {
public:
    using Storing = BackgroundWriter::Storing;

    // storing says who stores the full blocks: a thread of the writer's own (for outputs
    // made about as fast as the disk takes them: frames copied) or the caller (an encoder's).
    // One object may write one output after another; the writer and its thread are kept.
    explicit OutputFile(Storing storing = Storing::OnItsOwnThread) : m_writer(storing) {}
    // Discards an output that was neither committed nor staged.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Discards any output still open and creates the temporary file for target. False when
    // the folder is not writable or no descriptor is left.
    [[nodiscard]] bool Create(const std::filesystem::path& target);
    // Appends bytes. False once a write of this output failed (a full disk, an I/O error);
    // a failure may show only at a later call or at the end.
    [[nodiscard]] bool Write(const void* bytes, std::size_t byteCount);
    // Appends byteCount bytes of another open file, from its 64-bit sourceByteOffset on,
    // copied by the kernel (CopyRange) after everything appended before, by whoever stores the
    // blocks: the bytes do not pass through the program. The source must stay open until the
    // output ends. False on a failed read or write, or when the source ends before the run
    // does; a failure may show only at a later call or at the end.
    [[nodiscard]] bool CopyFrom(int sourceFd, std::uint64_t sourceByteOffset, std::uint64_t byteCount);
    // Overwrites byteCount bytes already written, from byteOffset on (a header that is only
    // known at the end); later writes go on at the end. False on a failed write.
    [[nodiscard]] bool Rewrite(std::uint64_t byteOffset, const void* bytes, std::size_t byteCount);
    // Bytes appended so far.
    std::uint64_t BytesWritten() const { return m_bytesWritten; }
    // Stores everything and renames the file over the target. False, and no file left, when
    // a write, the close or the rename failed.
    [[nodiscard]] bool Commit();
    // Stores everything and closes the file, handing its temporary path to the caller, who
    // then flushes it to the device (SyncFile) and puts it in place, or deletes it. False, and no file left, when a
    // write or the close failed.
    [[nodiscard]] bool Stage(std::filesystem::path* temporary);
    // Drops what is not stored yet and deletes the temporary file.
    void Discard();

    bool IsOpen() const { return !m_file.TemporaryPath().empty(); }
    const std::filesystem::path& Target() const { return m_file.Target(); }

private:
    // Everything appended is stored and the writer has let go of the file.
    [[nodiscard]] bool StoreAndLetGo();

    AtomicOutputFile m_file;
    BackgroundWriter m_writer;  // after m_file: it lets go of the file before the file goes
    std::uint64_t m_bytesWritten = 0;
};

}  // namespace qm
