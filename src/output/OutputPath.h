#pragma once

// Where an output goes: the folder (beside the source or in a chosen folder, optionally with the
// source's folder tree re-created below it and a folder per source), the name (the file-name
// template for pieces, "<source title>[_joined].mp3" for joins), what happens when the target
// exists, and a probe that proves the path can be written.

#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "output/Templates.h"
#include "settings/Options.h"

namespace qm {

// The options that decide the folder of any output and what happens when its target exists;
// the splitter and the joiner options both hold them under these names.
struct FolderPlacement {
    OutputFolderCode OutputFolderOpt = OutputFolderCode::SameAsSource;
    std::string SpecifiedOutputFolder;  // UTF-8
    bool CreateTreeDirs = false;
    TargetExistsCode TargetExistsOpt = TargetExistsCode::Rename;
};

// The splitter options that decide where a piece goes.
struct SplitPlacement : FolderPlacement {
    bool CreateFolderForEachMP3 = false;
    std::string OutputFileName = kDefaultOutputFileName;
    int FilenameDigitNumber = 0;  // 0 or less: DigitCount of the total
};

// The joiner options that decide where a batch join's output goes.
struct JoinPlacement : FolderPlacement {
    bool AddPostfixAtEndOfFile = true;  // "_joined" after the name
    // The output takes a cue sheet beside it (NAME.cue): an existing sheet of that name counts
    // as an existing target, so the policy renames, skips or overwrites the two together.
    bool WithCueSheet = false;
};

SplitPlacement SplitPlacementOf(const SplitterOptions& options);

// Whether a path is already promised to an output that is not in place yet (the finished
// pieces of a plan); the collision policy treats such a path as an existing file.
using OutputTaken = std::function<bool(const std::filesystem::path& path)>;
JoinPlacement JoinPlacementOf(const JoinerOptions& options);

// The full path for piece numbers.piece of numbers.total (batch-wide number numbers.sequence)
// of sourcePath; the names are padded to the placement's FilenameDigitNumber, not numbers.digits.
// Creates the folders on the way and applies the collision policy (a code other than Overwrite
// and Skip renames). Returns true with *outputPath set once the probe showed the path can be
// written; false with *error set to one of "Failed to create folder \"%s\"", "Target file name
// is same as original file", "Target exists and skipped", "Failed to create file \"%s\"".
// Nothing is written except folders; an existing target is never modified.
[[nodiscard]] bool ResolveSplitOutputPath(const SplitPlacement& placement, const std::filesystem::path& sourcePath,
                                          const PieceNumbers& numbers, std::filesystem::path* outputPath,
                                          std::string* error, const TagReader& readTags, const OutputTaken& taken = {});
// The same, reading tags with ReadTags.
[[nodiscard]] bool ResolveSplitOutputPath(const SplitPlacement& placement, const std::filesystem::path& sourcePath,
                                          const PieceNumbers& numbers, std::filesystem::path* outputPath,
                                          std::string* error);
[[nodiscard]] bool ResolveSplitOutputPath(const SplitPlacement& placement, const std::filesystem::path& sourcePath,
                                          const PieceNumbers& numbers, std::filesystem::path* outputPath,
                                          std::string* error, const OutputTaken& taken);

// The target path of the batch join made for mainSourcePath; results and messages as for
// ResolveSplitOutputPath.
[[nodiscard]] bool ResolveJoinOutputPath(const JoinPlacement& placement, const std::filesystem::path& mainSourcePath,
                                         std::filesystem::path* outputPath, std::string* error);

// Whether an output could be written at path without touching anything there: the output's
// temporary file is created beside path and removed again (outputs are written there and
// renamed over the target), so nothing ever appears under the name itself; an existing
// target must also be a file that opens for writing.
bool CanWriteOutput(const std::filesystem::path& path);

// Finished outputs kept as temporary files beside their targets until the run that makes
// them ends, and then put in place together. A run that ends well places them all, or none
// when one of them cannot be placed; a run that fails places only those that replace no
// file; a cancelled run deletes them. So an existing file is only ever replaced by a run
// that completed.
class StagedOutputs {
public:
    StagedOutputs() = default;
    // Deletes the temporary files that were not put in place.
    ~StagedOutputs();
    StagedOutputs(const StagedOutputs&) = delete;
    StagedOutputs& operator=(const StagedOutputs&) = delete;

    // Takes over the complete temporary file meant for target. A later output for the same
    // target replaces an earlier one, as writing it in place would have.
    void Add(std::filesystem::path temporary, std::filesystem::path target);
    // Whether an output kept here will take path.
    bool Takes(const std::filesystem::path& path) const;
    bool Empty() const { return m_entries.empty(); }

    // Renames every output over its target, replaced files going aside until all are in
    // place. False with *failedTarget set when one cannot be placed: every target is then
    // as it was before, and the temporary files are gone.
    [[nodiscard]] bool PlaceAll(std::filesystem::path* failedTarget);
    // Puts in place the outputs whose target does not exist and deletes the others; returns
    // the targets placed, in the order they were added.
    std::vector<std::filesystem::path> PlaceNewOnly();
    // Deletes every temporary file; nothing is placed.
    void DiscardAll();
    // Deletes the output kept for target and every output added after it; the earlier ones
    // stay. Nothing when no output takes target.
    void DiscardFrom(const std::filesystem::path& target);

private:
    struct Entry {
        std::filesystem::path temporary;
        std::filesystem::path target;
    };
    std::vector<Entry> m_entries;
    // Index in m_entries by the target's normal form: a plan may have thousands of pieces.
    std::unordered_map<std::string, std::size_t> m_byTarget;
};

}  // namespace qm
