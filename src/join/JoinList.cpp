#include "join/JoinList.h"

namespace qm {

void JoinList::Clear() {
    m_sources.clear();
    m_targetTag.clear();
}

void JoinList::AddSource(const std::filesystem::path& path) { m_sources.push_back(path); }

void JoinList::AddSources(const std::vector<std::filesystem::path>& paths) {
    m_sources.insert(m_sources.end(), paths.begin(), paths.end());
}

void JoinList::SetTargetTag(const std::string& title, const std::string& artist, const std::string& album,
                            const std::string& year, const std::string& comment, const std::string& genre, int track) {
    TagInfo tags;
    tags.title = title;
    tags.artist = artist;
    tags.album = album;
    tags.year = year;
    tags.comment = comment;
    tags.genre = genre;
    tags.track = track;  // the whole number: track 300 stays 300
    m_targetTag = BuildId3v2Tag(tags);
}

}  // namespace qm
