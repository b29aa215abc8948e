#pragma once

// One join job: the ordered source files, the tag for the target and the message of the
// last failure, with the two ways of joining them: copying the MPEG frames unchanged
// (JoinDirect) or decoding every source and encoding one stream (JoinReencode).
//
// The target is written to a temporary file beside it and put in place only when the join
// succeeds, so a failed or cancelled join leaves no new file and keeps an existing one, and
// a target that is also one of the sources can be written.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "join/EncoderParams.h"
#include "join/JoinNavigation.h"
#include "progress/Progress.h"
#include "stream/FailureMessages.h"
#include "stream/GranuleGainEdit.h"
#include "stream/OutputVerify.h"
#include "stream/Tags.h"

namespace qm {

class OutputFile;
class StagedOutputs;

// One step of a Layer III granule's global_gain in dB: 20 log10(2^(1/4)).
inline constexpr double kGainStepDb = 1.5051499783199060;

class JoinList {
public:
    // Removes every source and the target tag; the last error stays.
    void Clear();
    void AddSource(const std::filesystem::path& path);
    void AddSources(const std::vector<std::filesystem::path>& paths);
    // Builds the target's ID3v2 tag from the fields (text UTF-8, track 0 = none) and, when
    // given, the front cover picture. Every field empty and no picture: no tag.
    void SetTargetTag(const std::string& title, const std::string& artist, const std::string& album,
                      const std::string& year, const std::string& comment, const std::string& genre, int track,
                      const TagPicture* frontCover = nullptr);

    // Writes the tag, one Xing/Info frame for the joined stream (Layer III), then the audio
    // frames of every source from its audio start, unchanged (but for a gain) and in order: the sources' own
    // Xing/Info frames and what is not a frame of the stream's format stay behind, and so do a
    // source's first frames when its encoder delay marks them as repeats of the previous
    // source's last frames (as a split piece does). The sources must be able to share one
    // stream (CanShareStream); bit rates may differ. False with LastError set (nothing set
    // when cancelled), and no target written.
    [[nodiscard]] bool JoinDirect(const std::filesystem::path& target, const LongOperation& operation);
    // Decodes every source, brings it to params' rate and channels and encodes it as one
    // constant-bit-rate stream after the tag. Failure as for JoinDirect.
    [[nodiscard]] bool JoinReencode(const std::filesystem::path& target, const EncoderParams& params,
                                    const LongOperation& operation);

    // What the joined file carries to find the sources in it: one chapter per source in its
    // tag, and a cue sheet beside it (CueSheetBeside) written with it and put in place with
    // it, so that a failed or cancelled join leaves neither. Nothing by default.
    void SetNavigation(const JoinNavigation& navigation) { m_navigation = navigation; }
    const JoinNavigation& Navigation() const { return m_navigation; }
    // After a join that wrote chapters or a cue sheet: one chapter per source, as written.
    const std::vector<Chapter>& JoinedChapters() const { return m_chapters; }

    // A volume change of every joined file, in tenths of a dB (0: none). The direct join
    // steps each Layer III granule's global_gain by the nearest whole number of steps
    // (GainSteps: 1.505 dB each), so the frames and their sizes stay; Layer I and II frames
    // have no such field and are copied unchanged (RunJoin re-encodes such a join instead).
    // The re-encoding join scales the decoded samples by the gain itself, clipped to 16 bits.
    void SetGain(int tenthsDb) { m_gainTenthsDb = tenthsDb; }
    int GainTenthsDb() const { return m_gainTenthsDb; }
    // After a join: the gain it applied in dB (whole steps for a direct join, as asked for a
    // re-encoded one; 0 when none), and what the direct join did to the granules' fields.
    double AppliedGainDb() const { return m_appliedGainDb; }
    const GainEditCount& GainCounts() const { return m_gainCounts; }

    // Called on the re-encoding join's decoding thread after each read of a source, with the
    // source's index. Empty by default; a test's hook throws to take the decoding thread's
    // failure path, which no real source takes on demand.
    using DecodeHook = std::function<void(int sourceIndex)>;
    void SetDecodeHook(DecodeHook hook) { m_decodeHook = std::move(hook); }

    // With verify, the complete output is checked (VerifyMp3File against what the join wrote
    // into it) before it is put in place. One that fails is deleted, any file it was to
    // replace stays, and the join fails with VerificationFailedMessage. Off by default.
    void SetVerifyOutput(bool verify) { m_verify = verify; }
    // Called with the complete output's file before its check; tests damage it there.
    void SetBeforeCheck(OutputVerifier::BeforeCheck hook) { m_beforeCheck = std::move(hook); }

    // The message of the last failed join; never cleared by the object.
    const std::string& LastError() const { return m_lastError; }
    const std::vector<std::filesystem::path>& Sources() const { return m_sources; }
    const std::vector<std::uint8_t>& TargetTag() const { return m_targetTag; }

private:
    struct ReencodeRun;
    [[nodiscard]] bool CopyFrames(const std::filesystem::path& target, const LongOperation& operation);
    bool Reencode(const std::filesystem::path& target, const EncoderParams& params, const LongOperation& operation);
    [[nodiscard]] bool EncodeBlocks(ReencodeRun& run);
    // Puts the complete output in place, checked first when asked to (pumping meanwhile);
    // false with the message set, or without one when cancelled.
    [[nodiscard]] bool CommitOutput(OutputFile& out, const std::filesystem::path& target,
                                    const OutputExpectation& expectation, const LongOperation& operation);
    // Writes the target's tag, with a placeholder chapter per source when chapters are asked
    // for (the names of the sources are read here); false on a failed write.
    [[nodiscard]] bool WriteTargetTag(OutputFile& out);
    // Works out the chapters from where the sources began and writes the tag again with them,
    // over the placeholder; false on a failed write.
    [[nodiscard]] bool FinishNavigation(OutputFile& out, const JoinedTimeline& timeline, const PlayedStream& played,
                                        std::uint64_t endByteOffset);
    // Stages the cue sheet beside target into staged; false with the message set.
    [[nodiscard]] bool StageCueSheet(const std::filesystem::path& target, StagedOutputs& staged);

    std::string m_lastError;
    std::vector<std::uint8_t> m_targetTag;
    TagInfo m_targetFields;
    std::size_t m_writtenTagBytes = 0;  // the tag as written, placeholder chapters included
    JoinNavigation m_navigation;
    std::vector<SourceName> m_names;  // of the sources, read when the join starts
    std::vector<Chapter> m_chapters;
    std::vector<std::filesystem::path> m_sources;
    DecodeHook m_decodeHook;
    int m_gainTenthsDb = 0;
    double m_appliedGainDb = 0;
    GainEditCount m_gainCounts;
    bool m_verify = false;
    OutputVerifier::BeforeCheck m_beforeCheck;
};

}  // namespace qm
