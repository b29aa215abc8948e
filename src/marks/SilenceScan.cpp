#include "marks/SilenceScan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "marks/GranuleGain.h"
#include "marks/SilencePlan.h"
#include "stream/FailureMessages.h"
#include "stream/Mp3FrameDecoder.h"
#include "stream/Mp3FrameReader.h"
#include "stream/MpegHeader.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

// Frames between two turns of the bar and the message pump (about seven seconds of audio).
constexpr int kFramesPerPump = 256;
// The decoder syncs on the first frame it is fed only once it holds this many bytes.
constexpr std::size_t kDecoderStartBytes = 194;
// The deepest bit reservoir: main_data_begin has 9 bits in MPEG-1.
constexpr int kReservoirBytes = 511;
// The frames kept before a candidate stretch, enough for the reservoir of 8 kbit/s frames.
constexpr std::size_t kMaxPrimingFrames = 32;
// And at least this many, so that the first measured frame's overlap with the granule
// before it is decoded too.
constexpr std::size_t kMinPrimingFrames = 2;
// The largest frame the decoder hands back: 1152 samples per channel.
constexpr std::size_t kMaxFrameSamples = 1152;
constexpr double kFullScale = 32768.0;

// The RMS level in dBFS of samples decoded into left and right (right is left's copy for a
// mono stream).
float DecodedLevelDb(const std::vector<std::int16_t>& left, const std::vector<std::int16_t>& right, int samples) {
    double sum = 0.0;
    for (int i = 0; i < samples; ++i) {
        const double l = left[static_cast<std::size_t>(i)];
        const double r = right[static_cast<std::size_t>(i)];
        sum += l * l + r * r;
    }
    if (sum <= 0.0) return kDigitalSilenceDb;
    const double meanSquare = sum / (2.0 * samples) / (kFullScale * kFullScale);
    return std::max(kDigitalSilenceDb, static_cast<float>(10.0 * std::log10(meanSquare)));
}

// Measures frames by decoding them, only where asked: a candidate stretch starts a fresh
// decoder on the frames kept before it (the bit reservoir its first frame reads from, and the
// granule its first samples overlap with) and decodes frame by frame until the stretch ends.
class WindowMeter {
public:
    WindowMeter() : m_left(kMaxFrameSamples), m_right(kMaxFrameSamples) {}

    // The level of the frame just read: decoded when decode is set, else roughDb (also when
    // the decoder cannot measure it).
    float Level(const std::uint8_t* frame, const Mp3FrameHeader& header, bool decode, float roughDb) {
        float level = roughDb;
        if (!decode) {
            m_decoding = false;
        } else if (m_decoding) {
            const int samples =
                m_decoder.Decode(const_cast<std::uint8_t*>(frame), static_cast<std::size_t>(header.frameBytes),
                                 m_left.data(), m_right.data());
            if (samples > 0) level = DecodedLevelDb(m_left, m_right, samples);
        } else {
            level = StartAt(frame, header, roughDb);
        }
        Keep(frame, header);
        return level;
    }

private:
    struct KeptFrame {
        std::vector<std::uint8_t> bytes;
        int roomBytes = 0;
    };

    float StartAt(const std::uint8_t* frame, const Mp3FrameHeader& header, float roughDb) {
        // Handed all the bytes at once, the decoder syncs on the first frame and reads its
        // header; each call after that decodes one of the frames, in order.
        m_startBytes.clear();
        for (const KeptFrame& kept : m_kept)
            m_startBytes.insert(m_startBytes.end(), kept.bytes.begin(), kept.bytes.end());
        m_startBytes.insert(m_startBytes.end(), frame, frame + header.frameBytes);
        // At the very start of a stream of tiny frames there is not enough to start on.
        if (m_startBytes.size() < kDecoderStartBytes || !m_decoder.Start()) return roughDb;
        m_decoding = true;
        static_cast<void>(m_decoder.Decode(m_startBytes.data(), m_startBytes.size(), m_left.data(), m_right.data()));
        std::uint8_t nothing = 0;
        int samples = 0;
        for (std::size_t i = 0; i <= m_kept.size(); ++i)
            samples = m_decoder.Decode(&nothing, 0, m_left.data(), m_right.data());
        return samples > 0 ? DecodedLevelDb(m_left, m_right, samples) : roughDb;
    }

    // Keeps the frame for priming, and forgets the oldest frames the reservoir no longer needs.
    void Keep(const std::uint8_t* frame, const Mp3FrameHeader& header) {
        KeptFrame kept;
        if (m_kept.size() >= kMaxPrimingFrames) {
            kept = std::move(m_kept.front());
            m_kept.pop_front();
            m_keptRoom -= kept.roomBytes;
            m_keptBytes -= kept.bytes.size();
        }
        kept.bytes.assign(frame, frame + header.frameBytes);
        kept.roomBytes = header.layer == 3 ? Layer3MainDataOf(frame, header).roomBytes : kReservoirBytes;
        m_keptRoom += kept.roomBytes;
        m_keptBytes += kept.bytes.size();
        m_kept.push_back(std::move(kept));
        while (m_kept.size() > kMinPrimingFrames && m_keptRoom - m_kept.front().roomBytes >= kReservoirBytes &&
               m_keptBytes - m_kept.front().bytes.size() >= kDecoderStartBytes) {
            m_keptRoom -= m_kept.front().roomBytes;
            m_keptBytes -= m_kept.front().bytes.size();
            m_kept.pop_front();
        }
    }

    Mp3FrameDecoder m_decoder;
    bool m_decoding = false;
    std::deque<KeptFrame> m_kept;
    int m_keptRoom = 0;
    std::size_t m_keptBytes = 0;
    std::vector<std::uint8_t> m_startBytes;
    std::vector<std::int16_t> m_left;
    std::vector<std::int16_t> m_right;
};

// The operation's bar over the bytes of the file.
class ScanBar {
public:
    ScanBar(const LongOperation& operation, std::uint64_t fileBytes)
        : m_bar(operation.bar), m_fileBytes(std::max<std::uint64_t>(fileBytes, 1)) {
        if (m_bar == nullptr) return;
        m_steps = std::max(1, m_bar->WidthPixels());
        m_bar->SetRange(0, m_steps);
        m_bar->SetPosition(0);
    }
    void Show(std::uint64_t byteOffset) {
        if (m_bar == nullptr) return;
        const auto at = static_cast<std::uint64_t>(m_steps) * std::min(byteOffset, m_fileBytes) / m_fileBytes;
        m_bar->SetPosition(static_cast<int>(at));
    }

private:
    ProgressBar* m_bar;
    std::uint64_t m_fileBytes;
    int m_steps = 1;
};

// Milliseconds of the played audio (delaySamples after the stream's start) before frame
// `frames` of samplesPerFrame at rateHz, rounded down, so that the first frame boundary at or
// after the mark is the frame's own start.
Millis FrameMillis(std::int64_t frames, int samplesPerFrame, int rateHz, int delaySamples) {
    return std::max<std::int64_t>(0, frames * samplesPerFrame - delaySamples) * 1000 / rateHz;
}

// The marks of a plan of frameCount frames: each piece's begin, and its end where the audio
// after it up to the next piece is left out.
MarkList MarksOf(const SilencePlan& plan, std::int64_t frameCount, int samplesPerFrame, int rateHz, int delaySamples) {
    MarkList list;
    for (std::size_t i = 0; i < plan.pieces.size(); ++i) {
        const SilencePiece& piece = plan.pieces[i];
        const std::int64_t following = i + 1 < plan.pieces.size() ? plan.pieces[i + 1].beginFrame : frameCount;
        Mark mark;
        mark.begin = FrameMillis(piece.beginFrame, samplesPerFrame, rateHz, delaySamples);
        if (piece.endFrame != following) mark.end = FrameMillis(piece.endFrame, samplesPerFrame, rateHz, delaySamples);
        list.marks.push_back(std::move(mark));
    }
    return list;
}

}  // namespace

std::optional<MarkList> FindSilenceMarks(const std::filesystem::path& source, const SilenceOptions& options,
                                         const LongOperation& operation, std::string* message) {
    message->clear();
    Mp3FrameReader reader;
    if (!reader.Open(source, Mp3FrameReader::Measure::FormatOnly)) {
        *message = FailedToOpenMessage(source);
        return std::nullopt;
    }
    ScanBar bar(operation, reader.FileSize());
    WindowMeter meter;
    std::optional<SilencePlanner> planner;
    int samplesPerFrame = 0;
    int rateHz = 0;
    std::int64_t frames = 0;
    Mp3FrameHeader header;
    float candidateBelowDb = 0.0f;
    while (const std::uint8_t* frame = reader.NextFrame(&header)) {
        if (!planner) {
            samplesPerFrame = header.samplesPerFrame;
            rateHz = header.sampleRateHz;
            planner.emplace(SilenceRulesFor(options, samplesPerFrame, rateHz));
            candidateBelowDb = static_cast<float>(options.ThresholdDb) + kRoughLevelMarginDb;
        }
        // A Layer III frame is decoded only where its side information says it may be quiet;
        // Layers I and II carry no such figures and are decoded throughout.
        FrameGranules granules;
        float roughDb = static_cast<float>(options.ThresholdDb);
        bool decode = true;
        if (ReadFrameGranules(frame, header, &granules)) {
            roughDb = RoughLevelDb(granules);
            decode = roughDb < candidateBelowDb;
        }
        planner->Add(meter.Level(frame, header, decode, roughDb));
        if (++frames % kFramesPerPump == 0) {
            bar.Show(reader.Position());
            if (operation.PumpAndCheckCancel()) return std::nullopt;
        }
    }
    if (reader.SourceChanged()) {
        *message = SourceChangedMessage(source);
        return std::nullopt;
    }
    bar.Show(reader.FileSize());
    if (operation.PumpAndCheckCancel()) return std::nullopt;
    const SilencePlan plan = planner ? planner->Finish() : SilencePlan{};
    if (!plan.pauseCut) {
        *message = "No silence found in \"" + source.string() + "\".";
        return std::nullopt;
    }
    return MarksOf(plan, frames, samplesPerFrame, rateHz, PlaybackDelaySamples(reader.InfoFrame()));
}

}  // namespace qm
