// A file's chapters as marks.

#include "marks/Chapters.h"

#include <algorithm>
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
    // The chapter that begins last runs to the end of the audio: its end, in whole
    // milliseconds, may fall short of the last frames, which would be lost (a joined file's
    // last chapter ends where the played audio does, and its last frame may hold only padding).
    const auto last = std::max_element(list.marks.begin(), list.marks.end(),
                                       [](const Mark& a, const Mark& b) { return a.begin < b.begin; });
    last->end = kToNextMark;
    return list;
}

}  // namespace qm
