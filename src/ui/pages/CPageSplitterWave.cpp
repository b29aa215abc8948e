// The manual splitter page's waveform: its part of the page and the handle below it, the
// zoom commands and keys, and the piece boundaries moved on it by the mouse or by a frame
// at a time.

#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/Settings.h"
#include "ui/pages/CPageSplitter.h"
#include "ui/pages/SplitterControls.h"
#include "ui/pages/SplitterPieces.h"
#include "ui/widgets/WaveformStrip.h"

namespace qm {

namespace {

// The +/- keys zoom by this factor.
constexpr double kKeyZoomFactor = 2.0;
// The waveform's part of the handle's height when none is kept, in thousandths.
constexpr int kDefaultWaveformShare = 600;
constexpr int kShareScale = 1000;

}  // namespace

QWidget* CPageSplitter::MakeWaveformArea() {
    auto* area = new QWidget(this);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    m_ui.waveform = new WaveformStrip(area);
    m_ui.waveform->ShowRulerAndScrollBar(true);
    m_ui.waveform->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_ui.waveform->setMinimumHeight(fontMetrics().height() * 8);
    m_ui.waveform->setToolTip(
        QStringLiteral("Ctrl+wheel or +/- zoom, wheel scrolls, drag a boundary to move it, Shift+Left/Right moves it "
                       "by one frame, [ and ] jump between boundaries"));
    column->addWidget(m_ui.waveform, 1);
    m_ui.timeline = new TimelineSlider(area);
    m_ui.timeline->setToolTip(QStringLiteral("The position in the file; Left and Right move it by one second"));
    column->addWidget(m_ui.timeline);
    column->addWidget(MakePieceButtons());
    return area;
}

void CPageSplitter::RestoreWaveformSplit() {
    m_ui.waveformSplit->installEventFilter(this);
    connect(m_ui.waveformSplit, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_ui.waveformSplit->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        if (total > 0) m_settings.splitterPage.WaveformSplit = sizes.value(0) * kShareScale / total;
    });
}

void CPageSplitter::ApplyWaveformSplit() {
    const int kept = m_settings.splitterPage.WaveformSplit;
    const int share = kept > 0 && kept < kShareScale ? kept : kDefaultWaveformShare;
    const int total = m_ui.waveformSplit->height() - m_ui.waveformSplit->handleWidth();
    if (total <= 0) return;
    const int waveform = total * share / kShareScale;
    m_ui.waveformSplit->setSizes({waveform, total - waveform});
}

void CPageSplitter::ConnectWaveform() {
    WaveformStrip* strip = m_ui.waveform;
    connect(strip, &WaveformStrip::PieceClicked, this, [this](qint64 ms) {
        if (m_path.isEmpty() || !m_ui.pieces->isEnabled()) return;
        SelectPiece(pieces::FindPiece(m_pieces, MillisToTenths(ms)));
    });
    connect(strip, &WaveformStrip::PieceDoubleClicked, this, [this](qint64 ms) {
        if (m_path.isEmpty() || !m_ui.pieces->isEnabled()) return;
        SelectPiece(pieces::FindPiece(m_pieces, MillisToTenths(ms)));
        PreviewPressed();
    });
    connect(strip, &WaveformStrip::BoundaryPressed, this, [this](int boundary) { ChooseBoundary(boundary); });
    connect(strip, &WaveformStrip::BoundaryDragged, this,
            [this](int boundary, qint64 ms) { BoundaryMovedTo(boundary, ms); });
    connect(strip, &WaveformStrip::BoundaryDropped, this, [this](int boundary, qint64 ms, timeline::Past past) {
        BoundaryMovedTo(boundary, ms);
        if (past != timeline::Past::None && m_ui.pieces->isEnabled()) RefuseBoundaryMove(past);
    });

    // The waveform's keys act while the focus is on this page and not in a text field.
    const auto key = [this](const QKeySequence& sequence, auto command) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, command] {
            if (!m_path.isEmpty()) command();
        });
    };
    for (const Qt::Key in : {Qt::Key_Plus, Qt::Key_Equal})
        key(QKeySequence(in), [this] { ZoomWaveform(kKeyZoomFactor); });
    key(QKeySequence(Qt::Key_Minus), [this] { ZoomWaveform(1.0 / kKeyZoomFactor); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_Left), [this] { NudgeBoundary(-1); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_Right), [this] { NudgeBoundary(+1); });
    key(QKeySequence(Qt::Key_BracketLeft), [this] { JumpToBoundary(-1); });
    key(QKeySequence(Qt::Key_BracketRight), [this] { JumpToBoundary(+1); });
}

void CPageSplitter::ZoomToPiece() {
    const int selected = SelectedPiece();
    if (m_path.isEmpty() || selected < 0) return;
    const std::vector<Millis> boundaries = pieces::BoundariesMillis(m_pieces);
    const auto index = static_cast<std::size_t>(selected);
    const Millis begin = index == 0 ? 0 : boundaries[index - 1];
    const Millis end = index < boundaries.size() ? boundaries[index] : TenthsToMillis(m_totalTenths);
    m_ui.waveform->ZoomToRange(begin, end);
}

void CPageSplitter::ShowWholeFile() {
    if (!m_path.isEmpty()) m_ui.waveform->ShowWholeFile();
}

void CPageSplitter::ZoomWaveform(double factor) {
    if (!m_path.isEmpty()) m_ui.waveform->ZoomAboutCursor(factor);
}

int CPageSplitter::ChosenBoundary() const {
    if (!m_selectedBoundaryMs) return -1;
    const std::vector<Millis> boundaries = pieces::BoundariesMillis(m_pieces);
    const auto found = std::find(boundaries.begin(), boundaries.end(), *m_selectedBoundaryMs);
    return found == boundaries.end() ? -1 : static_cast<int>(found - boundaries.begin());
}

void CPageSplitter::ChooseBoundary(int boundary) {
    const std::vector<Millis> boundaries = pieces::BoundariesMillis(m_pieces);
    if (boundary < 0 || boundary >= static_cast<int>(boundaries.size())) {
        m_selectedBoundaryMs.reset();
        m_ui.waveform->SetChosenBoundary(-1);
    } else {
        m_selectedBoundaryMs = boundaries[static_cast<std::size_t>(boundary)];
        m_ui.waveform->SetChosenBoundary(boundary);
    }
    // "Play Seam" plays around the boundary chosen here.
    EnableHearing();
}

void CPageSplitter::BoundaryMovedTo(int boundary, Millis ms) {
    // Only the hand-made pieces move; in the other modes the strip shows them as they are.
    const bool editable = m_ui.pieces->isEnabled() && boundary >= 0 && boundary + 1 < static_cast<int>(m_pieces.size());
    if (editable) {
        pieces::MoveBoundaryTo(&m_pieces, boundary, ms);
        m_selectedBoundaryMs = ms;
    }
    ShowPieces(SelectedPiece());
}

void CPageSplitter::NudgeBoundary(int frames) {
    const int boundary = ChosenBoundary();
    if (boundary < 0 || !m_ui.pieces->isEnabled()) return;
    const std::vector<Millis> boundaries = pieces::BoundariesMillis(m_pieces);
    const auto b = static_cast<std::size_t>(boundary);
    const int rateHz = m_player.SampleRateHz();
    const int samplesPerFrame = timeline::SamplesPerFrameAt(rateHz);
    const Millis previous = b == 0 ? 0 : boundaries[b - 1];
    const Millis next = b + 1 < boundaries.size() ? boundaries[b + 1] : TenthsToMillis(m_totalTenths);
    // From the frame the boundary lies on (or nearest to), one frame on.
    const double from =
        static_cast<double>(timeline::SnapToFrame(static_cast<double>(boundaries[b]), samplesPerFrame, rateHz));
    const double target = from + frames * timeline::FrameMs(samplesPerFrame, rateHz);
    const timeline::BoundaryDrop drop =
        timeline::DropBoundary(target, boundaries[b], previous, next, samplesPerFrame, rateHz);
    if (drop.past != timeline::Past::None && drop.ms == boundaries[b]) {
        RefuseBoundaryMove(drop.past);
        return;
    }
    BoundaryMovedTo(boundary, drop.ms);
}

void CPageSplitter::JumpToBoundary(int direction) {
    const std::vector<Millis> boundaries = pieces::BoundariesMillis(m_pieces);
    const Millis cursor = m_selectedBoundaryMs && MillisToTenths(*m_selectedBoundaryMs) == m_ui.timeline->value()
                              ? *m_selectedBoundaryMs
                              : TenthsToMillis(m_ui.timeline->value());
    int found = -1;
    for (int i = 0; i < static_cast<int>(boundaries.size()); ++i) {
        const Millis at = boundaries[static_cast<std::size_t>(i)];
        if (direction < 0 && at < cursor) found = i;
        if (direction > 0 && at > cursor) {
            found = i;
            break;
        }
    }
    if (found < 0) return;
    ChooseBoundary(found);
    MoveTimeline(MillisToTenths(boundaries[static_cast<std::size_t>(found)]));
    m_ui.waveform->FollowCursor();
}

}  // namespace qm
