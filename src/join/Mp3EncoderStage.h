#pragma once

// The last stage of a re-encoding join: owns the output file and a LAME encoder, writes an
// optional prefix (the target's ID3v2 tag) and then the constant-bit-rate frames of the
// 16-bit PCM it is fed. LAME writes neither a Xing/Info frame nor a tag of its own.
//
// The output goes to a temporary file beside the target and replaces the target only when
// Finish succeeds; Discard (or destroying an unfinished stage) leaves the target as it was.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "join/OutputBuffer.h"
#include "stream/File.h"

struct lame_global_struct;

namespace qm {

class Mp3EncoderStage {
public:
    // LAME's worst case for one encode call of a few thousand samples, and for the flush.
    static constexpr std::size_t kMp3BufferBytes = 147456;
    static constexpr int kMinBitRateKbps = 8;
    static constexpr int kMaxBitRateKbps = 320;

    Mp3EncoderStage();
    ~Mp3EncoderStage();
    Mp3EncoderStage(const Mp3EncoderStage&) = delete;
    Mp3EncoderStage& operator=(const Mp3EncoderStage&) = delete;

    // Abandons any open output, creates the temporary output for target and a LAME context.
    // False when the file cannot be created or LAME gives no context.
    bool Create(const std::filesystem::path& target);
    // Bytes written before the first encoded frame.
    void SetPrefix(const std::uint8_t* bytes, std::size_t byteCount);
    // 1 or 2; values outside are brought to the nearer end.
    void SetChannels(int channels);
    void SetInputSampleRate(int hz);
    // 8 to 320 kbit/s; values outside are brought to the nearer end.
    void SetBitrate(int kbps);
    void SetOutputSampleRate(int hz);
    // 0 stereo, 1 joint stereo, 3 mono; anything else encodes as stereo.
    void SetMode(int mode);
    // Constant bit rate without an Info frame; initialises LAME and writes the prefix.
    // False when LAME rejects the parameters or the prefix cannot be written.
    bool Start();
    // Encodes samples 16-bit samples per channel (right ignored for one channel). False on
    // an encoder error or a failed write.
    bool Encode(const std::int16_t* left, const std::int16_t* right, int samples);
    // Flushes LAME, writes the last frames and puts the output in place of the target.
    // False (and no output) when a write, the close or the rename fails. Does nothing and
    // returns false without an open output.
    bool Finish();
    // Closes the encoder and deletes the unfinished output.
    void Discard();

    // True when the last failure was a write (as opposed to an encoder error).
    bool WriteFailed() const { return m_writeFailed; }
    bool IsOpen() const { return m_output != nullptr; }

private:
    struct LameCloser {
        void operator()(lame_global_struct* lame) const;
    };
    bool WriteOut(const void* bytes, std::size_t byteCount);

    std::filesystem::path m_path;
    std::unique_ptr<AtomicOutputFile> m_output;
    std::optional<OutputBuffer> m_buffer;
    std::unique_ptr<lame_global_struct, LameCloser> m_lame;
    std::vector<std::uint8_t> m_mp3Buffer;
    std::vector<std::uint8_t> m_prefix;
    bool m_writeFailed = false;
};

}  // namespace qm
