#pragma once

// A small owner of one open file with 64-bit positions. Reads are plain (callers that scan
// keep their own buffer); every write is checked and a failure is reported, never ignored.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace qm {

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // Opens an existing file for reading. False when it cannot be opened or is not a
    // regular file.
    [[nodiscard]] bool OpenRead(const std::filesystem::path& path);
    // Creates (or truncates) a file for writing and reading back.
    [[nodiscard]] bool Create(const std::filesystem::path& path);
    // Creates a file that must not exist yet (with the usual permissions); false when it
    // exists or cannot be created.
    [[nodiscard]] bool CreateNew(const std::filesystem::path& path);
    // Opens a second descriptor of another open file: the same file and the same position,
    // which moves for both. False when other is closed or no descriptor is left.
    [[nodiscard]] bool OpenDuplicate(const File& other);
    bool IsOpen() const { return m_fd >= 0; }

    // Reads up to byteCount bytes at the current position. Returns the bytes read: 0 at the
    // end of the file, -1 on an error. Retries interrupted and partial reads until
    // byteCount bytes or the end.
    std::int64_t Read(void* buffer, std::size_t byteCount);
    // Writes all byteCount bytes at the current position; false on any failure (disk full,
    // I/O error).
    [[nodiscard]] bool Write(const void* buffer, std::size_t byteCount);
    // Moves to a 64-bit offset from the start of the file.
    [[nodiscard]] bool Seek(std::uint64_t byteOffset);
    // Current 64-bit position; 0 when closed.
    std::uint64_t Tell() const;
    // Size of the open file in bytes; false when the query fails.
    [[nodiscard]] bool Size(std::uint64_t* byteCount) const;
    // Flushes written data to the device (fsync).
    [[nodiscard]] bool Sync();
    // Closes the file; false when the close reported an error (a late write failure). Files
    // that were only read are closed without a look at the result; an output's close is
    // checked by its owner (OutputFile).
    bool Close();

    // Tells the kernel that the file will be read front to back.
    void AdviseSequential();

    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
};

// An output file that is either complete or absent. It is written to a hidden temporary file
// in the target's folder and renamed over the target by Commit; destroying it (or Discard)
// without a successful Commit deletes the temporary file, so an existing target survives a
// failed or cancelled run, and a target that is also an input can be written.
class AtomicOutputFile {
public:
    AtomicOutputFile() = default;
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Creates the temporary file next to target. False when the folder is not writable.
    [[nodiscard]] bool Create(const std::filesystem::path& target);
    File& Out() { return m_file; }
    const std::filesystem::path& Target() const { return m_target; }
    const std::filesystem::path& TemporaryPath() const { return m_temporary; }
    // Closes the temporary file and renames it over the target. False (and the temporary
    // file deleted) when closing or renaming fails.
    [[nodiscard]] bool Commit();
    // Closes the temporary file and hands it to the caller instead of renaming it: the caller
    // then puts *temporary in place or deletes it. False (and the temporary file deleted)
    // when closing fails.
    [[nodiscard]] bool Release(std::filesystem::path* temporary);
    // Closes and deletes the temporary file.
    void Discard();

private:
    File m_file;
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
};

}  // namespace qm
