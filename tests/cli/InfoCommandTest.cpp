// quillmere-cli info, run as a real process on generated files.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <variant>

#include "fixtures/Fixtures.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::DecodeBase64;
using fixtures::RunProgram;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

// A small strict JSON reader: enough to prove the output is valid JSON and to read it back.
struct Json {
    using Object = std::map<std::string, Json>;
    using Array = std::vector<Json>;
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<Array>, std::shared_ptr<Object>> value;

    bool IsNull() const { return std::holds_alternative<std::nullptr_t>(value); }
    double Number() const { return std::get<double>(value); }
    const std::string& Text() const { return std::get<std::string>(value); }
    bool Bool() const { return std::get<bool>(value); }
    const Array& Items() const { return *std::get<std::shared_ptr<Array>>(value); }
    const Json& operator[](const std::string& key) const {
        const Object& object = *std::get<std::shared_ptr<Object>>(value);
        const auto found = object.find(key);
        if (found == object.end()) throw std::runtime_error("no key " + key);
        return found->second;
    }
    bool Has(const std::string& key) const { return std::get<std::shared_ptr<Object>>(value)->count(key) != 0; }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : m_text(text) {}

    Json ParseDocument() {
        Json json = ParseValue();
        SkipSpace();
        if (m_at != m_text.size()) Fail("trailing text");
        return json;
    }

private:
    [[noreturn]] void Fail(const char* what) const {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(m_at));
    }
    void SkipSpace() {
        while (m_at < m_text.size() && std::strchr(" \t\r\n", m_text[m_at]) && m_text[m_at]) ++m_at;
    }
    bool Take(char c) {
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) Fail("unexpected character");
    }
    bool TakeWord(const char* word) {
        const std::size_t length = std::strlen(word);
        if (m_text.compare(m_at, length, word) != 0) return false;
        m_at += length;
        return true;
    }

    Json ParseValue() {
        SkipSpace();
        if (m_at >= m_text.size()) Fail("end of text");
        const char c = m_text[m_at];
        if (c == '{') return ParseObject();
        if (c == '[') return ParseArray();
        if (c == '"') return Json{ParseString()};
        if (TakeWord("null")) return Json{nullptr};
        if (TakeWord("true")) return Json{true};
        if (TakeWord("false")) return Json{false};
        return Json{ParseNumber()};
    }
    Json ParseObject() {
        Expect('{');
        auto object = std::make_shared<Json::Object>();
        if (!Take('}')) {
            do {
                SkipSpace();
                const std::string key = ParseString();
                Expect(':');
                (*object)[key] = ParseValue();
            } while (Take(','));
            Expect('}');
        }
        return Json{object};
    }
    Json ParseArray() {
        Expect('[');
        auto array = std::make_shared<Json::Array>();
        if (!Take(']')) {
            do array->push_back(ParseValue());
            while (Take(','));
            Expect(']');
        }
        return Json{array};
    }
    std::string ParseString() {
        if (m_at >= m_text.size() || m_text[m_at] != '"') Fail("string expected");
        ++m_at;
        std::string out;
        for (;;) {
            if (m_at >= m_text.size()) Fail("unterminated string");
            const auto c = static_cast<unsigned char>(m_text[m_at++]);
            if (c == '"') return out;
            if (c < 0x20) Fail("raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (m_at >= m_text.size()) Fail("bad escape");
            const char e = m_text[m_at++];
            const std::map<char, char> simple = {{'"', '"'},  {'\\', '\\'}, {'/', '/'},  {'b', '\b'},
                                                 {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'}};
            if (simple.count(e)) {
                out += simple.at(e);
            } else if (e == 'u' && m_at + 4 <= m_text.size()) {
                const unsigned code = std::stoul(m_text.substr(m_at, 4), nullptr, 16);
                m_at += 4;
                if (code >= 0x80) Fail("test reader only decodes ASCII escapes");
                out += static_cast<char>(code);
            } else {
                Fail("bad escape");
            }
        }
    }
    double ParseNumber() {
        const std::size_t start = m_at;
        while (m_at < m_text.size() && std::strchr("+-0123456789.eE", m_text[m_at]) && m_text[m_at]) ++m_at;
        if (start == m_at) Fail("value expected");
        return std::stod(m_text.substr(start, m_at - start));
    }

    const std::string& m_text;
    std::size_t m_at = 0;
};

// True when every byte sequence of text is well-formed UTF-8.
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (int k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

Json ParseOutput(const fixtures::RunResult& run) {
    EXPECT_TRUE(IsUtf8(run.out));
    return JsonParser(run.out).ParseDocument();
}

fixtures::EncodeSpec TwoSecondInfoSpec() {
    fixtures::EncodeSpec spec;
    spec.xing = fixtures::XingFrame::Yes;
    spec.seconds = 2.0;
    return spec;
}

class InfoCommandTest : public testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(fixtures::CliPath())) GTEST_SKIP() << "quillmere-cli is not built";
    }
    fixtures::RunResult Info(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"info"};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(fixtures::CliPath(), all);
    }
    TempDir m_dir;
};

// A tagged file with an Info frame: every field is present with the file's figures.
TEST_F(InfoCommandTest, JsonReportsTheAnalysis) {
    fixtures::Id3v2Spec tagSpec;
    tagSpec.title = "Morning \"Song\"";
    tagSpec.artist = "Back\\slash";
    tagSpec.album = "Album";
    tagSpec.year = "2004";
    tagSpec.track = "7/12";
    tagSpec.comment = "line one";
    const Bytes tag = fixtures::MakeId3v2Tag(tagSpec);
    const Bytes mp3 = fixtures::EncodeMp3(TwoSecondInfoSpec());
    const auto path = m_dir / "song.mp3";
    WriteFileBytes(path, fixtures::Concat({tag, mp3}));
    const auto decoded = fixtures::DecodeWithMpg123(path);
    const auto frames = fixtures::WalkFrames(mp3, 0);
    const std::uint32_t infoBytes = fixtures::FrameLengthOf(mp3.data());

    const auto run = Info({"--json", path.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Json json = ParseOutput(run);
    ASSERT_EQ(json["files"].Items().size(), 1u);
    const Json& file = json["files"].Items()[0];
    EXPECT_EQ(file["file"].Text(), path.string());
    EXPECT_EQ(file["status"].Text(), "done");
    EXPECT_EQ(file["info"]["size"].Number(), tag.size() + mp3.size());
    EXPECT_EQ(file["info"]["audioStart"].Number(), tag.size() + infoBytes);
    EXPECT_EQ(file["info"]["durationSeconds"].Number(), 2);
    EXPECT_NEAR(file["info"]["lengthSeconds"].Number(), decoded.samples / 44100.0, 1e-6);
    EXPECT_EQ(file["info"]["sampleRate"].Number(), 44100);
    EXPECT_EQ(file["info"]["channelMode"].Number(), 1);
    EXPECT_EQ(file["info"]["frames"].Number(), frames.size() - 1);
    EXPECT_EQ(file["info"]["version"].Text(), "MPEG-1");
    EXPECT_EQ(file["info"]["layer"].Number(), 3);
    EXPECT_EQ(file["info"]["xing"]["tag"].Text(), "Info");
    EXPECT_EQ(file["info"]["xing"]["frames"].Number(), frames.size() - 1);
    EXPECT_EQ(file["info"]["xing"]["bytes"].Number(), mp3.size());
    EXPECT_EQ(file["info"]["tags"]["title"].Text(), "Morning \"Song\"");
    EXPECT_EQ(file["info"]["tags"]["artist"].Text(), "Back\\slash");
    EXPECT_EQ(file["info"]["tags"]["year"].Text(), "2004");
    EXPECT_EQ(file["info"]["tags"]["track"].Number(), 7);
    EXPECT_EQ(file["info"]["tags"]["comment"].Text(), "line one");
}

struct VersionCase {
    const char* name;
    int rateHz;
    int kbps;
    const char* version;
    int channelMode;
};

// The version name follows the sample rate family; no Info frame gives "xing": null.
TEST_F(InfoCommandTest, NamesTheMpegVersion) {
    const VersionCase cases[] = {
        {"mpeg1", 48000, 192, "MPEG-1", 3},
        {"mpeg2", 24000, 64, "MPEG-2", 3},
        {"mpeg25", 8000, 16, "MPEG-2.5", 3},
    };
    for (const auto& c : cases) {
        fixtures::EncodeSpec spec;
        spec.sampleRateHz = c.rateHz;
        spec.kbps = c.kbps;
        spec.channels = fixtures::Channels::Mono;
        const auto path = m_dir / (std::string(c.name) + ".mp3");
        WriteFileBytes(path, fixtures::EncodeMp3(spec));
        const auto run = Info({"--json", path.string()});
        ASSERT_EQ(run.exitCode, 0) << c.name << run.err;
        const Json json = ParseOutput(run);
        const Json& file = json["files"].Items()[0];
        EXPECT_EQ(file["info"]["version"].Text(), c.version) << c.name;
        EXPECT_EQ(file["info"]["sampleRate"].Number(), c.rateHz) << c.name;
        EXPECT_EQ(file["info"]["channelMode"].Number(), c.channelMode) << c.name;
        EXPECT_TRUE(file["info"]["xing"].IsNull()) << c.name;
    }
}

// Files that are not MP3 fail with the program's message, the others still report, and the
// exit code says that something failed.
TEST_F(InfoCommandTest, FailuresAreReportedPerFile) {
    const std::string text = "just some text\n";
    fixtures::Id3v2Spec tagOnly;
    tagOnly.title = "Only a tag";
    const std::pair<const char*, Bytes> bad[] = {
        {"empty.mp3", {}},
        {"text.mp3", Bytes(text.begin(), text.end())},
        {"random.mp3", fixtures::Junk(30000, 3)},
        {"tag-only.mp3", fixtures::MakeId3v2Tag(tagOnly)},
    };
    std::vector<std::string> args = {"--json"};
    for (const auto& [name, bytes] : bad) {
        WriteFileBytes(m_dir / name, bytes);
        args.push_back((m_dir / name).string());
    }
    WriteFileBytes(m_dir / "good.mp3", fixtures::EncodeMp3(TwoSecondInfoSpec()));
    args.push_back((m_dir / "good.mp3").string());
    args.push_back((m_dir / "missing.mp3").string());

    const auto run = Info(args);
    EXPECT_EQ(run.exitCode, 1);
    const Json json = ParseOutput(run);
    ASSERT_EQ(json["files"].Items().size(), 6u);
    for (std::size_t i = 0; i < json["files"].Items().size(); ++i) {
        const Json& file = json["files"].Items()[i];
        const std::string& path = args[i + 1];
        EXPECT_EQ(file["file"].Text(), path);
        const bool good = i == 4;
        EXPECT_EQ(file["status"].Text(), good ? "done" : "failed") << path;
        if (!good) {
            EXPECT_EQ(file["outcome"].Text(), "Failed to load file \"" + path + "\".");
            EXPECT_FALSE(file.Has("info"));
        }
    }
}

struct ExitCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
};

TEST_F(InfoCommandTest, ExitCodes) {
    WriteFileBytes(m_dir / "good.mp3", fixtures::EncodeMp3(TwoSecondInfoSpec()));
    WriteFileBytes(m_dir / "bad.mp3", fixtures::Junk(100));
    const std::string good = (m_dir / "good.mp3").string();
    const std::string bad = (m_dir / "bad.mp3").string();
    const ExitCase cases[] = {
        {"one_good", {good}, 0}, {"two_good_json", {"--json", good, good}, 0},
        {"one_bad", {bad}, 1},   {"good_then_bad", {good, bad}, 1},
        {"no_file", {}, 2},      {"unknown_option", {"--frobnicate", good}, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(Info(c.args).exitCode, c.exitCode) << c.name;
}

// The readable form carries the same figures, and a failure goes to stderr.
TEST_F(InfoCommandTest, TextOutput) {
    const auto path = m_dir / "good.mp3";
    const Bytes mp3 = fixtures::EncodeMp3(TwoSecondInfoSpec());
    WriteFileBytes(path, mp3);
    WriteFileBytes(m_dir / "bad.mp3", fixtures::Junk(100));
    const auto run = Info({path.string(), (m_dir / "bad.mp3").string()});
    EXPECT_EQ(run.exitCode, 1);
    const std::size_t frames = fixtures::WalkFrames(mp3, 0).size() - 1;
    EXPECT_NE(run.out.find(path.string() + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("frames:         " + std::to_string(frames) + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("MPEG-1 Layer 3, 44100 Hz, joint stereo (1)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("xing:           Info, frames " + std::to_string(frames)), std::string::npos);
    EXPECT_EQ(run.err, "Failed to load file \"" + (m_dir / "bad.mp3").string() + "\".\n");
}

// Paths with quotes, backslashes, control characters and bytes that are not UTF-8 still give
// valid JSON; the valid characters come back unchanged.
TEST_F(InfoCommandTest, JsonEscapesAwkwardPaths) {
    const std::string names[] = {"quote\"back\\slash.mp3", "tab\tnew\nline.mp3", "caf\xC3\xA9.mp3",
                                 "latin1-\xE9-name.mp3"};
    std::vector<std::string> args = {"--json"};
    for (const auto& name : names) {
        WriteFileBytes(m_dir / name, fixtures::Junk(10));
        args.push_back((m_dir / name).string());
    }
    const auto run = Info(args);
    const Json json = ParseOutput(run);
    ASSERT_EQ(json["files"].Items().size(), 4u);
    EXPECT_EQ(json["files"].Items()[0]["file"].Text(), args[1]);
    EXPECT_EQ(json["files"].Items()[1]["file"].Text(), args[2]);
    EXPECT_EQ(json["files"].Items()[2]["file"].Text(), args[3]);
    // The lone Latin-1 byte becomes U+FFFD, and the exact bytes come along in base64; the
    // valid paths carry no base64 member.
    EXPECT_EQ(json["files"].Items()[3]["file"].Text(), (m_dir / "latin1-\xEF\xBF\xBD-name.mp3").string());
    EXPECT_EQ(DecodeBase64(json["files"].Items()[3]["fileBase64"].Text()), args[4]);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_FALSE(json["files"].Items()[i].Has("fileBase64")) << i;
}

}  // namespace
}  // namespace qm
