// quillmere-cli info [--json] FILE...: the analysis figures, frame count, Xing/Info frame and
// tags of each file.

#include <CLI/CLI.hpp>

#include <cmath>
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
#include "cli/JsonReport.h"
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
    std::vector<Chapter> chapters;  // as the tag gives them
};

const char* VersionName(MpegVersion version) {
    switch (version) {
        case MpegVersion::Mpeg1:
            return "MPEG-1";
        case MpegVersion::Mpeg2:
            return "MPEG-2";
        case MpegVersion::Mpeg25:
            return "MPEG-2.5";
        case MpegVersion::Reserved:
            break;
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
    ReadChapters(path, &report.chapters);
    return report;
}

// ---------------------------------------------------------------------------------------
// JSON

using Json = nlohmann::ordered_json;

// Seconds with six decimals, as the text output shows them.
std::string SixDecimals(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// Milliseconds as seconds.
double Seconds(std::uint32_t ms) { return static_cast<double>(ms) / 1000.0; }

template <typename T>
std::string OptionalText(const std::optional<T>& value) {
    return value ? std::to_string(*value) : "null";
}

template <typename T>
Json OptionalJson(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json TagsJson(const TagInfo& tags) {
    Json json;
    json["title"] = ValidUtf8Text(tags.title);
    json["artist"] = ValidUtf8Text(tags.artist);
    json["album"] = ValidUtf8Text(tags.album);
    json["year"] = ValidUtf8Text(tags.year);
    json["genre"] = ValidUtf8Text(tags.genre);
    json["comment"] = ValidUtf8Text(tags.comment);
    json["track"] = tags.track;
    return json;
}

// The figures of an analysed file: the "info" member of its record.
Json FiguresJson(const FileReport& report) {
    Json json;
    json["size"] = report.sizeBytes;
    json["audioStart"] = report.audioStart;
    json["durationSeconds"] = report.durationSeconds;
    // Rounded to the microsecond, as the text shows it.
    json["lengthSeconds"] = std::round(report.lengthSeconds * 1e6) / 1e6;
    json["sampleRate"] = report.sampleRateHz;
    json["channelMode"] = static_cast<int>(report.channelMode);
    json["averageKbps"] = report.averageKbps;
    json["frames"] = report.frames;
    json["version"] = VersionName(report.version);
    json["layer"] = report.layer;
    if (report.xing) {
        json["xing"] = Json{{"tag", report.xing->tag},
                            {"frames", OptionalJson(report.xing->frames)},
                            {"bytes", OptionalJson(report.xing->bytes)}};
    } else {
        json["xing"] = nullptr;
    }
    json["tags"] = TagsJson(report.tags);
    json["chapters"] = Json::array();
    for (const Chapter& chapter : report.chapters) {
        json["chapters"].push_back(Json{{"title", ValidUtf8Text(chapter.title)},
                                        {"begin", Seconds(chapter.startMs)},
                                        {"end", Seconds(chapter.endMs)}});
    }
    return json;
}

FileRecord RecordOf(const FileReport& report) {
    FileRecord record;
    record.file = report.path;
    record.status = report.ok ? FileStatus::Done : FileStatus::Failed;
    record.outcome = report.error;
    if (report.ok) record.extra.emplace_back("info", FiguresJson(report));
    return record;
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
    line("duration:", std::to_string(report.durationSeconds) + " s (" + SixDecimals(report.lengthSeconds) + " s)");
    line("format:", std::string(VersionName(report.version)) + " Layer " + std::to_string(report.layer) + ", " +
                        std::to_string(report.sampleRateHz) + " Hz, " +
                        std::string(ChannelModeReportText(report.channelMode)) + " (" +
                        std::to_string(static_cast<int>(report.channelMode)) + ")");
    line("average:", std::to_string(report.averageKbps) + " kbit/s");
    line("frames:", std::to_string(report.frames));
    if (report.xing) {
        line("xing:", report.xing->tag + ", frames " + OptionalText(report.xing->frames) + ", bytes " +
                          OptionalText(report.xing->bytes));
    } else {
        line("xing:", "none");
    }
    const std::pair<const char*, const std::string*> texts[] = {
        {"title:", &report.tags.title}, {"artist:", &report.tags.artist}, {"album:", &report.tags.album},
        {"year:", &report.tags.year},   {"genre:", &report.tags.genre},   {"comment:", &report.tags.comment}};
    for (const auto& [label, value] : texts) {
        if (!value->empty()) line(label, *value);
    }
    if (report.tags.track != 0) line("track:", std::to_string(report.tags.track));
    for (const Chapter& chapter : report.chapters) {
        char span[64];
        std::snprintf(span, sizeof span, "%.3f-%.3f s", Seconds(chapter.startMs), Seconds(chapter.endMs));
        line("chapter:", chapter.title.empty() ? std::string(span) : std::string(span) + " " + chapter.title);
    }
    return out;
}

struct InfoOptions {
    bool json = false;
    std::vector<std::string> files;
};

int RunInfo(const InfoOptions& options) {
    int exitCode = kExitOk;
    std::optional<JsonReport> json;
    if (options.json) json.emplace(std::cout, "info");
    // One file at a time, printed as soon as it is analysed: memory does not grow with the
    // number of files.
    for (const std::string& path : options.files) {
        const FileReport report = Analyse(path);
        if (!report.ok) exitCode = kExitSomeFailed;
        if (json) {
            json->Add(RecordOf(report));
        } else if (report.ok) {
            std::cout << ReportText(report) << std::flush;
        } else {
            std::cerr << report.error << "\n";
        }
    }
    if (json) json->Finish(/*cancelled=*/false);
    std::cout.flush();
    return exitCode;
}

void Setup(CLI::App& app, int* exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info", "Analyse MP3 files: audio start, length, format, frame count, Xing/Info frame and tags.");
    command->add_flag("--json", options->json, "Print the figures as JSON (see the README for its shape)");
    command->add_option("FILE", options->files, "MP3 files to analyse")->required();
    command->callback([options, exitCode] { *exitCode = RunInfo(*options); });
}

}  // namespace

Command InfoCommand() { return Command{"info", 10, Setup}; }

}  // namespace qm::cli
