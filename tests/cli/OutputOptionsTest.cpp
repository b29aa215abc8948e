// The command line's output options and their mapping onto the option records.

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/OutputOptions.h"

namespace qm::cli {
namespace {

struct Parsed {
    bool ok = false;
    SplitterOptions split;
    JoinerOptions join;
};

// Parses args as a split (or batch join) command over options that start out pointing at a
// specific folder, as the stored settings may.
Parsed Parse(std::vector<std::string> args, bool join = false) {
    CLI::App app;
    OutputOptionValues values;
    if (join) {
        AddJoinOutputOptions(&app, &values);
    } else {
        AddSplitOutputOptions(&app, &values);
    }
    Parsed parsed;
    parsed.split.OutputFolderOpt = OutputFolderCode::Specific;
    parsed.split.SpecifiedOutputFolder = "/stored";
    parsed.join.OutputFolderOpt = OutputFolderCode::Specific;
    std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
    try {
        app.parse(args);
    } catch (const CLI::ParseError&) {
        return parsed;
    }
    if (join) {
        ApplyJoinOutputOptions(values, &parsed.join);
    } else {
        ApplySplitOutputOptions(values, &parsed.split);
    }
    parsed.ok = true;
    return parsed;
}

TEST(OutputOptionsTest, MapsSplitOptionsOntoTheSplitterOptions) {
    const Parsed none = Parse({});
    ASSERT_TRUE(none.ok);
    SplitterOptions expected;  // defaults, with outputs beside the sources
    expected.OutputFolderOpt = OutputFolderCode::SameAsSource;
    expected.SpecifiedOutputFolder = "/stored";
    EXPECT_EQ(none.split, expected);

    const Parsed all = Parse({"-o", "/out", "--tree", "--folder-per-file", "--name", "%P%.mp3",
                              "--name-digits", "3", "--title", "", "--title-digits", "1000",
                              "--no-tag", "--track", "piece", "--if-exists", "skip"});
    ASSERT_TRUE(all.ok);
    expected.OutputFolderOpt = OutputFolderCode::Specific;
    expected.SpecifiedOutputFolder = "/out";
    expected.CreateTreeDirs = true;
    expected.CreateFolderForEachMP3 = true;
    expected.OutputFileName = "%P%.mp3";
    expected.FilenameDigitNumber = 3;
    expected.ID3TitleFormat = "";  // an empty title template gives empty titles
    expected.TitleDigitNumber = 1000;
    expected.KeepID3tag = false;
    expected.ID3TrackNumType = TrackNumberCode::Piece;
    expected.TargetExistsOpt = TargetExistsCode::Skip;
    EXPECT_EQ(all.split, expected);

    const std::pair<const char*, TrackNumberCode> tracks[] = {
        {"source", TrackNumberCode::Source}, {"none", TrackNumberCode::None}};
    for (const auto& [text, code] : tracks) EXPECT_EQ(Parse({"--track", text}).split.ID3TrackNumType, code);
    const std::pair<const char*, TargetExistsCode> policies[] = {
        {"rename", TargetExistsCode::Rename}, {"overwrite", TargetExistsCode::Overwrite}};
    for (const auto& [text, code] : policies) {
        EXPECT_EQ(Parse({"--if-exists", text}).split.TargetExistsOpt, code);
    }
}

TEST(OutputOptionsTest, RefusesValuesOutsideTheirRangeOrList) {
    const std::vector<std::vector<std::string>> cases = {
        {"--name-digits", "1001"}, {"--name-digits", "-1"},  {"--title-digits", "x"},
        {"--track", "first"},      {"--if-exists", "ask"},   {"--name", ""},
        {"--tree"},  // a tree needs a folder to grow in
    };
    for (const auto& args : cases) EXPECT_FALSE(Parse(args).ok) << args[0];
}

TEST(OutputOptionsTest, MapsJoinOptionsOntoTheJoinerOptions) {
    const Parsed none = Parse({}, true);
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.join.OutputFolderOpt, OutputFolderCode::SameAsSource);
    EXPECT_FALSE(none.join.CreateTreeDirs);

    // As for split, a tree needs a folder to grow in.
    EXPECT_FALSE(Parse({"--tree"}, true).ok);
    const Parsed given = Parse({"-o", "/joined", "--tree", "--if-exists", "overwrite"}, true);
    ASSERT_TRUE(given.ok);
    EXPECT_TRUE(given.join.CreateTreeDirs);
    EXPECT_EQ(given.join.TargetExistsOpt, TargetExistsCode::Overwrite);
    EXPECT_TRUE(given.join.AddPostfixAtEndOfFile);

    OutputOptionValues values;
    values.outputDir = "/joined";
    JoinerOptions options;
    ApplyJoinOutputOptions(values, &options);
    EXPECT_EQ(options.OutputFolderOpt, OutputFolderCode::Specific);
    EXPECT_EQ(options.SpecifiedOutputFolder, "/joined");
}

}  // namespace
}  // namespace qm::cli
