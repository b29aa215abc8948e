// Staged outputs: finished temporary files put in place together, all or none, or only
// where they replace nothing; whatever is not placed is deleted.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

#include "fixtures/Fixtures.h"
#include "output/OutputPath.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

// Targets a, b, c: a and c exist with old bytes; b is new. Each case stages new bytes for
// them and ends one way; "blocked" makes c's target a folder before the end, so that c
// cannot be placed.
TEST(StagedOutputs, PlacesAllNoneOrOnlyTheNew) {
    enum class End { PlaceAll, PlaceAllBlocked, PlaceNewOnly, Discard, Destroy };
    struct Case {
        const char* name;
        End end;
        bool placed;               // PlaceAll's result
        Bytes a, b, c;             // what is at each target afterwards (empty: nothing)
        std::vector<const char*> placedNew;  // PlaceNewOnly's result
    };
    const Bytes oldA{1}, oldC{3}, newA{10}, newB{20}, newC{30};
    const Case cases[] = {
        {"all", End::PlaceAll, true, newA, newB, newC, {}},
        {"blocked", End::PlaceAllBlocked, false, oldA, {}, {}, {}},
        {"new only", End::PlaceNewOnly, false, oldA, newB, oldC, {"b"}},
        {"discard", End::Discard, false, oldA, {}, oldC, {}},
        {"destroyed", End::Destroy, false, oldA, {}, oldC, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::TempDir dir;
        fixtures::WriteFileBytes(dir / "a", oldA);
        fixtures::WriteFileBytes(dir / "c", oldC);
        ::chmod((dir / "a").c_str(), 0640);
        {
            StagedOutputs staged;
            int n = 0;
            for (const auto& [name, bytes] : {std::pair{"a", newA}, std::pair{"b", newB}, std::pair{"c", newC}}) {
                const fs::path temporary = dir / (".tmp" + std::to_string(n++));
                fixtures::WriteFileBytes(temporary, bytes);
                staged.Add(temporary, dir / name);
            }
            EXPECT_TRUE(staged.Takes(dir / "b"));
            EXPECT_TRUE(staged.Takes(dir / "." / "b"));
            EXPECT_FALSE(staged.Takes(dir / "d"));
            fs::path failed;
            switch (c.end) {
            case End::PlaceAllBlocked:
                fs::remove(dir / "c");
                fs::create_directories(dir / "c" / "inside");
                [[fallthrough]];
            case End::PlaceAll:
                EXPECT_EQ(staged.PlaceAll(&failed), c.placed);
                EXPECT_EQ(failed, c.placed ? fs::path{} : dir / "c");
                break;
            case End::PlaceNewOnly: {
                std::vector<fs::path> expected;
                for (const char* name : c.placedNew) expected.push_back(dir / name);
                EXPECT_EQ(staged.PlaceNewOnly(), expected);
                break;
            }
            case End::Discard: staged.DiscardAll(); break;
            case End::Destroy: break;
            }
        }
        for (const auto& [name, bytes] : {std::pair{"a", c.a}, std::pair{"b", c.b}}) {
            EXPECT_EQ(fs::exists(dir / name), !bytes.empty()) << name;
            if (!bytes.empty()) {
                EXPECT_EQ(fixtures::ReadFileBytes(dir / name), bytes) << name;
            }
        }
        if (c.end == End::PlaceAllBlocked) {
            EXPECT_TRUE(fs::is_directory(dir / "c" / "inside"));
        } else {
            EXPECT_EQ(fixtures::ReadFileBytes(dir / "c"), c.c);
        }
        // A replaced file's permissions pass to the new one; nothing else is left behind.
        EXPECT_EQ(fs::status(dir / "a").permissions(), fs::perms(0640));
        std::set<std::string> expectedNames{"a", "c"};
        if (!c.b.empty()) expectedNames.insert("b");
        EXPECT_EQ(Names(dir.Path()), expectedNames);
    }
}

// A second output for the same target replaces the first, whose temporary file goes.
TEST(StagedOutputs, LaterOutputForTheSameTargetWins) {
    fixtures::TempDir dir;
    StagedOutputs staged;
    fixtures::WriteFileBytes(dir / ".one", {1});
    fixtures::WriteFileBytes(dir / ".two", {2});
    staged.Add(dir / ".one", dir / "piece.mp3");
    staged.Add(dir / ".two", dir / "piece.mp3");
    fs::path failed;
    ASSERT_TRUE(staged.PlaceAll(&failed));
    EXPECT_EQ(fixtures::ReadFileBytes(dir / "piece.mp3"), Bytes{2});
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"piece.mp3"}));
}

}  // namespace
}  // namespace qm
