// Hearing the cut before the split: the stretches "Play Seam" writes around a boundary and the
// options they are written with, where each moment heard comes from
// in the source, files played back to back as one stream, and both commands on the manual
// splitter page (files written by the engine, playback on the dummy device, files gone at Stop).

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

// Two seconds each side, a shorter piece whole, the nearest boundary, only the side there is
// at either end of the file, and a piece whole where the fade of its far end reaches the stretch.
TEST(SplitterHearing, SeamStretchesAroundABoundary) {
    struct Case {
        const char* name;
        std::vector<Millis> endsMs;
        Millis boundaryMs;
        int fadeInTenths;
        int fadeOutTenths;
        std::vector<Stretch> expected;
    };
    const Case cases[] = {
        {"middle",
         {10000, 20000, 25000},
         10000,
         0,
         0,
         {{8000, 10000, Side::EndOfPieceBefore, false}, {10000, 12000, Side::StartOfPieceAfter, false}}},
        {"nearest",
         {10000, 20000, 25000},
         10040,
         0,
         0,
         {{8000, 10000, Side::EndOfPieceBefore, false}, {10000, 12000, Side::StartOfPieceAfter, false}}},
        {"first start", {10000, 25000}, 0, 0, 0, {{0, 2000, Side::StartOfPieceAfter, false}}},
        {"last end", {10000, 25000}, 25000, 0, 0, {{23000, 25000, Side::EndOfPieceBefore, false}}},
        {"short before",
         {1500, 10000},
         1500,
         0,
         0,
         {{0, 1500, Side::EndOfPieceBefore, true}, {1500, 3500, Side::StartOfPieceAfter, false}}},
        {"exactly 2 s",
         {2000, 10000},
         2000,
         0,
         0,
         {{0, 2000, Side::EndOfPieceBefore, true}, {2000, 4000, Side::StartOfPieceAfter, false}}},
        {"2.001 s",
         {2001, 10000},
         2001,
         0,
         0,
         {{1, 2001, Side::EndOfPieceBefore, false}, {2001, 4001, Side::StartOfPieceAfter, false}}},
        {"fades reach in",
         {2500, 10000},
         2500,
         5,
         75,
         {{0, 2500, Side::EndOfPieceBefore, true}, {2500, 10000, Side::StartOfPieceAfter, true}}},
        {"to the ms",
         {12345, 20000},
         12300,
         0,
         0,
         {{10345, 12345, Side::EndOfPieceBefore, false}, {12345, 14345, Side::StartOfPieceAfter, false}}},
    };
    for (const Case& c : cases) {
        SplitterOptions options;
        options.FadeInLen = c.fadeInTenths;
        options.FadeOutLen = c.fadeOutTenths;
        EXPECT_EQ(hearing::SeamStretches(RowsEndingAt(c.endsMs), c.boundaryMs, options), c.expected) << c.name;
    }
}

// A stretch keeps the fade and overlap of the piece's end it holds; a whole piece keeps all four.
TEST(SplitterHearing, StretchesKeepTheirOwnEndsFadesAndOverlaps) {
    struct Case {
        Side side;
        bool whole;
        int fadeIn, fadeOut, forward, backward;
    };
    const Case cases[] = {
        {Side::EndOfPieceBefore, false, 0, 20, 0, 40},
        {Side::StartOfPieceAfter, false, 10, 0, 30, 0},
        {Side::EndOfPieceBefore, true, 10, 20, 30, 40},
        {Side::StartOfPieceAfter, true, 10, 20, 30, 40},
    };
    SplitterOptions options;
    options.FadeInLen = 10;
    options.FadeOutLen = 20;
    options.ForwardOverlap = 30;
    options.BackwardOverlap = 40;
    options.VolumeChangeTenthsDb = -35;
    options.ReencodePieces = true;
    for (const Case& c : cases) {
        const SplitterOptions written = hearing::StretchOptions(options, {1000, 3000, c.side, c.whole});
        EXPECT_EQ(
            (std::vector<int>{written.FadeInLen, written.FadeOutLen, written.ForwardOverlap, written.BackwardOverlap}),
            (std::vector<int>{c.fadeIn, c.fadeOut, c.forward, c.backward}))
            << static_cast<int>(c.side) << c.whole;
        EXPECT_EQ(written.VolumeChangeTenthsDb, -35);
        EXPECT_TRUE(written.ReencodePieces);
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
    std::vector<char> buffer(4096);
    std::int64_t read = 0;
    for (std::int64_t got = 0; (got = both->GetData(buffer.data(), buffer.size())) > 0;) read += got;
    EXPECT_EQ(read, aBytes + bBytes);
    ASSERT_TRUE(both->SetPosition(aBytes + 4000));
    EXPECT_EQ(both->Position(), aBytes + 4000);
    EXPECT_FALSE(StreamSequence::Open({a, dir / "c.mp3"}));
    EXPECT_FALSE(StreamSequence::Open({}));
}

// The loudness (RMS of both channels) of the decoded PCM between two times, in seconds.
double Rms(const fixtures::Decoded& decoded, double fromSeconds, double toSeconds) {
    const auto at = [&](double s) { return static_cast<std::size_t>(s * decoded.rateHz) * decoded.channels; };
    const std::size_t from = at(fromSeconds);
    const std::size_t to = std::min(at(toSeconds), decoded.pcm.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(decoded.pcm[i]) * decoded.pcm[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
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
        song = fixtures::MakeSong(dir, "song.mp3", 10.0);
        ASSERT_TRUE(page->LoadSourceFile(PathText(song)));
        page->Ui().mode.Button(SplitTypeCode::ByCustom)->click();
        for (const int tenths : cutsTenths) {
            page->MoveTimeline(tenths);
            page->AddPiece();
        }
    }

    // The files being heard, decoded: seconds of each, and whether it starts and ends faded
    // (its first and last 0.1 s well below its middle).
    std::vector<std::string> HeardFiles() const {
        std::vector<std::string> files;
        for (const hearing::HeardFile& file : page->Audition().Files()) {
            const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(file.path, /*keepPcm=*/true);
            const double seconds = static_cast<double>(decoded.samples) / static_cast<double>(decoded.rateHz);
            const double middle = Rms(decoded, seconds / 2 - 0.1, seconds / 2 + 0.1);
            const bool fadedIn = Rms(decoded, 0.0, 0.1) < middle / 4;
            const bool fadedOut = Rms(decoded, seconds - 0.1, seconds) < middle / 4;
            char text[64];
            std::snprintf(text, sizeof text, "%s %.1f s%s%s", file.path.filename().c_str(), seconds,
                          fadedIn ? " in" : "", fadedOut ? " out" : "");
            files.push_back(text);
        }
        return files;
    }

    MemorySettingsBackend backend;
    SettingsStore store;
    std::unique_ptr<CPageSplitter> page;
    test::RecordedDesktop desktop;
    fixtures::TempDir dir;
    fs::path song;
};

// "Play Seam" at the boundary of 5 s, cut directly and re-encoded: the piece before's last 2 s
// faded out only, the piece after's first 2 s faded in only, both playing, the cursor near the
// boundary; Stop removes them and puts the position back.
TEST_F(SplitterHearingPage, PlaySeamWritesBothSidesWithTheirFades) {
    LoadCutAt({50});
    for (const bool reencode : {false, true}) {
        SCOPED_TRACE(reencode ? "re-encoded" : "direct");
        store.splitterOptions.ReencodePieces = reencode;
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
}

// "Play Pieces" writes the checked pieces whole, each faded at both ends, plays them and the
// end of playback stops it; Stop while they are written cancels and leaves nothing; closing
// the page removes what it played.
TEST_F(SplitterHearingPage, PlayPiecesWritesTheCheckedPieces) {
    LoadCutAt({30, 60});
    page->Ui().pieces->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    page->PlayPiecesPressed();
    ASSERT_EQ(page->State(), PlayerState::Hearing);
    EXPECT_EQ(HeardFiles(), (std::vector<std::string>{"piece-1.mp3 3.0 s in out", "piece-3.mp3 4.0 s in out"}));
    EXPECT_TRUE(desktop.shown.empty());
    const fs::path folder = page->Audition().Folder();
    QEvent ended(kPlaybackEndedEvent);
    QCoreApplication::sendEvent(page.get(), &ended);
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
