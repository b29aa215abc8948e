#include "stream/OutputFile.h"

namespace qm {

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Create(const std::filesystem::path& target) {
    Discard();
    if (!m_file.Create(target)) return false;
    // The writer stores through a descriptor of its own, from the file's start.
    if (!m_writer.Begin(m_file.Out())) {
        m_file.Discard();
        return false;
    }
    return true;
}

bool OutputFile::Write(const void* bytes, std::size_t byteCount) {
    m_bytesWritten += byteCount;
    return m_writer.Write(bytes, byteCount);
}

bool OutputFile::CopyFrom(int sourceFd, std::uint64_t sourceByteOffset, std::uint64_t byteCount) {
    // The writer copies the run in its turn, so that the kernel copies one run while the
    // caller reads the frames of the next.
    m_bytesWritten += byteCount;
    return m_writer.Copy(sourceFd, sourceByteOffset, byteCount);
}

bool OutputFile::Rewrite(std::uint64_t byteOffset, const void* bytes, std::size_t byteCount) {
    // Once everything is stored, the file is at its end and may be written directly; both
    // descriptors share that position, so it is put back at the end for the writer.
    if (!m_writer.Flush()) return false;
    File& file = m_file.Out();
    const std::uint64_t end = file.Tell();
    return file.Seek(byteOffset) && file.Write(bytes, byteCount) && file.Seek(end);
}

bool OutputFile::StoreAndLetGo() {
    const bool stored = m_writer.Flush();
    m_writer.Discard();
    return stored;
}

bool OutputFile::Commit() {
    if (!IsOpen()) return false;
    // Commit closes the file (a late write failure shows there) and renames it; it deletes
    // the temporary file itself when either fails.
    if (!StoreAndLetGo()) {
        Discard();
        return false;
    }
    return m_file.Commit();
}

bool OutputFile::Stage(std::filesystem::path* temporary) {
    if (!IsOpen()) return false;
    if (!StoreAndLetGo()) {
        Discard();
        return false;
    }
    return m_file.Release(temporary);
}

void OutputFile::Discard() {
    m_writer.Discard();
    m_file.Discard();
    m_bytesWritten = 0;
}

}  // namespace qm
