// The overloads that read a source's tag with the stream layer's ReadTags. Kept apart so that a
// program choosing its own reader does not need the tag library.

#include "output/OutputPath.h"
#include "output/Templates.h"

namespace qm {

std::string ExpandFileNameTemplate(const std::string& nameTemplate, const std::string& fileTitle,
                                   const std::optional<std::filesystem::path>& sourcePath,
                                   const PieceNumbers& numbers) {
    return ExpandFileNameTemplate(nameTemplate, fileTitle, sourcePath, numbers, TagReader(&ReadTags));
}

bool ResolveSplitOutputPath(const SplitPlacement& placement, const std::filesystem::path& sourcePath,
                            const PieceNumbers& numbers, std::filesystem::path* outputPath, std::string* error) {
    return ResolveSplitOutputPath(placement, sourcePath, numbers, outputPath, error, TagReader(&ReadTags));
}

bool ResolveSplitOutputPath(const SplitPlacement& placement, const std::filesystem::path& sourcePath,
                            const PieceNumbers& numbers, std::filesystem::path* outputPath, std::string* error,
                            const OutputTaken& taken) {
    return ResolveSplitOutputPath(placement, sourcePath, numbers, outputPath, error, TagReader(&ReadTags), taken);
}

}  // namespace qm
