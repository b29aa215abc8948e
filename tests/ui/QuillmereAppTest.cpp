// Start-up, closing and exit of the main window: pages, first-run help, saved page and
// placement, the options pages' say on closing, and the audio device at start-up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTextBrowser>

#include "ShellTestSupport.h"
#include "UiTestSupport.h"
#include "ui/kit/ShellCalls.h"
#include "ui/pages/CPageJoiner.h"
#include "ui/pages/CPageJoinerOpt.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/pages/CPageSplitterOpt.h"
#include "ui/shell/CMainSheet.h"
#include "ui/shell/HelpWindow.h"

namespace qm {
namespace {

using test::Machine;

std::vector<std::uint8_t> LittleEndianRect(std::int32_t left, std::int32_t top, std::int32_t right,
                                           std::int32_t bottom) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t side : {left, top, right, bottom}) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(side) >> shift));
        }
    }
    return bytes;
}

std::optional<MemorySettingsBackend::Value> Stored(const Machine& machine, const char* name) {
    return machine.settings.Get(kOptionsKey, name);
}

int HelpWindowsOpen() {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowTitle() == QLatin1String(kHelpTitle)) ++count;
    }
    return count;
}

// A first start with no settings opens maximized on the first page with the help once, in a
// maximized window; the second start does not open it again.
TEST(QuillmereAppTest, FirstStartOpensTheHelpOnceMaximizedOnTheFirstPage) {
    test::App();
    Machine machine;
    {
        QuillmereApp app(machine.Environment());
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(app.Sheet()->ActivePageIndex(), kSplitterPage);
        EXPECT_TRUE(app.Sheet()->isMaximized());
        ASSERT_NE(app.Help(), nullptr);
        EXPECT_TRUE(app.Help()->isMaximized());
        EXPECT_EQ(HelpWindowsOpen(), 1);
        app.Exit();
        EXPECT_EQ(HelpWindowsOpen(), 0);
    }
    EXPECT_EQ(Stored(machine, "FirstRun"), MemorySettingsBackend::Value(std::int32_t{0}));
    QuillmereApp second(machine.Environment());
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.Help(), nullptr);
    EXPECT_EQ(HelpWindowsOpen(), 0);
}

// The seven tabs carry their captions in tab order, and a saved page of 6 opens on About.
TEST(QuillmereAppTest, SavedStartPageSixOpensOnAboutAmongTheSevenTabs) {
    test::App();
    Machine machine;
    machine.settings.Put(kOptionsKey, "FirstRun", std::int32_t{0});
    machine.settings.Put(kOptionsKey, "StartPage", std::int32_t{6});
    QuillmereApp app(machine.Environment());
    ASSERT_TRUE(app.Start());
    const QStringList captions = {"MP3 Splitter",     "MP3 Batch Splitter", "MP3 Joiner", "MP3 Batch Joiner",
                                  "Splitter Options", "Joiner Options",     "About"};
    ASSERT_EQ(app.Sheet()->PageCount(), captions.size());
    for (int i = 0; i < captions.size(); ++i) {
        EXPECT_EQ(app.Sheet()->Tabs()->tabText(i), captions[i]) << i;
    }
    EXPECT_EQ(app.Sheet()->ActivePageIndex(), kAboutPage);
    EXPECT_EQ(app.Sheet()->windowTitle(), QStringLiteral("Quillmere"));
}

// The window cannot become smaller than its first size: the pages at their design size,
// or the screen when that is smaller.
TEST(QuillmereAppTest, WindowCannotShrinkBelowItsFirstSize) {
    test::App();
    Machine machine;
    machine.settings.Put(kOptionsKey, "FirstRun", std::int32_t{0});
    machine.settings.Put(kOptionsKey, "WndMaximized", std::int32_t{0});
    QuillmereApp app(machine.Environment());
    ASSERT_TRUE(app.Start());
    CMainSheet* sheet = app.Sheet();
    EXPECT_EQ(sheet->minimumSize(), sheet->FirstSize());
    sheet->resize(200, 150);
    QApplication::processEvents();
    EXPECT_EQ(sheet->size(), sheet->FirstSize());
    const QSize screen = QGuiApplication::primaryScreen()->availableSize();
    EXPECT_EQ(sheet->FirstSize(), sheet->sizeHint().boundedTo(screen));
    EXPECT_GE(sheet->sizeHint().width(), sheet->Page(kSplitterPage)->DesignSize().width());
    EXPECT_GE(sheet->sizeHint().height(), sheet->Page(kSplitterPage)->DesignSize().height());
}

struct PlacementCase {
    const char* name;
    bool maximizeFirst;
    bool minimise;
    std::int32_t savedMaximized;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

// Closing writes the active page, the normal rectangle as four little-endian 32-bit numbers
// (right and bottom just outside the window) and the maximized flag, which a minimised
// window records as 0 even when it was maximized before.
TEST_P(PlacementTest, ClosingSavesPageNormalRectangleAndMaximizedFlag) {
    const PlacementCase& c = GetParam();
    test::App();
    Machine machine;
    machine.settings.Put(kOptionsKey, "FirstRun", std::int32_t{0});
    machine.settings.Put(kOptionsKey, "WndMaximized", std::int32_t{0});
    machine.settings.Put(kOptionsKey, "WndPosition", LittleEndianRect(100, 120, 1000, 820));
    QuillmereApp app(machine.Environment());
    ASSERT_TRUE(app.Start());
    CMainSheet* sheet = app.Sheet();
    EXPECT_FALSE(sheet->isMaximized());
    EXPECT_EQ(sheet->geometry(), QRect(100, 120, 900, 700));
    sheet->setGeometry(140, 150, 910, 720);
    sheet->SetActivePage(kBatchJoinerPage);
    if (c.maximizeFirst) sheet->showMaximized();
    if (c.minimise) sheet->showMinimized();
    QApplication::processEvents();
    ASSERT_TRUE(sheet->close());
    app.Exit();
    EXPECT_EQ(Stored(machine, "StartPage"), MemorySettingsBackend::Value(std::int32_t{3}));
    EXPECT_EQ(Stored(machine, "WndMaximized"), MemorySettingsBackend::Value(c.savedMaximized));
    EXPECT_EQ(Stored(machine, "WndPosition"), MemorySettingsBackend::Value(LittleEndianRect(140, 150, 1050, 870)));
    EXPECT_TRUE(machine.audio.freed);
}

INSTANTIATE_TEST_SUITE_P(Windows, PlacementTest,
                         ::testing::Values(PlacementCase{"Normal", false, false, 0},
                                           PlacementCase{"Maximized", true, false, 1},
                                           PlacementCase{"Minimised", false, true, 0},
                                           PlacementCase{"MaximizedThenMinimised", true, true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Options pages that refuse as a test says, and note in one list the order they were asked.
class RefusingSplitterOptions : public CPageSplitterOpt {
public:
    RefusingSplitterOptions(SettingsStore& settings, bool refuse, std::vector<int>* asked)
        : CPageSplitterOpt(settings), m_refuse(refuse), m_asked(asked) {}
    bool Validate() override {
        m_asked->push_back(kSplitterOptionsPage);
        if (m_refuse) ShowMessage(Desktop(), this, QStringLiteral("Splitter field refused."));
        return !m_refuse;
    }

private:
    bool m_refuse;
    std::vector<int>* m_asked;
};

class RefusingJoinerOptions : public CPageJoinerOpt {
public:
    RefusingJoinerOptions(SettingsStore& settings, bool refuse, std::vector<int>* asked)
        : CPageJoinerOpt(settings), m_refuse(refuse), m_asked(asked) {}
    bool Validate() override {
        m_asked->push_back(kJoinerOptionsPage);
        if (m_refuse) ShowMessage(Desktop(), this, QStringLiteral("Joiner field refused."));
        return !m_refuse;
    }

private:
    bool m_refuse;
    std::vector<int>* m_asked;
};

class ValidatingApp : public QuillmereApp {
public:
    ValidatingApp(AppEnvironment environment, bool splitterRefuses, bool joinerRefuses)
        : QuillmereApp(std::move(environment)), m_splitterRefuses(splitterRefuses), m_joinerRefuses(joinerRefuses) {}
    std::vector<int> asked;

protected:
    CPageSplitterOpt* MakeSplitterOptionsPage(SettingsStore& settings) override {
        return new RefusingSplitterOptions(settings, m_splitterRefuses, &asked);
    }
    CPageJoinerOpt* MakeJoinerOptionsPage(SettingsStore& settings) override {
        return new RefusingJoinerOptions(settings, m_joinerRefuses, &asked);
    }

private:
    bool m_splitterRefuses;
    bool m_joinerRefuses;
};

struct ClosingCase {
    bool splitterRefuses;
    bool joinerRefuses;
    std::vector<int> asked;
    const char* message;  // null: the window closes
};

class ClosingTest : public ::testing::TestWithParam<ClosingCase> {};

// The splitter options are asked first, then the joiner options; a refusal keeps the window
// open on the refusing page with that page's message, and writes no settings.
TEST_P(ClosingTest, OptionsPagesDecideWhetherTheWindowCloses) {
    const ClosingCase& c = GetParam();
    test::App();
    Machine machine;
    const auto& messages = machine.desktop;
    machine.settings.Put(kOptionsKey, "FirstRun", std::int32_t{0});
    ValidatingApp app(machine.Environment(), c.splitterRefuses, c.joinerRefuses);
    ASSERT_TRUE(app.Start());
    bool closedSignal = false;
    QObject::connect(&app, &QuillmereApp::MainWindowClosed, [&] { closedSignal = true; });
    machine.settings.ClearWrites();

    const bool closed = app.Sheet()->close();
    EXPECT_EQ(app.asked, c.asked);
    EXPECT_EQ(closed, c.message == nullptr);
    EXPECT_EQ(closedSignal, closed);
    EXPECT_EQ(app.Sheet()->isVisible(), !closed);
    if (c.message) {
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QString::fromLatin1(c.message));
        EXPECT_EQ(app.Sheet()->ActivePageIndex(), c.asked.back());
        EXPECT_TRUE(machine.settings.Writes().empty());
    } else {
        EXPECT_TRUE(messages.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ClosingTest,
    ::testing::Values(ClosingCase{false, false, {kSplitterOptionsPage, kJoinerOptionsPage}, nullptr},
                      ClosingCase{true, false, {kSplitterOptionsPage}, "Splitter field refused."},
                      ClosingCase{true, true, {kSplitterOptionsPage}, "Splitter field refused."},
                      ClosingCase{false, true, {kSplitterOptionsPage, kJoinerOptionsPage}, "Joiner field refused."}));

// The help command raises the open window instead of opening a second one, restores it when
// minimised, and shows nothing when the help pages are missing.
TEST(QuillmereAppTest, HelpCommandRaisesTheOpenWindowInsteadOfOpeningAnother) {
    test::App();
    Machine machine;
    machine.settings.Put(kOptionsKey, "FirstRun", std::int32_t{0});
    QuillmereApp app(machine.Environment());
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(app.Help(), nullptr);
    app.ShowHelpTopics();
    HelpWindow* first = app.Help();
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->isMaximized());
    first->showMinimized();
    app.ShowHelpTopics();
    EXPECT_EQ(app.Help(), first);
    EXPECT_FALSE(first->isMinimized());
    EXPECT_EQ(HelpWindowsOpen(), 1);
    app.Exit();
    EXPECT_EQ(HelpWindowsOpen(), 0);

    Machine bare;
    bare.RemoveHelp();
    QuillmereApp withoutHelp(bare.Environment());
    ASSERT_TRUE(withoutHelp.Start());
    withoutHelp.ShowHelpTopics();
    EXPECT_EQ(withoutHelp.Help(), nullptr);
    EXPECT_EQ(HelpWindowsOpen(), 0);
}

// Links between help pages stay in the help window; links to other sites go to the desktop.
TEST(HelpWindowTest, HelpLinksStayInsideAndOtherSitesOpenOutside) {
    test::App();
    Machine machine;
    QFile page(machine.helpFolder.filePath(QStringLiteral("joiner.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><body>Joiner</body></html>");
    page.close();
    const QUrl index = machine.Environment().helpIndex;
    HelpWindow help(index, machine.desktop);
    EXPECT_EQ(help.windowTitle(), QStringLiteral("Quillmere Help"));
    emit help.Browser()->anchorClicked(QUrl(QStringLiteral("https://quillmere.org/")));
    EXPECT_EQ(help.CurrentPage(), index);
    emit help.Browser()->anchorClicked(QUrl(QStringLiteral("joiner.html")));
    EXPECT_EQ(help.CurrentPage(), index.resolved(QUrl(QStringLiteral("joiner.html"))));
    EXPECT_EQ(machine.desktop.opened, std::vector<QString>{QStringLiteral("https://quillmere.org/")});
}

struct AudioCase {
    const char* name;
    std::uint32_t version;
    bool defaultOpens;
    bool soundCard;
    bool silentOpens;
    bool started;
    int soundCardFlag;
    std::vector<int> devicesTried;
    bool failureMessage;
};

class AudioStartTest : public ::testing::TestWithParam<AudioCase> {};

// Another layer version ends start-up silently; the default device gives the sound-card
// flag 1; without it the silent device runs the program with flag 0; when neither opens,
// start-up fails with the error message.
TEST_P(AudioStartTest, DeviceAtStartUp) {
    const AudioCase& c = GetParam();
    test::App();
    Machine machine;
    const auto& messages = machine.desktop;
    machine.audio.version = c.version;
    machine.audio.defaultOpens = c.defaultOpens;
    machine.audio.soundCard = c.soundCard;
    machine.audio.silentOpens = c.silentOpens;
    QuillmereApp app(machine.Environment());
    EXPECT_EQ(app.Start(), c.started);
    EXPECT_EQ(app.SoundCardFlag(), c.soundCardFlag);
    EXPECT_EQ(machine.audio.devicesTried, c.devicesTried);
    EXPECT_EQ(app.Sheet() != nullptr, c.started);
    EXPECT_EQ(machine.audio.verifyLength, c.started ? 100000 : 0);
    if (c.failureMessage) {
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QStringLiteral("Failed to initialize the program (0x0002020)."));
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    } else {
        EXPECT_TRUE(messages.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, AudioStartTest,
    ::testing::Values(AudioCase{"SoundCard", 0x02040011, true, true, true, true, 1, {-1}, false},
                      AudioCase{"SilentFallback", 0x02040011, true, false, true, true, 0, {-1, 0}, false},
                      AudioCase{"DefaultFails", 0x02040011, false, false, true, true, 0, {-1, 0}, false},
                      AudioCase{"NoDevice", 0x02040011, false, false, false, false, 0, {-1, 0}, true},
                      AudioCase{"OtherVersion", 0x02030000, true, true, true, false, 0, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Files from the command line: one is kept for the manual splitter and the window opens on
// it, several are kept in order for the joiner, whatever page was saved.
TEST(QuillmereAppTest, CommandLineFilesChooseThePageAndAreKeptForIt) {
    test::App();
    Machine machine;  // the one file does not exist
    machine.settings.Put(kOptionsKey, "FirstRun", std::int32_t{0});
    machine.settings.Put(kOptionsKey, "StartPage", std::int32_t{6});
    {
        QuillmereApp app(machine.Environment());
        ASSERT_TRUE(app.Start({QStringLiteral("/music/one.mp3")}));
        EXPECT_EQ(app.Sheet()->ActivePageIndex(), kSplitterPage);
        EXPECT_EQ(app.SplitterPage()->InitialFile(), QStringLiteral("/music/one.mp3"));
        EXPECT_TRUE(app.JoinerPage()->InitialFiles().isEmpty());
    }
    machine.settings.Put(kOptionsKey, "StartPage", std::int32_t{6});
    QuillmereApp app(machine.Environment());
    ASSERT_TRUE(app.Start({QStringLiteral("/music/b.mp3"), QStringLiteral("/music/a.mp3")}));
    EXPECT_EQ(app.Sheet()->ActivePageIndex(), kJoinerPage);
    EXPECT_EQ(app.JoinerPage()->InitialFiles(),
              QStringList({QStringLiteral("/music/b.mp3"), QStringLiteral("/music/a.mp3")}));
    EXPECT_TRUE(app.SplitterPage()->InitialFile().isEmpty());
}

}  // namespace
}  // namespace qm
