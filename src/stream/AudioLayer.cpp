// Library-wide state of the audio layer (version, output device, verification length) and
// the choice of decoder for a file.

#include "stream/AudioLayer.h"

#include <SDL.h>

#include <cmath>
#include <limits>

#include "stream/AudioStreams.h"

namespace qm::audio {

namespace {

// Interface level 2.4 in the high 16 bits; the low 16 bits count revisions of this layer.
constexpr std::uint32_t kVersion = 0x02040001;
constexpr int kDefaultVerifyBytes = 100000;
// Samples per channel in one SDL device buffer: about 93 ms at 44100 Hz.
constexpr Uint16 kDeviceBufferSamples = 4096;
constexpr int kOutputChannels = 2;

struct OutputState {
    bool subsystemUp = false;
    SDL_AudioDeviceID device = 0;
    SDL_AudioSpec spec{};
};

OutputState& Output()
{
    static OutputState state;
    return state;
}

int& VerifyBytes()
{
    static int verifyBytes = kDefaultVerifyBytes;
    return verifyBytes;
}

// Opens an SDL output device (null name = the default output) in queue mode, paused. Returns
// 0 when the audio subsystem or the device cannot be opened.
SDL_AudioDeviceID OpenSdlDevice(int device, int rateHz, SDL_AudioSpec* obtained)
{
    OutputState& output = Output();
    if (!output.subsystemUp) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return 0;
        output.subsystemUp = true;
    }
    const char* name = nullptr;
    if (device != kDefaultDevice) {
        // Devices 1, 2, ... are SDL's output devices in its own order.
        if (device - 1 >= SDL_GetNumAudioDevices(0))
            return 0;
        name = SDL_GetAudioDeviceName(device - 1, 0);
        if (name == nullptr)
            return 0;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rateHz > 0 ? rateHz : 44100;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kOutputChannels;
    wanted.samples = kDeviceBufferSamples;
    wanted.callback = nullptr;  // audio is queued with SDL_QueueAudio
    // A device opened by SDL starts paused.
    return SDL_OpenAudioDevice(name, 0, &wanted, obtained, 0);
}

void CloseOutput()
{
    OutputState& output = Output();
    if (output.device != 0)
        SDL_CloseAudioDevice(output.device);
    output.device = 0;
    output.spec = SDL_AudioSpec{};
    if (output.subsystemUp)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    output.subsystemUp = false;
}

}  // namespace

std::uint32_t GetVersion()
{
    return kVersion;
}

bool Init(int device, int rateHz)
{
    CloseOutput();
    if (device == kSilentDevice)
        return true;
    OutputState& output = Output();
    SDL_AudioSpec obtained{};
    output.device = OpenSdlDevice(device, rateHz, &obtained);
    if (output.device != 0) {
        output.spec = obtained;
        return true;
    }
    // The default device falls back to the silent one; an explicitly chosen device that
    // cannot be opened is a failure.
    CloseOutput();
    return device == kDefaultDevice;
}

bool HasSoundCard()
{
    return Output().device != 0;
}

std::uint32_t OutputDevice()
{
    return Output().device;
}

ChannelInfo OutputFormat()
{
    const OutputState& output = Output();
    if (output.device == 0)
        return {};
    return {output.spec.freq, output.spec.channels, false};
}

void Free()
{
    CloseOutput();
}

void SetVerifyLength(int byteCount)
{
    VerifyBytes() = byteCount > 0 ? byteCount : kDefaultVerifyBytes;
}

int VerifyLength()
{
    return VerifyBytes();
}

namespace {

// Bytes of one sample frame (one sample of every channel), 0 for an unusable format.
std::int64_t FrameBytes(const ChannelInfo& info)
{
    if (info.channels <= 0 || info.sampleRateHz <= 0)
        return 0;
    return std::int64_t{info.channels} * (info.eightBit ? 1 : 2);
}

}  // namespace

double Stream::BytesToSeconds(std::int64_t byteCount) const
{
    const ChannelInfo info = Info();
    const std::int64_t frameBytes = FrameBytes(info);
    if (frameBytes == 0 || byteCount < 0)
        return 0.0;
    return static_cast<double>(byteCount) / static_cast<double>(frameBytes) /
           static_cast<double>(info.sampleRateHz);
}

std::int64_t Stream::SecondsToBytes(double seconds) const
{
    const ChannelInfo info = Info();
    const std::int64_t frameBytes = FrameBytes(info);
    if (frameBytes == 0 || !(seconds > 0.0))
        return 0;
    // Whole sample frames only, so a position never falls between the channels of a frame.
    // The small allowance keeps a product such as 0.3 s x 44100 Hz = 13229.999... on 13230.
    constexpr double kRoundingAllowance = 1e-6;
    const double frames =
        std::floor(seconds * static_cast<double>(info.sampleRateHz) + kRoundingAllowance);
    const double maxFrames = static_cast<double>(std::numeric_limits<std::int64_t>::max() /
                                                 frameBytes);
    if (frames >= maxFrames)
        return static_cast<std::int64_t>(maxFrames) * frameBytes;
    return static_cast<std::int64_t>(frames) * frameBytes;
}

std::unique_ptr<Stream> StreamCreateFile(const std::filesystem::path& path)
{
    // libsndfile first: it recognises its containers by their headers and declines MPEG
    // audio, which goes to the MPEG decoder; so does anything libsndfile does not accept.
    if (auto stream = OpenSndfileStream(path))
        return stream;
    return OpenMpegStream(path);
}

std::unique_ptr<Stream> MusicLoad(const std::filesystem::path& path)
{
    return OpenModuleStream(path);
}

std::unique_ptr<Stream> OpenAny(const std::filesystem::path& path)
{
    if (auto stream = StreamCreateFile(path))
        return stream;
    return MusicLoad(path);
}

}  // namespace qm::audio
