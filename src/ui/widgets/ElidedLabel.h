#pragma once

// A one-line text that never widens its window: a text too long for the line is shortened in
// the middle with an ellipsis, so both the start of a path and the file name stay readable.

#include <QLabel>

namespace qm {

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // The whole text; what is painted may be shortened to the label's width.
    void SetFullText(const QString& text);
    QString FullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QString m_fullText;
};

}  // namespace qm
