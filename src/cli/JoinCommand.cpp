// quillmere-cli join: several files into one, or the batch join of a fixed list of files to
// the beginning or end of every main file.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <limits>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "batch/BatchJoin.h"
#include "cli/ChannelNames.h"
#include "cli/CommandRegistry.h"
#include "cli/GainReport.h"
#include "cli/JsonReport.h"
#include "cli/OptionMapping.h"
#include "cli/Terminal.h"
#include "join/ChooseJoin.h"
#include "join/JoinList.h"
#include "join/RunJoin.h"
#include "marks/CueSheet.h"
#include "output/OutputPath.h"
#include "stream/FailureMessages.h"
#include "stream/Mp3Encoder.h"
#include "stream/Mp3FrameReader.h"

namespace qm::cli {
namespace {

// The tag fields given on the command line; an absent option leaves its field alone.
struct TagOptions {
    std::optional<std::string> title, artist, album, year, comment, genre;
    std::optional<int> track;

    // tag with the given fields replaced.
    TagInfo Over(TagInfo tag) const {
        if (title) tag.title = *title;
        if (artist) tag.artist = *artist;
        if (album) tag.album = *album;
        if (year) tag.year = *year;
        if (comment) tag.comment = *comment;
        if (genre) tag.genre = *genre;
        if (track) tag.track = *track;
        return tag;
    }
};

struct JoinArgs {
    std::vector<std::string> files;
    JoinEncodingValues encoding;  // --rate, --bitrate, --channels, --no-postfix
    TagOptions tag;
    bool batch = false;
    bool prepend = false;
    bool append = false;
    std::vector<std::string> with;
    OutputOptionValues placement;  // -o (the joined file; with --batch the folder), --tree, --if-exists
    bool verify = false;           // decode and check every output before it is put in place
    bool reencode = false;         // re-encode with the automatic parameters even where frames could be copied
    bool chapters = false;         // one chapter per joined file in each output's tag
    bool cue = false;              // a cue sheet beside each output
    std::optional<double> gainDb;  // --gain: the volume change of every output
    bool json = false;
};

// The outcome of each file (the joined file, or each main file of a batch): its line of
// output, "FILE: OUTCOME" and the path written below it, or its record in the JSON document.
void Print(const std::vector<FileRecord>& records, bool json, bool cancelled) {
    if (json) {
        JsonReport report(std::cout, "join");
        for (const FileRecord& record : records) report.Add(record);
        report.Finish(cancelled);
        return;
    }
    for (const FileRecord& record : records) {
        std::cout << LineField(record.file) << ": " << LineField(record.outcome) << "\n";
        for (const std::string& output : record.outputs) std::cout << "  " << LineField(output) << "\n";
    }
}

FileRecord Failed(const std::filesystem::path& file, std::string text) {
    return FileRecord{file.string(), FileStatus::Failed, std::move(text), {}, {}};
}

// The joiner options the command line asks for.
JoinerOptions EncodingOptions(const JoinArgs& args) {
    JoinerOptions options;
    ApplyJoinEncodingOptions(args.encoding, &options);
    options.WriteChapters = args.chapters;
    options.WriteCueSheet = args.cue;
    options.VolumeChangeTenthsDb = GainTenthsDb(args.gainDb);
    return options;
}

// What a successful join did, for its output line. A re-encoded join reports the values of
// its first frame: LAME encodes the nearest rate and bit rate it can, not always the ones asked.
std::string JoinedText(std::size_t fileCount, const JoinChoice& choice, const std::filesystem::path& output) {
    const std::string files = std::to_string(fileCount) + " files";
    if (choice.method == JoinMethod::Direct) return files + " joined by copying their frames";
    EncoderParams encoded = choice.params;
    Mp3FrameReader reader;
    Mp3FrameHeader header;
    if (reader.Open(output) && reader.NextFrame(&header) != nullptr) {
        encoded.sampleRateHz = header.sampleRateHz;
        encoded.bitRateKbps = header.bitRateKbps;
        encoded.channelMode = header.channelMode;
    }
    return files + " re-encoded at " + std::to_string(encoded.sampleRateHz) + " Hz, " +
           std::to_string(encoded.bitRateKbps) + " kbps, " + std::string(EncodedChannelWord(encoded.channelMode));
}

// What the join wrote besides the audio, for the end of its outcome line: ", with 3 chapters"
// and ", and a cue sheet beside it" (", with a cue sheet beside it" alone).
std::string NavigationText(const JoinNavigation& navigation, std::size_t chapters) {
    std::string text;
    if (navigation.chapters) text += ", with " + std::to_string(chapters) + (chapters == 1 ? " chapter" : " chapters");
    if (navigation.cueSheet)
        text += navigation.chapters ? ", and a cue sheet beside it" : ", with a cue sheet beside it";
    return text;
}

int ExitCodeFor(bool ok, bool cancelled, const InterruptGuard& guard) {
    if (cancelled) return guard.CancelledExitCode();
    return ok ? kExitOk : kExitSomeFailed;
}

// Joins the files into one output, choosing the method as the joiner page does.
int RunOneJoin(const JoinArgs& args) {
    const std::filesystem::path target = *args.placement.outputDir;
    // A folder or a read-only file is refused before any work, and never replaced.
    if (!CanWriteOutput(target)) {
        Print({Failed(target, "Join failure. " + FailedToCreateMessage(target))}, args.json, false);
        return kExitSomeFailed;
    }
    JoinList job;
    for (const auto& file : args.files) job.AddSource(file);
    const TagInfo tag = args.tag.Over(TagInfo{});
    job.SetTargetTag(tag.title, tag.artist, tag.album, tag.year, tag.comment, tag.genre, tag.track);
    job.SetVerifyOutput(args.verify);

    CancelFlag cancel{0};
    InterruptGuard guard(cancel);
    TerminalProgress terminal = TerminalProgress::ForStderr();
    NullPump pump;
    const LongOperation operation{&terminal, &terminal, &pump, &cancel};
    JoinChoice choice;
    const RunResult result = RunJoin(job, target, EncodingOptions(args),
                                     args.reencode ? ForceReencode::Yes : ForceReencode::No, operation, &choice);
    terminal.Clear();
    FileRecord record = Failed(target, "Join failure. " + result.message);
    record.status = StatusOf(result);
    if (result.IsDone()) {
        record.outcome = JoinedText(args.files.size(), choice, target) +
                         NavigationText(job.Navigation(), job.JoinedChapters().size());
        record.outputs = {target.string()};
        if (args.cue) record.outputs.push_back(CueSheetBeside(target).string());
        record.extra.emplace_back("join", choice.method == JoinMethod::Direct ? "copied" : "re-encoded");
        if (args.gainDb) {
            record.outcome += GainOutcomeText(job.AppliedGainDb(), job.GainCounts().clampedHigh);
            AddGainMembers(job.AppliedGainDb(), job.GainCounts().clampedHigh, &record);
        }
    } else if (result.IsCancelled()) {
        record.outcome = "Cancelled";
    }
    Print({record}, args.json, result.IsCancelled());
    return ExitCodeFor(result.IsDone(), result.IsCancelled(), guard);
}

// Joins the --with files to every main file, each output placed by the output options.
int RunBatch(const JoinArgs& args) {
    JoinerOptions options = EncodingOptions(args);
    ApplyJoinOutputOptions(args.placement, &options);

    std::vector<BatchJoinItem> items;
    for (const std::string& main : args.files) {
        BatchJoinItem item;
        item.mainPath = main;
        // As on the batch page, each output's tag starts from its main file's own tag; the
        // tag options replace single fields of it.
        TagInfo own;
        ReadTags(item.mainPath, &own);
        item.tag = args.tag.Over(std::move(own));
        items.push_back(std::move(item));
    }
    const std::vector<std::filesystem::path> joined(args.with.begin(), args.with.end());

    CancelFlag cancel{0};
    InterruptGuard guard(cancel);
    TerminalProgress terminal = TerminalProgress::ForStderr();
    NullPump pump;
    const BatchJoinProgress progress{{&terminal, &terminal, &pump, &cancel}, nullptr, nullptr, args.verify};
    const RunOutcome result =
        RunBatchJoin(items, joined, args.append ? JoinTypeCode::Append : JoinTypeCode::Prepend, options, progress);
    terminal.Clear();

    const bool cancelled = result == RunOutcome::Cancelled;
    std::vector<FileRecord> records;
    bool allDone = true;
    for (const BatchJoinItem& item : items) {
        FileRecord record{item.mainPath.string(), StatusOf(item.result), item.outcome, {}, {}};
        if (!item.outputPath.empty()) record.outputs = {item.outputPath.string()};
        if (!item.outputPath.empty() && args.cue) record.outputs.push_back(CueSheetBeside(item.outputPath).string());
        if (!item.outputPath.empty() && args.gainDb) {
            record.outcome += GainOutcomeText(item.gainDb, item.gainCounts.clampedHigh);
            AddGainMembers(item.gainDb, item.gainCounts.clampedHigh, &record);
        }
        records.push_back(std::move(record));
        allDone = allDone && !item.outputPath.empty();
    }
    Print(records, args.json, cancelled);
    return ExitCodeFor(allDone, cancelled, guard);
}

// Checks what CLI11 cannot express; the message for a usage error, or empty.
std::string UsageProblem(const JoinArgs& args) {
    const int encoding = (args.encoding.rateHz > 0) + (args.encoding.kbps > 0) + !args.encoding.channels.empty();
    if (encoding != 0 && encoding != 3) return "--rate, --bitrate and --channels go together";
    // A rate MPEG does not know is the encoder's to refuse ("Bad encoding parameter").
    if (encoding == 3 && IsMpegSampleRate(args.encoding.rateHz)) {
        if (std::string mismatch = EncodingMismatch(args.encoding.rateHz, args.encoding.kbps); !mismatch.empty())
            return mismatch;
    }
    if (args.batch) {
        if (args.prepend == args.append) return "--batch needs one of --prepend and --append";
        if (args.with.empty()) return "--batch needs the files to join: --with FILE...";
        if (args.reencode) return "--reencode joins files into one output; it does not go with --batch";
        return {};
    }
    if (!args.placement.outputDir) return "join needs the output file: -o OUT";
    if (args.files.size() < 2) return "join needs at least two files";
    if (args.prepend || args.append || !args.with.empty() || args.placement.tree || args.placement.ifExists ||
        args.encoding.noPostfix) {
        return "--prepend, --append, --with, --tree, --if-exists and --no-postfix need --batch";
    }
    return {};
}

void Setup(CLI::App& app, int* exitCode) {
    auto args = std::make_shared<JoinArgs>();
    CLI::App* join = app.add_subcommand(
        "join", "Join files into one MP3 file, or (--batch) join files to the beginning or end of every main file");
    AddJoinOutputOptions(join, &args->placement);
    join->add_flag("--reencode", args->reencode,
                   "Re-encode with the automatic parameters even where the frames could be copied");
    join->add_option("--rate", args->encoding.rateHz, "Re-encode at this sample rate (Hz)")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    join->add_option("--bitrate", args->encoding.kbps, "Re-encode at this constant bit rate (kbit/s)")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    join->add_option("--channels", args->encoding.channels, "Re-encode as joint, stereo or mono")
        ->check(CLI::IsMember(ChannelOptionWords()));
    join->add_option("--title", args->tag.title, "Title of the joined file's tag");
    join->add_option("--artist", args->tag.artist, "Artist of the joined file's tag");
    join->add_option("--album", args->tag.album, "Album of the joined file's tag");
    join->add_option("--year", args->tag.year, "Year of the joined file's tag");
    join->add_option("--comment", args->tag.comment, "Comment of the joined file's tag");
    join->add_option("--genre", args->tag.genre, "Genre of the joined file's tag");
    join->add_option("--track", args->tag.track, "Track number of the joined file's tag")
        ->check(CLI::NonNegativeNumber);
    join->add_flag("--chapters", args->chapters,
                   "Write one chapter per joined file into the output's tag, at the sample where its audio begins");
    join->add_flag("--cue", args->cue,
                   "Write a cue sheet beside the output (NAME.cue), one track per joined file; an existing sheet of "
                   "that name counts as an existing output");
    AddGainOption(join, &args->gainDb);
    join->add_flag("--batch", args->batch, "Join the --with files to every main file");
    join->add_flag("--prepend", args->prepend, "With --batch: the --with files go before each main file");
    join->add_flag("--append", args->append, "With --batch: the --with files go after each main file");
    join->add_option("--with", args->with, "With --batch: the files joined to every main file")->expected(1, -1);
    join->add_flag("--no-postfix", args->encoding.noPostfix,
                   "With --batch: do not add \"_joined\" to the output names");
    AddVerifyAndJsonFlags(join, &args->verify,
                          "Decode every output and check it before it is put in place; one that fails is deleted",
                          &args->json);
    join->add_option("FILE", args->files, "Files to join in order; with --batch, the main files")->required();
    join->footer(
        "Without --rate, --bitrate and --channels the join chooses itself: files whose frames can share\n"
        "one stream (same MPEG version, layer, sample rate and channel count; stereo and joint stereo mix;\n"
        "any bit rates) are joined by copying their frames under a fresh Xing/Info frame; others are\n"
        "re-encoded at the highest rate and bit rate among them. The outcome line says which ran.\n"
        "With --batch, each output's tag starts from its main file's tag and the tag options replace\n"
        "single fields of it. Exit codes: 0 done, 1 some join failed, 2 usage error, 130 cancelled by\n"
        "Ctrl-C, 143 by SIGTERM, 129 by SIGHUP (the output being written is deleted).");
    join->callback([args, exitCode, join] {
        if (const std::string problem = UsageProblem(*args); !problem.empty()) {
            throw CLI::ValidationError(join->get_name(), problem);
        }
        *exitCode = args->batch ? RunBatch(*args) : RunOneJoin(*args);
    });
}

}  // namespace

Command JoinCommand() { return Command{"join", 30, Setup}; }
}  // namespace qm::cli
