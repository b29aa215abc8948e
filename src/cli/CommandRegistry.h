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

// The table of sub-commands; each command's file registers itself with a static Registrar.
std::vector<Command>& Commands();

struct Registrar {
    explicit Registrar(Command command) { Commands().push_back(std::move(command)); }
};

// Exit codes shared by every command.
enum ExitCode : int {
    kExitOk = 0,
    kExitSomeFailed = 1,
    kExitUsage = 2,
    kExitCancelled = 130,
};

}  // namespace qm::cli
