#include "split/SplitPlanners.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <exception>
#include <system_error>

#include "output/OutputPath.h"
#include "split/DirectSplitter.h"
#include "split/ReencodeSplitter.h"
#include "stream/Mp3FrameReader.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSizeTooBig =
    "The size of piece is greater than original file. It's not necessary to split.";
constexpr const char* kSizeTooSmall = "The size of piece is too small.";
constexpr const char* kCountTooSmall = "The file count should be greater than or equal to 2.";
constexpr const char* kCountTooBig = "The file count is too big.";
constexpr const char* kDurationTooBig =
    "The duration of piece is greater than original file. It's not necessary to split.";
constexpr const char* kDurationTooSmall = "The duration of piece is too small.";
constexpr const char* kTwoPiecesRequired =
    "At least two pieces required. And, at least one piece checked for splitting.";
constexpr const char* kBeginBeyondEnd = "The beginning point exceeds length of the MP3.";

std::string LoadFailedMessage(const fs::path& source) {
    return "Failed to load file \"" + source.string() + "\".";
}

std::string WriteFailedMessage(const fs::path& path) {
    return "Failed to write file \"" + path.string() + "\".";
}

// Writes one piece with the mode's engine call: (path, pieceNumber, total, sequence, width,
// endReached) -> success.
using PieceWriter = std::function<bool(const fs::path&, int, int, int, int, bool*)>;

// One planner call: the engine for one source, the list of files written for it and the
// caller's message. Carries the set-up steps, the path resolution and the cancel exit that
// every planner shares.
//
// The pieces are kept as temporary files until the plan ends and are then put in place
// together, so a plan that is cancelled or fails never leaves an existing file changed: a
// completed plan places every piece (or, when one cannot be placed, none); a failed one
// places only the pieces that replace nothing, as the complete pieces before the failure;
// a cancelled one places none.
class PlanRun {
public:
    enum class Step { Go, Refused, Cancelled };

    PlanRun(const SplitPlanContext& context, const fs::path& source,
            std::vector<fs::path>* outputs, std::string* message)
        : m_context(context), m_options(*context.options), m_source(source), m_outputs(outputs),
          m_message(message) {}

    // Creates the engine, empties the list of outputs and opens the source.
    Step OpenSource() {
        m_engine = m_context.makeEngine ? m_context.makeEngine(m_options) : CreateSplitEngine(m_options);
        m_engine->SetStagedOutputs(&m_staged);
        m_outputs->clear();
        if (m_context.operation.PumpAndCheckCancel()) return Step::Cancelled;
        if (!m_engine->Open(m_source)) {
            *m_message = LoadFailedMessage(m_source);
            m_engine.reset();
            return Step::Refused;
        }
        return Step::Go;
    }

    // Hands the engine the progress contract, overlaps, fades and tag settings.
    Step Configure(bool withOverlaps) {
        const LongOperation& operation = m_context.operation;
        m_engine->SetMessagePump(operation.pump);
        m_engine->SetCancelFlag(operation.cancel);
        m_engine->AttachProgressBar(operation.bar);
        // A custom range is one piece cut out of the middle: it has no neighbours to share.
        if (withOverlaps) {
            m_engine->SetLeadInOverlap(m_options.ForwardOverlap);
            m_engine->SetTailOverlap(m_options.BackwardOverlap);
        }
        m_engine->SetFadeIn(m_options.FadeInLen > 0, m_options.FadeInLen);
        m_engine->SetFadeOut(m_options.FadeOutLen > 0, m_options.FadeOutLen);
        if (operation.PumpAndCheckCancel()) return Step::Cancelled;
        m_engine->SetWriteTag(m_options.KeepID3tag);
        if (m_options.KeepID3tag) {
            m_engine->SetTitleTemplate(m_options.ID3TitleFormat);
            m_engine->SetTrackNumberMode(
                static_cast<SplitEngine::TrackNumberMode>(m_options.ID3TrackNumType));
        }
        return Step::Go;
    }

    // The output path of a piece; false with the message set when it is refused. The
    // earlier pieces that replace nothing are put in place then, and the engine is released.
    // The names the earlier pieces will take count as existing files.
    bool ResolvePath(int pieceNumber, int total, int sequence, fs::path* path) {
        std::string reason;
        const OutputTaken taken = [this](const fs::path& candidate) { return m_staged.Takes(candidate); };
        if (m_context.resolve && m_context.resolve(m_source, pieceNumber, total, sequence, taken, path, &reason)) {
            return true;
        }
        *m_message = reason.empty() ? "Failed to create file \"" + path->string() + "\"" : reason;
        Stop();
        return false;
    }

    // Keeps the message of a piece that could not be written (not cancelled): the complete
    // pieces before it that replace nothing are put in place; the run reports the failure.
    void PieceFailed(const fs::path& path) {
        const std::string& engineMessage = m_engine->LastError();
        *m_message = engineMessage.empty() ? WriteFailedMessage(path) : engineMessage;
        Stop();
    }

    // Deletes every piece written for this source and releases the engine.
    void CancelExit() {
        m_staged.DiscardAll();
        m_outputs->clear();
        m_engine.reset();
    }

    // The plan has ended well: every piece goes in place. False with the message set when
    // one cannot be placed; then no piece is, and every target is as it was.
    bool Complete() {
        Release();
        fs::path failed;
        if (m_staged.PlaceAll(&failed)) return true;
        *m_message = WriteFailedMessage(failed);
        m_outputs->clear();
        return false;
    }

    bool PumpAndCheckCancel() const { return m_context.operation.PumpAndCheckCancel(); }
    // Records the piece just written; false (nothing recorded) when the engine found no
    // frame of its own for it and wrote no file.
    bool Record(const fs::path& path) {
        if (m_engine->LastPieceEmpty()) return false;
        m_outputs->push_back(path);
        return true;
    }
    SplitEngine& Engine() { return *m_engine; }
    const SplitterOptions& Options() const { return m_options; }
    int Width() const { return m_options.TitleDigitNumber; }

private:
    const SplitPlanContext& m_context;
    const SplitterOptions& m_options;
    fs::path m_source;
    std::vector<fs::path>* m_outputs;
    std::string* m_message;
    StagedOutputs m_staged;  // before the engine, which hands it the finished pieces
    std::unique_ptr<SplitEngine> m_engine;

    void Release() {
        if (m_engine) m_engine->Close();
        m_engine.reset();
    }

    // The plan stops short of its end: only pieces that replace no file are put in place.
    void Stop() {
        Release();
        const std::vector<fs::path> placed = m_staged.PlaceNewOnly();
        std::erase_if(*m_outputs, [&placed](const fs::path& written) {
            return std::find(placed.begin(), placed.end(), written) == placed.end();
        });
    }
};

// Piece count of a by-size plan. Frames are copied as they are, so the direct engine's count
// follows the size of the audio (a leading tag is not cut into pieces); the re-encoding
// engine writes its own bit rate, so its count follows the duration at that bit rate.
int BySizeCount(SplitEngine& engine, bool reencoding, std::uint64_t fileSizeBytes,
                int durationSeconds, std::uint64_t sizeBytes) {
    if (!reencoding) {
        const std::uint64_t audioBytes = fileSizeBytes - std::min(engine.AudioStart(), fileSizeBytes);
        std::uint64_t count = audioBytes / sizeBytes;
        if (audioBytes % sizeBytes != 0) ++count;
        return static_cast<int>(std::clamp<std::uint64_t>(count, 1, INT_MAX));
    }
    const std::int64_t bytesPerSecond = static_cast<std::int64_t>(engine.GetBitRate()) * 1000 / 8;
    if (bytesPerSecond <= 0) return 1;
    const double pieceSeconds = static_cast<double>(sizeBytes) / static_cast<double>(bytesPerSecond);
    const double seconds = durationSeconds;
    double count = std::floor(seconds / pieceSeconds);
    if (seconds > pieceSeconds * count) count += 1;
    return static_cast<int>(std::clamp(count, 1.0, static_cast<double>(INT_MAX)));
}

bool IsReencoding(const SplitterOptions& options) {
    return options.ReencodePieces || options.FadeInLen > 0 || options.FadeOutLen > 0;
}

// Sets the message of a refused input; the planner returns false.
bool Refuse(std::string* message, const char* text) {
    *message = text;
    return false;
}

PieceWriter BySizeWriter(SplitEngine& engine, std::uint64_t sizeBytes) {
    return [&engine, sizeBytes](const fs::path& path, int p, int t, int s, int width, bool* end) {
        return engine.WritePieceBySize(path, sizeBytes, p, t, s, width, end);
    };
}

PieceWriter ByDurationWriter(SplitEngine& engine, int tenths) {
    return [&engine, tenths](const fs::path& path, int p, int t, int s, int width, bool* end) {
        return engine.WritePieceByDuration(path, tenths, p, t, s, width, end);
    };
}

// Runs a planner body, turning a library exception into the planner's failure message.
template <typename Body>
bool Guarded(std::string* message, Body&& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        *message = e.what();
        return false;
    }
}

}  // namespace

std::unique_ptr<SplitEngine> CreateSplitEngine(const SplitterOptions& options) {
    if (!IsReencoding(options)) return std::make_unique<DirectSplitter>();
    auto engine = std::make_unique<ReencodeSplitter>();
    // A fade alone re-encodes with the source's own settings.
    if (!options.ReencodePieces || options.UseSameParams) {
        engine->SetEncoderParams(0, 0, SplitEngine::kChannelModeAsSource);
    } else {
        engine->SetEncoderParams(options.MP3SampleRate, options.MP3BitRate,
                                 static_cast<int>(options.MP3ChannelMode));
    }
    return engine;
}

SplitOutputResolver MakeSplitOutputResolver(const SplitterOptions& options) {
    return [placement = SplitPlacementOf(options)](const fs::path& source, int pieceNumber, int total,
                                                   int sequence, const OutputTaken& taken, fs::path* path,
                                                   std::string* message) {
        return ResolveSplitOutputPath(placement, source, pieceNumber, total, sequence, path, message, taken);
    };
}

std::uint64_t PieceSizeBytes(std::string_view sizeText, SizeUnitCode unit) {
    std::size_t start = 0;
    while (start < sizeText.size() && (sizeText[start] == ' ' || sizeText[start] == '\t')) ++start;
    double value = 0.0;
    const char* first = sizeText.data() + start;
    const auto parsed = std::from_chars(first, sizeText.data() + sizeText.size(), value);
    if (parsed.ec != std::errc() || !(value > 0.0)) return 0;
    const double bytes = value * static_cast<double>(SizeUnitBytes(unit));
    // 2^63 bytes is far beyond any file; clamp rather than overflow the conversion.
    if (bytes >= 9.2e18) return static_cast<std::uint64_t>(9.2e18);
    return static_cast<std::uint64_t>(bytes);
}

int SecondsTextToTenths(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    if (at < text.size() && text[at] == '-') return 0;
    long long whole = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        whole = std::min<long long>(whole * 10 + (text[at] - '0'), INT_MAX / 10);
        ++at;
    }
    // One digit after the point counts; further digits are ignored.
    int tenthDigit = 0;
    if (at + 1 < text.size() && text[at] == '.' && text[at + 1] >= '0' && text[at + 1] <= '9') {
        tenthDigit = text[at + 1] - '0';
    }
    return static_cast<int>(whole * 10 + tenthDigit);
}

// ---------------------------------------------------------------------------------------
// The manual splitter page.

namespace page_plans {

namespace {

// Pieces 1 .. count-1 with the mode's writer, then the last piece to the end of the source.
// The last piece takes whatever the others left, including an uneven remainder.
bool WritePagePieces(PlanRun& run, int count, const PieceWriter& write) {
    int i = 1;
    bool stopped = false;
    bool failed = false;
    fs::path path;
    for (; i <= count - 1; ++i) {
        if (!run.ResolvePath(i, count, i, &path)) return false;
        bool endReached = false;
        if (!write(path, i, count, i, run.Width(), &endReached)) {
            failed = true;
            break;
        }
        run.Record(path);
        if (endReached) {
            stopped = true;
            break;
        }
    }
    if (run.PumpAndCheckCancel()) {
        run.CancelExit();
        return true;
    }
    if (failed) {
        run.PieceFailed(path);
        return false;
    }
    if (stopped) return run.Complete();
    if (!run.ResolvePath(i, count, i, &path)) return false;
    if (!run.Engine().WritePieceToEnd(path, count, count, count, run.Width())) {
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
            return true;
        }
        run.PieceFailed(path);
        return false;
    }
    run.Record(path);
    return run.Complete();
}

// Opens and configures the engine; false when the planner must return now, with *result
// holding what it returns.
bool StartPageRun(PlanRun& run, bool* result) {
    PlanRun::Step step = run.OpenSource();
    if (step == PlanRun::Step::Go) step = run.Configure(/*withOverlaps=*/true);
    if (step == PlanRun::Step::Go) return true;
    if (step == PlanRun::Step::Cancelled) run.CancelExit();
    *result = step == PlanRun::Step::Cancelled;
    return false;
}

}  // namespace

bool PlanBySize(const SplitPlanContext& context, const PageSource& source, std::uint64_t sizeBytes,
                std::vector<fs::path>* outputs, std::string* message) {
    return Guarded(message, [&] {
        if (sizeBytes >= source.fileSizeBytes) return Refuse(message, kSizeTooBig);
        if (sizeBytes == 0) return Refuse(message, kSizeTooSmall);
        PlanRun run(context, source.path, outputs, message);
        PlanRun::Step step = run.OpenSource();
        if (step != PlanRun::Step::Go) {
            if (step == PlanRun::Step::Cancelled) run.CancelExit();
            return step == PlanRun::Step::Cancelled;
        }
        const int count = BySizeCount(run.Engine(), IsReencoding(run.Options()), source.fileSizeBytes,
                                      source.durationTenths / 10, sizeBytes);
        step = run.Configure(/*withOverlaps=*/true);
        if (step == PlanRun::Step::Cancelled) {
            run.CancelExit();
            return true;
        }
        return WritePagePieces(run, count, BySizeWriter(run.Engine(), sizeBytes));
    });
}

bool PlanByCount(const SplitPlanContext& context, const PageSource& source, int count,
                 std::vector<fs::path>* outputs, std::string* message) {
    return Guarded(message, [&] {
        if (count <= 1) return Refuse(message, kCountTooSmall);
        const int pieceTenths = source.durationTenths / count;
        if (pieceTenths <= 0) return Refuse(message, kCountTooBig);
        PlanRun run(context, source.path, outputs, message);
        bool result = false;
        if (!StartPageRun(run, &result)) return result;
        return WritePagePieces(run, count, ByDurationWriter(run.Engine(), pieceTenths));
    });
}

bool PlanByTime(const SplitPlanContext& context, const PageSource& source, int pieceTenths,
                std::vector<fs::path>* outputs, std::string* message) {
    return Guarded(message, [&] {
        if (pieceTenths >= source.durationTenths) return Refuse(message, kDurationTooBig);
        if (pieceTenths <= 0) return Refuse(message, kDurationTooSmall);
        int count = source.durationTenths / pieceTenths;
        if (source.durationTenths % pieceTenths != 0) ++count;
        PlanRun run(context, source.path, outputs, message);
        bool result = false;
        if (!StartPageRun(run, &result)) return result;
        return WritePagePieces(run, count, ByDurationWriter(run.Engine(), pieceTenths));
    });
}

namespace {

// Rows 1 .. count-1: checked rows are written, unchecked rows are read past. Returns how
// the loop ended.
enum class RowsEnd { Complete, Stopped, Failed, Refused };

RowsEnd WriteLeadingRows(PlanRun& run, std::vector<PieceRow>& rows, int* sequence,
                         fs::path* failedPath) {
    const int count = static_cast<int>(rows.size());
    for (int k = 1; k <= count - 1; ++k) {
        PieceRow& row = rows[static_cast<std::size_t>(k - 1)];
        const int lengthTenths = row.endTenths - row.startTenths;
        bool endReached = false;
        if (row.checked) {
            const int pieceSequence = sequence != nullptr ? *sequence : k;
            fs::path path;
            if (!run.ResolvePath(k, count, pieceSequence, &path)) return RowsEnd::Refused;
            if (!run.Engine().WritePieceByDuration(path, lengthTenths, k, count, pieceSequence,
                                                   run.Width(), &endReached)) {
                *failedPath = path;
                return RowsEnd::Failed;
            }
            if (run.Record(path)) {
                row.outputPath = path;
                if (sequence != nullptr) ++*sequence;
            }
        } else if (!run.Engine().SkipDuration(lengthTenths, &endReached)) {
            return RowsEnd::Stopped;  // only a cancel stops a skip
        }
        if (endReached) return RowsEnd::Stopped;
    }
    return RowsEnd::Complete;
}

void ForgetRowPaths(std::vector<PieceRow>& rows) {
    for (PieceRow& row : rows) row.outputPath.clear();
}

// A row shows an output only while its file is among the plan's outputs (a stopped plan
// leaves out the pieces that would have replaced a file).
void KeepRowPathsOf(std::vector<PieceRow>& rows, const std::vector<fs::path>& outputs) {
    for (PieceRow& row : rows) {
        if (std::find(outputs.begin(), outputs.end(), row.outputPath) == outputs.end()) row.outputPath.clear();
    }
}

// The rows after the set-up: true when done, stopped or cancelled.
bool WriteRows(PlanRun& run, std::vector<PieceRow>& rows, int* sequence) {
    const int count = static_cast<int>(rows.size());
    fs::path failedPath;
    const RowsEnd end = WriteLeadingRows(run, rows, sequence, &failedPath);
    if (end == RowsEnd::Refused) return false;
    if (run.PumpAndCheckCancel()) {
        run.CancelExit();
        return true;
    }
    if (end == RowsEnd::Failed) {
        run.PieceFailed(failedPath);
        return false;
    }
    PieceRow& last = rows.back();
    if (end == RowsEnd::Stopped || !last.checked) return run.Complete();
    // The last row runs to the end of the source; its own start and end are not used.
    const int lastSequence = sequence != nullptr ? *sequence : count;
    fs::path path;
    if (!run.ResolvePath(count, count, lastSequence, &path)) return false;
    if (!run.Engine().WritePieceToEnd(path, count, count, lastSequence, run.Width())) {
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
            return true;
        }
        run.PieceFailed(path);
        return false;
    }
    if (run.Record(path)) {
        last.outputPath = path;
        if (sequence != nullptr) ++*sequence;
    }
    return run.Complete();
}

}  // namespace

bool PlanManualPieces(const SplitPlanContext& context, const fs::path& source,
                      std::vector<PieceRow>* rows, std::vector<fs::path>* outputs,
                      std::string* message, int* sequence) {
    return Guarded(message, [&] {
        bool anyChecked = false;
        for (const PieceRow& row : *rows) anyChecked = anyChecked || row.checked;
        if (rows->size() < 2 || !anyChecked) return Refuse(message, kTwoPiecesRequired);
        ForgetRowPaths(*rows);
        PlanRun run(context, source, outputs, message);
        bool result = false;
        if (!StartPageRun(run, &result)) return result;
        result = WriteRows(run, *rows, sequence);
        KeepRowPathsOf(*rows, *outputs);
        return result;
    });
}

}  // namespace page_plans

// ---------------------------------------------------------------------------------------
// The batch splitter.

namespace batch_plans {

namespace {

// Opens and configures the engine for a batch planner; false when the planner must return
// false now (refused or cancelled).
bool StartBatchRun(PlanRun& run, bool withOverlaps) {
    PlanRun::Step step = run.OpenSource();
    if (step == PlanRun::Step::Go) step = run.Configure(withOverlaps);
    if (step == PlanRun::Step::Cancelled) run.CancelExit();
    return step == PlanRun::Step::Go;
}

// The batch piece loop: pieces 1, 2, ... numbered with the general sequence number, as far
// as the first-N-pieces option allows, then the last piece to the end of the source.
bool WriteBatchPieces(PlanRun& run, int count, int* sequence, const PieceWriter& write) {
    const SplitterOptions& options = run.Options();
    const bool limited = options.SplitFirstNPieces;
    int i = 1;
    bool stopped = false;
    bool failed = false;
    fs::path path;
    if (count >= 2) {
        while (!limited || i <= options.FirstPiecesNumber) {
            if (!run.ResolvePath(i, count, *sequence, &path)) return false;
            bool endReached = false;
            if (!write(path, i, count, *sequence, run.Width(), &endReached)) {
                failed = true;
                break;
            }
            if (run.Record(path)) ++*sequence;
            if (endReached) {
                stopped = true;
                break;
            }
            if (++i == count) break;
        }
    }
    if (run.PumpAndCheckCancel()) {
        run.CancelExit();
        return false;
    }
    if (failed) {
        run.PieceFailed(path);
        return false;
    }
    if (stopped || (limited && options.FirstPiecesNumber < i)) return run.Complete();
    if (!run.ResolvePath(i, count, *sequence, &path)) return false;
    if (!run.Engine().WritePieceToEnd(path, count, count, *sequence, run.Width())) {
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
        } else {
            run.PieceFailed(path);
        }
        return false;
    }
    if (run.Record(path)) ++*sequence;
    return run.Complete();
}

std::uint64_t FileSizeOf(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

// The real playing time of a source in tenths of a second (truncated); false when the
// source cannot be analysed.
bool MeasuredTenths(const fs::path& path, int* tenths) {
    Mp3FrameReader reader;
    if (!reader.Open(path)) return false;
    *tenths = static_cast<int>(std::clamp(reader.LengthSeconds() * 10.0, 0.0, static_cast<double>(INT_MAX / 4)));
    return true;
}

// The length in tenths the batch plans work with: the list's whole seconds, except for a
// file shorter than a second, which the list shows as 0 s: its real length. False with the
// load message when such a file cannot be analysed.
bool PlanTenths(const BatchEntry& entry, int* tenths, std::string* message) {
    if (entry.durationSeconds > 0) {
        *tenths = entry.durationSeconds * 10;
        return true;
    }
    if (MeasuredTenths(entry.path, tenths)) return true;
    *message = LoadFailedMessage(entry.path);
    return false;
}

}  // namespace

bool PlanBySize(const SplitPlanContext& context, BatchEntry* entry, std::uint64_t sizeBytes,
                int* sequence, std::string* message) {
    return Guarded(message, [&] {
        // A size at or above the file's size is allowed: the file becomes one piece, 1 of 1.
        if (sizeBytes == 0) return Refuse(message, kSizeTooSmall);
        PlanRun run(context, entry->path, &entry->outputs, message);
        PlanRun::Step step = run.OpenSource();
        if (step != PlanRun::Step::Go) {
            if (step == PlanRun::Step::Cancelled) run.CancelExit();
            return false;
        }
        const int count = BySizeCount(run.Engine(), IsReencoding(run.Options()),
                                      FileSizeOf(entry->path), entry->durationSeconds, sizeBytes);
        if (run.Configure(/*withOverlaps=*/true) == PlanRun::Step::Cancelled) {
            run.CancelExit();
            return false;
        }
        return WriteBatchPieces(run, count, sequence, BySizeWriter(run.Engine(), sizeBytes));
    });
}

bool PlanByCount(const SplitPlanContext& context, BatchEntry* entry, int count, int* sequence,
                 std::string* message) {
    return Guarded(message, [&] {
        if (count <= 1) return Refuse(message, kCountTooSmall);
        int durationTenths = 0;
        if (!PlanTenths(*entry, &durationTenths, message)) return false;
        const int pieceTenths = durationTenths / count;
        if (pieceTenths <= 0) return Refuse(message, kCountTooBig);
        PlanRun run(context, entry->path, &entry->outputs, message);
        if (!StartBatchRun(run, /*withOverlaps=*/true)) return false;
        return WriteBatchPieces(run, count, sequence, ByDurationWriter(run.Engine(), pieceTenths));
    });
}

bool PlanByTime(const SplitPlanContext& context, BatchEntry* entry, int pieceTenths,
                int* sequence, std::string* message) {
    return Guarded(message, [&] {
        // A piece at or above the file's duration is allowed: the file becomes one piece.
        if (pieceTenths <= 0) return Refuse(message, kDurationTooSmall);
        int durationTenths = 0;
        if (!PlanTenths(*entry, &durationTenths, message)) return false;
        int count = durationTenths / pieceTenths;
        if (durationTenths % pieceTenths != 0) ++count;
        count = std::max(count, 1);
        PlanRun run(context, entry->path, &entry->outputs, message);
        if (!StartBatchRun(run, /*withOverlaps=*/true)) return false;
        return WriteBatchPieces(run, count, sequence, ByDurationWriter(run.Engine(), pieceTenths));
    });
}

bool PlanCustomRange(const SplitPlanContext& context, BatchEntry* entry, int beginTenths,
                     int lengthTenths, int* sequence, std::string* message) {
    return Guarded(message, [&] {
        int durationTenths = 0;
        if (!PlanTenths(*entry, &durationTenths, message)) return false;
        if (beginTenths > durationTenths) {
            // The whole seconds leave out up to nine tenths: the real length decides.
            int realTenths = 0;
            if (!MeasuredTenths(entry->path, &realTenths) || beginTenths > realTenths) {
                return Refuse(message, kBeginBeyondEnd);
            }
            durationTenths = realTenths;
        }
        // Length 0 means "to the end": twice the file's length always reaches it (a tenth
        // and more of a file shorter than a tenth of a second).
        if (lengthTenths <= 0) lengthTenths = std::max(durationTenths, 1) * 2;
        PlanRun run(context, entry->path, &entry->outputs, message);
        if (!StartBatchRun(run, /*withOverlaps=*/false)) return false;
        fs::path path;
        if (!run.ResolvePath(1, 1, *sequence, &path)) return false;

        bool endReached = false;
        if (!run.Engine().SkipDuration(beginTenths, &endReached) || endReached) {
            // The range starts beyond the audio: nothing to write, the file is done.
            if (!run.PumpAndCheckCancel()) return run.Complete();
            run.CancelExit();
            return false;
        }
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
            return false;
        }
        if (!run.Engine().WritePieceByDuration(path, lengthTenths, 1, 1, *sequence, run.Width(),
                                               &endReached)) {
            if (run.PumpAndCheckCancel()) {
                run.CancelExit();
            } else {
                run.PieceFailed(path);
            }
            return false;
        }
        if (run.Record(path)) ++*sequence;
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
            return false;
        }
        return run.Complete();
    });
}

}  // namespace batch_plans

}  // namespace qm
