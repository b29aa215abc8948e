#pragma once

// How a long operation (a split plan, a join, one file of a batch) ended, with the message
// that says why when it failed.

#include <string>
#include <utility>

#include "progress/Progress.h"

namespace qm {

// Done: everything the operation was to write is in place. Failed: it was refused or could
// not be completed; the message says why. Cancelled: the cancel flag stopped it and nothing
// it wrote is left.
enum class RunOutcome { Done, Failed, Cancelled };

struct RunResult {
    RunOutcome outcome = RunOutcome::Done;
    std::string message;  // why it failed; empty when it did not

    static RunResult Done() { return {RunOutcome::Done, {}}; }
    static RunResult Failed(std::string message) { return {RunOutcome::Failed, std::move(message)}; }
    static RunResult Cancelled() { return {RunOutcome::Cancelled, {}}; }
    // The result of an engine call that returned ok and left message on failure: a failure
    // while the operation's cancel flag is raised is the cancel, whatever the message.
    static RunResult Of(bool ok, const LongOperation& operation, std::string message) {
        if (ok) return Done();
        if (operation.Cancelled()) return Cancelled();
        return Failed(std::move(message));
    }

    bool IsDone() const { return outcome == RunOutcome::Done; }
    bool IsCancelled() const { return outcome == RunOutcome::Cancelled; }
    friend bool operator==(const RunResult&, const RunResult&) = default;
};

}  // namespace qm
