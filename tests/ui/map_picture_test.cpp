// The map picture: which file is used for a map name, and what the box
// shows when there is none or it cannot be used.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <string>
#include <vector>

#include "tests/ui/window_fixture.h"
#include "ui/map_pictures.h"

namespace {

using replay_builder::ReplaySpec;

// A 300 x 150 blue picture; the window goes by the content, not the suffix.
QByteArray WideBlue() {
  QImage image(300, 150, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

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
    writeFile("pics/Red Map.gif", RedGif());
    writeReplay("b.rec", WithMap(map_name));
    clickFile("a.rec");
    ASSERT_EQ(MiddleColour(picture("pic_map")), 0xFF0000u);
    clickFile("b.rec");
    ASSERT_FALSE(status().contains(" could not be read"));
  }
};

struct MapCase {
  std::string map_name;
  QRgb shown;          // the middle of the picture shown; 0 for none
  const char* status;  // what the status line says; empty when all is well
};

class MapName : public MapPictureTest, public testing::WithParamInterface<MapCase> {};

// The picture file is the map name as it is plus ".gif", matched ignoring
// case only when there is no exact match; a name that could reach outside
// the picture folder is never used as a path, and 8-bit names are
// Windows-1252, so 0x92 names a file with a right quotation mark.
TEST_P(MapName, PicksItsPictureOrSaysWhyNot) {
  for (const char* unchecked : {"secret.gif", "pics/sec.gif", "pics/secret.gif", "pics/Exact.gif"})
    writeFile(QString::fromLatin1(unchecked), RedGif());
  for (const QString blue : {"pics/MIXED case.GIF", "pics/EXACT.gif", "pics/ padded .gif",
                             "pics/.gif", "pics/Kings\u2019 Pass.gif"})
    writeFile(blue, WideBlue());
  writeFile("pics/Broken.gif", "GIF89a but nothing after it");
  showRedThen(GetParam().map_name);
  EXPECT_EQ(MiddleColour(picture("pic_map")), GetParam().shown);
  EXPECT_EQ(picture("pic_map")->pixmap().isNull(), GetParam().shown == 0);
  EXPECT_EQ(status().isEmpty(), *GetParam().status == '\0') << status().toStdString();
  EXPECT_TRUE(status().contains(QString::fromUtf8(GetParam().status))) << status().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    MapPictureTest, MapName,
    testing::Values(MapCase{"../secret", 0, "map name"}, MapCase{"..\\secret", 0, "map name"},
                    MapCase{"c:secret", 0, "map name"},
                    MapCase{std::string("sec\0ret", 7), 0, "map name"},
                    MapCase{"sec\x01ret", 0, "map name"}, MapCase{"sec\tret", 0, "map name"},
                    MapCase{"Nowhere", 0, "Nowhere.gif not found"},
                    MapCase{"Broken", 0, "Broken.gif cannot be read"},
                    MapCase{"Mixed Case", 0x0000FF, ""}, MapCase{"Exact", 0xFF0000, ""},
                    MapCase{" padded ", 0x0000FF, ""}, MapCase{"", 0x0000FF, ""},
                    MapCase{"Kings\x92 Pass", 0x0000FF, ""}));

TEST_F(MapPictureTest, LargePicturesShrinkToFitKeepingTheirShapeAndSmallOnesStayAsTheyAre) {
  writeFile("pics/Wide.gif", WideBlue());
  showRedThen("Wide");
  PictureBox* box = picture("pic_map");
  const QSizeF size = box->pixmap().deviceIndependentSize();
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
  // The data folders come from the environment; put back what was there (an
  // empty value means the same as none).
  const QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
  const auto restore = [](const char* name, const QByteArray& value) {
    value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
  };
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
    EXPECT_EQ(found.toStdString(),
              c.expected.isEmpty() ? "" : dir.filePath(c.expected).toStdString());
  }
  restore("XDG_DATA_HOME", home);
  restore("XDG_DATA_DIRS", dirs);
}

// The shipped map pictures fill the map box exactly, so they are drawn 1:1.
TEST_F(MapPictureTest, ShippedPicturesFitTheMapBox) {
  const QDir shipped(QStringLiteral(MYZOR_PICS));
  ASSERT_FALSE(shipped.entryList({QStringLiteral("*.gif")}).isEmpty());
  for (const QString& name : shipped.entryList({QStringLiteral("*.gif")}))
    EXPECT_EQ(QImage(shipped.filePath(name)).size(), picture("pic_map")->contentsRect().size())
        << name.toStdString();
}

}  // namespace
