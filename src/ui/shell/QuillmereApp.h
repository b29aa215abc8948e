#pragma once

// The application object: starts the audio layer, restores the main window's page and
// placement from the settings, creates the sheet and its seven pages, opens the help on the
// first run, and at exit closes the help, saves page, placement and the pages' settings,
// deletes the sheet and frees the audio layer.

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <string>

#include "settings/Settings.h"

namespace qm {

class DesktopCalls;

class AudioSystem;
class CMainSheet;
class CPageAbout;
class CPageBatchJoiner;
class CPageBatchSplitter;
class CPageJoiner;
class CPageJoinerOpt;
class CPageSplitter;
class CPageSplitterOpt;
class HelpWindow;

// The page indices of the tab order (the StartPage setting counts in it).
enum PageIndex : int {
    kSplitterPage = 0,
    kBatchSplitterPage = 1,
    kJoinerPage = 2,
    kBatchJoinerPage = 3,
    kSplitterOptionsPage = 4,
    kJoinerOptionsPage = 5,
    kAboutPage = 6,
};

// What the application runs on: where settings are kept, the audio layer, the help's
// contents page and the user's documents folder (UTF-8; empty when unknown). The backend
// and the audio layer are not owned.
struct AppEnvironment {
    SettingsBackend* settings = nullptr;
    AudioSystem* audio = nullptr;
    QUrl helpIndex;
    std::string documentsFolder;
    // Where messages, dialogs and file manager calls go: the system's desktop when null.
    DesktopCalls* desktop = nullptr;
};

// The message of a start-up that could open no audio device.
inline constexpr const char* kStartupFailedMessage = "Failed to initialize the program (0x0002020).";
// The rate the output device is opened at, and the bytes read to verify a file's format.
inline constexpr int kOutputRateHz = 44100;
inline constexpr int kVerifyLengthBytes = 100000;
// The audio layer version required: the high 16 bits, major and minor.
inline constexpr std::uint32_t kRequiredAudioVersion = 0x0204;

class QuillmereApp : public QObject {
    Q_OBJECT

public:
    explicit QuillmereApp(AppEnvironment environment);
    ~QuillmereApp() override;
    QuillmereApp(const QuillmereApp&) = delete;
    QuillmereApp& operator=(const QuillmereApp&) = delete;

    // Starts the program. files are the paths from the command line: one is kept for the
    // manual splitter page and the window opens on it, several are kept for the joiner's
    // list and the window opens on that page. False when the program cannot run (an audio
    // layer of another version, silently; no audio device at all, with a message).
    bool Start(const QStringList& files = {});
    // Ends the program after the window closed (or when it must close now): closes the help
    // window, writes the settings, deletes the sheet and frees the audio layer. Runs once.
    void Exit();

    // The help command: raises the help window when it is open, else opens it shown normally.
    // Nothing happens when the help pages are missing.
    void ShowHelpTopics();

    // 1 when the default output device was opened, 0 on the silent device.
    int SoundCardFlag() const { return m_soundCard; }
    SettingsStore& Settings() { return m_settings; }
    CMainSheet* Sheet() const { return m_sheet.get(); }
    HelpWindow* Help() const { return m_help.get(); }

    CPageSplitter* SplitterPage() const { return m_splitter; }
    CPageJoiner* JoinerPage() const { return m_joiner; }
    CPageSplitterOpt* SplitterOptionsPage() const { return m_splitterOptions; }
    CPageJoinerOpt* JoinerOptionsPage() const { return m_joinerOptions; }
    CPageAbout* AboutPage() const { return m_about; }

signals:
    // The main window was closed by the user; the caller ends the event loop, then calls Exit.
    void MainWindowClosed();

protected:
    // The two options pages; a derived application may put in its own.
    virtual CPageSplitterOpt* MakeSplitterOptionsPage(SettingsStore& settings);
    virtual CPageJoinerOpt* MakeJoinerOptionsPage(SettingsStore& settings);

private:
    bool StartAudio();
    void CreateSheet();
    void KeepCommandLineFiles(const QStringList& files);
    void OpenHelp(bool maximized);
    void NotePageShown(int index);

    AppEnvironment m_environment;
    DesktopCalls& m_desktop;
    SettingsStore m_settings;
    int m_soundCard = 0;
    bool m_audioUp = false;
    bool m_exited = false;
    std::unique_ptr<CMainSheet> m_sheet;
    std::unique_ptr<HelpWindow> m_help;
    // The pages belong to the sheet.
    CPageSplitter* m_splitter = nullptr;
    CPageBatchSplitter* m_batchSplitter = nullptr;
    CPageJoiner* m_joiner = nullptr;
    CPageBatchJoiner* m_batchJoiner = nullptr;
    CPageSplitterOpt* m_splitterOptions = nullptr;
    CPageJoinerOpt* m_joinerOptions = nullptr;
    CPageAbout* m_about = nullptr;
};

}  // namespace qm
