// A file's chapters as marks.

#include "marks/Chapters.h"

#include <vector>

#include "stream/FailureMessages.h"
#include "stream/Tags.h"

namespace qm {

std::optional<MarkList> ReadChapterMarks(const std::filesystem::path& source, std::string* message) {
    std::vector<Chapter> chapters;
    if (!ReadChapters(source, &chapters)) {
        *message = FailedToOpenMessage(source);
        return std::nullopt;
    }
    if (chapters.empty()) {
        *message = QuotedText(source.string()) + " has no chapters.";
        return std::nullopt;
    }
    MarkList list;
    for (const Chapter& chapter : chapters) {
        Mark mark;
        mark.begin = chapter.startMs;
        // A chapter whose end is not after its start (some taggers leave it 0) runs to the
        // next one.
        mark.end = chapter.endMs > chapter.startMs ? Millis{chapter.endMs} : kToNextMark;
        mark.title = chapter.title;
        list.marks.push_back(std::move(mark));
    }
    return list;
}

}  // namespace qm
