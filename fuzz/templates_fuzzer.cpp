// Name and title templates expanded with hostile tag text: any bytes in the template, the file
// title and every tag field, any piece numbers. A file name never holds a separator or a
// control character and never names a folder ("." or ".."), so no tag can place a piece
// outside its folder.
//
// Input: texts separated by a backslash and one other character (a doubled backslash is one
// backslash): template, file title, title, artist, album, year, genre; then the numbers.

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "output/Templates.h"
#include "settings/Options.h"

namespace {

using qm::fuzz::Require;

// Texts longer than this add nothing but time.
constexpr std::size_t kMaxTextBytes = 512;

void CheckFileName(const std::string& name) {
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        Require(c != '/' && c != '\\', "a separator in a file name");
        Require(byte >= 0x20 && byte != 0x7f, "a control character in a file name");
    }
    Require(name != "." && name != "..", "a file name that names a folder");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string nameTemplate = in.ConsumeRandomLengthString(kMaxTextBytes);
    const std::string fileTitle = in.ConsumeRandomLengthString(kMaxTextBytes);
    qm::TagInfo tag;
    for (std::string* field : {&tag.title, &tag.artist, &tag.album, &tag.year, &tag.genre}) {
        *field = in.ConsumeRandomLengthString(kMaxTextBytes);
    }
    tag.track = in.ConsumeIntegral<int>();
    qm::PieceNumbers numbers;
    numbers.piece = in.ConsumeIntegral<int>();
    numbers.total = in.ConsumeIntegral<int>();
    numbers.sequence = in.ConsumeIntegral<int>();
    // The stored digit widths are held to this range when they are loaded.
    numbers.digits = in.ConsumeIntegralInRange<int>(-1, qm::kMaxDigitNumber);
    const bool tagReadable = in.ConsumeBool();

    int reads = 0;
    const qm::TagReader readTags = [&](const std::filesystem::path&, qm::TagInfo* tags) {
        ++reads;
        *tags = tagReadable ? tag : qm::TagInfo{};
        return tagReadable;
    };
    const std::string name =
        qm::ExpandFileNameTemplate(nameTemplate, fileTitle, std::filesystem::path("source.mp3"), numbers, readTags);
    CheckFileName(name);
    Require(reads <= 1, "the source's tag is read more than once");
    CheckFileName(qm::ExpandFileNameTemplate(nameTemplate, fileTitle, std::nullopt, numbers, readTags));
    CheckFileName(qm::CleanFileName(fileTitle));

    // A title keeps its characters: the template's text that holds no tag comes through.
    const std::string title = qm::ExpandTitleTemplate(nameTemplate, tag, fileTitle, numbers);
    if (nameTemplate.find('%') == std::string::npos) Require(title == nameTemplate, "a title without tags changed");
    Require(qm::FileNameSamples(nameTemplate, numbers.digits).empty() == nameTemplate.empty(), "name samples");
    Require(qm::TitleSamples(nameTemplate, numbers.digits).empty() == nameTemplate.empty(), "title samples");
    return 0;
}
