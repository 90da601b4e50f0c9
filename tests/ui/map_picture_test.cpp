// The map picture: which file is used for a map name, and what the box
// shows when there is none or it cannot be used.
#include "tests/ui/window_fixture.h"

#include <QBuffer>
#include <QDir>

#include <string>
#include <vector>

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
  for (const QString blue : {"pics/MIXED case.GIF", "pics/EXACT.gif", "pics/ padded .gif", "pics/.gif",
                             "pics/Kings\u2019 Pass.gif"})
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
                    MapCase{"c:secret", 0, "map name"}, MapCase{std::string("sec\0ret", 7), 0, "map name"},
                    MapCase{"sec\x01ret", 0, "map name"}, MapCase{"sec\tret", 0, "map name"},
                    MapCase{"Nowhere", 0, "Nowhere.gif not found"}, MapCase{"Broken", 0, "Broken.gif cannot be read"},
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

// The shipped map pictures fill the map box exactly, so they are drawn 1:1.
TEST_F(MapPictureTest, ShippedPicturesFitTheMapBox) {
  const QDir shipped(QStringLiteral(MYZOR_PICS));
  ASSERT_FALSE(shipped.entryList({QStringLiteral("*.gif")}).isEmpty());
  for (const QString& name : shipped.entryList({QStringLiteral("*.gif")}))
    EXPECT_EQ(QImage(shipped.filePath(name)).size(), picture("pic_map")->contentsRect().size())
        << name.toStdString();
}

}  // namespace
