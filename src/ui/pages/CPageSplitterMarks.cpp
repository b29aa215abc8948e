// The manual splitter page's marks: the menu of the commands that turn the file's pauses, a
// cue sheet, the file's chapters or a label file into the pieces list, and that save the
// pieces as a cue sheet or a label file; the pieces' titles edited in place.

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include "marks/CueSheet.h"
#include "marks/LabelFile.h"
#include "marks/SilenceScan.h"
#include "settings/Settings.h"
#include "ui/kit/DesktopCalls.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/pages/SilenceDialog.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/ProgressDialog.h"

namespace qm {

namespace {

namespace fs = std::filesystem;

constexpr const char* kCueSheetFilter = "Cue Sheets (*.cue);;All Files (*)";
constexpr const char* kLabelFileFilter = "Label Files (*.txt);;All Files (*)";

}  // namespace

QPushButton* CPageSplitter::MakeMarksButton(QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("Mar&ks"), parent);
    button->setToolTip(
        QStringLiteral("Make the pieces from the file's silences, a cue sheet, its chapters or labels, "
                       "or save them as a cue sheet or labels"));
    auto* menu = new QMenu(button);
    Controls::MarksMenu& actions = m_ui.marksMenu;
    const auto add = [&](const char* caption, void (CPageSplitter::*command)()) {
        return menu->addAction(QString::fromUtf8(caption), this, command);
    };
    actions.findSilences = add("&Find Silences...", &CPageSplitter::FindSilences);
    menu->addSeparator();
    actions.loadCueSheet = add("Load &Cue Sheet...", &CPageSplitter::LoadCueSheet);
    actions.loadChapters = add("Load C&hapters", &CPageSplitter::LoadChapters);
    actions.loadLabels = add("Load &Labels...", &CPageSplitter::LoadLabels);
    menu->addSeparator();
    actions.saveCueSheet = add("Save as Cue &Sheet...", &CPageSplitter::SaveCueSheet);
    actions.saveLabels = add("Save as La&bels...", &CPageSplitter::SaveLabels);
    button->setMenu(menu);
    return button;
}

void CPageSplitter::EnableMarks(bool loaded) {
    m_ui.marks->setEnabled(loaded);
    const Controls::MarksMenu& actions = m_ui.marksMenu;
    for (QAction* action :
         {actions.findSilences, actions.loadCueSheet, actions.loadLabels, actions.saveCueSheet, actions.saveLabels}) {
        action->setEnabled(loaded);
    }
    actions.loadChapters->setEnabled(loaded && m_chapters.has_value());
}

void CPageSplitter::LoadMarks(const MarkList& marks) {
    if (m_path.isEmpty() || marks.Empty()) return;
    m_pieces = RowsOfMarks(marks, m_totalTenths);
    m_ui.mode.Button(SplitTypeCode::ByCustom)->setChecked(true);
    ShowPieces(0);
    ApplyMode();
}

void CPageSplitter::FindSilences() {
    if (m_path.isEmpty()) return;
    SilenceOptions options = m_settings.splitterPage.split.silence;
    if (!EditSilenceOptions(this, QStringLiteral("Find Silences"), &options)) return;
    m_settings.splitterPage.split.silence = options;

    ProgressDialog progress(this);
    progress.SetText(QStringLiteral("Finding silences in %1...").arg(QFileInfo(m_path).fileName()));
    progress.Start();
    progress.Pump().PumpMessages();
    std::string message;
    const std::optional<MarkList> marks = FindSilenceMarks(PathOf(m_path), options, progress.Operation(), &message);
    progress.Finish();
    // Cancelled, the scan leaves no message and the pieces as they were.
    if (!marks) {
        if (!message.empty()) ShowMessage(Desktop(), this, Utf8(message));
        return;
    }
    LoadMarks(*marks);
}

void CPageSplitter::LoadMarksFile(const char* title, const char* filter, MarksReader read) {
    if (m_path.isEmpty()) return;
    const QString chosen = Desktop().ChooseFileToOpen(
        this, FileChoice{QString::fromUtf8(title), QFileInfo(m_path).absolutePath(), QString::fromUtf8(filter), {}});
    QCoreApplication::processEvents();
    if (chosen.isEmpty()) return;
    std::string message;
    const std::optional<MarkList> marks = read(PathOf(chosen), &message);
    if (!marks) {
        ShowMessage(Desktop(), this, Utf8(message));
        return;
    }
    LoadMarks(*marks);
}

void CPageSplitter::LoadCueSheet() { LoadMarksFile("Load Cue Sheet", kCueSheetFilter, &ReadCueSheet); }

void CPageSplitter::LoadLabels() { LoadMarksFile("Load Labels", kLabelFileFilter, &ReadLabelFile); }

void CPageSplitter::LoadChapters() {
    if (m_chapters) LoadMarks(*m_chapters);
}

void CPageSplitter::SaveMarksFile(const char* title, const char* filter, const char* suffix, const MarksWriter& write) {
    if (m_path.isEmpty()) return;
    // The dialog starts on NAME.SUFFIX beside the source.
    fs::path beside = PathOf(m_path);
    beside.replace_extension(suffix);
    const QString chosen = Desktop().ChooseFileToSave(
        this,
        FileChoice{QString::fromUtf8(title), PathText(beside), QString::fromUtf8(filter), QString::fromUtf8(suffix)});
    QCoreApplication::processEvents();
    if (chosen.isEmpty()) return;
    std::string message;
    if (!write(PathOf(chosen), MarksOfRows(m_pieces), &message)) ShowMessage(Desktop(), this, Utf8(message));
}

void CPageSplitter::SaveCueSheet() {
    // The sheet's FILE line names the source beside it.
    const std::string audioFileName = QFileInfo(m_path).fileName().toStdString();
    SaveMarksFile("Save as Cue Sheet", kCueSheetFilter, "cue",
                  [&](const fs::path& path, const MarkList& marks, std::string* message) {
                      return WriteCueSheet(path, marks, audioFileName, message);
                  });
}

void CPageSplitter::SaveLabels() {
    // The last label ends where the audio does, to the millisecond.
    const auto lastEnd = static_cast<Millis>(m_player.LengthMs());
    SaveMarksFile("Save as Labels", kLabelFileFilter, "txt",
                  [&](const fs::path& path, const MarkList& marks, std::string* message) {
                      return WriteLabelFile(path, marks, lastEnd, message);
                  });
}

}  // namespace qm
