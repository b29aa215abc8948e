// The main window's keys for moving between its pages.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest/QTest>

#include "ui/UiTestSupport.h"
#include "ui/shell/CMainSheet.h"
#include "ui/shell/CResizablePage.h"

namespace qm {
namespace {

// Ctrl+PgDown and Ctrl+PgUp move to the next and previous page wherever the focus is (a list
// or a field, which have keys of their own), and go round at the ends.
TEST(CMainSheetTest, CtrlPageKeysSwitchPages) {
    test::App();
    CMainSheet sheet;
    for (const char* caption : {"One", "Two", "Three"}) {
        auto* page = new CResizablePage(QString::fromLatin1(caption), QSize(200, 150));
        auto* body = new QVBoxLayout(page);
        auto* list = new QTreeWidget(page);
        list->addTopLevelItems({new QTreeWidgetItem({"a"}), new QTreeWidgetItem({"b"})});
        body->addWidget(list);
        body->addWidget(new QLineEdit(page));
        sheet.AddPage(page);
    }
    sheet.FinishInitialising();
    sheet.show();
    QApplication::setActiveWindow(&sheet);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));

    struct Step {
        Qt::Key key;
        const char* focus;  // "list" or "edit" of the page shown before the key
        int pageAfter;
    };
    const Step steps[] = {
        {Qt::Key_PageDown, "list", 1}, {Qt::Key_PageDown, "edit", 2}, {Qt::Key_PageDown, "list", 0},
        {Qt::Key_PageUp, "edit", 2},   {Qt::Key_PageUp, "list", 1},
    };
    for (const Step& s : steps) {
        CResizablePage* shown = sheet.Page(sheet.ActivePageIndex());
        QWidget* focus = std::string(s.focus) == "list" ? static_cast<QWidget*>(shown->findChild<QTreeWidget*>())
                                                        : static_cast<QWidget*>(shown->findChild<QLineEdit*>());
        focus->setFocus();
        QTest::keyClick(focus, s.key, Qt::ControlModifier);
        EXPECT_EQ(sheet.ActivePageIndex(), s.pageAfter) << s.focus;
    }
}

}  // namespace
}  // namespace qm
