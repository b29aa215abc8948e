#pragma once

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qm::cli {

// One sub-command of quillmere-cli. Setup adds the sub-command and its options to the
// application and installs the callback that runs it; the callback stores its exit code in
// *exitCode.
struct Command {
    std::string name;
    int order = 0;  // position in the help listing
    std::function<void(CLI::App& app, int* exitCode)> setup;
};

// The sub-commands, one per file.
Command InfoCommand();
Command SplitCommand();
Command JoinCommand();

// Every sub-command, in the order of the help listing.
std::vector<Command> Commands();

// Exit codes shared by every command.
enum ExitCode : int {
    kExitOk = 0,
    kExitSomeFailed = 1,
    kExitUsage = 2,
    kExitCancelled = 130,
};

}  // namespace qm::cli
