// A source that another program changes between two pieces: the engine fails the piece read
// after the change with the source's name instead of writing what is left as a short piece.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include "EngineTestKit.h"
#include "stream/FailureMessages.h"

namespace qm {
namespace {

using namespace enginetest;
namespace fs = std::filesystem;

enum class Engine { Direct, Reencode };

struct ChangeCase {
    const char* name;
    Engine engine;
    std::function<void(const Source&)> change;
    bool secondPieceWritten;
};

void Untouched(const Source&) {}
void CutToHalf(const Source& s) { fs::resize_file(s.path, s.data.size() / 2); }
// The same bytes again, a moment later: same size, new modification time.
void RewriteInPlace(const Source& s) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    fixtures::WriteFileBytes(s.path, s.data);
}
void Extend(const Source& s) { fs::resize_file(s.path, s.data.size() + 4096); }

const ChangeCase kCases[] = {
    {"direct_untouched", Engine::Direct, Untouched, true},
    {"direct_cut", Engine::Direct, CutToHalf, false},
    {"direct_rewritten", Engine::Direct, RewriteInPlace, false},
    {"direct_extended", Engine::Direct, Extend, false},
    {"reencode_untouched", Engine::Reencode, Untouched, true},
    {"reencode_cut", Engine::Reencode, CutToHalf, false},
    {"reencode_rewritten", Engine::Reencode, RewriteInPlace, false},
};

class SourceChangeTest : public testing::TestWithParam<ChangeCase> {};

// Piece 1 is written from the untouched source; then the source changes and the rest is
// written as piece 2: refused with the source's name, no file of it left, piece 1 whole.
TEST_P(SourceChangeTest, PieceAfterAChangeFails) {
    const ChangeCase& c = GetParam();
    fixtures::TempDir dir;
    const Source source = WriteSource(dir / "song.mp3", NoiseSpec(6.0, fixtures::XingFrame::Yes));
    std::unique_ptr<SplitEngine> engine;
    if (c.engine == Engine::Direct) {
        engine = std::make_unique<DirectSplitter>();
    } else {
        engine = std::make_unique<ReencodeSplitter>();
    }
    ASSERT_TRUE(engine->Open(source.path));
    bool endReached = false;
    const fs::path first = dir / "piece-1.mp3";
    const fs::path second = dir / "piece-2.mp3";
    ASSERT_TRUE(engine->WritePieceByDuration(first, 20, PieceNumbers{1, 2, 1, 0}, &endReached));
    EXPECT_FALSE(endReached);
    c.change(source);
    const bool written = engine->WritePieceToEnd(second, PieceNumbers{2, 2, 2, 0});
    EXPECT_EQ(written, c.secondPieceWritten);
    EXPECT_EQ(engine->SourceChanged(), !c.secondPieceWritten);
    EXPECT_EQ(fs::exists(second), c.secondPieceWritten);
    if (!c.secondPieceWritten) {
        EXPECT_EQ(engine->LastError(), SourceChangedMessage(source.path));
    }
    engine->Close();
    EXPECT_NEAR(fixtures::DecodedSeconds(first), 2.0, 0.1);
    const std::vector<fs::path> known = c.secondPieceWritten ? std::vector<fs::path>{source.path, first, second}
                                                             : std::vector<fs::path>{source.path, first};
    EXPECT_EQ(OtherFiles(dir.Path(), known), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Changes, SourceChangeTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qm
