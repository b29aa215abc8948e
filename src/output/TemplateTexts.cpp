// The fixed texts around the templates: the predefined lists and the tag help.

#include "output/Templates.h"

namespace qm {

namespace {

// One sample line of a help text: a space, the template, a colon, one or two tabs (two keep
// short templates' examples in the same column as long ones) and the example.
struct HelpSample {
    const char* text;
    int tabs;
    const char* example;
};

std::string SampleLine(const HelpSample& sample) {
    return std::string(" ") + sample.text + ":" + std::string(sample.tabs, '\t') + sample.example;
}

constexpr HelpSample kFileNameSamples[] = {
    {"%F%.mp3", 2, "filename.mp3"},
    {"%P%.mp3", 2, "1.mp3, 2.mp3"},
    {"%P%-%T%.mp3", 2, "1-9.mp3, 2-9.mp3"},
    {"%F%-%P%.mp3", 2, "filename-1.mp3, filename-2.mp3"},
    {"%F%(%P%).mp3", 2, "filename(1).mp3, filename(2).mp3"},
    {"%P%_%F%.mp3", 2, "1_filename.mp3, 2_filename.mp3"},
    {"%F%-%P%-%T%.mp3", 1, "filename-001-102.mp3, filename-002-102.mp3"},
    {"%F%[%P% of %T%].mp3", 1, "filename[01 of 12].mp3, filename[02 of 12].mp3"},
    {"%I%-%P%.mp3", 2, "Title-1.mp3, Title-2.mp3"},
    {"%A%-%I%-%P%.mp3", 1, "Artist-Title-1.mp3, Artist-Title-2.mp3"},
    {"%A%-%I%-%N%-%P%.mp3", 1, "Artist-Title-5-1.mp3, Artist-Title-5-2.mp3"},
};

constexpr HelpSample kTitleSamples[] = {
    {"%I% - %P%", 2, "Title - 1, Title - 2"},
    {"%F% - %P%", 2, "filename - 1, filename - 2"},
    {"%I% [%P%]", 2, "Title [1], Title [2]"},
    {"%P%-%I%", 2, "1-Title, 2-Title"},
    {"[%P%]%I%", 2, "[1]Title, [2]Title"},
    {"%I% - %P% of %T%", 1, "Title - 1 of 9, Title - 2 of 9"},
    {"%F% - %P% of %T%", 1, "filename - 1 of 9, filename - 2 of 9"},
    {"%I% (%P% of %T%)", 1, "Title (1 of 9), Title (2 of 9)"},
    {"%I% - %P%/%T%", 1, "Title - 1/9, Title - 2/9"},
    {"[%P%/%T%]%I%", 1, "[1/9]Title, [2/9]Title"},
};

std::string BuildFileNameHelp() {
    std::string help =
        "You can use the following tags in file name.\n"
        "\n"
        "%F%: source file name (not including extension)\n"
        "%P%: piece number\n"
        "%T%: total piece number\n"
        "%S%: general sequence number of all files in batch splitter\n"
        "%I%: title in ID3 tag\n"
        "%A%: artist in ID3 tag\n"
        "%L%: album in ID3 tag\n"
        "%Y%: year in ID3 tag\n"
        "%G%: genre in ID3 tag\n"
        "%N%: track number in ID3 tag\n"
        "%C%: title of the piece (cue sheet track, chapter or label)\n"
        "%R%: performer of the piece (cue sheet track, else artist in ID3 tag)\n"
        "\n"
        "Samples:";
    // The sample lines are joined by line feeds; the last one has none after it.
    for (const HelpSample& sample : kFileNameSamples) {
        help += '\n';
        help += SampleLine(sample);
    }
    return help;
}

std::string BuildTitleHelp() {
    std::string help =
        "You can use the following tags in ID3 title.\n"
        "\n"
        "%I%: title of original MP3 file\n"
        "%F%: source file name (not including extension)\n"
        "%P%: piece number\n"
        "%T%: total number of pieces\n"
        "%S%: general sequence number of all files in batch splitter\n"
        "%C%: title of the piece (cue sheet track, chapter or label)\n"
        "%R%: performer of the piece (cue sheet track, else artist of original MP3 file)\n"
        "\n"
        "Samples:\n";
    // Here every sample line, the last included, ends with a line feed.
    for (const HelpSample& sample : kTitleSamples) help += SampleLine(sample) + "\n";
    return help;
}

}  // namespace

const std::array<const char*, kFileNameTemplateCount>& PredefinedFileNameTemplates() {
    static constexpr std::array<const char*, kFileNameTemplateCount> kTemplates = {
        "%F% %P%.mp3",
        "%F%-%P%.mp3",
        "%F%_%P%.mp3",
        "%F%(%P%).mp3",
        "%F%[%P%].mp3",
        "%F% (%P%).mp3",
        "%F% [%P%].mp3",
        "%P% %F%.mp3",
        "%P%_%F%.mp3",
        "%P%-%F%.mp3",
        "%P%-%T%.mp3",
        "%F%-%P%-%T%.mp3",
        "%F%(%P% of %T%).mp3",
        "%F%[%P% of %T%].mp3",
        "%F% (%P% of %T%).mp3",
        "%F% [%P% of %T%].mp3",
        "%F%.mp3",
        "%P%.mp3",
        "%I%-%P%.mp3",
        "%A%-%I%-%P%.mp3",
        "%A%-%I%-%N%-%P%.mp3",
    };
    return kTemplates;
}

const std::array<const char*, kTitleTemplateCount>& PredefinedTitleTemplates() {
    static constexpr std::array<const char*, kTitleTemplateCount> kTemplates = {
        "%I%",           "%P%",           "%P%/%T%",       "%I%-%P%",          "%I% - %P%",
        "%I%(%P%)",      "%I%[%P%]",      "%I% (%P%)",     "%I% [%P%]",        "%P%-%I%",
        "%P% - %I%",     "[%P%]%I%",      "[%P%] %I%",     "%I% - %P% of %T%", "%I% (%P% of %T%)",
        "%I% - %P%/%T%", "%I% (%P%/%T%)", "%I% [%P%/%T%]", "%P%/%T%-%I%",      "%P%/%T% - %I%",
        "[%P%/%T%]%I%",  "[%P%/%T%] %I%", "%F% - %P%",     "%F% [%P%/%T%]",
    };
    return kTemplates;
}

const std::string& FileNameTagHelp() {
    static const std::string help = BuildFileNameHelp();
    return help;
}

const std::string& TitleTagHelp() {
    static const std::string help = BuildTitleHelp();
    return help;
}

}  // namespace qm
