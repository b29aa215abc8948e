// The main window's keys for moving between its pages.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <QtTest/QTest>

#include "ui/UiTestSupport.h"
#include "ui/kit/CResizablePage.h"
#include "ui/shell/CMainSheet.h"

namespace qm {
namespace {

// Ctrl+PgDown and Ctrl+PgUp move to the next and previous page, going round at the ends, also
// from a list, which has page keys of its own.
TEST(CMainSheetTest, CtrlPageKeysSwitchPages) {
    test::App();
    CMainSheet sheet;
    for (const char* caption : {"One", "Two", "Three"}) {
        auto* page = new CResizablePage(QString::fromLatin1(caption), QSize(200, 150));
        new QTreeWidget(page);
        sheet.AddPage(page);
    }
    sheet.FinishInitialising();
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    const std::pair<Qt::Key, int> steps[] = {
        {Qt::Key_PageDown, 1}, {Qt::Key_PageUp, 0}, {Qt::Key_PageUp, 2}, {Qt::Key_PageDown, 0}};
    for (const auto& [key, pageAfter] : steps) {
        QTest::keyClick(sheet.Page(sheet.ActivePageIndex())->findChild<QTreeWidget*>(), key, Qt::ControlModifier);
        EXPECT_EQ(sheet.ActivePageIndex(), pageAfter);
    }
}

}  // namespace
}  // namespace qm
