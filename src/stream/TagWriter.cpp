// Building the ID3v2.3 tag written at the start of every output, with LAME's tag writer:
// texts Latin-1 cannot hold become UTF-16 frames, and the frames LAME adds or lays out
// wrongly are put right.

#include "stream/Tags.h"

#include <lame/lame.h>

#include <new>
#include <string_view>

#include "stream/Id3v2Bytes.h"
#include "stream/LameHandles.h"

namespace qm {

namespace {

// Decodes UTF-8 into code points; a byte that does not start a valid sequence stands for
// itself (as Latin-1), so no text is ever dropped.
std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        // Lead byte: 110xxxxx, 1110xxxx or 11110xxx starts a sequence of 1, 2 or 3 more bytes.
        const int extra = lead >= 0xF5 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
        char32_t code = extra == 3 ? lead & 0x07 : extra == 2 ? lead & 0x0F : lead & 0x1F;
        bool valid = extra > 0 && at + extra < text.size();
        for (int i = 1; valid && i <= extra; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
        if (valid && ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) ||
                      (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF))
            valid = false;
        if (valid) {
            out.push_back(code);
            at += 1 + extra;
        } else {
            out.push_back(lead);
            ++at;
        }
    }
    return out;
}

// The text as Latin-1 bytes, or nothing when a character lies beyond U+00FF.
bool ToLatin1(const std::u32string& text, std::string* latin1) {
    latin1->clear();
    for (char32_t code : text) {
        if (code > 0xFF) return false;
        latin1->push_back(static_cast<char>(code));
    }
    return true;
}

// UTF-16 with a byte-order mark and a terminating zero, as LAME's UTF-16 setters take it.
std::vector<unsigned short> ToUtf16WithBom(const std::u32string& text) {
    constexpr unsigned short kByteOrderMark = 0xFEFF;
    std::vector<unsigned short> out{kByteOrderMark};
    for (char32_t code : text) {
        if (code >= 0x10000) {
            const char32_t offset = code - 0x10000;
            out.push_back(static_cast<unsigned short>(0xD800 + (offset >> 10)));
            out.push_back(static_cast<unsigned short>(0xDC00 + (offset & 0x3FF)));
        } else {
            out.push_back(static_cast<unsigned short>(code));
        }
    }
    out.push_back(0);
    return out;
}

// A field's text as LAME takes it: Latin-1 when Latin-1 holds every character, otherwise
// UTF-16 with a byte-order mark.
struct FieldText {
    bool isLatin1 = false;
    std::string latin1;
    std::vector<unsigned short> utf16;
};

FieldText TextForLame(const std::string& utf8) {
    FieldText field;
    const std::u32string text = DecodeUtf8(utf8);
    field.isLatin1 = ToLatin1(text, &field.latin1);
    if (!field.isLatin1) field.utf16 = ToUtf16WithBom(text);
    return field;
}

using Latin1Setter = void (*)(lame_global_flags*, const char*);

// Hands one text field to LAME: through its Latin-1 setter when Latin-1 holds the text,
// otherwise as a UTF-16 frame. LAME ignores empty texts.
void SetTextField(lame_global_flags* lame, const std::string& utf8, Latin1Setter latin1Setter, const char* frameId) {
    if (utf8.empty()) return;
    const FieldText field = TextForLame(utf8);
    if (field.isLatin1)
        latin1Setter(lame, field.latin1.c_str());
    else
        id3tag_set_textinfo_utf16(lame, frameId, field.utf16.data());
}

// LAME turns a genre given as a number into the name of that ID3v1 genre ("17" gives "Rock")
// and drops a number it has no name for ("2001"). Returns the text LAME dropped, which the
// caller adds as a TCON frame of its own, so that a typed genre is never lost.
std::string SetGenre(lame_global_flags* lame, const std::string& utf8) {
    constexpr int kUnknownGenreNumber = -1;
    if (utf8.empty()) return {};
    const FieldText field = TextForLame(utf8);
    if (!field.isLatin1) {
        id3tag_set_textinfo_utf16(lame, "TCON", field.utf16.data());
        return {};
    }
    if (id3tag_set_genre(lame, field.latin1.c_str()) == kUnknownGenreNumber) return field.latin1;
    return {};
}

void SetComment(lame_global_flags* lame, const std::string& utf8) {
    if (utf8.empty()) return;
    const FieldText field = TextForLame(utf8);
    if (field.isLatin1)
        id3tag_set_comment(lame, field.latin1.c_str());
    else  // LAME's own comment frames carry the language "eng" and an empty description.
        id3tag_set_comment_utf16(lame, "eng", nullptr, field.utf16.data());
}

// ID3v2 header and frame header layout (version 2.3):
//   header: "ID3", major, revision, flags, size as four seven-bit bytes (tag size minus 10)
//   frame:  four-character id, size as a 32-bit big-endian number, two flag bytes, body
constexpr std::size_t kHeaderBytes = 10;
constexpr std::size_t kFrameHeaderBytes = 10;

// A version 2.3 tag without flags (no unsynchronisation, extended header or footer): the
// layout LAME writes, and the only one the repairs below take apart.
bool IsPlainVersion23Tag(const std::vector<std::uint8_t>& tag) {
    return tag.size() >= kHeaderBytes && tag[0] == 'I' && tag[1] == 'D' && tag[2] == '3' && tag[3] == 3 && tag[5] == 0;
}

// LAME adds a TSSE frame naming itself to every tag it builds. Output files made by copying
// frames were not encoded by LAME, and a tag with no field of the user's must come out
// empty, so that frame is removed. Any tag not laid out as expected is returned unchanged.
std::vector<std::uint8_t> WithoutEncoderFrame(std::vector<std::uint8_t> tag) {
    if (!IsPlainVersion23Tag(tag)) return tag;
    std::vector<std::uint8_t> kept(tag.begin(), tag.begin() + kHeaderBytes);
    std::size_t at = kHeaderBytes;
    while (at + kFrameHeaderBytes <= tag.size() && tag[at] != 0) {
        const std::size_t frameBytes = kFrameHeaderBytes + ReadBigEndian32(&tag[at + 4]);
        if (frameBytes > tag.size() - at) return tag;
        const bool encoderFrame = std::string_view(reinterpret_cast<const char*>(&tag[at]), 4) == "TSSE";
        if (!encoderFrame) kept.insert(kept.end(), tag.begin() + at, tag.begin() + at + frameBytes);
        at += frameBytes;
    }
    WriteSynchsafe32(static_cast<std::uint32_t>(kept.size() - kHeaderBytes), &kept[6]);
    return kept;
}

// LAME writes the empty description of a UTF-16 comment as a bare 00 00, without the
// byte-order mark that every UTF-16 string of a version 2.3 frame must begin with; readers
// that insist on the mark then drop the whole comment. The mark is put in (FF FE, as LAME
// writes the text), and the frame and tag sizes grow by its two bytes. Any tag not laid out
// as expected is returned unchanged.
std::vector<std::uint8_t> WithMarkedCommentDescriptions(std::vector<std::uint8_t> tag) {
    constexpr std::uint8_t kUtf16 = 1;
    constexpr std::size_t kDescriptionAt = 4;  // encoding byte, three-letter language
    constexpr std::uint8_t kMark[] = {0xFF, 0xFE};
    if (!IsPlainVersion23Tag(tag)) return tag;
    std::vector<std::uint8_t> marked(tag.begin(), tag.begin() + kHeaderBytes);
    std::size_t at = kHeaderBytes;
    while (at + kFrameHeaderBytes <= tag.size() && tag[at] != 0) {
        const std::uint32_t bodyBytes = ReadBigEndian32(&tag[at + 4]);
        if (bodyBytes > tag.size() - at - kFrameHeaderBytes) return tag;
        const std::uint8_t* frame = &tag[at];
        const std::uint8_t* body = frame + kFrameHeaderBytes;
        const bool comment = std::string_view(reinterpret_cast<const char*>(frame), 4) == "COMM";
        const bool bareEmptyDescription = comment && bodyBytes >= kDescriptionAt + 2 && body[0] == kUtf16 &&
                                          body[kDescriptionAt] == 0 && body[kDescriptionAt + 1] == 0;
        if (!bareEmptyDescription) {
            marked.insert(marked.end(), frame, body + bodyBytes);
        } else {
            const std::size_t sizeAt = marked.size() + 4;
            marked.insert(marked.end(), frame, body + kDescriptionAt);
            marked.insert(marked.end(), std::begin(kMark), std::end(kMark));
            marked.insert(marked.end(), body + kDescriptionAt, body + bodyBytes);
            const std::uint32_t grown = bodyBytes + sizeof kMark;
            for (int i = 0; i < 4; ++i) marked[sizeAt + i] = static_cast<std::uint8_t>(grown >> (24 - 8 * i));
        }
        at += kFrameHeaderBytes + bodyBytes;
    }
    WriteSynchsafe32(static_cast<std::uint32_t>(marked.size() - kHeaderBytes), &marked[6]);
    return marked;
}

// Appends a version 2.3 frame header: the four-character id, the body size as a 32-bit
// big-endian number, two flag bytes of 0.
void AppendFrameHeader(const char* frameId, std::size_t bodyBytes, std::vector<std::uint8_t>* tag) {
    tag->insert(tag->end(), frameId, frameId + 4);
    for (int shift = 24; shift >= 0; shift -= 8) tag->push_back(static_cast<std::uint8_t>(bodyBytes >> shift));
    tag->insert(tag->end(), {0, 0});
}

// Appends a text frame (encoding byte 0: Latin-1) to a version 2.3 tag and updates the size
// in its header. A tag not in that layout is left as it is.
void AppendLatin1TextFrame(const char* frameId, const std::string& latin1, std::vector<std::uint8_t>* tag) {
    if (tag->size() < kHeaderBytes || (*tag)[3] != 3) return;
    AppendFrameHeader(frameId, latin1.size() + 1, tag);
    tag->push_back(0);  // the encoding byte
    tag->insert(tag->end(), latin1.begin(), latin1.end());
    WriteSynchsafe32(static_cast<std::uint32_t>(tag->size() - kHeaderBytes), tag->data() + 6);
}

// Appends an APIC frame (version 2.3) holding the picture as the front cover: encoding byte 0
// (Latin-1), the MIME type and its terminating zero, picture type 3 (front cover), an empty
// description, the image bytes. An empty tag gets its ten-byte header first.
void AppendFrontCoverFrame(const TagPicture& picture, std::vector<std::uint8_t>* tag) {
    constexpr std::uint8_t kFrontCover = 3;
    if (tag->empty()) *tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    if (tag->size() < kHeaderBytes || (*tag)[3] != 3) return;
    const std::string mimeType = picture.mimeType.empty() ? "image/" : picture.mimeType;
    const std::size_t bodyBytes = 1 + mimeType.size() + 1 + 1 + 1 + picture.bytes.size();
    AppendFrameHeader("APIC", bodyBytes, tag);
    tag->push_back(0);  // the encoding byte
    tag->insert(tag->end(), mimeType.begin(), mimeType.end());
    tag->insert(tag->end(), {0, kFrontCover, 0});
    tag->insert(tag->end(), picture.bytes.begin(), picture.bytes.end());
    WriteSynchsafe32(static_cast<std::uint32_t>(tag->size() - kHeaderBytes), tag->data() + 6);
}

// Hands the picture to LAME's tag writer, which takes JPEG, PNG and GIF images (it tells them
// by their first bytes) of any size and writes them as the front cover. False for any other
// kind of image, which the caller then adds itself.
bool SetFrontCover(lame_global_flags* lame, const TagPicture& picture) {
    constexpr int kLameAccepted = 0;
    return id3tag_set_albumart(lame, reinterpret_cast<const char*>(picture.bytes.data()), picture.bytes.size()) ==
           kLameAccepted;
}

std::vector<std::uint8_t> BuildWithLame(const TagInfo& tags, const TagPicture* frontCover) {
    LameHandle lame = MakeQuietLame();
    if (!lame) return {};
    lame_set_bWriteVbrTag(lame.get(), 0);
    lame_set_VBR(lame.get(), vbr_off);
    // Version 2 only: no ID3v1 tag is ever written.
    id3tag_init(lame.get());
    id3tag_v2_only(lame.get());

    SetTextField(lame.get(), tags.artist, id3tag_set_artist, "TPE1");
    SetTextField(lame.get(), tags.title, id3tag_set_title, "TIT2");
    SetTextField(lame.get(), tags.album, id3tag_set_album, "TALB");
    const std::string droppedGenre = SetGenre(lame.get(), tags.genre);
    SetComment(lame.get(), tags.comment);
    SetTextField(lame.get(), tags.year, id3tag_set_year, "TYER");
    // The TRCK text is written as given; LAME keeps numbers above 255 in the ID3v2 frame
    // (it only leaves them out of an ID3v1 tag, which is never written here).
    if (tags.track > 0) id3tag_set_track(lame.get(), std::to_string(tags.track).c_str());
    const bool hasCover =
        frontCover != nullptr && !frontCover->bytes.empty() && frontCover->bytes.size() <= kMaxPictureBytes;
    const bool coverByLame = hasCover && SetFrontCover(lame.get(), *frontCover);

    // The tag needs no encoder set-up (lame_init_params would build the encoder's tables for
    // every piece, for nothing).
    std::vector<std::uint8_t> tag;
    const std::size_t neededBytes = lame_get_id3v2_tag(lame.get(), nullptr, 0);
    if (neededBytes > kHeaderBytes) {
        tag.resize(neededBytes + 8);
        const std::size_t writtenBytes = lame_get_id3v2_tag(lame.get(), tag.data(), neededBytes);
        if (writtenBytes <= kHeaderBytes || writtenBytes > neededBytes) return {};
        tag.resize(writtenBytes);
        tag = WithMarkedCommentDescriptions(WithoutEncoderFrame(std::move(tag)));
    }
    if (!droppedGenre.empty()) AppendLatin1TextFrame("TCON", droppedGenre, &tag);
    if (hasCover && !coverByLame) AppendFrontCoverFrame(*frontCover, &tag);
    // A header without frames: every field was empty.
    if (tag.size() <= kHeaderBytes) return {};
    return tag;
}

}  // namespace

std::vector<std::uint8_t> BuildId3v2Tag(const TagInfo& tags, const TagPicture* frontCover) {
    try {
        return BuildWithLame(tags, frontCover);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace qm
