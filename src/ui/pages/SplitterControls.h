#pragma once

// Two controls of the manual splitter page: the timeline, a slider over the file in tenths
// of a second that shades the selected piece's range and tells when a move by the user has
// ended; and the position box, an edit with arrows whose text only shows the position and
// whose arrows ask the page to move it.

#include <QAbstractSpinBox>
#include <QSlider>

namespace qm {

class TimelineSlider : public QSlider {
    Q_OBJECT

public:
    explicit TimelineSlider(QWidget* parent = nullptr);

    // The shaded range, in the slider's values; start >= end shades nothing.
    void SetSelection(int start, int end);
    int SelectionStart() const { return m_selectionStart; }
    int SelectionEnd() const { return m_selectionEnd; }
    // How far in from the slider's left and right edges its first and last values lie, in
    // pixels, so that a control above it can line its positions up with the thumb's.
    QMargins ValueInsets() const;

signals:
    // A move by the user has ended: the thumb was released, or a key, a click on the groove
    // or the mouse wheel moved it.
    void MoveEnded();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_selectionStart = 0;
    int m_selectionEnd = 0;
    bool m_stepPending = false;  // a key, groove click or wheel step is moving the thumb
};

class PositionSpin : public QAbstractSpinBox {
    Q_OBJECT

public:
    explicit PositionSpin(QWidget* parent = nullptr);

    void ShowText(const QString& text);
    QString Text() const;
    void stepBy(int steps) override;

signals:
    // An arrow was pressed: +1 later, -1 earlier.
    void Stepped(int steps);

protected:
    StepEnabled stepEnabled() const override;
};

}  // namespace qm
