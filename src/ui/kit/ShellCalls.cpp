#include "ui/kit/ShellCalls.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace qm {

namespace {

// A target without a scheme (or with "file:") names a local file; anything else is an
// address handed to the desktop as it is. A Windows drive letter is not a scheme.
bool IsLocalTarget(const QString& target, QString* localPath) {
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1) {
        if (!url.isLocalFile()) return false;
        *localPath = url.toLocalFile();
        return true;
    }
    *localPath = target;
    return true;
}

int OpenThroughDesktop(const QString& target) {
    QString localPath;
    if (IsLocalTarget(target, &localPath)) {
        const QFileInfo file(localPath);
        if (!file.exists()) {
            return file.absoluteDir().exists() ? kShellFileNotFound : kShellPathNotFound;
        }
        return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())) ? kShellOpened
                                                                                       : kShellNoAssociation;
    }
    return QDesktopServices::openUrl(QUrl(target)) ? kShellOpened : kShellNoAssociation;
}

// The freedesktop file manager interface: ShowItems(uris, startup id) opens the folders of
// the files and selects them.
bool ShowItemsOverDBus(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // A file manager that is not running is started by the bus; give it a few seconds.
    constexpr int kCallTimeoutMs = 5000;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

int OpenWithShell(const QString& target, ShowMode /*mode*/) {
    // The desktop decides how the opened application's window appears; the show mode only
    // matters to the program's own windows.
    return OpenThroughDesktop(target);
}

bool SelectInExplorer(const QString& path, const std::function<int(const QString& folder)>& openFolder) {
    const QFileInfo file(path);
    if (ShowItemsOverDBus(file.absoluteFilePath())) return true;
    return openFolder(file.absolutePath()) > kShellSuccessAbove;
}

QString LinkFailureReason(int code) {
    struct Reason {
        int code;
        const char* text;
    };
    static constexpr Reason kReasons[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30,
         "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
         "being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
    };
    for (const Reason& reason : kReasons) {
        if (reason.code == code) return QString::fromLatin1(reason.text);
    }
    return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
}

}  // namespace qm
