#include "ui/shell/QuillmereApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>

#include "stream/AudioLayer.h"
#include "ui/kit/DesktopCalls.h"
#include "ui/pages/CPageAbout.h"
#include "ui/pages/CPageBatchJoiner.h"
#include "ui/pages/CPageBatchSplitter.h"
#include "ui/pages/CPageJoiner.h"
#include "ui/pages/CPageJoinerOpt.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/pages/CPageSplitterOpt.h"
#include "ui/shell/AudioSystem.h"
#include "ui/shell/CMainSheet.h"
#include "ui/shell/HelpWindow.h"

namespace qm {

namespace {

// The pages that keep settings, by tab index; the About page keeps none.
constexpr SettingsPage kSettingsPageOfTab[] = {
    SettingsPage::Splitter,    SettingsPage::BatchSplitter,   SettingsPage::Joiner,
    SettingsPage::BatchJoiner, SettingsPage::SplitterOptions, SettingsPage::JoinerOptions,
};

}  // namespace

QuillmereApp::QuillmereApp(AppEnvironment environment)
    : m_environment(std::move(environment)),
      m_desktop(m_environment.desktop != nullptr ? *m_environment.desktop : SystemDesktop()),
      m_settings(*m_environment.settings, m_environment.documentsFolder) {}

QuillmereApp::~QuillmereApp() { Exit(); }

bool QuillmereApp::Start(const QStringList& files) {
    // The window's page and placement come first; an unreadable store leaves the defaults
    // (first page, no saved rectangle, maximized).
    m_settings.LoadAppGroup();
    if (!StartAudio()) return false;
    m_environment.audio->SetVerifyLength(kVerifyLengthBytes);
    if (m_settings.RunFirstRunStep()) OpenHelp(/*maximized=*/true);

    m_settings.LoadPageGroups();
    CreateSheet();
    m_sheet->SetActivePage(m_settings.app.StartPage);
    KeepCommandLineFiles(files);
    NotePageShown(m_sheet->ActivePageIndex());
    m_sheet->RestoreNormalRect(m_settings.app.WndPosition);
    if (m_settings.app.WndMaximized) {
        m_sheet->showMaximized();
    } else {
        m_sheet->show();
    }
    // The help opened on the first run stays in front of the window that came up after it.
    if (m_help && m_help->isVisible()) m_help->raise();
    return true;
}

bool QuillmereApp::StartAudio() {
    // The interface level sits in the high 16 bits of the version.
    if ((m_environment.audio->Version() >> 16) != kRequiredAudioVersion) return false;
    if (m_environment.audio->Init(audio::kDefaultDevice, kOutputRateHz) && m_environment.audio->HasSoundCard()) {
        m_soundCard = 1;
    } else {
        m_soundCard = 0;
        if (!m_environment.audio->Init(audio::kSilentDevice, kOutputRateHz)) {
            ShowMessage(m_desktop, nullptr, QString::fromLatin1(kStartupFailedMessage), MessageIcon::Error);
            return false;
        }
    }
    m_audioUp = true;
    return true;
}

void QuillmereApp::CreateSheet() {
    m_sheet = std::make_unique<CMainSheet>();
    m_splitter = new CPageSplitter(m_settings);
    m_splitter->SetSoundCard(m_soundCard != 0);
    m_batchSplitter = new CPageBatchSplitter(m_settings);
    m_joiner = new CPageJoiner(m_settings);
    m_batchJoiner = new CPageBatchJoiner(m_settings);
    m_splitterOptions = MakeSplitterOptionsPage(m_settings);
    m_joinerOptions = MakeJoinerOptionsPage(m_settings);
    m_about = new CPageAbout();
    for (CResizablePage* page : std::initializer_list<CResizablePage*>{
             m_splitter, m_batchSplitter, m_joiner, m_batchJoiner, m_splitterOptions, m_joinerOptions, m_about}) {
        page->SetDesktop(m_desktop);
        m_sheet->AddPage(page);
    }
    m_sheet->SetOptionsPages(m_splitterOptions, m_joinerOptions);
    m_sheet->FinishInitialising();

    connect(m_sheet.get(), &CResizableSheet::ActivePageChanged, this, &QuillmereApp::NotePageShown);
    connect(m_sheet.get(), &CMainSheet::Closed, this, &QuillmereApp::MainWindowClosed);
    connect(m_about, &CPageAbout::HelpRequested, this, &QuillmereApp::ShowHelpTopics);
    // F1 opens the help from any of the program's windows.
    auto* help = new QShortcut(QKeySequence::HelpContents, m_sheet.get());
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, &QuillmereApp::ShowHelpTopics);
}

void QuillmereApp::KeepCommandLineFiles(const QStringList& files) {
    QStringList paths;
    for (const QString& file : files) paths.append(QFileInfo(file).absoluteFilePath());
    if (paths.size() == 1) {
        m_splitter->SetInitialFile(paths.front());
        m_sheet->SetActivePage(kSplitterPage);
    } else if (paths.size() > 1) {
        m_joiner->SetInitialFiles(paths);
        m_sheet->SetActivePage(kJoinerPage);
    }
}

CPageSplitterOpt* QuillmereApp::MakeSplitterOptionsPage(SettingsStore& settings) {
    return new CPageSplitterOpt(settings);
}

CPageJoinerOpt* QuillmereApp::MakeJoinerOptionsPage(SettingsStore& settings) { return new CPageJoinerOpt(settings); }

void QuillmereApp::NotePageShown(int index) {
    // A page's settings are written at exit only when its window was shown during the run.
    if (index >= 0 && index < static_cast<int>(std::size(kSettingsPageOfTab))) {
        m_settings.NotePageWindowCreated(kSettingsPageOfTab[index]);
    }
}

void QuillmereApp::ShowHelpTopics() {
    if (m_help) {
        if (m_help->isMinimized()) m_help->showNormal();
        m_help->show();
        m_help->raise();
        m_help->activateWindow();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    OpenHelp(/*maximized=*/false);
    QApplication::restoreOverrideCursor();
}

void QuillmereApp::OpenHelp(bool maximized) {
    // Missing help pages show nothing.
    if (!HelpWindow::Available(m_environment.helpIndex)) return;
    m_help = std::make_unique<HelpWindow>(m_environment.helpIndex, m_desktop);
    if (maximized) {
        m_help->showMaximized();
    } else {
        m_help->show();
    }
}

void QuillmereApp::Exit() {
    if (m_exited) return;
    m_exited = true;
    if (m_help) m_help->close();
    if (m_sheet) {
        if (!m_sheet->PlacementCaptured()) m_sheet->CapturePlacement();
        m_settings.app.StartPage = m_sheet->ClosedPage();
        m_settings.app.WndMaximized = m_sheet->ClosedMaximized();
        m_settings.app.WndPosition = m_sheet->NormalRect();
        m_settings.SaveAtExit();
        m_sheet.reset();
    }
    m_help.reset();
    if (m_audioUp) m_environment.audio->Free();
    m_audioUp = false;
}

}  // namespace qm
