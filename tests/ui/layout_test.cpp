// The window as it stands before any replay is read: controls, list columns,
// keyboard order and which files are listed.
#include "tests/ui/window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QTest>

#include <vector>

namespace {

struct ControlFact {
  const char* name;
  const char* kind;
  const char* container;
  const char* caption;
};

// Captions as the user sees them; the check boxes' own captions are cut off
// by their width but still there.
const std::vector<ControlFact> kControls = {
    {"File1", "QListWidget", "Form1", ""},
    {"list_players", "QTreeWidget", "Form1", ""},
    {"lbl_gamename", "QLabel", "Form1", ""},
    {"lbl_map", "QLabel", "Form1", ""},
    {"lst_actions", "QListWidget", "Form1", ""},
    {"Frame1", "QGroupBox", "Form1", "Settings"},
    {"pic_map", "PictureBox", "Form1", ""},
    {"pic_badge", "PictureBox", "Form1", ""},
    {"pic_banner", "PictureBox", "Form1", ""},
    {"lbl_ai_text", "QLabel", "Frame1", "AI Difficulty:"},
    {"lbl_startress_text", "QLabel", "Frame1", "Starting Resources:"},
    {"lbl_lockteams_text", "QLabel", "Frame1", "Lock Teams:"},
    {"lbl_cheats_text", "QLabel", "Frame1", "Cheats Enabled:"},
    {"lbl_startloc_text", "QLabel", "Frame1", "Starting Location:"},
    {"lbl_gamespeed_text", "QLabel", "Frame1", "Game Speed:"},
    {"lbl_ressshare_text", "QLabel", "Frame1", "Resource Sharing:"},
    {"lbl_ressrate_text", "QLabel", "Frame1", "Resource Rate:"},
    {"chck_ai", "QCheckBox", "Frame1", ""},
    {"chck_startress", "QCheckBox", "Frame1", ""},
    {"chck_lockteams", "QCheckBox", "Frame1", ""},
    {"chck_cheats", "QCheckBox", "Frame1", ""},
    {"chck_startloc", "QCheckBox", "Frame1", ""},
    {"chck_gamespeed", "QCheckBox", "Frame1", ""},
    {"chck_ressshare", "QCheckBox", "Frame1", ""},
    {"chck_ressrate", "QCheckBox", "Frame1", ""},
    {"lbl_Annihilate_text", "QLabel", "Frame1", "Annihilate:"},
    {"Label1", "QLabel", "Frame1", "Assassinate:"},
    {"Label2", "QLabel", "Frame1", "Control Area:"},
    {"Label3", "QLabel", "Frame1", "Destroy HQ:"},
    {"Label4", "QLabel", "Frame1", "Economic Victory:"},
    {"Label5", "QLabel", "Frame1", "Take and Holde:"},
    {"Label6", "QLabel", "Frame1", "Sudden Death:"},
    {"chck_annihilate", "QCheckBox", "Frame1", "Check3"},
    {"chck_assassinate", "QCheckBox", "Frame1", "Check4"},
    {"chck_control_area", "QCheckBox", "Frame1", "Check2"},
    {"chck_destroyhq", "QCheckBox", "Frame1", "Check1"},
    {"chck_economicvictory", "QCheckBox", "Frame1", "Check5"},
    {"chck_takeandholde", "QCheckBox", "Frame1", "Check6"},
    {"chck_suddendeath", "QCheckBox", "Frame1", "Check7"},
};

QString Caption(const QWidget* widget) {
  if (const auto* group = qobject_cast<const QGroupBox*>(widget))
    return group->title();
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
    return button->text();
  if (const auto* text = qobject_cast<const QLabel*>(widget))
    return text->text();
  return {};
}

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, EveryControlHasItsNameKindContainerAndCaption) {
  Form1& form = window();
  EXPECT_EQ(form.objectName(), "Form1");
  EXPECT_EQ(form.windowTitle(), "myZor Replaymanager");
  EXPECT_EQ(form.size(), QSize(754, 578));
  EXPECT_EQ(form.findChild<QMenuBar*>(), nullptr);

  for (const ControlFact& fact : kControls) {
    SCOPED_TRACE(fact.name);
    auto* widget = form.findChild<QWidget*>(QString::fromLatin1(fact.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), fact.kind);
    ASSERT_NE(widget->parentWidget(), nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(fact.container));
    EXPECT_EQ(Caption(widget), QString::fromLatin1(fact.caption));
  }
  // Each label stands on its check box's row, and all fit inside the frame.
  const QRect frame = label("lbl_ai_text")->parentWidget()->rect();
  EXPECT_EQ(label("lbl_ressrate_text")->geometry().top(), box("chck_ressrate")->geometry().top());
  EXPECT_EQ(label("Label6")->geometry().top(), box("chck_suddendeath")->geometry().top());
  EXPECT_TRUE(frame.contains(box("chck_ressrate")->geometry()));
  EXPECT_TRUE(frame.contains(box("chck_suddendeath")->geometry()));
}

TEST_F(LayoutTest, PlayerListHasSevenColumnsWithTheIdColumnHidden) {
  QTreeWidget* list = players();
  ASSERT_EQ(list->columnCount(), 7);
  const QStringList titles = {"ID", "Name", "Team", "Rasse", "Rassenfarbe", "start", "end"};
  for (int column = 0; column < 7; ++column)
    EXPECT_EQ(list->headerItem()->text(column), titles[column]);

  EXPECT_TRUE(list->isColumnHidden(0));
  EXPECT_EQ(list->header()->logicalIndexAt(1), 1) << "the first visible column is not \"Name\"";
  const std::vector<int> widths = {100, 53, 133, 96, 96, 96};
  for (int column = 1; column < 7; ++column)
    EXPECT_EQ(list->columnWidth(column), widths[static_cast<std::size_t>(column - 1)]) << column;
  EXPECT_FALSE(list->rootIsDecorated());
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(LayoutTest, TabKeyFollowsTheDesignedOrder) {
  Form1& form = window();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  files()->setFocus();

  // The labels, the frame and the picture boxes take no focus; the
  // remaining controls keep their designed order, which is not the order on
  // screen for the check boxes.
  const QStringList expected = {
      "File1",          "list_players",      "chck_ai",         "chck_startress",
      "chck_cheats",    "chck_startloc",     "chck_gamespeed",  "chck_lockteams",
      "chck_ressshare", "chck_ressrate",     "chck_destroyhq",  "chck_control_area",
      "chck_annihilate", "chck_assassinate", "chck_economicvictory", "chck_takeandholde",
      "chck_suddendeath", "lst_actions",     "File1"};
  QStringList visited;
  for (int i = 0; i < expected.size(); ++i) {
    QWidget* focused = QApplication::focusWidget();
    visited << (focused != nullptr ? focused->objectName() : QStringLiteral("(none)"));
    QTest::keyClick(focused != nullptr ? focused : &form, Qt::Key_Tab);
  }
  EXPECT_EQ(visited.join(QStringLiteral(", ")).toStdString(),
            expected.join(QStringLiteral(", ")).toStdString());
}

TEST_F(LayoutTest, FileListShowsOnlyRecFilesSortedIgnoringCaseAndReadsNothingAtStart) {
  const auto recipe = replay_builder::SimpleReplay(2, false);
  writeReplay("b.rec", recipe);
  writeReplay("A.REC", recipe);
  writeReplay("c.Rec", recipe);
  writeFile("testfiles/1.30/notes.txt", "not a replay");
  writeFile("testfiles/1.30/old.rec.bak", "not a replay");
  ASSERT_TRUE(QDir(programFolder()).mkpath("testfiles/1.30/folder.rec"));

  EXPECT_EQ(fileEntries(), (QStringList{"A.REC", "b.rec", "c.Rec"}));
  EXPECT_TRUE(files()->selectedItems().isEmpty());
  EXPECT_EQ(players()->topLevelItemCount(), 0);
  EXPECT_TRUE(actionLines().isEmpty());
  EXPECT_TRUE(label("lbl_map")->text().isEmpty());
  EXPECT_TRUE(label("lbl_status")->text().isEmpty());
  EXPECT_TRUE(window().zorFolder().endsWith(QStringLiteral("testfiles/1.30/")));
}

TEST_F(LayoutTest, MissingReplayFolderShowsAnEmptyListAndSaysWhereItLooked) {
  ASSERT_TRUE(QDir(programFolder()).rmpath("testfiles/1.30"));
  EXPECT_EQ(files()->count(), 0);
  const QString status = label("lbl_status")->text();
  EXPECT_TRUE(status.contains(QDir::toNativeSeparators(window().zorFolder()))) << status.toStdString();
}

TEST_F(LayoutTest, LargerFontEnlargesTheControlsSoCaptionsFit) {
  const QFont original = QApplication::font();
  QFont large = original;
  large.setPixelSize(24);
  QApplication::setFont(large);
  Form1& form = window();
  QApplication::setFont(original);

  EXPECT_GT(form.width(), 754);
  EXPECT_GT(form.height(), 578);
  QLabel* caption = label("Label4");
  EXPECT_GE(caption->height(), caption->fontMetrics().height());
  EXPECT_GE(caption->width(), caption->fontMetrics().horizontalAdvance(caption->text()) * 3 / 4);
  const QRect frame = caption->parentWidget()->rect();
  EXPECT_TRUE(frame.contains(box("chck_ressrate")->geometry()));
}

}  // namespace
