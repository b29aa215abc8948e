// quillmere-cli split: the batch split run from the command line.
//
//   quillmere-cli split (--size N[KB|MB|GB] | --count N | --time M:SS | --range BEGIN[,LENGTH] |
//                        --points T1,T2,... [--skip K,...] | --silence [silence options] |
//                        --cue SHEET | --cue-beside | --chapters | --labels FILE) [options] FILE...
//
// Each FILE is split by the batch planner of the chosen mode (--points: by the hand-made
// pieces planner); one general sequence number (%S%) runs across all files. One line per
// file reports its outcome and the paths written; exit code 0 when every file is done, 1
// when some file failed, 2 for a usage error, 128 + the signal when Ctrl-C (130), SIGTERM
// (143), SIGHUP (129) or a closed stdout (141) cancelled the run (the pieces of the file being
// split are deleted).

#include <CLI/CLI.hpp>

#include <limits>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "batch/BatchSplit.h"
#include "batch/MarkReaders.h"
#include "cli/ChannelNames.h"
#include "cli/CommandRegistry.h"
#include "cli/GainReport.h"
#include "cli/JsonReport.h"
#include "cli/OptionMapping.h"
#include "cli/Terminal.h"
#include "split/PagePlanners.h"
#include "stream/AudioLayer.h"
#include "stream/FailureMessages.h"
#include "stream/Mp3Encoder.h"
#include "stream/Mp3FrameReader.h"
#include "stream/TenthsText.h"

namespace qm::cli {

namespace {

namespace fs = std::filesystem;
using batch_plans::BatchEntry;

// "10MB", "1.5 GB", "700kb", "3" (megabytes): the size text and its unit.
bool ParseSize(const std::string& text, std::string* sizeText, SizeUnitCode* unit) {
    std::string number = text;
    *unit = SizeUnitCode::MB;
    auto endsWith = [&](const char* suffix) {
        const std::string s(suffix);
        if (number.size() < s.size()) return false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(number[number.size() - s.size() + i])) != s[i]) return false;
        }
        number.resize(number.size() - s.size());
        return true;
    };
    if (endsWith("KB"))
        *unit = SizeUnitCode::KB;
    else if (endsWith("MB"))
        *unit = SizeUnitCode::MB;
    else if (endsWith("GB"))
        *unit = SizeUnitCode::GB;
    while (!number.empty() && number.back() == ' ') number.pop_back();
    if (number.empty()) return false;
    bool digits = false;
    bool point = false;
    for (const char c : number) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    *sizeText = number;
    return digits;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) items.push_back(item);
    if (!text.empty() && text.back() == ',') items.emplace_back();
    return items;
}

// Everything the command line asked for.
struct SplitRequest {
    std::string size;
    std::optional<int> count;
    std::string time;
    std::string range;
    std::string points;
    std::string skip;
    bool silence = false;
    std::optional<int> thresholdDb;
    std::string minSilence;
    std::string minLength;
    std::string maxLength;
    bool trimSilence = false;
    std::string cue;
    bool cueBeside = false;
    bool chapters = false;
    std::string labels;
    bool dryRun = false;
    std::vector<std::string> files;
    OutputOptionValues output;
    SplitEncodingValues encoding;
    std::optional<double> gainDb;  // --gain
    bool verify = false;
    bool json = false;
};

// What the request means: the options, and the planner of each file. False with *error set
// for a value the options cannot hold.
struct SplitPlan {
    SplitterOptions options;
    BatchFilePlanner planner;
};

// The rows of a --points plan for a file of durationTenths: 0..T1, T1..T2, ..., Tn..end;
// rows named by --skip, and with --first N the rows after the N-th, are switched off.
std::vector<PieceRow> PointRows(const std::vector<int>& points, const std::vector<int>& skipRows,
                                const SplitterOptions& options, int durationTenths) {
    std::vector<PieceRow> rows;
    int start = 0;
    for (std::size_t i = 0; i <= points.size(); ++i) {
        PieceRow row;
        row.startTenths = start;
        row.endTenths = i < points.size() ? points[i] : std::max(durationTenths, start);
        start = row.endTenths;
        rows.push_back(row);
    }
    for (const int skipped : skipRows) rows[static_cast<std::size_t>(skipped - 1)].checked = false;
    if (options.SplitFirstNPieces) {
        for (std::size_t i = static_cast<std::size_t>(options.FirstPiecesNumber); i < rows.size(); ++i) {
            rows[i].checked = false;
        }
    }
    return rows;
}

bool MakePointsPlanner(const SplitRequest& request, SplitPlan* plan, std::string* error) {
    std::vector<int> points;
    for (const std::string& item : SplitList(request.points)) {
        const auto tenths = StrictTimeToTenths(item);
        if (!tenths || *tenths <= 0 || (!points.empty() && *tenths <= points.back())) {
            *error = "--points: give increasing times after 0, separated by commas";
            return false;
        }
        points.push_back(*tenths);
    }
    std::vector<int> skipRows;
    if (!request.skip.empty()) {
        for (const std::string& item : SplitList(request.skip)) {
            char* end = nullptr;
            const long row = std::strtol(item.c_str(), &end, 10);
            if (item.empty() || *end != '\0' || row < 1 || row > static_cast<long>(points.size()) + 1) {
                *error = "--skip: piece numbers from 1 to " + std::to_string(points.size() + 1);
                return false;
            }
            skipRows.push_back(static_cast<int>(row));
        }
    }
    plan->planner = [points, skipRows](const SplitPlanContext& context, BatchEntry* entry, int* sequence,
                                       std::string* message) {
        // The hand-made pieces list covers the file to its length in tenths.
        std::vector<PieceRow> rows =
            PointRows(points, skipRows, *context.options, entry->durationSeconds * kTenthsPerSecond);
        return page_plans::PlanManualPieces(context, entry->path, &rows, &entry->outputs, message, sequence);
    };
    return true;
}

// A time option of the silence mode in tenths, left as it is when not given; false with
// *error set.
bool SilenceTenths(const std::string& text, const char* option, int* tenths, std::string* error) {
    return text.empty() || TimeOptionTenths(text, option, tenths, error);
}

bool MakeSilencePlanner(const SplitRequest& request, SplitPlan* plan, std::string* error) {
    SilenceOptions silence;
    if (request.thresholdDb) silence.ThresholdDb = *request.thresholdDb;
    silence.TrimSilence = request.trimSilence;
    if (!SilenceTenths(request.minSilence, "--min-silence", &silence.MinSilenceTenths, error) ||
        !SilenceTenths(request.minLength, "--min-length", &silence.MinPieceTenths, error) ||
        !SilenceTenths(request.maxLength, "--max-length", &silence.MaxPieceTenths, error)) {
        return false;
    }
    if (silence.MinSilenceTenths <= 0) {
        *error = "--min-silence: the pauses must be longer than 0";
        return false;
    }
    plan->planner = MakeMarksFilePlanner(SilenceMarks(silence));
    return true;
}

// The planners of the marks modes; false when the request is for another mode.
bool MakeMarksPlanner(const SplitRequest& request, SplitPlan* plan, std::string* error, bool* made) {
    *made = true;
    // A sheet or label file describes one recording.
    const auto oneSource = [&](const char* option) {
        if (request.files.size() == 1) return true;
        *error = std::string(option) + ": give one FILE (the sheet describes one recording)";
        return false;
    };
    if (request.silence) return MakeSilencePlanner(request, plan, error);
    if (!request.cue.empty()) {
        if (!oneSource("--cue")) return false;
        plan->planner = MakeMarksFilePlanner(CueSheetMarks(request.cue));
    } else if (!request.labels.empty()) {
        if (!oneSource("--labels")) return false;
        plan->planner = MakeMarksFilePlanner(LabelFileMarks(request.labels));
    } else if (request.cueBeside) {
        plan->planner = MakeMarksFilePlanner(CueSheetBesideMarks());
    } else if (request.chapters) {
        plan->planner = MakeMarksFilePlanner(ChapterMarks());
    } else {
        *made = false;
    }
    return true;
}

bool MakeModePlanner(const SplitRequest& request, SplitPlan* plan, std::string* error) {
    if (!request.points.empty()) return MakePointsPlanner(request, plan, error);
    bool made = false;
    if (!MakeMarksPlanner(request, plan, error, &made)) return false;
    if (made) return true;
    SplitInputs inputs;
    if (!request.size.empty()) {
        std::string sizeText;
        SizeUnitCode unit{};
        if (!ParseSize(request.size, &sizeText, &unit)) {
            *error = "--size: \"" + request.size + "\" is not a size such as 700KB, 10MB or 1.5GB";
            return false;
        }
        inputs.mode = SplitTypeCode::BySize;
        inputs.sizeBytes = PieceSizeBytes(sizeText, unit);
        if (inputs.sizeBytes == 0) {
            *error = "--size: the pieces must hold at least one byte";
            return false;
        }
    } else if (request.count) {
        inputs.mode = SplitTypeCode::ByCount;
        inputs.count = *request.count;
    } else if (!request.time.empty()) {
        inputs.mode = SplitTypeCode::ByTime;
        if (!TimeOptionTenths(request.time, "--time", &inputs.pieceTenths, error)) return false;
        if (inputs.pieceTenths <= 0) {
            *error = "--time: the pieces must be longer than 0";
            return false;
        }
    } else {
        inputs.mode = SplitTypeCode::ByCustom;
        const std::vector<std::string> parts = SplitList(request.range);
        inputs.lengthTenths = 0;  // to the end unless a length is given
        if (parts.empty() || parts.size() > 2 || !TimeOptionTenths(parts[0], "--range", &inputs.beginTenths, error) ||
            (parts.size() == 2 && !TimeOptionTenths(parts[1], "--range", &inputs.lengthTenths, error))) {
            if (error->empty()) *error = "--range: give BEGIN or BEGIN,LENGTH";
            return false;
        }
    }
    plan->planner = MakeBatchFilePlanner(inputs);
    return true;
}

bool MakePlan(const SplitRequest& request, SplitPlan* plan, std::string* error) {
    plan->options = SplitterOptions{};
    ApplySplitOutputOptions(request.output, &plan->options);
    if (!ApplySplitEncodingOptions(request.encoding, &plan->options, error)) return false;
    plan->options.VolumeChangeTenthsDb = GainTenthsDb(request.gainDb);
    return MakeModePlanner(request, plan, error);
}

// Wraps a planner so that it first measures the file, as the batch page's list does when a
// file is added: a file that cannot be analysed fails with the load message.
BatchFilePlanner Measuring(BatchFilePlanner planner) {
    return [planner = std::move(planner)](const SplitPlanContext& context, BatchEntry* entry, int* sequence,
                                          std::string* message) {
        Mp3FrameReader reader;
        if (!reader.Open(entry->path)) {
            entry->outputs.clear();
            *message = FailedToLoadMessage(entry->path);
            return PlanResult::Failed;
        }
        entry->durationSeconds = reader.DurationSeconds();
        reader.Close();
        return planner(context, entry, sequence, message);
    };
}

// Wraps a planner so that every piece is decoded and checked once written, while the next one
// is written; a piece that fails fails its file, and neither it nor the pieces after it stay.
BatchFilePlanner Verifying(BatchFilePlanner planner) {
    return [planner = std::move(planner)](const SplitPlanContext& context, BatchEntry* entry, int* sequence,
                                          std::string* message) {
        SplitPlanContext verifying = context;
        verifying.verifyOutputs = true;
        return planner(verifying, entry, sequence, message);
    };
}

// What a volume change did to each file's pieces, for its line and its record.
struct SplitGain {
    std::optional<double> askedDb;  // --gain; without it nothing is reported
    bool reencode = false;          // the pieces are encoded again
    std::map<fs::path, GainEditCount> counts;

    // Whether the file's line and record tell of the gain: one was asked and its pieces written.
    bool Reported(const BatchSplitFile& file, bool dryRun) const {
        return askedDb && !dryRun && file.result && file.result->IsDone();
    }
    const GainEditCount& CountsOf(const fs::path& file) const {
        static const GainEditCount kNone;
        const auto found = counts.find(file);
        return found != counts.end() ? found->second : kNone;
    }
    // The gain applied to a file's pieces: whole steps where their frames were cut directly
    // (or their granules changed), the gain asked where they were encoded again.
    double AppliedDb(const fs::path& file) const {
        const int tenthsDb = GainTenthsDb(askedDb);
        if (!reencode || CountsOf(file).changedFields > 0) return WholeStepsDb(tenthsDb);
        return tenthsDb / 10.0;
    }
    std::string OutcomeText(const BatchSplitFile& file, bool dryRun) const {
        if (!Reported(file, dryRun)) return {};
        return GainOutcomeText(AppliedDb(file.entry.path), CountsOf(file.entry.path).clampedHigh);
    }
};

// Wraps a planner so that what the gain does to the granules of each file's pieces is counted
// for that file.
BatchFilePlanner CountingGain(BatchFilePlanner planner, std::map<fs::path, GainEditCount>* counts) {
    return [planner = std::move(planner), counts](const SplitPlanContext& context, BatchEntry* entry, int* sequence,
                                                  std::string* message) {
        GainEditCount& count = (*counts)[entry->path];
        count = GainEditCount{};
        SplitPlanContext counting = context;
        counting.gainCounts = &count;
        return planner(counting, entry, sequence, message);
    };
}

// Milliseconds as seconds with three decimals.
std::string SecondsText(Millis ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

// FILE <tab> OUTCOME [<tab> PATH]..., each field escaped so that it stays one field. A dry run
// lists no paths but a line for each planned piece: <tab> BEGIN <tab> END <tab> OUTPUT <tab>
// TITLE.
void PrintLine(const BatchSplitFile& file, bool dryRun, const SplitGain& gain) {
    std::string line =
        LineField(file.entry.path.string()) + "\t" + LineField(file.outcome + gain.OutcomeText(file, dryRun));
    if (!dryRun) {
        for (const fs::path& output : file.entry.outputs) line += "\t" + LineField(output.string());
    }
    line += '\n';
    if (dryRun) {
        for (const PlannedPiece& piece : file.pieces) {
            line += "\t" + SecondsText(piece.begin) + "\t" + SecondsText(piece.end) + "\t" +
                    LineField(piece.output.string()) + "\t" + LineField(piece.title) + "\n";
        }
    }
    std::cout << line << std::flush;
}

void PrintJson(const std::vector<BatchSplitFile>& files, bool cancelled, bool dryRun, const SplitGain& gain) {
    JsonReport report(std::cout, "split");
    for (const BatchSplitFile& file : files) {
        FileRecord record;
        record.file = file.entry.path.string();
        record.status = StatusOf(file.result);
        if (file.result) record.outcome = file.outcome + gain.OutcomeText(file, dryRun);
        if (gain.Reported(file, dryRun)) {
            AddGainMembers(gain.AppliedDb(file.entry.path), gain.CountsOf(file.entry.path).clampedHigh, &record);
        }
        if (!dryRun) {
            for (const fs::path& output : file.entry.outputs) record.outputs.push_back(output.string());
        } else {
            nlohmann::ordered_json pieces = nlohmann::ordered_json::array();
            for (const PlannedPiece& piece : file.pieces) {
                pieces.push_back({{"begin", static_cast<double>(piece.begin) / 1000.0},
                                  {"end", static_cast<double>(piece.end) / 1000.0},
                                  {"output", ValidUtf8Text(piece.output.string())},
                                  {"title", ValidUtf8Text(piece.title)}});
            }
            record.extra.emplace_back("pieces", std::move(pieces));
        }
        report.Add(record);
    }
    report.Finish(cancelled);
}

int RunSplit(const SplitRequest& request) {
    SplitPlan plan;
    std::string error;
    if (!MakePlan(request, &plan, &error)) {
        std::cerr << "quillmere-cli split: " << error << "\n";
        return kExitUsage;
    }

    std::vector<BatchSplitFile> files;
    for (const std::string& path : request.files) {
        BatchSplitFile file;
        file.entry.path = path;
        files.push_back(std::move(file));
    }

    CancelFlag cancel{0};
    InterruptGuard interrupt(cancel);
    TerminalProgress progress = TerminalProgress::ForStderr();
    NullPump pump;
    // Each file is measured and then opened again by its split engine: one scan for both.
    const audio::ScanMemoScope scanOnce;

    SplitGain gain{request.gainDb, plan.options.ReencodePieces, {}};
    BatchSplitJob job;
    job.planner =
        CountingGain(request.verify ? Verifying(Measuring(plan.planner)) : Measuring(plan.planner), &gain.counts);
    job.options = &plan.options;
    job.resolve = MakeSplitOutputResolver(plan.options);
    job.progress = BatchSplitProgress{&progress, &progress, nullptr, nullptr, &pump, &cancel};
    job.dryRun = request.dryRun;
    job.onFileDone = [&](const BatchSplitFile& file) {
        progress.Clear();
        if (!request.json) PrintLine(file, request.dryRun, gain);
    };

    const bool finished = RunBatchSplit(job, &files);
    progress.Clear();
    if (request.json) PrintJson(files, !finished, request.dryRun, gain);
    if (!finished) return interrupt.CancelledExitCode();
    for (const BatchSplitFile& file : files) {
        if (!file.result || !file.result->IsDone()) return kExitSomeFailed;
    }
    return kExitOk;
}

void AddModeOptions(CLI::App* command, SplitRequest* request) {
    CLI::Option_group* modes = command->add_option_group("mode", "How to cut (exactly one)");
    modes->add_option("--size", request->size, "Pieces of N bytes: N[KB|MB|GB] (MB when no unit is given)")
        ->type_name("N[KB|MB|GB]");
    modes->add_option("--count", request->count, "N pieces of equal duration")
        ->type_name("N")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    modes->add_option("--time", request->time, "Pieces of this duration: M:SS[.t] or seconds")->type_name("TIME");
    modes
        ->add_option("--range", request->range,
                     "One piece from BEGIN, LENGTH long (to the end without LENGTH or with 0)")
        ->type_name("BEGIN[,LENGTH]");
    modes->add_option("--points", request->points, "Cut at these times: T1,T2,... (pieces 1 to n+1)")
        ->type_name("T1,T2,...");
    CLI::Option* silence =
        modes->add_flag("--silence", request->silence, "Cut inside the pauses of the audio (see --threshold)");
    modes->add_option("--cue", request->cue, "Cut as the cue sheet says, naming and tagging the pieces from it")
        ->type_name("SHEET");
    modes->add_flag("--cue-beside", request->cueBeside, "Cut each FILE as its own NAME.cue beside it says");
    modes->add_flag("--chapters", request->chapters, "One piece for each chapter of the file's ID3v2 tag");
    modes->add_option("--labels", request->labels, "Cut as a label file says (start, end, text a line)")
        ->type_name("FILE");
    modes->require_option(1);
    command->add_option("--threshold", request->thresholdDb, "With --silence: quieter than DB dBFS is silence (-48)")
        ->type_name("DB")
        ->check(CLI::Range(kSilenceThresholdMinDb, kSilenceThresholdMaxDb))
        ->needs(silence);
    command->add_option("--min-silence", request->minSilence, "With --silence: the shortest pause that cuts (1.0)")
        ->type_name("SEC")
        ->needs(silence);
    command
        ->add_option("--min-length", request->minLength,
                     "With --silence: skip a cut that would leave a shorter piece (0: off)")
        ->type_name("SEC")
        ->needs(silence);
    command
        ->add_option("--max-length", request->maxLength,
                     "With --silence: cut a longer stretch at its quietest frame (0: off)")
        ->type_name("SEC")
        ->needs(silence);
    command->add_flag("--trim-silence", request->trimSilence, "With --silence: leave the pauses out of the pieces")
        ->needs(silence);
    command->add_option("--skip", request->skip, "With --points: piece numbers not to write")
        ->type_name("K,...")
        ->needs(modes->get_option("--points"));
}

void AddEncoderOptions(CLI::App* command, SplitRequest* request) {
    CLI::Option* reencode = command->add_flag("--reencode", request->encoding.reencode,
                                              "Decode and encode the pieces again instead of copying frames");
    command
        ->add_option("--rate", request->encoding.rateHz, "Re-encoding sample rate, Hz (with --bitrate and --channels)")
        ->needs(reencode)
        ->check(CLI::IsMember(kMpegSampleRatesHz));
    command->add_option("--bitrate", request->encoding.bitRateKbps, "Re-encoding bit rate, kbit/s")
        ->needs(reencode)
        ->check(CLI::Range(8, 320));
    command->add_option("--channels", request->encoding.channels, "Re-encoding channel mode")
        ->needs(reencode)
        ->check(CLI::IsMember(ChannelOptionWords()));
    command
        ->add_option("--fade-in", request->encoding.fadeIn,
                     "Fade each piece in over SEC (MP3 pieces cut directly: in whole 1.5 dB steps of each granule's "
                     "global gain, without re-encoding; Layer I/II pieces are re-encoded)")
        ->type_name("SEC");
    command
        ->add_option("--fade-out", request->encoding.fadeOut,
                     "Fade each piece out over SEC (as --fade-in: without re-encoding where it can)")
        ->type_name("SEC");
    AddGainOption(command, &request->gainDb);
    command->add_option("--lead-in", request->encoding.leadIn, "Repeat SEC from before each piece at its start")
        ->type_name("SEC");
    command->add_option("--tail", request->encoding.tail, "Append SEC from after each piece to its end")
        ->type_name("SEC");
    command->add_option("--first", request->encoding.first, "Write only the first N pieces of each file")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
}

void Setup(CLI::App& app, int* exitCode) {
    auto request = std::make_shared<SplitRequest>();
    CLI::App* command = app.add_subcommand("split", "Cut MP3 files into pieces");
    AddModeOptions(command, request.get());
    AddSplitOutputOptions(command, &request->output);
    AddEncoderOptions(command, request.get());
    AddVerifyAndJsonFlags(command, &request->verify,
                          "Decode every piece once written and check it; a piece that fails fails its file",
                          &request->json);
    command->add_flag("--dry-run", request->dryRun,
                      "Plan every file and print its pieces (begin, end, output, title); write nothing");
    command->add_option("FILE", request->files, "MP3 files to split")->required();
    command->footer(
        "Times are seconds with one decimal (12.5) or M:SS[.t]. One line per file: FILE, its outcome\n"
        "and the paths written, separated by tabs. Exit codes: 0 all done, 1 some file failed,\n"
        "2 usage error, 130 cancelled by Ctrl-C, 143 by SIGTERM, 129 by SIGHUP (the pieces of the\n"
        "file being split are deleted). --silence, --cue, --cue-beside, --chapters and --labels name\n"
        "the pieces \"%P% - %C%.mp3\" and title them %C% (the track's, chapter's or label's title) unless\n"
        "--name or --title says otherwise.");
    command->callback([request, exitCode] { *exitCode = RunSplit(*request); });
}

}  // namespace

Command SplitCommand() { return Command{"split", 20, Setup}; }

}  // namespace qm::cli
