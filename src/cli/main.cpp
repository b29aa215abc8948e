// quillmere-cli: the split, join and analysis engines from the command line.

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

#include "QuillmereVersion.h"
#include "cli/CommandRegistry.h"

int main(int argc, char** argv) {
    using namespace qm::cli;
    CLI::App app{"Quillmere: cut MP3 files into pieces and join MP3 files together.", "quillmere-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "quillmere-cli " QM_VERSION);

    int exitCode = kExitOk;
    for (const Command& command : Commands()) command.setup(app, &exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "quillmere-cli: " << e.what() << "\n";
        return kExitSomeFailed;
    }
    return exitCode;
}
