#pragma once

// Every message the desktop program shows goes through ShowMessage: the caption is always
// "Quillmere", failures and warnings carry the exclamation icon, questions Yes and No with
// the question icon, and only the start-up failure the error icon. A presenter can be put
// in place of the dialog boxes, so that tests see each message and choose the answers.

#include <QString>

class QWidget;

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

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    virtual MessageAnswer Present(QWidget* parent, const ShownMessage& message) = 0;
};

// Shows text in a box captioned "Quillmere" and returns the button chosen.
MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon = MessageIcon::Exclamation,
                          MessageButtons buttons = MessageButtons::Ok);

// A Yes/No question with the question icon; true when the answer is Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// Puts presenter in place of the dialog boxes (nullptr restores them). The presenter is
// not owned and must outlive its use.
void SetMessagePresenter(MessagePresenter* presenter);

}  // namespace qm
