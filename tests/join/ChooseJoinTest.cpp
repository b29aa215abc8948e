// The choice between copying frames and re-encoding, and the automatic parameters.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/Fixtures.h"
#include "join/ChooseJoin.h"

namespace qm {
namespace {

constexpr ChannelMode kJoint = ChannelMode::JointStereo;
constexpr ChannelMode kStereo = ChannelMode::Stereo;
constexpr ChannelMode kDual = ChannelMode::DualChannel;
constexpr ChannelMode kMono = ChannelMode::Mono;

JoinFileFacts Mp3(int hz, int kbps, ChannelMode mode, bool info = false) { return {hz, kbps, mode, info, true}; }
JoinFileFacts Layer2(int hz, int kbps, ChannelMode mode) {
    JoinFileFacts facts = Mp3(hz, kbps, mode);
    facts.layer = 2;
    return facts;
}

TEST(ChooseJoin, PicksMethodAndParameters) {
    struct Case {
        const char* name;
        JoinStart start;
        JoinFileFacts reference;
        std::vector<JoinFileFacts> others;
        JoinMethod method;
        EncoderParams params;  // checked for Reencode only
    };
    const std::vector<Case> cases = {
        {"all alike: frames copied",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint),
         {Mp3(44100, 128, kJoint), Mp3(44100, 128, kJoint)},
         JoinMethod::Direct,
         {}},
        {"an Info frame in the reference: frames copied",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint, true),
         {Mp3(44100, 128, kJoint)},
         JoinMethod::Direct,
         {}},
        {"an Info frame in another file: frames copied",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint),
         {Mp3(44100, 128, kJoint, true)},
         JoinMethod::Direct,
         {}},
        {"a larger tag raises one average bit rate: frames copied",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint),
         {Mp3(44100, 131, kJoint)},
         JoinMethod::Direct,
         {}},
        {"128 and 192 kbit/s of one format: frames copied",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint, true),
         {Mp3(44100, 192, kJoint, true), Mp3(44100, 160, kJoint)},
         JoinMethod::Direct,
         {}},
        {"stereo and joint stereo mix: frames copied",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint),
         {Mp3(44100, 128, kStereo)},
         JoinMethod::Direct,
         {}},
        {"44.1 kHz with 48 kHz",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint),
         {Mp3(48000, 128, kJoint)},
         JoinMethod::Reencode,
         {48000, 128, kJoint}},
        {"mono with stereo of one rate",
         JoinStart::Nothing,
         Mp3(44100, 128, kMono),
         {Mp3(44100, 128, kStereo)},
         JoinMethod::Reencode,
         {44100, 128, kStereo}},
        {"dual channel with stereo of one rate",
         JoinStart::Nothing,
         Mp3(44100, 128, kStereo),
         {Mp3(44100, 128, kDual)},
         JoinMethod::Reencode,
         {44100, 128, kStereo}},
        {"mono 22050/64 with stereo 44100/128",
         JoinStart::Nothing,
         Mp3(22050, 64, kMono),
         {Mp3(44100, 128, kStereo)},
         JoinMethod::Reencode,
         {44100, 128, kStereo}},
        {"joint stereo wins over stereo in any order",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint),
         {Mp3(22050, 128, kStereo)},
         JoinMethod::Reencode,
         {44100, 128, kJoint}},
        {"stereo after joint stereo stays joint",
         JoinStart::Nothing,
         Mp3(44100, 128, kStereo),
         {Mp3(48000, 128, kJoint), Mp3(32000, 96, kStereo)},
         JoinMethod::Reencode,
         {48000, 128, kJoint}},
        {"dual channel alone joins in mono on the joiner page",
         JoinStart::Nothing,
         Mp3(44100, 128, kDual),
         {Mp3(48000, 160, kDual)},
         JoinMethod::Reencode,
         {48000, 160, kMono}},
        {"the batch main file keeps dual channel",
         JoinStart::ReferenceValues,
         Mp3(44100, 128, kDual),
         {Mp3(48000, 160, kDual)},
         JoinMethod::Reencode,
         {48000, 160, kDual}},
        {"batch: main file's mono kept against dual",
         JoinStart::ReferenceValues,
         Mp3(22050, 64, kMono),
         {Mp3(22050, 64, kDual, true)},
         JoinMethod::Reencode,
         {22050, 64, kMono}},
        {"automatic bit rate 100 snaps to 96",
         JoinStart::Nothing,
         Mp3(44100, 100, kJoint),
         {Mp3(32000, 90, kJoint)},
         JoinMethod::Reencode,
         {44100, 96, kJoint}},
        {"200 snaps to 192",
         JoinStart::Nothing,
         Mp3(44100, 200, kJoint),
         {Mp3(32000, 64, kJoint)},
         JoinMethod::Reencode,
         {44100, 192, kJoint}},
        {"104 is a tie and goes down to 96",
         JoinStart::Nothing,
         Mp3(44100, 104, kJoint),
         {Mp3(32000, 32, kJoint)},
         JoinMethod::Reencode,
         {44100, 96, kJoint}},
        {"above the table: 320",
         JoinStart::Nothing,
         Mp3(48000, 400, kJoint),
         {Mp3(44100, 350, kJoint)},
         JoinMethod::Reencode,
         {48000, 320, kJoint}},
        {"a non-MPEG source cannot be copied",
         JoinStart::Nothing,
         Mp3(44100, 128, kJoint),
         {{44100, 128, kJoint, false, false}},
         JoinMethod::Reencode,
         {44100, 128, kJoint}},
        {"Layer II files alike: frames copied",
         JoinStart::Nothing,
         Layer2(48000, 192, kStereo),
         {Layer2(48000, 192, kStereo)},
         JoinMethod::Direct,
         {}},
        {"Layer III after Layer II of the same rate, bit rate and mode",
         JoinStart::Nothing,
         Layer2(44100, 128, kStereo),
         {Mp3(44100, 128, kStereo)},
         JoinMethod::Reencode,
         {44100, 128, kStereo}},
    };
    JoinerOptions automatic;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const JoinChoice choice = ChooseJoin(c.reference, c.others, automatic, c.start);
        EXPECT_EQ(choice.method, c.method);
        if (c.method == JoinMethod::Reencode) {
            EXPECT_EQ(choice.params, c.params);
        }
    }
}

// Without automatic parameters every join is re-encoded with the options' values, even when
// the files match; a single file on the joiner page is never joined directly.
TEST(ChooseJoin, ManualOptionsAndSingleFile) {
    JoinerOptions manual;
    manual.AutoMP3EncodingParam = false;
    manual.MP3SampleRate = 32000;
    manual.MP3BitRate = 96;
    manual.MP3ChannelMode = ChannelModeCode::Mono;
    const JoinFileFacts same = Mp3(44100, 128, kJoint);
    const std::vector<JoinFileFacts> others{same};
    const JoinChoice forced = ChooseJoin(same, others, manual, JoinStart::Nothing);
    EXPECT_EQ(forced.method, JoinMethod::Reencode);
    EXPECT_EQ(forced.params, (EncoderParams{32000, 96, kMono}));

    const JoinChoice single = ChooseJoin(same, {}, JoinerOptions{}, JoinStart::Nothing);
    EXPECT_EQ(single.method, JoinMethod::Reencode);
    EXPECT_EQ(single.params, (EncoderParams{44100, 128, kJoint}));
    EXPECT_EQ(ChooseJoin(same, {}, JoinerOptions{}, JoinStart::Nothing, 1).method, JoinMethod::Direct);
}

// The analysis tells a Layer II file from a Layer III one of the same rate, bit rate and
// mode, so that the two are never copied into one stream.
TEST(ChooseJoin, AnalysisTellsTheLayersApart) {
    fixtures::TempDir dir;
    // 44.1 kHz stereo at 128 kbit/s: 2 s of silent Layer II frames (bit-rate index 8), and
    // LAME's Layer III.
    fixtures::Bytes layer2;
    for (int i = 0; i < 77; ++i) {
        const fixtures::Bytes frame = fixtures::MakeRawFrame(3, 2, 8, 0, 0, 0);
        layer2.insert(layer2.end(), frame.begin(), frame.end());
    }
    fixtures::WriteFileBytes(dir / "two.mp2", layer2);
    fixtures::EncodeSpec spec;
    spec.channels = fixtures::Channels::Stereo;
    spec.seconds = 2.0;
    fixtures::WriteFileBytes(dir / "three.mp3", fixtures::EncodeMp3(spec));

    JoinFileFacts two;
    JoinFileFacts others[1];
    ASSERT_TRUE(AnalyseJoinFile(dir / "two.mp2", &two));
    ASSERT_TRUE(AnalyseJoinFile(dir / "three.mp3", &others[0]));
    EXPECT_EQ(two.layer, 2);
    EXPECT_EQ(others[0].layer, 3);
    EXPECT_EQ(ChooseJoin(two, others, JoinerOptions{}, JoinStart::Nothing).method, JoinMethod::Reencode);
    // Alike in everything else the choice compares.
    others[0].layer = 2;
    EXPECT_EQ(ChooseJoin(two, others, JoinerOptions{}, JoinStart::Nothing).method, JoinMethod::Direct);
}

// The choice over files looks at formats only, and measures bit rates only for a re-encoding:
// its outcome is the one a full analysis of every file gives. A VBR file's first frame is
// not its average, and a junk-led file starts after the junk either way.
TEST(ChooseJoin, ChoiceOfFilesMeasuresOnlyForReencoding) {
    fixtures::TempDir dir;
    fixtures::EncodeSpec vbr = fixtures::StreamSpec(3.0, fixtures::Signal::Tone);
    vbr.vbr = true;
    fixtures::WriteFileBytes(dir / "vbr.mp3", fixtures::EncodeMp3(vbr));
    fixtures::Bytes junkLed = fixtures::Junk(700);
    const fixtures::Bytes cbr = fixtures::EncodeMp3(fixtures::StreamSpec(2.0, fixtures::Signal::Tone, 44100, 96));
    junkLed.insert(junkLed.end(), cbr.begin(), cbr.end());
    fixtures::WriteFileBytes(dir / "junk.mp3", junkLed);
    fixtures::WriteFileBytes(dir / "other.mp3",
                             fixtures::EncodeMp3(fixtures::StreamSpec(2.0, fixtures::Signal::Tone, 48000, 64)));

    struct Case {
        std::vector<std::filesystem::path> files;
        bool force;
        JoinMethod method;
    };
    const Case cases[] = {
        {{dir / "vbr.mp3", dir / "junk.mp3"}, false, JoinMethod::Direct},
        {{dir / "vbr.mp3", dir / "junk.mp3"}, true, JoinMethod::Reencode},
        {{dir / "vbr.mp3", dir / "other.mp3"}, false, JoinMethod::Reencode},
    };
    for (const Case& c : cases) {
        std::vector<JoinFileFacts> full(c.files.size());
        for (std::size_t i = 0; i < c.files.size(); ++i) ASSERT_TRUE(AnalyseJoinFile(c.files[i], &full[i]));
        const EncoderParams automatic =
            AutomaticEncoderParams(full.front(), std::span(full).subspan(1), JoinStart::Nothing);
        JoinChoice choice;
        std::string error;
        ASSERT_TRUE(ChooseJoinOfFiles(c.files, JoinerOptions{}, c.force, &choice, &error)) << error;
        EXPECT_EQ(choice.method, c.method);
        if (c.method == JoinMethod::Reencode) {
            EXPECT_EQ(choice.params, automatic);
        }
    }
    // The average is not the first frame's, so the cases above do tell the two apart.
    JoinFileFacts fast;
    JoinFileFacts measured;
    ASSERT_TRUE(AnalyseJoinFile(dir / "vbr.mp3", &fast, Mp3FrameReader::Measure::FormatOnly));
    ASSERT_TRUE(AnalyseJoinFile(dir / "vbr.mp3", &measured));
    EXPECT_NE(fast.averageKbps, measured.averageKbps);

    JoinChoice choice;
    std::string error;
    const std::vector<std::filesystem::path> missing{dir / "vbr.mp3", dir / "gone.mp3"};
    EXPECT_FALSE(ChooseJoinOfFiles(missing, JoinerOptions{}, false, &choice, &error));
    EXPECT_NE(error.find("gone.mp3"), std::string::npos) << error;
}

}  // namespace
}  // namespace qm
