// The desktop program: `quillmere [FILE...]`. One file opens on the splitter page, several
// on the joiner page.

#include <QApplication>
#include <QCommandLineParser>

#include "QuillmereVersion.h"
#include "settings/QSettingsBackend.h"
#include "ui/kit/AppIcon.h"
#include "ui/shell/AudioSystem.h"
#include "ui/shell/HelpWindow.h"
#include "ui/shell/QuillmereApp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setOrganizationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationVersion(QStringLiteral(QM_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));
    QApplication::setWindowIcon(qm::AppIcon());
    // The program ends when its main window closes, even while the help window is open.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cuts MP3 files into pieces and joins them."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("One MP3 file to split, or several to join, in order."),
                                 QStringLiteral("[FILE...]"));
    parser.process(application);

    qm::QSettingsBackend settings;
    qm::StreamAudioSystem audio;
    qm::QuillmereApp shell({&settings, &audio, QUrl(QString::fromLatin1(qm::kHelpIndex)), qm::UserDocumentsFolder()});
    if (!shell.Start(parser.positionalArguments())) return 1;
    QObject::connect(&shell, &qm::QuillmereApp::MainWindowClosed, &application, &QApplication::quit);
    const int status = QApplication::exec();
    shell.Exit();
    return status;
}
