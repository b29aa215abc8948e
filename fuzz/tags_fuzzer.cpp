// Reading the tags of a file as the program does (its own checks of a leading ID3v2 header and
// of empty frames, then TagLib), over the input written to a temporary .mp3 file.

#include <string>

#include "fuzz/FuzzSupport.h"
#include "stream/Tags.h"

namespace {

using qm::fuzz::Require;

// Whether text is well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing past U+10FFFF.
bool IsUtf8(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        int extra = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++at;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (at + static_cast<std::size_t>(extra) >= text.size()) return false;  // cut short
        for (int i = 1; i <= extra; ++i) {
            const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        at += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::InputFile input("tags.mp3");
    const std::filesystem::path& path = input.Write({data, size});
    qm::TagInfo tags;
    tags.title = "left from before";
    const bool found = qm::ReadTags(path, &tags);
    // Without a tag the fields are cleared; with one, something was found.
    Require(found != (tags == qm::TagInfo{}), "result and fields disagree");
    Require(tags.track >= 0, "negative track number");
    for (const std::string* text : {&tags.title, &tags.artist, &tags.album, &tags.year, &tags.genre, &tags.comment}) {
        Require(IsUtf8(*text), "tag text is not UTF-8");
    }
    return 0;
}
