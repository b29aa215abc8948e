#pragma once

// A scripted split engine and output resolver for planner tests: the engine logs every call
// the planners make, writes a small file per piece, and can be told to fail, cancel or run
// out of source at a given piece.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"
#include "split/BatchPlanners.h"
#include "split/PagePlanners.h"

namespace qm::testing {

// What the scripted engine does, and what it saw.
struct EngineScript {
    bool openOk = true;
    int bitRateKbps = 128;
    int failAtPiece = 0;       // piece operation k (1-based count of piece calls) fails
    int cancelAtPiece = 0;     // piece operation k sets the cancel flag and fails
    int cancelAfterPiece = 0;  // piece operation k is written, then sets the cancel flag
    int endAtPiece = 0;        // piece operation k reports the end of the source
    int emptyAtPiece = 0;      // piece operation k finds the source ended, no frame of its own
    bool skipReachesEnd = false;
    // The source's frames as CountPiecesBySize sees them: one byte a frame.
    std::uint64_t audioBytes = 1000;
    CancelFlag* cancel = nullptr;

    std::vector<std::string> calls;  // e.g. "size 400 1/3 s1", "duration 50 2/3 s2", "end 3/3 s3"
    int pieceCalls = 0;
};

class ScriptedEngine final : public SplitEngine {
public:
    explicit ScriptedEngine(EngineScript* script) : m_script(script) {}

    bool WritePiece(const std::filesystem::path& path, const PieceLimit& limit, const PieceNumbers& n,
                    bool* endReached) override {
        switch (limit.kind) {
            case PieceLimit::Kind::Bytes:
                return Piece(path, "size " + std::to_string(limit.bytes), n, endReached);
            case PieceLimit::Kind::Duration:
                return Piece(path, "duration " + std::to_string(limit.tenths), n, endReached);
            case PieceLimit::Kind::Until:
                return Piece(path, "until " + std::to_string(limit.until), n, endReached);
            case PieceLimit::Kind::ToEnd:
                break;
        }
        return Piece(path, "end", n, endReached);
    }
    bool SkipDuration(int tenths, bool* endReached) override {
        m_script->calls.push_back("skip " + std::to_string(tenths));
        *endReached = m_script->skipReachesEnd;
        return true;
    }
    void SetFadeIn(bool on, int tenths) override {
        if (on) m_script->calls.push_back("fade-in " + std::to_string(tenths));
    }
    void SetFadeOut(bool on, int tenths) override {
        if (on) m_script->calls.push_back("fade-out " + std::to_string(tenths));
    }
    int GetBitRate() const override { return m_script->bitRateKbps; }
    // A scripted end of the source comes before the audio its length promised.
    bool AudioShortOfMeasured() const override { return true; }
    std::optional<int> CountPiecesBySize(std::uint64_t sizeBytes) override {
        const std::uint64_t pieces = (m_script->audioBytes + sizeBytes - 1) / sizeBytes;
        return static_cast<int>(std::max<std::uint64_t>(pieces, 1));
    }
    bool Open(const std::filesystem::path&) override { return m_script->openOk; }
    void Close() override {}
    void SetLeadInOverlap(int tenths) override {
        if (tenths != 0) m_script->calls.push_back("lead-in " + std::to_string(tenths));
    }
    void SetTailOverlap(int tenths) override {
        if (tenths != 0) m_script->calls.push_back("tail " + std::to_string(tenths));
    }

private:
    bool Piece(const std::filesystem::path& path, const std::string& what, const PieceNumbers& n, bool* endReached) {
        m_script->calls.push_back(what + " " + std::to_string(n.piece) + "/" + std::to_string(n.total) + " s" +
                                  std::to_string(n.sequence));
        const int k = ++m_script->pieceCalls;
        *endReached = k == m_script->endAtPiece || k == m_script->emptyAtPiece;
        if (k == m_script->cancelAtPiece) {
            if (m_script->cancel != nullptr) *m_script->cancel = 1;
            return false;
        }
        if (k == m_script->failAtPiece) {
            SetError(FailedToWriteMessage(path));
            return false;
        }
        // Written as the real engines write: a temporary file, then committed (or handed to
        // the plan's staged outputs).
        if (!CreatePiece(path)) return false;
        if (k == m_script->emptyAtPiece) {
            DiscardPiece();
            SetPieceEmpty();
            return true;
        }
        static const char kBytes[] = "piece";
        const bool written = WritePieceBytes(kBytes, sizeof kBytes - 1) && CommitPiece();
        if (k == m_script->cancelAfterPiece && m_script->cancel != nullptr) *m_script->cancel = 1;
        return written;
    }

    EngineScript* m_script;
};

// Names pieces "piece-P-of-T-sS.mp3" in a folder; can refuse one piece number.
struct ScriptedResolver {
    std::filesystem::path folder;
    int refusePiece = 0;

    SplitOutputResolver Get() const {
        return [folder = folder, refuse = refusePiece](const std::filesystem::path&, const PieceNumbers& n,
                                                       const OutputTaken&, std::filesystem::path* path,
                                                       std::string* message) {
            if (n.piece == refuse) {
                *message = "Target exists and skipped";
                return false;
            }
            *path = folder / ("piece-" + std::to_string(n.piece) + "-of-" + std::to_string(n.total) + "-s" +
                              std::to_string(n.sequence) + ".mp3");
            return true;
        };
    }
};

// The names of the files in a folder, sorted.
inline std::set<std::string> FileNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

}  // namespace qm::testing
