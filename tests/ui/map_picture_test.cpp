// The map picture: which file is used for a map name, and what the box
// shows when there is none or it cannot be used.
#include "tests/ui/window_fixture.h"
#include "ui/map_pictures.h"

#include <QDir>
#include <QFile>

#include <string>
#include <vector>

namespace {

using replay_builder::ReplaySpec;

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b) & 0xFFFFFF; }

ReplaySpec WithMap(std::string map_name) {
  ReplaySpec recipe = replay_builder::SimpleReplay(1, false);
  recipe.map_name = std::move(map_name);
  return recipe;
}

class MapPictureTest : public WindowTest {
 protected:
  // Shows a replay whose map has a picture, then one named `map_name`.
  void showRedThen(const std::string& map_name) {
    writeReplay("a.rec", WithMap("Red Map"));
    writeMapPicture("Red Map", RedGif());
    writeReplay("b.rec", WithMap(map_name));
    clickFile("a.rec");
    ASSERT_EQ(MiddleColour(picture("pic_map")), Rgb(255, 0, 0));
    clickFile("b.rec");
    ASSERT_EQ(label("lbl_map")->text().toStdString(), map_name) << "the replay was not shown";
  }
  [[nodiscard]] QString status() { return label("lbl_status")->text(); }
};

TEST_F(MapPictureTest, MapNamesThatCouldLeaveThePictureFolderAreNeverUsedAsPaths) {
  // Pictures an unchecked name would reach.
  writeFile("secret.gif", RedGif());
  writeFile("pics/sec.gif", RedGif());
  writeFile("pics/secret.gif", RedGif());
  const std::vector<std::string> names = {
      "../secret", "..\\secret", "c:secret", std::string("sec\0ret", 7), "sec\x01ret", "sec\tret"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    showRedThen(name);
    EXPECT_TRUE(picture("pic_map")->image().isNull());
    EXPECT_TRUE(status().contains("map name")) << status().toStdString();
  }
}

TEST_F(MapPictureTest, MissingOrUnreadablePictureClearsThePreviousMap) {
  showRedThen("Nowhere");
  EXPECT_TRUE(picture("pic_map")->image().isNull());
  EXPECT_TRUE(picture("pic_map")->pixmap().isNull());
  EXPECT_TRUE(status().contains("Nowhere.gif")) << status().toStdString();

  writeFile("pics/Broken.gif", "GIF89a but nothing after it");
  showRedThen("Broken");
  EXPECT_TRUE(picture("pic_map")->image().isNull());
  EXPECT_TRUE(status().contains("Broken.gif")) << status().toStdString();
}

TEST_F(MapPictureTest, NameIsTakenAsItIsAndMatchedIgnoringCaseOnlyWhenNeeded) {
  writeFile("pics/MIXED case.GIF", BlueWideGif());
  showRedThen("Mixed Case");
  EXPECT_EQ(MiddleColour(picture("pic_map")), Rgb(0, 0, 255));

  // An exact match wins over one that differs in case.
  writeFile("pics/Exact.gif", RedGif());
  writeFile("pics/EXACT.gif", BlueWideGif());
  showRedThen("Exact");
  EXPECT_EQ(MiddleColour(picture("pic_map")), Rgb(255, 0, 0));
  EXPECT_TRUE(status().isEmpty()) << status().toStdString();

  // Spaces are kept, and an empty name looks for ".gif".
  writeFile("pics/ padded .gif", BlueWideGif());
  showRedThen(" padded ");
  EXPECT_EQ(MiddleColour(picture("pic_map")), Rgb(0, 0, 255));
  writeFile("pics/.gif", BlueWideGif());
  showRedThen("");
  EXPECT_EQ(MiddleColour(picture("pic_map")), Rgb(0, 0, 255));
}

TEST_F(MapPictureTest, LargePicturesShrinkToFitKeepingTheirShapeAndSmallOnesStayAsTheyAre) {
  writeMapPicture("Wide", BlueWideGif());
  showRedThen("Wide");
  PictureBox* box = picture("pic_map");
  const QPixmap shown = box->pixmap();
  const QSizeF size = shown.deviceIndependentSize();
  const QSize room = box->contentsRect().size();
  EXPECT_LE(size.width(), room.width());
  EXPECT_LE(size.height(), room.height());
  EXPECT_GE(size.width(), room.width() - 1) << "the picture was shrunk more than needed";
  EXPECT_NEAR(size.width() / size.height(), 2.0, 0.05);

  clickFile("a.rec");
  EXPECT_EQ(box->pixmap().deviceIndependentSize(), QSizeF(4, 4));
}

// Pictures beside the program, in the user's data folder ("home") and in two
// system data folders; the first folder holding the picture wins.
TEST(MapPictureLookup, FirstFolderWithThePictureWinsAndTheNameGuardHoldsInEach) {
  struct Case {
    const char* map;
    std::vector<QString> files;
    QString expected;
  };
  const std::vector<Case> cases = {
      {"Ash", {"sys2/myzor/pics/Ash.gif"}, "sys2/myzor/pics/Ash.gif"},
      {"Ash", {"sys1/myzor/pics/Ash.gif", "home/myzor/pics/Ash.gif"}, "home/myzor/pics/Ash.gif"},
      {"Ash", {"home/myzor/pics/Ash.gif", "beside/pics/Ash.gif"}, "beside/pics/Ash.gif"},
      {"Ash", {"sys2/myzor/pics/Ash.gif", "sys1/myzor/pics/ASH.GIF"}, "sys1/myzor/pics/ASH.GIF"},
      {"Ash", {"home/myzor/Ash.gif", "sys1/pics/Ash.gif"}, ""},
      {"../Ash", {"home/myzor/Ash.gif", "home/myzor/pics/Oak.gif"}, ""},
  };
  // The data folders come from the environment; put back what was there.
  const auto restore = [](const char* name, bool was_set, const QByteArray& value) {
    was_set ? qputenv(name, value) : qunsetenv(name);
  };
  const bool home_set = qEnvironmentVariableIsSet("XDG_DATA_HOME");
  const bool dirs_set = qEnvironmentVariableIsSet("XDG_DATA_DIRS");
  const QByteArray home = qgetenv("XDG_DATA_HOME");
  const QByteArray dirs = qgetenv("XDG_DATA_DIRS");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.map) + " with " + c.files.front().toStdString());
    QTemporaryDir root;
    const QDir dir(root.path());
    for (const QString& file : c.files) {
      ASSERT_TRUE(dir.mkpath(QFileInfo(file).path()));
      QFile out(dir.filePath(file));
      ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("home")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath("sys1") + ":" + dir.filePath("sys2")));
    const QString found = findMapPicture(mapPictureFolders(dir.filePath("beside")), c.map);
    EXPECT_EQ(found.toStdString(), c.expected.isEmpty() ? "" : dir.filePath(c.expected).toStdString());
  }
  restore("XDG_DATA_HOME", home_set, home);
  restore("XDG_DATA_DIRS", dirs_set, dirs);
}

}  // namespace
