// The Xing/Info frame rebuilt for a piece: parse a source frame, rebuild it over a stream of
// frames, parse the result again. The round trip must agree: same layout, the new counts, a
// seek table that never goes back, the LAME extension's fields and CRCs recomputed, and every
// other byte as in the source. Rebuilding the rebuilt frame over the same stream changes
// nothing.
//
// Input: one byte of options (bit 0 keeps the encoder delay, bit 1 the padding), one byte that
// repeats the stream, the source frame (the length its header gives, or the rest), then the
// stream's frames (the length each header gives, or 1 + the first byte for junk).

#include <algorithm>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "stream/ByteOrder.h"
#include "stream/Crc16.h"
#include "stream/MpegHeader.h"
#include "stream/XingFrame.h"

namespace {

using qm::fuzz::Require;
using Span = std::span<const std::uint8_t>;

// At most this many frames are fed to one builder, repeats included: enough to thin the seek
// table's samples several times, few enough to keep each input fast.
constexpr std::size_t kMaxFramesFed = 4096;

// The next frame at the start of bytes: the length its header gives, else a junk run.
std::size_t NextChunkBytes(Span bytes) {
    if (bytes.size() >= 4 && qm::IsValidMp3FrameHeader(bytes.data())) {
        return std::min<std::size_t>(bytes.size(),
                                     static_cast<std::size_t>(qm::DecodeMp3FrameHeader(bytes.data()).frameBytes));
    }
    return std::min<std::size_t>(bytes.size(), std::size_t{bytes[0]} + 1);
}

struct Input {
    bool keepEncoderDelay = false;
    bool keepPadding = false;
    Span sourceFrame;
    std::vector<Span> frames;  // the stream, repeats included
};

Input Split(Span data) {
    Input input;
    input.keepEncoderDelay = (data[0] & 1) != 0;
    input.keepPadding = (data[0] & 2) != 0;
    const std::size_t repeats = std::size_t{data[1]} * 4 + 1;
    Span rest = data.subspan(2);
    const std::size_t frameBytes =
        rest.size() >= 4 && qm::IsValidMp3FrameHeader(rest.data()) ? NextChunkBytes(rest) : rest.size();
    input.sourceFrame = rest.first(frameBytes);
    rest = rest.subspan(frameBytes);
    std::vector<Span> once;
    while (!rest.empty()) {
        const std::size_t bytes = NextChunkBytes(rest);
        once.push_back(rest.first(bytes));
        rest = rest.subspan(bytes);
    }
    for (std::size_t r = 0; r < repeats && input.frames.size() + once.size() <= kMaxFramesFed; ++r) {
        input.frames.insert(input.frames.end(), once.begin(), once.end());
    }
    return input;
}

std::vector<std::uint8_t> Rebuild(Span sourceFrame, const Input& input, std::uint64_t streamBytes) {
    qm::XingFrameBuilder builder(sourceFrame);
    for (Span frame : input.frames) builder.AddFrame(frame);
    Require(builder.FrameCount() == input.frames.size(), "frames counted");
    return builder.Finish(streamBytes, input.keepEncoderDelay, input.keepPadding);
}

// Marks the bytes the rebuild may change.
void MarkField(std::vector<bool>& changeable, std::size_t offset, std::size_t bytes) {
    if (offset == 0) return;
    for (std::size_t i = offset; i < offset + bytes && i < changeable.size(); ++i) changeable[i] = true;
}

void CheckLameExtension(Span source, const std::vector<std::uint8_t>& rebuilt, const qm::XingLayout& layout,
                        const Input& input, std::uint64_t streamBytes) {
    qm::LameExtension before;
    qm::LameExtension after;
    Require(qm::ReadLameExtension(source, layout, &before), "source LAME extension");
    Require(qm::ReadLameExtension(rebuilt, layout, &after), "rebuilt LAME extension");
    Require(after.encoderDelaySamples == (input.keepEncoderDelay ? before.encoderDelaySamples : 0), "encoder delay");
    Require(after.paddingSamples == (input.keepPadding ? before.paddingSamples : 0), "padding");
    Require(after.musicLengthBytes == static_cast<std::uint32_t>(streamBytes), "music length");
    std::uint16_t musicCrc = 0;
    for (Span frame : input.frames) musicCrc = qm::Crc16UpdateTable(musicCrc, frame);
    Require(after.musicCrc == musicCrc, "music CRC");
    Require(after.tagCrc == qm::ComputeLameTagCrc(rebuilt, layout), "tag CRC");
}

void CheckRebuilt(Span source, const std::vector<std::uint8_t>& rebuilt, const qm::XingLayout& layout,
                  const Input& input, std::uint64_t streamBytes) {
    Require(rebuilt.size() == source.size(), "rebuilt frame size");
    qm::XingLayout again;
    Require(qm::ParseXingLayout(rebuilt, &again), "the rebuilt frame does not parse");
    Require(again.flags == layout.flags && again.frameCountOffset == layout.frameCountOffset &&
                again.byteCountOffset == layout.byteCountOffset && again.tocOffset == layout.tocOffset &&
                again.lameOffset == layout.lameOffset,
            "the rebuilt frame's layout differs");
    std::vector<bool> changeable(rebuilt.size(), false);
    if (layout.frameCountOffset != 0) {
        Require(
            qm::ReadBigEndian32(&rebuilt[layout.frameCountOffset]) == static_cast<std::uint32_t>(input.frames.size()),
            "frame count");
        MarkField(changeable, layout.frameCountOffset, 4);
    }
    if (layout.byteCountOffset != 0) {
        Require(qm::ReadBigEndian32(&rebuilt[layout.byteCountOffset]) == static_cast<std::uint32_t>(streamBytes),
                "byte count");
        MarkField(changeable, layout.byteCountOffset, 4);
    }
    if (layout.tocOffset != 0) {
        const std::uint8_t* toc = &rebuilt[layout.tocOffset];
        Require(toc[0] == 0, "the seek table starts at 0");
        Require(std::is_sorted(toc, toc + qm::kXingTocEntries), "the seek table goes back");
        MarkField(changeable, layout.tocOffset, qm::kXingTocEntries);
    }
    if (layout.lameOffset != 0) {
        CheckLameExtension(source, rebuilt, layout, input, streamBytes);
        MarkField(changeable, layout.lameOffset + 21, 3);  // delay and padding
        MarkField(changeable, layout.lameOffset + 28, 8);  // music length, music CRC, tag CRC
    }
    for (std::size_t i = 0; i < rebuilt.size(); ++i) {
        Require(changeable[i] || rebuilt[i] == source[i], "a byte outside the rebuilt fields changed");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const Input input = Split({data, size});
    // An exact copy, so that a read past the frame is caught.
    const std::vector<std::uint8_t> source(input.sourceFrame.begin(), input.sourceFrame.end());
    std::uint64_t streamBytes = source.size();
    for (Span frame : input.frames) streamBytes += frame.size();

    qm::XingLayout layout;
    const bool parsed = qm::ParseXingLayout(source, &layout);
    Require(qm::XingFrameBuilder(source).IsValid() == parsed, "the builder and the parser disagree");
    const std::vector<std::uint8_t> rebuilt = Rebuild(source, input, streamBytes);
    if (!parsed) {
        Require(rebuilt == source, "a frame that does not parse is changed");
        return 0;
    }
    CheckRebuilt(source, rebuilt, layout, input, streamBytes);
    Require(Rebuild(rebuilt, input, streamBytes) == rebuilt, "rebuilding the rebuilt frame changes it");
    return 0;
}
