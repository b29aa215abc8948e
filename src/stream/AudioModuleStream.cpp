// Decoding stream over module music (MOD, XM, IT, S3M...) through libopenmpt, rendered as
// interleaved signed 16-bit stereo at 44100 Hz.

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

#include "stream/AudioStreams.h"

namespace qm::audio {

namespace {

constexpr int kRenderRateHz = 44100;
constexpr int kRenderChannels = 2;
constexpr std::int64_t kFrameBytes = kRenderChannels * 2;  // stereo, signed 16-bit
// Modules are small; anything larger than this is not read into memory as one.
constexpr std::uint64_t kMaxModuleBytes = 256ull * 1024 * 1024;

struct ModuleDestroyer {
    void operator()(openmpt_module* module) const { openmpt_module_destroy(module); }
};
using ModulePtr = std::unique_ptr<openmpt_module, ModuleDestroyer>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class ModuleStream final : public Stream {
public:
    ModuleStream(ModulePtr module, std::uint64_t fileBytes) : m_module(std::move(module)), m_fileBytes(fileBytes) {
        const double seconds = openmpt_module_get_duration_seconds(m_module.get());
        m_lengthFrames = static_cast<std::int64_t>(std::floor(seconds * kRenderRateHz));
    }

    ChannelInfo Info() const override { return {kRenderRateHz, kRenderChannels, false}; }
    std::int64_t LengthBytes() override { return m_lengthFrames * kFrameBytes; }
    std::int64_t Position() override { return m_positionFrames * kFrameBytes; }

    [[nodiscard]] bool SetPosition(std::int64_t byteOffset) override {
        if (byteOffset < 0 || byteOffset > LengthBytes()) return false;
        const std::int64_t frame = byteOffset / kFrameBytes;
        openmpt_module_set_position_seconds(m_module.get(), static_cast<double>(frame) / kRenderRateHz);
        m_positionFrames = frame;
        return true;
    }

    std::int64_t GetData(void* buffer, std::size_t byteCount) override {
        // The stream ends at its length: libopenmpt may render a little past the song's end.
        const std::int64_t framesLeft = m_lengthFrames - m_positionFrames;
        if (framesLeft <= 0) return -1;
        const std::size_t wantedFrames = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(byteCount / kFrameBytes), framesLeft));
        if (wantedFrames == 0) return 0;
        const std::size_t gotFrames = openmpt_module_read_interleaved_stereo(
            m_module.get(), kRenderRateHz, wantedFrames, static_cast<std::int16_t*>(buffer));
        if (gotFrames == 0) return -1;  // the song has ended
        m_positionFrames += static_cast<std::int64_t>(gotFrames);
        return static_cast<std::int64_t>(gotFrames) * kFrameBytes;
    }

    std::uint64_t FileStart() const override { return 0; }
    std::uint64_t FileEnd() const override { return m_fileBytes; }

private:
    ModulePtr m_module;
    std::uint64_t m_fileBytes;
    std::int64_t m_lengthFrames = 0;
    std::int64_t m_positionFrames = 0;
};

bool ReadAll(std::FILE* file, std::vector<char>* data) {
    return std::fread(data->data(), 1, data->size(), file) == data->size();
}

// Asks libopenmpt whether the first bytes of the file look like a module it can load, so
// that a large file of another kind is never read whole.
bool LooksLikeModule(std::FILE* file, std::uint64_t fileBytes) {
    const std::size_t probeBytes =
        static_cast<std::size_t>(std::min<std::uint64_t>(openmpt_probe_file_header_get_recommended_size(), fileBytes));
    std::vector<char> head(probeBytes);
    if (!ReadAll(file, &head)) return false;
    const int verdict = openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, head.data(), head.size(),
                                                  fileBytes, openmpt_log_func_silent, nullptr,
                                                  openmpt_error_func_ignore, nullptr, nullptr, nullptr);
    return verdict == OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS;
}

ModulePtr LoadModule(const std::filesystem::path& path, std::uint64_t fileBytes) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file || !LooksLikeModule(file.get(), fileBytes)) return nullptr;
    std::vector<char> data(static_cast<std::size_t>(fileBytes));
    if (std::fseek(file.get(), 0, SEEK_SET) != 0 || !ReadAll(file.get(), &data)) return nullptr;
    return ModulePtr(openmpt_module_create_from_memory2(data.data(), data.size(), openmpt_log_func_silent, nullptr,
                                                        openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace

std::unique_ptr<Stream> OpenModuleStream(const std::filesystem::path& path) {
    std::error_code error;
    const std::uint64_t fileBytes = std::filesystem::file_size(path, error);
    if (error || fileBytes == 0 || fileBytes > kMaxModuleBytes) return nullptr;
    try {
        ModulePtr module = LoadModule(path, fileBytes);
        if (!module) return nullptr;
        auto stream = std::make_unique<ModuleStream>(std::move(module), fileBytes);
        // A "module" that plays for no time at all is not music.
        if (stream->LengthBytes() <= 0) return nullptr;
        return stream;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace qm::audio
