#pragma once

// What a message box shows. Every message the desktop program shows goes through its
// desktop (DesktopCalls): the caption is always "Quillmere", failures and warnings carry the
// exclamation icon, questions Yes and No with the question icon, and only the start-up
// failure the error icon.

#include <QString>

namespace qm {

inline constexpr const char* kMessageCaption = "Quillmere";

enum class MessageIcon { Information, Exclamation, Question, Error };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct ShownMessage {
    QString text;
    MessageIcon icon = MessageIcon::Exclamation;
    MessageButtons buttons = MessageButtons::Ok;
};

}  // namespace qm
