#include "ui/kit/CResizablePage.h"

#include <QFontMetrics>
#include <QResizeEvent>

#include "ui/kit/DesktopCalls.h"

namespace qm {

QPoint AnchorPoint(Anchor anchor, QSize page) {
    return {page.width() * anchor.xPercent / 100, page.height() * anchor.yPercent / 100};
}

AnchoredRect AnchoredRect::Record(const QRect& rect, QSize page, Anchor topLeft, Anchor bottomRight) {
    // The bottom-right corner is taken just outside the control, so that its width and
    // height are kept exactly by two anchors at the same point.
    const QPoint outerCorner = rect.bottomRight() + QPoint(1, 1);
    return {topLeft, bottomRight, rect.topLeft() - AnchorPoint(topLeft, page),
            outerCorner - AnchorPoint(bottomRight, page)};
}

QRect AnchoredRect::PlaceIn(QSize page) const {
    const QPoint topLeft = AnchorPoint(topLeftAnchor, page) + topLeftOffset;
    const QPoint outerCorner = AnchorPoint(bottomRightAnchor, page) + bottomRightOffset;
    return QRect(topLeft, outerCorner - QPoint(1, 1));
}

CResizablePage::CResizablePage(const QString& caption, QSize designSize, QWidget* parent)
    : QWidget(parent), m_caption(caption), m_designSize(designSize), m_desktop(&SystemDesktop()) {
    resize(m_designSize);
}

void CResizablePage::AddAnchor(QWidget* control, Anchor topLeft, Anchor bottomRight) {
    // Anchors are measured against the design size, whatever size the page has now, so a
    // page can anchor its controls before it is first shown.
    m_anchored.push_back({control, AnchoredRect::Record(control->geometry(), m_designSize, topLeft, bottomRight)});
}

void CResizablePage::ArrangeLayout() {
    // The page never lays its controls out below the design size: the sheet cannot become
    // smaller than its first size, and a smaller page (a tab not yet sized) would only
    // move controls over each other.
    const QSize page = size().expandedTo(m_designSize);
    for (const AnchoredControl& entry : m_anchored) {
        const QRect wanted = entry.rule.PlaceIn(page);
        const QRect now = entry.control->geometry();
        if (wanted == now) continue;
        if (wanted.size() == now.size()) {
            entry.control->move(wanted.topLeft());
        } else if (wanted.topLeft() == now.topLeft()) {
            entry.control->resize(wanted.size());
        } else {
            entry.control->setGeometry(wanted);
        }
    }
}

void CResizablePage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ArrangeLayout();
}

void CResizablePage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A page shown after a tab switch fits the sheet's current size.
    ArrangeLayout();
}

QSize DialogUnitsToPixels(const QFont& font, int widthUnits, int heightUnits) {
    const QFontMetrics metrics(font);
    // The average width over the alphabet, in both cases, is the width of a dialog's
    // "average character".
    static const QString kAlphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int averageWidth = (metrics.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
    return {widthUnits * averageWidth / 4, heightUnits * metrics.height() / 8};
}

}  // namespace qm
