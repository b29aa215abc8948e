// Splitting at pauses: the rules over made-up frame levels, the side information's rough
// level against the decoded one, and the scan of a generated album.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/Fixtures.h"
#include "marks/GranuleGain.h"
#include "marks/SilencePlan.h"
#include "marks/SilenceScan.h"
#include "stream/Mp3FrameDecoder.h"
#include "stream/MpegHeader.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// Frame levels written as letters: L loud (-20 dB), a just above the threshold of -48 (-47),
// h just below it (-50), m -60, n -70, S digital silence; digits d are loud at -20 - 2d dB.
// Spaces only group.
std::vector<float> Levels(const std::string& text) {
    std::vector<float> levels;
    for (const char c : text) {
        if (c == ' ') continue;
        if (c >= '0' && c <= '9') {
            levels.push_back(-20.0f - 2.0f * static_cast<float>(c - '0'));
            continue;
        }
        levels.push_back(c == 'L'   ? -20.0f
                         : c == 'a' ? -47.0f
                         : c == 'h' ? -50.0f
                         : c == 'm' ? -60.0f
                         : c == 'n' ? -70.0f
                                    : kDigitalSilenceDb);
    }
    return levels;
}

struct PlanCase {
    const char* name;
    const char* levels;
    SilenceRules rules;
    std::vector<std::pair<std::int64_t, std::int64_t>> pieces;  // [begin, end) frames
    bool pauseCut;
};

SilenceRules Rules(std::int64_t minSilence, std::int64_t minPiece = 0, std::int64_t maxPiece = 0, bool trim = false) {
    return {-48.0f, minSilence, minPiece, maxPiece, trim};
}

// Each rule of the planner on its smallest sequence: the pieces in frames and whether a
// pause made a cut.
TEST(SilencePlan, RulesOverFrameLevels) {
    const PlanCase cases[] = {
        {"at the threshold is not silent", "LLLL aaa LLLL", Rules(3), {{0, 11}}, false},
        {"just below the threshold is", "LLLL hhh LLLL", Rules(3), {{0, 5}, {5, 11}}, true},
        {"a run shorter than the shortest pause", "LLLL SS LLLL", Rules(3), {{0, 10}}, false},
        {"the quietest frame, not the edge", "LLLL hnmh LLLL", Rules(3), {{0, 5}, {5, 12}}, true},
        {"middle of equally quiet frames", "LLLL SSSS LLLL", Rules(3), {{0, 5}, {5, 12}}, true},
        {"middle of scattered equal frames", "LLLL SmSmS LLLL", Rules(3), {{0, 6}, {6, 13}}, true},
        {"leading and trailing silence cut nothing", "SSSS LLLL SSSS", Rules(3), {{0, 12}}, false},
        {"trim leaves every pause out", "SSS LLLL SSS LLLL SSS", Rules(3, 0, 0, true), {{3, 7}, {10, 14}}, true},
        {"a too short first piece skips its cut", "LL SSS LLLLLLLL SSS LLLLLL", Rules(3, 5), {{0, 14}, {14, 22}}, true},
        {"a too short rest drops the last cut", "LLLLLL SSS LLLLLL SSS LL", Rules(3, 5), {{0, 7}, {7, 20}}, true},
        {"longest piece cuts at its quietest frames",
         "L5291 17LLLLL",
         Rules(3, 0, 5),
         {{0, 3}, {3, 6}, {6, 9}, {9, 12}},
         false},
        {"longest piece wins over the shortest",
         "L5291 17LLLLL",
         Rules(3, 3, 5),
         {{0, 3}, {3, 6}, {6, 10}, {10, 12}},
         false},
        {"longest piece, then a pause", "LLL5LL LLL SSS LL", Rules(3, 0, 8), {{0, 3}, {3, 10}, {10, 14}}, true},
        {"longest piece cuts inside a pause", "L5LLLL LLL SSS LL", Rules(3, 0, 8), {{0, 1}, {1, 9}, {9, 14}}, true},
        // A piece that begins in the rest of a pause is not cut again inside it.
        {"longest piece after a pause",
         "LL SSSS LLL5LLL SSS",
         Rules(3, 0, 6),
         {{0, 3}, {3, 9}, {9, 14}, {14, 16}},
         true},
    };
    for (const PlanCase& c : cases) {
        const std::vector<float> levels = Levels(c.levels);
        const SilencePlan plan = PlanSilence(levels, c.rules);
        std::vector<std::pair<std::int64_t, std::int64_t>> pieces;
        for (const SilencePiece& piece : plan.pieces) pieces.emplace_back(piece.beginFrame, piece.endFrame);
        EXPECT_EQ(pieces, c.pieces) << c.name;
        EXPECT_EQ(plan.pauseCut, c.pauseCut) << c.name;
    }
}

// The decoded RMS level of each frame of image in dBFS, with LAME's frame decoder (0 for
// frames it gave nothing for), beside each frame's rough level.
std::vector<std::pair<float, float>> DecodedAndRough(const fx::Bytes& image) {
    Mp3FrameDecoder decoder;
    EXPECT_TRUE(decoder.Start());
    std::vector<std::int16_t> left(1152);
    std::vector<std::int16_t> right(1152);
    std::vector<std::pair<float, float>> out;
    bool started = false;
    for (const fx::FrameSpan& span : fx::WalkFrames(image, 0)) {
        fx::Bytes frame(image.begin() + static_cast<long>(span.offset),
                        image.begin() + static_cast<long>(span.offset + span.bytes));
        if (!started) frame.resize(std::max<std::size_t>(frame.size(), 194), 0);
        int samples = decoder.Decode(frame.data(), started ? span.bytes : frame.size(), left.data(), right.data());
        if (!started) {
            std::uint8_t nothing = 0;
            samples = decoder.Decode(&nothing, 0, left.data(), right.data());
            started = true;
        }
        double sum = 0.0;
        for (int i = 0; i < samples; ++i) sum += double(left[i]) * left[i] + double(right[i]) * right[i];
        const float decoded = samples <= 0 ? 0.0f
                              : sum == 0.0
                                  ? kDigitalSilenceDb
                                  : static_cast<float>(10.0 * std::log10(sum / (2.0 * samples) / (32768.0 * 32768.0)));
        Mp3FrameHeader header = DecodeMp3FrameHeader(image.data() + span.offset);
        FrameGranules granules;
        EXPECT_TRUE(ReadFrameGranules(image.data() + span.offset, header, &granules));
        out.emplace_back(decoded, RoughLevelDb(granules));
    }
    return out;
}

struct RoughCase {
    fx::Signal signal;
    double rmsDb;
    int rateHz;
    int kbps;
    fx::Channels channels;
};

// The rough level never lies more than the margin above the decoded one (so no quiet frame
// escapes the decoder), for tones, noise and silence, MPEG-1 and MPEG-2, mono and stereo;
// digital silence reads as digital silence, and a loud tone reads as loud.
TEST(GranuleGain, RoughLevelErrsLowAgainstDecoded) {
    const RoughCase cases[] = {
        {fx::Signal::Tone, -20.0, 44100, 128, fx::Channels::JointStereo},
        {fx::Signal::Tone, -50.0, 44100, 128, fx::Channels::JointStereo},
        {fx::Signal::Noise, -70.0, 44100, 128, fx::Channels::JointStereo},
        {fx::Signal::Noise, -50.0, 44100, 32, fx::Channels::Mono},
        {fx::Signal::Sweep, -45.0, 22050, 64, fx::Channels::Stereo},
        {fx::Signal::Tone, -55.0, 16000, 24, fx::Channels::Mono},
        {fx::Signal::Silence, 0.0, 44100, 128, fx::Channels::JointStereo},
    };
    for (const RoughCase& c : cases) {
        fx::EncodeSpec spec = fx::StreamSpec(2.0, c.signal, c.rateHz, c.kbps, c.channels);
        const double crest = c.signal == fx::Signal::Noise ? std::sqrt(3.0) : std::sqrt(2.0);
        spec.amplitude = std::pow(10.0, c.rmsDb / 20.0) * crest;
        const auto levels = DecodedAndRough(fx::EncodeMp3(spec));
        const std::string name = std::to_string(static_cast<int>(c.signal)) + " at " + std::to_string(c.rmsDb) +
                                 " dB, " + std::to_string(c.kbps) + " kbit/s";
        // The first frames decode without their reservoir, the last ones hold the encoder's tail.
        for (std::size_t i = 4; i + 2 < levels.size(); ++i) {
            const auto [decoded, rough] = levels[i];
            if (decoded == 0.0f) continue;
            EXPECT_LE(rough, decoded + kRoughLevelMarginDb) << name << ", frame " << i;
            if (c.signal == fx::Signal::Silence) {
                EXPECT_EQ(rough, kDigitalSilenceDb) << name;
            }
            if (c.rmsDb == -20.0) {
                EXPECT_GT(rough, -48.0f + kRoughLevelMarginDb) << name << ", frame " << i;
            }
        }
    }
}

// An album of four tones of different pitch, 9 s each, with 2 s pauses between them: digital
// silence, noise at -70 dB, digital silence. Pause k lies at [9 + 11k, 11 + 11k) s of the PCM.
class SilenceScanAlbum : public ::testing::Test {
protected:
    static constexpr double kTrackSeconds = 9.0;
    static constexpr double kPauseSeconds = 2.0;
    static constexpr int kRateHz = 44100;

    void SetUp() override {
        const double pitchesHz[] = {330.0, 440.0, 550.0, 660.0};
        const fx::Signal pauses[] = {fx::Signal::Silence, fx::Signal::Noise, fx::Signal::Silence};
        std::vector<std::int16_t> pcm;
        for (int track = 0; track < 4; ++track) {
            fx::EncodeSpec tone = fx::StreamSpec(kTrackSeconds, fx::Signal::Tone);
            tone.toneHz = pitchesHz[track];
            const std::vector<std::int16_t> part = fx::MakePcm(tone);
            pcm.insert(pcm.end(), part.begin(), part.end());
            if (track == 3) break;
            fx::EncodeSpec pause = fx::StreamSpec(kPauseSeconds, pauses[track]);
            pause.amplitude = std::pow(10.0, -70.0 / 20.0) * std::sqrt(3.0);  // -70 dB RMS of uniform noise
            const std::vector<std::int16_t> gap = fx::MakePcm(pause);
            pcm.insert(pcm.end(), gap.begin(), gap.end());
        }
        fx::EncodeSpec spec = fx::StreamSpec(0.0, fx::Signal::Tone);
        spec.xing = fx::XingFrame::Yes;
        const fx::Bytes image = fx::EncodePcm(spec, pcm);
        // The audio frames after the Info frame.
        m_totalMs = static_cast<Millis>(fx::WalkFrames(image, 0).size() - 1) * 1152 * 1000 / kRateHz;
        fx::WriteFileBytes(m_path, image);
    }

    std::vector<Millis> PieceLengths(const MarkList& list) const {
        std::vector<Millis> lengths;
        for (std::size_t i = 0; i < list.marks.size(); ++i) {
            lengths.push_back((i + 1 < list.marks.size() ? list.marks[i + 1].begin : m_totalMs) - list.marks[i].begin);
        }
        return lengths;
    }

    std::optional<MarkList> Scan(const SilenceOptions& options, std::string* message) const {
        return FindSilenceMarks(m_path, options, LongOperation{}, message);
    }

    fx::TempDir m_dir;
    std::filesystem::path m_path = m_dir / "album.mp3";
    Millis m_totalMs = 0;
};

// The default options find the three pauses: four marks, the first at the start and each
// other one inside its pause (the encoder delays the audio by about 25 ms).
TEST_F(SilenceScanAlbum, FourMarksInsideThePauses) {
    std::string message = "stale";
    const std::optional<MarkList> list = Scan(SilenceOptions{}, &message);
    ASSERT_TRUE(list.has_value()) << message;
    EXPECT_EQ(message, "");
    ASSERT_EQ(list->marks.size(), 4u);
    EXPECT_EQ(list->marks[0].begin, 0);
    for (int pause = 0; pause < 3; ++pause) {
        const Millis begin = list->marks[static_cast<std::size_t>(pause) + 1].begin;
        const Millis pauseBegin = static_cast<Millis>((kTrackSeconds + pause * (kTrackSeconds + kPauseSeconds)) * 1000);
        EXPECT_GT(begin, pauseBegin) << "pause " << pause;
        EXPECT_LT(begin, pauseBegin + static_cast<Millis>(kPauseSeconds * 1000)) << "pause " << pause;
        EXPECT_EQ(list->marks[static_cast<std::size_t>(pause)].end, kToNextMark);
    }
}

// A longest piece of 5 s cuts every track: no piece is longer than 5 s and one frame.
TEST_F(SilenceScanAlbum, LongestPieceHoldsEveryPiece) {
    SilenceOptions options;
    options.MaxPieceTenths = 50;
    std::string message;
    const std::optional<MarkList> list = Scan(options, &message);
    ASSERT_TRUE(list.has_value()) << message;
    EXPECT_GE(list->marks.size(), 9u);
    for (const Millis length : PieceLengths(*list)) EXPECT_LE(length, 5000 + 27) << "one frame is 26.1 ms";
}

// A shortest piece of 15 s joins the tracks in twos: every piece but the last at least 15 s.
TEST_F(SilenceScanAlbum, ShortestPieceJoinsTracks) {
    SilenceOptions options;
    options.MinPieceTenths = 150;
    std::string message;
    const std::optional<MarkList> list = Scan(options, &message);
    ASSERT_TRUE(list.has_value()) << message;
    const std::vector<Millis> lengths = PieceLengths(*list);
    ASSERT_EQ(lengths.size(), 2u);
    EXPECT_GE(lengths[0], 15000);
}

// A threshold below the noise pause's level and a pause longer than any: nothing to cut, and
// the message names the file.
TEST_F(SilenceScanAlbum, NoPauseLongEnoughSaysSo) {
    SilenceOptions options;
    options.MinSilenceTenths = 30;
    std::string message;
    EXPECT_FALSE(Scan(options, &message).has_value());
    EXPECT_EQ(message, "No silence found in \"" + m_path.string() + "\".");
}

}  // namespace
}  // namespace qm
