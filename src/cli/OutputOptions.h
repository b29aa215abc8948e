#pragma once

// The output options of quillmere-cli shared by the split and join commands: where outputs go,
// how pieces are named and titled, and what happens when a target exists.

#include <optional>
#include <string>

#include "settings/Options.h"

namespace CLI {
class App;
}

namespace qm::cli {

// The values as given on the command line; an absent option leaves its setting alone.
struct OutputOptionValues {
    std::optional<std::string> outputDir;  // -o/--output-dir: the specific folder
    bool tree = false;                     // --tree: re-create the source's folders below it
    bool folderPerFile = false;            // --folder-per-file
    std::optional<std::string> name;       // --name: file-name template
    std::optional<int> nameDigits;         // --name-digits: 0 = automatic
    std::optional<std::string> title;      // --title: ID3 title template
    std::optional<int> titleDigits;        // --title-digits: 0 = automatic
    bool noTag = false;                    // --no-tag: pieces carry no ID3 tag
    std::optional<std::string> track;      // --track: source | piece | none
    std::optional<std::string> ifExists;   // --if-exists: rename | overwrite | skip
};

// Adds -o/--output-dir, --tree, --folder-per-file, --name, --name-digits, --title,
// --title-digits, --no-tag, --track and --if-exists to a split command. Values outside their
// range or list are usage errors of the parse.
void AddSplitOutputOptions(CLI::App* command, OutputOptionValues* values);

// Adds -o/--output/--output-dir (the joined file, or with --batch the output folder), --tree
// (which needs -o, as for split) and --if-exists to a join command.
void AddJoinOutputOptions(CLI::App* command, OutputOptionValues* values);

// Applies the given values to the splitter options. Without -o outputs go beside their sources.
void ApplySplitOutputOptions(const OutputOptionValues& values, SplitterOptions* options);

// Applies outputDir, --tree and --if-exists to the joiner options. Without an output folder
// outputs go beside their main files.
void ApplyJoinOutputOptions(const OutputOptionValues& values, JoinerOptions* options);

}  // namespace qm::cli
