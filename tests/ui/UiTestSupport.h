#pragma once

// What the window tests share: one QApplication on the offscreen platform, and a presenter
// that records every message box and answers with the choices queued for it.

#include <QApplication>
#include <deque>
#include <vector>

#include "ui/kit/MessageBoxes.h"

namespace qm::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    // The tests need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit Qt's own global lists (input devices among them) are already
    // gone when function-local statics are destroyed, and tearing the application down then
    // crashes the test program after its last test passed.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class RecordedMessages : public MessagePresenter {
public:
    RecordedMessages() { SetMessagePresenter(this); }
    ~RecordedMessages() override { SetMessagePresenter(nullptr); }

    MessageAnswer Present(QWidget*, const ShownMessage& message) override {
        shown.push_back(message);
        if (answers.empty()) return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<ShownMessage> shown;
    std::deque<MessageAnswer> answers;  // used in order; an empty queue answers Ok or No
};

}  // namespace qm::test
