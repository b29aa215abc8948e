#pragma once

// An edit with up and down arrows whose text is kept as typed: the batch splitter's piece
// size (a decimal number whose arrows step whole units inside a range) and its begin point
// and length (seconds with one decimal whose arrows step a tenth of a second).

#include <QAbstractSpinBox>

namespace qm {

class TextSpinBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    enum class Steps {
        Whole,   // a decimal number; the arrows step the whole part by one inside the range
        Tenths,  // seconds with one decimal; the arrows step by 0.1, never below 0
    };

    explicit TextSpinBox(Steps steps, QWidget* parent = nullptr);

    // The range of Whole steps; Tenths ignore it.
    void SetRange(int low, int high);
    QString Text() const;
    void SetText(const QString& text);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

signals:
    void TextEdited();

protected:
    StepEnabled stepEnabled() const override;

private:
    Steps m_steps;
    int m_low = 0;
    int m_high = 0;
};

// The text after steps arrow clicks on text: Whole reads the leading whole number (none:
// the low end), adds steps and keeps the result in low..high; Tenths reads seconds with one
// decimal ("12.5", ".5", "" as 0), adds steps tenths, holds the result at 0 or above and
// writes it as "%d.%d".
QString SteppedText(TextSpinBox::Steps kind, const QString& text, int steps, int low, int high);

}  // namespace qm
