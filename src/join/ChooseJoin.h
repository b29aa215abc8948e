#pragma once

// The rule by which the joiners pick between copying frames and re-encoding, and the
// encoder parameters they derive when they choose them automatically.

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "join/EncoderParams.h"
#include "settings/Options.h"
#include "stream/Mp3FrameReader.h"
#include "stream/MpegHeader.h"

namespace qm {

// What the choice needs to know about one file: the figures of its analysis.
struct JoinFileFacts {
    int sampleRateHz = 0;
    int averageKbps = 0;
    // Of the first frame; from the channel count for other formats; empty for a file that
    // could not be analysed.
    std::optional<ChannelMode> channelMode;
    bool hasInfoFrame = false;  // a Xing or Info frame leads the audio
    bool isMpeg = true;         // frames can be copied (false for Ogg, FLAC, WAV, modules)
    // The MPEG version and layer of the first audio frame (MPEG files only).
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 3;
};

// Whether frames of these two formats can follow each other in one stream: the same MPEG
// version, layer and sample rate, and the same channel count. Stereo and joint stereo mix
// freely (joint stereo is chosen frame by frame anyway); dual channel, two independent
// programmes, goes only with dual channel; mono only with mono. Bit rates may differ.
bool CanShareStream(MpegVersion versionA, int layerA, int rateHzA, ChannelMode modeA, MpegVersion versionB, int layerB,
                    int rateHzB, ChannelMode modeB);
bool CanShareStream(const Mp3FrameHeader& a, const Mp3FrameHeader& b);

// Fills *facts from the file: MPEG files through the frame reader's analysis, other formats
// through the audio layer (their channel count giving stereo or mono). False when neither
// can open the file.
// With FormatOnly an MPEG file's averageKbps is its first frame's: enough for the choice,
// not for the parameters of a re-encoding.
[[nodiscard]] bool AnalyseJoinFile(const std::filesystem::path& path, JoinFileFacts* facts,
                                   Mp3FrameReader::Measure measure = Mp3FrameReader::Measure::Length);

enum class JoinMethod { Direct, Reencode };

// Where the automatic parameters start: the joiner page starts from nothing (0 Hz, 0 kbps,
// mono) and folds in every file; the batch joiner starts from the main file's own values.
enum class JoinStart { Nothing, ReferenceValues };

struct JoinChoice {
    JoinMethod method = JoinMethod::Direct;
    EncoderParams params;  // for Reencode
};

// Decides how to join reference (first row, or the batch joiner's main file) with others.
// Without AutoMP3EncodingParam: re-encoded with the options' rate, bit rate and mode.
// Otherwise directly when every file is MPEG audio whose frames can share one stream with
// the reference's (CanShareStream; Xing/Info frames and bit rates do not matter, as the direct
// join writes a Xing/Info frame of its own) and there are at least minimumFiles files;
// otherwise re-encoded at the highest rate and bit rate (snapped to a standard one), joint
// stereo over stereo over mono.
JoinChoice ChooseJoin(const JoinFileFacts& reference, std::span<const JoinFileFacts> others,
                      const JoinerOptions& options, JoinStart start, int minimumFiles = 2);

// The parameters the automatic choice re-encodes with: the highest rate and bit rate
// (snapped to a standard one), joint stereo over stereo over mono, folded from start.
EncoderParams AutomaticEncoderParams(const JoinFileFacts& reference, std::span<const JoinFileFacts> others,
                                     JoinStart start);

// The joiner page's choice for files (ChooseJoin from nothing); forceReencode makes a direct
// choice a re-encoding with the automatic parameters. Each file's format is looked at first,
// and its bit rate (a scan of every frame, for a file without a Xing/Info frame) only when
// the files are re-encoded. False, with the open failure of the first file that cannot be
// analysed in *error, when one cannot.
[[nodiscard]] bool ChooseJoinOfFiles(std::span<const std::filesystem::path> files, const JoinerOptions& options,
                                     bool forceReencode, JoinChoice* choice, std::string* error);

}  // namespace qm
