// The manual splitter page's playback: the play state machine, the timer that follows the
// position, what a move of the timeline or the position box does to what plays, and the
// files written to be heard before the split ("Play Seam", "Play Pieces").

#include <QFileInfo>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "settings/Settings.h"
#include "stream/TenthsText.h"
#include "ui/kit/DesktopCalls.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/pages/SplitterControls.h"
#include "ui/widgets/PathText.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/WaveformStrip.h"

namespace qm {

namespace {

constexpr int kMsPerTenth = 100;

QString NoSoundCardMessage(const char* command) {
    return QStringLiteral("Dear user, the program can't detect a sound card on your computer. The \"%1\" doesn't work.")
        .arg(QString::fromLatin1(command));
}

}  // namespace

void CPageSplitter::Run(Command command) {
    // One transition per play state (rows) and command (columns); the end of playback is
    // handled as "S&top".
    static constexpr Transition kTransitions[6][3] = {
        // "&Play"                                "Previe&w"                            "S&top"
        {&CPageSplitter::StartPlaying, &CPageSplitter::PreviewSelected, &CPageSplitter::StayStopped},  // Stopped
        {&CPageSplitter::PausePlaying, &CPageSplitter::PauseAndPreview, &CPageSplitter::StopPlaying},  // Playing
        {&CPageSplitter::ResumeOrPlay, &CPageSplitter::PreviewSelected, &CPageSplitter::StopPaused},   // Paused
        {&CPageSplitter::PausePreview, &CPageSplitter::StopPreview, &CPageSplitter::StopPreview},      // Previewing
        {&CPageSplitter::ResumePreviewOrPlay, &CPageSplitter::StopPreviewPaused,
         &CPageSplitter::StopPreviewPaused},                                                      // PreviewPaused
        {&CPageSplitter::StopHearing, &CPageSplitter::StopHearing, &CPageSplitter::StopHearing},  // Hearing
    };
    (this->*kTransitions[static_cast<int>(m_state)][static_cast<int>(command)])();
}

void CPageSplitter::PlayPressed() {
    if (!m_soundCard) {
        ShowMessage(Desktop(), this, NoSoundCardMessage("Play"));
        return;
    }
    if (m_path.isEmpty()) return;
    Run(Command::Play);
}

void CPageSplitter::PreviewPressed() {
    if (!m_soundCard) {
        ShowMessage(Desktop(), this, NoSoundCardMessage("Preview"));
        return;
    }
    // Only a selected piece can be previewed; without one the button is disabled.
    if (m_path.isEmpty() || SelectedPiece() < 0) return;
    Run(Command::Preview);
}

void CPageSplitter::StopPressed() {
    // While the files to be heard are written, Stop is their progress window's Cancel.
    if (m_writing != nullptr) {
        m_writing->CancelButton()->click();
        return;
    }
    if (!m_soundCard) {
        m_state = PlayerState::Stopped;
        return;
    }
    Run(Command::Stop);
}

bool CPageSplitter::event(QEvent* event) {
    if (event->type() == kPlaybackEndedEvent) {
        StopPressed();
        return true;
    }
    return CResizablePage::event(event);
}

std::uint32_t CPageSplitter::Ms(int tenths) const {
    return static_cast<std::uint32_t>(std::max(0, tenths)) * kMsPerTenth;
}

int CPageSplitter::PositionTenths() const { return static_cast<int>(m_player.PositionMs() / kMsPerTenth); }

int CPageSplitter::TimelinePosition() const { return m_ui.timeline->value(); }

QString CPageSplitter::PositionText() const { return m_ui.position->Text(); }

void CPageSplitter::ShowPosition(int tenths) {
    m_ui.position->ShowText(FormatPosition(tenths, m_totalTenths));
    m_ui.waveform->SetCursor(tenths);
}

void CPageSplitter::ShowAt(int tenths) {
    m_ui.timeline->setValue(tenths);
    ShowPosition(tenths);
}

void CPageSplitter::EnterPlaying(PlayerState state) {
    m_state = state;
    m_ui.play->setText(QStringLiteral("&Pause"));
    m_timer->start();
}

void CPageSplitter::StayStopped() { m_state = PlayerState::Stopped; }

void CPageSplitter::StartPlaying() {
    m_playStartTenths = m_ui.timeline->value();
    m_player.SeekMs(Ms(m_playStartTenths));
    m_player.Play();
    EnterPlaying(PlayerState::Playing);
}

void CPageSplitter::PausePlaying() {
    m_timer->stop();
    m_player.Pause();
    m_pauseTenths = PositionTenths();
    ShowAt(m_pauseTenths);
    m_ui.play->setText(QStringLiteral("&Play"));
    m_state = m_state == PlayerState::Previewing ? PlayerState::PreviewPaused : PlayerState::Paused;
}

void CPageSplitter::PauseAndPreview() {
    m_timer->stop();
    m_player.Pause();
    PreviewSelected();
}

void CPageSplitter::StopPlaying() {
    m_timer->stop();
    m_player.Pause();
    StopPaused();
}

void CPageSplitter::ResumeOrPlay() {
    m_playStartTenths = m_ui.timeline->value();
    if (m_playStartTenths == m_pauseTenths) {
        m_player.Resume();
    } else {
        m_player.SeekMs(Ms(m_playStartTenths));
        m_player.Play();
    }
    EnterPlaying(PlayerState::Playing);
}

void CPageSplitter::StopPaused() {
    ShowAt(m_playStartTenths);
    m_ui.play->setText(QStringLiteral("&Play"));
    m_state = PlayerState::Stopped;
}

void CPageSplitter::PausePreview() { PausePlaying(); }

void CPageSplitter::StopPreview() {
    m_timer->stop();
    m_player.Pause();
    StopPreviewPaused();
}

void CPageSplitter::ResumePreviewOrPlay() {
    const int position = m_ui.timeline->value();
    if (position == m_pauseTenths) {
        m_player.Resume();
        EnterPlaying(PlayerState::Previewing);
    } else if (position >= m_previewStartTenths && position < m_previewEndTenths) {
        m_player.PlayRange(Ms(position), Ms(m_previewEndTenths));
        EnterPlaying(PlayerState::Previewing);
    } else {
        // Outside the piece the whole file plays from there.
        m_ui.preview->setText(QStringLiteral("Previe&w"));
        m_player.SeekMs(Ms(position));
        m_player.Play();
        EnterPlaying(PlayerState::Playing);
    }
}

void CPageSplitter::StopPreviewPaused() {
    ShowAt(m_previewStartTenths);
    m_ui.play->setText(QStringLiteral("&Play"));
    m_ui.preview->setText(QStringLiteral("Previe&w"));
    m_state = PlayerState::Stopped;
}

void CPageSplitter::PreviewSelected() {
    const int selected = SelectedPiece();
    if (selected < 0) return;
    const PieceRow& piece = m_pieces[static_cast<std::size_t>(selected)];
    m_previewStartTenths = piece.startTenths;
    m_previewEndTenths = piece.endTenths;
    ShowAt(m_previewStartTenths);
    m_playStartTenths = m_previewStartTenths;
    m_player.PlayRange(Ms(m_previewStartTenths), Ms(m_previewEndTenths));
    m_ui.preview->setText(QStringLiteral("Stop"));
    EnterPlaying(PlayerState::Previewing);
}

void CPageSplitter::TimerTick() {
    if (m_dragging) return;
    // What is heard of written files shows at the place in the source it comes from.
    if (m_state == PlayerState::Hearing) {
        ShowAt(std::min(MillisToTenths(m_audition.SourceMillis()), m_totalTenths));
        return;
    }
    ShowAt(PositionTenths());
}

// ---- hearing the cut before the split --------------------------------------------------------

std::optional<Millis> CPageSplitter::SeamBoundary() const {
    if (m_pieces.size() < 2) return std::nullopt;
    if (const std::optional<Millis> chosen = SelectedBoundaryMillis()) return chosen;
    const int selected = SelectedPiece();
    if (selected < 0) return std::nullopt;
    return selected == 0 ? Millis{0} : m_pieces[static_cast<std::size_t>(selected - 1)].EndMillis();
}

void CPageSplitter::EnableHearing() {
    m_ui.playPieces->setEnabled(!m_path.isEmpty());
    m_ui.playSeam->setEnabled(!m_path.isEmpty() && SeamBoundary().has_value());
}

void CPageSplitter::PlaySeamPressed() {
    if (!m_soundCard) {
        ShowMessage(Desktop(), this, NoSoundCardMessage("Play Seam"));
        return;
    }
    const std::optional<Millis> boundary = SeamBoundary();
    if (m_path.isEmpty() || !boundary) return;
    const std::vector<hearing::Stretch> stretches =
        hearing::SeamStretches(m_pieces, *boundary, m_settings.splitterOptions);
    HearWritten([&stretches](const SplitPlanContext& context, const page_plans::PageSource& source,
                             const std::filesystem::path& folder, std::vector<hearing::HeardFile>* heard) {
        return hearing::WriteSeam(context, source, stretches, folder, heard);
    });
}

void CPageSplitter::PlayPiecesPressed() {
    if (!m_soundCard) {
        ShowMessage(Desktop(), this, NoSoundCardMessage("Play Pieces"));
        return;
    }
    if (m_path.isEmpty()) return;
    StoreInputs();
    const SplitInputs inputs = SplitInputs::FromSettings(Inputs());
    HearWritten([this, &inputs](const SplitPlanContext& context, const page_plans::PageSource& source,
                                const std::filesystem::path& folder, std::vector<hearing::HeardFile>* heard) {
        return hearing::WritePieces(context, inputs, source, m_pieces, folder, heard);
    });
}

void CPageSplitter::HearWritten(const HearingWriter& write) {
    // Whatever plays stops first, an earlier hearing with its files included.
    StopPressed();
    const std::filesystem::path folder = m_audition.NewFolder();
    if (folder.empty()) return;

    ProgressDialog progress(this);
    progress.SetText(QStringLiteral("Splitting %1...").arg(QFileInfo(m_path).fileName()));
    progress.Start();
    m_writing = &progress;
    progress.Pump().PumpMessages();
    const SplitterOptions options = m_settings.splitterOptions;
    SplitPlanContext context;
    context.options = &options;
    context.operation = progress.Operation();
    const page_plans::PageSource source{PathOf(m_path), static_cast<std::uint64_t>(m_fileSizeBytes), m_totalTenths};
    std::vector<hearing::HeardFile> heard;
    const RunResult result = write(context, source, folder, &heard);
    m_writing = nullptr;
    progress.Finish();

    if (result.outcome == RunOutcome::Failed && !result.message.empty())
        ShowMessage(Desktop(), this, Utf8(result.message));
    if (!result.IsDone() || heard.empty() || !m_audition.Play(heard, this)) {
        m_audition.Stop();
        return;
    }
    m_playStartTenths = m_ui.timeline->value();
    m_state = PlayerState::Hearing;
    m_timer->start();
}

void CPageSplitter::StopHearing() {
    m_timer->stop();
    m_audition.Stop();
    ShowAt(m_playStartTenths);
    m_state = PlayerState::Stopped;
}

void CPageSplitter::ConnectTimeline() {
    connect(m_ui.timeline, &QSlider::valueChanged, this, [this](int tenths) { ShowPosition(tenths); });
    connect(m_ui.timeline, &QSlider::sliderPressed, this, [this] { m_dragging = true; });
    connect(m_ui.timeline, &TimelineSlider::MoveEnded, this, [this] {
        m_dragging = false;
        TimelineMoveEnded();
    });
    // The waveform picks positions as the timeline's thumb does.
    connect(m_ui.waveform, &WaveformStrip::PositionDragged, this, [this](int tenths) {
        if (m_path.isEmpty()) return;
        m_dragging = true;
        m_ui.timeline->setValue(tenths);
    });
    connect(m_ui.waveform, &WaveformStrip::PositionChosen, this, [this](int tenths) {
        if (m_path.isEmpty()) return;
        MoveTimeline(tenths);
        // The keys then move on from there, as after a click on the timeline.
        m_ui.timeline->setFocus(Qt::MouseFocusReason);
    });
}

void CPageSplitter::MoveTimeline(int tenths) {
    m_ui.timeline->setValue(tenths);
    ShowPosition(m_ui.timeline->value());
    m_dragging = false;
    TimelineMoveEnded();
}

void CPageSplitter::TimelineMoveEnded() {
    if (!m_soundCard) return;
    const int position = m_ui.timeline->value();
    if (m_state == PlayerState::Playing) {
        m_player.SeekMs(Ms(position));
        m_player.Play();
    } else if (m_state == PlayerState::Previewing) {
        if (position >= m_previewStartTenths && position < m_previewEndTenths) {
            m_player.PlayRange(Ms(position), Ms(m_previewEndTenths));
        } else {
            m_ui.preview->setText(QStringLiteral("Previe&w"));
            m_state = PlayerState::Playing;
            m_player.SeekMs(Ms(position));
            m_player.Play();
        }
    }
}

void CPageSplitter::PositionStepped(int steps) {
    if (m_state == PlayerState::Playing || m_state == PlayerState::Previewing) return;
    const int position = std::clamp(m_ui.timeline->value() + steps * kTenthsPerSecond, 0, m_totalTenths);
    ShowAt(position);
}

}  // namespace qm
