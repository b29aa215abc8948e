// Saving the option groups: the order of writes, the page groups, the moments of writing at
// exit and on "Add Folder", the first-run step, and a save-and-load round trip.

#include <gtest/gtest.h>

#include <functional>

#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"

namespace qm {
namespace {

using Names = std::vector<std::string>;
using Write = MemorySettingsBackend::Write;

const Names kAppOrder = {"StartPage", "WndMaximized", "WndPosition"};
const Names kSplitterOptionsOrder = {"ReencodePieces",
                                     "UseSameParams",
                                     "MP3BitRate",
                                     "MP3SampleRate",
                                     "MP3ChannelMode",
                                     "BrowseFolder",
                                     "FadeInLen",
                                     "FadeOutLen",
                                     "VolumeChange",
                                     "ForwardOverlap",
                                     "BackwardOverlap",
                                     "ID3TrackNumType",
                                     "OutputFolderOpt",
                                     "SpecifiedOutputFolder",
                                     "CreateFolderForEachMP3",
                                     "CreateTreeDirs",
                                     "SplitFirstNPieces",
                                     "FirstPiecesNumber",
                                     "KeepID3tag",
                                     "OutputFileName",
                                     "FilenameDigitNumber",
                                     "TitleDigitNumber",
                                     "ID3TitleFormat",
                                     "TargetExistsOpt"};
const Names kJoinerOptionsOrder = {
    "BrowseFolder",    "AutoMP3EncodingParam",  "MP3BitRate",     "MP3SampleRate",         "MP3ChannelMode",
    "OutputFolderOpt", "SpecifiedOutputFolder", "CreateTreeDirs", "AddPostfixAtEndOfFile", "TargetExistsOpt",
    "WriteChapters",   "WriteCueSheet",         "VolumeChange"};
const Names kSplitOrder = {"SplitType",          "SplitFileAmount",    "SplitFileSizeEx",    "SplitFileUnit",
                           "SplitTimeMin",       "SplitTimeSec",       "SilenceThresholdDb", "SilenceMinLen",
                           "SilenceMinPieceLen", "SilenceMaxPieceLen", "SilenceTrim"};
const Names kSplitterPageOrder = [] {
    Names names = kSplitOrder;
    names.push_back("WaveformSplit");
    return names;
}();
const Names kBatchSplitOrder = {"SplitType",          "SplitFileAmount", "SplitFileSizeEx",    "SplitFileUnit",
                                "SplitTimeMin",       "SplitTimeSec",    "SplitCustomFromSec", "SplitCustomDuration",
                                "SilenceThresholdDb", "SilenceMinLen",   "SilenceMinPieceLen", "SilenceMaxPieceLen",
                                "SilenceTrim"};
const Names kTagOrder = {"ID3Title", "ID3Artist", "ID3Album", "ID3Year", "ID3Comment", "ID3TrackNo", "ID3GenreEx"};

Names Concat(Names a, const Names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One call of a save operation on a default store, and what it must write.
struct SaveCase {
    const char* label;
    std::function<bool(SettingsBackend&, const SettingsStore&)> save;
    const char* key;
    bool expectedResult;
    Names expectedNames;
};

const SaveCase kSaves[] = {
    {"app", [](SettingsBackend& b, const SettingsStore& s) { return SaveAppOptions(b, s.app); }, kOptionsKey, true,
     kAppOrder},
    {"splitter options",
     [](SettingsBackend& b, const SettingsStore& s) { return SaveSplitterOptions(b, s.splitterOptions); }, kSplitKey,
     true, kSplitterOptionsOrder},
    {"joiner options", [](SettingsBackend& b, const SettingsStore& s) { return SaveJoinerOptions(b, s.joinerOptions); },
     kJoinKey, true, kJoinerOptionsOrder},
    {"splitter page, split",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveSplitterPageSettings(b, s.splitterPage, kSplitGroup);
     },
     kSplitKey, true, kSplitterPageOrder},
    {"splitter page, every flag",
     [](SettingsBackend& b, const SettingsStore& s) { return SaveSplitterPageSettings(b, s.splitterPage, ~0u); },
     kSplitKey, true, kSplitterPageOrder},
    {"splitter page, folder only",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveSplitterPageSettings(b, s.splitterPage, kFolderGroup);
     },
     kSplitKey,
     false,
     {}},
    {"batch splitter, no flag",
     [](SettingsBackend& b, const SettingsStore& s) { return SaveBatchSplitterSettings(b, s.batchSplitter, kNoGroup); },
     kBatchSplitKey,
     false,
     {}},
    {"batch splitter, folder",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveBatchSplitterSettings(b, s.batchSplitter, kFolderGroup);
     },
     kBatchSplitKey,
     true,
     {"Folder"}},
    {"batch splitter, split",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveBatchSplitterSettings(b, s.batchSplitter, kSplitGroup);
     },
     kBatchSplitKey, true, kBatchSplitOrder},
    {"batch splitter, folder and split",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveBatchSplitterSettings(b, s.batchSplitter, kFolderGroup | kSplitGroup);
     },
     kBatchSplitKey, true, Concat({"Folder"}, kBatchSplitOrder)},
    {"batch splitter, tags",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveBatchSplitterSettings(b, s.batchSplitter, kTagGroup | kJoinTypeGroup);
     },
     kBatchSplitKey,
     false,
     {}},
    {"joiner page, tags",
     [](SettingsBackend& b, const SettingsStore& s) { return SaveJoinerPageSettings(b, s.joinerPage, kTagGroup); },
     kJoinKey, true, kTagOrder},
    {"joiner page, folder and tags",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveJoinerPageSettings(b, s.joinerPage, kFolderGroup | kTagGroup);
     },
     kJoinKey, true, Concat({"Folder"}, kTagOrder)},
    {"joiner page, no flag",
     [](SettingsBackend& b, const SettingsStore& s) { return SaveJoinerPageSettings(b, s.joinerPage, kNoGroup); },
     kJoinKey,
     false,
     {}},
    {"batch joiner, join type",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveBatchJoinerSettings(b, s.batchJoiner, kJoinTypeGroup);
     },
     kBatchJoinKey,
     true,
     {"JoinType"}},
    {"batch joiner, folder and split",
     [](SettingsBackend& b, const SettingsStore& s) {
         return SaveBatchJoinerSettings(b, s.batchJoiner, kFolderGroup | kSplitGroup);
     },
     kBatchJoinKey,
     true,
     {"Folder"}},
    {"batch joiner, no flag",
     [](SettingsBackend& b, const SettingsStore& s) { return SaveBatchJoinerSettings(b, s.batchJoiner, kNoGroup); },
     kBatchJoinKey,
     false,
     {}},
};

// Each save writes its values in its fixed order, to its own key only; a page save with
// none of its groups named writes nothing, does not create the key, and reports false.
TEST(SettingsSave, WriteOrdersAndPageGroups) {
    for (const SaveCase& c : kSaves) {
        MemorySettingsBackend backend;
        SettingsStore store(backend, "/docs");
        EXPECT_EQ(c.save(backend, store), c.expectedResult) << c.label;
        EXPECT_EQ(backend.WrittenNames(c.key), c.expectedNames) << c.label;
        EXPECT_EQ(backend.Writes().size(), c.expectedNames.size()) << c.label << ": other keys";
        EXPECT_EQ(backend.HasGroup(c.key), !c.expectedNames.empty()) << c.label;
    }
}

// A key that cannot be created is skipped silently: nothing written, false reported.
TEST(SettingsSave, UncreatableKeyWritesNothing) {
    for (const SaveCase& c : kSaves) {
        MemorySettingsBackend backend;
        backend.SetCreateFails(true);
        SettingsStore store(backend, "/docs");
        EXPECT_FALSE(c.save(backend, store)) << c.label;
        EXPECT_TRUE(backend.Writes().empty()) << c.label;
    }
}

TEST(SettingsSave, WindowRectangleIsSixteenLittleEndianBytes) {
    MemorySettingsBackend backend;
    AppOptions app;
    app.WndPosition = {1, -2, 0x01020304, 0};
    ASSERT_TRUE(SaveAppOptions(backend, app));
    const std::vector<std::uint8_t> expected = {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x04, 3, 2, 0x01, 0, 0, 0, 0};
    EXPECT_EQ(backend.Get(kOptionsKey, "WndPosition"), std::optional<MemorySettingsBackend::Value>(expected));
}

// On/off values are stored as DWORD 1 or 0, codes as their numbers, texts whole.
TEST(SettingsSave, StoredRepresentation) {
    MemorySettingsBackend backend;
    SplitterOptions options = MakeSplitterOptions("/docs");
    options.ReencodePieces = true;
    options.KeepID3tag = false;
    options.TargetExistsOpt = TargetExistsCode::Skip;
    options.MP3ChannelMode = ChannelModeCode::Mono;
    SaveSplitterOptions(backend, options);
    using V = MemorySettingsBackend::Value;
    EXPECT_EQ(backend.Get(kSplitKey, "ReencodePieces"), std::optional<V>(std::int32_t{1}));
    EXPECT_EQ(backend.Get(kSplitKey, "KeepID3tag"), std::optional<V>(std::int32_t{0}));
    EXPECT_EQ(backend.Get(kSplitKey, "TargetExistsOpt"), std::optional<V>(std::int32_t{33}));
    EXPECT_EQ(backend.Get(kSplitKey, "MP3ChannelMode"), std::optional<V>(std::int32_t{3}));
    EXPECT_EQ(backend.Get(kSplitKey, "OutputFolderOpt"), std::optional<V>(std::int32_t{299}));
    EXPECT_EQ(backend.Get(kSplitKey, "SpecifiedOutputFolder"), std::optional<V>(std::string("/docs")));
}

// Which pages had a window in this run, and what is written at exit, in order.
struct ExitCase {
    const char* label;
    std::vector<SettingsPage> shown;
    std::vector<Write> expected;
};

std::vector<Write> Writes(const char* key, const Names& names) {
    std::vector<Write> writes;
    for (const std::string& name : names) {
        writes.push_back({key, name});
    }
    return writes;
}

std::vector<Write> operator+(std::vector<Write> a, const std::vector<Write>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const ExitCase kExits[] = {
    {"no page shown", {}, Writes(kOptionsKey, kAppOrder)},
    {"splitter options only",
     {SettingsPage::SplitterOptions},
     Writes(kSplitKey, kSplitterOptionsOrder) + Writes(kOptionsKey, kAppOrder)},
    {"batch splitter: split settings, not its folder",
     {SettingsPage::BatchSplitter},
     Writes(kBatchSplitKey, kBatchSplitOrder) + Writes(kOptionsKey, kAppOrder)},
    {"every page, shown in reverse order",
     {SettingsPage::JoinerOptions, SettingsPage::SplitterOptions, SettingsPage::BatchJoiner, SettingsPage::Joiner,
      SettingsPage::BatchSplitter, SettingsPage::Splitter},
     Writes(kSplitKey, kSplitterPageOrder) + Writes(kBatchSplitKey, kBatchSplitOrder) + Writes(kJoinKey, kTagOrder) +
         Writes(kBatchJoinKey, {"JoinType"}) + Writes(kSplitKey, kSplitterOptionsOrder) +
         Writes(kJoinKey, kJoinerOptionsOrder) + Writes(kOptionsKey, kAppOrder)},
};

// A group that is written when its page's window is destroyed is written only when the page
// was shown; "Options" is always written, last.
TEST(SettingsStoreExit, OnlyShownPagesSave) {
    for (const ExitCase& c : kExits) {
        MemorySettingsBackend backend;
        SettingsStore store(backend, "/docs");
        store.LoadAppGroup();
        store.LoadPageGroups();
        for (SettingsPage page : c.shown) {
            store.NotePageWindowCreated(page);
        }
        store.SaveAtExit();
        EXPECT_EQ(backend.Writes(), c.expected) << c.label;
    }
}

// A run that never shows the splitter options leaves them unstored, even as defaults.
TEST(SettingsStoreExit, UnshownOptionsPageLeavesNoKey) {
    MemorySettingsBackend backend;
    SettingsStore store(backend, "/docs");
    store.splitterOptions.MP3BitRate = 256;  // changed in memory (for example by the CLI)
    store.SaveAtExit();
    EXPECT_FALSE(backend.HasGroup(kSplitKey));
    EXPECT_FALSE(backend.HasGroup(kJoinKey));
}

// Picking a folder with "Add Folder" writes Folder at once and nothing else; the pages
// without a folder write nothing.
TEST(SettingsStoreFolder, FolderIsWrittenAtOnce) {
    struct Case {
        SettingsPage page;
        const char* key;
        bool written;
    };
    const Case cases[] = {
        {SettingsPage::BatchSplitter, kBatchSplitKey, true}, {SettingsPage::Joiner, kJoinKey, true},
        {SettingsPage::BatchJoiner, kBatchJoinKey, true},    {SettingsPage::Splitter, kSplitKey, false},
        {SettingsPage::SplitterOptions, kSplitKey, false},   {SettingsPage::JoinerOptions, kJoinKey, false},
    };
    for (const Case& c : cases) {
        MemorySettingsBackend backend;
        SettingsStore store(backend, "/docs");
        store.batchSplitter.Folder = store.joinerPage.Folder = store.batchJoiner.Folder = "/in";
        EXPECT_EQ(store.SaveFolder(c.page), c.written) << c.key;
        const std::vector<Write> expected = c.written ? std::vector<Write>{{c.key, "Folder"}} : std::vector<Write>{};
        EXPECT_EQ(backend.Writes(), expected) << c.key;
    }
}

struct FirstRunCase {
    const char* label;
    std::optional<std::int32_t> stored;
    bool expectedFirst;
    std::int32_t expectedAfter;
    std::size_t expectedWrites;
};

const FirstRunCase kFirstRuns[] = {
    {"absent", std::nullopt, true, 0, 1}, {"stored 1", 1, true, 0, 1},  {"stored 7", 7, true, 0, 1},
    {"stored -1", -1, true, 0, 1},        {"stored 0", 0, false, 0, 0},
};

// FirstRun is read with 1 for absent; a non-zero value is replaced by 0 at once.
TEST(SettingsFirstRun, ReadAndCleared) {
    for (const FirstRunCase& c : kFirstRuns) {
        MemorySettingsBackend backend;
        if (c.stored) {
            backend.Put(kOptionsKey, "FirstRun", *c.stored);
        }
        EXPECT_EQ(RunFirstRunStep(backend), c.expectedFirst) << c.label;
        EXPECT_EQ(backend.Get(kOptionsKey, "FirstRun"), std::optional<MemorySettingsBackend::Value>(c.expectedAfter))
            << c.label;
        EXPECT_EQ(backend.Writes().size(), c.expectedWrites) << c.label;
    }
}

// The help opens on the first start only: a second start finds FirstRun cleared.
TEST(SettingsFirstRun, OnlyOnce) {
    MemorySettingsBackend backend;
    SettingsStore first(backend, "/docs");
    first.LoadAppGroup();
    EXPECT_TRUE(first.RunFirstRunStep());
    first.LoadPageGroups();
    first.SaveAtExit();
    SettingsStore second(backend, "/docs");
    second.LoadAppGroup();
    EXPECT_FALSE(second.RunFirstRunStep());
}

// Every value saved with a non-default content comes back the same: load and save agree on
// names, types and representation.
TEST(SettingsRoundTrip, SaveThenLoadGivesTheSameGroups) {
    MemorySettingsBackend backend;
    SettingsStore saved(backend, "/docs");
    saved.app = {4, {-1920, 10, -2, 1090}, false};
    SplitterOptions& so = saved.splitterOptions;
    so = {true,
          false,
          320,
          48000,
          ChannelModeCode::Stereo,
          false,
          5,
          7,
          -25,
          10,
          20,
          TrackNumberCode::Piece,
          OutputFolderCode::SameAsSource,
          "/out/\xC3\xA9t\xC3\xA9",
          true,
          true,
          true,
          3,
          false,
          "%S%-%I%.mp3",
          3,
          2,
          "%T%: %P%",
          TargetExistsCode::Overwrite};
    saved.splitterPage.split = {SplitTypeCode::ByTime, 4, "2.5", SizeUnitCode::GB, 3, 30, "0.0", "1.0"};
    saved.batchSplitter = {"/batch", {SplitTypeCode::ByCustom, 9, "700", SizeUnitCode::KB, 0, 45, "12.5", "0"}};
    saved.joinerPage = {"/join", "T", "A", "L", "1999", "C", "Rock", "4"};
    saved.joinerOptions = {false,
                           false,
                           64,
                           22050,
                           ChannelModeCode::Mono,
                           OutputFolderCode::SameAsSource,
                           "/jo",
                           true,
                           false,
                           TargetExistsCode::Skip};
    saved.joinerOptions.VolumeChangeTenthsDb = 35;
    saved.batchJoiner = {"/bj", JoinTypeCode::Append};
    for (SettingsPage page : {SettingsPage::Splitter, SettingsPage::BatchSplitter, SettingsPage::Joiner,
                              SettingsPage::BatchJoiner, SettingsPage::SplitterOptions, SettingsPage::JoinerOptions}) {
        saved.NotePageWindowCreated(page);
    }
    for (SettingsPage page : {SettingsPage::BatchSplitter, SettingsPage::Joiner, SettingsPage::BatchJoiner}) {
        ASSERT_TRUE(saved.SaveFolder(page));
    }
    saved.SaveAtExit();

    SettingsStore loaded(backend, "/elsewhere");
    loaded.LoadAppGroup();
    loaded.LoadPageGroups();
    EXPECT_EQ(loaded.app, saved.app);
    EXPECT_EQ(loaded.splitterOptions, saved.splitterOptions);
    // The manual page does not keep the custom-range texts; they keep their defaults.
    EXPECT_EQ(loaded.splitterPage, saved.splitterPage);
    EXPECT_EQ(loaded.batchSplitter, saved.batchSplitter);
    EXPECT_EQ(loaded.joinerPage, saved.joinerPage);
    EXPECT_EQ(loaded.joinerOptions, saved.joinerOptions);
    EXPECT_EQ(loaded.batchJoiner, saved.batchJoiner);
}

}  // namespace
}  // namespace qm
