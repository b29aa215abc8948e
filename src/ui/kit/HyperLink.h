#pragma once

// A text label that acts as a link: blue until visited, purple after, red under the pointer;
// underlined never, while hovered, or always; a hand cursor and a tooltip with the target.
// A click opens the target through the desktop; a failure beeps and explains the reason.

#include <QColor>
#include <QLabel>
#include <QTimer>

namespace qm {

class DesktopCalls;

enum class UnderlineMode { Never, OnHover, Always };

class HyperLink : public QLabel {
    Q_OBJECT

public:
    static inline const QColor kLinkColour{0, 0, 238};
    static inline const QColor kVisitedColour{85, 26, 139};
    static inline const QColor kHoverColour{255, 0, 0};

    // A link showing text; an empty target takes the text, an empty text shows the target.
    HyperLink(const QString& text, const QString& target, QWidget* parent = nullptr);

    QString Target() const { return m_target; }
    void SetTarget(const QString& target);
    UnderlineMode Underline() const { return m_underline; }
    void SetUnderline(UnderlineMode mode);
    // When on (the default), the label keeps the size of its text.
    void SetAdjustToFit(bool adjust);
    bool IsVisited() const { return m_visited; }
    bool IsHovered() const { return m_over; }
    // The colour the text is drawn in now.
    QColor CurrentColour() const;

    // Opens the target as a click does, through desktop (the system's until one is set).
    void Follow();
    void SetDesktop(DesktopCalls& desktop) { m_desktop = &desktop; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void CheckPointer();
    void EndHover();
    void ApplyLook();
    void FitToText();

    QString m_target;
    DesktopCalls* m_desktop;
    UnderlineMode m_underline = UnderlineMode::OnHover;
    bool m_adjustToFit = true;
    bool m_over = false;
    bool m_visited = false;
    // While hovered the pointer is checked every 100 ms, so that a pointer that left without
    // a leave event (a window came up over the link) ends the hover too.
    QTimer m_hoverTimer;
};

}  // namespace qm
