#pragma once

// What the page planners and the batch planners share: one planner call's engine, its
// staged pieces and its list of outputs, the steps every plan takes, and the one way a plan
// ends. Used only by the planners' own files.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/OutputPath.h"
#include "split/SplitPlanners.h"

namespace qm::planning {

// Refusals of the inputs, worded as the pages show them.
inline constexpr const char* kSizeTooBig =
    "The size of piece is greater than original file. It's not necessary to split.";
inline constexpr const char* kSizeTooSmall = "The size of piece is too small.";
inline constexpr const char* kCountTooSmall = "The file count should be greater than or equal to 2.";
inline constexpr const char* kCountTooBig = "The file count is too big.";
inline constexpr const char* kDurationTooBig =
    "The duration of piece is greater than original file. It's not necessary to split.";
inline constexpr const char* kDurationTooSmall = "The duration of piece is too small.";
inline constexpr const char* kTwoPiecesRequired =
    "At least two pieces required. And, at least one piece checked for splitting.";
inline constexpr const char* kBeginBeyondEnd = "The beginning point exceeds length of the MP3.";
inline constexpr const char* kNoMarks = "There are no marks to split at.";

// Writes one piece with the mode's engine call: (path, numbers, endReached) -> success.
using PieceWriter = std::function<bool(const std::filesystem::path&, const PieceNumbers&, bool* endReached)>;

PieceWriter BySizeWriter(SplitEngine& engine, std::uint64_t sizeBytes);
PieceWriter ByDurationWriter(SplitEngine& engine, int tenths);

// How writing one piece (or a run of pieces) went.
enum class PieceStep {
    Written,      // complete; the source goes on
    SourceEnded,  // complete, or skipped, and the source has nothing after it (or a skip was cancelled)
    Refused,      // its output path was refused: the message is set and the plan stopped
    Failed,       // it could not be written: the engine's message says why (empty on a cancel)
    CheckFailed,  // written, but an earlier piece failed its check: the plan stops failed
};

// One planner call: the engine for one source, the list of files written for it and the
// caller's message. Carries the set-up steps, the path resolution and the ending that every
// planner shares.
//
// The pieces are kept as temporary files until the plan ends and are then put in place
// together, so a plan that is cancelled or fails never leaves an existing file changed: a
// completed plan places every piece (or, when one cannot be placed, none); a failed one
// places only the pieces that replace nothing, as the complete pieces before the failure;
// a cancelled one places none.
class PlanRun {
public:
    PlanRun(const SplitPlanContext& context, const std::filesystem::path& source,
            std::vector<std::filesystem::path>* outputs, std::string* message);
    ~PlanRun();
    PlanRun(const PlanRun&) = delete;
    PlanRun& operator=(const PlanRun&) = delete;

    // Creates the engine, empties the list of outputs and opens the source. Nothing when the
    // plan goes on, else what the planner returns (failed with the load message, or cancelled).
    [[nodiscard]] std::optional<PlanResult> OpenSource();
    // Hands the engine the progress contract, overlaps, fades and tag settings. Nothing when
    // the plan goes on, else cancelled.
    [[nodiscard]] std::optional<PlanResult> Configure(bool withOverlaps);
    // OpenSource, then Configure.
    [[nodiscard]] std::optional<PlanResult> Start(bool withOverlaps);

    // The output path of a piece; false with the message set when it is refused. The
    // earlier pieces that replace nothing are put in place then, and the engine is released.
    // The names the earlier pieces will take count as existing files.
    [[nodiscard]] bool ResolvePath(const PieceNumbers& numbers, std::filesystem::path* path);
    // Writes a piece whose path is resolved with write and records it; *sequence (when not
    // null) grows by one when a file was written.
    [[nodiscard]] PieceStep WriteResolved(const std::filesystem::path& path, const PieceNumbers& numbers,
                                          const PieceWriter& write, int* sequence);
    // ResolvePath, then WriteResolved; *path is the piece's path.
    [[nodiscard]] PieceStep WritePiece(const PieceNumbers& numbers, const PieceWriter& write,
                                       std::filesystem::path* path, int* sequence);

    // The one way a plan ends, after the piece (or run of pieces) that ended in step at path:
    // a refused path fails the plan; a cancel seen now deletes every piece; a failed piece
    // fails it with the pieces before that replace nothing; anything else completes it.
    [[nodiscard]] PlanResult End(PieceStep step, const std::filesystem::path& path);
    // The same after the leading pieces of a plan, which ended in leadStep at leadPath: when
    // they were all written and last is given, the last piece (last's numbers) is written
    // first, from where they ended to the end of the source, at *lastPath.
    [[nodiscard]] PlanResult EndWithLastPiece(PieceStep leadStep, const std::filesystem::path& leadPath,
                                              const PieceNumbers* last, int* sequence, std::filesystem::path* lastPath);
    // Deletes every piece written for this source and releases the engine.
    [[nodiscard]] PlanResult Cancel();
    // The plan announced count pieces from the source's measured length. A plan whose source
    // then runs out before its last piece with less audio than was measured (a header that
    // claims more audio than the file holds) fails with AudioEndedEarlyMessage; its pieces
    // are kept as those of a failed plan are. A source that holds the audio measured and
    // ends before the last piece only rounded its length up: the plan ends there.
    void ExpectPieces(int count) { m_expectedPieces = count; }
    // The piece count of a by-size plan, from the source's frames: exactly the pieces the
    // engine will cut, so that every title and name counts the pieces written. Nothing when
    // the plan goes on, else cancelled.
    [[nodiscard]] std::optional<PlanResult> CountBySize(std::uint64_t sizeBytes, int* count);

    bool PumpAndCheckCancel() const { return m_context.operation.PumpAndCheckCancel(); }
    SplitEngine& Engine() { return *m_engine; }
    const SplitterOptions& Options() const { return m_options; }
    // The digits of numbers in the pieces' titles.
    int TitleDigits() const { return m_options.TitleDigitNumber; }

private:
    // Keeps the message of a piece that could not be written (not cancelled): the complete
    // pieces before it that replace nothing are put in place; the run reports the failure.
    void PieceFailed(const std::filesystem::path& path);
    // The plan has ended well: every piece goes in place. False with the message set when
    // one cannot be placed; then no piece is, and every target is as it was.
    [[nodiscard]] bool Complete();
    void Release();
    // The plan stops short of its end: only pieces that replace no file are put in place.
    void Stop();
    // Waits for the checks of the pieces (when they are checked). False when one failed:
    // that piece and those after it are deleted, and *failure holds the message.
    [[nodiscard]] bool PiecesPassed(std::string* failure);
    // Waits for the checks of the pieces, pumping meanwhile; false when cancelled.
    [[nodiscard]] bool AwaitChecks();

    const SplitPlanContext& m_context;
    const SplitterOptions& m_options;
    std::filesystem::path m_source;
    std::vector<std::filesystem::path>* m_outputs;
    std::string* m_message;
    StagedOutputs m_staged;  // before the engine, which hands it the finished pieces
    // Checks the staged pieces when the context asks for it; after m_staged, whose files it
    // reads, and before the engine, which hands it the pieces.
    std::unique_ptr<OutputVerifier> m_verifier;
    std::unique_ptr<SplitEngine> m_engine;
    int m_expectedPieces = 0;  // 0: the plan's count does not follow from the measured length
};

// "The audio ended after <written> of <expected> pieces.": the source held less audio than
// its measured length promised.
std::string AudioEndedEarlyMessage(std::size_t written, int expected);

// Whether the options make the pieces of source re-encoded: re-encoding asked for, or a fade
// on a Layer I or II source (a Layer III source's pieces fade without it).
bool IsReencoding(const SplitterOptions& options, const std::filesystem::path& source);

// Sets the message of a refused input; the planner fails.
PlanResult Refuse(std::string* message, const char* text);

// Runs a planner body, turning a library exception into the planner's failure message.
template <typename Body>
PlanResult Guarded(std::string* message, Body&& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        *message = e.what();
        return PlanResult::Failed;
    }
}

}  // namespace qm::planning
