#pragma once

// The figures a file list shows for a file on its way in: whether it holds MPEG audio at all,
// its length, format and bit rate, read the way the page that lists it will read the file.

#include <filesystem>
#include <optional>

#include "stream/ChannelMode.h"

namespace qm {

class Mp3FrameReader;

struct RowFigures {
    int durationSeconds = 0;
    int sampleRateHz = 0;
    int bitRateKbps = 0;  // the average for a variable bit rate
    std::optional<ChannelMode> channelMode;
    bool hasInfoFrame = false;     // a Xing/Info frame leads the audio
    bool variableBitRate = false;  // bitRateKbps is then the file's average

    bool operator==(const RowFigures&) const = default;
};

// Which page reads the file: the batch splitter (whose split decodes it through the audio
// layer) or a joiner list (whose join reads its frames).
enum class RowReader { BatchSplitter, Joiner };

// The figures of path: the frame reader's for a joiner list, the decoded source's for the
// batch splitter. Nothing for a file that holds no MPEG audio (a WAV, Ogg or FLAC file under an
// .mp3 name, junk) or cannot be analysed. A file of variable bit rate shows its average bit
// rate on every list.
std::optional<RowFigures> AnalyseRowFile(const std::filesystem::path& path, RowReader reader);

// Whether the stream of an opened reader varies its bit rate: it carries a Xing frame (LAME
// writes "Info" in that place for a constant rate) or a VBRI frame, or the bit rate changes
// within its first frames. The reader is put back where it was; its bit rate is then the last
// frame's.
bool HasVariableBitRate(Mp3FrameReader& reader);

}  // namespace qm
