// The joiner options page: the presets shown for the stored encoding, the presets and the
// lists changing each other, the output folder's enabling, the chapters and cue sheet boxes,
// and the check on leaving.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageJoinerOpt.h"
#include "ui/shell/CMainSheet.h"

namespace qm {
namespace {

constexpr const char* kPreset11025 = "11025 Hz, 16 kbps, Mono (low quality, smaller file size)";
constexpr const char* kPreset22050 = "22050 Hz, 32 kbps, Joint Stereo (OK quality, small size)";

class JoinerOptTest : public ::testing::Test {
protected:
    JoinerOptTest() { test::App(); }

    CPageJoinerOpt& Page() {
        if (!m_page) {
            m_page = std::make_unique<CPageJoinerOpt>(m_store);
            m_page->SetDesktop(m_desktop);
            m_page->InitialiseWindow();
        }
        return *m_page;
    }
    const CPageJoinerOpt::Controls& Ui() { return Page().Ui(); }
    JoinerOptions& Options() { return m_store.joinerOptions; }

    // Chooses the entry with the given text, as the user would.
    static void ChooseText(QComboBox* list, const QString& text) {
        const int index = list->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    static void ChooseValue(QComboBox* list, int value) {
        const int index = list->findData(value);
        ASSERT_GE(index, 0) << value;
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    MemorySettingsBackend m_backend;
    SettingsStore m_store{m_backend, "/home/user/Documents"};
    test::RecordedDesktop m_desktop;
    std::unique_ptr<CPageJoinerOpt> m_page;
};

// The preset list shows the entry that stands for the stored values.
TEST_F(JoinerOptTest, ThePresetShownFollowsTheStoredEncoding) {
    const struct {
        bool automatic;
        int hz, kbps;
        ChannelModeCode mode;
        const char* shown;
        bool listsEnabled;
    } cases[] = {
        {true, 44100, 128, ChannelModeCode::JointStereo, "Auto", false},
        {false, 22050, 32, ChannelModeCode::JointStereo, kPreset22050, true},
        {false, 22050, 32, ChannelModeCode::Stereo, "Customize", true},
        {true, 22050, 32, ChannelModeCode::JointStereo, "Auto", false},
    };
    for (const auto& c : cases) {
        m_page.reset();
        Options().AutoMP3EncodingParam = c.automatic;
        Options().MP3SampleRate = c.hz;
        Options().MP3BitRate = c.kbps;
        Options().MP3ChannelMode = c.mode;
        EXPECT_EQ(Ui().preset->currentText(), QString::fromLatin1(c.shown)) << c.shown;
        EXPECT_EQ(Ui().sampleRate->isEnabled(), c.listsEnabled) << c.shown;
        EXPECT_EQ(Ui().channels->isEnabled(), c.listsEnabled) << c.shown;
    }
    m_page.reset();
    Options() = MakeJoinerOptions("/home/user/Documents");
    EXPECT_EQ(Ui().sampleRate->currentText(), QStringLiteral("44100 Hz"));
    EXPECT_EQ(Ui().bitRate->currentText(), QStringLiteral("128 kbps"));
    EXPECT_EQ(Ui().channels->currentText(), QStringLiteral("Joint Stereo"));
}

// Choosing a preset sets its three values in the lists and stays shown; changing a list
// by hand shows "Customize".
TEST_F(JoinerOptTest, PresetsSetTheListsAndHandChangesShowCustomize) {
    ChooseText(Ui().preset, QString::fromLatin1(kPreset11025));
    EXPECT_EQ(Ui().preset->currentText(), QString::fromLatin1(kPreset11025));
    EXPECT_EQ(Ui().sampleRate->currentText(), QStringLiteral("11025 Hz"));
    EXPECT_EQ(Ui().bitRate->currentText(), QStringLiteral("16 kbps"));
    EXPECT_EQ(Ui().channels->currentText(), QStringLiteral("Mono"));
    EXPECT_TRUE(Ui().bitRate->isEnabled());
    EXPECT_EQ(Options().MP3SampleRate, 11025);
    EXPECT_EQ(Options().MP3BitRate, 16);

    ChooseValue(Ui().channels, static_cast<int>(ChannelModeCode::Stereo));
    EXPECT_EQ(Ui().preset->currentText(), QStringLiteral("Customize"));
    EXPECT_TRUE(Page().Validate());
    EXPECT_FALSE(Options().AutoMP3EncodingParam);
    EXPECT_EQ(Options().MP3ChannelMode, ChannelModeCode::Stereo);

    ChooseText(Ui().preset, QStringLiteral("Auto"));
    EXPECT_FALSE(Ui().sampleRate->isEnabled());
    EXPECT_TRUE(Page().Validate());
    EXPECT_TRUE(Options().AutoMP3EncodingParam);
}

// With "Customize" shown the rate and the bit rate keep each other in range.
TEST_F(JoinerOptTest, RateAndBitRateCoupleAsOnTheSplitterOptions) {
    const struct {
        int startHz, startKbps;
        bool chooseRate;
        int chosen;
        int wantHz, wantKbps;
    } cases[] = {
        {44100, 128, true, 8000, 8000, 64},
        {22050, 128, false, 192, 32000, 192},
    };
    for (const auto& c : cases) {
        m_page.reset();
        Options().AutoMP3EncodingParam = false;
        Options().MP3SampleRate = c.startHz;
        Options().MP3BitRate = c.startKbps;
        Options().MP3ChannelMode = ChannelModeCode::Stereo;
        ChooseValue(c.chooseRate ? Ui().sampleRate : Ui().bitRate, c.chosen);
        EXPECT_EQ(Ui().sampleRate->currentData().toInt(), c.wantHz);
        EXPECT_EQ(Ui().bitRate->currentData().toInt(), c.wantKbps);
        EXPECT_EQ(Options().MP3SampleRate, c.wantHz);
        EXPECT_EQ(Options().MP3BitRate, c.wantKbps);
        EXPECT_EQ(Ui().preset->currentText(), QStringLiteral("Customize"));
    }
    // A rate change from a preset also shows "Customize".
    m_page.reset();
    Options().MP3SampleRate = 22050;
    Options().MP3BitRate = 32;
    Options().MP3ChannelMode = ChannelModeCode::JointStereo;
    ChooseValue(Ui().sampleRate, 24000);
    EXPECT_EQ(Ui().preset->currentText(), QStringLiteral("Customize"));
}

// The output folder enables the folder controls only; a specific folder must be given.
TEST_F(JoinerOptTest, SpecificFolderEnablingAndItsCheck) {
    Page().show();
    ChooseValue(Ui().outputFolder, static_cast<int>(OutputFolderCode::SameAsSource));
    for (QWidget* control :
         std::initializer_list<QWidget*>{Ui().specificFolder, Ui().browse, Ui().treeFolders, Ui().treeExample}) {
        EXPECT_FALSE(control->isEnabled());
    }
    EXPECT_TRUE(Ui().addPostfix->isEnabled());
    ChooseValue(Ui().outputFolder, static_cast<int>(OutputFolderCode::Specific));
    EXPECT_TRUE(Ui().treeFolders->isEnabled());
    EXPECT_TRUE(Ui().addPostfix->isEnabled());

    Ui().specificFolder->clear();
    EXPECT_FALSE(Page().Validate());
    ASSERT_EQ(m_desktop.shown.size(), 1u);
    EXPECT_EQ(m_desktop.shown[0].text, QStringLiteral("Please choose an output folder."));
    EXPECT_EQ(Page().window()->focusWidget(), Ui().specificFolder);
    Ui().specificFolder->setText(QStringLiteral("/out"));
    EXPECT_TRUE(Page().Validate());
    EXPECT_EQ(Options().SpecifiedOutputFolder, "/out");
    EXPECT_EQ(Options().OutputFolderOpt, OutputFolderCode::Specific);
}

// The chapters and cue sheet boxes show their stored options (both off by default) and,
// clicked, store the opposite, each on its own.
TEST_F(JoinerOptTest, NavigationBoxesLoadAndSaveTheirOptions) {
    EXPECT_FALSE(Ui().writeChapters->isChecked());
    EXPECT_FALSE(Ui().writeCueSheet->isChecked());
    EXPECT_EQ(Ui().writeChapters->text(), QStringLiteral("Write c&hapters (one per joined file)"));
    EXPECT_EQ(Ui().writeCueSheet->text(), QStringLiteral("Write a c&ue sheet beside the joined file"));
    const struct { bool chapters, cueSheet; } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& c : cases) {
        m_page.reset();
        Options().WriteChapters = c.chapters;
        Options().WriteCueSheet = c.cueSheet;
        Page().show();
        EXPECT_EQ(Ui().writeChapters->isChecked(), c.chapters) << c.chapters << c.cueSheet;
        EXPECT_EQ(Ui().writeCueSheet->isChecked(), c.cueSheet) << c.chapters << c.cueSheet;
        Ui().writeChapters->click();
        Ui().writeCueSheet->click();
        ASSERT_TRUE(Page().Validate());
        EXPECT_EQ(Options().WriteChapters, !c.chapters) << c.chapters << c.cueSheet;
        EXPECT_EQ(Options().WriteCueSheet, !c.cueSheet) << c.chapters << c.cueSheet;
    }
}

// The sheet asks the joiner options when it closes and stays open while they refuse.
TEST_F(JoinerOptTest, TheSheetStaysOpenWhileTheFolderIsMissing) {
    CMainSheet sheet;
    sheet.AddPage(new CResizablePage(QStringLiteral("Other"), QSize(100, 100)));
    auto* page = new CPageJoinerOpt(m_store);
    page->SetDesktop(m_desktop);
    sheet.AddPage(page);
    sheet.SetOptionsPages(nullptr, page);
    sheet.FinishInitialising();
    sheet.show();
    sheet.SetActivePage(1);
    ChooseValue(page->Ui().outputFolder, static_cast<int>(OutputFolderCode::Specific));
    page->Ui().specificFolder->clear();
    sheet.SetActivePage(0);
    EXPECT_EQ(sheet.ActivePageIndex(), 1);
    EXPECT_FALSE(sheet.close());
    EXPECT_EQ(m_desktop.shown.size(), 2u);
}

}  // namespace
}  // namespace qm
