#include "ui/pages/SplitterAudition.h"

#include <QDir>
#include <QTemporaryDir>

#include "ui/widgets/PathText.h"

namespace qm {

SplitterAudition::SplitterAudition() = default;

SplitterAudition::~SplitterAudition() { Stop(); }

std::filesystem::path SplitterAudition::NewFolder() {
    Stop();
    auto folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quillmere-hear-XXXXXX"));
    if (!folder->isValid()) return {};
    m_folder = std::move(folder);
    return Folder();
}

std::filesystem::path SplitterAudition::Folder() const {
    return m_folder ? PathOf(m_folder->path()) : std::filesystem::path();
}

bool SplitterAudition::Play(const std::vector<hearing::HeardFile>& files, QObject* notify) {
    std::vector<std::filesystem::path> paths;
    for (const hearing::HeardFile& file : files) paths.push_back(file.path);
    if (!m_player.OpenSequence(paths, notify)) return false;
    m_files = files;
    // Each part lasts from its start to the next one's (the last to the end of all).
    const std::vector<std::uint64_t>& startsMs = m_player.PartStartsMs();
    const auto totalMs = static_cast<Millis>(m_player.LengthMs());
    m_parts.clear();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto startMs = static_cast<Millis>(startsMs[i]);
        const Millis endMs = i + 1 < files.size() ? static_cast<Millis>(startsMs[i + 1]) : totalMs;
        m_parts.push_back({startMs, endMs - startMs, files[i].sourceEndMs});
    }
    m_player.SeekMs(0);
    m_player.Play();
    return true;
}

void SplitterAudition::Stop() {
    // The stream lets go of the files before they are removed.
    m_player.CloseStream();
    m_files.clear();
    m_parts.clear();
    m_folder.reset();
}

Millis SplitterAudition::SourceMillis() const {
    return hearing::SourceMillisAt(m_parts, static_cast<Millis>(m_player.PositionMs()));
}

}  // namespace qm
