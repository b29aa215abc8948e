#include "output/OutputPath.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "output/Paths.h"

namespace qm {

namespace {

namespace fs = std::filesystem;

std::string FolderMessage(const std::string& folder) {
    return "Failed to create folder \"" + folder + "\"";
}

std::string FileMessage(const fs::path& path) {
    return "Failed to create file \"" + path.string() + "\"";
}

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
bool ChooseFolder(OutputFolderCode choice, const std::string& specifiedFolder, bool createTree,
                  const fs::path& sourcePath, std::string* folder, std::string* error) {
    fs::path sourceFolder;
    // A bare file name has no folder part: its outputs go into the current folder.
    FolderOfPath(sourcePath, &sourceFolder);
    if (choice != OutputFolderCode::Specific) {
        *folder = sourceFolder.string();
        return true;
    }
    if (specifiedFolder.empty() || !EnsureFolder(specifiedFolder, CreateMissing::Yes)) {
        *error = FolderMessage(specifiedFolder);
        return false;
    }
    std::string chosen = WithTrailingSeparator(specifiedFolder);
    if (createTree) {
        chosen += MirroredFolderText(AbsoluteFolderOf(sourcePath));
        if (!EnsureFolder(chosen, CreateMissing::Yes)) {
            *error = FolderMessage(chosen);
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
                   const std::string& name, fs::path* outputPath, std::string* error) {
    fs::path target = folder + name;
    if (FileExists(target)) {
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
                if (!FileExists(target)) break;
            }
            break;
        }
    }
    if (!CanWriteOutput(target)) {
        *error = FileMessage(target);
        return false;
    }
    *outputPath = target;
    return true;
}

// Creates path exclusively (never opening an existing file); false when it exists or cannot be
// made. A file made here is removed again.
enum class ProbeResult { Created, Exists, Failed };
ProbeResult CreateAndRemove(const fs::path& path) {
    std::FILE* file = std::fopen(path.string().c_str(), "wbx");
    if (file == nullptr) return errno == EEXIST ? ProbeResult::Exists : ProbeResult::Failed;
    std::fclose(file);
    std::error_code error;
    fs::remove(path, error);
    return ProbeResult::Created;
}

// Whether the folder of path accepts a new file, tried with a hidden name beside it.
bool FolderAcceptsNewFile(const fs::path& path) {
    constexpr int kProbeNames = 100;
    const fs::path folder = path.parent_path();
    for (int i = 0; i < kProbeNames; ++i) {
        const std::string probeName =
            "." + path.filename().string() + ".probe" + std::to_string(i);
        switch (CreateAndRemove(folder / probeName)) {
        case ProbeResult::Created: return true;
        case ProbeResult::Failed: return false;
        case ProbeResult::Exists: break;
        }
    }
    return false;
}

}  // namespace

SplitPlacement SplitPlacementOf(const SplitterOptions& options) {
    SplitPlacement placement;
    placement.OutputFolderOpt = options.OutputFolderOpt;
    placement.SpecifiedOutputFolder = options.SpecifiedOutputFolder;
    placement.CreateTreeDirs = options.CreateTreeDirs;
    placement.CreateFolderForEachMP3 = options.CreateFolderForEachMP3;
    placement.OutputFileName = options.OutputFileName;
    placement.FilenameDigitNumber = options.FilenameDigitNumber;
    placement.TargetExistsOpt = options.TargetExistsOpt;
    return placement;
}

JoinPlacement JoinPlacementOf(const JoinerOptions& options) {
    JoinPlacement placement;
    placement.OutputFolderOpt = options.OutputFolderOpt;
    placement.SpecifiedOutputFolder = options.SpecifiedOutputFolder;
    placement.CreateTreeDirs = options.CreateTreeDirs;
    placement.AddPostfixAtEndOfFile = options.AddPostfixAtEndOfFile;
    placement.TargetExistsOpt = options.TargetExistsOpt;
    return placement;
}

bool CanWriteOutput(const fs::path& path) {
    if (!FileExists(path)) {
        // Nothing is there: make the very file (which also proves the name is acceptable to
        // the file system) and take it away again.
        return CreateAndRemove(path) == ProbeResult::Created;
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
    return FolderAcceptsNewFile(path);
}

namespace {

// Runs a resolution; an exception (out of memory, or from a tag reader) becomes a failure that
// names the source, so nothing throws out of output placement.
template <typename Resolve>
bool Guarded(const fs::path& sourcePath, std::string* error, Resolve resolve) {
    try {
        return resolve();
    } catch (const std::exception&) {
        *error = FileMessage(sourcePath);
        return false;
    }
}

bool ResolveSplit(const SplitPlacement& placement, const fs::path& sourcePath, int piece,
                  int total, int sequence, fs::path* outputPath, std::string* error,
                  const TagReader& readTags) {
    const int width =
        placement.FilenameDigitNumber > 0 ? placement.FilenameDigitNumber : DigitCount(total);
    const std::string fileTitle = FileTitleOf(sourcePath);
    std::string folder;
    if (!ChooseFolder(placement.OutputFolderOpt, placement.SpecifiedOutputFolder,
                      placement.CreateTreeDirs, sourcePath, &folder, error)) {
        return false;
    }
    if (placement.CreateFolderForEachMP3) {
        // Cleaned like a piece's name: a file title of ".." must not name the parent folder.
        folder += CleanFileName(fileTitle) + kSeparator;
        // Not checked here: a folder that could not be made fails the probe below with the
        // path that could not be written.
        EnsureFolder(folder, CreateMissing::Yes);
    }
    const std::string name = ExpandFileNameTemplate(placement.OutputFileName, fileTitle, sourcePath,
                                                    piece, total, sequence, width, readTags);
    return ResolveTarget(placement.TargetExistsOpt, sourcePath, folder, name, outputPath, error);
}

bool ResolveJoin(const JoinPlacement& placement, const fs::path& mainSourcePath,
                 fs::path* outputPath, std::string* error) {
    std::string folder;
    if (!ChooseFolder(placement.OutputFolderOpt, placement.SpecifiedOutputFolder,
                      placement.CreateTreeDirs, mainSourcePath, &folder, error)) {
        return false;
    }
    std::string name = FileTitleOf(mainSourcePath);
    if (placement.AddPostfixAtEndOfFile) name += "_joined";
    name += ".mp3";
    return ResolveTarget(placement.TargetExistsOpt, mainSourcePath, folder, name, outputPath,
                         error);
}

}  // namespace

bool ResolveSplitOutputPath(const SplitPlacement& placement, const fs::path& sourcePath, int piece,
                            int total, int sequence, fs::path* outputPath, std::string* error,
                            const TagReader& readTags) {
    return Guarded(sourcePath, error, [&] {
        return ResolveSplit(placement, sourcePath, piece, total, sequence, outputPath, error,
                            readTags);
    });
}

bool ResolveJoinOutputPath(const JoinPlacement& placement, const fs::path& mainSourcePath,
                           fs::path* outputPath, std::string* error) {
    return Guarded(mainSourcePath, error,
                   [&] { return ResolveJoin(placement, mainSourcePath, outputPath, error); });
}

}  // namespace qm
