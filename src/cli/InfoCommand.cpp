// quillmere-cli info [--json] FILE...: the analysis figures, frame count, Xing/Info frame and
// tags of each file.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ChannelNames.h"
#include "cli/CommandRegistry.h"
#include "cli/Terminal.h"
#include "stream/ByteOrder.h"
#include "stream/FailureMessages.h"
#include "stream/Mp3FrameReader.h"
#include "stream/MpegHeader.h"
#include "stream/Tags.h"
#include "stream/XingFrame.h"

namespace qm::cli {

namespace {

struct XingSummary {
    std::string tag;  // "Xing" or "Info"
    std::optional<std::uint32_t> frames;
    std::optional<std::uint32_t> bytes;
};

// Everything the command reports about one file.
struct FileReport {
    std::string path;
    bool ok = false;
    std::string error;
    std::uint64_t sizeBytes = 0;
    std::uint64_t audioStart = 0;
    int durationSeconds = 0;
    double lengthSeconds = 0.0;
    int sampleRateHz = 0;
    ChannelMode channelMode = ChannelMode::Stereo;
    int averageKbps = 0;
    std::uint64_t frames = 0;
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 0;
    std::optional<XingSummary> xing;
    TagInfo tags;
};

const char* VersionName(MpegVersion version) {
    switch (version) {
        case MpegVersion::Mpeg1: return "MPEG-1";
        case MpegVersion::Mpeg2: return "MPEG-2";
        case MpegVersion::Mpeg25: return "MPEG-2.5";
        case MpegVersion::Reserved: break;
    }
    return "reserved";
}

// The tag name and the counts its flags announce, read with the frame's own side-information
// size. A frame too damaged to lay out keeps its name with unknown counts.
std::optional<XingSummary> SummariseXing(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < 4 || !IsValidMp3FrameHeader(frame.data())) return std::nullopt;
    const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
    const std::string_view tag = XingTagOf(frame.data(), frame.size(), header.sideInfoBytes);
    if (tag.empty()) return std::nullopt;
    XingSummary summary{std::string(tag), std::nullopt, std::nullopt};
    XingLayout layout;
    if (!ParseXingLayout(frame, &layout)) return summary;
    if (layout.frameCountOffset != 0) summary.frames = ReadBigEndian32(&frame[layout.frameCountOffset]);
    if (layout.byteCountOffset != 0) summary.bytes = ReadBigEndian32(&frame[layout.byteCountOffset]);
    return summary;
}

FileReport Analyse(const std::string& path) {
    FileReport report;
    report.path = path;
    Mp3FrameReader reader;
    if (!reader.Open(path)) {
        report.error = FailedToLoadMessage(path);
        return report;
    }
    report.ok = true;
    report.sizeBytes = reader.FileSize();
    report.audioStart = reader.AudioStart();
    report.durationSeconds = reader.DurationSeconds();
    report.lengthSeconds = reader.LengthSeconds();
    report.sampleRateHz = reader.SampleRateHz();
    report.channelMode = reader.LastHeader().channelMode;  // of the frame at the audio start
    report.averageKbps = reader.BitRateKbps();
    report.version = reader.LastHeader().version;
    report.layer = reader.LastHeader().layer;
    report.xing = SummariseXing(reader.InfoFrame());
    // Every frame from the audio start to the end, as the engines will see them.
    Mp3FrameHeader header;
    while (reader.NextFrame(&header)) ++report.frames;
    reader.Close();
    ReadTags(path, &report.tags);
    return report;
}

// ---------------------------------------------------------------------------------------
// JSON

// Bytes that are not UTF-8 (a path may hold any bytes) replaced by U+FFFD, so that the
// JSON output stays valid.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        // A multi-byte sequence: lead byte 110xxxxx, 1110xxxx or 11110xxx, then 10xxxxxx
        // continuation bytes; overlong forms, surrogates and values past U+10FFFF rejected.
        const std::size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                  : 0;
        bool valid = length > 0 && i + length <= text.size();
        std::uint32_t codePoint = valid ? byte & (0xFFu >> (length + 1)) : 0;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        valid = valid && !(length == 3 && codePoint < 0x800) &&
                !(length == 4 && codePoint < 0x10000) &&
                !(codePoint >= 0xD800 && codePoint <= 0xDFFF) && codePoint <= 0x10FFFF;
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD for the one bad byte; resynchronise after it
            ++i;
        }
    }
    return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += JsonQuote(ValidUtf8(text));
}

std::string JsonNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

template <typename T>
std::string JsonOptional(const std::optional<T>& value) {
    return value ? std::to_string(*value) : "null";
}

void AppendTagsJson(std::string& out, const TagInfo& tags) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &tags.title}, {"artist", &tags.artist}, {"album", &tags.album},
        {"year", &tags.year},   {"genre", &tags.genre},   {"comment", &tags.comment}};
    out += "{";
    for (const auto& [name, value] : texts) {
        out += "\"";
        out += name;
        out += "\": ";
        AppendJsonString(out, *value);
        out += ", ";
    }
    out += "\"track\": " + std::to_string(tags.track) + "}";
}

std::string ReportJson(const FileReport& report) {
    std::string out = "  {\"path\": ";
    AppendJsonString(out, report.path);
    out += ", \"ok\": ";
    out += report.ok ? "true" : "false";
    if (!report.ok) {
        out += ", \"error\": ";
        AppendJsonString(out, report.error);
        return out + "}";
    }
    out += ", \"size\": " + std::to_string(report.sizeBytes);
    out += ", \"audioStart\": " + std::to_string(report.audioStart);
    out += ", \"durationSeconds\": " + std::to_string(report.durationSeconds);
    out += ", \"lengthSeconds\": " + JsonNumber(report.lengthSeconds);
    out += ", \"sampleRate\": " + std::to_string(report.sampleRateHz);
    out += ", \"channelMode\": " + std::to_string(static_cast<int>(report.channelMode));
    out += ", \"averageKbps\": " + std::to_string(report.averageKbps);
    out += ", \"frames\": " + std::to_string(report.frames);
    out += ", \"version\": \"" + std::string(VersionName(report.version)) + "\"";
    out += ", \"layer\": " + std::to_string(report.layer);
    out += ", \"xing\": ";
    if (report.xing) {
        out += "{\"tag\": \"" + report.xing->tag + "\", \"frames\": " +
               JsonOptional(report.xing->frames) + ", \"bytes\": " + JsonOptional(report.xing->bytes) +
               "}";
    } else {
        out += "null";
    }
    out += ", \"tags\": ";
    AppendTagsJson(out, report.tags);
    return out + "}";
}

// ---------------------------------------------------------------------------------------
// Text

std::string ReportText(const FileReport& report) {
    std::string out = report.path + "\n";
    auto line = [&out](const char* label, const std::string& value) {
        char head[32];
        std::snprintf(head, sizeof head, "  %-16s", label);
        out += head;
        out += value;
        out += "\n";
    };
    line("size:", std::to_string(report.sizeBytes) + " bytes");
    line("audio start:", std::to_string(report.audioStart));
    line("duration:", std::to_string(report.durationSeconds) + " s (" +
                          JsonNumber(report.lengthSeconds) + " s)");
    line("format:", std::string(VersionName(report.version)) + " Layer " +
                        std::to_string(report.layer) + ", " + std::to_string(report.sampleRateHz) +
                        " Hz, " + std::string(ChannelModeReportText(report.channelMode)) + " (" +
                        std::to_string(static_cast<int>(report.channelMode)) + ")");
    line("average:", std::to_string(report.averageKbps) + " kbit/s");
    line("frames:", std::to_string(report.frames));
    if (report.xing) {
        line("xing:", report.xing->tag + ", frames " + JsonOptional(report.xing->frames) +
                          ", bytes " + JsonOptional(report.xing->bytes));
    } else {
        line("xing:", "none");
    }
    const std::pair<const char*, const std::string*> texts[] = {
        {"title:", &report.tags.title}, {"artist:", &report.tags.artist},
        {"album:", &report.tags.album}, {"year:", &report.tags.year},
        {"genre:", &report.tags.genre}, {"comment:", &report.tags.comment}};
    for (const auto& [label, value] : texts) {
        if (!value->empty()) line(label, *value);
    }
    if (report.tags.track != 0) line("track:", std::to_string(report.tags.track));
    return out;
}

struct InfoOptions {
    bool json = false;
    std::vector<std::string> files;
};

int RunInfo(const InfoOptions& options) {
    int exitCode = kExitOk;
    if (options.json) std::cout << "[\n";
    bool first = true;
    // One file at a time, printed as soon as it is analysed: memory does not grow with the
    // number of files.
    for (const std::string& path : options.files) {
        const FileReport report = Analyse(path);
        if (!report.ok) exitCode = kExitSomeFailed;
        if (options.json) {
            std::cout << (first ? "" : ",\n") << ReportJson(report);
        } else if (report.ok) {
            std::cout << ReportText(report) << std::flush;
        } else {
            std::cerr << report.error << "\n";
        }
        first = false;
    }
    if (options.json) std::cout << "\n]\n";
    std::cout.flush();
    return exitCode;
}

void Setup(CLI::App& app, int* exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info", "Analyse MP3 files: audio start, length, format, frame count, Xing/Info frame and tags.");
    command->add_flag("--json", options->json, "Print the figures as a JSON array");
    command->add_option("FILE", options->files, "MP3 files to analyse")->required();
    command->callback([options, exitCode] { *exitCode = RunInfo(*options); });
}

}  // namespace

Command InfoCommand() { return Command{"info", 10, Setup}; }

}  // namespace qm::cli
