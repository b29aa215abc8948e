#pragma once

// Playback of decoding streams on the output device that audio::Init opened. The device runs
// from Init to Free; SDL's audio thread calls RenderOutput for every buffer the device needs,
// which pulls the PCM of each playing stream, converts it to the device's format and rate,
// scales it by the output volume and mixes it. With nothing playing the device outputs
// silence. Calls from other threads lock the device, so they never overlap the audio
// thread's work on a stream.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "stream/AudioLayer.h"

namespace qm::audio {

// Full output volume: samples pass unchanged.
constexpr int kMaxVolume = 65535;

// The output volume, 0 (silence) .. kMaxVolume, one value for both channels, applied to
// everything that plays. Starts at kMaxVolume; levels outside the range are clamped.
int OutputVolume();
void SetOutputVolume(int level);

// Adds every sample of source, scaled by volume / kMaxVolume (rounded toward zero), to the
// sample at the same index of mix, saturating at the limits of signed 16-bit samples. Only
// the first min(source.size(), mix.size()) samples are touched.
void MixScaled(std::span<const std::int16_t> source, std::span<std::int16_t> mix, int volume);

// The output device's callback: fills byteCount bytes at out with interleaved signed 16-bit
// PCM in the device's format, mixing every playing stream (silence when none plays), and runs
// the syncs that are due. Runs on SDL's audio thread, with the device locked by SDL.
void RenderOutput(void* userdata, std::uint8_t* out, int byteCount);
// Forgets every playback; called when the device has been closed.
void DetachAllPlaybacks();

// While one lives, the audio thread does not run: calls made under it take effect together.
// Nests; the audio thread itself never needs one.
class OutputLock {
public:
    OutputLock();
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

private:
    std::uint32_t m_device;
};

// The state the audio thread shares with a Playback (in the .cpp).
struct PlaybackChannel;

// One stream playing on the output device. Created stopped at position 0. Positions are
// bytes of the stream's PCM (its own rate and channels), whatever the device's format.
class Playback {
public:
    enum class Restart { No, Yes };
    // 0 is no sync.
    using SyncHandle = std::uint32_t;
    // Runs on the audio thread with the device locked: it must be quick, must not block and
    // must not call this Playback or destroy any.
    using SyncCallback = std::function<void()>;

    // Takes the stream and attaches it to the output device; null when there is no output
    // device (the silent device) or when its PCM cannot be converted to the device's format.
    static std::unique_ptr<Playback> Create(std::unique_ptr<Stream> stream);
    // Detaches from the device first (waiting for a callback that is running), then frees
    // the stream.
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // The stream's figures, as they were at Create (LengthBytes -1 when unknown).
    ChannelInfo Info() const;
    std::int64_t LengthBytes() const;
    std::uint64_t FileEnd() const;

    // Starts playing from the current position (from 0 with Restart::Yes). A stream that has
    // played to its end stays there: it ends again at once.
    void Play(Restart restart);
    // Stops playing; the position stays at what was heard at this moment, and Play goes on
    // from there. What the device already holds (one buffer at most) still sounds.
    void Pause();
    bool IsPlaying() const;
    // The position heard now. See the .cpp for the latency that remains.
    std::int64_t Position() const;
    // Moves to byteOffset (whole sample frames, at most the length); playing goes on from
    // there. False when the stream cannot seek.
    [[nodiscard]] bool SetPosition(std::int64_t byteOffset);

    // A sync calls back once and is then gone. An end sync fires when the last PCM of the
    // stream has been heard, after which the stream stops; a position sync fires when the
    // heard position moves onto or past byteOffset while playing (a seek does not count as
    // passing). Both return the sync's handle.
    SyncHandle SetEndSync(SyncCallback callback);
    SyncHandle SetPositionSync(std::int64_t byteOffset, SyncCallback callback);
    // Removes a sync that has not fired yet; once this returns its callback will not run.
    // False when there is no such sync (never set, removed, or fired).
    bool RemoveSync(SyncHandle sync);

private:
    explicit Playback(std::unique_ptr<PlaybackChannel> channel);

    std::unique_ptr<PlaybackChannel> m_channel;
};

}  // namespace qm::audio
