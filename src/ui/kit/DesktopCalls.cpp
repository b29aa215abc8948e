#include "ui/kit/DesktopCalls.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace qm {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Exclamation:
            break;
    }
    return QMessageBox::Warning;
}

class System final : public DesktopCalls {
public:
    MessageAnswer Message(QWidget* parent, const ShownMessage& message) override {
        const bool question = message.buttons == MessageButtons::YesNo;
        QMessageBox box(BoxIcon(message.icon), QString::fromLatin1(kMessageCaption), message.text,
                        question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
        box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
        const int chosen = box.exec();
        if (!question) return MessageAnswer::Ok;
        return chosen == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }

    QStringList ChooseFilesToOpen(QWidget* parent, const FileChoice& choice) override {
        const QStringList files =
            QFileDialog::getOpenFileNames(parent, choice.title, StartFolder(choice), choice.filter);
        if (!files.isEmpty()) m_lastFolder = QFileInfo(files.front()).absolutePath();
        return files;
    }

    QString ChooseFileToOpen(QWidget* parent, const FileChoice& choice) override {
        return QFileDialog::getOpenFileName(parent, choice.title, choice.startFolder, choice.filter);
    }

    QString ChooseFileToSave(QWidget* parent, const FileChoice& choice) override {
        QFileDialog dialog(parent, choice.title, choice.startFolder, choice.filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(choice.defaultSuffix);
        // Qt's dialog asks before it replaces a file and only accepts a name in an existing
        // folder.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().front();
    }

    QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override {
        return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
    }

    bool ShowInFileManager(const QString& path) override {
        return SelectInExplorer(path, [](const QString& folder) { return OpenWithShell(folder); });
    }

    int OpenWithDesktop(const QString& target, ShowMode mode) override { return OpenWithShell(target, mode); }

private:
    QString StartFolder(const FileChoice& choice) const {
        return choice.startFolder.isEmpty() ? m_lastFolder : choice.startFolder;
    }

    // Where the last several files were chosen in this run.
    QString m_lastFolder;
};

}  // namespace

DesktopCalls& SystemDesktop() {
    static System system;
    return system;
}

MessageAnswer ShowMessage(DesktopCalls& desktop, QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons) {
    return desktop.Message(parent, ShownMessage{text, icon, buttons});
}

bool AskYesNo(DesktopCalls& desktop, QWidget* parent, const QString& text) {
    return ShowMessage(desktop, parent, text, MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes;
}

}  // namespace qm
