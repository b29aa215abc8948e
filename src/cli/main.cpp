// quillmere-cli: the split, join and analysis engines from the command line.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>

#include "cli/CommandRegistry.h"

namespace qm::cli {

std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}

}  // namespace qm::cli

int main(int argc, char** argv) {
    using namespace qm::cli;
    CLI::App app{"Quillmere: cut MP3 files into pieces and join MP3 files together.",
                 "quillmere-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "quillmere-cli 0.1.0");

    auto commands = Commands();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return a.order < b.order; });
    int exitCode = kExitOk;
    for (const auto& command : commands) command.setup(app, &exitCode);

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
