#pragma once

// Files for the join tests: MP3 files from the fixture kit written to disk, and Ogg Vorbis,
// FLAC and WAV files written with libsndfile.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"

namespace qm::joinkit {

namespace fx = qm::fixtures;

inline std::filesystem::path WriteMp3(const fx::TempDir& dir, const std::string& name, const fx::EncodeSpec& spec,
                                      const fx::Bytes& before = {}, const fx::Bytes& after = {}) {
    const std::filesystem::path path = dir / name;
    fx::WriteFileBytes(path, fx::Concat({before, fx::EncodeMp3(spec), after}));
    return path;
}

enum class SoundFormat { Wav, Flac, Ogg };

// A tone of the given length written through libsndfile; false when the format is not
// available in this build of libsndfile.
inline bool WriteSoundFile(const std::filesystem::path& path, SoundFormat format, int rateHz, int channels,
                           double seconds) {
    SF_INFO info{};
    info.samplerate = rateHz;
    info.channels = channels;
    switch (format) {
        case SoundFormat::Wav:
            info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
            break;
        case SoundFormat::Flac:
            info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
            break;
        case SoundFormat::Ogg:
            info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
            break;
    }
    SNDFILE* file = sf_open(path.string().c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    const auto frames = static_cast<sf_count_t>(std::llround(seconds * rateHz));
    std::vector<short> pcm(static_cast<std::size_t>(frames * channels));
    for (sf_count_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            // Channel c plays 300 Hz × (c + 1), so every channel can be told apart.
            const double v = 0.4 * std::sin(2.0 * std::numbers::pi * 300.0 * (c + 1) * double(i) / rateHz);
            pcm[static_cast<std::size_t>(i * channels + c)] = static_cast<short>(std::lround(v * 32767.0));
        }
    }
    const bool ok = sf_writef_short(file, pcm.data(), frames) == frames;
    sf_close(file);
    return ok;
}

// Decoded playing time of an MP3 file, in seconds.
inline double Mp3Seconds(const std::filesystem::path& path) {
    const fx::Decoded decoded = fx::DecodeWithMpg123(path);
    return decoded.rateHz > 0 ? double(decoded.samples) / double(decoded.rateHz) : 0.0;
}

// The names in a folder, sorted: shows stray temporary files.
inline std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The MPEG frames of an encoded image that starts with a frame, as one block.
inline fx::Bytes FramesOf(const fx::Bytes& image, std::size_t skipFrames = 0) {
    fx::Bytes frames;
    const std::vector<fx::FrameSpan> spans = fx::WalkFrames(image, 0);
    for (std::size_t i = skipFrames; i < spans.size(); ++i) {
        frames.insert(frames.end(), image.begin() + static_cast<std::ptrdiff_t>(spans[i].offset),
                      image.begin() + static_cast<std::ptrdiff_t>(spans[i].offset + spans[i].bytes));
    }
    return frames;
}

// A directly joined file taken apart: its tag, the Xing/Info frame that heads the stream
// and the audio frames after it. The frame is empty when the stream has none.
struct JoinedParts {
    fx::Bytes tag, header, audio;
};
inline JoinedParts SplitJoined(const fx::Bytes& joined, std::size_t tagBytes) {
    JoinedParts parts;
    parts.tag.assign(joined.begin(), joined.begin() + static_cast<std::ptrdiff_t>(tagBytes));
    std::size_t audioAt = tagBytes;
    if (joined.size() >= tagBytes + 4 && fx::XingOffsetOf(&joined[tagBytes]) != 0) {
        const std::size_t frameBytes = fx::FrameLengthOf(&joined[tagBytes]);
        const std::size_t word = tagBytes + fx::XingOffsetOf(&joined[tagBytes]);
        const std::string tagWord(joined.begin() + static_cast<std::ptrdiff_t>(word),
                                  joined.begin() + static_cast<std::ptrdiff_t>(word + 4));
        if (tagWord == "Xing" || tagWord == "Info") audioAt += frameBytes;
    }
    parts.header.assign(joined.begin() + static_cast<std::ptrdiff_t>(tagBytes),
                        joined.begin() + static_cast<std::ptrdiff_t>(audioAt));
    parts.audio.assign(joined.begin() + static_cast<std::ptrdiff_t>(audioAt), joined.end());
    return parts;
}

}  // namespace qm::joinkit
