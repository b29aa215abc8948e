#pragma once

// What the window tests share: one QApplication on the offscreen platform, and a desktop that
// records every call a page makes to it and answers with what the test queued for it.

#include <QApplication>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "ui/kit/DesktopCalls.h"
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

// Hand it to a page with page.SetDesktop(desktop). Every dialog answers with the front of its
// queue (cancelled when the queue is empty); beforeAnswer, when set, runs inside each dialog
// before it answers, as a user's clicks would while a dialog is open.
class RecordedDesktop : public DesktopCalls {
public:
    MessageAnswer Message(QWidget*, const ShownMessage& message) override {
        shown.push_back(message);
        if (answers.empty()) return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QStringList ChooseFilesToOpen(QWidget*, const FileChoice& choice) override { return Answer(filesToOpen, choice); }
    QString ChooseFileToOpen(QWidget*, const FileChoice& choice) override { return Answer(fileToOpen, choice); }
    QString ChooseFileToSave(QWidget*, const FileChoice& choice) override { return Answer(fileToSave, choice); }
    QString ChooseFolder(QWidget*, const QString& title, const QString& startFolder) override {
        return Answer(folderToChoose, FileChoice{title, startFolder, {}, {}});
    }
    bool ShowInFileManager(const QString& path) override {
        shownInFileManager.push_back(path);
        return true;
    }
    int OpenWithDesktop(const QString& target, ShowMode) override {
        opened.push_back(target);
        return openResult;
    }

    std::vector<ShownMessage> shown;
    std::deque<MessageAnswer> answers;  // used in order; an empty queue answers Ok or No
    std::deque<QStringList> filesToOpen;
    std::deque<QString> fileToOpen;
    std::deque<QString> fileToSave;
    std::deque<QString> folderToChoose;
    std::vector<FileChoice> dialogsShown;  // every file dialog and folder browser, in order
    std::function<void()> beforeAnswer;
    std::vector<QString> shownInFileManager;
    std::vector<QString> opened;
    int openResult = kShellOpened;

private:
    template <typename T>
    T Answer(std::deque<T>& queue, const FileChoice& choice) {
        dialogsShown.push_back(choice);
        if (beforeAnswer) beforeAnswer();
        if (queue.empty()) return {};
        T answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
};

}  // namespace qm::test
