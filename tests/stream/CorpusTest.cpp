// The frame reader and the analysis over the corpus of real files, checked against the
// figures its INDEX.md documents for each file (frame walk, tags, Xing/Info counts, and the
// playing time libmpg123 decodes).

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <regex>

#include "fixtures/Fixtures.h"
#include "stream/Mp3FrameReader.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

// What INDEX.md says about one file.
struct Documented {
    std::string stream;  // the "Stream" column
    std::string tags;    // the "Tags / VBR header" column
    std::string decode;  // the "Decode" column
};

std::map<std::string, Documented> ReadIndex(const std::filesystem::path& corpus) {
    std::map<std::string, Documented> rows;
    std::ifstream in(corpus / "INDEX.md");
    const std::regex folderLine(R"(^## (\S+)/ )");
    std::string folder;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_search(line, match, folderLine)) folder = match[1];
        if (line.rfind("| `", 0) != 0) continue;
        std::vector<std::string> cells;
        std::size_t start = 1;
        for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1) {
            std::string cell = line.substr(start, bar - start);
            cell.erase(0, cell.find_first_not_of(' '));
            cell.erase(cell.find_last_not_of(' ') + 1);
            cells.push_back(cell);
        }
        if (cells.size() < 8) continue;
        const std::string name = cells[0].substr(1, cells[0].size() - 2);  // inside the backticks
        rows[folder + "/" + name] = {cells[3], cells[4], cells[6]};
    }
    return rows;
}

std::optional<double> Number(const std::string& text, const std::string& pattern) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(pattern))) return std::nullopt;
    return std::stod(match[1]);
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::uint32_t BigEndian32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

struct Walk {
    std::uint64_t frames = 0;
    bool ordered = true;
};

Walk WalkToTheEnd(Mp3FrameReader& reader) {
    Walk walk;
    std::uint64_t lastEnd = reader.Position();
    Mp3FrameHeader header;
    while (reader.NextFrame(&header)) {
        walk.ordered = walk.ordered && header.frameOffset >= lastEnd &&
                       header.frameOffset + header.frameBytes <= reader.FileSize();
        lastEnd = header.frameOffset + header.frameBytes;
        ++walk.frames;
    }
    return walk;
}

class CorpusTest : public testing::Test {
protected:
    void SetUp() override {
        m_corpus = fixtures::CorpusDir();
        if (m_corpus.empty()) GTEST_SKIP() << "the corpus is not beside the checkout";
        m_index = ReadIndex(m_corpus);
        ASSERT_GT(m_index.size(), 200u);
    }

    std::filesystem::path m_corpus;
    std::map<std::string, Documented> m_index;
};

// Every documented file: the analysis agrees with the documented frame walk, audio start,
// Xing/Info counts and decoded length wherever the index gives them.
TEST_F(CorpusTest, AnalysisAgreesWithTheDocumentedFigures) {
    int opened = 0;
    int framesChecked = 0;
    int startsChecked = 0;
    int lengthsChecked = 0;
    int xingChecked = 0;
    for (const auto& [name, row] : m_index) {
        SCOPED_TRACE(name);
        Mp3FrameReader reader;
        const bool ok = reader.Open(m_corpus / name);
        const std::optional<double> documentedFrames = Number(row.stream, R"((\d+) frames? =)");
        // A single frame has no second header to confirm it: no decoder plays it either.
        const bool bareTag = (Has(name, ".id3") || Has(name, ".apev2")) && !documentedFrames;
        if (documentedFrames == 1.0 || bareTag) {
            EXPECT_FALSE(ok);
        }
        if (!ok) continue;
        ++opened;
        const std::uint64_t infoBytes = reader.InfoFrameLength();
        const std::uint64_t audioStart = reader.AudioStart();
        const Walk walk = WalkToTheEnd(reader);
        EXPECT_TRUE(walk.ordered);

        // Junk, free-format frames and frames with the reserved emphasis make the documented
        // walk (which accepts all of them) differ from ours.
        const bool plain = !Has(row.stream, "junk") && !Has(row.stream, "free format") &&
                           !std::regex_search(row.stream, std::regex(R"(emphasis [\d,]*2)"));
        const bool untagged = row.tags == "none";
        const std::optional<double> leadingJunk = Number(row.stream, R"((\d+) junk bytes before)");
        if (documentedFrames && untagged && plain) {
            const int cut = Has(row.stream, "cut short") ? 1 : 0;
            EXPECT_EQ(walk.frames, static_cast<std::uint64_t>(*documentedFrames) - cut);
            EXPECT_EQ(audioStart, 0u);
            ++framesChecked;
            ++startsChecked;
        }
        if (leadingJunk && untagged && !Has(row.stream, "between")) {
            EXPECT_EQ(audioStart, static_cast<std::uint64_t>(*leadingJunk));
            ++startsChecked;
        }
        // "ID3v2.3 1070 B" at the start of the column: the tag and then the audio (or the
        // Xing/Info frame).
        const std::optional<double> tagBytes = Number(row.tags, R"(^ID3v2\.\d (\d+) B(; (Xing|Info) .*)?$)");
        if (tagBytes && plain && !Has(row.tags, "size > file")) {
            EXPECT_EQ(audioStart, static_cast<std::uint64_t>(*tagBytes) + infoBytes);
            ++startsChecked;
        }
        const std::optional<double> xingFrames = Number(row.tags, R"((?:Xing|Info) (\d+) fr/)");
        const std::optional<double> xingBytes = Number(row.tags, R"((?:Xing|Info) \d+ fr/(\d+) B)");
        XingLayout layout;
        if (xingFrames && xingBytes && ParseXingLayout(reader.InfoFrame(), &layout)) {
            EXPECT_EQ(BigEndian32(reader.InfoFrame(), layout.frameCountOffset), *xingFrames);
            EXPECT_EQ(BigEndian32(reader.InfoFrame(), layout.byteCountOffset), *xingBytes);
            ++xingChecked;
        }
        const std::optional<double> decodedSeconds = Number(row.decode, R"(mpg123: \d+ samples \(([\d.]+) s\))");
        if (decodedSeconds) {
            EXPECT_NEAR(reader.LengthSeconds(), *decodedSeconds, 0.06);
            ++lengthsChecked;
        }
    }
    // The checks above must really have run, not been skipped by a parse that found nothing.
    EXPECT_GT(opened, 140);  // 149 of 232 at the time of writing
    EXPECT_GT(framesChecked, 40);
    EXPECT_GT(startsChecked, 50);
    EXPECT_GT(lengthsChecked, 100);
    EXPECT_GT(xingChecked, 20);
}

// A file that plays for no time at all (gapless trimming eats its two frames) still opens,
// and its average bit rate comes from its first frame instead of a division by zero.
TEST_F(CorpusTest, ZeroLengthStreamKeepsTheFirstFrameBitRate) {
    for (const char* name : {"taglib-data/itunes10.mp3", "mutagen-data/lame397v9short.mp3"}) {
        SCOPED_TRACE(name);
        Mp3FrameReader reader;
        ASSERT_TRUE(reader.Open(m_corpus / name));
        EXPECT_EQ(reader.LengthSeconds(), 0.0);
        EXPECT_EQ(reader.DurationSeconds(), 0);
        EXPECT_GT(reader.BitRateKbps(), 0);
        EXPECT_EQ(reader.BitRateKbps(), reader.LastHeader().bitRateKbps);
    }
}

// Reserved emphasis (2) fails the header tests, so the one such frame of this otherwise
// valid stream (the eleventh, at byte 4179) is hunted through byte by byte like junk.
TEST_F(CorpusTest, ReservedEmphasisFrameIsNotTaken) {
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.OpenRaw(m_corpus / "iso-conformance/l3-hecommon.bit"));
    std::vector<std::uint64_t> offsets;
    Mp3FrameHeader header;
    while (reader.NextFrame(&header)) offsets.push_back(header.frameOffset);
    ASSERT_GT(offsets.size(), 10u);
    EXPECT_EQ(offsets[9], 3761u);  // the frame before it, 418 bytes long
    EXPECT_GT(offsets[10], 4179u);
}

}  // namespace
}  // namespace qm
