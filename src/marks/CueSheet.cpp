// Reading and writing cue sheets.
//
// A sheet is a list of commands, one a line: a command word and its arguments, which are
// words or a quoted text. The commands that matter for cutting one audio file are TRACK (a
// track begins), INDEX 01 (where its audio begins), TITLE and PERFORMER (of the album before
// the first TRACK, of the track after it) and the REM comments GENRE and DATE. Everything
// else (CATALOG, FLAGS, ISRC, SONGWRITER, PREGAP, POSTGAP, other REM lines) describes the
// disc and is passed over.

#include "marks/CueSheet.h"

#include <cstdio>

#include "marks/MarksFile.h"
#include "marks/TextEncoding.h"
#include "stream/FailureMessages.h"

namespace qm {

namespace {

// A cue sheet counts in CD frames: 75 a second.
constexpr Millis kCueFramesPerSecond = 75;
constexpr Millis kMillisPerSecond = 1000;
constexpr Millis kSecondsPerMinute = 60;
// Track numbers as the pages keep them: up to four digits.
constexpr int kMaxTrackNumber = 9999;
constexpr std::size_t kMaxTrackDigits = 4;
// Minutes of an INDEX time: a cue sheet of a long recording may pass 99 minutes.
constexpr std::size_t kMaxMinuteDigits = 6;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The value of a string of at most a few digits (the callers check IsDigits and the length).
Millis DigitsValue(std::string_view digits) {
    Millis value = 0;
    for (const char c : digits) value = value * 10 + (c - '0');
    return value;
}

std::string_view TrimmedLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view Trimmed(std::string_view text) {
    text = TrimmedLeft(text);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Takes the first blank-separated word off *rest.
std::string_view NextWord(std::string_view* rest) {
    *rest = TrimmedLeft(*rest);
    std::size_t end = 0;
    while (end < rest->size() && !IsBlank((*rest)[end])) ++end;
    const std::string_view word = rest->substr(0, end);
    rest->remove_prefix(end);
    return word;
}

// Command words are compared without regard to case: sheets in lower case exist.
bool IsWord(std::string_view word, std::string_view upper) {
    if (word.size() != upper.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i] >= 'a' && word[i] <= 'z' ? static_cast<char>(word[i] - 'a' + 'A') : word[i];
        if (c != upper[i]) return false;
    }
    return true;
}

// A command's text argument. A quoted value runs to the next quote (a cue sheet has no
// escapes, and what follows the closing quote, such as FILE's type, is another argument); an
// unquoted one is the rest of the line without its outer blanks. Nothing for a quote that is
// never closed.
std::optional<std::string> TextValue(std::string_view rest) {
    rest = Trimmed(rest);
    if (rest.empty() || rest.front() != '"') return std::string(rest);
    const std::size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(rest.substr(1, close - 1));
}

// An INDEX time mm:ss:ff in milliseconds: ss below 60, ff below 75, each part digits. A frame
// is 40/3 ms; the sum is rounded to the nearest millisecond (never a tie: thirds).
std::optional<Millis> IndexTimeMillis(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const std::string_view minutes = text.substr(0, first);
    const std::string_view seconds = text.substr(first + 1, second - first - 1);
    const std::string_view frames = text.substr(second + 1);
    if (!IsDigits(minutes) || minutes.size() > kMaxMinuteDigits || !IsDigits(seconds) || seconds.size() > 2 ||
        !IsDigits(frames) || frames.size() > 2)
        return std::nullopt;
    const Millis ss = DigitsValue(seconds);
    const Millis ff = DigitsValue(frames);
    if (ss >= kSecondsPerMinute || ff >= kCueFramesPerSecond) return std::nullopt;
    const Millis wholeSeconds = DigitsValue(minutes) * kSecondsPerMinute + ss;
    return wholeSeconds * kMillisPerSecond +
           (ff * kMillisPerSecond * 2 + kCueFramesPerSecond) / (kCueFramesPerSecond * 2);
}

std::string TrackName(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "track %02d", number);
    return text;
}

std::string Quoted(std::string_view text) { return QuotedText(text); }

// Reads a sheet line by line into its marks.
class CueSheetParser {
public:
    std::optional<MarkList> Parse(std::string_view text, std::string* error);

private:
    // A track whose lines are being read.
    struct OpenTrack {
        std::size_t line = 0;  // its TRACK line
        bool hasStart = false;
        Mark mark;
    };

    bool ReadLine(std::string_view line);
    bool ReadFile(std::string_view rest);
    bool ReadTrack(std::string_view rest);
    bool ReadIndex(std::string_view rest);
    bool ReadText(std::string_view rest, std::string* field);
    bool ReadRemark(std::string_view rest);
    bool CloseTrack();
    bool Fail(const std::string& what);

    MarkList m_list;
    std::optional<OpenTrack> m_track;
    std::optional<Millis> m_previousStartMs;  // the INDEX 01 of the track before
    std::size_t m_line = 0;
    bool m_sawFile = false;
    std::string m_error;
};

bool CueSheetParser::Fail(const std::string& what) {
    m_error = LineError(m_line, what);
    return false;
}

std::optional<MarkList> CueSheetParser::Parse(std::string_view text, std::string* error) {
    const std::string utf8 = MarksTextToUtf8(text);
    for (const std::string_view line : TextLines(utf8)) {
        ++m_line;
        if (!ReadLine(line)) {
            *error = m_error;
            return std::nullopt;
        }
    }
    if (!CloseTrack()) {
        *error = m_error;
        return std::nullopt;
    }
    if (m_list.Empty()) {
        *error = "no tracks";
        return std::nullopt;
    }
    // The audio before the first track's INDEX 01 (a hidden track, or a lead-in) is kept
    // with the first piece rather than dropped.
    m_list.marks.front().begin = 0;
    for (Mark& mark : m_list.marks) {
        if (mark.performer.empty()) mark.performer = m_list.performer;
    }
    return std::move(m_list);
}

bool CueSheetParser::ReadLine(std::string_view line) {
    std::string_view rest = line;
    const std::string_view command = NextWord(&rest);
    if (command.empty()) return true;
    if (IsWord(command, "FILE")) return ReadFile(rest);
    if (IsWord(command, "TRACK")) return ReadTrack(rest);
    if (IsWord(command, "INDEX")) return ReadIndex(rest);
    // Before the first TRACK, TITLE and PERFORMER are the album's; after it, the track's.
    if (IsWord(command, "TITLE")) return ReadText(rest, m_track ? &m_track->mark.title : &m_list.album);
    if (IsWord(command, "PERFORMER")) return ReadText(rest, m_track ? &m_track->mark.performer : &m_list.performer);
    if (IsWord(command, "REM")) return ReadRemark(rest);
    return true;
}

// A sheet of several FILE lines counts each file's times from its own start: applied to one
// audio file its pieces would land in the wrong places.
bool CueSheetParser::ReadFile(std::string_view rest) {
    if (!TextValue(rest)) return Fail("unterminated quote");
    if (m_sawFile) return Fail("more than one FILE");
    m_sawFile = true;
    return true;
}

bool CueSheetParser::ReadTrack(std::string_view rest) {
    if (!CloseTrack()) return false;
    const std::string_view number = NextWord(&rest);
    if (number.empty()) return Fail("TRACK without a number");
    if (!IsDigits(number) || number.size() > kMaxTrackDigits) return Fail("bad TRACK number " + Quoted(number));
    OpenTrack track;
    track.line = m_line;
    track.mark.track = static_cast<int>(DigitsValue(number));
    // A data track's sectors are no audio of this file. A TRACK line without its type is
    // taken for audio.
    const std::string_view type = NextWord(&rest);
    if (!type.empty() && !IsWord(type, "AUDIO")) return Fail(TrackName(track.mark.track) + " is not AUDIO");
    m_track = std::move(track);
    return true;
}

// INDEX 01 is where a track's audio begins; INDEX 00 starts its pregap, which is played
// as the end of the track before and stays with that piece; higher indexes mark places
// inside the track.
bool CueSheetParser::ReadIndex(std::string_view rest) {
    const std::string_view number = NextWord(&rest);
    const std::string_view time = NextWord(&rest);
    if (!IsDigits(number)) return Fail("bad INDEX number " + Quoted(number));
    const std::optional<Millis> ms = IndexTimeMillis(time);
    if (!ms) return Fail("bad INDEX time " + Quoted(time));
    if (!m_track) return Fail("INDEX before the first TRACK");
    const bool isStart = number.size() <= 2 && DigitsValue(number) == 1;
    if (!isStart) return true;
    if (m_track->hasStart) return Fail(TrackName(m_track->mark.track) + " has a second INDEX 01");
    if (m_previousStartMs && *ms < *m_previousStartMs) return Fail("INDEX 01 before the previous track's");
    if (m_previousStartMs && *ms == *m_previousStartMs) return Fail("INDEX 01 at the previous track's");
    m_track->hasStart = true;
    m_track->mark.begin = *ms;
    m_previousStartMs = *ms;
    return true;
}

bool CueSheetParser::ReadText(std::string_view rest, std::string* field) {
    std::optional<std::string> value = TextValue(rest);
    if (!value) return Fail("unterminated quote");
    *field = std::move(*value);
    return true;
}

bool CueSheetParser::ReadRemark(std::string_view rest) {
    const std::string_view key = NextWord(&rest);
    std::string* field = IsWord(key, "GENRE") ? &m_list.genre : IsWord(key, "DATE") ? &m_list.year : nullptr;
    if (field == nullptr) return true;
    std::optional<std::string> value = TextValue(rest);
    if (!value) return Fail("unterminated quote");
    *field = std::move(*value);
    return true;
}

// Ends the open track: it needs its INDEX 01. The error names the track's TRACK line.
bool CueSheetParser::CloseTrack() {
    if (!m_track) return true;
    if (!m_track->hasStart) {
        m_error = LineError(m_track->line, TrackName(m_track->mark.track) + " has no INDEX 01");
        return false;
    }
    m_list.marks.push_back(std::move(m_track->mark));
    m_track.reset();
    return true;
}

// A text as a quoted cue value. The format has no escapes: a line break becomes a blank, and
// a text holding a quote is written unquoted when the rest of its line reads back the same
// (it neither begins with a quote nor has outer blanks), else with its quotes as apostrophes.
std::string CueValue(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    if (text.find('"') == std::string::npos) return Quoted(text);
    if (!text.empty() && text.front() != '"' && Trimmed(text).size() == text.size()) return text;
    for (char& c : text) {
        if (c == '"') c = '\'';
    }
    return Quoted(text);
}

// mm:ss:ff of a time, rounded to the nearest CD frame.
std::string CueTime(Millis ms) {
    if (ms < 0) ms = 0;
    const Millis frames = (ms * kCueFramesPerSecond + kMillisPerSecond / 2) / kMillisPerSecond;
    const Millis seconds = frames / kCueFramesPerSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / kSecondsPerMinute),
                  static_cast<long long>(seconds % kSecondsPerMinute),
                  static_cast<long long>(frames % kCueFramesPerSecond));
    return text;
}

}  // namespace

std::optional<MarkList> ParseCueSheet(std::string_view bytes, std::string* error) {
    CueSheetParser parser;
    return parser.Parse(bytes, error);
}

std::optional<MarkList> ReadCueSheet(const std::filesystem::path& path, std::string* message) {
    return ReadMarksWith(path, "cue sheet", &ParseCueSheet, message);
}

std::string CueSheetText(const MarkList& marks, const std::string& audioFileName) {
    std::string text;
    const auto line = [&text](std::string_view indent, std::string_view command, const std::string& value) {
        text.append(indent).append(command).append(" ").append(value).append("\n");
    };
    if (!marks.genre.empty()) line("", "REM GENRE", CueValue(marks.genre));
    if (!marks.year.empty()) line("", "REM DATE", CueValue(marks.year));
    if (!marks.performer.empty()) line("", "PERFORMER", CueValue(marks.performer));
    if (!marks.album.empty()) line("", "TITLE", CueValue(marks.album));
    line("", "FILE", CueValue(audioFileName) + " MP3");
    for (std::size_t i = 0; i < marks.marks.size(); ++i) {
        const Mark& mark = marks.marks[i];
        const int number = mark.track > 0 && mark.track <= kMaxTrackNumber ? mark.track : static_cast<int>(i + 1);
        char track[16];
        std::snprintf(track, sizeof track, "%02d AUDIO", number);
        line("  ", "TRACK", track);
        if (!mark.title.empty()) line("    ", "TITLE", CueValue(mark.title));
        if (!mark.performer.empty()) line("    ", "PERFORMER", CueValue(mark.performer));
        line("    ", "INDEX 01", CueTime(mark.begin));
    }
    return text;
}

bool WriteCueSheet(const std::filesystem::path& path, const MarkList& marks, const std::string& audioFileName,
                   std::string* message) {
    return WriteMarksFile(path, CueSheetText(marks, audioFileName), message);
}

std::filesystem::path CueSheetBeside(const std::filesystem::path& source) {
    std::filesystem::path sheet = source;
    sheet.replace_extension(".cue");
    return sheet;
}

}  // namespace qm
