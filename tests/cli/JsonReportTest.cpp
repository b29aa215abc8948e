// The JSON document of the --json outputs: its one shape, valid UTF-8 whatever bytes a path
// holds, and the exact bytes of such a path in base64.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/JsonReport.h"

namespace qm::cli {
namespace {

using Json = nlohmann::json;

struct Utf8Case {
    const char* name;
    std::string text;
    bool valid;
    std::string shown;  // the text as a JSON string shows it
};

// Valid sequences of every length stay as they are; each byte that is not part of one
// becomes one U+FFFD, and the valid characters after it come back unchanged.
TEST(JsonReport, InvalidUtf8BytesBecomeOneReplacementEach) {
    const std::string r = "\xEF\xBF\xBD";
    const Utf8Case cases[] = {
        {"ascii", "plain.mp3", true, "plain.mp3"},
        {"two_byte", "caf\xC3\xA9", true, "caf\xC3\xA9"},
        {"three_byte", "\xE2\x98\x83", true, "\xE2\x98\x83"},
        {"four_byte", "\xF0\x9F\x8E\xB5", true, "\xF0\x9F\x8E\xB5"},
        {"latin1_byte", "lat\xE9n", false, "lat" + r + "n"},
        {"cut_sequence_at_end", "a\xE2\x98", false, "a" + r + r},
        {"overlong_slash", "\xC0\xAF", false, r + r},
        {"overlong_three_byte", "\xE0\x80\xAF", false, r + r + r},
        {"surrogate", "\xED\xA0\x80", false, r + r + r},
        {"past_u10ffff", "\xF4\x90\x80\x80", false, r + r + r + r},
        {"lone_continuation", "\x80x", false, r + "x"},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.name;
        EXPECT_EQ(ValidUtf8Text(c.text), c.shown) << c.name;
        EXPECT_TRUE(IsValidUtf8(ValidUtf8Text(c.text))) << c.name;
    }
}

// The RFC 4648 test vectors: every padding length.
TEST(JsonReport, Base64MatchesTheStandardVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFF\xE9\x00", 3), "/+kA"},
    };
    for (const auto& [bytes, text] : vectors) EXPECT_EQ(Base64(bytes), text) << text;
}

// A record holds file, status, outcome and outputs in that order; base64 members appear only
// for paths that are not UTF-8 (outputsBase64 then lists every output); a command's own
// member comes last.
TEST(JsonReport, RecordCarriesTheRawBytesOfPathsThatAreNotUtf8) {
    FileRecord plain{"a.mp3", FileStatus::Done, "2 piece(s)", {"a-1.mp3", "a-2.mp3"}, {}};
    EXPECT_EQ(RecordJson(plain),
              R"j({"file":"a.mp3","status":"done","outcome":"2 piece(s)","outputs":["a-1.mp3","a-2.mp3"]})j");

    FileRecord latin{"\xE9.mp3", FileStatus::Failed, "Failure: \xE9", {"ok.mp3", "\xE9-2.mp3"}, {}};
    latin.extra.emplace_back("info", nlohmann::ordered_json{{"size", 5}});
    const Json json = Json::parse(RecordJson(latin));
    EXPECT_EQ(json["file"], "\xEF\xBF\xBD.mp3");
    EXPECT_EQ(json["fileBase64"], Base64("\xE9.mp3"));
    EXPECT_EQ(json["status"], "failed");
    EXPECT_EQ(json["outcome"], "Failure: \xEF\xBF\xBD");
    EXPECT_EQ(json["outputs"], (Json{"ok.mp3", "\xEF\xBF\xBD-2.mp3"}));
    EXPECT_EQ(json["outputsBase64"], (Json{Base64("ok.mp3"), Base64("\xE9-2.mp3")}));
    EXPECT_EQ(json["info"]["size"], 5);
}

struct StatusCase {
    FileStatus status;
    const char* name;
};

TEST(JsonReport, StatusNames) {
    const StatusCase cases[] = {{FileStatus::Done, "done"},
                                {FileStatus::Failed, "failed"},
                                {FileStatus::Cancelled, "cancelled"},
                                {FileStatus::NotRun, "not run"}};
    for (const StatusCase& c : cases) EXPECT_STREQ(FileStatusName(c.status), c.name);
}

// The document: the command, a line per file (none for no file), and the cancel flag last.
TEST(JsonReport, DocumentHasOneShapeForAnyNumberOfFiles) {
    struct Case {
        std::size_t files;
        bool cancelled;
        const char* expected;
    };
    const Case cases[] = {
        {0, false, "{\"command\":\"info\",\"files\":[],\"cancelled\":false}\n"},
        {1, true,
         "{\"command\":\"info\",\"files\":[\n"
         "{\"file\":\"f0\",\"status\":\"not run\",\"outcome\":\"\",\"outputs\":[]}\n"
         "],\"cancelled\":true}\n"},
        {2, false,
         "{\"command\":\"info\",\"files\":[\n"
         "{\"file\":\"f0\",\"status\":\"not run\",\"outcome\":\"\",\"outputs\":[]},\n"
         "{\"file\":\"f1\",\"status\":\"not run\",\"outcome\":\"\",\"outputs\":[]}\n"
         "],\"cancelled\":false}\n"},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        JsonReport report(out, "info");
        // Appended, not added: GCC 12 warns (-Wrestrict) about "f" + std::string where nothing
        // overlaps.
        for (std::size_t i = 0; i < c.files; ++i)
            report.Add(FileRecord{std::string("f").append(std::to_string(i)), FileStatus::NotRun, "", {}, {}});
        report.Finish(c.cancelled);
        EXPECT_EQ(out.str(), c.expected) << c.files;
        const Json parsed = Json::parse(out.str());
        EXPECT_EQ(parsed["files"].size(), c.files);
        EXPECT_EQ(parsed["cancelled"], c.cancelled);
    }
}

}  // namespace
}  // namespace qm::cli
