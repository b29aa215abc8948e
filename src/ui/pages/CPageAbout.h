#pragma once

// The About page: the program's icon and version, links to its home page, the support
// mailbox and its makers, and the buttons for help, the update check and telling a friend.

#include "ui/kit/CResizablePage.h"

class QPushButton;

namespace qm {

class HyperLink;

class CPageAbout : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "About";

    explicit CPageAbout(QWidget* parent = nullptr);

    struct Controls {
        HyperLink* homePageLink = nullptr;
        HyperLink* supportLink = nullptr;
        HyperLink* makerLink = nullptr;
        QPushButton* helpButton = nullptr;
        QPushButton* updateButton = nullptr;
        QPushButton* tellButton = nullptr;
    };
    const Controls& Ui() const { return m_ui; }

    // The links open their addresses through the page's desktop too.
    void SetDesktop(DesktopCalls& desktop) override;

    // The "mailto:" address "Tell a Friend" opens: no recipient, the fixed subject, a body
    // that points to the home page.
    static QString TellAFriendAddress();

signals:
    // "Help Topics" was pressed.
    void HelpRequested();

private:
    void CheckForUpdates();
    void TellAFriend();

    Controls m_ui;
};

}  // namespace qm
