// The QSettings backend: a save and load of every group through a real INI file, the group
// layout in that file, values edited by hand, and the silent failures.

#include <gtest/gtest.h>

#include <QSettings>
#include <QStringList>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "fixtures/Fixtures.h"
#include "settings/QSettingsBackend.h"
#include "settings/Settings.h"

namespace qm {
namespace {

const SettingsPage kAllPages[] = {SettingsPage::Splitter,        SettingsPage::BatchSplitter,
                                  SettingsPage::Joiner,          SettingsPage::BatchJoiner,
                                  SettingsPage::SplitterOptions, SettingsPage::JoinerOptions};

// Fills a store with values that differ from every default, including texts that INI files
// quote or escape.
void FillNonDefault(SettingsStore& s) {
    s.app = {5, {-1280, -4, 640, 1020}, false};
    s.splitterOptions = {true,
                         false,
                         256,
                         32000,
                         ChannelModeCode::Mono,
                         false,
                         12,
                         3,
                         -25,
                         20,
                         10,
                         TrackNumberCode::None,
                         OutputFolderCode::Specific,
                         "/m\xC3\xBCsic/out, \"new\"; [a]=b " + std::string(600, 'p'),
                         true,
                         true,
                         true,
                         4,
                         false,
                         "@%F%, %P%.mp3",
                         1000,
                         7,
                         "%I% \\ %P%/%T%",
                         TargetExistsCode::Skip};
    s.splitterPage.split = {SplitTypeCode::ByCount, 6, "0.75", SizeUnitCode::KB, 0, 45, "0.0", "1.0"};
    s.batchSplitter = {"C:\\Music\\In", {SplitTypeCode::ByCustom, 3, "1,5", SizeUnitCode::GB, 2, 5, "90.5", "0"}};
    s.joinerPage = {"/srv/join", "T\xE2\x80\x99tle", "#Artist", "Album;x", "2001", "line one\nline two", "Jazz", "12"};
    s.joinerOptions = {false,
                       false,
                       96,
                       16000,
                       ChannelModeCode::Stereo,
                       OutputFolderCode::SameAsSource,
                       "",
                       true,
                       false,
                       TargetExistsCode::Overwrite};
    s.batchJoiner = {"/srv/main", JoinTypeCode::Append};
}

// Everything saved at exit comes back from the file through a new backend object.
TEST(QSettingsBackend, RoundTripThroughIniFile) {
    fixtures::TempDir dir;
    const std::string file = (dir / "settings.ini").string();
    {
        QSettingsBackend backend(file);
        SettingsStore saved(backend, "/docs");
        FillNonDefault(saved);
        for (SettingsPage page : kAllPages) {
            saved.NotePageWindowCreated(page);
        }
        EXPECT_TRUE(saved.SaveFolder(SettingsPage::BatchSplitter));
        EXPECT_TRUE(saved.SaveFolder(SettingsPage::Joiner));
        EXPECT_TRUE(saved.SaveFolder(SettingsPage::BatchJoiner));
        saved.SaveAtExit();
    }
    QSettingsBackend backend(file);
    SettingsStore expected(backend, "/docs");
    FillNonDefault(expected);
    SettingsStore loaded(backend, "/docs");
    loaded.LoadAppGroup();
    loaded.LoadPageGroups();
    EXPECT_EQ(loaded.app, expected.app);
    EXPECT_EQ(loaded.splitterOptions, expected.splitterOptions);
    EXPECT_EQ(loaded.splitterPage, expected.splitterPage);
    EXPECT_EQ(loaded.batchSplitter, expected.batchSplitter);
    EXPECT_EQ(loaded.joinerPage, expected.joinerPage);
    EXPECT_EQ(loaded.joinerOptions, expected.joinerOptions);
    EXPECT_EQ(loaded.batchJoiner, expected.batchJoiner);
}

// The file holds one group per key, named like the sub-keys, with numbers as numbers.
TEST(QSettingsBackend, GroupsAreNamedLikeTheKeys) {
    fixtures::TempDir dir;
    const std::string file = (dir / "settings.ini").string();
    {
        QSettingsBackend backend(file);
        SettingsStore store(backend, "/docs");
        for (SettingsPage page : kAllPages) {
            store.NotePageWindowCreated(page);
        }
        store.SaveAtExit();
    }
    QSettings raw(QString::fromStdString(file), QSettings::IniFormat);
    EXPECT_EQ(raw.childGroups(), QStringList{"Options"});
    raw.beginGroup("Options");
    QStringList groups = raw.childGroups();
    groups.sort();
    EXPECT_EQ(groups, (QStringList{"BatchJoin", "BatchSplit", "Join", "Split"}));
    raw.endGroup();
    EXPECT_EQ(raw.value("Options/Split/SplitType").toInt(), 3);
    EXPECT_EQ(raw.value("Options/BatchSplit/SplitFileUnit").toInt(), 301);
    EXPECT_EQ(raw.value("Options/Join/ID3Title").toString(), QString());
    EXPECT_EQ(raw.value("Options/StartPage").toInt(), 0);
}

struct HandEdit {
    const char* line;  // as written in the [Options] section of the file
    std::optional<std::int32_t> dword;
    std::optional<std::string> text;
    std::optional<std::vector<std::uint8_t>> binary = std::nullopt;
};

// Values typed into the file by hand: DWORDs take the 32 bits of numbers up to 2^32 - 1,
// anything else that is not a number reads as absent.
const HandEdit kHandEdits[] = {
    {"Value=42", 42, "42"},
    {"Value=-5", -5, "-5"},
    {"Value=4294967295", -1, "4294967295"},
    {"Value=2147483648", INT32_MIN, "2147483648"},
    {"Value=4294967296", std::nullopt, "4294967296"},
    {"Value=abc", std::nullopt, "abc"},
    {"Value=", std::nullopt, ""},
    {"Value=\"a, b\"", std::nullopt, "a, b"},
    {"Value=a, b", std::nullopt, std::nullopt},  // read back as a list, not a text
    {"Value=@ByteArray(12)", std::nullopt, std::nullopt, std::vector<std::uint8_t>{'1', '2'}},
    {"Other=1", std::nullopt, std::nullopt},
};

TEST(QSettingsBackend, HandEditedValues) {
    for (const HandEdit& c : kHandEdits) {
        fixtures::TempDir dir;
        const std::filesystem::path file = dir / "settings.ini";
        std::ofstream(file) << "[Options]\n" << c.line << "\n";
        QSettingsBackend backend(file.string());
        std::unique_ptr<SettingsKey> key = backend.OpenForReading(kOptionsKey);
        ASSERT_TRUE(key) << c.line;
        EXPECT_EQ(key->ReadDword("Value"), c.dword) << c.line;
        EXPECT_EQ(key->ReadString("Value"), c.text) << c.line;
        EXPECT_EQ(key->ReadBinary("Value"), c.binary) << c.line;
    }
}

TEST(QSettingsBackend, BinaryValues) {
    fixtures::TempDir dir;
    const std::string file = (dir / "settings.ini").string();
    const std::vector<std::uint8_t> bytes = {0, 1, 0xFF, '\n', '@', 0x80};
    {
        QSettingsBackend backend(file);
        std::unique_ptr<SettingsKey> key = backend.CreateForWriting(kOptionsKey);
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->WriteBinary("Blob", bytes));
        EXPECT_TRUE(key->WriteString("Text", "x"));
    }
    QSettingsBackend backend(file);
    std::unique_ptr<SettingsKey> key = backend.OpenForReading(kOptionsKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadBinary("Blob"), bytes);
    EXPECT_EQ(key->ReadString("Blob"), std::nullopt);
    EXPECT_EQ(key->ReadDword("Blob"), std::nullopt);
    EXPECT_EQ(key->ReadBinary("Text"), std::nullopt);
}

// Loading from a missing file keeps the defaults, creates nothing, and a key opened for
// reading refuses writes.
TEST(QSettingsBackend, MissingFileKeepsDefaultsAndStaysMissing) {
    fixtures::TempDir dir;
    const std::filesystem::path file = dir / "settings.ini";
    QSettingsBackend backend(file.string());
    EXPECT_EQ(backend.OpenForReading(kSplitKey), nullptr);
    SettingsStore store(backend, "/docs");
    store.LoadAppGroup();
    store.LoadPageGroups();
    EXPECT_EQ(store.splitterOptions, MakeSplitterOptions("/docs"));
    EXPECT_EQ(store.batchSplitter, BatchSplitterSettings{});
    EXPECT_FALSE(std::filesystem::exists(file));

    std::ofstream(file) << "[Options]\nStartPage=2\n";
    QSettingsBackend reopened(file.string());
    std::unique_ptr<SettingsKey> key = reopened.OpenForReading(kOptionsKey);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->WriteDword("StartPage", 3));
    EXPECT_EQ(key->ReadDword("StartPage"), 2);
}

// A file that cannot be created: every save is skipped silently and reports false.
TEST(QSettingsBackend, UnwritableLocationSkipsSaves) {
    fixtures::TempDir dir;
    std::ofstream(dir / "blocker") << "a file where a folder should be";
    const std::filesystem::path file = dir / "blocker" / "settings.ini";
    QSettingsBackend backend(file.string());
    SettingsStore store(backend, "/docs");
    EXPECT_FALSE(SaveSplitterOptions(backend, store.splitterOptions));
    EXPECT_FALSE(store.SaveFolder(SettingsPage::BatchJoiner));
    EXPECT_TRUE(store.RunFirstRunStep());
    EXPECT_FALSE(std::filesystem::exists(file));
}

#ifndef Q_OS_WIN
// The user's store lives in Quillmere/Quillmere.conf below the configuration folder.
TEST(QSettingsBackend, UserStoreLocation) {
    fixtures::TempDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.Path().string()));
    const std::filesystem::path expected = dir / "Quillmere" / "Quillmere.conf";
    {
        QSettingsBackend backend;
        EXPECT_EQ(backend.Location(), expected.string());
        EXPECT_TRUE(backend.CreateForWriting(kBatchJoinKey)->WriteDword("JoinType", 1));
    }
    EXPECT_TRUE(std::filesystem::exists(expected));
    QSettingsBackend backend;
    EXPECT_TRUE(RunFirstRunStep(backend));
    EXPECT_FALSE(RunFirstRunStep(backend));
    BatchJoinerSettings settings;
    LoadBatchJoinerSettings(backend, &settings);
    EXPECT_EQ(settings.JoinType, JoinTypeCode::Append);
}
#endif

#ifdef Q_OS_LINUX
// Points HOME and XDG_CONFIG_HOME at a test folder for one scope.
class FakeHome {
public:
    explicit FakeHome(const std::filesystem::path& home) : m_oldHome(Get("HOME")), m_oldConfig(Get("XDG_CONFIG_HOME")) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    }
    ~FakeHome() {
        Restore("HOME", m_oldHome);
        Restore("XDG_CONFIG_HOME", m_oldConfig);
    }

private:
    static std::optional<std::string> Get(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::optional<std::string> m_oldHome;
    std::optional<std::string> m_oldConfig;
};

// The documents folder follows the desktop's user folders, is created when missing, and is
// empty when it cannot be created.
TEST(UserDocumentsFolder, FoundCreatedOrEmpty) {
    struct Case {
        const char* label;
        const char* homeName;     // HOME below the test folder
        const char* userDirs;     // contents of user-dirs.dirs, or null for none
        const char* expectedDir;  // below HOME, or null for an empty result
    };
    const Case cases[] = {
        {"default", "home", nullptr, "Documents"},
        {"user folder", "home", "XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n", "Papiere"},
        {"home is a file", "blocker", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        fixtures::TempDir dir;
        std::ofstream(dir / "blocker") << "x";
        const std::filesystem::path home = dir / c.homeName;
        if (c.userDirs) {
            std::filesystem::create_directories(home / ".config");
            std::ofstream(home / ".config" / "user-dirs.dirs") << c.userDirs;
        }
        FakeHome fake(home);
        const std::string folder = UserDocumentsFolder();
        if (c.expectedDir) {
            EXPECT_EQ(folder, (home / c.expectedDir).string()) << c.label;
            EXPECT_TRUE(std::filesystem::is_directory(home / c.expectedDir)) << c.label;
        } else {
            EXPECT_EQ(folder, "") << c.label;
        }
    }
}
#endif

}  // namespace
}  // namespace qm
