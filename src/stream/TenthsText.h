#pragma once

// Times in tenths of a second, the unit of every length and position the user types or
// reads: the units, the three ways a typed time is read (from the most lenient to the
// strictest) and the two ways one is shown.

#include <optional>
#include <string>
#include <string_view>

namespace qm {

inline constexpr int kTenthsPerSecond = 10;
inline constexpr int kTenthsPerMinute = 60 * kTenthsPerSecond;
inline constexpr int kTenthsPerHour = 60 * kTenthsPerMinute;

// Seconds with one decimal as the batch splitter stores its begin and length texts ("12.5",
// "12", ".5", ""). Never refuses: leading blanks are skipped, a second decimal digit and
// whatever follows the number are ignored, text without a number and a negative value read
// as 0, and a huge number stops growing.
int LenientSecondsToTenths(std::string_view text);

// What an empty text means to FieldSecondsToTenths.
enum class EmptyText { IsZero, Refused };

// Seconds as the options page's length fields read them: leading blanks, an optional sign,
// at least one digit of whole seconds (a text that starts with the point reads as if a zero
// stood before it: ".5" is 5 tenths), and only the first digit after the point; whatever
// follows is ignored. Nothing for a text that does not start with a number or whose number
// is too large for a length, and for an empty text unless empty is IsZero.
std::optional<int> FieldSecondsToTenths(std::string_view text, EmptyText empty);

// A time as typed on the command line: seconds with at most one decimal ("12.5", "90") or
// minutes and seconds ("1:30", "1:30.5"), nothing before or after. Nothing for other text,
// or for a time too long to be meant (over three years).
std::optional<int> StrictTimeToTenths(std::string_view text);

// Whole seconds, a point and the tenths, as the length fields show them ("1.5", "0.0",
// "-2.5").
std::string SecondsText(int tenths);
// A position as the manual splitter's lists and counter show it: "M:SS.t", or "H:MM:SS.t" when
// the whole file (totalTenths) lasts an hour or more.
std::string PositionText(int tenths, int totalTenths);

}  // namespace qm
