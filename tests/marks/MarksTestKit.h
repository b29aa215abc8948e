#pragma once

// What the marks tests compare: a mark list as one line of text, so that a table row states
// every field it expects at a glance.

#include <string>

#include "marks/Marks.h"

namespace qm::testing {

// "ALBUM/PERFORMER/GENRE/YEAR | begin-end 'title' by 'performer' #track | ...": an end that
// runs to the next mark is "next"; an empty performer or a track 0 is left out.
inline std::string Describe(const MarkList& list) {
    std::string text = list.album + "/" + list.performer + "/" + list.genre + "/" + list.year;
    for (const Mark& mark : list.marks) {
        text +=
            " | " + std::to_string(mark.begin) + "-" + (mark.end == kToNextMark ? "next" : std::to_string(mark.end));
        text += " '" + mark.title + "'";
        if (!mark.performer.empty()) text += " by '" + mark.performer + "'";
        if (mark.track != 0) text += " #" + std::to_string(mark.track);
    }
    return text;
}

}  // namespace qm::testing
