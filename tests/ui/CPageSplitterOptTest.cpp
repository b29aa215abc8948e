// The splitter options page: the rate and bit-rate coupling, the length fields, the digit
// counts, the enabling rules and the checks made when the page is left.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextLayout>

#include "output/Templates.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageSplitterOpt.h"
#include "ui/pages/CPageSplitterOptFields.h"
#include "ui/pages/CPageSplitterOptTagHelp.h"
#include "ui/shell/CMainSheet.h"
#include "ui/widgets/GatheringDialogs.h"

namespace qm {
namespace {

// The control the page's window would give the keyboard to: the field or a part of it.
bool HoldsFocus(QWidget* field) {
    QWidget* focus = field->window()->focusWidget();
    return focus == field || field->isAncestorOf(focus);
}

class SplitterOptTest : public ::testing::Test {
protected:
    SplitterOptTest() { test::App(); }

    // Creates the page over the options as they are now and fills its controls.
    CPageSplitterOpt& Page() {
        if (!m_page) {
            m_page = std::make_unique<CPageSplitterOpt>(m_store);
            m_page->InitialiseWindow();
        }
        return *m_page;
    }
    const CPageSplitterOpt::Controls& Ui() { return Page().Ui(); }
    SplitterOptions& Options() { return m_store.splitterOptions; }

    // Chooses the entry carrying value as the user would.
    static void Choose(QComboBox* list, int value) {
        const int index = list->findData(value);
        ASSERT_GE(index, 0) << value;
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    MemorySettingsBackend m_backend;
    SettingsStore m_store{m_backend, "/home/user/Documents"};
    test::RecordedMessages m_messages;
    std::unique_ptr<CPageSplitterOpt> m_page;
};

// Choosing a rate or a bit rate brings the other into the range an encoder can write.
TEST_F(SplitterOptTest, ChoosingARateOrBitRateCouplesTheOther) {
    const struct {
        int startHz, startKbps;
        bool chooseRate;  // else the bit rate
        int chosen;
        int wantHz, wantKbps;
    } cases[] = {
        {44100, 128, true, 8000, 8000, 64},    {22050, 128, false, 320, 32000, 320}, {44100, 128, false, 48, 44100, 48},
        {22050, 192, true, 16000, 16000, 160}, {11025, 16, true, 32000, 32000, 32},  {44100, 128, false, 8, 24000, 8},
        {8000, 32, false, 96, 16000, 96},
    };
    for (const auto& c : cases) {
        m_page.reset();
        Options().ReencodePieces = true;
        Options().UseSameParams = false;
        Options().MP3SampleRate = c.startHz;
        Options().MP3BitRate = c.startKbps;
        Choose(c.chooseRate ? Ui().sampleRate : Ui().bitRate, c.chosen);
        EXPECT_EQ(Options().MP3SampleRate, c.wantHz) << c.chosen;
        EXPECT_EQ(Options().MP3BitRate, c.wantKbps) << c.chosen;
        EXPECT_EQ(Ui().sampleRate->currentData().toInt(), c.wantHz) << c.chosen;
        EXPECT_EQ(Ui().bitRate->currentData().toInt(), c.wantKbps) << c.chosen;
    }
}

// Lengths read as whole seconds and the first digit after the point only.
TEST(SplitterOptLengths, ParseTenthsTakesTheFirstDecimalOnly) {
    const struct {
        const char* text;
        bool emptyIsZero;
        bool parses;
        int tenths;
        const char* shown;
    } cases[] = {
        {"2.75", true, true, 27, "2.75"},
        {".5", true, true, 5, "0.5"},
        {"3", true, true, 30, "3"},
        {"3.", true, true, 30, "3."},
        {"", true, true, 0, ""},
        {"", false, false, 0, ""},
        {"abc", true, false, 0, "abc"},
        {"-1.5", true, true, -15, "-1.5"},
        {"99999999999", true, false, 0, "99999999999"},
    };
    for (const auto& c : cases) {
        int tenths = -999;
        QString shown;
        EXPECT_EQ(ParseTenths(QString::fromLatin1(c.text), c.emptyIsZero, &tenths, &shown), c.parses) << c.text;
        if (c.parses) {
            EXPECT_EQ(tenths, c.tenths) << c.text;
        }
        EXPECT_EQ(shown, QString::fromLatin1(c.shown)) << c.text;
    }
    EXPECT_EQ(FormatTenths(27), QStringLiteral("2.7"));
    EXPECT_EQ(FormatTenths(0), QStringLiteral("0.0"));
}

// Leaving the page stores the parsed lengths; a text that is no number keeps the page with
// its message and the focus on the field.
TEST_F(SplitterOptTest, LeavingStoresLengthsOrRefusesWithTheFieldsText) {
    Page().show();
    Ui().fadeIn->SetText(QStringLiteral("2.75"));
    Ui().fadeOut->SetText(QStringLiteral(".5"));
    Ui().forwardOverlap->SetText(QStringLiteral("1"));
    Ui().backwardOverlap->SetText(QStringLiteral("0.0"));
    EXPECT_TRUE(Page().Validate());
    EXPECT_EQ(Options().FadeInLen, 27);
    EXPECT_EQ(Options().FadeOutLen, 5);
    EXPECT_EQ(Options().ForwardOverlap, 10);

    const struct {
        ArrowEdit* field;
        const char* text;
        const char* message;
    } refusals[] = {
        {Ui().fadeOut, "abc", "Invalid number: abc, please enter it again."},
        {Ui().backwardOverlap, "", "Invalid number: , please enter it again."},
    };
    for (const auto& r : refusals) {
        m_messages.shown.clear();
        const QString before = r.field->Text();
        r.field->SetText(QString::fromLatin1(r.text));
        EXPECT_FALSE(Page().Validate()) << r.text;
        ASSERT_EQ(m_messages.shown.size(), 1u) << r.text;
        EXPECT_EQ(m_messages.shown[0].text, QString::fromLatin1(r.message));
        EXPECT_EQ(m_messages.shown[0].icon, MessageIcon::Exclamation);
        EXPECT_TRUE(HoldsFocus(r.field)) << r.text;
        r.field->SetText(before);
    }
    // An empty fade counts as no fade.
    Ui().fadeIn->SetText(QString());
    EXPECT_TRUE(Page().Validate());
    EXPECT_EQ(Options().FadeInLen, 0);
}

// The arrows step a fade by a tenth and an overlap by a second, never below zero.
TEST_F(SplitterOptTest, ArrowsStepFadesByATenthAndOverlapsByASecond) {
    const struct {
        ArrowEdit* field;
        const char* text;
        int steps;
        const char* want;
    } cases[] = {
        {Ui().fadeIn, "1.0", 1, "1.1"},   {Ui().forwardOverlap, "1.0", 1, "2.0"},
        {Ui().fadeOut, "0.1", -3, "0.0"}, {Ui().backwardOverlap, "1.5", -1, "0.5"},
        {Ui().fadeIn, "", 1, "0.1"},      {Ui().fadeIn, ".25", 1, "0.3"},
    };
    for (const auto& c : cases) {
        c.field->SetText(QString::fromLatin1(c.text));
        c.field->stepBy(c.steps);
        EXPECT_EQ(c.field->Text(), QString::fromLatin1(c.want)) << c.text << " " << c.steps;
    }
    EXPECT_EQ(Options().FadeInLen, 3);
    EXPECT_EQ(Options().ForwardOverlap, 20);
}

// A digit count above 1000 is cut to 1000 as it is typed, and the samples follow the count.
TEST_F(SplitterOptTest, DigitCountsStopAtAThousandAndRedrawTheSamples) {
    Ui().fileNameDigits->SetText(QStringLiteral("5000"));
    EXPECT_EQ(Ui().fileNameDigits->Text(), QStringLiteral("1000"));
    EXPECT_EQ(Options().FilenameDigitNumber, 1000);
    Ui().fileNameDigits->SetText(QStringLiteral("99999999999"));
    EXPECT_EQ(Ui().fileNameDigits->Text(), QStringLiteral("1000"));
    Ui().fileNameDigits->SetText(QStringLiteral("12"));
    EXPECT_EQ(Options().FilenameDigitNumber, 12);
    Ui().fileNameDigits->SetText(QStringLiteral("1000"));
    Ui().titleDigits->SetText(QStringLiteral("3"));
    EXPECT_EQ(Options().TitleDigitNumber, 3);
    EXPECT_EQ(Ui().titleSamples->text().toStdString(), TitleSamples(kDefaultId3TitleFormat, 3));
    Ui().fileName->setEditText(QStringLiteral("%P%.mp3"));
    EXPECT_EQ(Options().OutputFileName, "%P%.mp3");
    EXPECT_EQ(Ui().fileNameSamples->text().toStdString(), FileNameSamples("%P%.mp3", 1000));
}

// Each check box and list enables exactly the controls that depend on it.
TEST_F(SplitterOptTest, EnablingFollowsTheBoxesAndTheOutputFolder) {
    EXPECT_FALSE(Ui().sameParams->isEnabled());
    EXPECT_FALSE(Ui().sampleRate->isEnabled());
    Ui().reencode->click();
    EXPECT_TRUE(Options().ReencodePieces);
    EXPECT_TRUE(Ui().sameParams->isEnabled());
    EXPECT_FALSE(Ui().bitRate->isEnabled());
    Ui().sameParams->click();
    for (QWidget* list : {Ui().sampleRate, Ui().bitRate, Ui().channels}) EXPECT_TRUE(list->isEnabled());

    Ui().keepTag->click();
    for (QWidget* control :
         std::initializer_list<QWidget*>{Ui().trackNumber, Ui().title, Ui().titleHelp, Ui().titleDigits}) {
        EXPECT_FALSE(control->isEnabled());
    }
    EXPECT_TRUE(Ui().titleSamples->isEnabled());

    Choose(Ui().outputFolder, static_cast<int>(OutputFolderCode::SameAsSource));
    for (QWidget* control :
         std::initializer_list<QWidget*>{Ui().specificFolder, Ui().browse, Ui().treeFolders, Ui().treeExample}) {
        EXPECT_FALSE(control->isEnabled());
    }
    EXPECT_TRUE(Ui().folderPerFile->isEnabled());
    Choose(Ui().outputFolder, static_cast<int>(OutputFolderCode::Specific));
    EXPECT_TRUE(Ui().browse->isEnabled());

    Page().show();
    EXPECT_FALSE(Ui().firstPiecesNumber->isEnabled());
    Ui().firstPieces->click();
    EXPECT_TRUE(Ui().firstPiecesNumber->isEnabled());
    EXPECT_TRUE(HoldsFocus(Ui().firstPiecesNumber));
}

// Each help button shows the help of its own box.
TEST_F(SplitterOptTest, HelpButtonsShowTheirBoxesTags) {
    std::vector<std::string> shown;
    Page().SetTagHelpViewer([&](const std::string& help) { shown.push_back(help); });
    Ui().titleHelp->click();
    Ui().fileNameHelp->click();
    EXPECT_EQ(shown, (std::vector<std::string>{TitleTagHelp(), FileNameTagHelp()}));
    EXPECT_TRUE(m_messages.shown.empty());
}

// The help of each template box is shown as two grids, tags with their meanings and samples
// with their examples, each cell on one line, in a window that fits a 1024-pixel screen.
TEST(SplitterOptTagHelp, TheHelpIsShownAsGridsOfWholeLines) {
    test::App();
    const struct {
        const char* what;
        const std::string& help;
        const char* intro;
        std::size_t tags;
        TagHelpRow firstTag;
        std::size_t samples;
        TagHelpRow lastSample;
    } cases[] = {
        {"file name", FileNameTagHelp(), "You can use the following tags in file name.", 10,
         {"%F%", "source file name (not including extension)"}, 11,
         {"%A%-%I%-%N%-%P%.mp3", "Artist-Title-5-1.mp3, Artist-Title-5-2.mp3"}},
        {"title", TitleTagHelp(), "You can use the following tags in ID3 title.", 5, {"%I%", "title of original MP3 file"},
         10, {"[%P%/%T%]%I%", "[1/9]Title, [2/9]Title"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TagHelpTable table = ParseTagHelp(c.help);
        EXPECT_EQ(table.intro, QString::fromLatin1(c.intro));
        ASSERT_EQ(table.tags.size(), c.tags);
        EXPECT_EQ(table.tags.front().left, c.firstTag.left);
        EXPECT_EQ(table.tags.front().right, c.firstTag.right);
        EXPECT_EQ(table.samplesCaption, QStringLiteral("Samples:"));
        ASSERT_EQ(table.samples.size(), c.samples);
        EXPECT_EQ(table.samples.back().left, c.lastSample.left);
        EXPECT_EQ(table.samples.back().right, c.lastSample.right);

        TagHelpDialog dialog(c.help);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Quillmere"));
        const struct {
            QGridLayout* grid;
            const std::vector<TagHelpRow>& rows;
        } grids[] = {{dialog.TagsGrid(), table.tags}, {dialog.SamplesGrid(), table.samples}};
        for (const auto& g : grids) {
            ASSERT_EQ(g.grid->rowCount(), static_cast<int>(g.rows.size()));
            ASSERT_EQ(g.grid->columnCount(), 2);
            for (int row = 0; row < g.grid->rowCount(); ++row) {
                for (int column = 0; column < 2; ++column) {
                    auto* cell = qobject_cast<QLabel*>(g.grid->itemAtPosition(row, column)->widget());
                    ASSERT_NE(cell, nullptr);
                    EXPECT_FALSE(cell->wordWrap());
                    const TagHelpRow& expected = g.rows[static_cast<std::size_t>(row)];
                    EXPECT_EQ(cell->text(), column == 0 ? expected.left : expected.right);
                }
            }
        }
        EXPECT_LT(dialog.sizeHint().width(), 1024);
    }
}

// The checks made on leaving, each with its message and the focus on its field.
TEST_F(SplitterOptTest, LeavingRefusesMissingValuesWithTheirMessages) {
    // Each case sets its fault on a fresh page and names the field that should get the focus.
    const struct {
        const char* what;
        std::function<QWidget*()> set;
        const char* message;
    } cases[] = {
        {"no folder",
         [&]() -> QWidget* {
             Choose(Ui().outputFolder, 299);
             Ui().specificFolder->clear();
             return Ui().specificFolder;
         },
         "Please choose an output folder."},
        {"no pieces",
         [&]() -> QWidget* {
             Ui().firstPieces->click();
             Ui().firstPiecesNumber->SetText(QStringLiteral("0"));
             return Ui().firstPiecesNumber;
         },
         "Please enter a positive value."},
        {"no name",
         [&]() -> QWidget* {
             Ui().fileName->setEditText(QString());
             return Ui().fileName;
         },
         "Please enter output file name or select one."},
        {"empty count",
         [&]() -> QWidget* {
             Ui().titleDigits->SetText(QString());
             return Ui().titleDigits;
         },
         "Please enter an integer."},
    };
    for (const auto& c : cases) {
        m_page.reset();
        m_store.splitterOptions = MakeSplitterOptions("/home/user/Documents");
        Page().show();
        m_messages.shown.clear();
        QWidget* const field = c.set();
        EXPECT_FALSE(Page().Validate()) << c.what;
        ASSERT_EQ(m_messages.shown.size(), 1u) << c.what;
        EXPECT_EQ(m_messages.shown[0].text, QString::fromLatin1(c.message)) << c.what;
        EXPECT_TRUE(HoldsFocus(field)) << c.what;
    }
}

// A count emptied and then disabled by its box cannot be corrected, so it does not keep the
// user on the page: its option keeps a sound value (the title digits as typing left them, 0;
// the stored number of first pieces). Ticked again, the empty field is refused as before.
TEST_F(SplitterOptTest, AnEmptyCountItsBoxDisabledDoesNotKeepTheUserOnThePage) {
    const struct {
        const char* what;
        QCheckBox* SplitterOptControls::*box;
        ArrowEdit* SplitterOptControls::*field;
        int SplitterOptions::*option;
        int kept;
    } cases[] = {
        {"title digits", &SplitterOptControls::keepTag, &SplitterOptControls::titleDigits,
         &SplitterOptions::TitleDigitNumber, 0},
        {"first pieces", &SplitterOptControls::firstPieces, &SplitterOptControls::firstPiecesNumber,
         &SplitterOptions::FirstPiecesNumber, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_page.reset();
        m_store.splitterOptions = MakeSplitterOptions("/home/user/Documents");
        Options().KeepID3tag = true;
        Options().SplitFirstNPieces = true;
        Options().TitleDigitNumber = 3;
        Options().FirstPiecesNumber = 4;
        Page().show();
        m_messages.shown.clear();
        (Ui().*c.field)->SetText(QString());
        (Ui().*c.box)->click();
        EXPECT_FALSE((Ui().*c.field)->isEnabled());
        EXPECT_TRUE(Page().Validate());
        EXPECT_TRUE(m_messages.shown.empty());
        EXPECT_EQ(Options().*c.option, c.kept);

        (Ui().*c.box)->click();
        EXPECT_FALSE(Page().Validate());
        ASSERT_EQ(m_messages.shown.size(), 1u);
        EXPECT_EQ(m_messages.shown[0].text, QStringLiteral("Please enter an integer."));
    }
}

// The tree-folders example speaks of this platform's paths and names the folder the rule
// makes of them; laid out at any width, its lines break between words, never inside a path.
TEST_F(SplitterOptTest, TheTreeFoldersExampleShowsPosixPathsWhole) {
    const QString shown = Ui().treeExample->text();
    QString plain = shown;
    plain.remove(QChar(0x2060));
    EXPECT_EQ(plain.toStdString(),
              "For example: original MP3 file is \"/home/user/Music/sample.mp3\", specified output folder is "
              "\"/home/user/Output\". If the option is checked, then the program will create folder "
              "\"/home/user/Output/home/user/Music/\" and output piece(s) at the folder.");
    for (int widthPixels = 100; widthPixels <= 1000; widthPixels += 25) {
        QTextLayout layout(shown, Ui().treeExample->font());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(widthPixels);
        }
        layout.endLayout();
        for (int i = 1; i < layout.lineCount(); ++i) {
            const int start = layout.lineAt(i).textStart();
            EXPECT_EQ(shown[start - 1], QLatin1Char(' ')) << widthPixels << " px: " << shown.mid(start).toStdString();
        }
    }
}

// Stored values that match no entry select the first one, which leaving then stores.
TEST_F(SplitterOptTest, UnknownStoredValuesFallBackToTheFirstEntry) {
    Options().MP3SampleRate = 44000;
    Options().TargetExistsOpt = static_cast<TargetExistsCode>(77);
    Options().ID3TrackNumType = static_cast<TrackNumberCode>(9);
    Page();
    EXPECT_EQ(Ui().sampleRate->currentText(), QStringLiteral("8000 Hz"));
    EXPECT_EQ(Options().TargetExistsOpt, TargetExistsCode::Rename);
    EXPECT_EQ(Options().ID3TrackNumType, TrackNumberCode::Source);
    EXPECT_TRUE(Page().Validate());
    EXPECT_EQ(Options().MP3SampleRate, 8000);
}

// A stored pair that the lists cannot show, or that no encoder takes, is shown (and stored on
// leaving) as the coupling of the two lists would make it: the rate shown, or the first when
// none matches, and the bit rate brought into its range.
TEST_F(SplitterOptTest, StoredRatesAreShownAsAnEncodablePair) {
    const struct {
        int storedHz, storedKbps;
        const char* shownRate;
        const char* shownBitRate;
    } cases[] = {
        {44000, 128, "8000 Hz", "64 kbps"},     // an unknown rate: the first, then at most 64 kbit/s
        {22050, 320, "22050 Hz", "160 kbps"},   // a pair no encoder takes
        {44100, 999, "44100 Hz", "32 kbps"},    // an unknown bit rate: the first, then at least 32
        {48000, 192, "48000 Hz", "192 kbps"},   // a sound pair stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.storedHz) + " Hz, " + std::to_string(c.storedKbps) + " kbps");
        m_page.reset();
        m_store.splitterOptions = MakeSplitterOptions("/home/user/Documents");
        Options().MP3SampleRate = c.storedHz;
        Options().MP3BitRate = c.storedKbps;
        Page();
        EXPECT_EQ(Ui().sampleRate->currentText(), QString::fromLatin1(c.shownRate));
        EXPECT_EQ(Ui().bitRate->currentText(), QString::fromLatin1(c.shownBitRate));
        EXPECT_TRUE(Page().Validate());
        EXPECT_EQ(QStringLiteral("%1 Hz").arg(Options().MP3SampleRate), QString::fromLatin1(c.shownRate));
        EXPECT_EQ(QStringLiteral("%1 kbps").arg(Options().MP3BitRate), QString::fromLatin1(c.shownBitRate));
    }
}

// Before its window is filled the page lets the user go without looking at anything.
TEST_F(SplitterOptTest, AnUnshownPagePassesAndKeepsItsTemplates) {
    Options().OutputFileName = "%F% (%P%).mp3";
    CPageSplitterOpt page(m_store);
    Options().SpecifiedOutputFolder.clear();
    EXPECT_TRUE(page.Validate());
    page.InitialiseWindow();
    EXPECT_EQ(page.Ui().fileName->currentText(), QStringLiteral("%F% (%P%).mp3"));
    EXPECT_EQ(Options().OutputFileName, "%F% (%P%).mp3");
}

// "Browse" starts at the folder in the edit and shows the one picked.
TEST_F(SplitterOptTest, BrowseShowsThePickedFolder) {
    struct Picker : GatheringDialogs {
        QStringList ChooseFiles(QWidget*) override { return {}; }
        QString ChooseFolder(QWidget*, const QString& title, const QString& start) override {
            seen = title + QLatin1Char('|') + start;
            return answer;
        }
        QString seen, answer;
    } picker;
    SetGatheringDialogs(&picker);
    Ui().specificFolder->setText(QStringLiteral("/music"));
    picker.answer = QStringLiteral("/out");
    Ui().browse->click();
    SetGatheringDialogs(nullptr);
    EXPECT_EQ(picker.seen, QStringLiteral("Please choose an output folder:|/music"));
    EXPECT_EQ(Ui().specificFolder->text(), QStringLiteral("/out"));
    EXPECT_EQ(Options().SpecifiedOutputFolder, "/out");
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// Switching tabs away from a page that refuses keeps the window on it; once the field is
// corrected the switch goes through, and a refusing page also keeps the window open.
TEST_F(SplitterOptTest, TheSheetStaysOnARefusingPage) {
    CMainSheet sheet;
    auto* other = new CResizablePage(QStringLiteral("Other"), QSize(100, 100));
    sheet.AddPage(other);
    auto* page = new CPageSplitterOpt(m_store);
    sheet.AddPage(page);
    sheet.SetOptionsPages(page, nullptr);
    sheet.FinishInitialising();
    sheet.show();
    sheet.SetActivePage(1);
    page->Ui().fadeIn->SetText(QStringLiteral("abc"));
    sheet.SetActivePage(0);
    EXPECT_EQ(sheet.ActivePageIndex(), 1);
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_FALSE(sheet.close());
    EXPECT_EQ(m_messages.shown.size(), 2u);
    // A click on the other tab is refused before the tab changes.
    QTabBar* tabs = sheet.Tabs()->tabBar();
    const QPointF onOther = tabs->tabRect(0).center();
    QMouseEvent press(QEvent::MouseButtonPress, onOther, tabs->mapToGlobal(onOther), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    int switches = 0;
    QObject::connect(&sheet, &CResizableSheet::ActivePageChanged, [&switches] { ++switches; });
    QApplication::sendEvent(tabs, &press);
    EXPECT_EQ(switches, 0);
    EXPECT_EQ(sheet.ActivePageIndex(), 1);
    EXPECT_EQ(m_messages.shown.size(), 3u);
    page->Ui().fadeIn->SetText(QStringLiteral("1.5"));
    sheet.SetActivePage(0);
    EXPECT_EQ(sheet.ActivePageIndex(), 0);
    EXPECT_EQ(Options().FadeInLen, 15);
    EXPECT_TRUE(sheet.close());
}

}  // namespace
}  // namespace qm
