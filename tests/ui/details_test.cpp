// The details pane: everything one replay holds, and nothing of the one
// shown before it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "library/core/replay_row.h"
#include "tests/support/replay_builder.h"
#include "ui/details_pane.h"

namespace {

class DetailsTest : public ::testing::Test {
 protected:
  // Writes the replay and shows its row, waiting for the full read.
  void show(const char* name, const replay_builder::Bytes& bytes) {
    const QString file = QDir(m_dir.path()).filePath(QString::fromLatin1(name));
    ASSERT_TRUE(replay_builder::WriteFile(QFile::encodeName(file).toStdString(), bytes));
    myzor::ReplayRow row;
    row.file = {QFile::encodeName(file), QFileInfo(file).size(), 0, 0};
    row.relative_path = QString::fromLatin1(name);
    QSignalSpy shown(&m_pane, &DetailsPane::shown);
    m_pane.showRow(row);
    ASSERT_TRUE(shown.wait(5'000)) << name;
  }
  QString text(const QString& name) const {
    const auto* label = m_pane.findChild<QLabel*>(name);
    return label == nullptr ? QStringLiteral("(missing %1)").arg(name) : label->text();
  }
  QStringList settings() const {
    QStringList values;
    for (int i = 1; i <= 8; ++i) values << text(QStringLiteral("lbl_details_setting_%1").arg(i));
    return values;
  }
  QStringList winsSet() const {
    QStringList set;
    for (int i = 1; i <= 7; ++i)
      set << m_pane.findChild<QLabel*>(QStringLiteral("lbl_details_win_%1").arg(i))
                 ->accessibleDescription();
    return set;
  }
  // Each player's card: name, team, race, and whether it shows both pictures.
  QStringList players() const {
    QStringList cards;
    for (int k = 1;; ++k) {
      const auto* card = m_pane.findChild<QWidget*>(QStringLiteral("card_player_%1").arg(k));
      if (card == nullptr) return cards;
      const auto picture = [card](const char* name) {
        const auto* label = card->findChild<QLabel*>(QString::fromLatin1(name));
        return label != nullptr && !label->pixmap().isNull();
      };
      cards << QStringLiteral("%1/%2/%3/%4")
                   .arg(card->findChild<QLabel*>("lbl_player_name")->text(),
                        card->findChild<QLabel*>("lbl_player_team")->text(),
                        card->findChild<QLabel*>("lbl_player_race")->text(),
                        picture("pic_details_badge") && picture("pic_details_banner") ? "pictures"
                                                                                      : "none");
    }
  }

  QTemporaryDir m_dir;
  DetailsPane m_pane{QString()};
};

TEST_F(DetailsTest, ShowsAllTheRecordHoldsAndNothingOfTheReplayBefore) {
  m_pane.resize(700, 900);
  m_pane.show();
  replay_builder::ReplaySpec old = replay_builder::SimpleReplay(2, false);
  old.old_version = true;
  old.map_name = "Cinder Fields";
  old.settings = {{"FDIA", 2}, {"MTKL", 1}, {"DPSG", 2}, {"TRSR", 3}};
  old.win_keys = {replay_builder::kControlArea, replay_builder::kTakeAndHold};
  show("old.rec", replay_builder::BuildReplay(old));
  EXPECT_EQ(settings(), QStringList({"2", "0", "1", "0", "0", "2", "0", "3"}));
  EXPECT_EQ(winsSet(),
            QStringList({"not set", "not set", "set", "not set", "not set", "set", "not set"}));
  EXPECT_EQ(text("lbl_details_version"), "< 1.3");
  EXPECT_TRUE(text("lbl_details_action").startsWith("7"));
  EXPECT_EQ(players(), QStringList({"Player 1/Team 2/race_1/none", "Player 2/Team 1/race_2/none"}));

  // Eight players, each with both pictures, all of them laid out at once.
  show("eight.rec", replay_builder::BuildReplay(replay_builder::SimpleReplay(8, true)));
  const QStringList eight = players();
  ASSERT_EQ(eight.size(), 8);
  for (const QString& card : eight) EXPECT_TRUE(card.endsWith("/pictures")) << card.toStdString();
  EXPECT_EQ(settings(), QStringList(8, "—"));
  EXPECT_EQ(winsSet().count("set"), 1);
  EXPECT_EQ(text("lbl_details_version"), "1.3");
  EXPECT_TRUE(text("lbl_details_path").endsWith("eight.rec"));

  // A damaged file names what is wrong and where, and shows nothing else.
  replay_builder::Layout layout;
  replay_builder::Bytes cut =
      replay_builder::BuildReplay(replay_builder::SimpleReplay(2, false), &layout);
  cut.resize(static_cast<std::size_t>(layout.player_starts[1] + 3));
  show("cut.rec", cut);
  const QString error = text("lbl_details_error");
  EXPECT_TRUE(error.contains("cut.rec") && error.contains("out_of_range") &&
              error.contains("at byte"))
      << error.toStdString();
  EXPECT_TRUE(m_pane.findChild<QLabel*>("lbl_details_error")->isVisibleTo(&m_pane));
  EXPECT_TRUE(players().isEmpty());
  EXPECT_EQ(settings(), QStringList(8, "—"));
  EXPECT_EQ(winsSet().count("set"), 0);
  EXPECT_EQ(text("lbl_details_action"), "—");
}

}  // namespace
