#pragma once

// Plays the manual splitter's source file on the output device: the whole file from any
// position, or one piece from its start to its end; or a few files back to back (pieces
// written to be heard before the split). It also measures the file (length,
// sample rate, channels, average bit rate) for the page's information box. The player is
// thin: the page keeps the play state and drives it; the player opens one stream, plays,
// pauses and seeks it, and posts the page a kPlaybackEndedEvent when playback reaches the
// end of the file or of the piece. Times are milliseconds.

#include <QEvent>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

class QObject;

namespace qm {

namespace audio {
class Playback;
class Stream;
}  // namespace audio

// Posted to the notify object when playback reaches the end of the file (after Play) or the
// end of the range (after PlayRange). It is posted from the audio thread and carries nothing.
inline const QEvent::Type kPlaybackEndedEvent = static_cast<QEvent::Type>(QEvent::User + 11);

class PreviewPlayer {
public:
    enum class Restart { No, Yes };

    PreviewPlayer();
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // Closes what is open, then opens path for playback; when the output device cannot play
    // it (the silent device), opens it for decoding only, so that it can still be measured.
    // notify receives kPlaybackEndedEvent (not owned; must outlive the stream). False when
    // no stream could be made.
    bool OpenStream(const std::filesystem::path& path, QObject* notify);
    // Closes what is open, then opens the files of paths as one stream that plays them back to
    // back without a gap (StreamSequence), for playback only. False when they cannot be joined
    // so (see StreamSequence::Open) or no output device can play them.
    bool OpenSequence(const std::vector<std::filesystem::path>& paths, QObject* notify);
    // After OpenSequence, where each file begins in what plays, in milliseconds (truncated);
    // empty otherwise.
    const std::vector<std::uint64_t>& PartStartsMs() const { return m_partStartsMs; }
    // Frees the stream and its sync; every figure goes back to 0.
    void CloseStream();
    bool IsOpen() const;
    // True when the open stream plays on a real output device (not decoding only).
    bool CanPlay() const;

    // Length of the open stream, truncated to whole milliseconds; 0 when none is open.
    std::uint64_t LengthMs() const;
    // The position heard now, in milliseconds.
    std::uint64_t PositionMs() const;

    // Plays from the current position until the end of the file (the end replaces any
    // range end set before).
    void Play(Restart restart = Restart::No);
    void Pause();
    // Continues after Pause, keeping the end set by Play or PlayRange.
    void Resume();
    void SeekMs(std::uint32_t ms);
    // Plays from startMs and posts kPlaybackEndedEvent once the position reaches endMs.
    void PlayRange(std::uint32_t startMs, std::uint32_t endMs);

    // The open stream's figures: rate (Hz), channel count, average bit rate (kbit/s) =
    // the integer part of file size ÷ (seconds × 125) + 0.5. All 0 when none is open.
    int SampleRateHz() const { return m_sampleRateHz; }
    int Channels() const { return m_channels; }
    int BitRateKbps() const { return m_bitRateKbps; }

    // The output volume of both channels, 0..65535, applied as the gain of what plays.
    static int Volume();
    static void SetVolume(int level);

private:
    // Takes the stream's figures (rate, channels, PCM sizes, average bit rate).
    void TakeFigures(audio::Stream& stream);
    // Removes the current sync, and the events it posted that have not been handled yet.
    void DropSync();

    std::unique_ptr<audio::Playback> m_playback;  // a stream on the output device
    std::unique_ptr<audio::Stream> m_decodeOnly;  // when the device cannot play it
    std::uint32_t m_sync = 0;                     // the playback's sync; 0 when none
    QObject* m_notify = nullptr;
    int m_sampleRateHz = 0;
    int m_channels = 0;
    int m_bitRateKbps = 0;
    std::int64_t m_frameBytes = 0;   // one sample frame of the stream's PCM
    std::int64_t m_lengthBytes = 0;  // -1 when the stream does not know it
    std::vector<std::uint64_t> m_partStartsMs;
};

}  // namespace qm
