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

    // The output path of a piece; false with the message set when it is refused. Earlier
    // pieces stay on disk then, and the engine is released.
    bool ResolvePath(int pieceNumber, int total, int sequence, fs::path* path) {
        std::string reason;
        if (m_context.resolve && m_context.resolve(m_source, pieceNumber, total, sequence, path, &reason)) {
            return true;
        }
        *m_message = reason.empty() ? "Failed to create file \"" + path->string() + "\"" : reason;
        Finish();
        return false;
    }

    // Keeps the message of a piece that could not be written (not cancelled): the pieces
    // before it are complete and stay; the run reports the failure.
    void PieceFailed(const fs::path& path) {
        const std::string& engineMessage = m_engine->LastError();
        *m_message = engineMessage.empty() ? WriteFailedMessage(path) : engineMessage;
        Finish();
    }

    // Deletes every file written for this source and releases the engine.
    void CancelExit() {
        for (const fs::path& written : *m_outputs) {
            std::error_code ignored;
            fs::remove(written, ignored);
        }
        m_outputs->clear();
        m_engine.reset();
    }

    void Finish() {
        if (m_engine) m_engine->Close();
        m_engine.reset();
    }

    bool PumpAndCheckCancel() const { return m_context.operation.PumpAndCheckCancel(); }
    void Record(const fs::path& path) { m_outputs->push_back(path); }
    SplitEngine& Engine() { return *m_engine; }
    const SplitterOptions& Options() const { return m_options; }
    int Width() const { return m_options.TitleDigitNumber; }

private:
    const SplitPlanContext& m_context;
    const SplitterOptions& m_options;
    fs::path m_source;
    std::vector<fs::path>* m_outputs;
    std::string* m_message;
    std::unique_ptr<SplitEngine> m_engine;
};

// Piece count of a by-size plan. Frames are copied as they are, so the direct engine's count
// follows the file size; the re-encoding engine writes its own bit rate, so its count follows
// the duration at that bit rate.
int BySizeCount(SplitEngine& engine, bool reencoding, std::uint64_t fileSizeBytes,
                int durationSeconds, std::uint64_t sizeBytes) {
    if (!reencoding) {
        std::uint64_t count = fileSizeBytes / sizeBytes;
        if (fileSizeBytes % sizeBytes != 0) ++count;
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
                                                   int sequence, fs::path* path, std::string* message) {
        return ResolveSplitOutputPath(placement, source, pieceNumber, total, sequence, path, message);
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
    if (stopped) {
        run.Finish();
        return true;
    }
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
    run.Finish();
    return true;
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
            row.outputPath = path;
            run.Record(path);
            if (sequence != nullptr) ++*sequence;
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

}  // namespace

bool PlanManualPieces(const SplitPlanContext& context, const fs::path& source,
                      std::vector<PieceRow>* rows, std::vector<fs::path>* outputs,
                      std::string* message, int* sequence) {
    return Guarded(message, [&] {
        bool anyChecked = false;
        for (const PieceRow& row : *rows) anyChecked = anyChecked || row.checked;
        if (rows->size() < 2 || !anyChecked) return Refuse(message, kTwoPiecesRequired);
        const int count = static_cast<int>(rows->size());
        ForgetRowPaths(*rows);
        PlanRun run(context, source, outputs, message);
        bool result = false;
        if (!StartPageRun(run, &result)) return result;

        fs::path failedPath;
        const RowsEnd end = WriteLeadingRows(run, *rows, sequence, &failedPath);
        if (end == RowsEnd::Refused) return false;
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
            ForgetRowPaths(*rows);
            return true;
        }
        if (end == RowsEnd::Failed) {
            run.PieceFailed(failedPath);
            return false;
        }
        PieceRow& last = rows->back();
        if (end == RowsEnd::Stopped || !last.checked) {
            run.Finish();
            return true;
        }
        // The last row runs to the end of the source; its own start and end are not used.
        const int lastSequence = sequence != nullptr ? *sequence : count;
        fs::path path;
        if (!run.ResolvePath(count, count, lastSequence, &path)) return false;
        if (!run.Engine().WritePieceToEnd(path, count, count, lastSequence, run.Width())) {
            if (run.PumpAndCheckCancel()) {
                run.CancelExit();
                ForgetRowPaths(*rows);
                return true;
            }
            run.PieceFailed(path);
            return false;
        }
        last.outputPath = path;
        run.Record(path);
        if (sequence != nullptr) ++*sequence;
        run.Finish();
        return true;
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
            ++*sequence;
            run.Record(path);
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
    if (stopped || (limited && options.FirstPiecesNumber < i)) {
        run.Finish();
        return true;
    }
    if (!run.ResolvePath(i, count, *sequence, &path)) return false;
    if (!run.Engine().WritePieceToEnd(path, count, count, *sequence, run.Width())) {
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
        } else {
            run.PieceFailed(path);
        }
        return false;
    }
    ++*sequence;
    run.Record(path);
    run.Finish();
    return true;
}

std::uint64_t FileSizeOf(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
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
        const int pieceTenths = entry->durationSeconds * 10 / count;
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
        const int durationTenths = entry->durationSeconds * 10;
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
        const int durationTenths = entry->durationSeconds * 10;
        if (beginTenths > durationTenths) return Refuse(message, kBeginBeyondEnd);
        // Length 0 means "to the end": twice the file's length always reaches it.
        if (lengthTenths <= 0) lengthTenths = entry->durationSeconds * 20;
        PlanRun run(context, entry->path, &entry->outputs, message);
        if (!StartBatchRun(run, /*withOverlaps=*/false)) return false;
        fs::path path;
        if (!run.ResolvePath(1, 1, *sequence, &path)) return false;

        bool endReached = false;
        if (!run.Engine().SkipDuration(beginTenths, &endReached) || endReached) {
            // The range starts beyond the audio: nothing to write, the file is done.
            if (!run.PumpAndCheckCancel()) {
                run.Finish();
                return true;
            }
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
        ++*sequence;
        run.Record(path);
        if (run.PumpAndCheckCancel()) {
            run.CancelExit();
            return false;
        }
        run.Finish();
        return true;
    });
}

}  // namespace batch_plans

}  // namespace qm
