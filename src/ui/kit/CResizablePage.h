#pragma once

// A page of the main sheet whose controls follow its size. A control can be given two
// anchors, one for its top-left and one for its bottom-right corner, each a point of the
// page given as percentages (0, 50 or 100) of its width and height. Each corner keeps the
// offset from its anchor point that it had when it was anchored, so a corner anchored at
// (px, py) moves by px % of the change in width and py % of the change in height. Controls
// without anchors stay where they are; pages may also lay out their body with a Qt layout.

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

namespace qm {

class DesktopCalls;

// A point of the page as percentages of its width and height.
struct Anchor {
    int xPercent = 0;
    int yPercent = 0;
};

inline constexpr Anchor kTopLeft{0, 0};
inline constexpr Anchor kTopCenter{50, 0};
inline constexpr Anchor kTopRight{100, 0};
inline constexpr Anchor kMiddleLeft{0, 50};
inline constexpr Anchor kMiddle{50, 50};
inline constexpr Anchor kMiddleRight{100, 50};
inline constexpr Anchor kBottomLeft{0, 100};
inline constexpr Anchor kBottomCenter{50, 100};
inline constexpr Anchor kBottomRight{100, 100};

// The anchor point of a page of the given size (pixels).
QPoint AnchorPoint(Anchor anchor, QSize page);

// One anchored control's rule: its anchors and each corner's offset from its anchor point.
struct AnchoredRect {
    Anchor topLeftAnchor;
    Anchor bottomRightAnchor;
    QPoint topLeftOffset;
    QPoint bottomRightOffset;  // of the corner just outside the control (right + 1, bottom + 1)

    // Records rect as it lies in a page of the given size.
    static AnchoredRect Record(const QRect& rect, QSize page, Anchor topLeft, Anchor bottomRight);
    // Where the control lies in a page of the given size.
    QRect PlaceIn(QSize page) const;
};

class CResizablePage : public QWidget {
    Q_OBJECT

public:
    // A page first laid out at designSize (pixels); the sheet never makes it smaller.
    CResizablePage(const QString& caption, QSize designSize, QWidget* parent = nullptr);

    QString Caption() const { return m_caption; }
    QSize DesignSize() const { return m_designSize; }

    // Anchors a child control at its current place in the page's design size.
    void AddAnchor(QWidget* control, Anchor topLeft, Anchor bottomRight);
    void AddAnchor(QWidget* control, Anchor both) { AddAnchor(control, both, both); }
    // Places every anchored control for the page's current size. Controls whose rectangle
    // did not change are not touched.
    void ArrangeLayout();

    // The desktop the page's messages, dialogs and file manager calls go to: the system's
    // until the shell (or a test) hands the page another. Pages whose widgets call the
    // desktop themselves pass it on to them.
    DesktopCalls& Desktop() const { return *m_desktop; }
    virtual void SetDesktop(DesktopCalls& desktop) { m_desktop = &desktop; }

    QSize sizeHint() const override { return m_designSize; }
    QSize minimumSizeHint() const override { return m_designSize; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct AnchoredControl {
        QWidget* control;
        AnchoredRect rule;
    };

    QString m_caption;
    QSize m_designSize;
    std::vector<AnchoredControl> m_anchored;
    DesktopCalls* m_desktop;
};

// The size in pixels of a page measured in dialog units of a font: a horizontal unit is a
// quarter of the font's average character width, a vertical one an eighth of its height.
QSize DialogUnitsToPixels(const QFont& font, int widthUnits, int heightUnits);

}  // namespace qm
