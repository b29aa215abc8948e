// Writing chapters into a tag: CHAP frames and their table of contents, rendered by TagLib
// in the layout of the ID3v2.3 tags BuildId3v2Tag makes.

#include <taglib/chapterframe.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>

#include <exception>
#include <string>
#include <utility>

#include "stream/Id3v2Bytes.h"
#include "stream/Tags.h"

namespace qm {

namespace {

constexpr std::size_t kHeaderBytes = 10;
constexpr unsigned kTagVersion = 3;
const char* const kTableId = "toc";

bool IsLatin1(const TagLib::String& text) {
    for (const wchar_t code : text) {
        if (static_cast<unsigned>(code) > 0xFF) return false;
    }
    return true;
}

// A TagLib frame laid out for version 2.3 (TagLib makes new frames for version 2.4, whose
// frame sizes are synchsafe).
template <class FrameType>
class Version23 : public FrameType {
public:
    template <class... Args>
    explicit Version23(Args&&... args) : FrameType(std::forward<Args>(args)...) {
        this->header()->setVersion(kTagVersion);
    }
};

// A TIT2 frame for a chapter: Latin-1 where it holds the title, else UTF-16 (version 2.3 has
// no UTF-8).
TagLib::ID3v2::Frame* TitleFrame(const std::string& utf8) {
    const TagLib::String title(utf8, TagLib::String::UTF8);
    auto* frame = new Version23<TagLib::ID3v2::TextIdentificationFrame>(
        TagLib::ByteVector("TIT2"), IsLatin1(title) ? TagLib::String::Latin1 : TagLib::String::UTF16);
    frame->setText(title);
    return frame;
}

TagLib::ByteVector ElementId(const std::string& id) { return TagLib::ByteVector(id.data(), id.size()); }

}  // namespace

bool AppendChapterFrames(const std::vector<Chapter>& chapters, std::vector<std::uint8_t>* tag) {
    if (chapters.empty()) return true;
    if (tag->empty()) *tag = {'I', 'D', '3', kTagVersion, 0, 0, 0, 0, 0, 0};
    if (tag->size() < kHeaderBytes || (*tag)[3] != kTagVersion) return false;
    try {
        Version23<TagLib::ID3v2::TableOfContentsFrame> table(ElementId(kTableId));
        table.setIsTopLevel(true);
        table.setIsOrdered(true);
        for (const Chapter& chapter : chapters) {
            TagLib::ID3v2::FrameList titles;
            if (!chapter.title.empty()) titles.append(TitleFrame(chapter.title));
            // The chapter owns its sub-frames and deletes them.
            Version23<TagLib::ID3v2::ChapterFrame> frame(ElementId(chapter.id), chapter.startMs, chapter.endMs,
                                                         chapter.startOffset, chapter.endOffset, titles);
            const TagLib::ByteVector bytes = frame.render();
            tag->insert(tag->end(), bytes.begin(), bytes.end());
            table.addChildElement(ElementId(chapter.id));
        }
        const TagLib::ByteVector bytes = table.render();
        tag->insert(tag->end(), bytes.begin(), bytes.end());
    } catch (const std::exception&) {
        return false;
    }
    WriteSynchsafe32(static_cast<std::uint32_t>(tag->size() - kHeaderBytes), tag->data() + 6);
    return true;
}

bool PadId3v2Tag(std::size_t totalBytes, std::vector<std::uint8_t>* tag) {
    if (tag->size() < kHeaderBytes || tag->size() > totalBytes || (*tag)[0] != 'I' || (*tag)[1] != 'D' ||
        (*tag)[2] != '3') {
        return false;
    }
    tag->resize(totalBytes, 0);
    WriteSynchsafe32(static_cast<std::uint32_t>(totalBytes - kHeaderBytes), tag->data() + 6);
    return true;
}

}  // namespace qm
