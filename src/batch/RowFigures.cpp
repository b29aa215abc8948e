#include "batch/RowFigures.h"

#include <cstring>

#include "join/PcmSource.h"
#include "stream/Mp3FrameReader.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// Frames looked at for a change of bit rate in a stream that does not say it is VBR: a
// variable-rate encoder changes rate within a few frames of music, and 256 frames (about
// seven seconds) keep the loading of a long list quick.
constexpr int kBitRateProbeFrames = 256;
// A Fraunhofer VBRI frame carries its tag 32 bytes after the 4-byte header, whatever the
// side information.
constexpr std::size_t kVbriTagOffset = 36;
constexpr std::size_t kTagBytes = 4;

bool IsVbriFrame(const std::uint8_t* frame, const Mp3FrameHeader& header) {
    const auto frameBytes = static_cast<std::size_t>(header.frameBytes);
    return frameBytes >= kVbriTagOffset + kTagBytes && std::memcmp(frame + kVbriTagOffset, "VBRI", kTagBytes) == 0;
}

// Whether the first frames from the reader's position change bit rate. Only an unbroken
// chain counts: after a gap the hunt may have found a false frame in junk, whose rate says
// nothing about the stream.
bool FirstFramesVary(Mp3FrameReader& reader) {
    Mp3FrameHeader header;
    const std::uint8_t* frame = reader.NextFrame(&header);
    if (frame == nullptr) return false;
    if (IsVbriFrame(frame, header)) return true;
    const int firstKbps = header.bitRateKbps;
    std::uint64_t expectedOffset = header.frameOffset + static_cast<std::uint64_t>(header.frameBytes);
    for (int i = 1; i < kBitRateProbeFrames; ++i) {
        if (reader.NextFrame(&header) == nullptr || header.frameOffset != expectedOffset) return false;
        if (header.bitRateKbps != firstKbps) return true;
        expectedOffset += static_cast<std::uint64_t>(header.frameBytes);
    }
    return false;
}

}  // namespace

bool HasVariableBitRate(Mp3FrameReader& reader) {
    const std::vector<std::uint8_t>& info = reader.InfoFrame();
    if (!info.empty() && XingTagOf(info.data(), info.size(), reader.SideInfoBytes()) == "Xing") return true;
    const std::uint64_t start = reader.Position();
    const bool varies = FirstFramesVary(reader);
    reader.Seek(start);
    return varies;
}

std::optional<RowFigures> AnalyseRowFile(const fs::path& path, RowReader kind) {
    // The frame reader finds no audio in a file of another decoder (WAV, Ogg, FLAC), whatever
    // its name; the batch splitter asks it for the format alone, as its decoded source gives
    // the figures.
    Mp3FrameReader reader;
    const bool batchSplitter = kind == RowReader::BatchSplitter;
    if (!reader.Open(path, batchSplitter ? Mp3FrameReader::Measure::FormatOnly : Mp3FrameReader::Measure::Length)) {
        return std::nullopt;
    }
    RowFigures figures;
    figures.hasInfoFrame = !reader.InfoFrame().empty();
    // Taken before the frames are looked at: each frame read sets the reader's bit rate.
    figures.durationSeconds = reader.DurationSeconds();
    figures.sampleRateHz = reader.SampleRateHz();
    figures.bitRateKbps = reader.BitRateKbps();
    figures.channelMode = reader.ChannelMode();
    figures.variableBitRate = HasVariableBitRate(reader);
    if (!batchSplitter) return figures;
    reader.Close();
    AudioLayerSource source;
    if (!source.Open(path, 0)) return std::nullopt;
    figures.durationSeconds = source.GetDuration();
    figures.sampleRateHz = source.GetSampleRate();
    // The first frame's rate is the file's when it is constant; a variable rate shows its
    // average, as on the joiner lists.
    figures.bitRateKbps = figures.variableBitRate ? source.GetAverageBitrate() : source.GetFrameBitrate();
    figures.channelMode = source.GetChannelMode();
    return figures;
}

}  // namespace qm
