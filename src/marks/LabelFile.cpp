// Reading and writing label files.
//
// A label line is "start<TAB>end<TAB>text" with times in seconds. Sound editors write the
// times with a decimal point, or with the decimal comma of the user's locale; either is
// read. A line that begins with a backslash carries the frequency range of the label above
// it (a spectral selection) and says nothing about time.

#include "marks/LabelFile.h"

#include <algorithm>
#include <cstdio>

#include "marks/MarksFile.h"
#include "marks/TextEncoding.h"

namespace qm {

namespace {

constexpr Millis kMillisPerSecond = 1000;
constexpr int kMillisDigits = 3;
// Whole seconds of a time: nine digits are thirty years, far past any recording.
constexpr std::size_t kMaxSecondDigits = 9;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// Seconds as written ("12", "12.5", "12,345678", ".5") in milliseconds, rounded half up on
// the decimal digits themselves, so that no binary fraction moves a cut.
std::optional<Millis> SecondsTextMillis(std::string_view text) {
    const std::size_t point = text.find_first_of(".,");
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.size() + fraction.size() == 0 || whole.size() > kMaxSecondDigits) return std::nullopt;
    if (!std::all_of(whole.begin(), whole.end(), IsDigit) || !std::all_of(fraction.begin(), fraction.end(), IsDigit))
        return std::nullopt;
    Millis ms = 0;
    for (const char c : whole) ms = ms * 10 + (c - '0');
    for (int digit = 0; digit < kMillisDigits; ++digit) {
        const std::size_t at = static_cast<std::size_t>(digit);
        ms = ms * 10 + (at < fraction.size() ? fraction[at] - '0' : 0);
    }
    if (fraction.size() > kMillisDigits && fraction[kMillisDigits] >= '5') ++ms;
    return ms;
}

// The fields of a label line: start, end (the start when the line has none) and text.
struct LabelLine {
    std::string_view start;
    std::string_view end;
    std::string_view text;
};

LabelLine SplitLabelLine(std::string_view line) {
    LabelLine fields;
    const std::size_t firstTab = line.find('\t');
    fields.start = line.substr(0, firstTab);
    fields.end = fields.start;
    if (firstTab == std::string_view::npos) return fields;
    const std::string_view rest = line.substr(firstTab + 1);
    const std::size_t secondTab = rest.find('\t');
    fields.end = rest.substr(0, secondTab);
    if (secondTab != std::string_view::npos) fields.text = rest.substr(secondTab + 1);
    return fields;
}

std::string_view WithoutOuterBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// One label as a mark: a region keeps its end, a point runs to the next mark.
std::optional<Mark> LabelMark(std::string_view line, std::size_t lineNumber, std::string* error) {
    const LabelLine fields = SplitLabelLine(line);
    const std::string_view startText = WithoutOuterBlanks(fields.start);
    const std::string_view endText = WithoutOuterBlanks(fields.end);
    const std::optional<Millis> start = SecondsTextMillis(startText);
    const std::optional<Millis> end = SecondsTextMillis(endText);
    if (!start || !end) {
        *error = LineError(lineNumber, "bad time \"" + std::string(start ? endText : startText) + "\"");
        return std::nullopt;
    }
    if (*end < *start) {
        *error = LineError(lineNumber, "the label ends before it starts");
        return std::nullopt;
    }
    Mark mark;
    mark.begin = *start;
    mark.end = *end > *start ? *end : kToNextMark;
    mark.title = std::string(fields.text);
    return mark;
}

bool IsPoint(const Mark& mark) { return mark.end == kToNextMark; }

// With point labels the audio before the first of them is a piece of its own, unless a
// region begins before that point (then the regions say where the pieces are).
void AddLeadingPiece(std::vector<Mark>* marks) {
    const auto firstPoint = std::find_if(marks->begin(), marks->end(), IsPoint);
    if (firstPoint == marks->end() || firstPoint->begin == 0) return;
    const Millis pointMs = firstPoint->begin;
    const bool regionBefore = std::any_of(marks->begin(), marks->end(),
                                          [pointMs](const Mark& m) { return !IsPoint(m) && m.begin < pointMs; });
    if (!regionBefore) marks->insert(marks->begin(), Mark{});
}

// Seconds with six decimals and a point whatever the locale: "12.500000".
std::string SecondsText(Millis ms) {
    if (ms < 0) ms = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld000", static_cast<long long>(ms / kMillisPerSecond),
                  static_cast<long long>(ms % kMillisPerSecond));
    return text;
}

// A title on one label line: tabs and line breaks would start another field or line.
std::string LabelTextOf(std::string title) {
    for (char& c : title) {
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    }
    return title;
}

}  // namespace

std::optional<MarkList> ParseLabels(std::string_view bytes, std::string* error) {
    const std::string text = MarksTextToUtf8(bytes);
    MarkList list;
    std::size_t lineNumber = 0;
    for (const std::string_view line : TextLines(text)) {
        ++lineNumber;
        if (IsBlankLine(line) || line.front() == '\\') continue;
        std::optional<Mark> mark = LabelMark(line, lineNumber, error);
        if (!mark) return std::nullopt;
        list.marks.push_back(std::move(*mark));
    }
    if (list.Empty()) {
        *error = "no labels";
        return std::nullopt;
    }
    std::stable_sort(list.marks.begin(), list.marks.end(),
                     [](const Mark& a, const Mark& b) { return a.begin < b.begin; });
    AddLeadingPiece(&list.marks);
    return list;
}

std::optional<MarkList> ReadLabelFile(const std::filesystem::path& path, std::string* message) {
    return ReadMarksWith(path, "label file", &ParseLabels, message);
}

std::string LabelText(const MarkList& marks, Millis lastEnd) {
    std::string text;
    for (std::size_t i = 0; i < marks.marks.size(); ++i) {
        const Mark& mark = marks.marks[i];
        Millis end = mark.end;
        if (end == kToNextMark) end = i + 1 < marks.marks.size() ? marks.marks[i + 1].begin : lastEnd;
        end = std::max(end, mark.begin);
        text += SecondsText(mark.begin) + "\t" + SecondsText(end) + "\t" + LabelTextOf(mark.title) + "\n";
    }
    return text;
}

bool WriteLabelFile(const std::filesystem::path& path, const MarkList& marks, Millis lastEnd, std::string* message) {
    return WriteMarksFile(path, LabelText(marks, lastEnd), message);
}

}  // namespace qm
