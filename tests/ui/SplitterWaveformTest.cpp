// The manual splitter page's waveform: a boundary dragged on it moves both pieces it divides,
// lands on a frame, and the pieces list follows; dragged past its neighbour it stops a frame
// short and says so as Set Start does.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QTreeWidget>

#include "fixtures/Fixtures.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "stream/AudioLayer.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/Timeline.h"
#include "ui/widgets/WaveformStrip.h"

namespace qm {
namespace {

// Press at from, drag to to with the left button held, release there.
void Drag(QWidget* widget, QPointF from, QPointF to) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from.toPoint());
    QTest::mouseMove(widget, to.toPoint());
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to.toPoint());
}

TEST(SplitterWaveform, DraggedBoundaryMovesBothPiecesAndTheListFollows) {
    test::App();
    ASSERT_TRUE(audio::Init(audio::kDefaultDevice, 44100));
    fixtures::TempDir dir;
    MemorySettingsBackend backend;
    SettingsStore store(backend, "");
    test::RecordedDesktop desktop;
    {
        CPageSplitter page(store);
        page.SetDesktop(desktop);
        page.resize(1000, 700);
        page.show();
        ASSERT_TRUE(page.LoadSourceFile(PathText(fixtures::MakeSong(dir, "song.mp3", 10.0))));
        page.MoveTimeline(50);
        page.AddPiece();
        ASSERT_EQ(page.Pieces().size(), 2U);
        QCoreApplication::processEvents();
        WaveformStrip* strip = page.Ui().waveform;
        const double y = strip->height() / 2.0;

        // 5 s dragged to 7 s: frame 268 of 44.1 kHz, 7000.16 ms, kept as 7000.
        Drag(strip, {strip->XOfMs(5000), y}, {strip->XOfMs(7000), y});
        EXPECT_EQ(page.Pieces()[0].EndMillis(), 7000);
        EXPECT_EQ(page.Pieces()[1].startTenths, 70);
        EXPECT_EQ(page.Ui().pieces->topLevelItem(0)->text(2), "0:07.0");
        EXPECT_EQ(page.Ui().pieces->topLevelItem(1)->text(1), "0:07.0");
        EXPECT_EQ(page.SelectedBoundaryMillis(), std::optional<Millis>(7000));
        EXPECT_TRUE(desktop.shown.empty());

        // Past the file's end: a frame short of it, with Set Start's message.
        const timeline::Ms totalMs = TenthsToMillis(page.TotalTenths());
        Drag(strip, {strip->XOfMs(7000), y}, {strip->XOfMs(static_cast<double>(totalMs)) + 50, y});
        const timeline::BoundaryDrop expected = timeline::DropBoundary(1e9, 7000, 0, totalMs, 1152, 44100);
        EXPECT_EQ(page.Pieces()[0].EndMillis(), expected.ms);
        EXPECT_LT(expected.ms, totalMs);
        ASSERT_EQ(desktop.shown.size(), 1U);
        EXPECT_EQ(desktop.shown[0].text,
                  "You can not set the start position greater than or equal to the end position.");
    }
    audio::Free();
}

}  // namespace
}  // namespace qm
