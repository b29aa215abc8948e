#pragma once

// The program's main window, captioned "Quillmere": the seven pages as tabs. A close request
// asks the splitter options and then the joiner options to check their fields and closes
// only when both accept; the window then records its active page and placement for the
// settings.

#include "settings/Options.h"
#include "ui/kit/CResizableSheet.h"

namespace qm {

class CPageJoinerOpt;
class CPageSplitterOpt;

inline constexpr const char* kSheetCaption = "Quillmere";

class CMainSheet : public CResizableSheet {
    Q_OBJECT

public:
    explicit CMainSheet(QWidget* parent = nullptr);

    // The two pages asked before the window closes (not owned; they are pages of the sheet).
    void SetOptionsPages(CPageSplitterOpt* splitterOptions, CPageJoinerOpt* joinerOptions);

    // Records the active page, the normal (restored) rectangle and whether the window is
    // maximized. A minimised window counts as not maximized.
    void CapturePlacement();
    bool PlacementCaptured() const { return m_captured; }
    int ClosedPage() const { return m_closedPage; }
    // left, top, right, bottom; right and bottom lie just outside the window.
    WindowRect NormalRect() const { return m_normalRect; }
    bool ClosedMaximized() const { return m_maximized; }

    // Puts the window at a saved normal rectangle (left, top, right, bottom), unless the
    // rectangle is empty or lies on no screen.
    void RestoreNormalRect(const WindowRect& rect);

signals:
    // The close request was accepted; the window is about to be hidden.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the page step places after the active one (before it when negative), going round.
    void StepPage(int step);
    // Leaving an options page asks it to check its fields; a page that refuses is shown again.
    void PageChanged(int index);
    bool OptionsPageRefuses(CResizablePage* page);

    int m_shownPage = -1;
    bool m_returning = false;
    CPageSplitterOpt* m_splitterOptions = nullptr;
    CPageJoinerOpt* m_joinerOptions = nullptr;
    bool m_captured = false;
    int m_closedPage = 0;
    WindowRect m_normalRect;
    bool m_maximized = true;
};

}  // namespace qm
