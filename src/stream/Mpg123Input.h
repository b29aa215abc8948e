#pragma once

// What the MPEG readers of the audio layer share around libmpg123: the owner of a decoder
// handle, the library's one-time set-up, and the buffered input the decoder reads the file
// through.

#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "stream/File.h"

namespace qm::audio {

struct Mpg123Deleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Mpg123Handle = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

[[nodiscard]] inline bool InitialiseMpg123() {
    // Needed once per process by older libmpg123 releases; harmless in newer ones.
    static const bool initialised = mpg123_init() == MPG123_OK;
    return initialised;
}

// The file as the decoder reads it: through a buffer of its own, so that the decoder's many
// small reads (a header, then a frame body, for every frame) cost no system call each.
struct DecoderInput {
    static constexpr std::size_t kBufferBytes = 262144;

    File file;
    std::uint64_t fileBytes = 0;
    // The file offset the decoder sees as offset 0: the file's start, or the audio start
    // when the decoder cannot find the audio from the file's start.
    std::uint64_t origin = 0;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kBufferBytes);
    std::uint64_t base = 0;  // file offset of buffer[0]; the descriptor is at base + valid
    std::size_t valid = 0;
    std::size_t cursor = 0;

    static mpg123_ssize_t Read(void* self, void* out, size_t byteCount) {
        auto& in = *static_cast<DecoderInput*>(self);
        auto* target = static_cast<std::uint8_t*>(out);
        std::size_t done = 0;
        while (done < byteCount) {
            if (in.cursor == in.valid) {
                in.base += in.valid;
                in.valid = in.cursor = 0;
                const std::int64_t got = in.file.Read(in.buffer.data(), in.buffer.size());
                if (got < 0) return done > 0 ? static_cast<mpg123_ssize_t>(done) : -1;
                if (got == 0) break;
                in.valid = static_cast<std::size_t>(got);
            }
            const std::size_t chunk = std::min(byteCount - done, in.valid - in.cursor);
            std::copy_n(in.buffer.data() + in.cursor, chunk, target + done);
            in.cursor += chunk;
            done += chunk;
        }
        return static_cast<mpg123_ssize_t>(done);
    }

    static off_t Seek(void* self, off_t offset, int whence) {
        auto& in = *static_cast<DecoderInput*>(self);
        const auto origin = static_cast<std::int64_t>(in.origin);
        const auto here = static_cast<std::int64_t>(in.base + in.cursor) - origin;
        const std::int64_t target = whence == SEEK_SET   ? offset
                                    : whence == SEEK_CUR ? here + offset
                                                         : static_cast<std::int64_t>(in.fileBytes) - origin + offset;
        if (target < 0) return -1;
        const auto at = static_cast<std::uint64_t>(target + origin);
        if (at >= in.base && at - in.base <= in.valid) {
            in.cursor = static_cast<std::size_t>(at - in.base);
        } else {
            if (!in.file.Seek(at)) return -1;
            in.base = at;
            in.valid = in.cursor = 0;
        }
        return static_cast<off_t>(target);
    }
};

// The decoder's input, failing every read and seek once stop is set: a long call of the
// decoder (a scan for the length, a seek that walks frame after frame) then ends at its next
// read.
struct StoppableInput {
    DecoderInput input;
    const std::atomic<bool>* stop = nullptr;

    static mpg123_ssize_t Read(void* self, void* out, size_t byteCount) {
        auto& in = *static_cast<StoppableInput*>(self);
        if (in.stop->load(std::memory_order_relaxed)) return -1;
        return DecoderInput::Read(&in.input, out, byteCount);
    }

    static off_t Seek(void* self, off_t offset, int whence) {
        auto& in = *static_cast<StoppableInput*>(self);
        if (in.stop->load(std::memory_order_relaxed)) return -1;
        return DecoderInput::Seek(&in.input, offset, whence);
    }
};

// Makes the handle decode to 16-bit mono (MPG123_MONO_MIX folds the channels) at whatever rate
// the stream has: every rate libmpg123 knows is accepted.
inline void AcceptMono16AtEveryRate(mpg123_handle* handle) {
    mpg123_format_none(handle);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) mpg123_format(handle, rates[i], MPG123_MONO, MPG123_ENC_SIGNED_16);
}

}  // namespace qm::audio
