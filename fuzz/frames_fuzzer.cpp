// The frame header tests and decoding at every offset of a buffer, and the frame walk of
// Mp3FrameReader over the same bytes, checked against a plain walk of the buffer.

#include <algorithm>
#include <cstring>
#include <vector>

#include "fixtures/Fixtures.h"
#include "fuzz/FuzzSupport.h"
#include "stream/Mp3FrameReader.h"
#include "stream/MpegFileAnalysis.h"
#include "stream/MpegHeader.h"

namespace {

using qm::fuzz::Require;

bool IsSampleRate(int hz) {
    constexpr int kRatesHz[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    return std::find(std::begin(kRatesHz), std::end(kRatesHz), hz) != std::end(kRatesHz);
}

// A header that passes the tests decodes to figures of the tables, and the test kit's own
// reading of the header gives the same frame length and sample count.
void CheckHeader(const std::uint8_t* bytes) {
    if (!qm::IsValidMp3FrameHeader(bytes)) return;
    const qm::Mp3FrameHeader h = qm::DecodeMp3FrameHeader(bytes);
    Require(h.layer >= 1 && h.layer <= 3, "layer out of range");
    Require(IsSampleRate(h.sampleRateHz), "sample rate outside the tables");
    Require(h.bitRateKbps >= 8 && h.bitRateKbps <= 448, "bit rate outside the tables");
    Require(h.padding == 0 || h.padding == 1, "padding is one bit");
    Require(h.samplesPerFrame == 384 || h.samplesPerFrame == 576 || h.samplesPerFrame == 1152,
            "samples per frame outside the tables");
    Require(h.frameBytes > 4 && static_cast<std::size_t>(h.frameBytes) <= qm::audio::kLongestFrameBytes,
            "frame length outside the header tables");
    Require(h.sideInfoBytes == 9 || h.sideInfoBytes == 17 || h.sideInfoBytes == 32, "side information size");
    const std::uint32_t kitBytes = qm::fixtures::FrameLengthOf(bytes);
    if (kitBytes != 0) {
        Require(kitBytes == static_cast<std::uint32_t>(h.frameBytes), "frame length differs from the test kit's");
        Require(qm::fixtures::SamplesPerFrameOf(bytes) == h.samplesPerFrame,
                "samples per frame differ from the test kit's");
    }
}

// The tag size of a leading "ID3" and the Xing/Info tag of a frame. The input buffer ends where
// the input does, so a read past its end is caught; the probes near the end find it.
void CheckTagProbes(const std::uint8_t* data, std::size_t size, std::size_t at) {
    if (at + qm::kId3v2HeaderBytes <= size) {
        const std::uint64_t plain = qm::Id3v2TagBytes(data + at, qm::Id3v2Footer::Ignore);
        const std::uint64_t withFooter = qm::Id3v2TagBytes(data + at, qm::Id3v2Footer::Count);
        Require(plain == 0 || plain >= qm::kId3v2HeaderBytes, "ID3v2 size below its header");
        Require(withFooter == plain || withFooter == plain + qm::kId3v2HeaderBytes, "ID3v2 footer size");
    }
    if (at + 4 <= size && qm::IsValidMp3FrameHeader(data + at)) {
        const qm::Mp3FrameHeader h = qm::DecodeMp3FrameHeader(data + at);
        const std::size_t frameBytes = std::min(size - at, static_cast<std::size_t>(h.frameBytes));
        const std::string_view tag = qm::XingTagOf(data + at, frameBytes, h.sideInfoBytes);
        Require(tag.empty() || tag == "Xing" || tag == "Info", "Xing tag name");
    }
}

struct WalkedFrame {
    std::uint64_t offset;
    int bytes;
};

// The reader's rule, written plainly: from `start`, hunt byte by byte for a header that passes
// the tests and take the frame it gives; a frame cut short by the end ends the walk.
std::vector<WalkedFrame> PlainWalk(const std::uint8_t* data, std::size_t size, std::size_t start) {
    std::vector<WalkedFrame> frames;
    std::size_t at = start;
    while (at + 4 <= size) {
        if (!qm::IsValidMp3FrameHeader(data + at)) {
            ++at;
            continue;
        }
        const int bytes = qm::DecodeMp3FrameHeader(data + at).frameBytes;
        if (at + static_cast<std::size_t>(bytes) > size) break;
        frames.push_back({at, bytes});
        at += static_cast<std::size_t>(bytes);
    }
    return frames;
}

// The reader's walk from `start` returns exactly the plain walk's frames, with their bytes.
void CheckReaderWalk(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size, std::size_t start) {
    qm::Mp3FrameReader reader;
    Require(reader.OpenRaw(path), "the reader cannot open the input");
    Require(reader.FileSize() == size, "file size");
    reader.Seek(start);
    const std::vector<WalkedFrame> expected = PlainWalk(data, size, start);
    std::size_t index = 0;
    qm::Mp3FrameHeader header;
    while (const std::uint8_t* frame = reader.NextFrame(&header)) {
        Require(index < expected.size(), "the reader finds more frames than there are");
        Require(header.frameOffset == expected[index].offset, "frame offset");
        Require(header.frameBytes == expected[index].bytes, "frame length");
        Require(std::memcmp(frame, data + header.frameOffset, static_cast<std::size_t>(header.frameBytes)) == 0,
                "frame bytes differ from the file's");
        Require(reader.Position() == header.frameOffset + static_cast<std::uint64_t>(header.frameBytes),
                "position after the frame");
        ++index;
    }
    Require(index == expected.size(), "the reader misses frames");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::InputFile input("frames.mp3");
    for (std::size_t at = 0; at + 4 <= size; ++at) CheckHeader(data + at);
    for (std::size_t at = 0; at < size; ++at) CheckTagProbes(data, size, at);
    const std::filesystem::path& path = input.Write({data, size});
    CheckReaderWalk(path, data, size, 0);
    // A second walk from a place the input chooses (its first byte, as a fraction of the size).
    if (size > 0) CheckReaderWalk(path, data, size, size * data[0] / 256);
    return 0;
}
