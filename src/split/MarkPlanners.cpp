#include "split/MarkPlanners.h"

#include <algorithm>

#include "split/PlanRun.h"

namespace qm::mark_plans {

namespace fs = std::filesystem;
using namespace planning;

namespace {

TagInfo SheetTag(const MarkList& marks) {
    TagInfo sheet;
    sheet.album = marks.album;
    sheet.artist = marks.performer;
    sheet.genre = marks.genre;
    sheet.year = marks.year;
    return sheet;
}

// The pieces of the marks after the set-up; the step they ended in, with the last path.
PieceStep WriteMarks(PlanRun& run, const MarkList& marks, int count, int* sequence, fs::path* path) {
    const bool titled =
        std::any_of(marks.marks.begin(), marks.marks.end(), [](const Mark& mark) { return !mark.title.empty(); });
    SplitEngine& engine = run.Engine();
    PieceStep step = PieceStep::Written;
    for (int k = 1; k <= count && step == PieceStep::Written; ++k) {
        const std::size_t i = static_cast<std::size_t>(k - 1);
        const Mark& mark = marks.marks[i];
        // The audio before the mark (a gap left out, the part before the first mark) is read past.
        if (mark.begin > engine.CutMillis()) {
            bool endReached = false;
            if (!engine.SkipUntil(mark.begin, &endReached)) return PieceStep::Failed;
            if (endReached) return PieceStep::SourceEnded;
        }
        PieceNumbers numbers{k, count, sequence != nullptr ? *sequence : k, run.TitleDigits()};
        numbers.mark = {mark.title, mark.performer, mark.track, titled};
        const bool last = i + 1 == marks.marks.size();
        const Millis end = mark.end != kToNextMark ? mark.end : last ? kToNextMark : marks.marks[i + 1].begin;
        const PieceWriter write = [&engine, end](const fs::path& target, const PieceNumbers& n, bool* endReached) {
            if (end == kToNextMark) return engine.WritePieceToEnd(target, n);
            return engine.WritePieceUntil(target, end, n, endReached);
        };
        step = run.WritePiece(numbers, write, path, sequence);
        if (step == PieceStep::Written && end == kToNextMark) step = PieceStep::SourceEnded;
    }
    return step;
}

}  // namespace

PlanResult PlanMarks(const SplitPlanContext& context, const fs::path& source, const MarkList& given,
                     std::vector<fs::path>* outputs, std::string* message, int* sequence, int firstPieces) {
    // The source is cut front to back: marks listed out of time order (a table of contents
    // that lists its chapters so) are cut, and numbered, in the order of their begins.
    MarkList marks = given;
    std::stable_sort(marks.marks.begin(), marks.marks.end(),
                     [](const Mark& a, const Mark& b) { return a.begin < b.begin; });
    return Guarded(message, [&] {
        if (marks.Empty()) return Refuse(message, kNoMarks);
        PlanRun run(context, source, outputs, message);
        if (const auto ended = run.Start(/*withOverlaps=*/true)) return *ended;
        run.Engine().SetSheetTag(SheetTag(marks));
        // Marks that begin beyond the audio (a sheet of a longer file) make no pieces, so that
        // every name and title counts the pieces written.
        const Millis length = run.Engine().MeasuredMillis();
        const auto inside = std::count_if(marks.marks.begin(), marks.marks.end(),
                                          [length](const Mark& mark) { return mark.begin < length; });
        int count = static_cast<int>(std::max<std::ptrdiff_t>(inside, 1));
        if (firstPieces > 0) count = std::min(count, firstPieces);
        fs::path path;
        const PieceStep step = WriteMarks(run, marks, count, sequence, &path);
        return run.End(step, path);
    });
}

}  // namespace qm::mark_plans
