#include "settings/Settings.h"

#include <algorithm>

namespace qm {

namespace {

// ---- Reading -------------------------------------------------------------------------

// Each reader leaves the field as it is when the value is absent or has another type.

void ReadInt(SettingsKey& key, const char* name, int* field) {
    if (std::optional<std::int32_t> value = key.ReadDword(name)) {
        *field = *value;
    }
}

// On/off values: any non-zero number is on.
void ReadFlag(SettingsKey& key, const char* name, bool* field) {
    if (std::optional<std::int32_t> value = key.ReadDword(name)) {
        *field = *value != 0;
    }
}

// Option codes keep the stored number even when it is not in the list; the load checks
// below decide what happens to such numbers.
template <typename Code>
void ReadCode(SettingsKey& key, const char* name, Code* field) {
    if (std::optional<std::int32_t> value = key.ReadDword(name)) {
        *field = static_cast<Code>(*value);
    }
}

// Folders and the texts typed into the split pages: a stored value replaces the default,
// an empty one included. Held whole, with no length limit.
void ReadText(SettingsKey& key, const char* name, std::string* field) {
    if (std::optional<std::string> value = key.ReadString(name)) {
        *field = std::move(*value);
    }
}

// Templates and tag fields: an absent value reads as empty, like an empty one.
void ReadFreeText(SettingsKey& key, const char* name, std::string* field) {
    *field = key.ReadString(name).value_or(std::string());
}

// ---- Load checks ---------------------------------------------------------------------

void NotBelow(int minimum, int* field) { *field = std::max(*field, minimum); }

void ClampDigits(int* field) { *field = std::clamp(*field, 0, kMaxDigitNumber); }

// A volume change is kept within -100.0..+100.0 dB, the range the options pages offer.
constexpr int kMaxVolumeChangeTenthsDb = 1000;

void ReadVolumeChange(SettingsKey& key, int* tenthsDb) {
    ReadInt(key, "VolumeChange", tenthsDb);
    *tenthsDb = std::clamp(*tenthsDb, -kMaxVolumeChangeTenthsDb, kMaxVolumeChangeTenthsDb);
}

void CheckChannelMode(ChannelModeCode* mode) {
    if (*mode != ChannelModeCode::Stereo && *mode != ChannelModeCode::JointStereo && *mode != ChannelModeCode::Mono) {
        *mode = ChannelModeCode::JointStereo;
    }
}

void CheckOutputFolder(OutputFolderCode* option) {
    if (*option != OutputFolderCode::SameAsSource && *option != OutputFolderCode::Specific) {
        *option = OutputFolderCode::SameAsSource;
    }
}

// An unknown unit would give pieces of 0 bytes; MB is what the unit list falls back to.
void CheckSizeUnit(SizeUnitCode* unit) {
    if (SizeUnitBytes(*unit) == 0) {
        *unit = SizeUnitCode::MB;
    }
}

// ---- Writing -------------------------------------------------------------------------

// Writes values to one created key and remembers whether every write succeeded.
class GroupWriter {
public:
    explicit GroupWriter(SettingsKey& key) : m_key(key) {}

    void Int(const char* name, int value) { m_ok = m_key.WriteDword(name, value) && m_ok; }
    void Flag(const char* name, bool value) { Int(name, value ? 1 : 0); }
    template <typename Code>
    void CodeValue(const char* name, Code value) {
        Int(name, static_cast<int>(value));
    }
    void Text(const char* name, const std::string& value) { m_ok = m_key.WriteString(name, value) && m_ok; }
    void Binary(const char* name, const std::vector<std::uint8_t>& value) {
        m_ok = m_key.WriteBinary(name, value) && m_ok;
    }
    bool Ok() const { return m_ok; }

private:
    SettingsKey& m_key;
    bool m_ok = true;
};

// The window rectangle is kept as left, top, right, bottom, each a little-endian signed
// 32-bit integer: 16 bytes.
constexpr std::size_t kRectBytes = 16;

std::vector<std::uint8_t> RectToBytes(const WindowRect& rect) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kRectBytes);
    for (int side : {rect.left, rect.top, rect.right, rect.bottom}) {
        const auto bits = static_cast<std::uint32_t>(side);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
        }
    }
    return bytes;
}

WindowRect RectFromBytes(const std::vector<std::uint8_t>& bytes) {
    int sides[4] = {};
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint32_t bits = 0;
        for (std::size_t b = 0; b < 4; ++b) {
            bits |= std::uint32_t{bytes[i * 4 + b]} << (8 * b);
        }
        sides[i] = static_cast<int>(bits);
    }
    return {sides[0], sides[1], sides[2], sides[3]};
}

// The split settings of a splitter page; the custom range texts only for the batch page.
enum class CustomRange { No, Yes };

void LoadSplitSettings(SettingsKey& key, CustomRange customRange, SplitSettings* split) {
    ReadCode(key, "SplitType", &split->SplitType);
    const int type = static_cast<int>(split->SplitType);
    // Only the batch splitter offers the modes by silence and by marks.
    const SplitTypeCode last = customRange == CustomRange::Yes ? SplitTypeCode::ByMarks : SplitTypeCode::ByCustom;
    if (type < 0 || type > static_cast<int>(last)) {
        split->SplitType = SplitTypeCode::BySize;
    }
    ReadInt(key, "SplitFileAmount", &split->SplitFileAmount);
    NotBelow(1, &split->SplitFileAmount);
    ReadText(key, "SplitFileSizeEx", &split->SplitFileSizeEx);
    ReadCode(key, "SplitFileUnit", &split->SplitFileUnit);
    CheckSizeUnit(&split->SplitFileUnit);
    ReadInt(key, "SplitTimeMin", &split->SplitTimeMin);
    NotBelow(0, &split->SplitTimeMin);
    ReadInt(key, "SplitTimeSec", &split->SplitTimeSec);
    NotBelow(0, &split->SplitTimeSec);
    if (customRange == CustomRange::Yes) {
        ReadText(key, "SplitCustomFromSec", &split->SplitCustomFromSec);
        ReadText(key, "SplitCustomDuration", &split->SplitCustomDuration);
    }
    SilenceOptions& silence = split->silence;
    ReadInt(key, "SilenceThresholdDb", &silence.ThresholdDb);
    silence.ThresholdDb = std::clamp(silence.ThresholdDb, kSilenceThresholdMinDb, kSilenceThresholdMaxDb);
    ReadInt(key, "SilenceMinLen", &silence.MinSilenceTenths);
    NotBelow(1, &silence.MinSilenceTenths);
    ReadInt(key, "SilenceMinPieceLen", &silence.MinPieceTenths);
    NotBelow(0, &silence.MinPieceTenths);
    ReadInt(key, "SilenceMaxPieceLen", &silence.MaxPieceTenths);
    NotBelow(0, &silence.MaxPieceTenths);
    ReadFlag(key, "SilenceTrim", &silence.TrimSilence);
}

void WriteSplitSettings(GroupWriter& out, CustomRange customRange, const SplitSettings& split) {
    out.CodeValue("SplitType", split.SplitType);
    out.Int("SplitFileAmount", split.SplitFileAmount);
    out.Text("SplitFileSizeEx", split.SplitFileSizeEx);
    out.CodeValue("SplitFileUnit", split.SplitFileUnit);
    out.Int("SplitTimeMin", split.SplitTimeMin);
    out.Int("SplitTimeSec", split.SplitTimeSec);
    if (customRange == CustomRange::Yes) {
        out.Text("SplitCustomFromSec", split.SplitCustomFromSec);
        out.Text("SplitCustomDuration", split.SplitCustomDuration);
    }
    out.Int("SilenceThresholdDb", split.silence.ThresholdDb);
    out.Int("SilenceMinLen", split.silence.MinSilenceTenths);
    out.Int("SilenceMinPieceLen", split.silence.MinPieceTenths);
    out.Int("SilenceMaxPieceLen", split.silence.MaxPieceTenths);
    out.Flag("SilenceTrim", split.silence.TrimSilence);
}

// Opens `group` for writing and runs write(writer) on it; false when the key cannot be
// created or a write failed.
template <typename WriteValues>
[[nodiscard]] bool SaveGroup(SettingsBackend& backend, const char* group, WriteValues write) {
    std::unique_ptr<SettingsKey> key = backend.CreateForWriting(group);
    if (!key) {
        return false;
    }
    GroupWriter out(*key);
    write(out);
    return out.Ok();
}

// A page save writes the groups it was asked for that the page has, in the order given by
// the caller's write function; with none of them nothing is created or written.
template <typename WriteValues>
[[nodiscard]] bool SavePageGroups(SettingsBackend& backend, const char* group, unsigned wanted, WriteValues write) {
    if (wanted == kNoGroup) {
        return false;
    }
    return SaveGroup(backend, group, [&](GroupWriter& out) { write(out, wanted); });
}

}  // namespace

// ---- Loading -------------------------------------------------------------------------

void LoadAppOptions(SettingsBackend& backend, AppOptions* options) {
    std::unique_ptr<SettingsKey> key = backend.OpenForReading(kOptionsKey);
    if (!key) {
        return;
    }
    ReadInt(*key, "StartPage", &options->StartPage);
    // A page index past the tabs would select no page; the first page stands in.
    if (options->StartPage < 0 || options->StartPage >= kPageCount) {
        options->StartPage = 0;
    }
    std::optional<std::vector<std::uint8_t>> rect = key->ReadBinary("WndPosition");
    if (rect && rect->size() == kRectBytes) {
        options->WndPosition = RectFromBytes(*rect);
    }
    ReadFlag(*key, "WndMaximized", &options->WndMaximized);
}

void LoadSplitterOptions(SettingsBackend& backend, SplitterOptions* options) {
    if (std::unique_ptr<SettingsKey> key = backend.OpenForReading(kSplitKey)) {
        ReadFlag(*key, "ReencodePieces", &options->ReencodePieces);
        ReadFlag(*key, "UseSameParams", &options->UseSameParams);
        ReadInt(*key, "MP3BitRate", &options->MP3BitRate);
        ReadInt(*key, "MP3SampleRate", &options->MP3SampleRate);
        ReadCode(*key, "MP3ChannelMode", &options->MP3ChannelMode);
        CheckChannelMode(&options->MP3ChannelMode);
        ReadFlag(*key, "BrowseFolder", &options->BrowseFolder);
        ReadInt(*key, "FadeInLen", &options->FadeInLen);
        NotBelow(0, &options->FadeInLen);
        ReadInt(*key, "FadeOutLen", &options->FadeOutLen);
        NotBelow(0, &options->FadeOutLen);
        ReadVolumeChange(*key, &options->VolumeChangeTenthsDb);
        ReadInt(*key, "ForwardOverlap", &options->ForwardOverlap);
        NotBelow(0, &options->ForwardOverlap);
        ReadInt(*key, "BackwardOverlap", &options->BackwardOverlap);
        NotBelow(0, &options->BackwardOverlap);
        ReadCode(*key, "ID3TrackNumType", &options->ID3TrackNumType);
        const int track = static_cast<int>(options->ID3TrackNumType);
        if (track < 0 || track > static_cast<int>(TrackNumberCode::Piece)) {
            options->ID3TrackNumType = TrackNumberCode::Source;
        }
        ReadCode(*key, "OutputFolderOpt", &options->OutputFolderOpt);
        CheckOutputFolder(&options->OutputFolderOpt);
        ReadText(*key, "SpecifiedOutputFolder", &options->SpecifiedOutputFolder);
        ReadFlag(*key, "CreateFolderForEachMP3", &options->CreateFolderForEachMP3);
        ReadFlag(*key, "CreateTreeDirs", &options->CreateTreeDirs);
        ReadFlag(*key, "SplitFirstNPieces", &options->SplitFirstNPieces);
        ReadInt(*key, "FirstPiecesNumber", &options->FirstPiecesNumber);
        NotBelow(1, &options->FirstPiecesNumber);
        ReadFlag(*key, "KeepID3tag", &options->KeepID3tag);
        ReadFreeText(*key, "OutputFileName", &options->OutputFileName);
        ReadInt(*key, "FilenameDigitNumber", &options->FilenameDigitNumber);
        ClampDigits(&options->FilenameDigitNumber);
        ReadInt(*key, "TitleDigitNumber", &options->TitleDigitNumber);
        ClampDigits(&options->TitleDigitNumber);
        ReadFreeText(*key, "ID3TitleFormat", &options->ID3TitleFormat);
        ReadCode(*key, "TargetExistsOpt", &options->TargetExistsOpt);
    }
    // The templates are never left empty.
    if (options->OutputFileName.empty()) {
        options->OutputFileName = kDefaultOutputFileName;
    }
    if (options->ID3TitleFormat.empty()) {
        options->ID3TitleFormat = kDefaultId3TitleFormat;
    }
}

void LoadJoinerOptions(SettingsBackend& backend, JoinerOptions* options) {
    std::unique_ptr<SettingsKey> key = backend.OpenForReading(kJoinKey);
    if (!key) {
        return;
    }
    ReadFlag(*key, "BrowseFolder", &options->BrowseFolder);
    ReadFlag(*key, "AutoMP3EncodingParam", &options->AutoMP3EncodingParam);
    ReadInt(*key, "MP3BitRate", &options->MP3BitRate);
    ReadInt(*key, "MP3SampleRate", &options->MP3SampleRate);
    ReadCode(*key, "MP3ChannelMode", &options->MP3ChannelMode);
    CheckChannelMode(&options->MP3ChannelMode);
    ReadCode(*key, "OutputFolderOpt", &options->OutputFolderOpt);
    CheckOutputFolder(&options->OutputFolderOpt);
    ReadText(*key, "SpecifiedOutputFolder", &options->SpecifiedOutputFolder);
    ReadFlag(*key, "CreateTreeDirs", &options->CreateTreeDirs);
    ReadFlag(*key, "AddPostfixAtEndOfFile", &options->AddPostfixAtEndOfFile);
    ReadCode(*key, "TargetExistsOpt", &options->TargetExistsOpt);
    ReadFlag(*key, "WriteChapters", &options->WriteChapters);
    ReadFlag(*key, "WriteCueSheet", &options->WriteCueSheet);
    ReadVolumeChange(*key, &options->VolumeChangeTenthsDb);
}

void LoadSplitterPageSettings(SettingsBackend& backend, SplitterPageSettings* settings) {
    if (std::unique_ptr<SettingsKey> key = backend.OpenForReading(kSplitKey)) {
        LoadSplitSettings(*key, CustomRange::No, &settings->split);
        ReadInt(*key, "WaveformSplit", &settings->WaveformSplit);
        // A share outside 1..999 thousandths would hide the waveform or the list: the page's own share.
        if (settings->WaveformSplit < 0 || settings->WaveformSplit >= 1000) settings->WaveformSplit = 0;
    }
}

void LoadBatchSplitterSettings(SettingsBackend& backend, BatchSplitterSettings* settings) {
    std::unique_ptr<SettingsKey> key = backend.OpenForReading(kBatchSplitKey);
    if (!key) {
        return;
    }
    ReadText(*key, "Folder", &settings->Folder);
    LoadSplitSettings(*key, CustomRange::Yes, &settings->split);
}

void LoadJoinerPageSettings(SettingsBackend& backend, JoinerPageSettings* settings) {
    std::unique_ptr<SettingsKey> key = backend.OpenForReading(kJoinKey);
    if (!key) {
        return;
    }
    ReadText(*key, "Folder", &settings->Folder);
    ReadFreeText(*key, "ID3Title", &settings->ID3Title);
    ReadFreeText(*key, "ID3Artist", &settings->ID3Artist);
    ReadFreeText(*key, "ID3Album", &settings->ID3Album);
    ReadFreeText(*key, "ID3Year", &settings->ID3Year);
    ReadFreeText(*key, "ID3Comment", &settings->ID3Comment);
    ReadFreeText(*key, "ID3GenreEx", &settings->ID3GenreEx);
    ReadFreeText(*key, "ID3TrackNo", &settings->ID3TrackNo);
}

void LoadBatchJoinerSettings(SettingsBackend& backend, BatchJoinerSettings* settings) {
    std::unique_ptr<SettingsKey> key = backend.OpenForReading(kBatchJoinKey);
    if (!key) {
        return;
    }
    ReadText(*key, "Folder", &settings->Folder);
    ReadCode(*key, "JoinType", &settings->JoinType);
    if (settings->JoinType != JoinTypeCode::Prepend && settings->JoinType != JoinTypeCode::Append) {
        settings->JoinType = JoinTypeCode::Prepend;
    }
}

// ---- Saving --------------------------------------------------------------------------

bool SaveAppOptions(SettingsBackend& backend, const AppOptions& options) {
    return SaveGroup(backend, kOptionsKey, [&](GroupWriter& out) {
        out.Int("StartPage", options.StartPage);
        out.Flag("WndMaximized", options.WndMaximized);
        out.Binary("WndPosition", RectToBytes(options.WndPosition));
    });
}

bool SaveSplitterOptions(SettingsBackend& backend, const SplitterOptions& options) {
    return SaveGroup(backend, kSplitKey, [&](GroupWriter& out) {
        out.Flag("ReencodePieces", options.ReencodePieces);
        out.Flag("UseSameParams", options.UseSameParams);
        out.Int("MP3BitRate", options.MP3BitRate);
        out.Int("MP3SampleRate", options.MP3SampleRate);
        out.CodeValue("MP3ChannelMode", options.MP3ChannelMode);
        out.Flag("BrowseFolder", options.BrowseFolder);
        out.Int("FadeInLen", options.FadeInLen);
        out.Int("FadeOutLen", options.FadeOutLen);
        out.Int("VolumeChange", options.VolumeChangeTenthsDb);
        out.Int("ForwardOverlap", options.ForwardOverlap);
        out.Int("BackwardOverlap", options.BackwardOverlap);
        out.CodeValue("ID3TrackNumType", options.ID3TrackNumType);
        out.CodeValue("OutputFolderOpt", options.OutputFolderOpt);
        out.Text("SpecifiedOutputFolder", options.SpecifiedOutputFolder);
        out.Flag("CreateFolderForEachMP3", options.CreateFolderForEachMP3);
        out.Flag("CreateTreeDirs", options.CreateTreeDirs);
        out.Flag("SplitFirstNPieces", options.SplitFirstNPieces);
        out.Int("FirstPiecesNumber", options.FirstPiecesNumber);
        out.Flag("KeepID3tag", options.KeepID3tag);
        out.Text("OutputFileName", options.OutputFileName);
        out.Int("FilenameDigitNumber", options.FilenameDigitNumber);
        out.Int("TitleDigitNumber", options.TitleDigitNumber);
        out.Text("ID3TitleFormat", options.ID3TitleFormat);
        out.CodeValue("TargetExistsOpt", options.TargetExistsOpt);
    });
}

bool SaveJoinerOptions(SettingsBackend& backend, const JoinerOptions& options) {
    return SaveGroup(backend, kJoinKey, [&](GroupWriter& out) {
        out.Flag("BrowseFolder", options.BrowseFolder);
        out.Flag("AutoMP3EncodingParam", options.AutoMP3EncodingParam);
        out.Int("MP3BitRate", options.MP3BitRate);
        out.Int("MP3SampleRate", options.MP3SampleRate);
        out.CodeValue("MP3ChannelMode", options.MP3ChannelMode);
        out.CodeValue("OutputFolderOpt", options.OutputFolderOpt);
        out.Text("SpecifiedOutputFolder", options.SpecifiedOutputFolder);
        out.Flag("CreateTreeDirs", options.CreateTreeDirs);
        out.Flag("AddPostfixAtEndOfFile", options.AddPostfixAtEndOfFile);
        out.CodeValue("TargetExistsOpt", options.TargetExistsOpt);
        out.Flag("WriteChapters", options.WriteChapters);
        out.Flag("WriteCueSheet", options.WriteCueSheet);
        out.Int("VolumeChange", options.VolumeChangeTenthsDb);
    });
}

bool SaveSplitterPageSettings(SettingsBackend& backend, const SplitterPageSettings& settings, unsigned groups) {
    return SavePageGroups(backend, kSplitKey, groups & kSplitGroup, [&](GroupWriter& out, unsigned) {
        WriteSplitSettings(out, CustomRange::No, settings.split);
        out.Int("WaveformSplit", settings.WaveformSplit);
    });
}

bool SaveBatchSplitterSettings(SettingsBackend& backend, const BatchSplitterSettings& settings, unsigned groups) {
    return SavePageGroups(backend, kBatchSplitKey, groups & (kFolderGroup | kSplitGroup),
                          [&](GroupWriter& out, unsigned wanted) {
                              if (wanted & kFolderGroup) {
                                  out.Text("Folder", settings.Folder);
                              }
                              if (wanted & kSplitGroup) {
                                  WriteSplitSettings(out, CustomRange::Yes, settings.split);
                              }
                          });
}

bool SaveJoinerPageSettings(SettingsBackend& backend, const JoinerPageSettings& settings, unsigned groups) {
    return SavePageGroups(backend, kJoinKey, groups & (kFolderGroup | kTagGroup),
                          [&](GroupWriter& out, unsigned wanted) {
                              if (wanted & kFolderGroup) {
                                  out.Text("Folder", settings.Folder);
                              }
                              if (wanted & kTagGroup) {
                                  out.Text("ID3Title", settings.ID3Title);
                                  out.Text("ID3Artist", settings.ID3Artist);
                                  out.Text("ID3Album", settings.ID3Album);
                                  out.Text("ID3Year", settings.ID3Year);
                                  out.Text("ID3Comment", settings.ID3Comment);
                                  out.Text("ID3TrackNo", settings.ID3TrackNo);
                                  out.Text("ID3GenreEx", settings.ID3GenreEx);
                              }
                          });
}

bool SaveBatchJoinerSettings(SettingsBackend& backend, const BatchJoinerSettings& settings, unsigned groups) {
    return SavePageGroups(backend, kBatchJoinKey, groups & (kFolderGroup | kJoinTypeGroup),
                          [&](GroupWriter& out, unsigned wanted) {
                              if (wanted & kFolderGroup) {
                                  out.Text("Folder", settings.Folder);
                              }
                              if (wanted & kJoinTypeGroup) {
                                  out.CodeValue("JoinType", settings.JoinType);
                              }
                          });
}

bool RunFirstRunStep(SettingsBackend& backend) {
    std::unique_ptr<SettingsKey> key = backend.CreateForWriting(kOptionsKey);
    int firstRun = 1;
    if (key) {
        ReadInt(*key, "FirstRun", &firstRun);
        if (firstRun != 0) {
            // A run that cannot note itself opens the help once more next time; nothing is lost.
            static_cast<void>(key->WriteDword("FirstRun", 0));
        }
    }
    return firstRun != 0;
}

}  // namespace qm
