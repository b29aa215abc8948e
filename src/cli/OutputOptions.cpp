#include "cli/OutputOptions.h"

#include <CLI/CLI.hpp>

#include <map>

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
    [](std::string& text) { return text.empty() ? std::string("must not be empty") : std::string(); },
    "TEMPLATE");

void AddIfExists(CLI::App* command, OutputOptionValues* values) {
    command
        ->add_option("--if-exists", values->ifExists,
                     "When a target exists: rename (add _1, _2, ...), overwrite or skip")
        ->check(CLI::IsMember(Names(TargetExistsCodes())));
}

// -o and --tree, named and checked alike on every command: --tree without -o is a usage error.
void AddOutputFolder(CLI::App* command, OutputOptionValues* values, const std::string& names,
                     const std::string& help) {
    CLI::Option* outputDir = command->add_option(names, values->outputDir, help);
    command->add_flag("--tree", values->tree, "Re-create each source's folder path below -o")
        ->needs(outputDir);
}

}  // namespace

void AddSplitOutputOptions(CLI::App* command, OutputOptionValues* values) {
    AddOutputFolder(command, values, "-o,--output-dir",
                    "Folder for the pieces (default: each source's own folder)");
    command->add_flag("--folder-per-file", values->folderPerFile,
                      "Put the pieces of each source into a folder named after it");
    command->add_option("--name", values->name,
                        "File-name template: %F% %P% %T% %S% %I% %A% %L% %Y% %G% %N%")
        ->check(kNotEmpty);
    command->add_option("--name-digits", values->nameDigits,
                        "Digits of numbers in file names, 0 = as many as the total has")
        ->check(CLI::Range(0, kMaxDigitNumber));
    command->add_option("--title", values->title, "ID3 title template: %I% %F% %P% %T% %S%");
    command->add_option("--title-digits", values->titleDigits,
                        "Digits of numbers in titles, 0 = as many as the total has")
        ->check(CLI::Range(0, kMaxDigitNumber));
    command->add_flag("--no-tag", values->noTag, "Write no ID3 tag into the pieces");
    command
        ->add_option("--track", values->track,
                     "Track number of each piece's tag: source, piece or none")
        ->check(CLI::IsMember(Names(TrackCodes())));
    AddIfExists(command, values);
}

void AddJoinOutputOptions(CLI::App* command, OutputOptionValues* values) {
    AddOutputFolder(command, values, "-o,--output,--output-dir",
                    "The joined file; with --batch, the folder of the outputs (default: each main "
                    "file's folder)");
    AddIfExists(command, values);
}

void ApplySplitOutputOptions(const OutputOptionValues& values, SplitterOptions* options) {
    if (values.outputDir) {
        options->OutputFolderOpt = OutputFolderCode::Specific;
        options->SpecifiedOutputFolder = *values.outputDir;
    } else {
        options->OutputFolderOpt = OutputFolderCode::SameAsSource;
    }
    options->CreateTreeDirs = values.tree;
    options->CreateFolderForEachMP3 = values.folderPerFile;
    if (values.name) options->OutputFileName = *values.name;
    if (values.nameDigits) options->FilenameDigitNumber = *values.nameDigits;
    if (values.title) options->ID3TitleFormat = *values.title;
    if (values.titleDigits) options->TitleDigitNumber = *values.titleDigits;
    if (values.noTag) options->KeepID3tag = false;
    if (values.track) options->ID3TrackNumType = TrackCodes().at(*values.track);
    if (values.ifExists) options->TargetExistsOpt = TargetExistsCodes().at(*values.ifExists);
}

void ApplyJoinOutputOptions(const OutputOptionValues& values, JoinerOptions* options) {
    if (values.outputDir) {
        options->OutputFolderOpt = OutputFolderCode::Specific;
        options->SpecifiedOutputFolder = *values.outputDir;
    } else {
        options->OutputFolderOpt = OutputFolderCode::SameAsSource;
    }
    options->CreateTreeDirs = values.tree;
    if (values.ifExists) options->TargetExistsOpt = TargetExistsCodes().at(*values.ifExists);
}

}  // namespace qm::cli
