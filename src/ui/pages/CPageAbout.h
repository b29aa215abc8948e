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

    HyperLink* HomePageLink() const { return m_homeLink; }
    HyperLink* SupportLink() const { return m_supportLink; }
    HyperLink* MakerLink() const { return m_makerLink; }
    QPushButton* HelpButton() const { return m_helpButton; }
    QPushButton* UpdateButton() const { return m_updateButton; }
    QPushButton* TellButton() const { return m_tellButton; }

    // The "mailto:" address "Tell a Friend" opens: no recipient, the fixed subject, a body
    // that points to the home page.
    static QString TellAFriendAddress();

signals:
    // "Help Topics" was pressed.
    void HelpRequested();

private:
    void CheckForUpdates();
    void TellAFriend();

    HyperLink* m_homeLink;
    HyperLink* m_supportLink;
    HyperLink* m_makerLink;
    QPushButton* m_helpButton;
    QPushButton* m_updateButton;
    QPushButton* m_tellButton;
};

}  // namespace qm
