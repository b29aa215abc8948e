// A list row's figures: MPEG audio only, whatever the name, with a variable bit rate shown
// as the average and marked, alike for the batch splitter's reading and the joiners'.

#include <gtest/gtest.h>

#include <optional>

#include "batch/RowFigures.h"
#include "fixtures/Fixtures.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// One row per kind of file; both readers give the same format, length and flags, and refuse
// the same files.
TEST(RowFigures, FiguresPerKindOfFile) {
    fx::TempDir dir;
    fx::EncodeSpec vbr = fx::StreamSpec(3.0, fx::Signal::Noise);
    vbr.vbr = true;
    vbr.xing = fx::XingFrame::Yes;
    fx::EncodeSpec info = fx::StreamSpec(2.0, fx::Signal::Tone, 44100, 96);
    info.xing = fx::XingFrame::Yes;
    fx::WriteFileBytes(dir / "cbr.mp3", fx::EncodeMp3(fx::StreamSpec(2.0, fx::Signal::Tone, 44100, 128)));
    fx::WriteFileBytes(dir / "info.mp3", fx::EncodeMp3(info));
    fx::WriteFileBytes(dir / "vbr.mp3", fx::EncodeMp3(vbr));
    fx::WriteFileBytes(dir / "mono.mp3",
                       fx::EncodeMp3(fx::StreamSpec(2.0, fx::Signal::Tone, 22050, 32, fx::Channels::Mono)));
    fx::WriteFileBytes(dir / "wave.mp3", fx::MakeWav(1.0));
    fx::WriteFileBytes(dir / "junk.mp3", fx::Junk(5000));

    struct Row {
        const char* file;
        bool listed;
        int seconds, rateHz;
        ChannelMode mode;
        bool infoFrame, variable;
        // The joiners show the file's average as the lists define it (a Xing/Info frame counts
        // in), the batch splitter a constant rate's first frame; 0: the average of a variable
        // rate, checked against its bounds.
        int joinerKbps, splitterKbps;
    };
    const Row rows[] = {
        {"cbr.mp3", true, 2, 44100, ChannelMode::JointStereo, false, false, 128, 128},
        {"info.mp3", true, 2, 44100, ChannelMode::JointStereo, true, false, 99, 96},
        {"vbr.mp3", true, 3, 44100, ChannelMode::JointStereo, true, true, 0, 0},
        {"mono.mp3", true, 2, 22050, ChannelMode::Mono, false, false, 32, 32},
        {"wave.mp3", false, 0, 0, ChannelMode::Stereo, false, false, 0, 0},
        {"junk.mp3", false, 0, 0, ChannelMode::Stereo, false, false, 0, 0},
    };
    for (const Row& row : rows) {
        for (const RowReader reader : {RowReader::Joiner, RowReader::BatchSplitter}) {
            SCOPED_TRACE(std::string(row.file) + (reader == RowReader::Joiner ? " joiner" : " batch splitter"));
            const std::optional<RowFigures> figures = AnalyseRowFile(dir / row.file, reader);
            ASSERT_EQ(figures.has_value(), row.listed);
            if (!row.listed) continue;
            EXPECT_EQ(figures->durationSeconds, row.seconds);
            EXPECT_EQ(figures->sampleRateHz, row.rateHz);
            EXPECT_EQ(figures->channelMode, row.mode);
            EXPECT_EQ(figures->hasInfoFrame, row.infoFrame);
            EXPECT_EQ(figures->variableBitRate, row.variable);
            const int kbps = reader == RowReader::Joiner ? row.joinerKbps : row.splitterKbps;
            if (kbps != 0) {
                EXPECT_EQ(figures->bitRateKbps, kbps);
            } else {
                EXPECT_GT(figures->bitRateKbps, 32);
                EXPECT_LT(figures->bitRateKbps, 320);
            }
        }
    }
}

}  // namespace
}  // namespace qm
