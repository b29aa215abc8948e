// Hearing the cut before the split: the stretches "Play Seam" writes around a boundary and the
// options they are written with, where each moment heard comes from in the source, files played
// back to back as one stream, and both commands on the manual splitter page (files written by
// the engine, playback on the dummy device, files gone at Stop).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>

#include "fixtures/Fixtures.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "stream/AudioLayer.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/pages/SplitterControls.h"
#include "ui/pages/SplitterHearing.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/StreamSequence.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using hearing::Side;
using hearing::Stretch;

// Rows ending at the given ms, each starting where the one before ends.
std::vector<PieceRow> RowsEndingAt(const std::vector<Millis>& endsMs) {
    std::vector<PieceRow> rows;
    for (const Millis end : endsMs) {
        PieceRow row;
        row.startTenths = rows.empty() ? 0 : rows.back().endTenths;
        row.endTenths = MillisToTenths(end);
        row.exactEnd = end;
        rows.push_back(row);
    }
    return rows;
}

// What "Play Seam" writes at the boundary nearest the one asked for: the last 2 s of the piece
// before and the first 2 s of the piece after, to the ms, each with the fade and overlap of the
// piece's end it holds and every other option; at either end of the file only the side there
// is; a piece whole, with all four, where it lasts 2 s or less or where the fade of its far end
// reaches the stretch.
TEST(SplitterHearing, SeamStretchesAroundABoundary) {
    const struct {
        const char* name;
        std::vector<Millis> endsMs;
        Millis boundaryMs;
        int fadeInTenths, fadeOutTenths;
        std::vector<std::string> written;  // piece end or start, ms, whole, fade in/out, overlap forward/backward
    } cases[] = {
        {"nearest", {10000, 20000, 25000}, 10040, 10, 20, {"end 8000-10000 0/20/0/40", "start 10000-12000 10/0/30/0"}},
        {"first start", {10000, 25000}, 0, 10, 20, {"start 0-2000 10/0/30/0"}},
        {"last end", {10000, 25000}, 25000, 10, 20, {"end 23000-25000 0/20/0/40"}},
        {"exactly 2 s", {2000, 10000}, 2000, 0, 0, {"end 0-2000 whole 0/0/30/40", "start 2000-4000 0/0/30/0"}},
        {"2.001 s", {2001, 10000}, 2001, 0, 0, {"end 1-2001 0/0/0/40", "start 2001-4001 0/0/30/0"}},
        {"far fades", {2500, 10000}, 2500, 5, 75, {"end 0-2500 whole 5/75/30/40", "start 2500-10000 whole 5/75/30/40"}},
        {"to the ms", {12345, 20000}, 12300, 0, 0, {"end 10345-12345 0/0/0/40", "start 12345-14345 0/0/30/0"}},
    };
    SplitterOptions options;
    options.ReencodePieces = true;
    options.VolumeChangeTenthsDb = -35;
    options.ForwardOverlap = 30;
    options.BackwardOverlap = 40;
    for (const auto& c : cases) {
        options.FadeInLen = c.fadeInTenths;
        options.FadeOutLen = c.fadeOutTenths;
        std::vector<std::string> written;
        for (const Stretch& s : hearing::SeamStretches(RowsEndingAt(c.endsMs), c.boundaryMs, options)) {
            const SplitterOptions o = hearing::StretchOptions(options, s);
            EXPECT_EQ(o.VolumeChangeTenthsDb, -35);
            EXPECT_TRUE(o.ReencodePieces);
            char text[64];
            std::snprintf(text, sizeof text, "%s %lld-%lld%s %d/%d/%d/%d",
                          s.side == Side::EndOfPieceBefore ? "end" : "start", static_cast<long long>(s.begin),
                          static_cast<long long>(s.end), s.wholePiece ? " whole" : "", o.FadeInLen, o.FadeOutLen,
                          o.ForwardOverlap, o.BackwardOverlap);
            written.push_back(text);
        }
        EXPECT_EQ(written, c.written) << c.name;
    }
}

// Each moment maps back from its part's source end, so repeated frames at a part's start fall
// before the piece's own begin; outside the parts, the nearest end of the nearest part.
TEST(SplitterHearing, SourceTimeOfWhatIsHeard) {
    // A 2.078 s part ending at 10 s of the source, then a 2 s part ending at 12 s.
    const std::vector<hearing::HeardPart> parts{{0, 2078, 10000}, {2078, 2000, 12000}};
    const std::pair<Millis, Millis> cases[] = {
        {0, 7922}, {78, 8000}, {2077, 9999}, {2078, 10000}, {3078, 11000}, {9999, 12000}, {-5, 7922},
    };
    for (const auto& [playedMs, sourceMs] : cases)
        EXPECT_EQ(hearing::SourceMillisAt(parts, playedMs), sourceMs) << playedMs;
    EXPECT_EQ(hearing::SourceMillisAt({{0, 500, 200}}, 0), 0);  // never before the source
    EXPECT_EQ(hearing::SourceMillisAt({}, 100), 0);
}

// Files of one format play as one stream whose length is theirs together and which reads on
// from the first into the second; a file of another rate is refused.
TEST(SplitterHearing, FilesBackToBackAsOneStream) {
    fixtures::TempDir dir;
    const fs::path a = fixtures::MakeSong(dir, "a.mp3", 1.0);
    const fs::path b = fixtures::MakeSong(dir, "b.mp3", 0.5);
    fixtures::WriteFileBytes(dir / "c.mp3",
                             fixtures::EncodeMp3(fixtures::StreamSpec(0.5, fixtures::Signal::Tone, 22050)));
    const std::int64_t aBytes = audio::StreamCreateFile(a)->LengthBytes();
    const std::int64_t bBytes = audio::StreamCreateFile(b)->LengthBytes();
    std::unique_ptr<StreamSequence> both = StreamSequence::Open({a, b});
    ASSERT_TRUE(both);
    EXPECT_EQ(both->LengthBytes(), aBytes + bBytes);
    EXPECT_EQ(both->PartStarts(), (std::vector<std::int64_t>{0, aBytes}));
    char buffer[4096];
    std::int64_t read = 0;
    for (std::int64_t got = 0; (got = both->GetData(buffer, sizeof buffer)) > 0;) read += got;
    EXPECT_EQ(read, aBytes + bBytes);
    ASSERT_TRUE(both->SetPosition(aBytes + 4000));
    EXPECT_EQ(both->Position(), aBytes + 4000);
    EXPECT_FALSE(StreamSequence::Open({a, dir / "c.mp3"}));
    EXPECT_FALSE(StreamSequence::Open({}));
}

class SplitterHearingPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::App();
        ASSERT_TRUE(audio::Init(audio::kDefaultDevice, 44100));  // SDL's dummy driver in the tests
    }
    static void TearDownTestSuite() { audio::Free(); }

    SplitterHearingPage() : store(backend, "") {
        store.LoadPageGroups();
        store.splitterOptions.BrowseFolder = false;
        store.splitterOptions.FadeInLen = 5;  // half a second each
        store.splitterOptions.FadeOutLen = 5;
        page = std::make_unique<CPageSplitter>(store);
        page->SetSoundCard(true);
        page->SetDesktop(desktop);
    }

    // A 10 s song cut by hand at the given tenths.
    void LoadCutAt(const std::vector<int>& cutsTenths) {
        ASSERT_TRUE(page->LoadSourceFile(PathText(fixtures::MakeSong(dir, "song.mp3", 10.0))));
        page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
        for (const int tenths : cutsTenths) {
            page->MoveTimeline(tenths);
            page->AddPiece();
        }
    }

    // The files being heard, decoded: seconds of each, and whether it starts and ends faded (the
    // loudness of its first and last 0.1 s under a quarter of that of its middle 0.2 s).
    std::vector<std::string> HeardFiles() const {
        std::vector<std::string> files;
        for (const hearing::HeardFile& file : page->Audition().Files()) {
            const fixtures::Decoded d = fixtures::DecodeWithMpg123(file.path, /*keepPcm=*/true);
            const double seconds = static_cast<double>(d.samples) / static_cast<double>(d.rateHz);
            const auto rms = [&d](double fromSeconds, double toSeconds) {  // of both channels
                const auto at = [&d](double s) { return static_cast<std::size_t>(s * d.rateHz) * d.channels; };
                const std::size_t from = at(fromSeconds), to = std::min(at(toSeconds), d.pcm.size());
                double sum = 0;
                for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(d.pcm[i]) * d.pcm[i];
                return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
            };
            const double quiet = rms(seconds / 2 - 0.1, seconds / 2 + 0.1) / 4;
            char text[64];
            std::snprintf(text, sizeof text, "%s %.1f s%s%s", file.path.filename().c_str(), seconds,
                          rms(0.0, 0.1) < quiet ? " in" : "", rms(seconds - 0.1, seconds) < quiet ? " out" : "");
            files.push_back(text);
        }
        return files;
    }

    MemorySettingsBackend backend;
    SettingsStore store;
    std::unique_ptr<CPageSplitter> page;
    test::RecordedDesktop desktop;
    fixtures::TempDir dir;
};

// "Play Seam" at the boundary of 5 s, cut directly: the piece before's last 2 s faded out only,
// the piece after's first 2 s faded in only, both playing, the cursor near the boundary; Stop
// removes them and puts the position back.
TEST_F(SplitterHearingPage, PlaySeamWritesBothSidesWithTheirFades) {
    LoadCutAt({50});
    page->SelectPiece(1);
    ASSERT_TRUE(page->Ui().playSeam->isEnabled());
    page->PlaySeamPressed();
    ASSERT_EQ(page->State(), PlayerState::Hearing);
    EXPECT_TRUE(page->Audition().IsPlaying());
    EXPECT_EQ(HeardFiles(), (std::vector<std::string>{"seam-1.mp3 2.0 s out", "seam-2.mp3 2.0 s in"}));
    QTest::qWait(400);
    EXPECT_GE(page->TimelinePosition(), 30);
    EXPECT_LE(page->TimelinePosition(), 40);

    const fs::path folder = page->Audition().Folder();
    ASSERT_TRUE(fs::exists(folder / "seam-1.mp3"));
    page->StopPressed();
    EXPECT_EQ(page->State(), PlayerState::Stopped);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(page->Audition().Files().empty());
    EXPECT_EQ(page->TimelinePosition(), 50);
}

// "Play Pieces" writes the checked pieces whole, each faded at both ends, and plays them; Stop
// removes them, Stop while they are written cancels and leaves nothing, and closing the page
// removes what it played.
TEST_F(SplitterHearingPage, PlayPiecesWritesTheCheckedPieces) {
    LoadCutAt({30, 60});
    page->Ui().pieces->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    page->PlayPiecesPressed();
    ASSERT_EQ(page->State(), PlayerState::Hearing);
    EXPECT_TRUE(page->Audition().IsPlaying());
    EXPECT_EQ(HeardFiles(), (std::vector<std::string>{"piece-1.mp3 3.0 s in out", "piece-3.mp3 4.0 s in out"}));
    EXPECT_TRUE(desktop.shown.empty());
    const fs::path folder = page->Audition().Folder();
    page->StopPressed();
    EXPECT_EQ(page->State(), PlayerState::Stopped);
    EXPECT_FALSE(fs::exists(folder));

    QTimer::singleShot(0, page.get(), [this] { page->StopPressed(); });
    page->PlayPiecesPressed();
    EXPECT_EQ(page->State(), PlayerState::Stopped);
    EXPECT_TRUE(page->Audition().Folder().empty());

    page->PlayPiecesPressed();
    const fs::path played = page->Audition().Folder();
    ASSERT_TRUE(fs::exists(played));
    page.reset();
    EXPECT_FALSE(fs::exists(played));
}

// Without a sound card both say so, as "Play" does.
TEST_F(SplitterHearingPage, NoSoundCard) {
    page->SetSoundCard(false);
    LoadCutAt({50});
    page->PlaySeamPressed();
    page->PlayPiecesPressed();
    ASSERT_EQ(desktop.shown.size(), 2u);
    EXPECT_EQ(desktop.shown[0].text,
              "Dear user, the program can't detect a sound card on your computer. The \"Play Seam\" doesn't work.");
    EXPECT_EQ(desktop.shown[1].text,
              "Dear user, the program can't detect a sound card on your computer. The \"Play Pieces\" doesn't work.");
    EXPECT_TRUE(page->Audition().Folder().empty());
}

}  // namespace
}  // namespace qm
