#include "split/PlanRun.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "stream/FailureMessages.h"

namespace qm::planning {

namespace fs = std::filesystem;

// How long a wait for the pieces' checks lasts between two looks at the pump and the cancel
// flag: the pump's own interval.
constexpr std::chrono::milliseconds kCheckWaitStep{15};

PieceWriter BySizeWriter(SplitEngine& engine, std::uint64_t sizeBytes) {
    return [&engine, sizeBytes](const fs::path& path, const PieceNumbers& numbers, bool* endReached) {
        return engine.WritePieceBySize(path, sizeBytes, numbers, endReached);
    };
}

PieceWriter ByDurationWriter(SplitEngine& engine, int tenths) {
    return [&engine, tenths](const fs::path& path, const PieceNumbers& numbers, bool* endReached) {
        return engine.WritePieceByDuration(path, tenths, numbers, endReached);
    };
}

PlanRun::PlanRun(const SplitPlanContext& context, const fs::path& source, std::vector<fs::path>* outputs,
                 std::string* message)
    : m_context(context), m_options(*context.options), m_source(source), m_outputs(outputs), m_message(message) {}

PlanRun::~PlanRun() = default;

std::optional<PlanResult> PlanRun::OpenSource() {
    m_engine = m_context.makeEngine ? m_context.makeEngine(m_options) : CreateSplitEngine(m_options, m_source);
    m_engine->SetStagedOutputs(&m_staged);
    m_engine->SetDryRun(m_context.dryRun);
    if (m_context.verifyOutputs && !m_context.dryRun) {
        m_verifier = std::make_unique<OutputVerifier>();
        m_verifier->SetBeforeCheck(m_context.beforeCheck);
        m_engine->SetPieceVerifier(m_verifier.get());
    }
    m_outputs->clear();
    if (m_context.operation.PumpAndCheckCancel()) return Cancel();
    if (!m_engine->Open(m_source)) {
        *m_message = FailedToLoadMessage(m_source);
        m_engine.reset();
        return PlanResult::Failed;
    }
    return std::nullopt;
}

std::optional<PlanResult> PlanRun::Configure(bool withOverlaps) {
    const LongOperation& operation = m_context.operation;
    m_engine->SetMessagePump(operation.pump);
    m_engine->SetCancelFlag(operation.cancel);
    m_engine->AttachProgressBar(operation.bar);
    // A custom range is one piece cut out of the middle: it has no neighbours to share.
    if (withOverlaps) {
        m_engine->SetLeadInOverlap(m_options.ForwardOverlap);
        m_engine->SetTailOverlap(m_options.BackwardOverlap);
    }
    m_engine->SetVolumeChange(m_options.VolumeChangeTenthsDb);
    m_engine->SetFadeIn(m_options.FadeInLen > 0, m_options.FadeInLen);
    m_engine->SetFadeOut(m_options.FadeOutLen > 0, m_options.FadeOutLen);
    if (operation.PumpAndCheckCancel()) return Cancel();
    m_engine->SetWriteTag(m_options.KeepID3tag);
    if (m_options.KeepID3tag) {
        m_engine->SetTitleTemplate(m_options.ID3TitleFormat);
        m_engine->SetTrackNumberMode(m_options.ID3TrackNumType);
    }
    return std::nullopt;
}

std::optional<PlanResult> PlanRun::Start(bool withOverlaps) {
    if (std::optional<PlanResult> ended = OpenSource()) return ended;
    return Configure(withOverlaps);
}

bool PlanRun::ResolvePath(const PieceNumbers& numbers, fs::path* path) {
    std::string reason;
    // A dry run stages nothing: the names its earlier pieces would take are its outputs.
    const OutputTaken taken = [this](const fs::path& candidate) {
        if (m_context.dryRun) return std::find(m_outputs->begin(), m_outputs->end(), candidate) != m_outputs->end();
        return m_staged.Takes(candidate);
    };
    if (m_context.resolve && m_context.resolve(m_source, numbers, taken, path, &reason)) return true;
    *m_message = reason.empty() ? CreateFileFailedReason(*path) : reason;
    Stop();
    return false;
}

PieceStep PlanRun::WriteResolved(const fs::path& path, const PieceNumbers& numbers, const PieceWriter& write,
                                 int* sequence) {
    bool endReached = false;
    const Millis begin = m_engine->CutMillis();
    if (!write(path, numbers, &endReached)) return PieceStep::Failed;
    // A piece that found no frame of its own wrote no file.
    if (!m_engine->LastPieceEmpty()) {
        m_outputs->push_back(path);
        if (sequence != nullptr) ++*sequence;
        if (m_context.onPiece) m_context.onPiece({begin, m_engine->CutMillis(), path, m_engine->PieceTitle(numbers)});
    }
    // Writing on after a piece failed its check would only make pieces to be deleted.
    if (m_verifier && m_verifier->FirstFailure()) return PieceStep::CheckFailed;
    return endReached ? PieceStep::SourceEnded : PieceStep::Written;
}

PieceStep PlanRun::WritePiece(const PieceNumbers& numbers, const PieceWriter& write, fs::path* path, int* sequence) {
    if (!ResolvePath(numbers, path)) return PieceStep::Refused;
    return WriteResolved(*path, numbers, write, sequence);
}

PlanResult PlanRun::End(PieceStep step, const fs::path& path) {
    if (m_context.gainCounts != nullptr && m_engine) {
        const GainEditCount& counts = m_engine->LevelCounts();
        m_context.gainCounts->changedFields += counts.changedFields;
        m_context.gainCounts->clampedHigh += counts.clampedHigh;
        m_context.gainCounts->clampedLow += counts.clampedLow;
        m_context.gainCounts->silenced += counts.silenced;
    }
    // A refused path has stopped the plan already, with its reason as the message.
    if (step == PieceStep::Refused) return PlanResult::Failed;
    if (PumpAndCheckCancel()) return Cancel();
    if (step == PieceStep::Failed) {
        PieceFailed(path);
        return PlanResult::Failed;
    }
    if (step == PieceStep::CheckFailed) {
        std::string failure;
        static_cast<void>(PiecesPassed(&failure));
        Stop();
        *m_message = failure;
        return PlanResult::Failed;
    }
    // The last pieces may still be under their check; the window and the cancel flag are
    // looked after meanwhile.
    if (!AwaitChecks()) return Cancel();
    // The end of the source may have come from another program cutting it short; then what
    // was read of it is no split of the file.
    if (m_engine && m_engine->SourceChanged()) {
        *m_message = SourceChangedMessage(m_source);
        Stop();
        return PlanResult::Failed;
    }
    if (step == PieceStep::SourceEnded && m_outputs->size() < static_cast<std::size_t>(m_expectedPieces) && m_engine &&
        m_engine->AudioShortOfMeasured()) {
        *m_message = AudioEndedEarlyMessage(m_outputs->size(), m_expectedPieces);
        Stop();
        return PlanResult::Failed;
    }
    return Complete() ? PlanResult::Done : PlanResult::Failed;
}

PlanResult PlanRun::EndWithLastPiece(PieceStep leadStep, const fs::path& leadPath, const PieceNumbers* last,
                                     int* sequence, fs::path* lastPath) {
    if (leadStep != PieceStep::Written || last == nullptr) return End(leadStep, leadPath);
    if (PumpAndCheckCancel()) return Cancel();
    // The last piece takes whatever the others left, including an uneven remainder.
    const PieceWriter toEnd = [this](const fs::path& path, const PieceNumbers& numbers, bool*) {
        return m_engine->WritePieceToEnd(path, numbers);
    };
    const PieceStep step = WritePiece(*last, toEnd, lastPath, sequence);
    return End(step, *lastPath);
}

std::optional<PlanResult> PlanRun::CountBySize(std::uint64_t sizeBytes, int* count) {
    const std::optional<int> counted = m_engine->CountPiecesBySize(sizeBytes);
    if (!counted) return Cancel();
    *count = *counted;
    return std::nullopt;
}

PlanResult PlanRun::Cancel() {
    if (m_verifier) m_verifier->Abandon();
    m_staged.DiscardAll();
    m_outputs->clear();
    m_engine.reset();
    return PlanResult::Cancelled;
}

void PlanRun::PieceFailed(const fs::path& path) {
    const std::string& engineMessage = m_engine->LastError();
    *m_message = engineMessage.empty() ? FailedToWriteMessage(path) : engineMessage;
    Stop();
}

bool PlanRun::Complete() {
    Release();
    if (std::string failure; !PiecesPassed(&failure)) {
        Stop();
        *m_message = failure;
        return false;
    }
    fs::path failed;
    if (m_staged.PlaceAll(&failed)) return true;
    *m_message = FailedToWriteMessage(failed);
    m_outputs->clear();
    return false;
}

void PlanRun::Release() {
    if (m_engine) m_engine->Close();
    m_engine.reset();
}

void PlanRun::Stop() {
    Release();
    // The plan has failed already, with its own message; a piece that failed its check only
    // stays out of place.
    std::string failure;
    static_cast<void>(PiecesPassed(&failure));
    const std::vector<fs::path> placed = m_staged.PlaceNewOnly();
    std::erase_if(*m_outputs, [&placed](const fs::path& written) {
        return std::find(placed.begin(), placed.end(), written) == placed.end();
    });
}

bool PlanRun::AwaitChecks() {
    if (!m_verifier) return true;
    while (!m_verifier->WaitFor(kCheckWaitStep)) {
        if (PumpAndCheckCancel()) return false;
    }
    return true;
}

bool PlanRun::PiecesPassed(std::string* failure) {
    if (!m_verifier) return true;
    const std::optional<VerifyFailure> failed = m_verifier->Wait();
    if (!failed) return true;
    m_staged.DiscardFrom(failed->target);
    *failure = failed->message;
    return false;
}

bool IsReencoding(const SplitterOptions& options, const fs::path& source) {
    if (options.ReencodePieces) return true;
    if (options.FadeInLen <= 0 && options.FadeOutLen <= 0) return false;
    // Layer III pieces fade by their granules' global gain; Layer I and II frames have no such
    // field, so their pieces are decoded and encoded again to fade.
    Mp3FrameReader reader;
    return !reader.Open(source, Mp3FrameReader::Measure::FormatOnly) || reader.LastHeader().layer != 3;
}

std::string AudioEndedEarlyMessage(std::size_t written, int expected) {
    return "The audio ended after " + std::to_string(written) + " of " + std::to_string(expected) + " pieces.";
}

PlanResult Refuse(std::string* message, const char* text) {
    *message = text;
    return PlanResult::Failed;
}

}  // namespace qm::planning
