#include "join/JoinList.h"

#include <chrono>

#include "marks/CueSheet.h"
#include "output/OutputPath.h"
#include "stream/OutputFile.h"

namespace qm {

namespace {

// How long a wait for the output's check lasts between two looks at the pump and the cancel
// flag: the pump's own interval.
constexpr std::chrono::milliseconds kCheckWaitStep{15};

}  // namespace

void JoinList::Clear() {
    m_sources.clear();
    m_targetTag.clear();
    m_targetFields = TagInfo{};
}

void JoinList::AddSource(const std::filesystem::path& path) { m_sources.push_back(path); }

void JoinList::AddSources(const std::vector<std::filesystem::path>& paths) {
    m_sources.insert(m_sources.end(), paths.begin(), paths.end());
}

void JoinList::SetTargetTag(const std::string& title, const std::string& artist, const std::string& album,
                            const std::string& year, const std::string& comment, const std::string& genre, int track,
                            const TagPicture* frontCover) {
    TagInfo tags;
    tags.title = title;
    tags.artist = artist;
    tags.album = album;
    tags.year = year;
    tags.comment = comment;
    tags.genre = genre;
    tags.track = track;  // the whole number: track 300 stays 300
    m_targetTag = BuildId3v2Tag(tags, frontCover);
    m_targetFields = std::move(tags);
}

bool JoinList::WriteTargetTag(OutputFile& out) {
    m_names.clear();
    m_chapters.clear();
    std::vector<std::uint8_t> tag = m_targetTag;
    if (m_navigation.Any()) {
        for (const std::filesystem::path& source : m_sources) m_names.push_back(SourceNameOf(source));
    }
    if (m_navigation.chapters) {
        // Times and offsets are not known yet; the frames' sizes do not depend on them.
        std::vector<Chapter> named(m_sources.size());
        for (std::size_t k = 0; k < named.size(); ++k) {
            named[k].id = "ch" + std::to_string(k);
            named[k].title = m_names[k].title;
        }
        if (!AppendChapterFrames(named, &tag)) return false;
    }
    m_writtenTagBytes = tag.size();
    return tag.empty() || out.Write(tag.data(), tag.size());
}

bool JoinList::FinishNavigation(OutputFile& out, const JoinedTimeline& timeline, const PlayedStream& played,
                                std::uint64_t endByteOffset) {
    if (!m_navigation.Any()) return true;
    m_chapters = timeline.Chapters(m_names, played, endByteOffset);
    if (!m_navigation.chapters) return true;
    std::vector<std::uint8_t> tag = m_targetTag;
    if (!AppendChapterFrames(m_chapters, &tag) || tag.size() != m_writtenTagBytes) return false;
    return out.Rewrite(0, tag.data(), tag.size());
}

bool JoinList::StageCueSheet(const std::filesystem::path& target, StagedOutputs& staged) {
    const std::filesystem::path sheetPath = CueSheetBeside(target);
    const std::string text = JoinedCueSheetText(m_chapters, m_names, m_targetFields, target.filename().string());
    OutputFile sheet;
    if (!sheet.Create(sheetPath)) {
        m_lastError = FailedToCreateMessage(sheetPath);
        return false;
    }
    std::filesystem::path temporary;
    if (!sheet.Write(text.data(), text.size()) || !sheet.Stage(&temporary)) {
        m_lastError = FailedToWriteMessage(sheetPath);
        return false;
    }
    staged.Add(temporary, sheetPath);
    return true;
}

bool JoinList::CommitOutput(OutputFile& out, const std::filesystem::path& target, const OutputExpectation& expectation,
                            const LongOperation& operation) {
    if (!m_verify && !m_navigation.cueSheet) {
        if (out.Commit()) return true;
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    // The output is checked while it is still the temporary file beside the target, so a
    // file that fails never replaces anything; the staged output deletes it on the way out.
    // The cue sheet waits beside it and goes in place with it, or not at all.
    StagedOutputs staged;
    std::filesystem::path temporary;
    if (!out.Stage(&temporary)) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    staged.Add(temporary, target);
    if (m_navigation.cueSheet && !StageCueSheet(target, staged)) return false;
    if (!m_verify) {
        std::filesystem::path failed;
        if (staged.PlaceAll(&failed)) return true;
        m_lastError = FailedToWriteMessage(failed);
        return false;
    }
    // Checked on the verifier's thread, so that the window and the cancel flag are looked
    // after while the output is decoded.
    OutputVerifier verifier;
    verifier.SetBeforeCheck(m_beforeCheck);
    verifier.Submit(temporary, target, expectation);
    while (!verifier.WaitFor(kCheckWaitStep)) {
        if (operation.PumpAndCheckCancel()) {
            verifier.Abandon();
            return false;
        }
    }
    if (const std::optional<VerifyFailure> failure = verifier.Wait()) {
        m_lastError = failure->message;
        return false;
    }
    std::filesystem::path failed;
    if (staged.PlaceAll(&failed)) return true;
    m_lastError = FailedToWriteMessage(failed.empty() ? target : failed);
    return false;
}

}  // namespace qm
