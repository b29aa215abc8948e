#pragma once

// The option groups of the program, each a plain record with its defaults. The engines,
// planners and output placement read these records; only the settings store (Settings.h)
// knows how they are kept between runs. Field names are the stored value names.

#include <cstdint>
#include <string>

#include "stream/ChannelMode.h"

namespace qm {

static_assert(sizeof(int) == 4, "stored DWORD values are held in int fields");

// Option codes. The enumerator values are the codes kept in the settings store, so a stored
// value outside the list survives a load and save unchanged where no load check applies.

// Where outputs go.
enum class OutputFolderCode : int { SameAsSource = 199, Specific = 299 };
// What happens when an output's target file exists.
enum class TargetExistsCode : int { Rename = 11, Overwrite = 22, Skip = 33 };
// Unit of the by-size piece size.
enum class SizeUnitCode : int { KB = 201, MB = 301, GB = 401 };
// Channel mode of re-encoded output: the frame header's and LAME's numbers. The load check
// lets stereo, joint stereo and mono through; dual channel is never stored.
using ChannelModeCode = ChannelMode;
// Track number written into each piece's tag. None is written like Source by the split engine.
enum class TrackNumberCode : int { None = 0, Source = 1, Piece = 2 };
// Split mode of a splitter page. ByCustom is the hand-made pieces list on the manual splitter
// page and the begin-and-length range on the batch splitter page.
// BySilence cuts at the pauses of the audio; ByMarks (the batch splitter's "By cue sheet or
// chapters") cuts by each file's own NAME.cue, else by its chapters.
enum class SplitTypeCode : int { BySize = 0, ByCount = 1, ByTime = 2, ByCustom = 3, BySilence = 4, ByMarks = 5 };
// Where the batch joiner puts the joined files relative to each main file.
enum class JoinTypeCode : int { Prepend = 0, Append = 1 };

// Bytes per size unit: 1,024 for KB, 1,048,576 for MB, 1,073,741,824 for GB; 0 for a code
// outside the list.
constexpr std::int64_t SizeUnitBytes(SizeUnitCode unit) {
    switch (unit) {
        case SizeUnitCode::KB:
            return std::int64_t{1} << 10;
        case SizeUnitCode::MB:
            return std::int64_t{1} << 20;
        case SizeUnitCode::GB:
            return std::int64_t{1} << 30;
    }
    return 0;
}

constexpr const char* kDefaultOutputFileName = "%F%-%P%.mp3";
constexpr const char* kDefaultId3TitleFormat = "%I% - %P%/%T%";
// The templates of the pieces of a plan whose marks bring titles (a cue sheet, chapters, a
// label file) where the options hold the default ones.
constexpr const char* kTitledOutputFileName = "%P% - %C%.mp3";
constexpr const char* kTitledId3TitleFormat = "%C%";
constexpr int kMaxDigitNumber = 1000;  // upper bound of both digit widths

// The main window's normal rectangle in screen pixels, as left, top, right, bottom.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    // A rectangle without area; an empty saved rectangle leaves placement to the system.
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const WindowRect&) const = default;
};

// Application and main window ("Options").
struct AppOptions {
    int StartPage = 0;         // index of the page shown at start, in tab order
    WindowRect WndPosition;    // empty: the system places the window
    bool WndMaximized = true;  // show the main window maximized at start

    bool operator==(const AppOptions&) const = default;
};

// Splitter options, shared by the manual and the batch splitter ("Options/Split").
// Lengths are tenths of a second.
struct SplitterOptions {
    bool ReencodePieces = false;  // re-encode pieces instead of copying frames
    bool UseSameParams = true;    // re-encode with the source's own rate, bit rate and mode
    int MP3BitRate = 128;         // kbit/s
    int MP3SampleRate = 44100;    // Hz
    ChannelModeCode MP3ChannelMode = ChannelModeCode::JointStereo;
    bool BrowseFolder = true;      // show the first output in the file manager after splitting
    int FadeInLen = 0;             // tenths of a second
    int FadeOutLen = 0;            // tenths of a second
    int VolumeChangeTenthsDb = 0;  // every piece raised (lowered) by this many tenths of a dB
    int ForwardOverlap = 0;        // lead-in overlap, tenths of a second
    int BackwardOverlap = 0;       // tail overlap, tenths of a second
    TrackNumberCode ID3TrackNumType = TrackNumberCode::Source;
    // Specific + the documents folder when it is known; see MakeSplitterOptions.
    OutputFolderCode OutputFolderOpt = OutputFolderCode::SameAsSource;
    std::string SpecifiedOutputFolder;  // UTF-8
    bool CreateFolderForEachMP3 = false;
    bool CreateTreeDirs = false;
    bool SplitFirstNPieces = false;  // the batch splitter writes only the first pieces
    int FirstPiecesNumber = 1;
    bool KeepID3tag = true;
    std::string OutputFileName = kDefaultOutputFileName;
    int FilenameDigitNumber = 0;  // 0 = as many digits as the piece total has
    int TitleDigitNumber = 0;     // 0 = as many digits as the piece total has
    std::string ID3TitleFormat = kDefaultId3TitleFormat;
    TargetExistsCode TargetExistsOpt = TargetExistsCode::Rename;

    bool operator==(const SplitterOptions&) const = default;
};

// The thresholds a pause may be looked for at, in dBFS.
inline constexpr int kSilenceThresholdMinDb = -96;
inline constexpr int kSilenceThresholdMaxDb = -1;

// Split at silences: what counts as a pause, and the limits of a piece.
struct SilenceOptions {
    int ThresholdDb = -48;      // dBFS: audio quieter than this is silence
    int MinSilenceTenths = 10;  // the shortest pause that makes a cut
    int MinPieceTenths = 0;     // a cut that would leave a shorter piece is skipped; 0 = off
    int MaxPieceTenths = 0;     // a longer stretch is cut at its quietest frame; 0 = off
    bool TrimSilence = false;   // the pauses are left out of the pieces

    bool operator==(const SilenceOptions&) const = default;
};

// The split mode and its inputs of one splitter page. The two custom-range texts are kept
// only by the batch splitter.
struct SplitSettings {
    SplitTypeCode SplitType = SplitTypeCode::BySize;
    int SplitFileAmount = 2;            // by count: number of pieces
    std::string SplitFileSizeEx = "1";  // by size: decimal number as typed
    SizeUnitCode SplitFileUnit = SizeUnitCode::MB;
    int SplitTimeMin = 1;                     // by time: minutes of each piece
    int SplitTimeSec = 0;                     // by time: seconds of each piece
    std::string SplitCustomFromSec = "0.0";   // custom range: begin, seconds as typed
    std::string SplitCustomDuration = "1.0";  // custom range: length, seconds, 0 = to the end
    SilenceOptions silence{};                 // by silence

    bool operator==(const SplitSettings&) const = default;
};

// Manual splitter page ("Options/Split"; value names disjoint from SplitterOptions).
struct SplitterPageSettings {
    SplitSettings split{.SplitType = SplitTypeCode::ByCustom};
    // The waveform's share of the height it and the pieces list divide, in thousandths;
    // 0 until the handle between them is moved.
    int WaveformSplit = 0;

    bool operator==(const SplitterPageSettings&) const = default;
};

// Batch splitter page ("Options/BatchSplit").
struct BatchSplitterSettings {
    std::string Folder;  // folder last chosen with "Add Folder", UTF-8
    SplitSettings split;

    bool operator==(const BatchSplitterSettings&) const = default;
};

// Joiner page: the tag fields of the joined file, all text ("Options/Join").
struct JoinerPageSettings {
    std::string Folder;
    std::string ID3Title;
    std::string ID3Artist;
    std::string ID3Album;
    std::string ID3Year;
    std::string ID3Comment;
    std::string ID3GenreEx;  // genre as text
    std::string ID3TrackNo;  // track number as text

    bool operator==(const JoinerPageSettings&) const = default;
};

// Joiner options ("Options/Join"; value names disjoint from JoinerPageSettings).
struct JoinerOptions {
    bool BrowseFolder = true;          // show the output in the file manager after joining
    bool AutoMP3EncodingParam = true;  // choose the output's encoding parameters automatically
    int MP3BitRate = 128;              // kbit/s
    int MP3SampleRate = 44100;         // Hz
    ChannelModeCode MP3ChannelMode = ChannelModeCode::JointStereo;
    // Specific + the documents folder when it is known; see MakeJoinerOptions.
    OutputFolderCode OutputFolderOpt = OutputFolderCode::SameAsSource;
    std::string SpecifiedOutputFolder;
    bool CreateTreeDirs = false;
    bool AddPostfixAtEndOfFile = true;  // add "_joined" to the output name
    TargetExistsCode TargetExistsOpt = TargetExistsCode::Rename;
    bool WriteChapters = false;    // one chapter per joined file in the output's tag
    bool WriteCueSheet = false;    // NAME.cue beside the output NAME.mp3
    int VolumeChangeTenthsDb = 0;  // the output raised (lowered) by this many tenths of a dB

    bool operator==(const JoinerOptions&) const = default;
};

// Batch joiner page ("Options/BatchJoin").
struct BatchJoinerSettings {
    std::string Folder;
    JoinTypeCode JoinType = JoinTypeCode::Prepend;

    bool operator==(const BatchJoinerSettings&) const = default;
};

// The defaults of the two options groups that depend on the user's documents folder (UTF-8,
// empty when it cannot be found): the specific folder is the documents folder and the output
// goes there; without one, outputs go beside their sources.
SplitterOptions MakeSplitterOptions(const std::string& documentsFolder);
JoinerOptions MakeJoinerOptions(const std::string& documentsFolder);

// What an MPEG encoder can do at a sample rate: MPEG-2.5 rates (below 16000 Hz) take at most
// 64 kbit/s, MPEG-2 rates (below 32000 Hz) at most 160, MPEG-1 rates at least 32. The bit
// rate brought into that range, as the options pages do when a sample rate is chosen.
int BitRateForSampleRate(int sampleRateHz, int bitRateKbps);
// The sample rate brought into the range of a bit rate, as when a bit rate is chosen: at 8 to
// 24 kbit/s at most 24000 Hz, at 80 to 160 at least 16000, at 192 and above at least 32000.
int SampleRateForBitRate(int bitRateKbps, int sampleRateHz);

}  // namespace qm
