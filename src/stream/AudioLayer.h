#pragma once

// The audio layer: decoding streams over files (MP3/MP2/MP1 through libmpg123; Ogg Vorbis,
// FLAC and WAV through libsndfile; module music through libopenmpt), their lengths, file
// offsets and PCM, and the library-wide state (version, output device, verification
// length). Positions and lengths are 64-bit byte counts of decoded PCM.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace qm::audio {

// The layer's version: high 16 bits 0x0204 (the interface level the program expects).
std::uint32_t GetVersion();

// Output device chosen at start-up: -1 asks for the default device; 0 is the silent device.
constexpr int kDefaultDevice = -1;
constexpr int kSilentDevice = 0;

// Initialises the layer for a device and output rate. The default device falls back to the
// silent device when no audio output can be opened. Returns false only when both fail.
[[nodiscard]] bool Init(int device, int rateHz);
// True when Init opened a real output device (the sound-card flag).
bool HasSoundCard();
// Releases the output device.
void Free();

// Number of bytes examined at the start of a file when looking for the first audio frame
// (after a leading ID3v2 tag). Default 100000; a count of 0 or less restores it. Any thread
// may read it while another sets it.
void SetVerifyLength(int byteCount);
int VerifyLength();

// Format of the PCM a stream delivers: interleaved, signed 16-bit (or unsigned 8-bit when
// eightBit is set).
struct ChannelInfo {
    int sampleRateHz = 0;
    int channels = 0;
    bool eightBit = false;
};

// The SDL audio device Init opened (an SDL_AudioDeviceID, running and silent while nothing
// plays; see AudioPlayback.h), 0 for the silent device; and the format it accepts
// (interleaved signed 16-bit; all zero when silent).
std::uint32_t OutputDevice();
ChannelInfo OutputFormat();

// Average bit rate of a file in kbit/s: the integer part of fileBytes ÷ (seconds × 125) + 0.5
// (1 kbit/s is 125 bytes a second), tags included; 0 when seconds is not positive.
inline int AverageKbps(std::uint64_t fileBytes, double seconds) {
    constexpr double kBytesPerSecondPerKbps = 125.0;
    if (!(seconds > 0.0)) return 0;
    return static_cast<int>(static_cast<double>(fileBytes) / (seconds * kBytesPerSecondPerKbps) + 0.5);
}

// One decoding stream. Not copyable; destroying it releases the decoder and the file.
class Stream {
public:
    virtual ~Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    virtual ChannelInfo Info() const = 0;
    // Decoded length in bytes of PCM; -1 when unknown.
    virtual std::int64_t LengthBytes() = 0;
    double BytesToSeconds(std::int64_t byteCount) const;
    std::int64_t SecondsToBytes(double seconds) const;
    // Decoded position in bytes of PCM.
    virtual std::int64_t Position() = 0;
    [[nodiscard]] virtual bool SetPosition(std::int64_t byteOffset) = 0;
    // Decodes up to byteCount bytes of PCM into buffer. Returns the bytes delivered, or -1 at
    // the end of the stream or on an error.
    virtual std::int64_t GetData(void* buffer, std::size_t byteCount) = 0;
    // Offset of the first audio frame in the file (past a leading ID3v2 tag and a leading
    // Xing/Info frame); 0 for formats without frames.
    virtual std::uint64_t FileStart() const = 0;
    // Size of the file in bytes.
    virtual std::uint64_t FileEnd() const = 0;
    // Whether the file changed under the stream since it was opened (another program cut it
    // short, rewrote or extended it): what was decoded may then be only part of it. False for
    // streams that hold their whole file in memory.
    virtual bool SourceChanged() const { return false; }

protected:
    Stream() = default;
};

// While one of these lives (in any thread), the length an MPEG stream measures by reading
// every frame of a file is kept, and opening the same file again unchanged (same device,
// inode, size, modification and change times) takes it instead of scanning again: so that
// analysing a file and then opening it for the work reads it once. The kept lengths are
// dropped when the last scope ends; at most a few dozen are kept.
class ScanMemoScope {
public:
    ScanMemoScope();
    ~ScanMemoScope();
    ScanMemoScope(const ScanMemoScope&) = delete;
    ScanMemoScope& operator=(const ScanMemoScope&) = delete;
};

// Opens a file as a decoding stream (MPEG audio, Ogg Vorbis, FLAC, WAV...); null when no
// decoder accepts it.
std::unique_ptr<Stream> StreamCreateFile(const std::filesystem::path& path);
// Opens a module music file (MOD, XM, IT, S3M...) for decoding; null when it is not one.
std::unique_ptr<Stream> MusicLoad(const std::filesystem::path& path);
// StreamCreateFile, then MusicLoad when the stream call failed.
std::unique_ptr<Stream> OpenAny(const std::filesystem::path& path);

}  // namespace qm::audio
