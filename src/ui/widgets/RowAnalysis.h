#pragma once

// The analysis of a file on its way into one of the file lists: whether it holds MPEG audio
// at all, and the figures its row shows.

#include <filesystem>

#include "ui/widgets/ListColumns.h"
#include "ui/widgets/ListItemRecord.h"

namespace qm {

class Mp3FrameReader;

// Fills record's duration, sample rate, bit rate, channel mode, Xing/Info and VBR flags for
// the list kind: the frame reader's figures on the joiner lists, the decoded source's on the
// batch splitter (which reads the file the same way when it splits it). False for a file that
// holds no MPEG audio (a WAV, Ogg or FLAC file under an .mp3 name, junk) or cannot be
// analysed. A file of variable bit rate shows its average bit rate on every list.
[[nodiscard]] bool AnalyseListFile(ListKind kind, const std::filesystem::path& path, ListItemRecord* record);

// Whether the stream of an opened reader varies its bit rate: it carries a Xing frame (LAME
// writes "Info" in that place for a constant rate) or a VBRI frame, or the bit rate changes
// within its first frames. The reader is put back where it was; its bit rate is then the last
// frame's.
bool HasVariableBitRate(Mp3FrameReader& reader);

}  // namespace qm
