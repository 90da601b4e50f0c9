// Picking files and player rows: what the window shows afterwards, and what
// it keeps when a file cannot be read.
#include "tests/ui/window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <QSignalSpy>
#include <QTest>

namespace {

using replay_builder::PlayerSpec;
using replay_builder::ReplaySpec;

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b) & 0xFFFFFF; }

QImage Filled(int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

PlayerSpec Player(std::u16string name, std::uint8_t team, std::string race, bool pictures = false,
                  QRgb colour = 0) {
  PlayerSpec player;
  player.name = std::move(name);
  player.team = team;
  player.race = std::move(race);
  player.pictures = pictures;
  if (pictures) {
    player.badge = Filled(64, 64, colour);
    player.banner = Filled(64, 96, qRgb(qBlue(colour), qGreen(colour), qRed(colour)));
  }
  return player;
}

// "Red Map", three players, annihilate and take-and-hold, action 12.
ReplaySpec FirstReplay() {
  ReplaySpec recipe;
  recipe.map_name = "Red Map";
  recipe.game_name = u"Evening Match";
  recipe.win_keys = {replay_builder::kAnnihilate, replay_builder::kTakeAndHold};
  recipe.action = 12;
  recipe.players = {Player(u"Ada", 0, "Human", true, qRgb(200, 10, 10)),
                  Player(u"Bo", 255, "Orc", true, qRgb(10, 200, 10)),
                  Player(u"Cy", 1, "Elf", true, qRgb(10, 10, 200))};
  return recipe;
}

// "Blue Map", one player, control area only, action 3.
ReplaySpec SecondReplay() {
  ReplaySpec recipe;
  recipe.map_name = "Blue Map";
  recipe.game_name = u"Rematch";
  recipe.win_keys = {replay_builder::kControlArea};
  recipe.action = 3;
  recipe.players = {Player(u"Dee", 4, "Dwarf", true, qRgb(90, 90, 90))};
  return recipe;
}

class BehaviourTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    first_layout = writeReplay("first.rec", FirstReplay());
    writeReplay("second.rec", SecondReplay());
    writeMapPicture("Red Map", RedGif());
    writeMapPicture("Blue Map", BlueWideGif());
  }

  void expectFirstReplayShown() {
    EXPECT_EQ(label("lbl_map")->text(), "Red Map");
    EXPECT_EQ(label("lbl_gamename")->text(), "Evening Match");
    EXPECT_TRUE(box("chck_annihilate")->isChecked());
    EXPECT_FALSE(box("chck_control_area")->isChecked());
    EXPECT_TRUE(box("chck_takeandholde")->isChecked());
    EXPECT_EQ(MiddleColour(picture("pic_map")), Rgb(255, 0, 0));
  }

  replay_builder::Layout first_layout;
};

TEST_F(BehaviourTest, PickingAFileFillsRowsLabelsBoxesActionLineAndMap) {
  clickFile("first.rec");

  ASSERT_EQ(players()->topLevelItemCount(), 3);
  const auto start = [this](int n) { return QString::number(first_layout.player_starts[n]); };
  const auto end = [this](int n) { return QString::number(first_layout.player_ends[n]); };
  EXPECT_EQ(rowCells(0), (QStringList{"", "Ada", "1", "Human", "", start(0), end(0)}));
  EXPECT_EQ(rowCells(1), (QStringList{"", "Bo", "256", "Orc", "", start(1), end(1)}));
  EXPECT_EQ(rowCells(2), (QStringList{"", "Cy", "2", "Elf", "", start(2), end(2)}));
  expectFirstReplayShown();
  EXPECT_EQ(actionLines(), (QStringList{"12\taction"}));
  EXPECT_TRUE(label("lbl_status")->text().isEmpty());

  // Only the three win conditions the replay names are ever set.
  for (const char* untouched : {"chck_assassinate", "chck_destroyhq", "chck_economicvictory",
                                "chck_suddendeath", "chck_ai", "chck_cheats", "chck_ressrate"})
    EXPECT_FALSE(box(untouched)->isChecked()) << untouched;
  // Nothing of a player is shown before a row is picked.
  EXPECT_TRUE(picture("pic_badge")->image().isNull());
}

TEST_F(BehaviourTest, SecondFileReplacesTheReplayAndTheRowsTakeTheirPicturesAlong) {
  clickFile("first.rec");
  clickPlayerRow(1);
  ASSERT_EQ(MiddleColour(picture("pic_badge")), Rgb(10, 200, 10));

  clickFile("second.rec");
  ASSERT_EQ(players()->topLevelItemCount(), 1);
  EXPECT_EQ(rowCells(0)[1], "Dee");
  EXPECT_EQ(label("lbl_map")->text(), "Blue Map");
  EXPECT_EQ(label("lbl_gamename")->text(), "Rematch");
  EXPECT_FALSE(box("chck_annihilate")->isChecked());
  EXPECT_TRUE(box("chck_control_area")->isChecked());
  EXPECT_FALSE(box("chck_takeandholde")->isChecked());
  EXPECT_EQ(MiddleColour(picture("pic_map")), Rgb(0, 0, 255));
  EXPECT_EQ(actionLines(), (QStringList{"12\taction", "3\taction"}));
  EXPECT_TRUE(picture("pic_badge")->image().isNull());
  EXPECT_TRUE(picture("pic_banner")->image().isNull());
}

TEST_F(BehaviourTest, PickingTheSameFileAgainReadsItAgain) {
  clickFile("first.rec");
  clickFile("first.rec");
  EXPECT_EQ(players()->topLevelItemCount(), 3);
  EXPECT_EQ(actionLines(), (QStringList{"12\taction", "12\taction"}));
}

TEST_F(BehaviourTest, ArrowKeysInTheFileListReadTheFileReached) {
  clickFile("first.rec");
  pressKey(files(), Qt::Key_Down);
  EXPECT_EQ(label("lbl_map")->text(), "Blue Map");
  pressKey(files(), Qt::Key_Up);
  EXPECT_EQ(label("lbl_map")->text(), "Red Map");
  EXPECT_EQ(actionLines(), (QStringList{"12\taction", "3\taction", "12\taction"}));
}

TEST_F(BehaviourTest, AFileThatCannotBeReadKeepsWhatWasShownAndSaysWhy) {
  // Cut short inside the second player's block.
  const replay_builder::Bytes whole = replay_builder::BuildReplay(SecondReplay());
  writeFile("testfiles/1.30/broken.rec",
            QByteArray(reinterpret_cast<const char*>(whole.data()), 300));
  writeFile("testfiles/1.30/empty.rec", QByteArray());

  for (const char* bad : {"broken.rec", "empty.rec"}) {
    SCOPED_TRACE(bad);
    clickFile("first.rec");
    clickPlayerRow(0);
    clickFile(QString::fromLatin1(bad));

    EXPECT_EQ(players()->topLevelItemCount(), 0);
    expectFirstReplayShown();
    EXPECT_EQ(window().currentReplay().map_name, "Red Map");
    EXPECT_TRUE(picture("pic_badge")->image().isNull());
    EXPECT_TRUE(picture("pic_banner")->image().isNull());
    EXPECT_EQ(actionLines().last(), "12\taction");
    const QString status = label("lbl_status")->text();
    EXPECT_TRUE(status.startsWith(QString::fromLatin1(bad) + " could not be read: "))
        << status.toStdString();
    EXPECT_TRUE(status.endsWith(" Still showing first.rec.")) << status.toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  EXPECT_EQ(actionLines().size(), 2);

  // The window goes on working, and a good file clears the report.
  clickFile("second.rec");
  EXPECT_EQ(players()->topLevelItemCount(), 1);
  EXPECT_TRUE(label("lbl_status")->text().isEmpty());
}

TEST_F(BehaviourTest, ReplayWithoutPlayersShowsItsLabelsBoxesAndMap) {
  ReplaySpec recipe = FirstReplay();
  recipe.players.clear();
  writeReplay("nobody.rec", recipe);
  clickFile("second.rec");
  clickFile("nobody.rec");
  ASSERT_EQ(label("lbl_status")->text(), QString()) << "the reader refused a replay without players";
  EXPECT_EQ(players()->topLevelItemCount(), 0);
  expectFirstReplayShown();
}

TEST_F(BehaviourTest, PlayerRowsShowTheirPicturesAndClearWhatIsMissing) {
  ReplaySpec recipe = FirstReplay();
  recipe.players[1].pictures = false;  // Bo has neither badge nor banner
  writeReplay("mixed.rec", recipe);
  clickFile("mixed.rec");

  // One click, one showing.
  QSignalSpy shown(&window(), &Form1::playerShown);
  clickPlayerRow(0);
  EXPECT_EQ(shown.count(), 1);
  EXPECT_EQ(MiddleColour(picture("pic_badge")), Rgb(200, 10, 10));
  EXPECT_EQ(MiddleColour(picture("pic_banner")), Rgb(10, 10, 200));
  EXPECT_EQ(picture("pic_badge")->image().size(), QSize(64, 64));
  EXPECT_EQ(picture("pic_banner")->image().size(), QSize(64, 96));
  EXPECT_FALSE(picture("pic_badge")->pixmap().isNull());

  // Moving the selection with the keyboard shows that row's player.
  pressKey(players(), Qt::Key_Down);
  EXPECT_TRUE(picture("pic_badge")->image().isNull());
  EXPECT_TRUE(picture("pic_banner")->image().isNull());
  pressKey(players(), Qt::Key_Down);
  EXPECT_EQ(MiddleColour(picture("pic_badge")), Rgb(10, 10, 200));

  clickPlayerRow(0);
  clickPlayerRow(0);
  EXPECT_EQ(MiddleColour(picture("pic_badge")), Rgb(200, 10, 10));
}

TEST_F(BehaviourTest, TextFromTheFileIsShownAsItIsAndWholeWhenCutOff) {
  ReplaySpec recipe = FirstReplay();
  recipe.game_name = u"<b>Night</b> of the very long and winding game name that does not fit";
  writeReplay("long.rec", recipe);
  clickFile("long.rec");

  QLabel* game = label("lbl_gamename");
  EXPECT_EQ(game->textFormat(), Qt::PlainText);
  EXPECT_EQ(game->text().toStdU16String(), recipe.game_name);
  EXPECT_EQ(game->toolTip(), game->text());
  EXPECT_TRUE(label("lbl_map")->toolTip().isEmpty()) << "\"Red Map\" fits and needs no tooltip";
}

// Names that are not UTF-8, or hold quotes, backslashes, newlines or letters
// beyond Latin-1, are listed, open by their own bytes, and a read error
// about one is shown as text.
TEST_F(BehaviourTest, AnyFileNameIsListedOpensAndIsReported) {
  const QString folder = QDir(programFolder()).filePath(QStringLiteral("testfiles/1.30/"));
  for (const std::string& name : replay_builder::AwkwardFileNames()) {
    SCOPED_TRACE(name);
    const std::string path = QFile::encodeName(folder).toStdString() + name;
    ASSERT_TRUE(replay_builder::WriteFile(path, replay_builder::BuildReplay(SecondReplay())));
    window().Form_Load();
    clickFile(QString::fromUtf8(name));
    EXPECT_EQ(label("lbl_map")->text(), "Blue Map");
    EXPECT_TRUE(label("lbl_status")->text().isEmpty()) << label("lbl_status")->text().toStdString();
    ASSERT_TRUE(replay_builder::WriteFile(path, {}));
    clickFile(QString::fromUtf8(name));
    EXPECT_TRUE(label("lbl_status")->text().startsWith(QString::fromUtf8(name) + " could not be read"));
    ASSERT_EQ(std::remove(path.c_str()), 0);
  }
}

}  // namespace
