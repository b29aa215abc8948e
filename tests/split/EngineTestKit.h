#pragma once

// Shared helpers of the split engine tests: a source file written from the fixture kit, and a
// piece file taken apart into its tag, its Xing/Info frame and its audio frames.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "fixtures/Fixtures.h"
#include "split/DirectSplitter.h"
#include "split/ReencodeSplitter.h"
#include "stream/XingFrame.h"
#include "stream/XingTestKit.h"

namespace qm::enginetest {

using fixtures::Bytes;
using fixtures::FileSizeLimit;

// A source MP3 on disk and its frames (offsets into data).
struct Source {
    std::filesystem::path path;
    Bytes data;
    std::uint64_t tagBytes = 0;
    bool hasInfoFrame = false;
    std::vector<fixtures::FrameSpan> audio;  // the audio frames, Xing/Info frame excluded

    Bytes Frame(std::size_t i) const {
        return Bytes(data.begin() + static_cast<long>(audio[i].offset),
                     data.begin() + static_cast<long>(audio[i].offset + audio[i].bytes));
    }
};

inline Source WriteSource(const std::filesystem::path& path, const fixtures::EncodeSpec& spec,
                          const fixtures::Id3v2Spec* tag = nullptr) {
    Source s;
    s.path = path;
    const Bytes mp3 = fixtures::EncodeMp3(spec);
    const Bytes tagBytes = tag != nullptr ? fixtures::MakeId3v2Tag(*tag) : Bytes{};
    s.data = fixtures::Concat({tagBytes, mp3});
    s.tagBytes = tagBytes.size();
    fixtures::WriteFileBytes(path, s.data);
    s.audio = fixtures::WalkFrames(s.data, s.tagBytes);
    s.hasInfoFrame = spec.xing == fixtures::XingFrame::Yes;
    if (s.hasInfoFrame) s.audio.erase(s.audio.begin());
    return s;
}

// A noisy 44.1 kHz joint-stereo CBR source: every frame's bytes differ from every other's,
// so a piece's frames can be found in the source by content.
inline fixtures::EncodeSpec NoiseSpec(double seconds, fixtures::XingFrame xing) {
    fixtures::EncodeSpec spec;
    spec.seconds = seconds;
    spec.signal = fixtures::Signal::Noise;
    spec.amplitude = 0.3;
    spec.xing = xing;
    return spec;
}

// A piece file taken apart.
struct Piece {
    Bytes data;
    std::uint64_t tagBytes = 0;
    Bytes xing;                 // empty when the piece has no Xing/Info frame
    std::vector<Bytes> frames;  // the audio frames after it
    std::uint64_t audioBytes = 0;
};

inline std::uint64_t Id3v2Size(const Bytes& data) {
    if (data.size() < 10 || std::memcmp(data.data(), "ID3", 3) != 0) return 0;
    return 10 +
           ((std::uint64_t{data[6]} << 21) | (std::uint64_t{data[7]} << 14) | (std::uint64_t{data[8]} << 7) | data[9]);
}

inline Piece ReadPiece(const std::filesystem::path& path) {
    Piece p;
    p.data = fixtures::ReadFileBytes(path);
    p.tagBytes = Id3v2Size(p.data);
    std::vector<fixtures::FrameSpan> spans = fixtures::WalkFrames(p.data, p.tagBytes);
    std::size_t first = 0;
    XingLayout layout;
    if (!spans.empty() && ParseXingLayout({p.data.data() + spans[0].offset, spans[0].bytes}, &layout)) {
        p.xing.assign(p.data.begin() + static_cast<long>(spans[0].offset),
                      p.data.begin() + static_cast<long>(spans[0].offset + spans[0].bytes));
        first = 1;
    }
    for (std::size_t i = first; i < spans.size(); ++i) {
        p.frames.emplace_back(p.data.begin() + static_cast<long>(spans[i].offset),
                              p.data.begin() + static_cast<long>(spans[i].offset + spans[i].bytes));
        p.audioBytes += spans[i].bytes;
    }
    return p;
}

// Index of the source frame whose bytes equal frame, or -1.
inline long FindFrame(const Source& s, const Bytes& frame, std::size_t from = 0) {
    for (std::size_t i = from; i < s.audio.size(); ++i) {
        if (s.audio[i].bytes == frame.size() &&
            std::memcmp(s.data.data() + s.audio[i].offset, frame.data(), frame.size()) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// The run of source frames a piece holds: [first, first + count). first = -1 when the
// piece's frames are not one contiguous, byte-identical run of source frames.
struct FrameRun {
    long first = -1;
    long count = 0;
};
inline FrameRun FindRun(const Source& s, const Piece& p) {
    FrameRun run;
    if (p.frames.empty()) return {0, 0};
    const long first = FindFrame(s, p.frames[0]);
    if (first < 0) return run;
    for (std::size_t i = 0; i < p.frames.size(); ++i) {
        const std::size_t at = static_cast<std::size_t>(first) + i;
        if (at >= s.audio.size() || s.Frame(at) != p.frames[i]) return run;
    }
    run.first = first;
    run.count = static_cast<long>(p.frames.size());
    return run;
}

// Files in a folder other than the given ones (stray temporary files, partial pieces).
inline std::vector<std::string> OtherFiles(const std::filesystem::path& folder,
                                           const std::vector<std::filesystem::path>& known) {
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        bool isKnown = false;
        for (const auto& k : known) isKnown = isKnown || entry.path() == k;
        if (!isKnown) others.push_back(entry.path().filename().string());
    }
    return others;
}

using xingtest::ExactToc;

// Which engine a shared test runs.
enum class EngineKind { Direct, Reencode };

inline std::unique_ptr<SplitEngine> MakeEngine(EngineKind kind) {
    if (kind == EngineKind::Direct) return std::make_unique<DirectSplitter>();
    return std::make_unique<ReencodeSplitter>();
}

inline std::string EngineName(EngineKind kind) { return kind == EngineKind::Direct ? "Direct" : "Reencode"; }

}  // namespace qm::enginetest
