#pragma once

// Every mapping of quillmere-cli's options onto the option records the engines take: where
// outputs go, how pieces are named and titled, what happens when a target exists, and how
// pieces and joins are encoded and shaped. Values the parse cannot check are checked here.

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

// Adds --verify (verifyHelp says what becomes of an output that fails its check) and --json
// (the outcome as JSON) to a command that writes files.
void AddVerifyAndJsonFlags(CLI::App* command, bool* verify, const std::string& verifyHelp, bool* json);

// Applies the given values to the splitter options. Without -o outputs go beside their sources.
void ApplySplitOutputOptions(const OutputOptionValues& values, SplitterOptions* options);

// Applies outputDir, --tree and --if-exists to the joiner options. Without an output folder
// outputs go beside their main files.
void ApplyJoinOutputOptions(const OutputOptionValues& values, JoinerOptions* options);

// The encoding and shaping options of split, as given; an absent option leaves its setting
// alone.
struct SplitEncodingValues {
    bool reencode = false;           // --reencode
    std::optional<int> rateHz;       // --rate
    std::optional<int> bitRateKbps;  // --bitrate
    std::string channels;            // --channels: joint | stereo | mono
    std::string fadeIn, fadeOut;     // --fade-in, --fade-out: times
    std::string leadIn, tail;        // --lead-in, --tail: times
    std::optional<int> first;        // --first: only the first N pieces of each file
};

// Applies the values to the splitter options. Only --rate, --bitrate and --channels together
// replace the source's own values. False with *error set for a time that is not one, or a
// rate and bit rate that cannot be encoded together.
bool ApplySplitEncodingOptions(const SplitEncodingValues& values, SplitterOptions* options, std::string* error);

// The encoding options of join, as given: 0 / empty when absent.
struct JoinEncodingValues {
    int rateHz = 0;          // --rate
    int kbps = 0;            // --bitrate
    std::string channels;    // --channels
    bool noPostfix = false;  // --no-postfix: batch outputs without "_joined"
};

// Applies the values to the joiner options: automatic parameters unless --rate (with --bitrate
// and --channels, which the command checks) is given.
void ApplyJoinEncodingOptions(const JoinEncodingValues& values, JoinerOptions* options);

// The time text of option name in *tenths (left alone when the text is empty); false with
// *error set when the text is not a time (StrictTimeToTenths, stream/TenthsText.h).
bool TimeOptionTenths(const std::string& text, const char* name, int* tenths, std::string* error);

// Why --rate and --bitrate cannot be encoded together (an MPEG-2.5 rate with more than
// 64 kbit/s, say), or empty when they can. The encoder would quietly pick another bit rate.
std::string EncodingMismatch(int sampleRateHz, int bitRateKbps);

}  // namespace qm::cli
