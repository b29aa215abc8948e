#pragma once

// Where the program's links lead: its home page, the support mailbox, the maker's page and
// the update check. Every window that names one of them takes it from here.

#include "QuillmereVersion.h"

namespace qm {

inline constexpr const char* kVersionLine = "Quillmere v" QM_VERSION " build " QM_BUILD_NUMBER;
inline constexpr const char* kHomePage = "https://quillmere.org/";
inline constexpr const char* kMakerPage = "https://quillmere.org/team/";
inline constexpr const char* kMakerCaption = "The Quillmere team";
inline constexpr const char* kSupportAddress = "support@quillmere.org";
// The update check: the page and its fixed query keys.
inline constexpr const char* kUpdateCheckPage =
    "https://quillmere.org/checkforupdates/?ver=" QM_VERSION "&build=" QM_BUILD_NUMBER;
inline constexpr const char* kTellAFriendSubject = "Quillmere - very COOL application!!!";
inline constexpr const char* kTellAFriendBody =
    "Hi,\n\nI have been cutting and joining my MP3 files with Quillmere, and it is quick and easy. "
    "You can download it from https://quillmere.org/\n";

}  // namespace qm
