// The "Volume change" field of the splitter and joiner options pages: it shows the stored
// volume change in dB with one decimal, and leaving the page stores what it shows, in tenths.

#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <tuple>

#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageJoinerOpt.h"
#include "ui/pages/CPageSplitterOpt.h"

namespace qm {
namespace {

// Opens a Page over a store holding each stored value and checks what the field shows; then
// sets the field, leaves the page and checks what it stored. A value past the range is held at
// its end, and one that shows as 0.0 stores 0.
template <typename Page, typename Option>
void ExpectTheFieldLoadsAndSaves(Option option) {
    // What is stored, what the field then shows, what is typed and what leaving the page stores.
    const std::tuple<int, const char*, double, int> cases[] = {{0, "0.0 dB", -6.0, -60},
                                                               {25, "2.5 dB", -0.04, 0},
                                                               {1000, "100.0 dB", 150.0, 1000},
                                                               {-15, "-1.5 dB", -99.95, -1000}};
    for (const auto& [stored, shown, typed, saved] : cases) {
        SCOPED_TRACE(stored);
        MemorySettingsBackend backend;
        SettingsStore store(backend, "/home/user/Documents");
        option(store) = stored;
        test::RecordedDesktop desktop;
        Page page(store);
        page.SetDesktop(desktop);
        page.InitialiseWindow();
        QDoubleSpinBox* field = page.Ui().volumeChange;
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->text(), QString::fromLatin1(shown));
        field->setValue(typed);
        ASSERT_TRUE(page.Validate());
        EXPECT_TRUE(desktop.shown.empty());
        EXPECT_EQ(option(store), saved);
        EXPECT_EQ(field->toolTip(),
                  QStringLiteral("Raises or lowers every piece (every joined file) by this many decibels; pieces "
                                 "cut without re-encoding change by whole 1.5 dB steps, losslessly"));
    }
}

TEST(VolumeChangeField, BothOptionsPagesLoadAndSaveIt) {
    test::App();
    ExpectTheFieldLoadsAndSaves<CPageSplitterOpt>(
        [](SettingsStore& s) -> int& { return s.splitterOptions.VolumeChangeTenthsDb; });
    ExpectTheFieldLoadsAndSaves<CPageJoinerOpt>(
        [](SettingsStore& s) -> int& { return s.joinerOptions.VolumeChangeTenthsDb; });
}

}  // namespace
}  // namespace qm
