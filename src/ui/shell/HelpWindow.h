#pragma once

// The help window, titled "Quillmere Help": the program's help pages (HTML compiled into
// the program) in a browser with Back, Forward and Contents. Links to other sites open in
// the desktop's browser.

#include <QMainWindow>
#include <QUrl>

class QTextBrowser;

namespace qm {

class DesktopCalls;

inline constexpr const char* kHelpTitle = "Quillmere Help";
// The contents page of the compiled-in help.
inline constexpr const char* kHelpIndex = "qrc:/help/index.html";

class HelpWindow : public QMainWindow {
    Q_OBJECT

public:
    // Addresses of other sites are opened through desktop.
    HelpWindow(const QUrl& index, DesktopCalls& desktop, QWidget* parent = nullptr);

    // True when the help pages are present (the contents page can be read).
    static bool Available(const QUrl& index);
    QUrl CurrentPage() const;
    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
    QUrl m_index;
};

}  // namespace qm
