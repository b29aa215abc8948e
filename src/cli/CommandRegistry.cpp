#include "cli/CommandRegistry.h"

#include <algorithm>

namespace qm::cli {

std::vector<Command> Commands() {
    std::vector<Command> commands = {InfoCommand(), SplitCommand(), JoinCommand()};
    std::stable_sort(commands.begin(), commands.end(),
                     [](const Command& a, const Command& b) { return a.order < b.order; });
    return commands;
}

}  // namespace qm::cli
