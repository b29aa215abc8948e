// The analysis of a file before it is split or joined (audio start, Xing/Info frame, LAME
// extension, length) through Mp3FrameReader::Open, then the frame walk from the audio start
// and the first seconds of decoding, over the input written to a temporary file.

#include <cmath>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "stream/AudioStreams.h"
#include "stream/Mp3FrameReader.h"
#include "stream/MpegFileAnalysis.h"
#include "stream/XingFrame.h"

namespace {

using qm::fuzz::Require;

// The decoded PCM looked at per input: enough for several frames, little enough to stay fast.
constexpr std::size_t kDecodeBytes = 64 * 1024;
constexpr std::size_t kDecodeBlockBytes = 4608;  // one MPEG-1 Layer III frame of 16-bit stereo

// The figures of an analysed file hold together, and every frame from the audio start lies
// inside the file.
void CheckAnalysis(qm::Mp3FrameReader& reader, std::size_t size) {
    Require(reader.FileSize() == size, "file size");
    Require(reader.AudioStart() < size, "audio start past the end of the file");
    Require(reader.SampleRateHz() > 0, "no sample rate");
    Require(std::isfinite(reader.LengthSeconds()) && reader.LengthSeconds() >= 0.0, "length");
    Require(reader.DurationSeconds() == static_cast<int>(reader.LengthSeconds()), "duration is the whole seconds");
    Require(reader.BitRateKbps() >= 0, "average bit rate");
    Require(reader.InfoFrame().size() <= qm::audio::kLongestFrameBytes, "Xing/Info frame copy longer than a frame");
    Require(reader.Position() == reader.AudioStart(), "the reader stands at the audio start");

    std::uint64_t lastEnd = reader.AudioStart();
    qm::Mp3FrameHeader header;
    while (reader.NextFrame(&header) != nullptr) {
        Require(header.frameOffset >= lastEnd, "frames overlap or go back");
        lastEnd = header.frameOffset + static_cast<std::uint64_t>(header.frameBytes);
        Require(lastEnd <= size, "frame past the end of the file");
    }

    // The Xing/Info frame copy takes new counts without changing its size.
    if (!reader.InfoFrame().empty()) {
        std::vector<std::uint8_t> copy = reader.InfoFrame();
        reader.PatchXingFrame(copy, 12345, 67890);
        Require(copy.size() == reader.InfoFrame().size(), "patched Xing/Info frame size");
        qm::XingLayout layout;
        if (qm::ParseXingLayout(reader.InfoFrame(), &layout)) {
            qm::LameExtension extension;
            if (qm::ReadLameExtension(reader.InfoFrame(), layout, &extension)) {
                Require(extension.encoderDelaySamples < 4096 && extension.paddingSamples < 4096, "12-bit fields");
            }
        }
    }
}

// The decoder delivers at most what is asked, and its position counts what it delivered.
void CheckDecoding(const std::filesystem::path& path) {
    const std::unique_ptr<qm::audio::Stream> stream = qm::audio::OpenMpegStream(path);
    if (!stream) return;
    std::vector<std::uint8_t> pcm(kDecodeBlockBytes);
    std::int64_t delivered = 0;
    while (delivered < static_cast<std::int64_t>(kDecodeBytes)) {
        const std::int64_t got = stream->GetData(pcm.data(), pcm.size());
        if (got < 0) break;
        Require(got <= static_cast<std::int64_t>(pcm.size()), "more PCM than asked");
        delivered += got;
        if (got == 0) break;
    }
    Require(stream->Position() == delivered, "position after decoding");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::InputFile input("analysis.mp3");
    const std::filesystem::path& path = input.Write({data, size});
    qm::Mp3FrameReader reader;
    if (reader.Open(path)) CheckAnalysis(reader, size);
    CheckDecoding(path);
    return 0;
}
