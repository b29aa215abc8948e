// The progress windows: Cancel only sets the flag, the main window is disabled while one is up,
// and only the batch window can be dragged by its body.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <functional>
#include <memory>

#include "ui/UiTestSupport.h"
#include "ui/widgets/BatchProgressDialog.h"
#include "ui/widgets/ProgressDialog.h"

namespace qm {
namespace {

using test::App;

struct WindowCase {
    const char* name;
    std::function<std::unique_ptr<ProgressWindow>(QWidget*)> make;
    const char* cancelCaption;
};

const WindowCase kWindows[] = {
    {"ProgressDialog", [](QWidget* owner) { return std::make_unique<ProgressDialog>(owner); }, "&Cancel"},
    {"BatchProgressDialog", [](QWidget* owner) { return std::make_unique<BatchProgressDialog>(owner); }, "Cancel"},
};

// Cancel pressed twice, Escape and a close from outside all leave the flag set and the window
// up; only the operation's own close ends it and enables the main window again. A new start
// clears the flag.
TEST(ProgressDialogTest, CancelOnlySetsTheFlag) {
    App();
    for (const WindowCase& each : kWindows) {
        SCOPED_TRACE(each.name);
        QWidget mainWindow;
        auto* child = new QWidget(&mainWindow);
        mainWindow.show();
        const auto window = each.make(child);
        EXPECT_EQ(window->CancelButton()->text(), each.cancelCaption);
        window->Start();
        EXPECT_FALSE(mainWindow.isEnabled());
        EXPECT_TRUE(window->isEnabled());
        EXPECT_FALSE(window->Cancelled());

        window->CancelButton()->click();
        window->CancelButton()->click();
        EXPECT_TRUE(window->Cancelled());
        EXPECT_EQ(window->Flag()->load(), 1);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &escape);
        EXPECT_FALSE(window->close());
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(mainWindow.isEnabled());

        QCoreApplication::processEvents();
        EXPECT_TRUE(window->isActiveWindow());
        window->Finish();
        QCoreApplication::processEvents();
        EXPECT_FALSE(window->isVisible());
        EXPECT_TRUE(mainWindow.isEnabled());
        // The keyboard goes back to the main window.
        EXPECT_TRUE(mainWindow.isActiveWindow());
        window->Start();
        EXPECT_FALSE(window->Cancelled());
        window->Finish();
    }
}

// Escape alone counts as Cancel.
TEST(ProgressDialogTest, EscapeSetsTheFlag) {
    App();
    ProgressDialog window(nullptr);
    window.Start();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &escape);
    EXPECT_TRUE(window.Cancelled());
    EXPECT_TRUE(window.isVisible());
}

// While a progress window is up the main window refuses to close; a main window that was
// already disabled stays disabled afterwards; destroying the progress window ends it.
TEST(ProgressDialogTest, MainWindowStaysLockedUntilTheWindowEnds) {
    App();
    QWidget mainWindow;
    mainWindow.show();
    {
        ProgressDialog window(&mainWindow);
        window.Start();
        EXPECT_FALSE(mainWindow.close());
        EXPECT_TRUE(mainWindow.isVisible());
    }
    EXPECT_TRUE(mainWindow.isEnabled());

    mainWindow.setEnabled(false);
    {
        BatchProgressDialog window(&mainWindow);
        window.Start();
        window.Finish();
    }
    EXPECT_FALSE(mainWindow.isEnabled());
    mainWindow.setEnabled(true);
    EXPECT_TRUE(mainWindow.close());
}

void Drag(QWidget* window, QPoint from, QPoint by) {
    const QPointF local = from;
    const QPointF global = window->mapToGlobal(from);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    QMouseEvent move(QEvent::MouseMove, local + by, global + by, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, local + by, global + by, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(window, &release);
}

// Pressed anywhere in its body and dragged, the batch window follows the mouse; the one-line
// window stays where it is.
TEST(ProgressDialogTest, OnlyTheBatchWindowIsDraggedByItsBody) {
    App();
    BatchProgressDialog batch(nullptr);
    batch.Start();
    const QPoint batchStart = batch.pos();
    Drag(&batch, {batch.width() / 2, batch.height() - 4}, {40, -25});
    EXPECT_EQ(batch.pos(), batchStart + QPoint(40, -25));

    ProgressDialog single(nullptr);
    single.Start();
    const QPoint singleStart = single.pos();
    Drag(&single, {single.width() / 2, 4}, {40, -25});
    EXPECT_EQ(single.pos(), singleStart);
}

// The bars keep their positions inside their ranges and step by the step they were given;
// the engines' view of the window hands them that bar, the text line and the flag.
TEST(ProgressDialogTest, BarsStepInsideTheirRange) {
    App();
    ProgressDialog window(nullptr);
    window.Start();
    const LongOperation operation = window.Operation();
    operation.bar->SetRange(0, 5);
    window.Bar().SetStep(2);
    window.Bar().StepIt();
    window.Bar().StepIt();
    EXPECT_EQ(window.Bar().Position(), 4);
    window.Bar().StepIt();
    EXPECT_EQ(window.Bar().Position(), 5);
    operation.bar->SetPosition(-3);
    EXPECT_EQ(window.Bar().Position(), 0);
    EXPECT_GT(operation.bar->WidthPixels(), 100);
    operation.SetStatus("Splitting \xC3\xA9t\xC3\xA9.mp3...");
    EXPECT_EQ(window.Text(), QString::fromUtf8("Splitting \xC3\xA9t\xC3\xA9.mp3..."));
    window.CancelButton()->click();
    EXPECT_TRUE(operation.PumpAndCheckCancel());

    BatchProgressDialog batch(nullptr);
    batch.Start();
    batch.RunText().SetText("File 1 of 3");
    batch.FileOperation().SetStatus("Joining a.mp3...");
    EXPECT_EQ(batch.RunTextShown(), "File 1 of 3");
    EXPECT_EQ(batch.FileTextShown(), "Joining a.mp3...");
}

}  // namespace
}  // namespace qm
