#include "ui/widgets/PreviewPlayer.h"

#include <QCoreApplication>
#include <QObject>
#include <algorithm>

#include "stream/AudioLayer.h"
#include "stream/AudioPlayback.h"
#include "ui/widgets/StreamSequence.h"

namespace qm {

namespace {

constexpr std::int64_t kMsPerSecond = 1000;

// Whole milliseconds of PCM in byteCount bytes, truncated. Counted in whole sample frames
// with integers, so that a position such as 400 ms of 44100 Hz stereo (70560 bytes) comes
// back as 400 and not as 399 by way of 0.39999... seconds.
std::uint64_t MsOfBytes(std::int64_t byteCount, std::int64_t frameBytes, int rateHz) {
    if (byteCount <= 0 || frameBytes <= 0 || rateHz <= 0) return 0;
    return static_cast<std::uint64_t>(byteCount / frameBytes * kMsPerSecond / rateHz);
}

// Byte offset of the first sample frame at or after ms milliseconds: less than a sample
// away, and the position it gives reads back as ms (the frame before it would read ms - 1
// whenever ms does not fall on a frame's start).
std::int64_t BytesOfMs(std::uint32_t ms, std::int64_t frameBytes, int rateHz) {
    return (std::int64_t{ms} * rateHz + kMsPerSecond - 1) / kMsPerSecond * frameBytes;
}

// What a sync runs on the audio thread: it posts the end of playback to the page and does
// nothing else, so the page takes it in order with its other events.
audio::Playback::SyncCallback PostPlaybackEnded(QObject* notify) {
    return [notify] {
        if (notify != nullptr) QCoreApplication::postEvent(notify, new QEvent(kPlaybackEndedEvent));
    };
}

}  // namespace

PreviewPlayer::PreviewPlayer() = default;

PreviewPlayer::~PreviewPlayer() { CloseStream(); }

bool PreviewPlayer::OpenStream(const std::filesystem::path& path, QObject* notify) {
    CloseStream();
    m_notify = notify;
    std::unique_ptr<audio::Stream> stream = audio::StreamCreateFile(path);
    if (!stream) return false;

    TakeFigures(*stream);
    if (audio::HasSoundCard()) m_playback = audio::Playback::Create(std::move(stream));
    if (!m_playback) {
        // Only the silent device (or a device that cannot take this format, which kept the
        // stream it refused): the file is decoded only, so that it can still be measured.
        m_decodeOnly = stream ? std::move(stream) : audio::StreamCreateFile(path);
        if (!m_decodeOnly) {
            CloseStream();
            return false;
        }
    }
    return true;
}

bool PreviewPlayer::OpenSequence(const std::vector<std::filesystem::path>& paths, QObject* notify) {
    CloseStream();
    m_notify = notify;
    std::unique_ptr<StreamSequence> sequence = StreamSequence::Open(paths);
    if (!sequence || !audio::HasSoundCard()) return false;
    TakeFigures(*sequence);
    for (const std::int64_t startBytes : sequence->PartStarts())
        m_partStartsMs.push_back(MsOfBytes(startBytes, m_frameBytes, m_sampleRateHz));
    m_playback = audio::Playback::Create(std::move(sequence));
    if (!m_playback) CloseStream();
    return m_playback != nullptr;
}

void PreviewPlayer::TakeFigures(audio::Stream& stream) {
    const audio::ChannelInfo info = stream.Info();
    m_sampleRateHz = info.sampleRateHz;
    m_channels = info.channels;
    m_frameBytes = std::int64_t{info.channels} * (info.eightBit ? 1 : 2);
    m_lengthBytes = stream.LengthBytes();
    m_bitRateKbps = audio::AverageKbps(stream.FileEnd(), stream.BytesToSeconds(m_lengthBytes));
}

void PreviewPlayer::CloseStream() {
    // The playback's syncs go with it.
    m_playback.reset();
    m_decodeOnly.reset();
    DropSync();
    m_notify = nullptr;
    m_sampleRateHz = 0;
    m_channels = 0;
    m_bitRateKbps = 0;
    m_frameBytes = 0;
    m_lengthBytes = 0;
    m_partStartsMs.clear();
}

bool PreviewPlayer::IsOpen() const { return m_playback != nullptr || m_decodeOnly != nullptr; }

bool PreviewPlayer::CanPlay() const { return m_playback != nullptr; }

std::uint64_t PreviewPlayer::LengthMs() const { return MsOfBytes(m_lengthBytes, m_frameBytes, m_sampleRateHz); }

std::uint64_t PreviewPlayer::PositionMs() const {
    std::int64_t positionBytes = 0;
    if (m_playback)
        positionBytes = m_playback->Position();
    else if (m_decodeOnly)
        positionBytes = m_decodeOnly->Position();
    return MsOfBytes(positionBytes, m_frameBytes, m_sampleRateHz);
}

void PreviewPlayer::DropSync() {
    if (m_sync != 0 && m_playback) m_playback->RemoveSync(m_sync);
    m_sync = 0;
    // An end posted by the sync just dropped, and not yet handled, belongs to a playing that
    // is over: left in the queue it would end the one that starts now.
    if (m_notify != nullptr) QCoreApplication::removePostedEvents(m_notify, kPlaybackEndedEvent);
}

void PreviewPlayer::Play(Restart restart) {
    // A stream that is decoded only is never heard: playing it does nothing.
    if (!m_playback) return;
    // The audio thread waits while the sync is replaced and playing starts.
    const audio::OutputLock lock;
    DropSync();
    m_sync = m_playback->SetEndSync(PostPlaybackEnded(m_notify));
    m_playback->Play(restart == Restart::Yes ? audio::Playback::Restart::Yes : audio::Playback::Restart::No);
}

void PreviewPlayer::Pause() {
    if (m_playback) m_playback->Pause();
}

void PreviewPlayer::Resume() {
    if (m_playback) m_playback->Play(audio::Playback::Restart::No);
}

void PreviewPlayer::SeekMs(std::uint32_t ms) {
    const std::int64_t byteOffset = BytesOfMs(ms, m_frameBytes, m_sampleRateHz);
    // A seek the decoder refuses leaves the position where it was, which the page then shows.
    if (m_playback) {
        static_cast<void>(m_playback->SetPosition(byteOffset));
    } else if (m_decodeOnly) {
        static_cast<void>(m_decodeOnly->SetPosition(byteOffset));
    }
}

void PreviewPlayer::PlayRange(std::uint32_t startMs, std::uint32_t endMs) {
    if (!m_playback) {
        SeekMs(startMs);
        return;
    }
    const std::int64_t startBytes = BytesOfMs(startMs, m_frameBytes, m_sampleRateHz);
    // A range that ends past the end of the file ends with it, and one that ends before it
    // starts ends at once: the page always hears of the end.
    std::int64_t endBytes = BytesOfMs(endMs, m_frameBytes, m_sampleRateHz);
    if (m_lengthBytes >= 0) endBytes = std::min(endBytes, m_lengthBytes);
    endBytes = std::max(endBytes, startBytes);
    const audio::OutputLock lock;
    DropSync();
    m_sync = m_playback->SetPositionSync(endBytes, PostPlaybackEnded(m_notify));
    static_cast<void>(m_playback->SetPosition(startBytes));  // refused: plays from where it is
    m_playback->Play(audio::Playback::Restart::No);
}

int PreviewPlayer::Volume() { return audio::OutputVolume(); }

void PreviewPlayer::SetVolume(int level) { audio::SetOutputVolume(level); }

}  // namespace qm
