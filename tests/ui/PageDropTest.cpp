// Files dropped anywhere on a list page (a button, a field, the empty space between them) are
// loaded into the page's list as if dropped on the list.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QUrl>
#include <functional>

#include "fixtures/Fixtures.h"
#include "settings/MemorySettingsBackend.h"
#include "settings/Settings.h"
#include "ui/UiTestSupport.h"
#include "ui/pages/CPageBatchJoiner.h"
#include "ui/pages/CPageBatchSplitter.h"
#include "ui/pages/CPageBatchSplitterSpin.h"
#include "ui/pages/CPageJoiner.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Sends a file manager's drag of path onto widget as the window system would: the drag enters
// the widget (Qt hands it up to the first parent that takes drops), and the drop goes to the
// nearest widget that takes drops. File managers offer the path as text too.
bool DropFileOn(QWidget* widget, const fs::path& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
    mime.setText(QString::fromStdString(path.string()));
    const QPoint at(2, 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    if (!enter.isAccepted()) return false;
    QWidget* target = widget;
    while (target != nullptr && !target->acceptDrops()) target = target->parentWidget();
    if (target == nullptr) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool WaitForRows(const SortListCtrl& list, int rows) {
    QElapsedTimer clock;
    clock.start();
    while (list.RowCount() < rows && clock.elapsed() < 5000) QCoreApplication::processEvents();
    return list.RowCount() == rows;
}

struct PageCase {
    const char* name;
    // Makes the page; fills the list files land in and the widgets to drop on.
    std::function<std::unique_ptr<QWidget>(SettingsStore&, FileListCtrl**, std::vector<QWidget*>*)> make;
};

std::vector<PageCase> Pages() {
    return {
        {"batch splitter",
         [](SettingsStore& store, FileListCtrl** list, std::vector<QWidget*>* targets) {
             auto page = std::make_unique<CPageBatchSplitter>(store);
             *list = page->List();
             *targets = {page->SplitAllButton(), page->ModeInputs().count->findChild<QLineEdit*>(),
                         page->BeginEdit()->findChild<QLineEdit*>(), page.get()};
             return std::unique_ptr<QWidget>(std::move(page));
         }},
        {"joiner",
         [](SettingsStore& store, FileListCtrl** list, std::vector<QWidget*>* targets) {
             auto page = std::make_unique<CPageJoiner>(store);
             *list = page->List();
             *targets = {page->AddFilesButton(), page->TitleEdit(), page->TrackEdit()->findChild<QLineEdit*>(),
                         page->CopyTagButton(), page.get()};
             return std::unique_ptr<QWidget>(std::move(page));
         }},
        {"batch joiner",
         [](SettingsStore& store, FileListCtrl** list, std::vector<QWidget*>* targets) {
             auto page = std::make_unique<CPageBatchJoiner>(store);
             *list = page->MainList();
             *targets = {page->InsertButton(), page->JoinButton(), page->UpButton(), page.get()};
             return std::unique_ptr<QWidget>(std::move(page));
         }},
    };
}

// Every widget of the table takes the drop, the file lands in the page's list, and a field
// does not take the path as text.
TEST(PageDropTest, FilesDroppedAnywhereOnAPageAreAdded) {
    test::App();
    fixtures::TempDir dir;
    for (const PageCase& c : Pages()) {
        MemorySettingsBackend backend;
        SettingsStore store(backend, "");
        store.LoadPageGroups();
        FileListCtrl* list = nullptr;
        std::vector<QWidget*> targets;
        std::unique_ptr<QWidget> page = c.make(store, &list, &targets);
        page->resize(1024, 700);
        page->show();
        int rows = 0;
        for (QWidget* target : targets) {
            const fs::path song = dir / (std::string(c.name) + std::to_string(rows) + ".mp3");
            fixtures::WriteFileBytes(song, fixtures::EncodeMp3(fixtures::EncodeSpec{}));
            ASSERT_TRUE(DropFileOn(target, song)) << c.name << " " << target->metaObject()->className();
            ASSERT_TRUE(WaitForRows(*list, ++rows)) << c.name << " " << target->metaObject()->className();
        }
        for (QLineEdit* edit : page->findChildren<QLineEdit*>()) {
            EXPECT_FALSE(edit->text().contains(QString::fromStdString(dir.Path().string()))) << c.name;
        }
    }
}

}  // namespace
}  // namespace qm
