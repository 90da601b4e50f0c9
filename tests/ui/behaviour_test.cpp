// Picking files and player rows: what the window shows afterwards, and what
// it keeps when a file cannot be read.
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>

#include "gfx/platform.h"
#include "tests/ui/window_fixture.h"

namespace {

using replay_builder::ReplaySpec;

// "Red Map", three players with pictures of their own colours (the second
// in team 256), annihilate and take-and-hold, action 12.
ReplaySpec FirstReplay() {
  ReplaySpec recipe = replay_builder::SimpleReplay(3, true);
  recipe.map_name = "Red Map";
  recipe.game_name = u"Evening Match";
  recipe.win_keys = {replay_builder::kAnnihilate, replay_builder::kTakeAndHold};
  recipe.action = 12;
  recipe.players[1].team = 255;
  return recipe;
}

// "Glacier Pass", one player, control area only, action 3.
ReplaySpec SecondReplay() {
  ReplaySpec recipe = replay_builder::SimpleReplay(1, true);
  recipe.map_name = "Glacier Pass";
  recipe.game_name = u"Rematch";
  recipe.win_keys = {replay_builder::kControlArea};
  recipe.action = 3;
  recipe.players[0].name = u"Dee";
  return recipe;
}

class BehaviourTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    first_layout = writeReplay("first.rec", FirstReplay());
    writeReplay("second.rec", SecondReplay());
    writeFile("pics/Red Map.gif", RedGif());
    QFile shipped(ShippedPicture("Glacier Pass"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    writeFile("pics/Glacier Pass.gif", shipped.readAll());
  }

  void expectFirstReplayShown() {
    EXPECT_EQ(label("lbl_map")->text(), "Red Map");
    EXPECT_EQ(label("lbl_gamename")->text(), "Evening Match");
    EXPECT_TRUE(box("chck_annihilate")->isChecked());
    EXPECT_FALSE(box("chck_control_area")->isChecked());
    EXPECT_TRUE(box("chck_takeandholde")->isChecked());
    EXPECT_EQ(MiddleColour(picture("pic_map")), 0xFF0000u);
  }
  [[nodiscard]] QStringList actionLines() { return texts(control<QListWidget>("lst_actions")); }

  replay_builder::Layout first_layout;
};

// A pick fills the rows, labels, boxes, action line and map; a second file's
// rows replace them, and the pictures of a row go with it.
TEST_F(BehaviourTest, SecondFileReplacesTheReplayAndTheRowsTakeTheirPicturesAlong) {
  clickFile("first.rec");
  ASSERT_EQ(players()->topLevelItemCount(), 3);
  const char* cells[3][3] = {
      {"Player 1", "2", "race_1"}, {"Player 2", "256", "race_2"}, {"Player 3", "2", "race_3"}};
  for (int n = 0; n < 3; ++n) {
    QStringList row;
    for (int column = 0; column < 7; ++column) row << players()->topLevelItem(n)->text(column);
    EXPECT_EQ(row, (QStringList{"", cells[n][0], cells[n][1], cells[n][2], "",
                                QString::number(first_layout.player_starts[n]),
                                QString::number(first_layout.player_ends[n])}));
  }
  expectFirstReplayShown();
  EXPECT_EQ(actionLines(), (QStringList{"12\taction"}));
  EXPECT_TRUE(status().isEmpty());
  // Only the three win conditions the replay names are ever set.
  for (const char* untouched : {"chck_assassinate", "chck_destroyhq", "chck_ai", "chck_ressrate"})
    EXPECT_FALSE(box(untouched)->isChecked()) << untouched;
  EXPECT_TRUE(picture("pic_badge")->image().isNull());

  clickPlayerRow(1);
  ASSERT_EQ(MiddleColour(picture("pic_badge")), 0x5064C8u);
  clickFile("second.rec");
  ASSERT_EQ(players()->topLevelItemCount(), 1);
  EXPECT_EQ(players()->topLevelItem(0)->text(1), "Dee");
  EXPECT_EQ(label("lbl_gamename")->text(), "Rematch");
  EXPECT_FALSE(box("chck_annihilate")->isChecked());
  EXPECT_TRUE(box("chck_control_area")->isChecked());
  EXPECT_EQ(picture("pic_map")->image(), QImage(ShippedPicture("Glacier Pass")));
  EXPECT_EQ(actionLines(), (QStringList{"12\taction", "3\taction"}));
  EXPECT_TRUE(picture("pic_badge")->image().isNull());
  EXPECT_TRUE(picture("pic_banner")->image().isNull());

  // The same file again is read again, by mouse or by keys.
  clickFile("second.rec");
  files()->setFocus();
  QTest::keyClick(files(), Qt::Key_Up);
  EXPECT_EQ(actionLines(), (QStringList{"12\taction", "3\taction", "3\taction", "12\taction"}));
  EXPECT_EQ(players()->topLevelItemCount(), 3);
}

TEST_F(BehaviourTest, AFileThatCannotBeReadKeepsTheReplayShownAndSaysWhich) {
  const replay_builder::Bytes whole = replay_builder::BuildReplay(SecondReplay());
  writeFile("testfiles/1.30/broken.rec",
            QByteArray(reinterpret_cast<const char*>(whole.data()), 300));
  writeFile("testfiles/1.30/empty.rec", QByteArray());
  clickFile("first.rec");
  const std::size_t handles = gfx::LiveHandleCount();
  for (const char* bad : {"broken.rec", "empty.rec", "broken.rec"}) {
    SCOPED_TRACE(bad);
    clickPlayerRow(0);
    clickFile(QString::fromLatin1(bad));
    EXPECT_EQ(players()->topLevelItemCount(), 0);
    expectFirstReplayShown();
    EXPECT_EQ(window().currentReplay().map_name, "Red Map");
    EXPECT_TRUE(picture("pic_badge")->image().isNull());
    EXPECT_TRUE(picture("pic_banner")->image().isNull());
    EXPECT_TRUE(status().startsWith(QString::fromLatin1(bad) + " could not be read: "))
        << status().toStdString();
    EXPECT_TRUE(status().endsWith(" Still showing first.rec.")) << status().toStdString();
    clickFile("first.rec");
  }
  EXPECT_EQ(actionLines().size(), 4);
  EXPECT_TRUE(status().isEmpty());
  EXPECT_EQ(gfx::LiveHandleCount(), handles);
}

TEST_F(BehaviourTest, PlayerRowsShowTheirPicturesOnceAndClearWhatIsMissing) {
  ReplaySpec recipe = FirstReplay();
  recipe.players[1].pictures = false;  // the second has neither badge nor banner
  writeReplay("mixed.rec", recipe);
  clickFile("mixed.rec");
  QSignalSpy shown(&window(), &Form1::playerShown);
  clickPlayerRow(0);
  EXPECT_EQ(shown.count(), 1);
  EXPECT_EQ(MiddleColour(picture("pic_badge")), 0x2864C8u);
  EXPECT_EQ(MiddleColour(picture("pic_banner")), 0xC81E3Cu);
  EXPECT_EQ(picture("pic_banner")->image().size(), QSize(64, 96));
  // Moving the selection with the keyboard shows that row's player.
  players()->setFocus();
  QTest::keyClick(players(), Qt::Key_Down);
  EXPECT_TRUE(picture("pic_badge")->image().isNull());
  EXPECT_TRUE(picture("pic_banner")->image().isNull());
  clickPlayerRow(2);
  clickPlayerRow(2);
  EXPECT_EQ(MiddleColour(picture("pic_badge")), 0x7864C8u);
  EXPECT_EQ(shown.count(), 3);
}

TEST_F(BehaviourTest, TextFromTheFileIsShownAsItIsAndWholeWhenCutOff) {
  ReplaySpec recipe = FirstReplay();
  recipe.game_name = u"<b>Night</b> of the very long and winding game name that does not fit";
  writeReplay("long.rec", recipe);
  clickFile("long.rec");
  QLabel* game = label("lbl_gamename");
  EXPECT_EQ(game->text().toStdU16String(), recipe.game_name);
  EXPECT_EQ(game->toolTip(), game->text());
  EXPECT_TRUE(label("lbl_map")->toolTip().isEmpty()) << "\"Red Map\" fits and needs no tooltip";
}

// Names that are not UTF-8, or hold quotes, backslashes, newlines or letters
// beyond Latin-1, are listed, open by their own bytes, and a read error
// about one is shown as text.
TEST_F(BehaviourTest, AnyFileNameIsListedOpensAndIsReported) {
  const std::string folder = QFile::encodeName(programFolder()).toStdString() + "/testfiles/1.30/";
  for (const std::string& name : replay_builder::AwkwardFileNames()) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(
        replay_builder::WriteFile(folder + name, replay_builder::BuildReplay(SecondReplay())));
    window().Form_Load();
    clickFile(QString::fromUtf8(name));
    EXPECT_EQ(label("lbl_gamename")->text(), "Rematch");
    EXPECT_TRUE(status().isEmpty()) << status().toStdString();
    ASSERT_TRUE(replay_builder::WriteFile(folder + name, {}));
    clickFile(QString::fromUtf8(name));
    EXPECT_TRUE(status().startsWith(QString::fromUtf8(name) + " could not be read"));
    ASSERT_EQ(std::remove((folder + name).c_str()), 0);
  }
}

}  // namespace
