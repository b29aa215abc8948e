#pragma once

// A strip above the manual splitter's timeline that draws the peak level of the whole file,
// one value per pixel column, computed off the user-interface thread and drawn as it
// arrives; the piece boundaries as lines, the selected piece shaded, the play position as a
// cursor. Pressing and dragging on it picks a position as the timeline's slider does.

#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

namespace qm {

class WaveformStrip : public QWidget {
    Q_OBJECT

public:
    explicit WaveformStrip(QWidget* parent = nullptr);
    ~WaveformStrip() override;

    // Stops any earlier work, forgets its levels and starts computing the levels of path,
    // which lasts totalTenths. Never blocks: the work runs on a thread of its own.
    void Load(const std::filesystem::path& path, int totalTenths);
    // Stops the work and shows an empty strip.
    void Clear();
    // True once every level of the loaded file is known.
    bool IsComplete() const;

    // Positions in tenths of a second from the start of the file.
    void SetBoundaries(const std::vector<int>& tenths);
    // The selected piece, shaded; start >= end shades nothing.
    void SetSelection(int startTenths, int endTenths);
    void SetCursor(int tenths);

signals:
    // The mouse went down on the strip, or moved while down: the position under it.
    void PositionDragged(int tenths);
    // The mouse was released: the move has ended at this position.
    void PositionChosen(int tenths);
    // Every level of the loaded file is known.
    void Completed();

private:
    // QWidget's own, kept private: layouts and Qt call them through QWidget.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qm
