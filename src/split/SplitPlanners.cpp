#include "split/SplitPlanners.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "output/OutputPath.h"
#include "split/DirectSplitter.h"
#include "split/PlanRun.h"
#include "split/ReencodeSplitter.h"

namespace qm {

namespace fs = std::filesystem;

std::unique_ptr<SplitEngine> CreateSplitEngine(const SplitterOptions& options, const fs::path& source) {
    if (!planning::IsReencoding(options, source)) return std::make_unique<DirectSplitter>();
    auto engine = std::make_unique<ReencodeSplitter>();
    // A fade alone re-encodes with the source's own settings.
    if (!options.ReencodePieces || options.UseSameParams) {
        engine->SetEncoderParams(0, 0, std::nullopt);
    } else {
        engine->SetEncoderParams(options.MP3SampleRate, options.MP3BitRate, options.MP3ChannelMode);
    }
    return engine;
}

SplitOutputResolver MakeSplitOutputResolver(const SplitterOptions& options) {
    return [placement = SplitPlacementOf(options)](const fs::path& source, const PieceNumbers& numbers,
                                                   const OutputTaken& taken, fs::path* path, std::string* message) {
        return ResolveSplitOutputPath(placement, source, numbers, path, message, taken);
    };
}

std::uint64_t PieceSizeBytes(std::string_view sizeText, SizeUnitCode unit) {
    std::size_t start = 0;
    while (start < sizeText.size() && (sizeText[start] == ' ' || sizeText[start] == '\t')) ++start;
    double value = 0.0;
    const char* first = sizeText.data() + start;
    const auto parsed = std::from_chars(first, sizeText.data() + sizeText.size(), value);
    if (parsed.ec != std::errc() || !(value > 0.0)) return 0;
    const double bytes = value * static_cast<double>(SizeUnitBytes(unit));
    // 2^63 bytes is far beyond any file; clamp rather than overflow the conversion.
    if (bytes >= 9.2e18) return static_cast<std::uint64_t>(9.2e18);
    return static_cast<std::uint64_t>(bytes);
}

}  // namespace qm
