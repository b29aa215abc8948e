// Chapters and cue sheets of joined files: where each source begins in the played audio, the
// frames the chapters point at, and the sheet that is put in place with the output or not at all.

#include <gtest/gtest.h>

#include "fixtures/ProgressFakes.h"
#include "join/JoinKit.h"
#include "join/JoinList.h"
#include "join/JoinNavigation.h"
#include "stream/MpegHeader.h"
#include "stream/Tags.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;
using fixtures::Quiet;

constexpr std::uint64_t kLameLead = 576 + 529;  // LAME's encoder delay and the decoder's

struct TimelineCase {
    const char* name;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> starts;  // stream sample, byte offset
    PlayedStream played;
    std::uint64_t endOffset;
    std::vector<std::array<std::uint32_t, 4>> expected;  // start ms, end ms, start offset, end offset
};

TEST(JoinedTimeline, ChaptersBeginWhereEachSourceSoundsInThePlayedAudio) {
    constexpr std::uint32_t kNone = kNoChapterOffset;
    const TimelineCase cases[] = {
        {"the player's skip comes off every start but the first",
         {{0, 100}, {kLameLead + 44100, 5000}, {kLameLead + 88200, 9000}},
         {44100, kLameLead, 132300},
         13000,
         {{{0, 1000, 100, 5000}}, {{1000, 2000, 5000, 9000}}, {{2000, 3000, 9000, 13000}}}},
        {"a source inside the skipped samples begins at 0",
         {{0, 10}, {500, 20}, {kLameLead + 480, 30}},
         {48000, kLameLead, 96000},
         40,
         {{{0, 0, 10, 20}}, {{0, 10, 20, 30}}, {{10, 2000, 30, 40}}}},
        {"offsets beyond 32 bits say nothing",
         {{0, 1000}, {kLameLead + 44100, std::uint64_t{5} << 30}},
         {44100, kLameLead, 88200},
         std::uint64_t{6} << 30,
         {{{0, 1000, 1000, kNone}}, {{1000, 2000, kNone, kNone}}}},
    };
    for (const TimelineCase& c : cases) {
        JoinedTimeline timeline;
        for (const auto& [sample, offset] : c.starts) timeline.StartSource(sample, offset);
        const std::vector<SourceName> names(c.starts.size(), SourceName{"t", "p"});
        const std::vector<Chapter> chapters = timeline.Chapters(names, c.played, c.endOffset);
        ASSERT_EQ(chapters.size(), c.expected.size()) << c.name;
        for (std::size_t k = 0; k < chapters.size(); ++k) {
            EXPECT_EQ(chapters[k].id, "ch" + std::to_string(k)) << c.name;
            const std::array<std::uint32_t, 4> got{chapters[k].startMs, chapters[k].endMs, chapters[k].startOffset,
                                                   chapters[k].endOffset};
            EXPECT_EQ(got, c.expected[k]) << c.name << ", chapter " << k;
        }
    }
}

// The offsets of chosen frames come out the same however the stream is cut into writes.
TEST(FrameOffsets, FindTheFramesWhateverTheWriteSizes) {
    const fx::Bytes stream = fx::EncodeMp3(fx::StreamSpec(3.0, fx::Signal::Noise));
    const std::vector<fx::FrameSpan> frames = fx::WalkFrames(stream, 0);
    ASSERT_GT(frames.size(), 100u);
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
        FrameOffsets offsets(1000);
        for (const std::uint64_t index : {0u, 3u, 3u, 100u, 100000u}) offsets.Want(index);
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            offsets.Feed(std::span(stream).subspan(at, std::min(chunk, stream.size() - at)));
        }
        const std::uint64_t end = 1000 + stream.size();
        const std::vector<std::uint64_t> expected{1000 + frames[0].offset, 1000 + frames[3].offset,
                                                  1000 + frames[3].offset, 1000 + frames[100].offset, end};
        EXPECT_EQ(offsets.Found(), expected) << chunk;
        EXPECT_EQ(offsets.Frames(), frames.size()) << chunk;
    }
}

struct JoinedFile {
    fx::TempDir dir;
    std::vector<std::filesystem::path> sources;
    std::vector<fx::Bytes> audio;  // each source's frames after its Info frame
};

// Writes three tagged sources (one title in Cyrillic, one source without a title).
void WriteThreeSources(JoinedFile& joined) {
    const char* titles[] = {"Глава первая", "Deux", ""};
    const double seconds[] = {1.3, 2.1, 0.7};
    for (int k = 0; k < 3; ++k) {
        fx::Id3v2Spec tag;
        tag.title = titles[k];
        tag.artist = "Performer " + std::to_string(k);
        tag.utf16 = true;
        fx::EncodeSpec spec = fx::StreamSpec(seconds[k], fx::Signal::Tone);
        spec.xing = fx::XingFrame::Yes;
        spec.toneHz = 300.0 + 100 * k;
        const fx::Bytes frames = fx::EncodeMp3(spec);
        const std::vector<fx::FrameSpan> spans = fx::WalkFrames(frames, 0);
        joined.audio.emplace_back(frames.begin() + static_cast<std::ptrdiff_t>(spans[1].offset), frames.end());
        const std::filesystem::path path = joined.dir / ("part " + std::to_string(k + 1) + ".mp3");
        fx::WriteFileBytes(path, fx::Concat({fx::MakeId3v2Tag(tag), frames}));
        joined.sources.push_back(path);
    }
}

// A direct join points each chapter at its source's first frame, timed where the stream's
// samples before it sound; a re-encoded one after the samples handed to the encoder before
// it; a cancelled one leaves neither the output nor its sheet (an existing one stays).
TEST(JoinNavigation, ChaptersAndSheetOfJoinedFiles) {
    JoinedFile joined;
    WriteThreeSources(joined);
    JoinList job;
    job.AddSources(joined.sources);
    job.SetTargetTag("Book", "Reader", "", "2026", "", "", 0);
    job.SetNavigation({true, true});
    const std::filesystem::path target = joined.dir / "book.mp3";
    ASSERT_TRUE(job.JoinDirect(target, Quiet())) << job.LastError();

    std::vector<Chapter> chapters;
    ASSERT_TRUE(ReadChapters(target, &chapters));
    EXPECT_EQ(chapters, job.JoinedChapters());
    ASSERT_EQ(chapters.size(), 3u);
    fx::Bytes output = fx::ReadFileBytes(target);
    std::uint64_t framesBefore = 0;
    const char* titles[] = {"Глава первая", "Deux", "part 3"};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(chapters[k].title, titles[k]);
        const std::uint64_t played = k == 0 ? 0 : framesBefore * 1152 - kLameLead;
        EXPECT_EQ(chapters[k].startMs, played * 1000 / 44100) << k;
        const fx::Bytes& audio = joined.audio[k];
        ASSERT_LE(chapters[k].startOffset + audio.size(), output.size());
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), output.begin() + chapters[k].startOffset)) << k;
        EXPECT_EQ(chapters[k].endOffset, chapters[k].startOffset + audio.size()) << k;
        framesBefore += fx::WalkFrames(audio, 0).size();
    }
    // The last chapter ends where a gapless decoder's audio does.
    EXPECT_NEAR(chapters[2].endMs, joinkit::Mp3Seconds(target) * 1000.0, 1.0);
    const fx::Bytes sheetBytes = fx::ReadFileBytes(joined.dir / "book.cue");
    const std::string sheet(sheetBytes.begin(), sheetBytes.end());
    for (const std::string line :
         {"\xEF\xBB\xBFREM DATE \"2026\"\nPERFORMER \"Reader\"\nTITLE \"Book\"\nFILE \"book.mp3\" MP3\n"
          "  TRACK 01 AUDIO\n    TITLE \"Глава первая\"\n    PERFORMER \"Performer 0\"\n"
          "    INDEX 01 00:00:00\n",
          "  TRACK 03 AUDIO\n    TITLE \"part 3\"\n"}) {
        EXPECT_NE(sheet.find(line), std::string::npos) << line << "\n" << sheet;
    }

    job.SetNavigation({true, false});
    ASSERT_TRUE(job.JoinReencode(target, EncoderParams{44100, 96, ChannelMode::Mono}, Quiet())) << job.LastError();
    ASSERT_TRUE(ReadChapters(target, &chapters));
    ASSERT_EQ(chapters.size(), 3u);
    output = fx::ReadFileBytes(target);
    // The frames after the tag, the Info frame first.
    const std::vector<fx::FrameSpan> frames = fx::WalkFrames(output, Id3v2TagBytes(output.data(), Id3v2Footer::Count));
    double before = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(chapters[k].startMs, before * 1000.0, 1.0) << k;
        // The chapter's frame holds its first sample: the Info frame, then the encoder's lead.
        const std::size_t index = (static_cast<std::uint64_t>(std::llround(before * 44100.0)) + kLameLead) / 1152 + 1;
        ASSERT_LT(index, frames.size());
        EXPECT_EQ(chapters[k].startOffset, frames[index].offset) << k;
        before += joinkit::Mp3Seconds(joined.sources[k]);
    }

    std::filesystem::remove(target);
    const std::vector<std::string> names = joinkit::FolderNames(joined.dir.Path());
    job.SetNavigation({true, true});
    fx::FakeOperation op;
    op.CancelAtPump(3);
    EXPECT_FALSE(job.JoinDirect(target, op.Get()));
    EXPECT_EQ(joinkit::FolderNames(joined.dir.Path()), names);
    EXPECT_EQ(fx::ReadFileBytes(joined.dir / "book.cue"), sheetBytes);
}

}  // namespace
}  // namespace qm
