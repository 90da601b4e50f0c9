// Managing replays from the library's table, driven by keys as a user would:
// rename by pattern and undo, trash, copy to a folder (asking once when names
// are taken), find duplicates and undo any batch from the history.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <map>
#include <optional>

#include "library/core/folder_scan.h"
#include "library/files/file_operations.h"
#include "library/journal/journal.h"
#include "library/replay_library.h"
#include "tests/support/replay_builder.h"
#include "ui/library_actions.h"
#include "ui/library_panel.h"
#include "ui/main_window.h"
#include "ui/rename_dialog.h"

namespace {

// QTRY_* would return silently from a GoogleTest test on failure.
template <typename Condition>
bool eventually(Condition condition) {
  return QTest::qWaitFor(condition, 10'000);
}

class ManageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    QDir(m_dir.path()).mkpath(QStringLiteral("lib"));
    for (int i = 1; i <= 50; ++i) {
      replay_builder::ReplaySpec recipe = replay_builder::SimpleReplay(2, false);
      recipe.map_name = "Map " + std::to_string(i % 4);  // names clash within the batch
      recipe.game_name = u"Game " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
      recipe.filler = static_cast<std::uint8_t>(i);
      const QString name = QStringLiteral("replay_%1.rec").arg(i, 4, 10, QLatin1Char('0'));
      ASSERT_TRUE(replay_builder::WriteFile(QFile::encodeName(lib(name)).toStdString(),
                                            replay_builder::BuildReplay(recipe)));
      m_contents[name] = read(lib(name));
    }
    m_window = std::make_unique<MainWindow>(
        new myzor::ReplayLibrary(myzor::ReplayIndex::defaultFile()), m_dir.path(), m_settings);
    m_window->start({lib()});
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    QSignalSpy finished(m_window->library(), &myzor::ReplayLibrary::finished);
    if (m_window->library()->isRunning()) {
      ASSERT_TRUE(finished.wait(10'000));
    }
    focusTable();
  }
  // As the desktop does when a dialog closes: the window is active again, the table has focus.
  void focusTable() {
    m_window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    table()->setFocus();
  }
  QString lib(const QString& name = {}) const { return QDir(m_dir.path()).filePath("lib/" + name); }
  static QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  QStringList names() const {
    return QDir(lib()).entryList({QStringLiteral("*.rec")}, QDir::Files, QDir::Name);
  }
  QTableView* table() const { return m_window->panel()->table(); }
  QString status() const { return m_window->statusBar()->currentMessage(); }
  // Selects `count` rows from the top, the first as a click would, the others by keys.
  void selectRows(int count) {
    table()->setCurrentIndex(table()->model()->index(0, 0));
    for (int i = 1; i < count; ++i) QTest::keyClick(table(), Qt::Key_Down, Qt::ShiftModifier);
  }

  QTemporaryDir m_dir;
  QSettings m_settings{QDir(m_dir.path()).filePath("settings.ini"), QSettings::IniFormat};
  std::map<QString, QByteArray> m_contents;  // by the first name
  std::unique_ptr<MainWindow> m_window;
};

TEST_F(ManageTest, RenamesFiftyByPatternAfterAPreviewAndUndoGivesTheOldNamesBack) {
  QTest::keyClick(table(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(table(), Qt::Key_F2);
  RenameDialog* dialog = nullptr;
  ASSERT_TRUE(
      eventually([&] { return (dialog = m_window->findChild<RenameDialog*>()) != nullptr; }));
  auto* pattern = dialog->findChild<QLineEdit*>(QStringLiteral("txt_pattern"));
  QTest::keyClicks(pattern, "{date} {map - {teams}");
  const auto* error = dialog->findChild<QWidget*>(QStringLiteral("lbl_pattern_error"));
  ASSERT_TRUE(eventually([&] { return !error->isHidden(); }));
  QTest::keyClick(pattern, Qt::Key_Enter);  // refused: nothing may run
  EXPECT_EQ(names().size(), 50);
  pattern->clear();
  QTest::keyClicks(pattern, "{date} {map} - {teams}");
  const QAbstractItemModel* preview = dialog->preview()->model();
  ASSERT_TRUE(eventually([&] { return preview->rowCount() == 50 && error->isHidden(); }));
  int marked = 0;  // four maps, one team line: all but four names are taken
  for (int row = 0; row < 50; ++row)
    marked += preview->index(row, 2).data().toString().contains("taken");
  EXPECT_EQ(marked, 46);
  EXPECT_TRUE(QFile::exists(lib("replay_0001.rec")));  // nothing renamed before the confirmation

  QSignalSpy reread(m_window->library(), &myzor::ReplayLibrary::rowsRead);
  QTest::keyClick(pattern, Qt::Key_Enter);
  ASSERT_TRUE(eventually([&] { return status() == QStringLiteral("50 replays renamed"); }))
      << status().toStdString();
  QStringList contents_after, contents_before;
  for (const QString& name : names()) {
    EXPECT_TRUE(name.startsWith(QDate::currentDate().toString(Qt::ISODate) + " Map "))
        << name.toStdString();
    contents_after.append(QString::fromLatin1(read(lib(name)).toHex()));
  }
  for (const auto& [name, bytes] : m_contents)
    contents_before.append(QString::fromLatin1(bytes.toHex()));
  contents_after.sort();
  contents_before.sort();
  EXPECT_EQ(contents_after, contents_before);
  ASSERT_TRUE(eventually([&] { return !reread.isEmpty(); }));
  EXPECT_EQ(m_window->library()->model()->rowCount(), 50);
  EXPECT_EQ(table()->selectionModel()->selectedRows().size(),
            50);  // the renamed rows, ready for another F2
  // No row of a file that is gone was opened on the way.
  EXPECT_FALSE(m_window->findChild<QLabel*>("lbl_status")->text().contains("could not be read"));
  EXPECT_EQ(m_settings.value("rename/pattern").toString(),
            QStringLiteral("{date} {map} - {teams}"));

  focusTable();
  EXPECT_TRUE(m_window->actions()->findChild<QAction*>(QStringLiteral("act_undo"))->isEnabled());
  QTest::keyClick(table(), Qt::Key_Z, Qt::ControlModifier);
  ASSERT_TRUE(eventually([&] {
    return status() == QStringLiteral("50 replays given back their old names");
  })) << status().toStdString();
  for (const auto& [name, bytes] : m_contents)
    EXPECT_EQ(read(lib(name)), bytes) << name.toStdString();
  EXPECT_EQ(names().size(), 50);
}

// Renamed rows move to the end of the table; they stay the selection and in view.
TEST_F(ManageTest, RenamedRowsStaySelectedAndInViewWhereTheyMoveTo) {
  m_window->resize(1024, 640);
  selectRows(3);
  QTest::keyClick(table(), Qt::Key_F2);
  RenameDialog* dialog = nullptr;
  ASSERT_TRUE(
      eventually([&] { return (dialog = m_window->findChild<RenameDialog*>()) != nullptr; }));
  auto* pattern = dialog->findChild<QLineEdit*>(QStringLiteral("txt_pattern"));
  pattern->clear();
  QTest::keyClicks(pattern, "z {file}");
  const QAbstractItemModel* preview = dialog->preview()->model();
  ASSERT_TRUE(eventually(
      [&] { return preview->index(2, 1).data() == QStringLiteral("z replay_0003.rec"); }));
  QTest::keyClick(pattern, Qt::Key_Enter);
  ASSERT_TRUE(eventually([&] { return status() == QStringLiteral("3 replays renamed"); }))
      << status().toStdString();
  QList<QByteArray> renamed;
  for (const char* name : {"z replay_0001.rec", "z replay_0002.rec", "z replay_0003.rec"})
    renamed << QFile::encodeName(lib(QString::fromLatin1(name)));
  ASSERT_TRUE(eventually([&] {
    QList<QByteArray> selected = m_window->panel()->selectedPaths();
    std::sort(selected.begin(), selected.end());
    return selected == renamed;
  }));
  const QModelIndex current = table()->currentIndex();
  EXPECT_EQ(current.row(), 47);
  EXPECT_TRUE(table()->viewport()->rect().intersects(table()->visualRect(current)));
}

TEST_F(ManageTest, DeleteTrashesAfterConfirmingAndCopyLeavesTheSourcesInPlace) {
  const QByteArray data = QFile::encodeName(m_dir.path()) + "/data";
  qputenv("XDG_DATA_HOME", data);
  selectRows(1);
  QTest::keyClick(table(), Qt::Key_Delete);
  QMessageBox* box = nullptr;
  ASSERT_TRUE(eventually([&] { return (box = m_window->findChild<QMessageBox*>()) != nullptr; }));
  QTest::keyClick(box, Qt::Key_Escape);  // the default answer keeps the file
  ASSERT_TRUE(eventually([&] { return m_window->findChild<QMessageBox*>() == nullptr; }));
  EXPECT_TRUE(QFile::exists(lib("replay_0001.rec")));

  focusTable();
  QTest::keyClick(table(), Qt::Key_Delete);
  ASSERT_TRUE(eventually(
      [&] { return (box = m_window->findChild<QMessageBox*>()) != nullptr && box->isVisible(); }));
  QTest::keyClick(box, Qt::Key_T);
  ASSERT_TRUE(eventually([&] { return status() == QStringLiteral("1 replay moved to the trash"); }))
      << status().toStdString();
  EXPECT_EQ(read(QFile::decodeName(data) + "/Trash/files/replay_0001.rec"),
            m_contents["replay_0001.rec"]);
  EXPECT_FALSE(QFile::exists(lib("replay_0001.rec")));
  ASSERT_TRUE(eventually([&] { return m_window->library()->model()->rowCount() == 49; }));

  QDir(m_dir.path()).mkpath(QStringLiteral("out"));
  m_window->actions()->setFolderChooser(
      [this](const QString&) { return QDir(m_dir.path()).filePath("out"); });
  selectRows(3);
  m_window->actions()->findChild<QAction*>(QStringLiteral("act_copy_to"))->trigger();
  ASSERT_TRUE(eventually([&] { return status() == QStringLiteral("3 replays copied"); }))
      << status().toStdString();
  const QStringList copied = QDir(QDir(m_dir.path()).filePath("out")).entryList(QDir::Files);
  EXPECT_EQ(copied, (QStringList{"replay_0002.rec", "replay_0003.rec", "replay_0004.rec"}));
  for (const QString& name : copied) {
    EXPECT_EQ(read(QDir(m_dir.path()).filePath("out/" + name)), m_contents[name]);
    EXPECT_EQ(read(lib(name)), m_contents[name]);
  }

  // Copied again with one more: three names are taken; asked once, whatever the answer nothing is
  // replaced.
  const QString out = QDir(m_dir.path()).filePath("out");
  const auto copyAgain = [&](std::optional<myzor::ClashPolicy> answer, const QString& expected) {
    QList<int> asked;
    m_window->actions()->setClashChooser(
        [&](int clashes) { return asked.append(clashes), answer; });
    focusTable();
    selectRows(4);
    m_window->actions()->findChild<QAction*>(QStringLiteral("act_copy_to"))->trigger();
    // The names taken are counted on a worker before the question.
    ASSERT_TRUE(eventually([&] { return !asked.isEmpty() && status() == expected; }))
        << status().toStdString();
    EXPECT_EQ(asked, QList<int>{answer == myzor::ClashPolicy::keep_both ? 4 : 3});
  };
  copyAgain(std::nullopt, status());
  EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 3);
  copyAgain(myzor::ClashPolicy::skip, QStringLiteral("1 replay copied, 3 skipped"));
  copyAgain(myzor::ClashPolicy::keep_both, QStringLiteral("4 replays copied"));
  const QStringList all = QDir(out).entryList(QDir::Files);
  EXPECT_EQ(all.size(), 8) << all.join(' ').toStdString();
  for (const QString& name : all) {
    const QString first = QString(name).remove(QStringLiteral(" (2)"));
    EXPECT_EQ(read(QDir(out).filePath(name)), m_contents[first]) << name.toStdString();
  }
}

TEST_F(ManageTest, TrashesDuplicatesKeepingTheTickedOneAndHistoryUndoesIt) {
  qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()) + "/data");
  m_window->actions()->setFolderChooser([this](const QString&) { return lib("copies"); });
  QDir().mkpath(lib("copies"));
  selectRows(3);
  m_window->actions()->findChild<QAction*>(QStringLiteral("act_copy_to"))->trigger();
  ASSERT_TRUE(eventually([&] { return status() == QStringLiteral("3 replays copied"); }))
      << status().toStdString();
  ASSERT_TRUE(eventually([&] { return m_window->library()->model()->rowCount() == 53; }));

  table()->clearSelection();
  m_window->actions()->findChild<QAction*>(QStringLiteral("act_find_duplicates"))->trigger();
  QDialog* dialog = nullptr;
  ASSERT_TRUE(eventually([&] {
    return (dialog = m_window->findChild<QDialog*>(QStringLiteral("dlg_duplicates"))) != nullptr;
  }));
  auto* groups = dialog->findChild<QTreeWidget*>(QStringLiteral("tbl_duplicates"));
  ASSERT_EQ(groups->topLevelItemCount(), 3);
  // One ticked per group; ticking the original keeps it instead of its copy.
  QTreeWidgetItem* first = groups->topLevelItem(0);
  ASSERT_EQ(first->childCount(), 2);
  const int original = first->child(0)->text(2).endsWith("lib/replay_0001.rec") ? 0 : 1;
  EXPECT_EQ(first->child(original)->checkState(0),
            Qt::Unchecked);  // the copy sorts first; equal times keep it
  first->child(original)->setCheckState(0, Qt::Checked);
  EXPECT_EQ(first->child(1 - original)->checkState(0), Qt::Unchecked);
  QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btn_trash_duplicates")),
                    Qt::LeftButton);
  ASSERT_TRUE(eventually([&] {
    return status() == QStringLiteral("3 replays moved to the trash");
  })) << status().toStdString();
  EXPECT_TRUE(QFile::exists(lib("replay_0001.rec")));
  EXPECT_FALSE(QFile::exists(lib("copies/replay_0001.rec")));
  EXPECT_FALSE(QFile::exists(lib("replay_0002.rec")));
  EXPECT_TRUE(QFile::exists(lib("copies/replay_0002.rec")));

  m_window->actions()->findChild<QAction*>(QStringLiteral("act_history"))->trigger();
  QDialog* history = nullptr;
  ASSERT_TRUE(eventually([&] {
    return (history = m_window->findChild<QDialog*>(QStringLiteral("dlg_history"))) != nullptr;
  }));
  auto* batches = history->findChild<QTreeWidget*>(QStringLiteral("tbl_history"));
  ASSERT_TRUE(eventually([&] { return batches->topLevelItemCount() == 2; }));
  EXPECT_EQ(batches->topLevelItem(0)->text(1), QStringLiteral("Move to trash"));
  EXPECT_EQ(batches->topLevelItem(1)->text(3), QStringLiteral("Done"));
  batches->setCurrentItem(batches->topLevelItem(0));
  QTest::mouseClick(history->findChild<QPushButton*>(QStringLiteral("btn_undo_batch")),
                    Qt::LeftButton);
  ASSERT_TRUE(eventually([&] {
    return status() == QStringLiteral("3 replays restored from the trash");
  })) << status().toStdString();
  for (const char* name : {"replay_0001.rec", "replay_0002.rec", "replay_0003.rec"}) {
    EXPECT_EQ(read(lib(name)), m_contents[name]);
    EXPECT_EQ(read(lib(QStringLiteral("copies/") + name)), m_contents[name]);
  }
  ASSERT_TRUE(
      eventually([&] { return batches->topLevelItem(0)->text(3) == QStringLiteral("Undone"); }));
  EXPECT_TRUE(m_window->actions()
                  ->findChild<QAction*>(QStringLiteral("act_undo"))
                  ->isEnabled());  // the copy
}

// A batch cut short before this start (a rename killed after its first file):
// the window says so once and undoes or finishes it, as the user picks.
class Recovery : public testing::TestWithParam<bool> {};

TEST_P(Recovery, AtStartTheWindowOffersUndoOrFinish) {
  const bool finish = GetParam();
  QTemporaryDir dir;
  qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
  QDir(dir.path()).mkpath(QStringLiteral("lib"));
  std::vector<myzor::JournalStep> steps;
  for (int i = 0; i < 3; ++i) {
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("lib/old%1.rec").arg(i)));
    ASSERT_TRUE(replay_builder::WriteFile(path.toStdString(), {static_cast<std::uint8_t>(i)}));
    myzor::FileEntry file;
    ASSERT_TRUE(myzor::StatFile(path, file));
    steps.push_back({i,
                     myzor::StepState::planned,
                     path,
                     QFile::encodeName(dir.filePath(QStringLiteral("lib/new%1.rec").arg(i))),
                     {},
                     0,
                     file.inode,
                     file.size,
                     file.mtime_ns,
                     0,
                     {},
                     {},
                     {},
                     {}});
  }
  const pid_t child = ::fork();
  if (child == 0) {
    myzor::Journal journal;
    const std::optional<qint64> batch = journal.begin(myzor::BatchKind::rename, steps);
    steps[0].state = myzor::StepState::done;
    ::_exit(batch && myzor::RenameNoReplace(steps[0].source, steps[0].target) == 0 &&
                    journal.update(*batch, steps[0])
                ? 0
                : 1);
  }
  int exit_status = 1;
  ASSERT_EQ(::waitpid(child, &exit_status, 0), child);
  ASSERT_EQ(exit_status, 0);

  QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
  MainWindow window(new myzor::ReplayLibrary(myzor::ReplayIndex::defaultFile()), dir.path(),
                    settings);
  window.start({dir.filePath("lib")});
  window.show();
  QMessageBox* box = nullptr;
  ASSERT_TRUE(eventually([&] {
    return (box = window.findChild<QMessageBox*>(QStringLiteral("dlg_recover"))) != nullptr;
  }));
  EXPECT_TRUE(box->text().contains(QStringLiteral("1 of 3 files were done")))
      << box->text().toStdString();
  for (QAbstractButton* button : box->buttons())
    if (button->text() == (finish ? QStringLiteral("&Finish") : QStringLiteral("&Undo")))
      button->click();
  const QString expected = finish ? QStringLiteral("2 replays done, the batch is finished")
                                  : QStringLiteral("1 replay given back their old names");
  ASSERT_TRUE(eventually([&] { return window.statusBar()->currentMessage() == expected; }))
      << window.statusBar()->currentMessage().toStdString();
  const QStringList names = QDir(dir.filePath("lib")).entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(names, finish ? QStringList({"new0.rec", "new1.rec", "new2.rec"})
                          : QStringList({"old0.rec", "old1.rec", "old2.rec"}));
}

INSTANTIATE_TEST_SUITE_P(Choices, Recovery, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Finish" : "Undo"; });

}  // namespace
