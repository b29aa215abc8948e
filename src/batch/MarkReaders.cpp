#include "batch/MarkReaders.h"

#include <system_error>
#include <utility>

#include "marks/Chapters.h"
#include "marks/CueSheet.h"
#include "marks/LabelFile.h"
#include "marks/SilenceScan.h"
#include "split/MarkPlanners.h"
#include "stream/FailureMessages.h"

namespace qm {

namespace fs = std::filesystem;

std::string NoCueSheetBesideMessage(const fs::path& source) {
    return "No cue sheet beside \"" + source.string() + "\" (" + CueSheetBeside(source).filename().string() + ").";
}

std::string NoCueSheetOrChaptersMessage(const fs::path& source) {
    return QuotedText(source.string()) + " has no cue sheet beside it (" + CueSheetBeside(source).filename().string() +
           ") and no chapters.";
}

MarkReader SilenceMarks(const SilenceOptions& options) {
    return [options](const LongOperation& operation, const fs::path& source, std::string* message) {
        return FindSilenceMarks(source, options, operation, message);
    };
}

MarkReader CueSheetMarks(const fs::path& sheet) {
    return
        [sheet](const LongOperation&, const fs::path&, std::string* message) { return ReadCueSheet(sheet, message); };
}

MarkReader LabelFileMarks(const fs::path& labels) {
    return [labels](const LongOperation&, const fs::path&, std::string* message) {
        return ReadLabelFile(labels, message);
    };
}

MarkReader CueSheetBesideMarks() {
    return [](const LongOperation&, const fs::path& source, std::string* message) -> std::optional<MarkList> {
        const fs::path sheet = CueSheetBeside(source);
        std::error_code ignored;
        if (!fs::exists(sheet, ignored)) {
            *message = NoCueSheetBesideMessage(source);
            return std::nullopt;
        }
        return ReadCueSheet(sheet, message);
    };
}

MarkReader ChapterMarks() {
    return [](const LongOperation&, const fs::path& source, std::string* message) {
        return ReadChapterMarks(source, message);
    };
}

MarkReader CueSheetOrChapterMarks() {
    return [](const LongOperation& operation, const fs::path& source, std::string* message) -> std::optional<MarkList> {
        std::error_code ignored;
        if (fs::exists(CueSheetBeside(source), ignored)) return CueSheetBesideMarks()(operation, source, message);
        std::string none;
        if (std::optional<MarkList> chapters = ReadChapterMarks(source, &none)) return chapters;
        *message = NoCueSheetOrChaptersMessage(source);
        return std::nullopt;
    };
}

BatchFilePlanner MakeMarksFilePlanner(MarkReader read) {
    return [read = std::move(read)](const SplitPlanContext& context, batch_plans::BatchEntry* entry, int* sequence,
                                    std::string* message) {
        entry->outputs.clear();
        const std::optional<MarkList> marks = read(context.operation, entry->path, message);
        if (!marks)
            return message->empty() && context.operation.Cancelled() ? PlanResult::Cancelled : PlanResult::Failed;
        const SplitterOptions& options = *context.options;
        const int firstPieces = options.SplitFirstNPieces ? options.FirstPiecesNumber : 0;
        return mark_plans::PlanMarks(context, entry->path, *marks, &entry->outputs, message, sequence, firstPieces);
    };
}

}  // namespace qm
