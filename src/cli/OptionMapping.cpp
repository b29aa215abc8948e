#include "cli/OptionMapping.h"

#include <CLI/CLI.hpp>

#include <map>

#include "cli/ChannelNames.h"
#include "stream/TenthsText.h"

namespace qm::cli {

namespace {

const std::map<std::string, TrackNumberCode>& TrackCodes() {
    static const std::map<std::string, TrackNumberCode> codes = {
        {"source", TrackNumberCode::Source},
        {"piece", TrackNumberCode::Piece},
        {"none", TrackNumberCode::None},
    };
    return codes;
}

const std::map<std::string, TargetExistsCode>& TargetExistsCodes() {
    static const std::map<std::string, TargetExistsCode> codes = {
        {"rename", TargetExistsCode::Rename},
        {"overwrite", TargetExistsCode::Overwrite},
        {"skip", TargetExistsCode::Skip},
    };
    return codes;
}

template <typename Code>
std::vector<std::string> Names(const std::map<std::string, Code>& codes) {
    std::vector<std::string> names;
    for (const auto& entry : codes) names.push_back(entry.first);
    return names;
}

const CLI::Validator kNotEmpty(
    [](std::string& text) { return text.empty() ? std::string("must not be empty") : std::string(); }, "TEMPLATE");

void AddIfExists(CLI::App* command, OutputOptionValues* values) {
    command
        ->add_option("--if-exists", values->ifExists,
                     "When a target exists: rename (add _1, _2, ...), overwrite or skip")
        ->check(CLI::IsMember(Names(TargetExistsCodes())));
}

// -o and --tree, named and checked alike on every command: --tree without -o is a usage error.
void AddOutputFolder(CLI::App* command, OutputOptionValues* values, const std::string& names, const std::string& help) {
    CLI::Option* outputDir = command->add_option(names, values->outputDir, help);
    command->add_flag("--tree", values->tree, "Re-create each source's folder path below -o")->needs(outputDir);
}

}  // namespace

void AddSplitOutputOptions(CLI::App* command, OutputOptionValues* values) {
    AddOutputFolder(command, values, "-o,--output-dir", "Folder for the pieces (default: each source's own folder)");
    command->add_flag("--folder-per-file", values->folderPerFile,
                      "Put the pieces of each source into a folder named after it");
    command->add_option("--name", values->name, "File-name template: %F% %P% %T% %S% %I% %A% %L% %Y% %G% %N%")
        ->check(kNotEmpty);
    command
        ->add_option("--name-digits", values->nameDigits,
                     "Digits of numbers in file names, 0 = as many as the total has")
        ->check(CLI::Range(0, kMaxDigitNumber));
    command->add_option("--title", values->title, "ID3 title template: %I% %F% %P% %T% %S%");
    command
        ->add_option("--title-digits", values->titleDigits, "Digits of numbers in titles, 0 = as many as the total has")
        ->check(CLI::Range(0, kMaxDigitNumber));
    command->add_flag("--no-tag", values->noTag, "Write no ID3 tag into the pieces");
    command->add_option("--track", values->track, "Track number of each piece's tag: source, piece or none")
        ->check(CLI::IsMember(Names(TrackCodes())));
    AddIfExists(command, values);
}

void AddJoinOutputOptions(CLI::App* command, OutputOptionValues* values) {
    AddOutputFolder(command, values, "-o,--output,--output-dir",
                    "The joined file; with --batch, the folder of the outputs (default: each main "
                    "file's folder)");
    AddIfExists(command, values);
}

namespace {

// The placement the splitter and joiner options share: the folder (without -o, beside the
// sources), the tree below it and what happens when a target exists.
template <typename Options>
void ApplyPlacement(const OutputOptionValues& values, Options* options) {
    if (values.outputDir) {
        options->OutputFolderOpt = OutputFolderCode::Specific;
        options->SpecifiedOutputFolder = *values.outputDir;
    } else {
        options->OutputFolderOpt = OutputFolderCode::SameAsSource;
    }
    options->CreateTreeDirs = values.tree;
    if (values.ifExists) options->TargetExistsOpt = TargetExistsCodes().at(*values.ifExists);
}

}  // namespace

void AddVerifyAndJsonFlags(CLI::App* command, bool* verify, const std::string& verifyHelp, bool* json) {
    command->add_flag("--verify", *verify, verifyHelp);
    command->add_flag("--json", *json, "Print the outcome as JSON (see the README for its shape)");
}

void ApplySplitOutputOptions(const OutputOptionValues& values, SplitterOptions* options) {
    ApplyPlacement(values, options);
    options->CreateFolderForEachMP3 = values.folderPerFile;
    if (values.name) options->OutputFileName = *values.name;
    if (values.nameDigits) options->FilenameDigitNumber = *values.nameDigits;
    if (values.title) options->ID3TitleFormat = *values.title;
    if (values.titleDigits) options->TitleDigitNumber = *values.titleDigits;
    if (values.noTag) options->KeepID3tag = false;
    if (values.track) options->ID3TrackNumType = TrackCodes().at(*values.track);
}

void ApplyJoinOutputOptions(const OutputOptionValues& values, JoinerOptions* options) {
    ApplyPlacement(values, options);
}

bool TimeOptionTenths(const std::string& text, const char* name, int* tenths, std::string* error) {
    if (text.empty()) return true;
    const auto value = StrictTimeToTenths(text);
    if (!value) {
        *error = std::string(name) + ": \"" + text + "\" is not a time (seconds such as 12.5, or M:SS[.t])";
        return false;
    }
    *tenths = *value;
    return true;
}

bool ApplySplitEncodingOptions(const SplitEncodingValues& values, SplitterOptions* options, std::string* error) {
    options->ReencodePieces = values.reencode;
    const bool allGiven = values.rateHz && values.bitRateKbps && !values.channels.empty();
    // Only all three together replace the source's own values.
    options->UseSameParams = !allGiven;
    if (allGiven) {
        *error = EncodingMismatch(*values.rateHz, *values.bitRateKbps);
        if (!error->empty()) return false;
    }
    if (values.rateHz) options->MP3SampleRate = *values.rateHz;
    if (values.bitRateKbps) options->MP3BitRate = *values.bitRateKbps;
    if (const std::optional<ChannelMode> mode = ChannelModeOfWord(values.channels)) options->MP3ChannelMode = *mode;
    if (values.first) {
        options->SplitFirstNPieces = true;
        options->FirstPiecesNumber = *values.first;
    }
    return TimeOptionTenths(values.fadeIn, "--fade-in", &options->FadeInLen, error) &&
           TimeOptionTenths(values.fadeOut, "--fade-out", &options->FadeOutLen, error) &&
           TimeOptionTenths(values.leadIn, "--lead-in", &options->ForwardOverlap, error) &&
           TimeOptionTenths(values.tail, "--tail", &options->BackwardOverlap, error);
}

void ApplyJoinEncodingOptions(const JoinEncodingValues& values, JoinerOptions* options) {
    if (values.rateHz > 0) {
        options->AutoMP3EncodingParam = false;
        options->MP3SampleRate = values.rateHz;
        options->MP3BitRate = values.kbps;
        options->MP3ChannelMode = ChannelModeOfWord(values.channels).value_or(ChannelMode::Stereo);
    }
    options->AddPostfixAtEndOfFile = !values.noPostfix;
}

std::string EncodingMismatch(int sampleRateHz, int bitRateKbps) {
    const int fitting = BitRateForSampleRate(sampleRateHz, bitRateKbps);
    if (fitting == bitRateKbps) return {};
    return "--bitrate " + std::to_string(bitRateKbps) + " does not go with --rate " + std::to_string(sampleRateHz) +
           ": at " + std::to_string(sampleRateHz) + " Hz the bit rate is at " +
           (fitting < bitRateKbps ? "most " : "least ") + std::to_string(fitting) + " kbit/s";
}

}  // namespace qm::cli
