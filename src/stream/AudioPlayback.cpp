// Playback on the output device. SDL's audio thread runs RenderOutput for every device
// buffer; everything a PlaybackChannel holds is touched only with the device locked (SDL holds
// the lock around the callback, other threads take it with an OutputLock), so the stream's
// decoder is never used by two threads at once.
//
// The position heard: each callback notes where in the stream the buffer it fills starts and
// when it ran; the position is that start plus the time since, at most the buffer's length
// (after a start or a seek it stays put until the first buffer is filled: nothing is heard
// before). Syncs are checked at each callback against the position heard then, so they fire
// at most one buffer after the sound they mark.
// What this leaves out is the output path after SDL: the driver's or sound server's own
// buffering (commonly 10 to 50 ms, none with the dummy driver), by which the position runs
// ahead of the sound; and, when the stream's rate differs from the device's, the few samples
// the resampler's filter holds (well under a millisecond).

#include "stream/AudioPlayback.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <vector>

namespace qm::audio {

namespace {

using Clock = std::chrono::steady_clock;

// Sample frames read from the stream at a time. With the device buffer, this bounds what a
// playing stream holds in memory, however long the file.
constexpr std::int64_t kReadFrames = 4096;
constexpr int kDeviceBytesPerSample = 2;  // the device takes signed 16-bit samples

struct SdlAudioStreamDeleter {
    void operator()(SDL_AudioStream* converter) const { SDL_FreeAudioStream(converter); }
};
using SdlAudioStreamPtr = std::unique_ptr<SDL_AudioStream, SdlAudioStreamDeleter>;

std::atomic<int> g_volume{kMaxVolume};

}  // namespace

struct PlaybackChannel {
    enum class SyncKind { End, Position };
    struct Sync {
        Playback::SyncHandle handle;
        SyncKind kind;
        std::int64_t byteOffset;
        Playback::SyncCallback callback;
    };

    std::unique_ptr<Stream> stream;
    ChannelInfo info;
    std::int64_t lengthBytes = -1;
    std::uint64_t fileEnd = 0;
    std::int64_t frameBytes = 0;  // one sample frame of the stream
    ChannelInfo device;
    SdlAudioStreamPtr converter;  // the stream's format to the device's
    std::vector<std::uint8_t> readBlock;

    bool playing = false;
    // The stream delivered its last PCM, and the converter was flushed.
    bool ended = false;
    std::int64_t nextBytes = 0;     // stream position of the next read
    std::int64_t stoppedBytes = 0;  // the position while not playing
    // The heard position at the last callback: position syncs between it and the heard
    // position at the next callback fire then.
    std::int64_t heardBefore = 0;
    // The device buffer filled last: where in the stream it starts, its sample frames (of
    // the device), and when it was filled.
    std::int64_t bufferStartBytes = 0;
    std::int64_t bufferFrames = 0;
    Clock::time_point bufferTime{};

    std::vector<Sync> syncs;
    Playback::SyncHandle lastHandle = 0;

    std::int64_t DeviceFrameBytes() const { return std::int64_t{device.channels} * kDeviceBytesPerSample; }

    // Bytes of the stream's PCM that make deviceFrames frames at the device's rate.
    std::int64_t StreamBytesOf(std::int64_t deviceFrames) const {
        return deviceFrames * info.sampleRateHz / device.sampleRateHz * frameBytes;
    }

    // Where in the stream the next device buffer starts: the next read, less what waits in
    // the converter.
    std::int64_t HeardAtNextBuffer() const {
        const std::int64_t waiting = SDL_AudioStreamAvailable(converter.get()) / DeviceFrameBytes();
        return std::max<std::int64_t>(nextBytes - StreamBytesOf(waiting), 0);
    }

    std::int64_t Position(Clock::time_point now) const {
        if (!playing) return stoppedBytes;
        const double elapsedSeconds = std::chrono::duration<double>(now - bufferTime).count();
        const auto elapsedFrames = static_cast<std::int64_t>(elapsedSeconds * device.sampleRateHz);
        return bufferStartBytes + StreamBytesOf(std::clamp<std::int64_t>(elapsedFrames, 0, bufferFrames));
    }

    // Moves the stream to target (whole frames, within the length) and drops what was read
    // ahead. Nothing changes when the stream cannot seek.
    [[nodiscard]] bool SeekTo(std::int64_t target, Clock::time_point now) {
        target = std::max<std::int64_t>(target, 0);
        if (lengthBytes >= 0) target = std::min(target, lengthBytes);
        target -= target % frameBytes;
        if (!stream->SetPosition(target)) return false;
        nextBytes = stream->Position();
        SDL_AudioStreamClear(converter.get());
        ended = false;
        stoppedBytes = heardBefore = bufferStartBytes = nextBytes;
        bufferFrames = 0;
        bufferTime = now;
        return true;
    }

    void Play(Playback::Restart restart, Clock::time_point now) {
        // A stream that cannot seek plays on from where it is.
        if (restart == Playback::Restart::Yes) static_cast<void>(SeekTo(0, now));
        if (playing) return;
        playing = true;
        heardBefore = bufferStartBytes = stoppedBytes;
        bufferFrames = 0;
        bufferTime = now;
    }

    void Pause(Clock::time_point now) {
        if (!playing) return;
        const std::int64_t heard = Position(now);
        playing = false;
        // Play goes on from what was heard: the stream goes back over what was read ahead.
        if (!SeekTo(heard, now)) stoppedBytes = heard;
    }

    Playback::SyncHandle AddSync(SyncKind kind, std::int64_t byteOffset, Playback::SyncCallback callback) {
        if (++lastHandle == 0) ++lastHandle;
        syncs.push_back({lastHandle, kind, byteOffset, std::move(callback)});
        return lastHandle;
    }

    // Runs, once, every sync that due() picks, dropping each before its callback runs.
    template <typename Due>
    void FireSyncs(Due due) {
        for (std::size_t i = 0; i < syncs.size();) {
            if (!due(syncs[i])) {
                ++i;
                continue;
            }
            const Playback::SyncCallback callback = std::move(syncs[i].callback);
            syncs.erase(syncs.begin() + static_cast<std::ptrdiff_t>(i));
            if (callback) callback();
        }
    }

    // Reads the stream into the converter until it holds wantBytes of device PCM, or the
    // stream ends.
    void Fill(int wantBytes) {
        while (!ended && SDL_AudioStreamAvailable(converter.get()) < wantBytes) {
            const std::int64_t got = stream->GetData(readBlock.data(), readBlock.size());
            const std::int64_t wholeFrames = got > 0 ? got - got % frameBytes : 0;
            if (wholeFrames == 0 ||
                SDL_AudioStreamPut(converter.get(), readBlock.data(), static_cast<int>(wholeFrames)) != 0) {
                // The end of the stream (a decoding error ends it too): the resampler gives up
                // the samples it still holds.
                ended = true;
                SDL_AudioStreamFlush(converter.get());
                break;
            }
            nextBytes += wholeFrames;
        }
    }

    // Fills out (interleaved device samples) with the next PCM; returns the samples written.
    // The buffer filled before this one has been handed to the device, so the position
    // syncs it passed fire now; the end sync fires once a callback finds nothing left.
    std::size_t Render(std::span<std::int16_t> out, Clock::time_point now) {
        const std::int64_t heard = HeardAtNextBuffer();
        const std::int64_t before = heardBefore;
        FireSyncs([&](const Sync& sync) {
            return sync.kind == SyncKind::Position && before <= sync.byteOffset && sync.byteOffset <= heard;
        });
        heardBefore = heard;

        const int wantBytes = static_cast<int>(out.size_bytes());
        Fill(wantBytes);
        const int gotBytes = SDL_AudioStreamGet(converter.get(), out.data(), wantBytes);
        const std::int64_t frames = gotBytes > 0 ? gotBytes / DeviceFrameBytes() : 0;
        bufferStartBytes = heard;
        bufferFrames = frames;
        bufferTime = now;
        if (frames == 0 && ended) {
            playing = false;
            stoppedBytes = heard;
            FireSyncs([](const Sync& sync) { return sync.kind == SyncKind::End; });
        }
        return static_cast<std::size_t>(frames * device.channels);
    }
};

namespace {

// The playbacks attached to the device, and room for one of them to render a buffer into.
// Guarded by the device lock.
struct Mixer {
    std::vector<PlaybackChannel*> channels;
    std::vector<std::int16_t> scratch;
};

Mixer& TheMixer() {
    static Mixer mixer;
    return mixer;
}

}  // namespace

int OutputVolume() { return g_volume.load(std::memory_order_relaxed); }

void SetOutputVolume(int level) { g_volume.store(std::clamp(level, 0, kMaxVolume), std::memory_order_relaxed); }

void MixScaled(std::span<const std::int16_t> source, std::span<std::int16_t> mix, int volume) {
    constexpr std::int32_t kLowest = std::numeric_limits<std::int16_t>::min();
    constexpr std::int32_t kHighest = std::numeric_limits<std::int16_t>::max();
    const std::int32_t gain = std::clamp(volume, 0, kMaxVolume);
    const std::size_t count = std::min(source.size(), mix.size());
    for (std::size_t i = 0; i < count; ++i) {
        // |sample x gain| < 32768 x 65536 = 2^31: the product fits 32 bits.
        const std::int32_t scaled = std::int32_t{source[i]} * gain / kMaxVolume;
        mix[i] = static_cast<std::int16_t>(std::clamp(std::int32_t{mix[i]} + scaled, kLowest, kHighest));
    }
}

void RenderOutput(void*, std::uint8_t* out, int byteCount) {
    const auto samples = static_cast<std::size_t>(std::max(byteCount, 0) / kDeviceBytesPerSample);
    // SDL hands over a buffer of its own allocation, aligned for any sample type.
    const std::span<std::int16_t> mix(reinterpret_cast<std::int16_t*>(out), samples);
    std::fill(mix.begin(), mix.end(), std::int16_t{0});  // silence of signed samples
    Mixer& mixer = TheMixer();
    // The device's buffer keeps its size, so this allocates at the first callback only.
    if (mixer.scratch.size() < samples) mixer.scratch.resize(samples);
    const std::span<std::int16_t> scratch(mixer.scratch.data(), samples);
    const int volume = OutputVolume();
    const Clock::time_point now = Clock::now();
    for (PlaybackChannel* channel : mixer.channels) {
        if (!channel->playing) continue;
        const std::size_t rendered = channel->Render(scratch, now);
        MixScaled(scratch.first(rendered), mix, volume);
    }
}

void DetachAllPlaybacks() { TheMixer().channels.clear(); }

OutputLock::OutputLock() : m_device(OutputDevice()) {
    if (m_device != 0) SDL_LockAudioDevice(m_device);
}

OutputLock::~OutputLock() {
    if (m_device != 0) SDL_UnlockAudioDevice(m_device);
}

Playback::Playback(std::unique_ptr<PlaybackChannel> channel) : m_channel(std::move(channel)) {}

std::unique_ptr<Playback> Playback::Create(std::unique_ptr<Stream> stream) {
    if (!stream || OutputDevice() == 0) return nullptr;
    auto channel = std::make_unique<PlaybackChannel>();
    channel->info = stream->Info();
    channel->device = OutputFormat();
    const ChannelInfo& info = channel->info;
    if (info.channels <= 0 || info.sampleRateHz <= 0) return nullptr;
    channel->frameBytes = std::int64_t{info.channels} * (info.eightBit ? 1 : kDeviceBytesPerSample);
    channel->converter.reset(SDL_NewAudioStream(
        info.eightBit ? AUDIO_U8 : AUDIO_S16SYS, static_cast<Uint8>(info.channels), info.sampleRateHz, AUDIO_S16SYS,
        static_cast<Uint8>(channel->device.channels), channel->device.sampleRateHz));
    if (!channel->converter) return nullptr;
    channel->lengthBytes = stream->LengthBytes();
    channel->fileEnd = stream->FileEnd();
    channel->nextBytes = channel->stoppedBytes = stream->Position();
    channel->readBlock.resize(static_cast<std::size_t>(kReadFrames * channel->frameBytes));
    channel->stream = std::move(stream);

    std::unique_ptr<Playback> playback(new Playback(std::move(channel)));
    const OutputLock lock;
    TheMixer().channels.push_back(playback->m_channel.get());
    return playback;
}

Playback::~Playback() {
    const OutputLock lock;
    std::erase(TheMixer().channels, m_channel.get());
}

ChannelInfo Playback::Info() const { return m_channel->info; }

std::int64_t Playback::LengthBytes() const { return m_channel->lengthBytes; }

std::uint64_t Playback::FileEnd() const { return m_channel->fileEnd; }

void Playback::Play(Restart restart) {
    const OutputLock lock;
    m_channel->Play(restart, Clock::now());
}

void Playback::Pause() {
    const OutputLock lock;
    m_channel->Pause(Clock::now());
}

bool Playback::IsPlaying() const {
    const OutputLock lock;
    return m_channel->playing;
}

std::int64_t Playback::Position() const {
    const OutputLock lock;
    return m_channel->Position(Clock::now());
}

bool Playback::SetPosition(std::int64_t byteOffset) {
    const OutputLock lock;
    return m_channel->SeekTo(byteOffset, Clock::now());
}

Playback::SyncHandle Playback::SetEndSync(SyncCallback callback) {
    const OutputLock lock;
    return m_channel->AddSync(PlaybackChannel::SyncKind::End, 0, std::move(callback));
}

Playback::SyncHandle Playback::SetPositionSync(std::int64_t byteOffset, SyncCallback callback) {
    const OutputLock lock;
    return m_channel->AddSync(PlaybackChannel::SyncKind::Position, byteOffset, std::move(callback));
}

bool Playback::RemoveSync(SyncHandle sync) {
    const OutputLock lock;
    const auto isIt = [&](const PlaybackChannel::Sync& each) { return each.handle == sync; };
    return std::erase_if(m_channel->syncs, isIt) > 0;
}

}  // namespace qm::audio
