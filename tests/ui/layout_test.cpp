// The window before any replay is read: names a screen reader announces, the
// few layout facts the code relies on, keyboard order and the file list.
#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QTest>
#include <vector>

#include "tests/ui/window_fixture.h"

namespace {

class LayoutTest : public WindowTest {};

// Every control is announced by what it means, each check box by the label
// on its row, which is also that box's buddy.
TEST_F(LayoutTest, EveryControlHasAnAccessibleName) {
  const std::vector<std::pair<const char*, const char*>> named = {
      {"File1", "Replay files"},
      {"list_players", "Players"},
      {"lst_actions", "Actions"},
      {"lbl_map", "Map"},
      {"lbl_gamename", "Game"},
      {"pic_map", "Map picture"},
      {"pic_badge", "Badge of the selected player"},
      {"pic_banner", "Banner of the selected player"},
      {"Frame1", "Settings"}};
  for (const auto& [object, name] : named) {
    auto* widget = window().findChild<QWidget*>(QLatin1String(object));
    ASSERT_NE(widget, nullptr) << object;
    EXPECT_EQ(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name)
        << object;
  }
  const auto boxes = window().findChildren<QCheckBox*>();
  ASSERT_EQ(boxes.size(), 15);
  for (QCheckBox* box : boxes) {
    SCOPED_TRACE(box->objectName().toStdString());
    QLabel* row_label = nullptr;
    for (QLabel* candidate : window().findChildren<QLabel*>())
      if (candidate->buddy() == box) row_label = candidate;
    ASSERT_NE(row_label, nullptr);
    EXPECT_EQ(row_label->geometry().top(), box->geometry().top());
    EXPECT_TRUE(row_label->text().endsWith(QLatin1Char(':')));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name),
              row_label->text().chopped(1));
  }
  QTreeWidget* list = players();
  EXPECT_TRUE(list->isColumnHidden(0));
  EXPECT_EQ(list->header()->logicalIndexAt(1), 1) << "the first visible column is not \"Name\"";
}

TEST_F(LayoutTest, TabKeyFollowsTheDesignedOrder) {
  Form1& form = window();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  files()->setFocus();
  // The labels, the frame and the picture boxes take no focus; the check
  // boxes keep their designed order, which is not their order on screen.
  const QStringList expected = {"File1",
                                "list_players",
                                "chck_ai",
                                "chck_startress",
                                "chck_cheats",
                                "chck_startloc",
                                "chck_gamespeed",
                                "chck_lockteams",
                                "chck_ressshare",
                                "chck_ressrate",
                                "chck_destroyhq",
                                "chck_control_area",
                                "chck_annihilate",
                                "chck_assassinate",
                                "chck_economicvictory",
                                "chck_takeandholde",
                                "chck_suddendeath",
                                "lst_actions",
                                "File1"};
  QStringList visited;
  for (int i = 0; i < expected.size(); ++i) {
    QWidget* focused = QApplication::focusWidget();
    visited << (focused != nullptr ? focused->objectName() : QStringLiteral("(none)"));
    QTest::keyClick(focused != nullptr ? focused : &form, Qt::Key_Tab);
  }
  EXPECT_EQ(visited.join(", ").toStdString(), expected.join(", ").toStdString());
}

TEST_F(LayoutTest, FileListShowsOnlyRecFilesSortedIgnoringCaseAndReadsNothingAtStart) {
  for (const char* name : {"b.rec", "A.REC", "c.Rec"})
    writeReplay(name, replay_builder::SimpleReplay(1, false));
  writeFile("testfiles/1.30/notes.txt", "not a replay");
  writeFile("testfiles/1.30/.hidden.rec", "not shown");
  ASSERT_TRUE(QDir(programFolder()).mkpath("testfiles/1.30/folder.rec"));
  const QString pipe = QDir(programFolder()).filePath(QStringLiteral("testfiles/1.30/pipe.rec"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
  EXPECT_EQ(texts(files()), (QStringList{"A.REC", "b.rec", "c.Rec"}));
  EXPECT_TRUE(files()->selectedItems().isEmpty());
  EXPECT_EQ(players()->topLevelItemCount(), 0);
  EXPECT_TRUE(status().isEmpty());

  ASSERT_TRUE(QDir(programFolder()).removeRecursively());
  window().Form_Load();
  EXPECT_EQ(files()->count(), 0);
  EXPECT_TRUE(status().contains(QDir::toNativeSeparators(window().zorFolder())))
      << status().toStdString();
}

TEST_F(LayoutTest, LargerFontEnlargesTheControlsSoCaptionsFit) {
  const QFont original = QApplication::font();
  QFont large = original;
  large.setPixelSize(24);
  QApplication::setFont(large);
  Form1& form = window();
  QApplication::setFont(original);
  EXPECT_GT(form.width(), 754);
  QLabel* caption = label("Label4");
  EXPECT_GE(caption->height(), caption->fontMetrics().height());
  EXPECT_TRUE(caption->parentWidget()->rect().contains(box("chck_ressrate")->geometry()));
}

}  // namespace
