// Splitting at pauses: the rules over made-up frame levels, the side information's rough
// level against the decoded one, and the scan of a generated album.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
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
// h just below it (-50), m -60, n -70, S digital silence; a digit d is loud at -20 - 2d dB.
// Spaces only group.
std::vector<float> Levels(const std::string& text) {
    const std::map<char, float> db = {{'L', -20}, {'a', -47}, {'h', -50},
                                      {'m', -60}, {'n', -70}, {'S', kDigitalSilenceDb}};
    std::vector<float> levels;
    for (const char c : text) {
        if (c != ' ') levels.push_back(c >= '0' && c <= '9' ? -20.0f - 2.0f * static_cast<float>(c - '0') : db.at(c));
    }
    return levels;
}

SilenceRules Rules(std::int64_t minSilence, std::int64_t minPiece = 0, std::int64_t maxPiece = 0, bool trim = false) {
    return {-48.0f, minSilence, minPiece, maxPiece, trim};
}

// Each rule of the planner on its smallest sequence: the pieces as [begin, end) frames and
// whether a pause made a cut.
TEST(SilencePlan, RulesOverFrameLevels) {
    const std::tuple<const char*, const char*, SilenceRules, const char*, bool> cases[] = {
        {"at the threshold is not silent", "LLLL aaa LLLL", Rules(3), "0-11", false},
        {"just below the threshold is", "LLLL hhh LLLL", Rules(3), "0-5 5-11", true},
        {"a run shorter than the shortest pause", "LLLL SS LLLL", Rules(3), "0-10", false},
        {"the quietest frame, not the edge", "LLLL hnmh LLLL", Rules(3), "0-5 5-12", true},
        {"middle of equally quiet frames", "LLLL SSSS LLLL", Rules(3), "0-5 5-12", true},
        {"middle of scattered equal frames", "LLLL SmSmS LLLL", Rules(3), "0-6 6-13", true},
        {"leading and trailing silence cut nothing", "SSSS LLLL SSSS", Rules(3), "0-12", false},
        {"trim leaves every pause out", "SSS LLLL SSS LLLL SSS", Rules(3, 0, 0, true), "3-7 10-14", true},
        {"a too short first piece skips its cut", "LL SSS LLLLLLLL SSS LLLLLL", Rules(3, 5), "0-14 14-22", true},
        {"a too short rest drops the last cut", "LLLLLL SSS LLLLLL SSS LL", Rules(3, 5), "0-7 7-20", true},
        {"longest piece cuts at its quietest frames", "L5291 17LLLLL", Rules(3, 0, 5), "0-3 3-6 6-9 9-12", false},
        {"longest piece wins over the shortest", "L5291 17LLLLL", Rules(3, 3, 5), "0-3 3-6 6-10 10-12", false},
        {"longest piece, then a pause", "LLL5LL LLL SSS LL", Rules(3, 0, 8), "0-3 3-10 10-14", true},
        {"longest piece cuts inside a pause", "L5LLLL LLL SSS LL", Rules(3, 0, 8), "0-1 1-9 9-14", true},
        // A piece that begins in the rest of a pause is not cut again inside it.
        {"longest piece after a pause", "LL SSSS LLL5LLL SSS", Rules(3, 0, 6), "0-3 3-9 9-14 14-16", true},
    };
    for (const auto& [name, levels, rules, expectedPieces, pauseCut] : cases) {
        const SilencePlan plan = PlanSilence(Levels(levels), rules);
        std::string pieces;
        for (const SilencePiece& piece : plan.pieces) {
            if (!pieces.empty()) pieces += ' ';
            pieces.append(std::to_string(piece.beginFrame)).append("-").append(std::to_string(piece.endFrame));
        }
        EXPECT_EQ(pieces, expectedPieces) << name;
        EXPECT_EQ(plan.pauseCut, pauseCut) << name;
    }
}

// Each frame of image as two levels in dBFS: the RMS of what LAME's frame decoder makes of it
// (0 for a frame it gives nothing for), and its rough level.
std::vector<std::pair<float, float>> DecodedAndRough(fx::Bytes image) {
    Mp3FrameDecoder decoder;
    std::vector<std::int16_t> left(1152), right(1152);
    std::uint8_t nothing = 0;
    EXPECT_TRUE(decoder.Start());
    // Handed every byte, the decoder reads the first header; each call after that decodes a frame.
    EXPECT_EQ(decoder.Decode(image.data(), image.size(), left.data(), right.data()), 0);
    std::vector<std::pair<float, float>> out;
    for (const fx::FrameSpan& span : fx::WalkFrames(image, 0)) {
        const int samples = decoder.Decode(&nothing, 0, left.data(), right.data());
        double sum = 0.0;
        for (int i = 0; i < samples; ++i) sum += double(left[i]) * left[i] + double(right[i]) * right[i];
        const double meanSquare = sum / (2.0 * samples) / (32768.0 * 32768.0);
        const float decoded = samples <= 0 ? 0.0f : std::max(kDigitalSilenceDb, float(10.0 * std::log10(meanSquare)));
        const std::uint8_t* frame = image.data() + span.offset;
        FrameGranules granules;
        EXPECT_TRUE(ReadFrameGranules(frame, DecodeMp3FrameHeader(frame), &granules));
        out.emplace_back(decoded, RoughLevelDb(granules));
    }
    return out;
}

// The rough level never lies more than the margin above the decoded one (so no quiet frame
// escapes the decoder), for tones, noise and silence, MPEG-1 and MPEG-2, mono and stereo;
// digital silence reads as digital silence, and a loud tone reads as loud.
TEST(GranuleGain, RoughLevelErrsLowAgainstDecoded) {
    const std::tuple<fx::Signal, double, int, int, fx::Channels> cases[] = {
        {fx::Signal::Tone, -20.0, 44100, 128, fx::Channels::JointStereo},
        {fx::Signal::Tone, -50.0, 44100, 128, fx::Channels::JointStereo},
        {fx::Signal::Noise, -70.0, 44100, 128, fx::Channels::JointStereo},
        {fx::Signal::Noise, -50.0, 44100, 32, fx::Channels::Mono},
        {fx::Signal::Sweep, -45.0, 22050, 64, fx::Channels::Stereo},
        {fx::Signal::Tone, -55.0, 16000, 24, fx::Channels::Mono},
        {fx::Signal::Silence, 0.0, 44100, 128, fx::Channels::JointStereo},
    };
    for (const auto& [signal, rmsDb, rateHz, kbps, channels] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "signal " << static_cast<int>(signal) << " at " << rmsDb << " dB, " << kbps << " kbit/s");
        fx::EncodeSpec spec = fx::StreamSpec(2.0, signal, rateHz, kbps, channels);
        spec.amplitude = std::pow(10.0, rmsDb / 20.0) * std::sqrt(signal == fx::Signal::Noise ? 3.0 : 2.0);  // RMS
        const auto levels = DecodedAndRough(fx::EncodeMp3(spec));
        // The first frames decode without their reservoir, the last ones hold the encoder's tail.
        for (std::size_t i = 4; i + 2 < levels.size(); ++i) {
            const auto [decoded, rough] = levels[i];
            if (decoded == 0.0f) continue;
            EXPECT_LE(rough, decoded + kRoughLevelMarginDb) << "frame " << i;
            if (signal == fx::Signal::Silence) {
                EXPECT_EQ(rough, kDigitalSilenceDb) << "frame " << i;
            } else if (rmsDb == -20.0) {
                EXPECT_GT(rough, -48.0f + kRoughLevelMarginDb) << "frame " << i;
            }
        }
    }
}

// An album of four tones of 330, 440, 550 and 660 Hz, 9 s each, with 2 s pauses between them
// (digital silence, noise at -70 dB, digital silence), scanned with each option. The default
// options find the three pauses: four marks, the first at the start and each other one inside
// its pause (the encoder delays the audio by about 25 ms). The options in tenths of a second
// reach the plan: a longest piece of 5 s cuts every track (no piece longer than 5 s and one
// frame of 26.1 ms), a shortest piece of 15 s joins the tracks in twos, and a shortest pause
// longer than any finds nothing and names the file.
TEST(SilenceScan, AlbumWithEachOption) {
    const fx::Signal parts[] = {fx::Signal::Tone, fx::Signal::Silence, fx::Signal::Tone, fx::Signal::Noise,
                                fx::Signal::Tone, fx::Signal::Silence, fx::Signal::Tone};
    std::vector<std::int16_t> pcm;
    for (int i = 0; i < 7; ++i) {
        fx::EncodeSpec part = fx::StreamSpec(i % 2 == 0 ? 9.0 : 2.0, parts[i]);
        part.toneHz = 330.0 + 55.0 * i;
        if (i % 2 == 1) part.amplitude = std::pow(10.0, -70.0 / 20.0) * std::sqrt(3.0);  // RMS of uniform noise
        const std::vector<std::int16_t> samples = fx::MakePcm(part);
        pcm.insert(pcm.end(), samples.begin(), samples.end());
    }
    fx::EncodeSpec spec = fx::StreamSpec(0.0, fx::Signal::Tone);
    spec.xing = fx::XingFrame::Yes;
    const fx::Bytes image = fx::EncodePcm(spec, pcm);
    const fx::TempDir dir;
    const std::filesystem::path album = dir / "album.mp3";
    fx::WriteFileBytes(album, image);
    // The audio frames after the Info frame.
    const Millis totalMs = static_cast<Millis>(fx::WalkFrames(image, 0).size() - 1) * 1152 * 1000 / 44100;
    const auto lengths = [&](const SilenceOptions& options) {
        std::string message;
        const std::optional<MarkList> list = FindSilenceMarks(album, options, {}, &message);
        EXPECT_TRUE(list.has_value()) << message;
        std::vector<Millis> lengths;
        for (std::size_t i = 0; list && i < list->marks.size(); ++i) {
            lengths.push_back((i + 1 < list->marks.size() ? list->marks[i + 1].begin : totalMs) - list->marks[i].begin);
        }
        return lengths;
    };

    std::string message = "stale";
    const std::optional<MarkList> list = FindSilenceMarks(album, SilenceOptions{}, {}, &message);
    ASSERT_TRUE(list.has_value()) << message;
    EXPECT_EQ(message, "");
    ASSERT_EQ(list->marks.size(), 4u);
    EXPECT_EQ(list->marks[0].begin, 0);
    for (std::size_t pause = 0; pause < 3; ++pause) {
        const Millis pauseBegin = 9000 + 11000 * static_cast<Millis>(pause);  // in the PCM
        EXPECT_GT(list->marks[pause + 1].begin, pauseBegin) << "pause " << pause;
        EXPECT_LT(list->marks[pause + 1].begin, pauseBegin + 2000) << "pause " << pause;
        EXPECT_EQ(list->marks[pause].end, kToNextMark);
    }

    const std::vector<Millis> cut = lengths({.MaxPieceTenths = 50});
    EXPECT_GE(cut.size(), 9u);
    for (const Millis length : cut) EXPECT_LE(length, 5000 + 27);
    const std::vector<Millis> joined = lengths({.MinPieceTenths = 150});
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_GE(joined[0], 15000);
    EXPECT_FALSE(FindSilenceMarks(album, {.MinSilenceTenths = 30}, {}, &message).has_value());
    EXPECT_EQ(message, "No silence found in \"" + album.string() + "\".");
}

}  // namespace
}  // namespace qm
