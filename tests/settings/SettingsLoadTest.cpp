// Loading the option groups: the defaults of a first start, the checks applied to stored
// values, and stored values of the wrong type or size.

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"

namespace qm {
namespace {

using Value = MemorySettingsBackend::Value;
// One field of the loaded store, rendered as text so that every field fits one table.
using Field = std::function<std::string(const SettingsStore&)>;

template <typename T>
std::string Text(T value) {
    if constexpr (std::is_enum_v<T>) {
        return std::to_string(static_cast<int>(value));
    } else if constexpr (std::is_same_v<T, bool>) {
        return value ? "1" : "0";
    } else if constexpr (std::is_same_v<T, std::string>) {
        return value;
    } else {
        return std::to_string(value);
    }
}

#define FIELD(member) [](const SettingsStore& s) { return Text(s.member); }

Field RectField() {
    return [](const SettingsStore& s) {
        const WindowRect& r = s.app.WndPosition;
        return Text(r.left) + "," + Text(r.top) + "," + Text(r.right) + "," + Text(r.bottom);
    };
}

constexpr const char* kDocuments = "/home/ann/Documents";

SettingsStore& LoadAll(SettingsStore& store) {
    store.LoadAppGroup();
    store.LoadPageGroups();
    return store;
}

struct DefaultCase {
    const char* label;
    Field field;
    std::string expected;
};

// Every value of every group after a start with nothing stored.
const DefaultCase kDefaults[] = {
    {"StartPage", FIELD(app.StartPage), "0"},
    {"WndPosition", RectField(), "0,0,0,0"},
    {"WndMaximized", FIELD(app.WndMaximized), "1"},
    {"ReencodePieces", FIELD(splitterOptions.ReencodePieces), "0"},
    {"UseSameParams", FIELD(splitterOptions.UseSameParams), "1"},
    {"split MP3BitRate", FIELD(splitterOptions.MP3BitRate), "128"},
    {"split MP3SampleRate", FIELD(splitterOptions.MP3SampleRate), "44100"},
    {"split MP3ChannelMode", FIELD(splitterOptions.MP3ChannelMode), "1"},
    {"split BrowseFolder", FIELD(splitterOptions.BrowseFolder), "1"},
    {"FadeInLen", FIELD(splitterOptions.FadeInLen), "0"},
    {"FadeOutLen", FIELD(splitterOptions.FadeOutLen), "0"},
    {"split VolumeChange", FIELD(splitterOptions.VolumeChangeTenthsDb), "0"},
    {"ForwardOverlap", FIELD(splitterOptions.ForwardOverlap), "0"},
    {"BackwardOverlap", FIELD(splitterOptions.BackwardOverlap), "0"},
    {"ID3TrackNumType", FIELD(splitterOptions.ID3TrackNumType), "1"},
    {"split OutputFolderOpt", FIELD(splitterOptions.OutputFolderOpt), "299"},
    {"split SpecifiedOutputFolder", FIELD(splitterOptions.SpecifiedOutputFolder), kDocuments},
    {"CreateFolderForEachMP3", FIELD(splitterOptions.CreateFolderForEachMP3), "0"},
    {"split CreateTreeDirs", FIELD(splitterOptions.CreateTreeDirs), "0"},
    {"SplitFirstNPieces", FIELD(splitterOptions.SplitFirstNPieces), "0"},
    {"FirstPiecesNumber", FIELD(splitterOptions.FirstPiecesNumber), "1"},
    {"KeepID3tag", FIELD(splitterOptions.KeepID3tag), "1"},
    {"OutputFileName", FIELD(splitterOptions.OutputFileName), "%F%-%P%.mp3"},
    {"FilenameDigitNumber", FIELD(splitterOptions.FilenameDigitNumber), "0"},
    {"TitleDigitNumber", FIELD(splitterOptions.TitleDigitNumber), "0"},
    {"ID3TitleFormat", FIELD(splitterOptions.ID3TitleFormat), "%I% - %P%/%T%"},
    {"split TargetExistsOpt", FIELD(splitterOptions.TargetExistsOpt), "11"},
    {"page SplitType", FIELD(splitterPage.split.SplitType), "3"},
    {"page SplitFileAmount", FIELD(splitterPage.split.SplitFileAmount), "2"},
    {"page SplitFileSizeEx", FIELD(splitterPage.split.SplitFileSizeEx), "1"},
    {"page SplitFileUnit", FIELD(splitterPage.split.SplitFileUnit), "301"},
    {"page SplitTimeMin", FIELD(splitterPage.split.SplitTimeMin), "1"},
    {"page SplitTimeSec", FIELD(splitterPage.split.SplitTimeSec), "0"},
    {"page WaveformSplit", FIELD(splitterPage.WaveformSplit), "0"},
    {"batch Folder", FIELD(batchSplitter.Folder), ""},
    {"batch SplitType", FIELD(batchSplitter.split.SplitType), "0"},
    {"batch SplitFileAmount", FIELD(batchSplitter.split.SplitFileAmount), "2"},
    {"batch SplitFileSizeEx", FIELD(batchSplitter.split.SplitFileSizeEx), "1"},
    {"batch SplitFileUnit", FIELD(batchSplitter.split.SplitFileUnit), "301"},
    {"batch SplitTimeMin", FIELD(batchSplitter.split.SplitTimeMin), "1"},
    {"batch SplitTimeSec", FIELD(batchSplitter.split.SplitTimeSec), "0"},
    {"SplitCustomFromSec", FIELD(batchSplitter.split.SplitCustomFromSec), "0.0"},
    {"SplitCustomDuration", FIELD(batchSplitter.split.SplitCustomDuration), "1.0"},
    {"joiner Folder", FIELD(joinerPage.Folder), ""},
    {"ID3Title", FIELD(joinerPage.ID3Title), ""},
    {"ID3Artist", FIELD(joinerPage.ID3Artist), ""},
    {"ID3Album", FIELD(joinerPage.ID3Album), ""},
    {"ID3Year", FIELD(joinerPage.ID3Year), ""},
    {"ID3Comment", FIELD(joinerPage.ID3Comment), ""},
    {"ID3GenreEx", FIELD(joinerPage.ID3GenreEx), ""},
    {"ID3TrackNo", FIELD(joinerPage.ID3TrackNo), ""},
    {"join BrowseFolder", FIELD(joinerOptions.BrowseFolder), "1"},
    {"AutoMP3EncodingParam", FIELD(joinerOptions.AutoMP3EncodingParam), "1"},
    {"join MP3BitRate", FIELD(joinerOptions.MP3BitRate), "128"},
    {"join MP3SampleRate", FIELD(joinerOptions.MP3SampleRate), "44100"},
    {"join MP3ChannelMode", FIELD(joinerOptions.MP3ChannelMode), "1"},
    {"join OutputFolderOpt", FIELD(joinerOptions.OutputFolderOpt), "299"},
    {"join SpecifiedOutputFolder", FIELD(joinerOptions.SpecifiedOutputFolder), kDocuments},
    {"join CreateTreeDirs", FIELD(joinerOptions.CreateTreeDirs), "0"},
    {"AddPostfixAtEndOfFile", FIELD(joinerOptions.AddPostfixAtEndOfFile), "1"},
    {"join TargetExistsOpt", FIELD(joinerOptions.TargetExistsOpt), "11"},
    {"WriteChapters", FIELD(joinerOptions.WriteChapters), "0"},
    {"WriteCueSheet", FIELD(joinerOptions.WriteCueSheet), "0"},
    {"join VolumeChange", FIELD(joinerOptions.VolumeChangeTenthsDb), "0"},
    {"batch joiner Folder", FIELD(batchJoiner.Folder), ""},
    {"JoinType", FIELD(batchJoiner.JoinType), "0"},
};

const char* const kAllKeys[] = {kOptionsKey, kSplitKey, kBatchSplitKey, kJoinKey, kBatchJoinKey};

// A first start (no keys at all) and a start whose keys exist but hold none of the values
// both give every default.
TEST(SettingsLoad, NothingStoredGivesEveryDefault) {
    for (bool keysExist : {false, true}) {
        MemorySettingsBackend backend;
        if (keysExist) {
            for (const char* key : kAllKeys) {
                backend.Put(key, "Unrelated", std::int32_t{5});
            }
        }
        SettingsStore store(backend, kDocuments);
        LoadAll(store);
        for (const DefaultCase& c : kDefaults) {
            EXPECT_EQ(c.field(store), c.expected) << c.label << (keysExist ? " (keys exist)" : "");
        }
    }
}

// Without a documents folder, outputs go beside their sources and the specific folder is empty.
TEST(SettingsLoad, UnknownDocumentsFolderMeansSameFolderAsSource) {
    MemorySettingsBackend backend;
    SettingsStore store(backend, "");
    LoadAll(store);
    EXPECT_EQ(store.splitterOptions.OutputFolderOpt, OutputFolderCode::SameAsSource);
    EXPECT_EQ(store.splitterOptions.SpecifiedOutputFolder, "");
    EXPECT_EQ(store.joinerOptions.OutputFolderOpt, OutputFolderCode::SameAsSource);
    EXPECT_EQ(store.joinerOptions.SpecifiedOutputFolder, "");
}

struct CheckCase {
    const char* key;
    const char* name;
    Value stored;
    Field field;
    std::string expected;
};

std::vector<std::uint8_t> RectBytes(std::initializer_list<std::uint8_t> bytes) { return bytes; }

const std::string kLongPath = "/srv/" + std::string(700, 'x') + "/M\xC3\xBCsik";  // > 520 bytes
const std::string kLongSize = std::string(300, '1');                              // > 260 bytes

// A stored value in, the field after loading out.
const CheckCase kChecks[] = {
    // "Options"
    {kOptionsKey, "StartPage", std::int32_t{6}, FIELD(app.StartPage), "6"},
    {kOptionsKey, "StartPage", std::int32_t{7}, FIELD(app.StartPage), "0"},
    {kOptionsKey, "StartPage", std::int32_t{-1}, FIELD(app.StartPage), "0"},
    {kOptionsKey, "WndMaximized", std::int32_t{0}, FIELD(app.WndMaximized), "0"},
    {kOptionsKey, "WndMaximized", std::int32_t{5}, FIELD(app.WndMaximized), "1"},
    {kOptionsKey, "WndPosition", RectBytes({10, 0, 0, 0, 0xEC, 0xFF, 0xFF, 0xFF, 0x2A, 3, 0, 0, 0x6C, 2, 0, 0}),
     RectField(), "10,-20,810,620"},
    {kOptionsKey, "WndPosition", RectBytes({10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0, 40, 0, 0}), RectField(), "0,0,0,0"},
    {kOptionsKey, "WndPosition", std::int32_t{10}, RectField(), "0,0,0,0"},
    // Splitter options
    {kSplitKey, "ReencodePieces", std::int32_t{1}, FIELD(splitterOptions.ReencodePieces), "1"},
    {kSplitKey, "UseSameParams", std::int32_t{0}, FIELD(splitterOptions.UseSameParams), "0"},
    {kSplitKey, "MP3BitRate", std::int32_t{320}, FIELD(splitterOptions.MP3BitRate), "320"},
    {kSplitKey, "MP3BitRate", std::string("192"), FIELD(splitterOptions.MP3BitRate), "128"},
    {kSplitKey, "MP3SampleRate", std::int32_t{22050}, FIELD(splitterOptions.MP3SampleRate), "22050"},
    {kSplitKey, "MP3ChannelMode", std::int32_t{0}, FIELD(splitterOptions.MP3ChannelMode), "0"},
    {kSplitKey, "MP3ChannelMode", std::int32_t{2}, FIELD(splitterOptions.MP3ChannelMode), "1"},
    {kSplitKey, "MP3ChannelMode", std::int32_t{3}, FIELD(splitterOptions.MP3ChannelMode), "3"},
    {kSplitKey, "MP3ChannelMode", std::int32_t{4}, FIELD(splitterOptions.MP3ChannelMode), "1"},
    {kSplitKey, "MP3ChannelMode", std::int32_t{-1}, FIELD(splitterOptions.MP3ChannelMode), "1"},
    {kSplitKey, "BrowseFolder", std::int32_t{0}, FIELD(splitterOptions.BrowseFolder), "0"},
    {kSplitKey, "FadeInLen", std::int32_t{-5}, FIELD(splitterOptions.FadeInLen), "0"},
    {kSplitKey, "FadeInLen", std::int32_t{27}, FIELD(splitterOptions.FadeInLen), "27"},
    {kSplitKey, "FadeOutLen", std::int32_t{-1}, FIELD(splitterOptions.FadeOutLen), "0"},
    {kSplitKey, "FadeOutLen", std::int32_t{15}, FIELD(splitterOptions.FadeOutLen), "15"},
    {kSplitKey, "VolumeChange", std::int32_t{-60}, FIELD(splitterOptions.VolumeChangeTenthsDb), "-60"},
    {kSplitKey, "VolumeChange", std::int32_t{1000}, FIELD(splitterOptions.VolumeChangeTenthsDb), "1000"},
    {kSplitKey, "VolumeChange", std::int32_t{1001}, FIELD(splitterOptions.VolumeChangeTenthsDb), "1000"},
    {kSplitKey, "VolumeChange", std::int32_t{-5000}, FIELD(splitterOptions.VolumeChangeTenthsDb), "-1000"},
    {kSplitKey, "VolumeChange", std::string("-6"), FIELD(splitterOptions.VolumeChangeTenthsDb), "0"},
    {kSplitKey, "ForwardOverlap", std::int32_t{-10}, FIELD(splitterOptions.ForwardOverlap), "0"},
    {kSplitKey, "ForwardOverlap", std::int32_t{30}, FIELD(splitterOptions.ForwardOverlap), "30"},
    {kSplitKey, "BackwardOverlap", std::int32_t{-1}, FIELD(splitterOptions.BackwardOverlap), "0"},
    {kSplitKey, "BackwardOverlap", std::int32_t{1}, FIELD(splitterOptions.BackwardOverlap), "1"},
    {kSplitKey, "ID3TrackNumType", std::int32_t{9}, FIELD(splitterOptions.ID3TrackNumType), "1"},
    {kSplitKey, "ID3TrackNumType", std::int32_t{-1}, FIELD(splitterOptions.ID3TrackNumType), "1"},
    {kSplitKey, "ID3TrackNumType", std::int32_t{3}, FIELD(splitterOptions.ID3TrackNumType), "1"},
    {kSplitKey, "ID3TrackNumType", std::int32_t{0}, FIELD(splitterOptions.ID3TrackNumType), "0"},
    {kSplitKey, "ID3TrackNumType", std::int32_t{2}, FIELD(splitterOptions.ID3TrackNumType), "2"},
    {kSplitKey, "OutputFolderOpt", std::int32_t{0}, FIELD(splitterOptions.OutputFolderOpt), "199"},
    {kSplitKey, "OutputFolderOpt", std::int32_t{300}, FIELD(splitterOptions.OutputFolderOpt), "199"},
    {kSplitKey, "OutputFolderOpt", std::int32_t{199}, FIELD(splitterOptions.OutputFolderOpt), "199"},
    {kSplitKey, "SpecifiedOutputFolder", std::string(""), FIELD(splitterOptions.SpecifiedOutputFolder), ""},
    {kSplitKey, "SpecifiedOutputFolder", kLongPath, FIELD(splitterOptions.SpecifiedOutputFolder), kLongPath},
    {kSplitKey, "CreateFolderForEachMP3", std::int32_t{1}, FIELD(splitterOptions.CreateFolderForEachMP3), "1"},
    {kSplitKey, "CreateTreeDirs", std::int32_t{1}, FIELD(splitterOptions.CreateTreeDirs), "1"},
    {kSplitKey, "SplitFirstNPieces", std::int32_t{1}, FIELD(splitterOptions.SplitFirstNPieces), "1"},
    {kSplitKey, "FirstPiecesNumber", std::int32_t{0}, FIELD(splitterOptions.FirstPiecesNumber), "1"},
    {kSplitKey, "FirstPiecesNumber", std::int32_t{-4}, FIELD(splitterOptions.FirstPiecesNumber), "1"},
    {kSplitKey, "FirstPiecesNumber", std::int32_t{2}, FIELD(splitterOptions.FirstPiecesNumber), "2"},
    {kSplitKey, "KeepID3tag", std::int32_t{0}, FIELD(splitterOptions.KeepID3tag), "0"},
    {kSplitKey, "OutputFileName", std::string(""), FIELD(splitterOptions.OutputFileName), "%F%-%P%.mp3"},
    {kSplitKey, "OutputFileName", std::string("%S%. %I%.mp3"), FIELD(splitterOptions.OutputFileName), "%S%. %I%.mp3"},
    {kSplitKey, "FilenameDigitNumber", std::int32_t{5000}, FIELD(splitterOptions.FilenameDigitNumber), "1000"},
    {kSplitKey, "FilenameDigitNumber", std::int32_t{1001}, FIELD(splitterOptions.FilenameDigitNumber), "1000"},
    {kSplitKey, "FilenameDigitNumber", std::int32_t{1000}, FIELD(splitterOptions.FilenameDigitNumber), "1000"},
    {kSplitKey, "FilenameDigitNumber", std::int32_t{-3}, FIELD(splitterOptions.FilenameDigitNumber), "0"},
    {kSplitKey, "FilenameDigitNumber", std::int32_t{4}, FIELD(splitterOptions.FilenameDigitNumber), "4"},
    {kSplitKey, "TitleDigitNumber", std::int32_t{5000}, FIELD(splitterOptions.TitleDigitNumber), "1000"},
    {kSplitKey, "TitleDigitNumber", std::int32_t{-1}, FIELD(splitterOptions.TitleDigitNumber), "0"},
    {kSplitKey, "TitleDigitNumber", std::int32_t{2}, FIELD(splitterOptions.TitleDigitNumber), "2"},
    {kSplitKey, "ID3TitleFormat", std::string(""), FIELD(splitterOptions.ID3TitleFormat), "%I% - %P%/%T%"},
    {kSplitKey, "ID3TitleFormat", std::string("%P%"), FIELD(splitterOptions.ID3TitleFormat), "%P%"},
    {kSplitKey, "TargetExistsOpt", std::int32_t{33}, FIELD(splitterOptions.TargetExistsOpt), "33"},
    {kSplitKey, "TargetExistsOpt", std::int32_t{5}, FIELD(splitterOptions.TargetExistsOpt), "5"},
    // Manual splitter page (same key)
    {kSplitKey, "WaveformSplit", std::int32_t{450}, FIELD(splitterPage.WaveformSplit), "450"},
    {kSplitKey, "WaveformSplit", std::int32_t{1000}, FIELD(splitterPage.WaveformSplit), "0"},
    {kSplitKey, "WaveformSplit", std::int32_t{-2}, FIELD(splitterPage.WaveformSplit), "0"},
    {kSplitKey, "SplitType", std::int32_t{7}, FIELD(splitterPage.split.SplitType), "0"},
    {kSplitKey, "SplitType", std::int32_t{-1}, FIELD(splitterPage.split.SplitType), "0"},
    {kSplitKey, "SplitType", std::int32_t{2}, FIELD(splitterPage.split.SplitType), "2"},
    {kSplitKey, "SplitType", std::int32_t{0}, FIELD(splitterPage.split.SplitType), "0"},
    {kSplitKey, "SplitFileAmount", std::int32_t{-1}, FIELD(splitterPage.split.SplitFileAmount), "1"},
    {kSplitKey, "SplitFileAmount", std::int32_t{0}, FIELD(splitterPage.split.SplitFileAmount), "1"},
    {kSplitKey, "SplitFileAmount", std::int32_t{5}, FIELD(splitterPage.split.SplitFileAmount), "5"},
    {kSplitKey, "SplitFileSizeEx", std::string("2.5"), FIELD(splitterPage.split.SplitFileSizeEx), "2.5"},
    {kSplitKey, "SplitFileSizeEx", std::string(""), FIELD(splitterPage.split.SplitFileSizeEx), ""},
    {kSplitKey, "SplitFileSizeEx", kLongSize, FIELD(splitterPage.split.SplitFileSizeEx), kLongSize},
    {kSplitKey, "SplitFileSizeEx", std::int32_t{3}, FIELD(splitterPage.split.SplitFileSizeEx), "1"},
    {kSplitKey, "SplitFileUnit", std::int32_t{201}, FIELD(splitterPage.split.SplitFileUnit), "201"},
    {kSplitKey, "SplitFileUnit", std::int32_t{401}, FIELD(splitterPage.split.SplitFileUnit), "401"},
    {kSplitKey, "SplitFileUnit", std::int32_t{999}, FIELD(splitterPage.split.SplitFileUnit), "301"},
    {kSplitKey, "SplitTimeMin", std::int32_t{-2}, FIELD(splitterPage.split.SplitTimeMin), "0"},
    {kSplitKey, "SplitTimeMin", std::int32_t{90}, FIELD(splitterPage.split.SplitTimeMin), "90"},
    {kSplitKey, "SplitTimeSec", std::int32_t{-1}, FIELD(splitterPage.split.SplitTimeSec), "0"},
    {kSplitKey, "SplitTimeSec", std::int32_t{59}, FIELD(splitterPage.split.SplitTimeSec), "59"},
    // Batch splitter
    {kBatchSplitKey, "Folder", kLongPath, FIELD(batchSplitter.Folder), kLongPath},
    {kSplitKey, "SplitType", std::int32_t{4}, FIELD(splitterPage.split.SplitType), "0"},
    {kBatchSplitKey, "SplitType", std::int32_t{6}, FIELD(batchSplitter.split.SplitType), "0"},
    {kBatchSplitKey, "SplitType", std::int32_t{5}, FIELD(batchSplitter.split.SplitType), "5"},
    {kBatchSplitKey, "SilenceThresholdDb", std::int32_t{0}, FIELD(batchSplitter.split.silence.ThresholdDb), "-1"},
    {kSplitKey, "SilenceThresholdDb", std::int32_t{-200}, FIELD(splitterPage.split.silence.ThresholdDb), "-96"},
    {kSplitKey, "SilenceMinLen", std::int32_t{0}, FIELD(splitterPage.split.silence.MinSilenceTenths), "1"},
    {kBatchSplitKey, "SplitType", std::int32_t{3}, FIELD(batchSplitter.split.SplitType), "3"},
    {kBatchSplitKey, "SplitFileAmount", std::int32_t{-7}, FIELD(batchSplitter.split.SplitFileAmount), "1"},
    {kBatchSplitKey, "SplitFileSizeEx", std::string("700"), FIELD(batchSplitter.split.SplitFileSizeEx), "700"},
    {kBatchSplitKey, "SplitFileUnit", std::int32_t{201}, FIELD(batchSplitter.split.SplitFileUnit), "201"},
    {kBatchSplitKey, "SplitFileUnit", std::int32_t{0}, FIELD(batchSplitter.split.SplitFileUnit), "301"},
    {kBatchSplitKey, "SplitTimeMin", std::int32_t{-1}, FIELD(batchSplitter.split.SplitTimeMin), "0"},
    {kBatchSplitKey, "SplitTimeSec", std::int32_t{-9}, FIELD(batchSplitter.split.SplitTimeSec), "0"},
    {kBatchSplitKey, "SplitCustomFromSec", std::string("12.5"), FIELD(batchSplitter.split.SplitCustomFromSec), "12.5"},
    {kBatchSplitKey, "SplitCustomDuration", std::string("0"), FIELD(batchSplitter.split.SplitCustomDuration), "0"},
    // Joiner page (tag fields)
    {kJoinKey, "Folder", std::string("/music/in"), FIELD(joinerPage.Folder), "/music/in"},
    {kJoinKey, "ID3Title", std::string("Live \xE2\x80\x93 Side A"), FIELD(joinerPage.ID3Title),
     "Live \xE2\x80\x93 Side A"},
    {kJoinKey, "ID3Artist", std::string("Ann"), FIELD(joinerPage.ID3Artist), "Ann"},
    {kJoinKey, "ID3Album", std::string("Tapes"), FIELD(joinerPage.ID3Album), "Tapes"},
    {kJoinKey, "ID3Year", std::string("1987"), FIELD(joinerPage.ID3Year), "1987"},
    {kJoinKey, "ID3Comment", std::string("two\r\nlines"), FIELD(joinerPage.ID3Comment), "two\r\nlines"},
    {kJoinKey, "ID3GenreEx", std::string("Jazz"), FIELD(joinerPage.ID3GenreEx), "Jazz"},
    {kJoinKey, "ID3TrackNo", std::string("07"), FIELD(joinerPage.ID3TrackNo), "07"},
    // Joiner options (same key)
    {kJoinKey, "BrowseFolder", std::int32_t{0}, FIELD(joinerOptions.BrowseFolder), "0"},
    {kJoinKey, "AutoMP3EncodingParam", std::int32_t{0}, FIELD(joinerOptions.AutoMP3EncodingParam), "0"},
    {kJoinKey, "MP3BitRate", std::int32_t{64}, FIELD(joinerOptions.MP3BitRate), "64"},
    {kJoinKey, "MP3SampleRate", std::int32_t{8000}, FIELD(joinerOptions.MP3SampleRate), "8000"},
    {kJoinKey, "MP3ChannelMode", std::int32_t{2}, FIELD(joinerOptions.MP3ChannelMode), "1"},
    {kJoinKey, "MP3ChannelMode", std::int32_t{3}, FIELD(joinerOptions.MP3ChannelMode), "3"},
    {kJoinKey, "OutputFolderOpt", std::int32_t{0}, FIELD(joinerOptions.OutputFolderOpt), "199"},
    {kJoinKey, "OutputFolderOpt", std::int32_t{299}, FIELD(joinerOptions.OutputFolderOpt), "299"},
    {kJoinKey, "SpecifiedOutputFolder", kLongPath, FIELD(joinerOptions.SpecifiedOutputFolder), kLongPath},
    {kJoinKey, "CreateTreeDirs", std::int32_t{1}, FIELD(joinerOptions.CreateTreeDirs), "1"},
    {kJoinKey, "AddPostfixAtEndOfFile", std::int32_t{0}, FIELD(joinerOptions.AddPostfixAtEndOfFile), "0"},
    {kJoinKey, "TargetExistsOpt", std::int32_t{22}, FIELD(joinerOptions.TargetExistsOpt), "22"},
    {kJoinKey, "WriteChapters", std::int32_t{1}, FIELD(joinerOptions.WriteChapters), "1"},
    {kJoinKey, "VolumeChange", std::int32_t{25}, FIELD(joinerOptions.VolumeChangeTenthsDb), "25"},
    {kJoinKey, "VolumeChange", std::int32_t{-1001}, FIELD(joinerOptions.VolumeChangeTenthsDb), "-1000"},
    // Batch joiner
    {kBatchJoinKey, "Folder", std::string("/music/main"), FIELD(batchJoiner.Folder), "/music/main"},
    {kBatchJoinKey, "JoinType", std::int32_t{5}, FIELD(batchJoiner.JoinType), "0"},
    {kBatchJoinKey, "JoinType", std::int32_t{-1}, FIELD(batchJoiner.JoinType), "0"},
    {kBatchJoinKey, "JoinType", std::int32_t{1}, FIELD(batchJoiner.JoinType), "1"},
};

std::string Describe(const Value& value) {
    if (const auto* number = std::get_if<std::int32_t>(&value)) {
        return "DWORD " + std::to_string(*number);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return "text \"" + text->substr(0, 40) + "\"";
    }
    return "binary of " + std::to_string(std::get<std::vector<std::uint8_t>>(value).size());
}

TEST(SettingsLoad, StoredValuesPassTheirChecks) {
    for (const CheckCase& c : kChecks) {
        MemorySettingsBackend backend;
        backend.Put(c.key, c.name, c.stored);
        SettingsStore store(backend, kDocuments);
        LoadAll(store);
        EXPECT_EQ(c.field(store), c.expected) << c.key << " " << c.name << " = " << Describe(c.stored);
    }
}

// The manual splitter page and the splitter options share one key: each reads only its own
// names, so a stored SplitType does not reach the splitter options and vice versa.
TEST(SettingsLoad, SharedKeysKeepTheirOwnersApart) {
    MemorySettingsBackend backend;
    backend.Put(kSplitKey, "SplitType", std::int32_t{1});
    backend.Put(kSplitKey, "BrowseFolder", std::int32_t{0});
    backend.Put(kJoinKey, "Folder", std::string("/a"));
    backend.Put(kJoinKey, "BrowseFolder", std::int32_t{0});
    SettingsStore store(backend, kDocuments);
    LoadAll(store);
    EXPECT_EQ(store.splitterPage.split.SplitType, SplitTypeCode::ByCount);
    EXPECT_EQ(store.batchSplitter.split.SplitType, SplitTypeCode::BySize);
    EXPECT_FALSE(store.splitterOptions.BrowseFolder);
    EXPECT_FALSE(store.joinerOptions.BrowseFolder);
    EXPECT_EQ(store.joinerPage.Folder, "/a");
    EXPECT_EQ(store.batchJoiner.Folder, "");
}

// A store that cannot be opened is silent: every group keeps its defaults.
TEST(SettingsLoad, UnopenableStoreKeepsDefaults) {
    MemorySettingsBackend backend;
    backend.Put(kSplitKey, "MP3BitRate", std::int32_t{320});
    backend.Put(kOptionsKey, "StartPage", std::int32_t{3});
    backend.SetOpenFails(true);
    SettingsStore store(backend, kDocuments);
    LoadAll(store);
    EXPECT_EQ(store.splitterOptions, MakeSplitterOptions(kDocuments));
    EXPECT_EQ(store.app, AppOptions{});
}

// Loading reads over what the fields hold: an absent value keeps the caller's value, not
// the built-in default.
TEST(SettingsLoad, AbsentValueKeepsTheCallersValue) {
    MemorySettingsBackend backend;
    backend.Put(kBatchJoinKey, "Folder", std::string("/x"));
    BatchJoinerSettings settings;
    settings.JoinType = JoinTypeCode::Append;
    LoadBatchJoinerSettings(backend, &settings);
    EXPECT_EQ(settings.JoinType, JoinTypeCode::Append);
    EXPECT_EQ(settings.Folder, "/x");
}

TEST(SettingsLoad, SizeUnitBytes) {
    EXPECT_EQ(SizeUnitBytes(SizeUnitCode::KB), 1024);
    EXPECT_EQ(SizeUnitBytes(SizeUnitCode::MB), 1048576);
    EXPECT_EQ(SizeUnitBytes(SizeUnitCode::GB), 1073741824);
    EXPECT_EQ(SizeUnitBytes(static_cast<SizeUnitCode>(300)), 0);
}

}  // namespace
}  // namespace qm
