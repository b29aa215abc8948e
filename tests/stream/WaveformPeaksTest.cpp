// The waveform's peak levels: the right level in the right bucket whatever the rate and however
// many parts the file is decoded in, a clean failure on a file that is not MPEG audio, and a
// scan that stops when asked.

#include "stream/WaveformPeaks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::Channels;
using fixtures::EncodeSpec;
using fixtures::TempDir;

// Levels as delivered, with how often each bucket came.
struct Collected {
    explicit Collected(int bucketCount)
        : levels(static_cast<std::size_t>(bucketCount), -1.0F), deliveries(static_cast<std::size_t>(bucketCount)) {}

    WaveformSink Sink() {
        return [this](int firstBucket, std::span<const float> got) {
            ++calls;
            for (std::size_t i = 0; i < got.size(); ++i) {
                const auto bucket = static_cast<std::size_t>(firstBucket) + i;
                levels.at(bucket) = got[i];
                ++deliveries.at(bucket);
            }
        };
    }

    std::vector<float> levels;
    std::vector<int> deliveries;
    int calls = 0;
};

// seconds of silence, then seconds of a 440 Hz tone at half of full scale, with an Info frame
// so that the decoder trims the encoder's delay and the tone starts exactly where it was put.
Bytes SilenceThenTone(int rateHz, int kbps, Channels channels, double silenceSeconds, double toneSeconds,
                      bool vbrWithoutInfoFrame = false) {
    EncodeSpec spec;
    spec.sampleRateHz = rateHz;
    spec.kbps = kbps;
    spec.channels = channels;
    spec.xing = vbrWithoutInfoFrame ? fixtures::XingFrame::No : fixtures::XingFrame::Yes;
    spec.vbr = vbrWithoutInfoFrame;
    return fixtures::EncodeSilenceThenTone(spec, silenceSeconds, toneSeconds);
}

struct LevelCase {
    const char* name;
    int rateHz;
    int kbps;
    Channels channels;
    int threads;
    bool tagged;                       // an ID3v2 tag ahead of the audio
    bool vbrWithoutInfoFrame = false;  // the decoder can only estimate the length from the file's size
};

// 2.5 s of silence and 1.5 s of tone in 40 buckets of 0.1 s: the tone starts at bucket 25,
// inside the second of two parts (and the third of three), so a part that starts counting its
// samples at the wrong place moves the step. Quarter, half and full rate are all covered.
TEST(WaveformPeaksTest, SilenceThenToneStepsUpAtTheRightBucket) {
    const LevelCase cases[] = {
        {"44.1 kHz joint stereo, one part", 44100, 128, Channels::JointStereo, 1, false},
        {"44.1 kHz joint stereo, two parts", 44100, 128, Channels::JointStereo, 2, false},
        {"44.1 kHz stereo, three parts, ID3v2 tag", 44100, 128, Channels::Stereo, 3, true},
        {"22.05 kHz mono, two parts", 22050, 64, Channels::Mono, 2, false},
        {"8 kHz mono, two parts", 8000, 24, Channels::Mono, 2, false},
        {"VBR without an Info frame, two parts", 44100, 0, Channels::JointStereo, 2, false, true},
    };
    constexpr int kBuckets = 40;
    constexpr int kToneBucket = 25;
    TempDir dir;
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes mp3 = SilenceThenTone(c.rateHz, c.kbps, c.channels, 2.5, 1.5, c.vbrWithoutInfoFrame);
        if (c.tagged) {
            fixtures::Id3v2Spec tag;
            tag.title = "Waveform";
            tag.paddingBytes = 500;
            mp3 = fixtures::Concat({fixtures::MakeId3v2Tag(tag), mp3});
        }
        const auto path = dir / "step.mp3";
        fixtures::WriteFileBytes(path, mp3);
        Collected got(kBuckets);
        std::atomic<bool> stop{false};
        std::string message;
        ASSERT_TRUE(ScanWaveformPeaks(path, kBuckets, c.threads, stop, got.Sink(), &message));
        EXPECT_EQ(message, "");
        EXPECT_EQ(std::count(got.deliveries.begin(), got.deliveries.end(), 1), kBuckets);
        // One bucket each side of the step is left out: the encoder spreads a sharp onset over
        // up to one granule (576 samples, 72 ms at 8 kHz).
        for (int bucket = 0; bucket < kToneBucket - 1; ++bucket) {
            EXPECT_LT(got.levels[bucket], 0.01F) << "bucket " << bucket;
        }
        for (int bucket = kToneBucket + 1; bucket < kBuckets; ++bucket) {
            EXPECT_GT(got.levels[bucket], 0.4F) << "bucket " << bucket;
            EXPECT_LT(got.levels[bucket], 0.6F) << "bucket " << bucket;
        }
    }
}

// Files the decoder finds no MPEG audio in fail with the file's name, and nothing reaches the
// sink.
TEST(WaveformPeaksTest, FileWithoutMpegAudioFails) {
    struct Case {
        const char* name;
        Bytes contents;
        bool exists;
    };
    const std::string text = "Not audio at all, just a line of text.\n";
    const Case cases[] = {
        {"text", Bytes(text.begin(), text.end()), true},
        {"junk without a frame sync", fixtures::Junk(20000), true},
        {"empty", {}, true},
        {"missing", {}, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / "notmp3.mp3";
        std::filesystem::remove(path);
        if (c.exists) fixtures::WriteFileBytes(path, c.contents);
        Collected got(kWaveformBuckets);
        std::atomic<bool> stop{false};
        std::string message;
        EXPECT_FALSE(ScanWaveformPeaks(path, kWaveformBuckets, 2, stop, got.Sink(), &message));
        EXPECT_EQ(message, "Failed to open file \"" + path.string() + "\".");
        EXPECT_EQ(got.calls, 0);
    }
}

// A stop set before the scan delivers nothing; one set at the first delivery ends the scan
// after at most the reads already under way. Neither is a failure with a message.
TEST(WaveformPeaksTest, StopEndsTheScanEarly) {
    TempDir dir;
    const auto path = dir / "long.mp3";
    fixtures::WriteFileBytes(path, SilenceThenTone(44100, 128, Channels::JointStereo, 1.0, 29.0));
    for (const bool stopAtOnce : {true, false}) {
        SCOPED_TRACE(stopAtOnce ? "stopped before" : "stopped at the first delivery");
        std::atomic<bool> stop{stopAtOnce};
        Collected got(kWaveformBuckets);
        const WaveformSink collect = got.Sink();
        const WaveformSink stopping = [&](int firstBucket, std::span<const float> levels) {
            collect(firstBucket, levels);
            stop = true;
        };
        std::string message = "untouched";
        EXPECT_FALSE(ScanWaveformPeaks(path, kWaveformBuckets, 2, stop, stopping, &message));
        EXPECT_EQ(message, "untouched");
        // A delivery covers one read of about 0.75 s of the file's 30 s, and each of the two
        // parts has at most one read under way when the stop comes.
        EXPECT_LE(got.calls, stopAtOnce ? 0 : 2);
        EXPECT_LT(std::count(got.deliveries.begin(), got.deliveries.end(), 1), kWaveformBuckets / 10);
    }
}

}  // namespace
}  // namespace qm
