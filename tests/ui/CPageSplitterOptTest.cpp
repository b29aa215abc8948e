// The splitter options page: the rate and bit-rate coupling, the length fields, the digit
// counts, the enabling rules and the checks made when the page is left.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
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
#include "ui/pages/CPageSplitterOptTagHelp.h"
#include "ui/pages/OptionFields.h"
#include "ui/shell/CMainSheet.h"

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
            m_page->SetDesktop(m_desktop);
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
    test::RecordedDesktop m_desktop;
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
        m_desktop.shown.clear();
        const QString before = r.field->Text();
        r.field->SetText(QString::fromLatin1(r.text));
        EXPECT_FALSE(Page().Validate()) << r.text;
        ASSERT_EQ(m_desktop.shown.size(), 1u) << r.text;
        EXPECT_EQ(m_desktop.shown[0].text, QString::fromLatin1(r.message));
        EXPECT_EQ(m_desktop.shown[0].icon, MessageIcon::Exclamation);
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
    EXPECT_TRUE(m_desktop.shown.empty());
}

// The help of a template box is shown as two grids, the tags and the samples, each cell on
// one line, in a window that fits a 1024-pixel screen.
TEST(SplitterOptTagHelp, TheHelpIsShownAsGridsOfWholeLines) {
    test::App();
    TagHelpDialog dialog(FileNameTagHelp());
    EXPECT_EQ(dialog.TagsGrid()->rowCount(), 12);  // ten tags of the file, %C% and %R% of the piece
    ASSERT_EQ(dialog.SamplesGrid()->rowCount(), 11);
    const auto cell = [&](int column) {
        return qobject_cast<QLabel*>(dialog.SamplesGrid()->itemAtPosition(10, column)->widget());
    };
    EXPECT_EQ(cell(0)->text(), QStringLiteral("%A%-%I%-%N%-%P%.mp3"));
    EXPECT_EQ(cell(1)->text(), QStringLiteral("Artist-Title-5-1.mp3, Artist-Title-5-2.mp3"));
    EXPECT_FALSE(cell(1)->wordWrap());
    EXPECT_LT(dialog.sizeHint().width(), 1024);
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
        m_desktop.shown.clear();
        QWidget* const field = c.set();
        EXPECT_FALSE(Page().Validate()) << c.what;
        ASSERT_EQ(m_desktop.shown.size(), 1u) << c.what;
        EXPECT_EQ(m_desktop.shown[0].text, QString::fromLatin1(c.message)) << c.what;
        EXPECT_TRUE(HoldsFocus(field)) << c.what;
    }
}

// A count emptied and then disabled by its box cannot be corrected, so it does not keep the
// user on the page; its option keeps the stored number.
TEST_F(SplitterOptTest, AnEmptyCountItsBoxDisabledDoesNotKeepTheUserOnThePage) {
    Options().SplitFirstNPieces = true;
    Options().FirstPiecesNumber = 4;
    Page().show();
    Ui().firstPiecesNumber->SetText(QString());
    Ui().firstPieces->click();
    EXPECT_TRUE(Page().Validate());
    EXPECT_TRUE(m_desktop.shown.empty());
    EXPECT_EQ(Options().FirstPiecesNumber, 4);
}

// The tree-folders example speaks of this platform's paths and names the folder the rule
// makes of them; laid out too narrow for a path, its lines break between words, never
// inside a path.
TEST_F(SplitterOptTest, TheTreeFoldersExampleShowsPosixPathsWhole) {
    const QString shown = Ui().treeExample->text();
    const QString plain = QString(shown).remove(QChar(0x2060));
    EXPECT_TRUE(plain.contains(QStringLiteral("file is \"/home/user/Music/sample.mp3\"")));
    EXPECT_TRUE(plain.contains(QStringLiteral("create folder \"/home/user/Output/home/user/Music/\"")));
    // Narrower than the longest path, which in a line of its own then runs past the width.
    const QString narrow = QStringLiteral("\"/home/user/Output/home/");
    QTextLayout layout(shown, Ui().treeExample->font());
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(QFontMetrics(Ui().treeExample->font()).horizontalAdvance(narrow));
    }
    layout.endLayout();
    for (int i = 1; i < layout.lineCount(); ++i) {
        const int start = layout.lineAt(i).textStart();
        EXPECT_EQ(shown[start - 1], QLatin1Char(' ')) << shown.mid(start).toStdString();
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

// A stored pair that the lists cannot show is shown (and stored on leaving) as the coupling
// of the two lists would make it: the first entry where none matches, and the bit rate
// brought into the range of the rate shown.
TEST_F(SplitterOptTest, StoredRatesAreShownAsAnEncodablePair) {
    const struct {
        int storedHz, storedKbps;
        int shownHz, shownKbps;
    } cases[] = {
        {44000, 128, 8000, 64},   // an unknown rate: the first, then at most 64 kbit/s
        {44100, 999, 44100, 32},  // an unknown bit rate: the first, then at least 32
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.storedHz) + " Hz, " + std::to_string(c.storedKbps) + " kbps");
        m_page.reset();
        Options().MP3SampleRate = c.storedHz;
        Options().MP3BitRate = c.storedKbps;
        EXPECT_EQ(Ui().sampleRate->currentData().toInt(), c.shownHz);
        EXPECT_EQ(Ui().bitRate->currentData().toInt(), c.shownKbps);
        EXPECT_TRUE(Page().Validate());
        EXPECT_EQ(Options().MP3SampleRate, c.shownHz);
        EXPECT_EQ(Options().MP3BitRate, c.shownKbps);
    }
}

// Before its window is filled the page lets the user go without looking at anything.
TEST_F(SplitterOptTest, AnUnshownPagePassesAndKeepsItsTemplates) {
    Options().OutputFileName = "%F% (%P%).mp3";
    CPageSplitterOpt page(m_store);
    page.SetDesktop(m_desktop);
    Options().SpecifiedOutputFolder.clear();
    EXPECT_TRUE(page.Validate());
    page.InitialiseWindow();
    EXPECT_EQ(page.Ui().fileName->currentText(), QStringLiteral("%F% (%P%).mp3"));
    EXPECT_EQ(Options().OutputFileName, "%F% (%P%).mp3");
}

// "Browse" starts at the folder in the edit and shows the one picked.
TEST_F(SplitterOptTest, BrowseShowsThePickedFolder) {
    Ui().specificFolder->setText(QStringLiteral("/music"));
    m_desktop.folderToChoose = {QStringLiteral("/out")};
    Ui().browse->click();
    ASSERT_EQ(m_desktop.dialogsShown.size(), 1u);
    EXPECT_EQ(m_desktop.dialogsShown[0].title, QStringLiteral("Please choose an output folder:"));
    EXPECT_EQ(m_desktop.dialogsShown[0].startFolder, QStringLiteral("/music"));
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
    page->SetDesktop(m_desktop);
    sheet.AddPage(page);
    sheet.SetOptionsPages(page, nullptr);
    sheet.FinishInitialising();
    sheet.show();
    sheet.SetActivePage(1);
    page->Ui().fadeIn->SetText(QStringLiteral("abc"));
    sheet.SetActivePage(0);
    EXPECT_EQ(sheet.ActivePageIndex(), 1);
    ASSERT_EQ(m_desktop.shown.size(), 1u);
    EXPECT_FALSE(sheet.close());
    EXPECT_EQ(m_desktop.shown.size(), 2u);
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
    EXPECT_EQ(m_desktop.shown.size(), 3u);
    page->Ui().fadeIn->SetText(QStringLiteral("1.5"));
    sheet.SetActivePage(0);
    EXPECT_EQ(sheet.ActivePageIndex(), 0);
    EXPECT_EQ(Options().FadeInLen, 15);
    EXPECT_TRUE(sheet.close());
}

}  // namespace
}  // namespace qm
