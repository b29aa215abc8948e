// Cue sheets and label files read from any bytes: the readers never crash, and what they
// accept holds their promises: marks in order of their begins, none before 0, an end only
// after its begin, every text valid UTF-8; a sheet that is written out reads back the same.
//
// Input: the first byte chooses the reader (even: cue sheet, odd: label file); the rest is
// the file's text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "marks/CueSheet.h"
#include "marks/LabelFile.h"
#include "stream/Utf8.h"

namespace {

using qm::fuzz::Require;

void CheckMarks(const qm::MarkList& list) {
    qm::Millis previous = 0;
    for (const qm::Mark& mark : list.marks) {
        Require(mark.begin >= previous, "marks out of order or before 0");
        Require(mark.end == qm::kToNextMark || mark.end > mark.begin, "a mark that ends before it begins");
        Require(qm::IsWellFormedUtf8(mark.title) && qm::IsWellFormedUtf8(mark.performer), "a text not in UTF-8");
        previous = mark.begin;
    }
    Require(qm::IsWellFormedUtf8(list.album) && qm::IsWellFormedUtf8(list.performer), "an album text not in UTF-8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string error;
    if (data[0] % 2 == 0) {
        const auto sheet = qm::ParseCueSheet(text, &error);
        if (!sheet) return 0;
        CheckMarks(*sheet);
        const auto again = qm::ParseCueSheet(qm::CueSheetText(*sheet, "audio.mp3"), &error);
        Require(again.has_value() && again->marks.size() == sheet->marks.size(), "a written sheet does not read back");
        return 0;
    }
    if (const auto labels = qm::ParseLabels(text, &error)) CheckMarks(*labels);
    return 0;
}
