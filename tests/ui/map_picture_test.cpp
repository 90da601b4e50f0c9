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
    ASSERT_EQ(label("lbl_status")->text().contains(" could not be read"), false);
  }
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
  EXPECT_TRUE(picture("pic_map")->pixmap().isNull());
  EXPECT_TRUE(status().contains("Nowhere.gif")) << status().toStdString();

  writeFile("pics/Broken.gif", "GIF89a but nothing after it");
  showRedThen("Broken");
  EXPECT_TRUE(picture("pic_map")->image().isNull());
  EXPECT_TRUE(status().contains("Broken.gif")) << status().toStdString();
}

TEST_F(MapPictureTest, NameIsTakenAsItIsAndMatchedIgnoringCaseOnlyWhenNeeded) {
  writeFile("pics/MIXED case.GIF", WideBlue());
  showRedThen("Mixed Case");
  EXPECT_EQ(MiddleColour(picture("pic_map")), 0x0000FFu);

  // An exact match wins over one that differs in case.
  writeFile("pics/Exact.gif", RedGif());
  writeFile("pics/EXACT.gif", WideBlue());
  showRedThen("Exact");
  EXPECT_EQ(MiddleColour(picture("pic_map")), 0xFF0000u);
  EXPECT_TRUE(status().isEmpty()) << status().toStdString();

  // Spaces are kept, and an empty name looks for ".gif".
  writeFile("pics/ padded .gif", WideBlue());
  showRedThen(" padded ");
  EXPECT_EQ(MiddleColour(picture("pic_map")), 0x0000FFu);
  writeFile("pics/.gif", WideBlue());
  showRedThen("");
  EXPECT_EQ(MiddleColour(picture("pic_map")), 0x0000FFu);
}

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

// An 8-bit map name is Windows-1252: 0x92 is a right quotation mark, which
// names a file like any letter.
TEST_F(MapPictureTest, AWindows1252MapNameFindsItsPicture) {
  writeFile(QStringLiteral("pics/Kings\u2019 Pass.gif"), WideBlue());
  showRedThen("Kings\x92 Pass");
  EXPECT_EQ(MiddleColour(picture("pic_map")), 0x0000FFu);
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
