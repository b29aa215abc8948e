#include "output/OutputPath.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "output/Paths.h"
#include "stream/FailureMessages.h"
#include "stream/File.h"

namespace qm {

namespace {

namespace fs = std::filesystem;

constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);

std::string WithTrailingSeparator(std::string folder) {
    if (folder.empty() || !IsPathSeparator(folder.back())) folder += kSeparator;
    return folder;
}

// The source's folder as an absolute, normalised text ending in a separator: a relative source
// ("../../src/s.mp3", or a bare "s.mp3") is mirrored by where it really is, and no ".." is left
// that could climb out of the folder the tree is re-created in.
std::string AbsoluteFolderOf(const fs::path& sourcePath) {
    return WithTrailingSeparator(fs::absolute(sourcePath).lexically_normal().parent_path().string());
}

// The folder text (ending in a separator, or empty for the current folder) that outputs of
// sourcePath go into, with every level of it created. False with the message set when the
// chosen folder or the tree below it cannot be made.
bool ChooseFolder(const FolderPlacement& placement, const fs::path& sourcePath, std::string* folder,
                  std::string* error) {
    fs::path sourceFolder;
    // A bare file name has no folder part: its outputs go into the current folder.
    static_cast<void>(FolderOfPath(sourcePath, &sourceFolder));
    const std::string& specifiedFolder = placement.SpecifiedOutputFolder;
    if (placement.OutputFolderOpt != OutputFolderCode::Specific) {
        *folder = sourceFolder.string();
        return true;
    }
    if (specifiedFolder.empty() || !EnsureFolder(specifiedFolder, CreateMissing::Yes)) {
        *error = CreateFolderFailedReason(specifiedFolder);
        return false;
    }
    std::string chosen = WithTrailingSeparator(specifiedFolder);
    if (placement.CreateTreeDirs) {
        chosen += MirroredFolderText(AbsoluteFolderOf(sourcePath));
        if (!EnsureFolder(chosen, CreateMissing::Yes)) {
            *error = CreateFolderFailedReason(chosen);
            return false;
        }
    }
    *folder = std::move(chosen);
    return true;
}

// Whether a and b name the same file (through ".", "..", links or hard links alike).
bool IsSameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

// Applies the collision policy to folder + name and runs the probe on the result.
bool ResolveTarget(TargetExistsCode policy, const fs::path& sourcePath, const std::string& folder,
                   const std::string& name, fs::path* outputPath, std::string* error, const OutputTaken& taken = {}) {
    // A path promised to an output not yet in place counts as an existing file.
    const auto exists = [&taken](const fs::path& path) { return FileExists(path) || (taken && taken(path)); };
    fs::path target = folder + name;
    if (exists(target)) {
        switch (policy) {
            case TargetExistsCode::Overwrite:
                if (IsSameFile(target, sourcePath)) {
                    *error = "Target file name is same as original file";
                    return false;
                }
                break;
            case TargetExistsCode::Skip:
                *error = "Target exists and skipped";
                return false;
            default:  // Rename, and any code outside the list
                for (int number = 1;; ++number) {
                    target = folder + InsertNumberBeforeExtension(name, number);
                    if (!exists(target)) break;
                }
                break;
        }
    }
    if (!CanWriteOutput(target)) {
        *error = CreateFileFailedReason(target);
        return false;
    }
    *outputPath = target;
    return true;
}

// Whether an output for path could be written: its temporary file is created beside it
// (which proves the folder takes a new file and the name suits the file system) and deleted
// again. The final name is never created here, so it only ever appears on a complete output.
bool TemporaryFileFits(const fs::path& path) {
    AtomicOutputFile probe;
    const bool created = probe.Create(path);
    probe.Discard();
    return created;
}

}  // namespace

namespace {

// The folder placement fields of either option group.
template <typename Options>
FolderPlacement FolderPlacementOf(const Options& options) {
    return {options.OutputFolderOpt, options.SpecifiedOutputFolder, options.CreateTreeDirs, options.TargetExistsOpt};
}

}  // namespace

SplitPlacement SplitPlacementOf(const SplitterOptions& options) {
    SplitPlacement placement;
    static_cast<FolderPlacement&>(placement) = FolderPlacementOf(options);
    placement.CreateFolderForEachMP3 = options.CreateFolderForEachMP3;
    placement.OutputFileName = options.OutputFileName;
    placement.FilenameDigitNumber = options.FilenameDigitNumber;
    return placement;
}

JoinPlacement JoinPlacementOf(const JoinerOptions& options) {
    JoinPlacement placement;
    static_cast<FolderPlacement&>(placement) = FolderPlacementOf(options);
    placement.AddPostfixAtEndOfFile = options.AddPostfixAtEndOfFile;
    placement.WithCueSheet = options.WriteCueSheet;
    return placement;
}

bool CanWriteOutput(const fs::path& path) {
    if (!FileExists(path)) {
        // Nothing is there: the temporary file beside it proves the folder and the name.
        return TemporaryFileFits(path);
    }
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return false;
    // A file without any write permission is read-only: it is never replaced, not even by a
    // user (root) whom the file system would let open it.
    constexpr fs::perms kAnyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((fs::status(path, error).permissions() & kAnyWrite) == fs::perms::none) return false;
    // Opening for update neither truncates nor changes the file; it proves the user's
    // permission to replace it (a read-only target is refused).
    std::FILE* file = std::fopen(path.string().c_str(), "r+b");
    if (file == nullptr) return false;
    std::fclose(file);
    return TemporaryFileFits(path);
}

namespace {

// Runs a resolution; an exception (out of memory, or from a tag reader) becomes a failure that
// names the source, so nothing throws out of output placement.
template <typename Resolve>
bool Guarded(const fs::path& sourcePath, std::string* error, Resolve resolve) {
    try {
        return resolve();
    } catch (const std::exception&) {
        *error = CreateFileFailedReason(sourcePath);
        return false;
    }
}

bool ResolveSplit(const SplitPlacement& placement, const fs::path& sourcePath, PieceNumbers numbers,
                  fs::path* outputPath, std::string* error, const TagReader& readTags, const OutputTaken& taken) {
    numbers.digits = placement.FilenameDigitNumber > 0 ? placement.FilenameDigitNumber : DigitCount(numbers.total);
    const std::string fileTitle = FileTitleOf(sourcePath);
    std::string folder;
    if (!ChooseFolder(placement, sourcePath, &folder, error)) return false;
    if (placement.CreateFolderForEachMP3) {
        // Cleaned like a piece's name: a file title of ".." must not name the parent folder.
        folder += CleanFileName(fileTitle) + kSeparator;
        // Not checked here: a folder that could not be made fails the probe below with the
        // path that could not be written.
        static_cast<void>(EnsureFolder(folder, CreateMissing::Yes));
    }
    const std::string& nameTemplate = numbers.mark.titled && placement.OutputFileName == kDefaultOutputFileName
                                          ? std::string(kTitledOutputFileName)
                                          : placement.OutputFileName;
    const std::string name = ExpandFileNameTemplate(nameTemplate, fileTitle, sourcePath, numbers, readTags);
    return ResolveTarget(placement.TargetExistsOpt, sourcePath, folder, name, outputPath, error, taken);
}

bool ResolveJoin(const JoinPlacement& placement, const fs::path& mainSourcePath, fs::path* outputPath,
                 std::string* error) {
    std::string folder;
    if (!ChooseFolder(placement, mainSourcePath, &folder, error)) return false;
    std::string name = FileTitleOf(mainSourcePath);
    if (placement.AddPostfixAtEndOfFile) name += "_joined";
    name += ".mp3";
    const auto sheetExists = [&placement](const fs::path& path) {
        return placement.WithCueSheet && FileExists(fs::path(path).replace_extension(".cue"));
    };
    return ResolveTarget(placement.TargetExistsOpt, mainSourcePath, folder, name, outputPath, error, sheetExists);
}

}  // namespace

bool ResolveSplitOutputPath(const SplitPlacement& placement, const fs::path& sourcePath, const PieceNumbers& numbers,
                            fs::path* outputPath, std::string* error, const TagReader& readTags,
                            const OutputTaken& taken) {
    return Guarded(sourcePath, error,
                   [&] { return ResolveSplit(placement, sourcePath, numbers, outputPath, error, readTags, taken); });
}

bool ResolveJoinOutputPath(const JoinPlacement& placement, const fs::path& mainSourcePath, fs::path* outputPath,
                           std::string* error) {
    return Guarded(mainSourcePath, error, [&] { return ResolveJoin(placement, mainSourcePath, outputPath, error); });
}

// ---------------------------------------------------------------------------------------
// Staged outputs.

namespace {

bool LinkExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// Keeps target's file under a second name. A hard link leaves the file at its own name all
// along (the rename over it then swaps it out in one step); where the file system has no
// links, the file is moved aside. Empty when neither works.
fs::path SetAside(const fs::path& target) {
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const fs::path aside = SetAsideName(target, attempt);
        if (::link(target.c_str(), aside.c_str()) == 0) return aside;
        if (errno == EEXIST) continue;
        if (std::rename(target.c_str(), aside.c_str()) == 0) return aside;
        if (errno != EEXIST) break;
    }
    return {};
}

void RemoveQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// Flushes the folders that outputs were renamed into, each once, so that the new names
// survive a crash. The files themselves were flushed before their renames; a folder that
// cannot be flushed leaves its renames to the file system's own schedule.
void SyncFoldersOf(const std::vector<fs::path>& targets) {
    std::vector<fs::path> folders;
    for (const fs::path& target : targets) {
        fs::path folder = target.parent_path();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
    }
    for (const fs::path& folder : folders) static_cast<void>(SyncFolder(folder));
}

}  // namespace

StagedOutputs::~StagedOutputs() { DiscardAll(); }

void StagedOutputs::Add(fs::path temporary, fs::path target) {
    const auto [at, added] = m_byTarget.try_emplace(target.lexically_normal().string(), m_entries.size());
    if (!added) {
        Entry& entry = m_entries[at->second];
        RemoveQuietly(entry.temporary);
        entry.temporary = std::move(temporary);
        return;
    }
    m_entries.push_back(Entry{std::move(temporary), std::move(target)});
}

bool StagedOutputs::Takes(const fs::path& path) const {
    return m_byTarget.count(path.lexically_normal().string()) != 0;
}

bool StagedOutputs::PlaceAll(fs::path* failedTarget) {
    // What was done to each target, so that a failure can undo it.
    struct Placed {
        const Entry* entry;
        fs::path aside;  // the target's old file; empty when there was none
    };
    // Every file reaches the device before any name does: a crash while they are put in place
    // must not leave a name on a file whose blocks were never written. Their writing was
    // started as they were made, so one flush after another mostly waits for the last.
    for (const Entry& entry : m_entries) {
        if (!SyncFile(entry.temporary)) {
            *failedTarget = entry.target;
            DiscardAll();
            return false;
        }
    }
    std::vector<Placed> placed;
    placed.reserve(m_entries.size());
    bool ok = true;
    for (const Entry& entry : m_entries) {
        fs::path aside;
        if (LinkExists(entry.target)) {
            // Only a file (or a link) is replaced; anything else has come since the path
            // was checked.
            std::error_code error;
            const fs::file_type type = fs::symlink_status(entry.target, error).type();
            if (type == fs::file_type::regular || type == fs::file_type::symlink) aside = SetAside(entry.target);
            if (aside.empty()) {
                ok = false;
            } else {
                // The new file takes over the permissions of the one it replaces.
                std::error_code ignored;
                fs::permissions(entry.temporary, fs::status(aside, ignored).permissions(), ignored);
            }
        }
        if (ok && std::rename(entry.temporary.c_str(), entry.target.c_str()) != 0) {
            ok = false;
            // Moved aside rather than linked: the old file goes back.
            if (!aside.empty() && !LinkExists(entry.target)) std::rename(aside.c_str(), entry.target.c_str());
            if (!aside.empty()) RemoveQuietly(aside);
        }
        if (!ok) {
            *failedTarget = entry.target;
            break;
        }
        placed.push_back(Placed{&entry, std::move(aside)});
    }
    if (!ok) {
        // Undo in reverse order: old files back under their names, new ones gone.
        for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
            // An old file that cannot go back stays under its hidden name rather than be lost.
            if (it->aside.empty()) {
                RemoveQuietly(it->entry->target);
            } else {
                std::rename(it->aside.c_str(), it->entry->target.c_str());
            }
        }
        DiscardAll();
        return false;
    }
    std::vector<fs::path> targets;
    targets.reserve(placed.size());
    for (const Placed& p : placed) {
        if (!p.aside.empty()) RemoveQuietly(p.aside);
        targets.push_back(p.entry->target);
    }
    SyncFoldersOf(targets);
    m_entries.clear();
    m_byTarget.clear();
    return true;
}

std::vector<fs::path> StagedOutputs::PlaceNewOnly() {
    std::vector<fs::path> placed;
    for (const Entry& entry : m_entries) {
        if (!LinkExists(entry.target) && SyncFile(entry.temporary) &&
            std::rename(entry.temporary.c_str(), entry.target.c_str()) == 0) {
            placed.push_back(entry.target);
        } else {
            RemoveQuietly(entry.temporary);
        }
    }
    SyncFoldersOf(placed);
    m_entries.clear();
    m_byTarget.clear();
    return placed;
}

void StagedOutputs::DiscardAll() {
    for (const Entry& entry : m_entries) RemoveQuietly(entry.temporary);
    m_entries.clear();
    m_byTarget.clear();
}

void StagedOutputs::DiscardFrom(const fs::path& target) {
    const auto found = m_byTarget.find(target.lexically_normal().string());
    if (found == m_byTarget.end()) return;
    const std::size_t first = found->second;
    for (std::size_t i = first; i < m_entries.size(); ++i) {
        RemoveQuietly(m_entries[i].temporary);
        m_byTarget.erase(m_entries[i].target.lexically_normal().string());
    }
    m_entries.resize(first);
}

}  // namespace qm
