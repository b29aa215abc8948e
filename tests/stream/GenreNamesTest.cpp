// The genre vocabulary of the genre boxes.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "stream/Tags.h"

namespace qm {
namespace {

// Names are looked up by number, so each number must hold its own spelling; a single entry
// left out or doubled shifts every later one and is caught by the entries after it.
TEST(GenreNames, NumbersAndSpellings) {
    const std::pair<int, const char*> cases[] = {
        {0, "Blues"},
        {12, "Other"},
        {17, "Rock"},
        {20, "Alternative"},
        {39, "Noise"},
        {40, "Alt. Rock"},
        {64, "Native American"},
        {67, "Psychadelic"},
        {79, "Hard Rock"},
        {80, "Folk"},
        {81, "Folk/Rock"},
        {84, "Fast-Fusion"},
        {100, "Humour"},
        {123, "A Cappella"},
        {127, "Drum & Bass"},
        {136, "Christian Gangsta Rap"},
        {137, "Heavy Metal"},
        {144, "Trash Metal"},
        {145, "Anime"},
        {146, "Jpop"},
        {147, "Synthpop"},
    };
    for (const auto& [number, name] : cases) EXPECT_STREQ(GenreNames()[number], name) << "genre " << number;
}

// Every entry is a distinct, non-empty name without stray blanks.
TEST(GenreNames, EntriesAreDistinctAndTrimmed) {
    std::set<std::string> seen;
    for (int number = 0; number < kGenreCount; ++number) {
        const char* name = GenreNames()[number];
        ASSERT_NE(name, nullptr) << "genre " << number;
        const std::string text(name);
        ASSERT_FALSE(text.empty()) << "genre " << number;
        EXPECT_NE(text.front(), ' ') << "genre " << number;
        EXPECT_NE(text.back(), ' ') << "genre " << number;
        EXPECT_TRUE(seen.insert(text).second) << "duplicate genre " << text;
    }
    EXPECT_EQ(seen.size(), 148u);
}

}  // namespace
}  // namespace qm
