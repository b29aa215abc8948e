// qm-bench-silence-scan: the silence scan's benchmark program (bench/silence.sh runs it).
//
//   qm-bench-silence-scan make OUT.mp3 SECONDS   tracks of 178 s (a tone whose pitch and
//                                                level change every quarter second) with 2 s
//                                                pauses, digital silence and noise at -70 dB
//                                                by turns; 44.1 kHz 128 kbit/s joint stereo
//   qm-bench-silence-scan scan FILE.mp3          prints the marks the default options find

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"
#include "marks/SilenceScan.h"

namespace {

namespace fx = qm::fixtures;

constexpr int kRateHz = 44100;
constexpr double kTrackSeconds = 178.0;
constexpr double kPauseSeconds = 2.0;
constexpr std::size_t kChunkSamples = 11025;  // per channel: a quarter second per encoder call

// A quarter second of audio at absolute sample first: in a track a tone of one of eight
// pitches at -12 to -26 dB; in a pause silence or noise at -70 dB.
std::vector<std::int16_t> Chunk(std::int64_t first, std::size_t count) {
    const double t = static_cast<double>(first) / kRateHz;
    const auto cycle = static_cast<std::int64_t>(t / (kTrackSeconds + kPauseSeconds));
    const double inCycle = t - static_cast<double>(cycle) * (kTrackSeconds + kPauseSeconds);
    fx::EncodeSpec spec = fx::StreamSpec(1.0, fx::Signal::Tone);
    if (inCycle >= kTrackSeconds) {
        spec.signal = cycle % 2 == 0 ? fx::Signal::Silence : fx::Signal::Noise;
        spec.amplitude = std::pow(10.0, -70.0 / 20.0) * std::sqrt(3.0);
    } else {
        const auto note = static_cast<int>(t * 4.0);
        spec.toneHz = 220.0 * std::pow(2.0, (note * 5 % 8) / 8.0);
        spec.amplitude = std::pow(10.0, -(12.0 + 2.0 * (note % 8)) / 20.0) * std::sqrt(2.0);
    }
    return fx::MakePcmRange(spec, first, count);
}

int Make(const std::string& path, double seconds) {
    fx::EncodeSpec spec = fx::StreamSpec(seconds, fx::Signal::Tone);
    fx::Mp3Encoder encoder(spec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto total = static_cast<std::int64_t>(std::llround(seconds * kRateHz));
    auto write = [&out](const fx::Bytes& bytes) {
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    for (std::int64_t done = 0; done < total; done += static_cast<std::int64_t>(kChunkSamples)) {
        const std::vector<std::int16_t> pcm = Chunk(done, kChunkSamples);
        write(encoder.Encode(pcm.data(), kChunkSamples));
    }
    write(encoder.Flush());
    out.close();
    if (!encoder.Ok() || !out) {
        std::cerr << "qm-bench-silence-scan: cannot write \"" << path << "\"\n";
        std::remove(path.c_str());
        return 1;
    }
    return 0;
}

int Scan(const std::string& path) {
    std::string message;
    const std::optional<qm::MarkList> list = qm::FindSilenceMarks(path, qm::SilenceOptions{}, {}, &message);
    if (!list) {
        std::cout << message << "\n";
        return 1;
    }
    for (const qm::Mark& mark : list->marks) std::cout << mark.begin << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && argc == 4) return Make(argv[2], std::stod(argv[3]));
    if (command == "scan" && argc == 3) return Scan(argv[2]);
    std::cerr << "usage: qm-bench-silence-scan make OUT.mp3 SECONDS\n"
                 "       qm-bench-silence-scan scan FILE.mp3\n";
    return 2;
}
