#pragma once

// Several decoding streams heard as one: the PCM of each file follows the last sample of the
// one before it, with no gap, so that pieces written one after another can be played back to
// back by one playback. Positions and the length are bytes of the joined PCM.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "stream/AudioLayer.h"

namespace qm {

class StreamSequence final : public audio::Stream {
public:
    // Opens every file of paths as a decoding stream. Null when paths is empty, a file cannot
    // be opened, its length is unknown, or its PCM format (rate, channels, sample size)
    // differs from the first file's: the device would play such a part at the wrong speed.
    static std::unique_ptr<StreamSequence> Open(const std::vector<std::filesystem::path>& paths);

    audio::ChannelInfo Info() const override { return m_info; }
    std::int64_t LengthBytes() override;
    std::int64_t Position() override;
    [[nodiscard]] bool SetPosition(std::int64_t byteOffset) override;
    std::int64_t GetData(void* buffer, std::size_t byteCount) override;
    std::uint64_t FileStart() const override { return 0; }
    // The sizes of the files together.
    std::uint64_t FileEnd() const override { return m_fileBytes; }
    bool SourceChanged() const override;

    // Where each part begins in the joined PCM, in bytes; one entry a file, in order.
    const std::vector<std::int64_t>& PartStarts() const { return m_starts; }

private:
    StreamSequence(std::vector<std::unique_ptr<audio::Stream>> parts, audio::ChannelInfo info);

    std::vector<std::unique_ptr<audio::Stream>> m_parts;
    std::vector<std::int64_t> m_starts;  // the byte at which each part begins
    audio::ChannelInfo m_info;
    std::uint64_t m_fileBytes = 0;
    std::size_t m_current = 0;  // the part the next read comes from
};

}  // namespace qm
