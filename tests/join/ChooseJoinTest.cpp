// The choice between copying frames and re-encoding, and the automatic parameters.

#include <gtest/gtest.h>

#include <vector>

#include "join/ChooseJoin.h"

namespace qm {
namespace {

constexpr int kJoint = kModeJointStereo;
constexpr int kStereo = kModeStereo;
constexpr int kDual = kModeDualChannel;
constexpr int kMono = kModeMono;

JoinFileFacts Mp3(int hz, int kbps, int mode, bool info = false) { return {hz, kbps, mode, info, true}; }

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
        {"all alike: frames copied", JoinStart::Nothing, Mp3(44100, 128, kJoint),
         {Mp3(44100, 128, kJoint), Mp3(44100, 128, kJoint)}, JoinMethod::Direct, {}},
        {"an Info frame in the reference", JoinStart::Nothing, Mp3(44100, 128, kJoint, true),
         {Mp3(44100, 128, kJoint)}, JoinMethod::Reencode, {44100, 128, kJoint}},
        {"an Info frame in another file", JoinStart::Nothing, Mp3(44100, 128, kJoint),
         {Mp3(44100, 128, kJoint, true)}, JoinMethod::Reencode, {44100, 128, kJoint}},
        {"a larger tag raises one average bit rate", JoinStart::Nothing, Mp3(44100, 128, kJoint),
         {Mp3(44100, 131, kJoint)}, JoinMethod::Reencode, {44100, 128, kJoint}},
        {"mono 22050/64 with stereo 44100/128", JoinStart::Nothing, Mp3(22050, 64, kMono),
         {Mp3(44100, 128, kStereo)}, JoinMethod::Reencode, {44100, 128, kStereo}},
        {"joint stereo wins over stereo in any order", JoinStart::Nothing, Mp3(44100, 128, kJoint),
         {Mp3(44100, 128, kStereo)}, JoinMethod::Reencode, {44100, 128, kJoint}},
        {"stereo after joint stereo stays joint", JoinStart::Nothing, Mp3(44100, 128, kStereo),
         {Mp3(48000, 128, kJoint), Mp3(32000, 96, kStereo)}, JoinMethod::Reencode, {48000, 128, kJoint}},
        {"dual channel alone joins in mono on the joiner page", JoinStart::Nothing, Mp3(44100, 128, kDual),
         {Mp3(44100, 160, kDual)}, JoinMethod::Reencode, {44100, 160, kMono}},
        {"the batch main file keeps dual channel", JoinStart::ReferenceValues, Mp3(44100, 128, kDual),
         {Mp3(44100, 160, kDual)}, JoinMethod::Reencode, {44100, 160, kDual}},
        {"batch: main file's mono kept against dual", JoinStart::ReferenceValues, Mp3(22050, 64, kMono),
         {Mp3(22050, 64, kDual, true)}, JoinMethod::Reencode, {22050, 64, kMono}},
        {"automatic bit rate 100 snaps to 96", JoinStart::Nothing, Mp3(44100, 100, kJoint),
         {Mp3(44100, 90, kJoint)}, JoinMethod::Reencode, {44100, 96, kJoint}},
        {"200 snaps to 192", JoinStart::Nothing, Mp3(44100, 200, kJoint), {Mp3(44100, 64, kJoint)},
         JoinMethod::Reencode, {44100, 192, kJoint}},
        {"104 is a tie and goes down to 96", JoinStart::Nothing, Mp3(44100, 104, kJoint),
         {Mp3(44100, 32, kJoint)}, JoinMethod::Reencode, {44100, 96, kJoint}},
        {"above the table: 320", JoinStart::Nothing, Mp3(48000, 400, kJoint), {Mp3(48000, 350, kJoint)},
         JoinMethod::Reencode, {48000, 320, kJoint}},
        {"a non-MPEG source cannot be copied", JoinStart::Nothing, Mp3(44100, 128, kJoint),
         {{44100, 128, kJoint, false, false}}, JoinMethod::Reencode, {44100, 128, kJoint}},
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

}  // namespace
}  // namespace qm
