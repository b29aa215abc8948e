// The size, count and time inputs that both splitter pages show: what is shown comes back when
// taken, a stored mode no button carries shows the size mode, and only the checked mode's
// inputs are enabled.

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QRadioButton>
#include <QSpinBox>
#include <QWidget>

#include "ui/UiTestSupport.h"
#include "ui/pages/CPageBatchSplitterSpin.h"
#include "ui/pages/SplitModeInputs.h"

namespace qm {
namespace {

constexpr SplitModeTexts kTexts = {1, 2, "count", "By &time", "&minutes", "seconds"};

struct ModeBox {
    ModeBox() : grid(new QGridLayout(&box)), ui(MakeSplitModeRows(grid, &box, kTexts)) {
        // The custom mode's row is the page's own; its button is all the inputs need.
        AddModeRow(grid, ui.modes, SplitTypeCode::ByCustom, "By c&ustom", {});
    }
    QWidget box;
    QGridLayout* grid;
    SplitModeControls ui;
};

// Every mode and input round-trips; a code outside the four shows (and takes back) the size mode.
TEST(SplitModeControls, ShowsAndTakesTheStoredInputs) {
    test::App();
    const struct {
        SplitTypeCode shown;
        SplitTypeCode taken;
        SizeUnitCode unit;
    } cases[] = {
        {SplitTypeCode::BySize, SplitTypeCode::BySize, SizeUnitCode::KB},
        {SplitTypeCode::ByCount, SplitTypeCode::ByCount, SizeUnitCode::GB},
        {SplitTypeCode::ByTime, SplitTypeCode::ByTime, SizeUnitCode::MB},
        {SplitTypeCode::ByCustom, SplitTypeCode::ByCustom, SizeUnitCode::KB},
        {static_cast<SplitTypeCode>(7), SplitTypeCode::BySize, SizeUnitCode::MB},
    };
    for (const auto& c : cases) {
        ModeBox page;
        SplitSettings stored;
        stored.SplitType = c.shown;
        stored.SplitFileSizeEx = "1.5";
        stored.SplitFileUnit = c.unit;
        stored.SplitFileAmount = 12;
        stored.SplitTimeMin = 3;
        stored.SplitTimeSec = 59;
        page.ui.Show(stored);
        SplitSettings taken;
        page.ui.Take(&taken);
        EXPECT_EQ(taken.SplitType, c.taken) << static_cast<int>(c.shown);
        EXPECT_EQ(taken.SplitFileSizeEx, "1.5");
        EXPECT_EQ(taken.SplitFileUnit, c.unit);
        EXPECT_EQ(taken.SplitFileAmount, 12);
        EXPECT_EQ(taken.SplitTimeMin, 3);
        EXPECT_EQ(taken.SplitTimeSec, 59);
    }
}

// Only the checked mode's inputs are enabled, none without a file; the focus goes to its first.
TEST(SplitModeControls, EnablesTheCheckedModesInputs) {
    test::App();
    ModeBox page;
    const auto enabled = [&page] {
        std::string marks;
        for (QWidget* input : std::initializer_list<QWidget*>{page.ui.size, page.ui.unit, page.ui.count,
                                                              page.ui.minutes, page.ui.seconds}) {
            marks += input->isEnabled() ? 'e' : '-';
        }
        return marks;
    };
    const struct {
        SplitTypeCode mode;
        const char* marks;
        QWidget* first;
    } cases[] = {
        {SplitTypeCode::BySize, "ee---", page.ui.size},
        {SplitTypeCode::ByCount, "--e--", page.ui.count},
        {SplitTypeCode::ByTime, "---ee", page.ui.minutes},
        {SplitTypeCode::ByCustom, "-----", nullptr},
    };
    for (const auto& c : cases) {
        page.ui.Button(c.mode)->setChecked(true);
        EXPECT_EQ(page.ui.Mode(), c.mode);
        page.ui.EnableInputs(/*enabled=*/true);
        EXPECT_EQ(enabled(), c.marks) << static_cast<int>(c.mode);
        EXPECT_EQ(page.ui.FirstInput(c.mode), c.first);
        page.ui.EnableInputs(/*enabled=*/false);
        EXPECT_EQ(enabled(), "-----");
    }
}

}  // namespace
}  // namespace qm
