#pragma once

// What the fuzz targets share: a temporary file that holds the current input for the parts of
// the program that read files by path, and a check that turns a broken promise into a crash
// libFuzzer records.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

namespace qm::fuzz {

// Stops the run with a message when a promise of the code under test does not hold; libFuzzer
// keeps the input as a crasher.
inline void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// A folder of its own in the temporary folder (in memory where /dev/shm exists), holding one
// file under a chosen name that each input overwrites. The folder is removed at exit.
class InputFile {
public:
    explicit InputFile(const std::string& fileName) {
        std::string base = "/tmp";
        if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') {
            base = tmp;
        } else if (std::error_code ec; std::filesystem::is_directory("/dev/shm", ec)) {
            base = "/dev/shm";
        }
        std::string pattern = base + "/qm-fuzz-XXXXXX";
        Require(mkdtemp(pattern.data()) != nullptr, "cannot create a temporary folder");
        m_folder = pattern;
        m_path = m_folder / fileName;
    }
    ~InputFile() {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Replaces the file's contents with bytes; the path stays the same.
    const std::filesystem::path& Write(std::span<const std::uint8_t> bytes) const {
        std::FILE* out = std::fopen(m_path.c_str(), "wb");
        Require(out != nullptr, "cannot create the input file");
        const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        Require(std::fclose(out) == 0 && written, "cannot write the input file");
        return m_path;
    }
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_path;
};

}  // namespace qm::fuzz
