// The audio layer's output device, through SDL. Kept apart from the rest of the layer so that
// a program that never plays anything (the command-line front end) does not link SDL, and
// does not load it and everything it pulls in at start-up.

#include <SDL.h>

#include "stream/AudioLayer.h"
#include "stream/AudioPlayback.h"

namespace qm::audio {

namespace {

// Samples per channel in one SDL device buffer: about 46 ms at 44100 Hz. The position heard
// is known to within a buffer, and a pause leaves the buffer already handed over sounding, so
// shorter is better; the callback decodes a buffer's worth of MP3 in well under a
// millisecond, so this is still far from starving the device.
constexpr Uint16 kDeviceBufferSamples = 2048;
constexpr int kOutputChannels = 2;

struct OutputState {
    bool subsystemUp = false;
    SDL_AudioDeviceID device = 0;
    SDL_AudioSpec spec{};
};

OutputState& Output() {
    static OutputState state;
    return state;
}

// Opens an SDL output device (null name = the default output) whose callback mixes the
// playing streams. Returns 0 when the audio subsystem or the device cannot be opened.
SDL_AudioDeviceID OpenSdlDevice(int device, int rateHz, SDL_AudioSpec* obtained) {
    OutputState& output = Output();
    if (!output.subsystemUp) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
        output.subsystemUp = true;
    }
    const char* name = nullptr;
    if (device != kDefaultDevice) {
        // Devices 1, 2, ... are SDL's output devices in its own order.
        if (device - 1 >= SDL_GetNumAudioDevices(0)) return 0;
        name = SDL_GetAudioDeviceName(device - 1, 0);
        if (name == nullptr) return 0;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rateHz > 0 ? rateHz : 44100;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kOutputChannels;
    wanted.samples = kDeviceBufferSamples;
    wanted.callback = &RenderOutput;
    // No changes allowed: SDL converts to whatever the hardware takes, and the callback
    // always sees signed 16-bit stereo at the rate asked for.
    return SDL_OpenAudioDevice(name, 0, &wanted, obtained, 0);
}

void CloseOutput() {
    OutputState& output = Output();
    // Closing waits for the audio thread to finish; no callback can see a playback after it.
    if (output.device != 0) SDL_CloseAudioDevice(output.device);
    DetachAllPlaybacks();
    output.device = 0;
    output.spec = SDL_AudioSpec{};
    if (output.subsystemUp) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    output.subsystemUp = false;
}

}  // namespace

bool Init(int device, int rateHz) {
    CloseOutput();
    if (device == kSilentDevice) return true;
    OutputState& output = Output();
    SDL_AudioSpec obtained{};
    output.device = OpenSdlDevice(device, rateHz, &obtained);
    if (output.device != 0) {
        output.spec = obtained;
        // The device runs from here on; it outputs silence while nothing plays.
        SDL_PauseAudioDevice(output.device, 0);
        return true;
    }
    // The default device falls back to the silent one; an explicitly chosen device that
    // cannot be opened is a failure.
    CloseOutput();
    return device == kDefaultDevice;
}

bool HasSoundCard() { return Output().device != 0; }

std::uint32_t OutputDevice() { return Output().device; }

ChannelInfo OutputFormat() {
    const OutputState& output = Output();
    if (output.device == 0) return {};
    return {output.spec.freq, output.spec.channels, false};
}

void Free() { CloseOutput(); }

}  // namespace qm::audio
