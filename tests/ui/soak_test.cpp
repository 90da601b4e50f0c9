// The window driven through a folder of good and damaged replays many times:
// it keeps answering, always shows the last replay that was read in full, and
// does not pile up surfaces. Folders and pipes never appear as replays.
#include "gfx/platform.h"
#include "tests/ui/window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <random>

namespace {

using replay_builder::Bytes;
using replay_builder::ReplaySpec;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRounds = 4;
#else
constexpr int kRounds = 20;
#endif

QByteArray AsBytes(const Bytes& bytes, std::size_t length) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(length));
}

// Replays of map n are named "m<n>_...": the good one first, then its damaged
// copies, so that clicking down the list always has a good replay to keep.
class SoakTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    std::mt19937 random(99);
    for (int n = 1; n <= 3; ++n) {
      ReplaySpec recipe = replay_builder::SimpleReplay(n + 1, true);
      recipe.map_name = "Map " + std::to_string(n);
      const QString name = QStringLiteral("m%1_a_good.rec").arg(n);
      const replay_builder::Layout layout = writeReplay(name, recipe);
      good << name;
      const Bytes bytes = replay_builder::BuildReplay(recipe);
      // Cut in the header, in a name, inside the badge and banner pixels and
      // just before the action marker; then bytes overwritten at random.
      const std::int64_t cuts[] = {1, 200, layout.first_player + 3, layout.badge_pixels[0] + 5000,
                                   layout.banner_pixels.back() + 100, layout.action_marker};
      for (const std::int64_t cut : cuts) {
        writeFile(QStringLiteral("testfiles/1.30/m%1_cut_%2.rec").arg(n).arg(cut),
                  AsBytes(bytes, static_cast<std::size_t>(cut)));
      }
      for (int k = 0; k < 4; ++k) {
        Bytes flipped = bytes;
        for (int i = 0; i < 6; ++i) flipped[random() % flipped.size()] ^= 0xA5;
        flipped[194] = static_cast<std::uint8_t>(n + 40);  // more players than blocks
        writeFile(QStringLiteral("testfiles/1.30/m%1_flip_%2.rec").arg(n).arg(k),
                  AsBytes(flipped, flipped.size()));
      }
    }
    writeFile(QStringLiteral("testfiles/1.30/empty.rec"), QByteArray());
  }

  QStringList good;
};

TEST_F(SoakTest, ClickingThroughGoodAndDamagedFilesKeepsTheLastGoodReplay) {
  const QStringList entries = fileEntries();
  ASSERT_EQ(entries.size(), 3 + 3 * 6 + 3 * 4 + 1);
  std::size_t handles_after_first_round = 0;
  QString last_good;
  for (int round = 0; round < kRounds; ++round) {
    for (const QString& entry : entries) {
      SCOPED_TRACE(entry.toStdString());
      clickFile(entry);
      const QString status = label("lbl_status")->text();
      if (good.contains(entry)) {
        last_good = entry;
        // The map pictures are missing, which the status line says; the rest
        // of the replay is shown.
        EXPECT_FALSE(status.contains(entry)) << status.toStdString();
        const int rows = players()->topLevelItemCount();
        ASSERT_EQ(rows, window().currentReplay().player_count);
        clickPlayerRow(rows - 1);
        EXPECT_FALSE(picture("pic_badge")->image().isNull());
        EXPECT_FALSE(picture("pic_banner")->image().isNull());
      } else if (!last_good.isEmpty()) {
        // A damaged file is reported by name; what was shown stays.
        EXPECT_TRUE(status.contains(entry)) << status.toStdString();
        const QString map = QStringLiteral("Map ") + last_good.mid(1, 1);
        EXPECT_EQ(label("lbl_map")->text(), map);
        EXPECT_EQ(QString::fromStdString(window().currentReplay().map_name), map);
        EXPECT_FALSE(picture("pic_badge")->image().isNull());
      }
      if (::testing::Test::HasFatalFailure()) return;
    }
    // Each round ends on the same replay, so the surfaces alive must not grow.
    if (round == 0)
      handles_after_first_round = gfx::LiveHandleCount();
    else
      ASSERT_EQ(gfx::LiveHandleCount(), handles_after_first_round) << "round " << round;
  }
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(window().isVisible());
}

TEST_F(SoakTest, FoldersAndPipesNamedLikeReplaysAreNotListed) {
  const QString folder = QDir(programFolder()).filePath(QStringLiteral("testfiles/1.30"));
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("x.rec")));
  ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/y.rec")).constData(), 0644), 0);
  const QStringList entries = fileEntries();
  EXPECT_FALSE(entries.contains(QStringLiteral("x.rec")));
  EXPECT_FALSE(entries.contains(QStringLiteral("y.rec")));
  EXPECT_TRUE(entries.contains(QStringLiteral("m1_a_good.rec")));
}

}  // namespace
