#pragma once

// Every call the pages make to the desktop goes through one DesktopCalls: message boxes, the
// open and save dialogs, the folder browser, showing a file in the file manager and opening
// a file or address with the application the desktop associates with it. The shell hands
// the program's one instance to every page; tests hand a recorder in its place.

#include <QString>
#include <QStringList>

#include "ui/kit/MessageBoxes.h"
#include "ui/kit/ShellCalls.h"

class QWidget;

namespace qm {

// What a file dialog shows: its title, the folder it opens in, the name filter ("MP3 Files
// (*.mp3);;All Files (*)") and, for a save dialog, the extension a typed name gets.
struct FileChoice {
    QString title;
    QString startFolder;
    QString filter;
    QString defaultSuffix;
};

class DesktopCalls {
public:
    virtual ~DesktopCalls() = default;

    // Shows a message box captioned "Quillmere" and returns the button chosen.
    virtual MessageAnswer Message(QWidget* parent, const ShownMessage& message) = 0;
    // The files chosen in an open dialog, as full paths in the dialog's order; empty when
    // cancelled. An empty start folder opens where files were last chosen this way in this
    // run.
    virtual QStringList ChooseFilesToOpen(QWidget* parent, const FileChoice& choice) = 0;
    // One file chosen in an open dialog (an empty start folder: the dialog's own choice);
    // empty when cancelled.
    virtual QString ChooseFileToOpen(QWidget* parent, const FileChoice& choice) = 0;
    // The file named in a save dialog, which asks before it replaces a file; empty when
    // cancelled.
    virtual QString ChooseFileToSave(QWidget* parent, const FileChoice& choice) = 0;
    // The folder chosen in the folder browser, starting at startFolder; empty when cancelled.
    virtual QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
    // Shows path selected in the file manager; false when no file manager showed it.
    virtual bool ShowInFileManager(const QString& path) = 0;
    // Opens target (an address or a local file) with the desktop; a code above
    // kShellSuccessAbove on success, else one of the failure codes of ShellCalls.h.
    virtual int OpenWithDesktop(const QString& target, ShowMode mode) = 0;
};

// The desktop itself: Qt's message boxes and file dialogs, the file manager over D-Bus and
// the desktop's associations.
DesktopCalls& SystemDesktop();

// A message through desktop: failures and warnings carry the exclamation icon.
MessageAnswer ShowMessage(DesktopCalls& desktop, QWidget* parent, const QString& text,
                          MessageIcon icon = MessageIcon::Exclamation, MessageButtons buttons = MessageButtons::Ok);
// A Yes/No question with the question icon; true when the answer is Yes.
bool AskYesNo(DesktopCalls& desktop, QWidget* parent, const QString& text);

}  // namespace qm
