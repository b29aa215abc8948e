#pragma once

// The files the manual splitter writes to be heard before the split ("Play Seam", "Play
// Pieces"), in a temporary folder of their own, and the player that plays them back to back.
// The folder and every file in it go when the audition stops or is destroyed.

#include <QString>
#include <filesystem>
#include <memory>
#include <vector>

#include "ui/pages/SplitterHearing.h"
#include "ui/widgets/PreviewPlayer.h"

class QObject;
class QTemporaryDir;

namespace qm {

class SplitterAudition {
public:
    SplitterAudition();
    ~SplitterAudition();
    SplitterAudition(const SplitterAudition&) = delete;
    SplitterAudition& operator=(const SplitterAudition&) = delete;

    // Stops what an earlier audition left and makes a fresh temporary folder to write into.
    // Empty when no folder can be made.
    std::filesystem::path NewFolder();
    // Plays files (written into the folder) back to back from their start; notify receives
    // kPlaybackEndedEvent after the last one. False when they cannot be played as one.
    bool Play(const std::vector<hearing::HeardFile>& files, QObject* notify);
    // Stops playing and removes the folder with its files.
    void Stop();

    bool IsPlaying() const { return m_player.CanPlay(); }
    // The source time, in ms, of what is heard now.
    Millis SourceMillis() const;
    // The files being played, in order; empty once stopped.
    const std::vector<hearing::HeardFile>& Files() const { return m_files; }
    // The folder written into; empty when there is none.
    std::filesystem::path Folder() const;

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    PreviewPlayer m_player;
    std::vector<hearing::HeardFile> m_files;
    std::vector<hearing::HeardPart> m_parts;
};

}  // namespace qm
