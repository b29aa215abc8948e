// The three readings of a typed time, side by side on the same texts, and the two ways a
// time is shown.

#include <gtest/gtest.h>

#include <optional>

#include "stream/TenthsText.h"

namespace qm {
namespace {

enum class Reader { Lenient, Field, FieldEmptyRefused, Strict };

std::optional<int> Read(Reader reader, const char* text) {
    switch (reader) {
        case Reader::Lenient:
            return LenientSecondsToTenths(text);
        case Reader::Field:
            return FieldSecondsToTenths(text, EmptyText::IsZero);
        case Reader::FieldEmptyRefused:
            return FieldSecondsToTenths(text, EmptyText::Refused);
        case Reader::Strict:
            break;
    }
    return StrictTimeToTenths(text);
}

// Text → tenths, or refused (nothing), per reader. The lenient one never refuses; the field
// takes a sign and ignores what follows the number; the command line takes M:SS[.t] and
// refuses a second decimal, one-digit seconds after a colon, seconds past 59 and any trailing text.
TEST(TenthsText, TextToTenthsPerReader) {
    constexpr std::optional<int> no = std::nullopt;
    const struct {
        const char* text;
        std::optional<int> lenient, field, fieldEmptyRefused, strict;
    } rows[] = {
        {"0", 0, 0, 0, 0},
        {"0.0", 0, 0, 0, 0},
        {"1.0", 10, 10, 10, 10},
        {"12", 120, 120, 120, 120},
        {"12.5", 125, 125, 125, 125},
        {"90", 900, 900, 900, 900},
        {".5", 5, 5, 5, no},
        {"", 0, 0, no, no},
        {"7.25", 72, 72, 72, no},
        {"2.75", 27, 27, 27, no},
        {"1.", 10, 10, 10, no},
        {"3.", 30, 30, 30, no},
        {"-3.0", 0, -30, -30, no},
        {"-1", 0, -10, -10, no},
        {"+4", 0, 40, 40, no},
        {" 3", 30, 30, 30, no},
        {"12s", 120, 120, 120, no},
        {"abc", 0, no, no, no},
        {"1:30", 10, 10, 10, 900},
        {"1:30.5", 10, 10, 10, 905},
        {"61:00", 610, 610, 610, 36600},
        {"1:5", 10, 10, 10, no},
        {"1:60", 10, 10, 10, no},
        {"1.25", 12, 12, 12, no},
        {"99999999999", 2147483640, no, no, no},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Read(Reader::Lenient, row.text), row.lenient);
        EXPECT_EQ(Read(Reader::Field, row.text), row.field);
        EXPECT_EQ(Read(Reader::FieldEmptyRefused, row.text), row.fieldEmptyRefused);
        EXPECT_EQ(Read(Reader::Strict, row.text), row.strict);
    }
}

// Tenths → text: the length fields' seconds, and positions with hours only in a file that
// lasts an hour (catches the hour boundary on either side).
TEST(TenthsText, TenthsToText) {
    const struct {
        int tenths;
        int totalTenths;
        const char* seconds;
        const char* position;  // null: not a position (a negative length)
    } rows[] = {
        {0, 100, "0.0", "0:00.0"},         {27, 100, "2.7", "0:02.7"},          {-25, 100, "-2.5", nullptr},
        {6005, 35999, "600.5", "10:00.5"}, {6005, 36000, "600.5", "0:10:00.5"}, {36015, 40000, "3601.5", "1:00:01.5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tenths);
        EXPECT_EQ(SecondsText(row.tenths), row.seconds);
        if (row.position != nullptr) {
            EXPECT_EQ(PositionText(row.tenths, row.totalTenths), row.position);
        }
    }
}

}  // namespace
}  // namespace qm
