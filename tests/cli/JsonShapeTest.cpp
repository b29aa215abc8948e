// The --json output of info, split and join, run as real processes: one document shape for
// the three commands, and a source whose name is not UTF-8 still gives valid JSON that
// carries the name's exact bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fixtures/Fixtures.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using fixtures::DecodeBase64;

struct CommandCase {
    const char* command;
    std::vector<std::string> options;  // before the files; "{out}" stands for the output folder
    bool sourceIsRecord;               // the record names the source (join: the joined file)
    std::size_t outputs;               // files written
};

// Each command prints {"command", "files", "cancelled"}, each record {"file", "status",
// "outcome", "outputs"}; the Latin-1 byte of the source's name shows as U+FFFD in the text
// and comes back exactly from the base64 members, for the source and for the pieces.
TEST(JsonShape, EveryCommandGivesOneShapeAndTheRawBytesOfOddNames) {
    if (!fs::exists(fixtures::CliPath())) GTEST_SKIP() << "quillmere-cli is not built";
    const CommandCase cases[] = {
        {"info", {}, true, 0},
        {"split", {"--count", "2", "-o", "{out}"}, true, 2},
        {"join", {"-o", "{out}/joined.mp3"}, false, 1},
    };
    for (const CommandCase& c : cases) {
        fixtures::TempDir dir;
        const fs::path source = fixtures::MakeSong(dir, "caf\xE9.mp3", 2.0);
        std::vector<std::string> args = {c.command, "--json"};
        for (std::string option : c.options) {
            if (const auto at = option.find("{out}"); at != std::string::npos)
                option.replace(at, 5, dir.Path().string());
            args.push_back(option);
        }
        args.push_back(source.string());
        if (std::string(c.command) == "join") args.push_back(source.string());

        const fixtures::RunResult run = fixtures::RunProgram(fixtures::CliPath(), args);
        ASSERT_EQ(run.exitCode, 0) << c.command << run.err;
        const Json json = Json::parse(run.out);  // throws on invalid JSON or UTF-8
        EXPECT_EQ(json["command"], c.command);
        EXPECT_EQ(json["cancelled"], false) << c.command;
        ASSERT_EQ(json["files"].size(), 1u) << c.command;
        const Json& record = json["files"][0];
        EXPECT_EQ(record["status"], "done") << c.command;
        EXPECT_TRUE(record["outcome"].is_string()) << c.command;
        ASSERT_EQ(record["outputs"].size(), c.outputs) << c.command;
        if (c.sourceIsRecord) {
            EXPECT_EQ(record["file"], (dir / "caf\xEF\xBF\xBD.mp3").string()) << c.command;
            EXPECT_EQ(DecodeBase64(record["fileBase64"]), source.string()) << c.command;
        } else {
            EXPECT_FALSE(record.contains("fileBase64")) << c.command;
        }
        if (c.outputs > 1) {
            ASSERT_EQ(record["outputsBase64"].size(), c.outputs) << c.command;
            for (std::size_t i = 0; i < c.outputs; ++i) {
                const std::string raw = DecodeBase64(record["outputsBase64"][i]);
                EXPECT_TRUE(fs::exists(raw)) << c.command << " " << i;
                EXPECT_EQ(raw, (dir / ("caf\xE9-" + std::to_string(i + 1) + ".mp3")).string());
            }
        } else {
            EXPECT_FALSE(record.contains("outputsBase64")) << c.command;
        }
    }
}

}  // namespace
}  // namespace qm
