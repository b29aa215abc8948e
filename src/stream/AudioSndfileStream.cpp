// Decoding stream over the formats of libsndfile (WAV, FLAC, Ogg Vorbis, AIFF...), delivering
// interleaved signed 16-bit PCM at the file's own rate and channel count.

#include <sndfile.h>

#include <memory>

#include "stream/AudioStreams.h"
#include "stream/File.h"

namespace qm::audio {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

constexpr std::int64_t kBytesPerSample = 2;  // signed 16-bit

class SndfileStream final : public Stream {
public:
    SndfileStream(File source, SndfilePtr file, const SF_INFO& info, std::uint64_t fileBytes)
        : m_source(std::move(source)), m_file(std::move(file)), m_info(info), m_fileBytes(fileBytes) {}

    ChannelInfo Info() const override { return {m_info.samplerate, m_info.channels, false}; }

    std::int64_t LengthBytes() override {
        // libsndfile reports SF_COUNT_MAX frames when the length is not known.
        if (m_info.frames < 0 || m_info.frames == SF_COUNT_MAX) return -1;
        return m_info.frames * FrameBytes();
    }

    std::int64_t Position() override { return m_positionFrames * FrameBytes(); }

    [[nodiscard]] bool SetPosition(std::int64_t byteOffset) override {
        if (byteOffset < 0 || (LengthBytes() >= 0 && byteOffset > LengthBytes())) return false;
        // A byte offset inside a sample frame goes to the start of that frame.
        const sf_count_t frame = byteOffset / FrameBytes();
        const sf_count_t reached = sf_seek(m_file.get(), frame, SEEK_SET);
        if (reached < 0) return false;
        m_positionFrames = reached;
        return reached == frame;
    }

    std::int64_t GetData(void* buffer, std::size_t byteCount) override {
        const sf_count_t wantedFrames = static_cast<sf_count_t>(byteCount / static_cast<std::size_t>(FrameBytes()));
        if (wantedFrames == 0) return 0;
        const sf_count_t gotFrames = sf_readf_short(m_file.get(), static_cast<short*>(buffer), wantedFrames);
        if (gotFrames <= 0) return -1;  // the end of the stream, or a read error
        m_positionFrames += gotFrames;
        return gotFrames * FrameBytes();
    }

    std::uint64_t FileStart() const override { return 0; }
    std::uint64_t FileEnd() const override { return m_fileBytes; }
    bool SourceChanged() const override { return m_source.ChangedSinceOpen(); }

private:
    std::int64_t FrameBytes() const { return std::int64_t{m_info.channels} * kBytesPerSample; }

    File m_source;      // the descriptor libsndfile reads; closed after the library lets go
    SndfilePtr m_file;  // after m_source: closed first
    SF_INFO m_info;
    std::uint64_t m_fileBytes;
    std::int64_t m_positionFrames = 0;
};

}  // namespace

std::unique_ptr<Stream> OpenSndfileStream(const std::filesystem::path& path) {
    // The library reads through a descriptor of ours, which notices when the file changes.
    File source;
    std::uint64_t fileBytes = 0;
    if (!source.OpenRead(path) || !source.Size(&fileBytes)) return nullptr;
    SF_INFO info{};
    SndfilePtr file(sf_open_fd(source.Descriptor(), SFM_READ, &info, SF_FALSE));
    if (!file) return nullptr;
    // MPEG audio is left to the MPEG decoder, which also finds the file offsets of its frames.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) return nullptr;
    if (info.channels <= 0 || info.samplerate <= 0) return nullptr;
    try {
        return std::make_unique<SndfileStream>(std::move(source), std::move(file), info, fileBytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace qm::audio
