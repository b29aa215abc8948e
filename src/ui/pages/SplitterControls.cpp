#include "ui/pages/SplitterControls.h"

#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace qm {

TimelineSlider::TimelineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTracking(true);
    // A key, a click on the groove or a turn of the mouse wheel moves the thumb in one step
    // (the wheel's step arrives as a move while the thumb is not held); the move has ended
    // once the value has followed it. The action is reported with the thumb already at its
    // new place and the value still at the old one: a step that moves nothing (Left at the
    // start, End at the end) ends no move, and the next change of the value, which the
    // program makes, is not taken for the user's.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        const bool step = action != SliderNoAction && (action != SliderMove || !isSliderDown());
        m_stepPending = step && sliderPosition() != value();
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this] {
        if (!m_stepPending || isSliderDown()) return;
        m_stepPending = false;
        emit MoveEnded();
    });
    connect(this, &QAbstractSlider::sliderReleased, this, [this] {
        m_stepPending = false;
        emit MoveEnded();
    });
}

void TimelineSlider::SetSelection(int start, int end) {
    if (start == m_selectionStart && end == m_selectionEnd) return;
    m_selectionStart = start;
    m_selectionEnd = end;
    update();
}

QMargins TimelineSlider::ValueInsets() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int left = groove.left() + handle.width() / 2;
    const int right = width() - (groove.left() + groove.width() - handle.width() + handle.width() / 2);
    return QMargins(std::max(0, left), 0, std::max(0, right), 0);
}

void TimelineSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (m_selectionStart >= m_selectionEnd || maximum() <= minimum()) return;
    // The selected range is shaded along the groove, and the thumb drawn again over it.
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const auto xOf = [&](int value) {
        return groove.left() + handle.width() / 2 + QStyle::sliderPositionFromValue(minimum(), maximum(), value, span);
    };
    const int left = xOf(m_selectionStart);
    const int right = xOf(m_selectionEnd);
    QPainter painter(this);
    QColor shade = palette().color(QPalette::Highlight);
    shade.setAlpha(140);
    const int bandHeight = std::max(6, groove.height());
    painter.fillRect(QRect(left, groove.center().y() - bandHeight / 2, std::max(1, right - left), bandHeight), shade);
    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

PositionSpin::PositionSpin(QWidget* parent) : QAbstractSpinBox(parent) {
    // What is typed here is never read: the text only shows the position.
    lineEdit()->setReadOnly(true);
    setAlignment(Qt::AlignRight);
    setAccelerated(true);
}

void PositionSpin::ShowText(const QString& text) {
    if (lineEdit()->text() != text) lineEdit()->setText(text);
}

QString PositionSpin::Text() const { return lineEdit()->text(); }

void PositionSpin::stepBy(int steps) { emit Stepped(steps); }

QAbstractSpinBox::StepEnabled PositionSpin::stepEnabled() const {
    return isEnabled() ? (StepUpEnabled | StepDownEnabled) : StepNone;
}

}  // namespace qm
