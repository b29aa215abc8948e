#include "join/JoinList.h"

#include <chrono>

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
}

bool JoinList::CommitOutput(OutputFile& out, const std::filesystem::path& target, const OutputExpectation& expectation,
                            const LongOperation& operation) {
    if (!m_verify) {
        if (out.Commit()) return true;
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    // The output is checked while it is still the temporary file beside the target, so a
    // file that fails never replaces anything; the staged output deletes it on the way out.
    StagedOutputs staged;
    std::filesystem::path temporary;
    if (!out.Stage(&temporary)) {
        m_lastError = FailedToWriteMessage(target);
        return false;
    }
    staged.Add(temporary, target);
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
    m_lastError = FailedToWriteMessage(target);
    return false;
}

}  // namespace qm
