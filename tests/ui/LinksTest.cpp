// Links and shell calls: the link's colours and visited state, the failure message for each
// shell code, what the About page's buttons open, and the codes for missing local files.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDir>
#include <QEnterEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrlQuery>

#include "QuillmereVersion.h"
#include "UiTestSupport.h"
#include "ui/kit/HyperLink.h"
#include "ui/kit/ShellCalls.h"
#include "ui/pages/CPageAbout.h"

namespace qm {
namespace {

// Records what the program asks the desktop to open and answers with a chosen code.
test::RecordedDesktop AnsweringWith(int code) {
    test::RecordedDesktop desktop;
    desktop.openResult = code;
    return desktop;
}

// A target that cannot be opened with code 26 beeps and explains the sharing violation;
// the link stays unvisited.
TEST(HyperLinkTest, FailedOpenShowsTheReasonForTheShellCode) {
    test::App();
    test::RecordedDesktop shell = AnsweringWith(26);
    const auto& messages = shell;
    HyperLink link(QStringLiteral("Visit"), QStringLiteral("https://example.org/"));
    link.SetDesktop(shell);
    link.Follow();
    ASSERT_EQ(shell.opened, std::vector<QString>{QStringLiteral("https://example.org/")});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Unable to open hyperlink:\n\nA sharing violation occurred. "));
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(link.IsVisited());
    EXPECT_EQ(link.CurrentColour(), QColor(0, 0, 238));
}

// An opened link turns the visited colour; a link with no target takes its text as target
// and shows it as its tooltip.
TEST(HyperLinkTest, OpenedLinkIsVisitedAndAnEmptyTargetTakesTheText) {
    test::App();
    test::RecordedDesktop shell = AnsweringWith(kShellOpened);
    const auto& messages = shell;
    HyperLink link(QStringLiteral("https://example.org/a"), QString());
    link.SetDesktop(shell);
    EXPECT_EQ(link.Target(), QStringLiteral("https://example.org/a"));
    EXPECT_EQ(link.toolTip(), QStringLiteral("https://example.org/a"));
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    link.Follow();
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(link.CurrentColour(), QColor(85, 26, 139));
    EXPECT_TRUE(messages.shown.empty());
}

// The underline follows its mode: never, only while hovered, always.
TEST(HyperLinkTest, UnderlineFollowsItsModeAndHoverTurnsTheLinkRed) {
    test::App();
    struct Case {
        UnderlineMode mode;
        bool underlinedIdle;
        bool underlinedHovered;
    };
    for (const Case& c : {Case{UnderlineMode::Never, false, false}, Case{UnderlineMode::OnHover, false, true},
                          Case{UnderlineMode::Always, true, true}}) {
        HyperLink link(QStringLiteral("Link"), QStringLiteral("https://example.org/"));
        link.SetUnderline(c.mode);
        EXPECT_EQ(link.font().underline(), c.underlinedIdle);
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(&link, &enter);
        EXPECT_TRUE(link.IsHovered());
        EXPECT_EQ(link.CurrentColour(), QColor(255, 0, 0));
        EXPECT_EQ(link.font().underline(), c.underlinedHovered);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&link, &leave);
        EXPECT_FALSE(link.IsHovered());
        EXPECT_EQ(link.font().underline(), c.underlinedIdle);
    }
}

// Every shell code of the message table, and the text for a code outside it.
TEST(ShellCallsTest, LinkFailureReasonsByCode) {
    const std::pair<int, const char*> kReasons[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {1, "Unknown Error (1) occurred."},
        {33, "Unknown Error (33) occurred."},
        {-7, "Unknown Error (-7) occurred."},
    };
    for (const auto& [code, reason] : kReasons) {
        EXPECT_EQ(LinkFailureReason(code), QString::fromLatin1(reason)) << code;
    }
}

// A missing local file is "not found" (2), one in a missing folder "path not found" (3),
// before anything is handed to the desktop.
TEST(ShellCallsTest, MissingLocalTargetsFailWithFileOrPathNotFound) {
    test::App();
    QTemporaryDir folder;
    EXPECT_EQ(OpenWithShell(folder.filePath(QStringLiteral("absent.mp3"))), kShellFileNotFound);
    EXPECT_EQ(OpenWithShell(folder.filePath(QStringLiteral("gone/absent.mp3"))), kShellPathNotFound);
    EXPECT_EQ(OpenWithShell(QUrl::fromLocalFile(folder.filePath(QStringLiteral("absent.mp3"))).toString()),
              kShellFileNotFound);
}

// Without a file manager on the bus, showing a file opens its folder instead.
TEST(ShellCallsTest, SelectInExplorerFallsBackToOpeningTheFolder) {
    test::App();
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "a session bus is running";
    QTemporaryDir folder;
    std::vector<QString> opened;
    const QString piece = folder.filePath(QStringLiteral("piece.mp3"));
    EXPECT_TRUE(SelectInExplorer(piece, [&](const QString& target) {
        opened.push_back(target);
        return kShellOpened;
    }));
    EXPECT_EQ(opened, std::vector<QString>{QDir(folder.path()).absolutePath()});
}

// The update check carries the ver and build keys; "Tell a Friend" writes to no one, with
// the fixed subject and a body that names the home page.
TEST(AboutPageTest, ButtonsOpenTheUpdateCheckAndTheTellAFriendMail) {
    test::App();
    test::RecordedDesktop shell;
    CPageAbout about;
    about.SetDesktop(shell);
    about.Ui().updateButton->click();
    about.Ui().tellButton->click();
    ASSERT_EQ(shell.opened.size(), 2u);
    const QUrl update(shell.opened[0]);
    EXPECT_EQ(update.path(), QStringLiteral("/checkforupdates/"));
    EXPECT_EQ(QUrlQuery(update).queryItemValue(QStringLiteral("ver")), QStringLiteral(QM_VERSION));
    EXPECT_EQ(QUrlQuery(update).queryItemValue(QStringLiteral("build")), QStringLiteral(QM_BUILD_NUMBER));
    const QUrl mail(shell.opened[1]);
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(mail.path().isEmpty());
    const QUrlQuery fields(mail);
    EXPECT_EQ(fields.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("Quillmere - very COOL application!!!"));
    EXPECT_TRUE(fields.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded)
                    .contains(QStringLiteral("https://quillmere.org/")));
    EXPECT_EQ(about.Ui().homePageLink->text(), QStringLiteral("Visit Quillmere Homepage"));
    EXPECT_EQ(about.Ui().supportLink->text(), QStringLiteral("Feedback and Support"));
    EXPECT_EQ(about.Ui().supportLink->Target(), QStringLiteral("mailto:support@quillmere.org"));
    EXPECT_EQ(about.Ui().homePageLink->Underline(), UnderlineMode::Always);
}

}  // namespace
}  // namespace qm
