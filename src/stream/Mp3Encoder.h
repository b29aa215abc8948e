#pragma once

// The MP3 encoder of both re-encoding engines (the splitter's pieces and the join's target):
// one LAME context per output, constant bit rate, no tag of LAME's own, fed 16-bit PCM. The
// encoded frames are handed back to the caller, who writes them. The first frame is a
// placeholder for the output's Info frame, which is known only at the end (InfoFrame): its
// LAME extension carries the encoder delay and padding, so that a player leaves them out and
// plays exactly the samples fed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "stream/ChannelMode.h"
#include "stream/LameHandles.h"

namespace qm {

// What an output is encoded as, and what it is fed.
struct Mp3EncoderSettings {
    int inputRateHz = 0;    // of the samples fed
    int inputChannels = 2;  // 1 or 2
    int outputRateHz = 0;   // of the frames; LAME resamples when it differs from the input's
    int bitRateKbps = 0;    // constant
    ChannelMode mode = ChannelMode::Stereo;

    bool operator==(const Mp3EncoderSettings&) const = default;
};

// The sample rates of MPEG-1, MPEG-2 and MPEG-2.5 audio, the only output rates an encoder
// is started with.
inline constexpr std::array<int, 9> kMpegSampleRatesHz = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
// True when hz is one of those nine rates.
bool IsMpegSampleRate(int hz);

// The bit rates an encoder is asked for are brought into this range (LAME then takes the
// nearest rate its MPEG version has).
constexpr int kMinEncoderKbps = 8;
constexpr int kMaxEncoderKbps = 320;

// The one rule for encoder settings, whichever engine asks. False when the output rate is
// none of the nine MPEG sample rates: LAME would quietly encode at a neighbouring rate, not
// the one asked for. Otherwise the settings are made ones LAME honours as asked: the bit
// rate is brought into 8..320 kbit/s, a mode LAME cannot encode (dual channel, or no mode
// at all) becomes stereo, and the input channels are brought into 1..2.
[[nodiscard]] bool ApplyEncoderRules(Mp3EncoderSettings* settings);

// How Start went.
enum class EncoderStart {
    Started,
    Refused,    // the settings break the rule above, or LAME rejects them
    NoContext,  // LAME could not allocate a context
};

class Mp3Encoder {
public:
    // LAME's worst case for one encode call of a few thousand samples, and for the flush
    // (LAME_MAXMP3BUFFER).
    static constexpr std::size_t kMaxMp3BufferBytes = 147456;

    // The encoder call: lame_encode_buffer by default. Replaceable so that a test can make
    // the encoder fail; it takes and returns what lame_encode_buffer does.
    using EncodeFunction = std::function<int(lame_global_flags* lame, const std::int16_t* left,
                                             const std::int16_t* right, int samples, std::uint8_t* mp3, int mp3Bytes)>;

    Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // Kept for every output this encoder starts after.
    void SetEncodeFunction(EncodeFunction encode) { m_encode = std::move(encode); }

    // Closes any earlier output's context and starts a new one with the settings, after
    // ApplyEncoderRules. Nothing of an earlier output carries over.
    [[nodiscard]] EncoderStart Start(const Mp3EncoderSettings& settings);
    // Encodes samples 16-bit samples per channel (right is not read for one input channel).
    // The frames LAME completed are in Output() until the next call; often none. False on an
    // encoder error (Output() is then empty).
    [[nodiscard]] bool Encode(const std::int16_t* left, const std::int16_t* right, int samples);
    // Encodes what LAME still holds (the last frames, padded) into Output(), takes the Info
    // frame (InfoFrame) and closes the context. False on an encoder error or without a
    // started output.
    [[nodiscard]] bool Finish();
    // Closes the context without encoding what it holds.
    void Close() { m_lame.reset(); }
    bool IsStarted() const { return m_lame != nullptr; }
    // The settings of the output last started, as the rules made them.
    const Mp3EncoderSettings& Settings() const { return m_settings; }
    // Of the output started: the samples LAME puts before the first sample fed (its encoder
    // delay, which the Info frame declares), and the samples of each frame. 0 when none is.
    int EncoderDelaySamples() const;
    int FrameSamples() const;

    // The frames of the last Encode or Finish.
    std::span<const std::uint8_t> Output() const { return {m_mp3.data(), m_outputBytes}; }
    // After Finish: the output's Info frame (frame count, byte count, seek table, LAME
    // extension with delay, padding and CRCs), to be written over the output's first frame,
    // which has the same size. Empty when LAME gave none; the placeholder then stays, a frame
    // of silence.
    std::span<const std::uint8_t> InfoFrame() const { return m_infoFrame; }

private:
    // Fetches the Info frame from the finished context into m_infoFrame.
    void TakeInfoFrame();

    EncodeFunction m_encode;
    LameHandle m_lame;
    Mp3EncoderSettings m_settings;
    std::vector<std::uint8_t> m_mp3;  // LAME's output buffer, kMaxMp3BufferBytes
    std::size_t m_outputBytes = 0;
    std::vector<std::uint8_t> m_infoFrame;
};

}  // namespace qm
