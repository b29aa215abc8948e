// The MPEG audio stream of the audio layer: libmpg123 decodes; where the frames start and
// what the file says about its length is found beforehand (MpegFileAnalysis).

#include <mpg123.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "stream/AudioLayer.h"
#include "stream/AudioStreams.h"
#include "stream/File.h"
#include "stream/MpegFileAnalysis.h"
#include "stream/Mpg123Input.h"

namespace qm::audio {

namespace {

constexpr int kBytesPerSample = 2;  // signed 16-bit output

class MpegStream final : public Stream {
public:
    MpegStream(std::unique_ptr<DecoderInput> input, Mpg123Handle handle, ChannelInfo info, std::uint64_t fileStart,
               std::uint64_t fileEnd, std::int64_t lengthBytes)
        : m_input(std::move(input)),
          m_handle(std::move(handle)),
          m_info(info),
          m_fileStart(fileStart),
          m_fileEnd(fileEnd),
          m_lengthBytes(lengthBytes) {}

    ~MpegStream() override {
        // The decoder reads through the input, so it goes first.
        m_handle.reset();
    }

    ChannelInfo Info() const override { return m_info; }
    std::int64_t LengthBytes() override { return m_lengthBytes; }
    std::int64_t Position() override { return m_positionBytes; }
    std::uint64_t FileStart() const override { return m_fileStart; }
    std::uint64_t FileEnd() const override { return m_fileEnd; }
    bool SourceChanged() const override { return m_input->file.ChangedSinceOpen(); }

    [[nodiscard]] bool SetPosition(std::int64_t byteOffset) override {
        const std::int64_t frameBytes = FrameBytes();
        if (byteOffset < 0 || frameBytes <= 0) return false;
        const off_t sample = mpg123_seek(m_handle.get(), byteOffset / frameBytes, SEEK_SET);
        if (sample < 0) return false;
        m_positionBytes = static_cast<std::int64_t>(sample) * frameBytes;
        return true;
    }

    std::int64_t GetData(void* buffer, std::size_t byteCount) override {
        if (byteCount == 0) return 0;
        auto* out = static_cast<unsigned char*>(buffer);
        // A format change delivers nothing; the format stays the one fixed at the open (the
        // decoder converts), so reading simply goes on.
        constexpr int kMaxEmptyReads = 16;
        for (int attempt = 0; attempt < kMaxEmptyReads; ++attempt) {
            size_t done = 0;
            const int result = mpg123_read(m_handle.get(), out, byteCount, &done);
            if (done > 0) {
                m_positionBytes += static_cast<std::int64_t>(done);
                return static_cast<std::int64_t>(done);
            }
            if (result != MPG123_NEW_FORMAT && result != MPG123_OK) return -1;
        }
        return -1;
    }

private:
    std::int64_t FrameBytes() const { return std::int64_t{m_info.channels} * kBytesPerSample; }

    std::unique_ptr<DecoderInput> m_input;
    Mpg123Handle m_handle;
    ChannelInfo m_info;
    std::uint64_t m_fileStart;
    std::uint64_t m_fileEnd;
    std::int64_t m_lengthBytes;
    std::int64_t m_positionBytes = 0;
};

// Every rate the decoder knows, mono or stereo, signed 16-bit only.
bool AllowSigned16(mpg123_handle* handle) {
    if (mpg123_format_none(handle) != MPG123_OK) return false;
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    return true;
}

// Opens the decoder on the input from origin (the file's start, so that it reads the ID3v2
// tag and the LAME/Xing frame itself, which gives gapless output as libmpg123 does by
// default) and fixes the output format to the first frame's rate and channel count.
Mpg123Handle OpenDecoder(DecoderInput& input, std::uint64_t origin, long resyncBytes, ChannelInfo* info) {
    if (!InitialiseMpg123()) return nullptr;
    int error = MPG123_OK;
    Mpg123Handle handle(mpg123_new(nullptr, &error));
    if (!handle) return nullptr;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // The decoder must be willing to skip as much junk before the first frame as the start
    // search above does, or it would refuse files whose start was found.
    mpg123_param(handle.get(), MPG123_RESYNC_LIMIT, resyncBytes, 0.0);
    if (!AllowSigned16(handle.get())) return nullptr;
    // The start search moved the descriptor behind the buffer's back: start afresh.
    input.origin = input.base = origin;
    input.valid = input.cursor = 0;
    if (!input.file.Seek(origin) ||
        mpg123_replace_reader_handle(handle.get(), &DecoderInput::Read, &DecoderInput::Seek, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle.get(), &input) != MPG123_OK) {
        return nullptr;
    }
    long rateHz = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rateHz, &channels, &encoding) != MPG123_OK) return nullptr;
    if (rateHz <= 0 || channels <= 0 || encoding != MPG123_ENC_SIGNED_16) return nullptr;
    // A stream whose channel count or rate changes later keeps this format: the decoder
    // converts, so a reader of the PCM never sees the format move.
    mpg123_format_none(handle.get());
    if (mpg123_format(handle.get(), rateHz, channels, MPG123_ENC_SIGNED_16) != MPG123_OK) {
        return nullptr;
    }
    info->sampleRateHz = static_cast<int>(rateHz);
    info->channels = channels;
    info->eightBit = false;
    return handle;
}

// What a decoded length depends on: the file, as its device, inode, size and times tell it
// apart from any other or from an earlier state of itself, and the decoder's resync limit.
struct ScanKey {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    long resyncBytes = 0;

    bool operator==(const ScanKey& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec &&
               resyncBytes == other.resyncBytes;
    }
};

std::optional<ScanKey> ScanKeyOf(const File& file, long resyncBytes) {
    struct stat info {};
    if (::fstat(file.Descriptor(), &info) != 0) return std::nullopt;
    return ScanKey{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim, resyncBytes};
}

// The lengths the scans measured while a ScanMemoScope lives; the oldest go first.
struct ScanMemo {
    static constexpr std::size_t kEntries = 32;

    std::mutex mutex;
    int scopes = 0;
    std::deque<std::pair<ScanKey, std::int64_t>> lengths;
};

ScanMemo& Memo() {
    static ScanMemo memo;
    return memo;
}

std::atomic<std::uint64_t> g_scanCount{0};

std::optional<std::int64_t> RememberedLength(const ScanKey& key) {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    for (const auto& [known, lengthBytes] : memo.lengths) {
        if (known == key) return lengthBytes;
    }
    return std::nullopt;
}

void RememberLength(const ScanKey& key, std::int64_t lengthBytes) {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    if (memo.scopes == 0) return;
    if (memo.lengths.size() == ScanMemo::kEntries) memo.lengths.pop_front();
    memo.lengths.emplace_back(key, lengthBytes);
}

// Exact decoded length, with the encoder delay and padding of a LAME frame taken off. The
// decoder knows it without reading further when the Xing/Info frame's count can be trusted
// and the decoder took the same count from it. Otherwise the file is read to the end (a count
// may describe a longer original of a cut file), unless the same unchanged file was read
// before in a ScanMemoScope: an unbroken chain of frames without a Xing/Info frame is counted
// by our own walk (chainedSamples, done beforehand), anything else by the decoder's scan.
std::int64_t DecodedLengthBytes(mpg123_handle* handle, int channels, std::optional<std::uint32_t> trustedFrames,
                                std::optional<std::int64_t> remembered, std::optional<std::uint64_t> chainedSamples,
                                const std::optional<ScanKey>& key) {
    const std::int64_t sampleBytes = std::int64_t{channels} * kBytesPerSample;
    if (trustedFrames && mpg123_framelength(handle) == static_cast<off_t>(*trustedFrames)) {
        // The scan would count the same frames and trim the same delay and padding. A stream
        // trimmed to nothing (a negative count) is left to the scan, which settles it.
        const off_t samples = mpg123_length(handle);
        if (samples >= 0) return static_cast<std::int64_t>(samples) * sampleBytes;
    }
    if (remembered) return *remembered;
    g_scanCount.fetch_add(1, std::memory_order_relaxed);
    std::int64_t lengthBytes = 0;
    if (chainedSamples) {
        // Without a Xing/Info frame there is no delay or padding to take off.
        lengthBytes = static_cast<std::int64_t>(*chainedSamples) * sampleBytes;
    } else {
        const bool scanned = mpg123_scan(handle) == MPG123_OK;
        const off_t samples = mpg123_length(handle);
        // A LAME frame whose delay and padding exceed the audio of a short file leaves a
        // negative count after a good scan: such a stream plays for no time at all.
        if (!scanned) return samples < 0 ? -1 : static_cast<std::int64_t>(samples) * sampleBytes;
        lengthBytes = std::max<std::int64_t>(samples, 0) * sampleBytes;
    }
    if (key) RememberLength(*key, lengthBytes);
    return lengthBytes;
}

bool MemoActive() {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    return memo.scopes > 0;
}

}  // namespace

ScanMemoScope::ScanMemoScope() {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    ++memo.scopes;
}

ScanMemoScope::~ScanMemoScope() {
    ScanMemo& memo = Memo();
    const std::lock_guard lock(memo.mutex);
    if (--memo.scopes == 0) memo.lengths.clear();
}

std::uint64_t MpegScanCount() { return g_scanCount.load(std::memory_order_relaxed); }

std::unique_ptr<Stream> OpenMpegStream(const std::filesystem::path& path) {
    auto input = std::make_unique<DecoderInput>();
    if (!input->file.OpenRead(path)) return nullptr;
    if (!input->file.Size(&input->fileBytes) || input->fileBytes == 0) return nullptr;

    const int verifyBytes = std::max(VerifyLength(), 1);
    const std::optional<FileStart> fileStart =
        FindFileStart(input->file, input->fileBytes, static_cast<std::uint64_t>(verifyBytes));
    if (!fileStart) return nullptr;
    const std::optional<std::uint32_t> trustedFrames = TrustedFrameCount(input->file, input->fileBytes, *fileStart);

    constexpr long kDecoderResyncBytes = 1024;  // libmpg123's own default
    const long resyncBytes = std::max<long>(kDecoderResyncBytes, verifyBytes + static_cast<long>(kLongestFrameBytes));
    const std::optional<ScanKey> key = MemoActive() ? ScanKeyOf(input->file, resyncBytes) : std::nullopt;
    const std::optional<std::int64_t> remembered = key ? RememberedLength(*key) : std::nullopt;
    std::optional<std::uint64_t> chainedSamples;
    if (!trustedFrames && !remembered) {
        const std::uint64_t audioEnd =
            input->fileBytes - TrailingTagBytes(input->file, input->fileBytes, fileStart->audioStart);
        chainedSamples = CountChainedSamples(*input, *fileStart, audioEnd);
    }

    ChannelInfo info;
    Mpg123Handle handle = OpenDecoder(*input, 0, resyncBytes, &info);
    if (!handle) {
        // An ID3v2 tag whose declared size runs into the first frame sends the decoder into
        // the middle of that frame, where it can lock onto a false sync and lose the stream.
        // It then decodes from the audio start that the search above confirmed (from the
        // Xing/Info frame when there is one, for its gapless figures).
        const std::uint64_t origin = fileStart->infoFrame.empty() ? fileStart->audioStart : fileStart->infoFrameOffset;
        if (origin == 0) return nullptr;
        handle = OpenDecoder(*input, origin, resyncBytes, &info);
        if (!handle) return nullptr;
    }
    const std::int64_t lengthBytes =
        DecodedLengthBytes(handle.get(), info.channels, trustedFrames, remembered, chainedSamples, key);
    const std::uint64_t fileBytes = input->fileBytes;
    return std::make_unique<MpegStream>(std::move(input), std::move(handle), info, fileStart->audioStart, fileBytes,
                                        lengthBytes);
}

}  // namespace qm::audio
