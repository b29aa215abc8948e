#pragma once

// The waveform of the manual splitter: the peak level of the whole file, computed off the
// user-interface thread and drawn as it arrives, zoomed from the whole file down to a few
// milliseconds a pixel; once a pixel shows less than a level of the whole file does, the part
// in view is decoded at full detail in the background and drawn as the lowest and highest
// sample of each column. Over it the pieces (the selected one shaded, unchecked ones greyed),
// each boundary between them as a handle to drag, and the play position as a cursor. With
// the ruler and scroll bar shown, a time ruler heads the strip and a scroll bar ends it.
// Pressing and dragging on it elsewhere picks a position as the timeline's slider does.

#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "ui/widgets/Timeline.h"

namespace qm {

class WaveformStrip : public QWidget {
    Q_OBJECT

public:
    explicit WaveformStrip(QWidget* parent = nullptr);
    ~WaveformStrip() override;

    // Stops any earlier work, forgets its levels and starts computing the levels of path,
    // which lasts totalTenths; the whole file is in view. Never blocks: the work runs on
    // threads of its own.
    void Load(const std::filesystem::path& path, int totalTenths);
    // Stops the work and shows an empty strip.
    void Clear();
    // True once every level of the whole file is known.
    bool IsComplete() const;
    // True while the part in view is drawn at full detail (or needs none at this zoom).
    bool IsDetailShown() const;

    // One piece of the list as the strip draws it, in ms from the start of the file.
    struct Piece {
        timeline::Ms startMs = 0;
        timeline::Ms endMs = 0;
        bool checked = true;
    };
    // The pieces, in order and without gaps; the boundaries are the starts of the pieces after
    // the first. selected shades that piece (-1: none).
    void SetPieces(const std::vector<Piece>& pieces, int selected);
    // The boundary drawn as chosen (an index into the boundaries), -1 for none.
    void SetChosenBoundary(int boundary);
    void SetCursor(int tenths);
    // The source's frame, which dragged boundaries snap to.
    void SetFrame(int samplesPerFrame, int sampleRateHz);
    // Whether the strip shows its ruler above and its scroll bar below.
    void ShowRulerAndScrollBar(bool shown);

    // The part in view, in the contents' pixels.
    const timeline::View& View() const;
    void SetView(const timeline::View& view);
    // Zooms by factor (> 1 zooms in) about the cursor, or about the middle when the cursor
    // is out of view.
    void ZoomAboutCursor(double factor);
    void ZoomToRange(timeline::Ms beginMs, timeline::Ms endMs);
    void ShowWholeFile();
    // Pages the view so that the cursor is in it (used while playing).
    void FollowCursor();
    // The x of a time in the widget's coordinates, as the drawing places it.
    double XOfMs(double ms) const;

signals:
    // The mouse went down on the strip away from a boundary, or moved while down: the
    // position under it.
    void PositionDragged(int tenths);
    // The mouse was released: the move has ended at this position.
    void PositionChosen(int tenths);
    // A click (away from a boundary) and a double click at a time of the file.
    void PieceClicked(qint64 ms);
    void PieceDoubleClicked(qint64 ms);
    // A boundary was pressed, dragged to ms (snapped and held between its neighbours), and
    // released there; past says whether the drag pressed against a neighbour.
    void BoundaryPressed(int boundary);
    void BoundaryDragged(int boundary, qint64 ms);
    void BoundaryDropped(int boundary, qint64 ms, timeline::Past past);
    // Every level of the whole file is known.
    void Completed();
    // The part in view is drawn at full detail.
    void DetailShown();

private:
    // QWidget's own, kept private: layouts and Qt call them through QWidget.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qm
