#pragma once

// What start-up and exit ask of the audio layer: its version, the output device and the
// verification length. The program uses the real layer; tests put in a layer whose devices
// fail on purpose.

#include <cstdint>

namespace qm {

class AudioSystem {
public:
    virtual ~AudioSystem() = default;
    virtual std::uint32_t Version() = 0;
    // Opens the device (-1 the default output, 0 the silent device) at rateHz; false when it
    // cannot be opened.
    virtual bool Init(int device, int rateHz) = 0;
    // True when a real output device is open.
    virtual bool HasSoundCard() = 0;
    virtual void SetVerifyLength(int byteCount) = 0;
    virtual void Free() = 0;
};

// The audio layer of src/stream (SDL output).
class StreamAudioSystem final : public AudioSystem {
public:
    std::uint32_t Version() override;
    bool Init(int device, int rateHz) override;
    bool HasSoundCard() override;
    void SetVerifyLength(int byteCount) override;
    void Free() override;
};

}  // namespace qm
