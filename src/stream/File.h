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
    // regular file. Its size and modification time are noted, so that a change made by
    // another program while the file is read can be noticed (ChangedSinceOpen).
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
    // byteCount bytes or the end. A file opened with OpenRead that reaches its end after it
    // changed under the reader (truncated, rewritten, grown) gives -1 there, not a short read.
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
    // For a file opened with OpenRead: whether its size or modification time now differ from
    // those at the open (another program truncated, rewrote or extended it), or it can no
    // longer be looked at. False for files opened otherwise and for closed files. Once a
    // change was seen it stays seen until the file is closed.
    bool ChangedSinceOpen() const;
    // Closes the file; false when the close reported an error (a late write failure). Files
    // that were only read are closed without a look at the result; an output's close is
    // checked by its owner (OutputFile).
    bool Close();

    // Tells the kernel that the file will be read front to back.
    void AdviseSequential();

    int Descriptor() const { return m_fd; }

private:
    // What a file opened with OpenRead looked like then.
    struct Snapshot {
        std::uint64_t byteCount = 0;
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;
    };

    int m_fd = -1;
    bool m_watched = false;          // opened with OpenRead: m_opened holds its snapshot
    mutable bool m_changed = false;  // a change was seen
    Snapshot m_opened;
};

// Flushes a folder's entries to the device (fsync of the folder), so that a file renamed
// into it stays there after a crash. False when the folder cannot be opened or flushed.
[[nodiscard]] bool SyncFolder(const std::filesystem::path& folder);
// Flushes a closed file's data and size to the device (fsync through a new descriptor).
// False when the file cannot be opened or flushed.
[[nodiscard]] bool SyncFile(const std::filesystem::path& path);

// Removes the leftovers of this program's runs that were killed while writing into folder:
// the hidden temporary files (".<name>.<pid>.<n>.<hex>.part") and the replaced files set
// aside while outputs were put in place (".<name>.<pid>.<n>.<attempt>.old"), each only when
// the process in its name no longer exists. A file set aside goes back under its name when
// that name is free again; otherwise its replacement was in place and it is deleted. Nothing
// else in the folder is touched. Each folder is looked at once per process.
void RemoveStaleOutputs(const std::filesystem::path& folder);
// The name a killed run's leftover stood for: "x.mp3" for ".x.mp3.123.0.1f.part" of a
// process (*pid) and kind (*setAside: an ".old" file); empty when fileName is no leftover.
std::string LeftoverTargetName(const std::string& fileName, long* pid, bool* setAside);
// The hidden name beside target under which its old file waits while a new one is put in
// place: ".<name>.<pid>.<n>.<attempt>.old".
std::filesystem::path SetAsideName(const std::filesystem::path& target, int attempt);

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

    // Creates the temporary file next to target, after removing the leftovers of killed runs
    // from the folder (RemoveStaleOutputs). False when the folder is not writable.
    [[nodiscard]] bool Create(const std::filesystem::path& target);
    File& Out() { return m_file; }
    const std::filesystem::path& Target() const { return m_target; }
    const std::filesystem::path& TemporaryPath() const { return m_temporary; }
    // Flushes the temporary file to the device, closes it, renames it over the target and
    // flushes the folder: the output counts as written only once it would survive a crash.
    // False (and the temporary file deleted) when flushing, closing or renaming fails.
    [[nodiscard]] bool Commit();
    // Closes the temporary file and hands it to the caller instead of renaming it: the caller
    // then flushes it (SyncFile) and puts *temporary in place (and flushes the folder), or
    // deletes it. Flushing is left to the caller so that the outputs of one run reach the
    // device together, while the next is written. False (and the temporary file deleted)
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
