// The frame reader and the analysis over the corpus of real files, checked against the
// figures its INDEX.md documents for each file (frame walk, tags, Xing/Info counts, and the
// playing time libmpg123 decodes).

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <optional>

#include "fixtures/Fixtures.h"
#include "stream/ByteOrder.h"
#include "stream/Mp3FrameReader.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

// What INDEX.md says about one file.
struct Documented {
    std::string stream;  // the "Stream" column
    std::string tags;    // the "Tags / VBR header" column
    std::string clean;   // the "Clean?" column: "yes", "mpg123 only", ...
    std::string decode;  // the "Decode" column
};

std::map<std::string, Documented> ReadIndex(const std::filesystem::path& corpus) {
    std::map<std::string, Documented> rows;
    std::ifstream in(corpus / "INDEX.md");
    std::string folder;
    for (std::string line; std::getline(in, line);) {
        // "## iso-conformance/ (26 files, ...)" opens a folder's table.
        if (line.rfind("## ", 0) == 0 && line.find("/ ") != std::string::npos) {
            folder = line.substr(3, line.find("/ ") - 3);
        }
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
        rows[folder + "/" + name] = {cells[3], cells[4], cells[5], cells[6]};
    }
    return rows;
}

// The number (digits and a decimal point) that ends right before marker, or starts right
// after it; empty when the marker is absent or no number touches it.
std::optional<double> NumberBefore(const std::string& text, const std::string& marker) {
    const std::size_t end = text.find(marker);
    if (end == std::string::npos) return std::nullopt;
    std::size_t start = end;
    while (start > 0 && (std::isdigit(static_cast<unsigned char>(text[start - 1])) || text[start - 1] == '.')) --start;
    if (start == end) return std::nullopt;
    return std::stod(text.substr(start, end - start));
}

std::optional<double> NumberAfter(const std::string& text, const std::string& marker) {
    const std::size_t found = text.find(marker);
    if (found == std::string::npos) return std::nullopt;
    const std::size_t start = found + marker.size();
    std::size_t end = start;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.')) ++end;
    if (start == end) return std::nullopt;
    return std::stod(text.substr(start, end - start));
}

// "Xing 5 fr/937 B" or "Info 4 fr/2088 B": the frame and byte counts.
std::optional<std::pair<double, double>> XingCounts(const std::string& tags) {
    for (const char* name : {"Xing ", "Info "}) {
        const std::size_t at = tags.find(name);
        if (at == std::string::npos) continue;
        const std::string rest = tags.substr(at);
        const auto frames = NumberAfter(rest, name);
        const auto bytes = NumberAfter(rest, " fr/");
        if (frames && bytes) return std::make_pair(*frames, *bytes);
    }
    return std::nullopt;
}

// "ID3v2.3 1070 B" alone, or followed only by the Xing/Info description: the tag's size.
std::optional<double> LeadingTagBytes(const std::string& tags) {
    if (tags.rfind("ID3v2.", 0) != 0 || tags.size() < 9) return std::nullopt;
    const std::size_t end = tags.find(" B", 8);
    if (end == std::string::npos) return std::nullopt;
    const std::string rest = tags.substr(end + 2);
    if (!rest.empty() && rest.rfind("; Xing ", 0) != 0 && rest.rfind("; Info ", 0) != 0) return std::nullopt;
    return NumberAfter(tags.substr(0, end), tags.substr(0, 8));
}

// The documented walk lists the emphasis values it met: "emphasis 0,1,2,3".
bool HasReservedEmphasis(const std::string& stream) {
    const std::size_t at = stream.find("emphasis ");
    if (at == std::string::npos) return false;
    const std::size_t end = stream.find_first_not_of("0123,", at + 9);
    return stream.substr(at + 9, end - at - 9).find('2') != std::string::npos;
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

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
        std::optional<double> documentedFrames = NumberBefore(row.stream, " frames =");
        if (!documentedFrames) documentedFrames = NumberBefore(row.stream, " frame =");
        // A single frame has no second header to confirm it: no decoder plays it either.
        const bool bareTag = (Has(name, ".id3") || Has(name, ".apev2")) && !documentedFrames;
        if (documentedFrames == 1.0 || bareTag) {
            EXPECT_FALSE(ok);
        }
        // Whatever libmpg123 decodes to some samples opens, streams with free-format frames
        // apart (they are refused): the start search must not refuse real audio.
        const std::optional<double> mpg123Samples = NumberAfter(row.decode, "mpg123: ");
        const bool freeFormat = Has(row.stream, "free format") || Has(row.stream, "free-format");
        if (mpg123Samples.value_or(0.0) > 0.0 && !freeFormat) {
            EXPECT_TRUE(ok);
        }
        if (!ok) continue;
        ++opened;
        const std::uint64_t infoBytes = reader.InfoFrameLength();
        const std::uint64_t audioStart = reader.AudioStart();
        const Walk walk = WalkToTheEnd(reader);
        EXPECT_TRUE(walk.ordered);

        // Junk, free-format frames and frames with the reserved emphasis make the documented
        // walk (which accepts all of them) differ from ours.
        const bool plain =
            !Has(row.stream, "junk") && !Has(row.stream, "free format") && !HasReservedEmphasis(row.stream);
        const bool untagged = row.tags == "none";
        const std::optional<double> leadingJunk = NumberBefore(row.stream, " junk bytes before");
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
        const std::optional<double> tagBytes = LeadingTagBytes(row.tags);
        if (tagBytes && plain && !Has(row.tags, "size > file")) {
            EXPECT_EQ(audioStart, static_cast<std::uint64_t>(*tagBytes) + infoBytes);
            ++startsChecked;
        }
        const auto xingCounts = XingCounts(row.tags);
        XingLayout layout;
        if (xingCounts && ParseXingLayout(reader.InfoFrame(), &layout)) {
            EXPECT_EQ(ReadBigEndian32(&reader.InfoFrame()[layout.frameCountOffset]), xingCounts->first);
            EXPECT_EQ(ReadBigEndian32(&reader.InfoFrame()[layout.byteCountOffset]), xingCounts->second);
            ++xingChecked;
        }
        const std::optional<double> decodedSeconds =
            row.decode.rfind("mpg123: ", 0) == 0 ? NumberAfter(row.decode.substr(0, row.decode.find(';')), " samples (")
                                                 : std::nullopt;
        if (decodedSeconds) {
            EXPECT_NEAR(reader.LengthSeconds(), *decodedSeconds, 0.06);
            ++lengthsChecked;
        }
    }
    // The checks above must really have run, not been skipped by a parse that found nothing.
    EXPECT_GT(opened, 140);  // 150 of 232 at the time of writing
    EXPECT_GT(framesChecked, 50);
    EXPECT_GT(startsChecked, 75);
    EXPECT_GT(lengthsChecked, 140);
    EXPECT_GT(xingChecked, 55);
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

// An ID3v2 tag whose declared size ends two bytes into the Xing frame, 415 bytes before the
// first of five 32 kbit/s frames: libmpg123 decodes nothing from the file's start (it locks
// onto a false sync in the Xing frame's seek table), but all five frames from the audio start.
TEST_F(CorpusTest, TagRunningIntoTheFirstFrameStillOpens) {
    Mp3FrameReader reader;
    ASSERT_TRUE(reader.Open(m_corpus / "tinytag-samples/empty_frame.mp3"));
    EXPECT_EQ(reader.AudioStart(), 1485u);
    EXPECT_EQ(reader.SampleRateHz(), 44100);
    EXPECT_EQ(reader.ChannelMode(), ChannelMode::Mono);
    EXPECT_DOUBLE_EQ(reader.LengthSeconds(), 5 * 1152 / 44100.0);
    EXPECT_EQ(WalkToTheEnd(reader).frames, 5u);
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
