// The "Volume change" field of the splitter and joiner options pages: it shows the stored
// volume change in dB with one decimal, and leaving the page stores what it shows, in tenths.

#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <functional>
#include <memory>

#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageJoinerOpt.h"
#include "ui/pages/CPageSplitterOpt.h"

namespace qm {
namespace {

// One options page made over store, its volume change field and the option behind it.
struct PageUnderTest {
    const char* name;
    std::function<std::unique_ptr<COptionsPage>(SettingsStore&, DesktopCalls&, QDoubleSpinBox**)> make;
    std::function<int&(SettingsStore&)> option;
};

template <typename Page>
std::unique_ptr<COptionsPage> MakePage(SettingsStore& store, DesktopCalls& desktop, QDoubleSpinBox** field) {
    auto page = std::make_unique<Page>(store);
    page->SetDesktop(desktop);
    page->InitialiseWindow();
    *field = page->Ui().volumeChange;
    return page;
}

const PageUnderTest kPages[] = {
    {"splitter options", MakePage<CPageSplitterOpt>,
     [](SettingsStore& s) -> int& { return s.splitterOptions.VolumeChangeTenthsDb; }},
    {"joiner options", MakePage<CPageJoinerOpt>,
     [](SettingsStore& s) -> int& { return s.joinerOptions.VolumeChangeTenthsDb; }},
};

// What is stored when the page opens, what it then shows, what the user sets and what leaving
// the page stores. A value past the range is held at its end.
struct FieldCase {
    int storedTenthsDb;
    const char* shown;
    double typedDb;
    int savedTenthsDb;
};
const FieldCase kCases[] = {
    {0, "0.0 dB", -6.0, -60},        {-60, "-6.0 dB", 2.5, 25},      {25, "2.5 dB", 0.0, 0},
    {1000, "100.0 dB", 150.0, 1000}, {-1000, "-100.0 dB", -0.04, 0}, {-15, "-1.5 dB", -99.95, -1000},
};

TEST(VolumeChangeField, BothOptionsPagesLoadAndSaveIt) {
    test::App();
    for (const PageUnderTest& page : kPages) {
        for (const FieldCase& c : kCases) {
            SCOPED_TRACE(std::string(page.name) + ", stored " + std::to_string(c.storedTenthsDb));
            MemorySettingsBackend backend;
            SettingsStore store(backend, "/home/user/Documents");
            page.option(store) = c.storedTenthsDb;
            test::RecordedDesktop desktop;
            QDoubleSpinBox* field = nullptr;
            const std::unique_ptr<COptionsPage> shown = page.make(store, desktop, &field);
            ASSERT_NE(field, nullptr);
            EXPECT_EQ(field->text(), QString::fromLatin1(c.shown));
            field->setValue(c.typedDb);
            ASSERT_TRUE(shown->Validate());
            EXPECT_TRUE(desktop.shown.empty());
            EXPECT_EQ(page.option(store), c.savedTenthsDb);
            EXPECT_EQ(field->toolTip(),
                      QStringLiteral("Raises or lowers every piece (every joined file) by this many decibels; pieces "
                                     "cut without re-encoding change by whole 1.5 dB steps, losslessly"));
        }
    }
}

}  // namespace
}  // namespace qm
