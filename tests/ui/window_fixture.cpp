#include "tests/ui/window_fixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

QByteArray RedGif() {
  static const char kBytes[] =
      "GIF89a\x04\x00\x04\x00\xf0\x00\x00\xff\x00\x00\x00\x00\x00\x21\xf9\x04\x00\x00\x00\x00\x00"
      "\x2c\x00\x00\x00\x00\x04\x00\x04\x00\x00\x02\x04\x84\x8f\x09\x05\x00\x3b";
  return QByteArray(kBytes, sizeof kBytes - 1);
}

QString ShippedPicture(const char* name) {
  return QDir(QStringLiteral(MYZOR_PICS))
      .filePath(QString::fromUtf8(name) + QStringLiteral(".gif"));
}

void WindowTest::SetUp() {
  ASSERT_TRUE(m_dir.isValid());
  ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("testfiles/1.30")));
  ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("pics")));
}

void WindowTest::writeFile(const QString& relative, const QByteArray& bytes) const {
  QFile file(QDir(m_dir.path()).filePath(relative));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << relative.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

replay_builder::Layout WindowTest::writeReplay(const QString& name,
                                               const replay_builder::ReplaySpec& recipe) const {
  replay_builder::Layout layout;
  const replay_builder::Bytes bytes = replay_builder::BuildReplay(recipe, &layout);
  const QString path = QDir(m_dir.path()).filePath(QStringLiteral("testfiles/1.30/") + name);
  EXPECT_TRUE(replay_builder::WriteFile(QFile::encodeName(path).toStdString(), bytes));
  return layout;
}

Form1& WindowTest::window() {
  if (!m_window) {
    m_window = std::make_unique<Form1>(m_dir.path());
    m_window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
  }
  return *m_window;
}

void WindowTest::clickFile(const QString& name) {
  QListWidget* list = files();
  const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1) << name.toStdString();
  list->scrollToItem(found.first());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(found.first()).center());
}

void WindowTest::clickPlayerRow(int row) {
  QTreeWidget* list = players();
  // The "ID" column is hidden, so aim at the "Name" cell.
  const QRect rect = list->visualRect(list->model()->index(row, 1));
  ASSERT_TRUE(rect.isValid()) << "row " << row;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

QStringList WindowTest::texts(const QListWidget* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

QRgb MiddleColour(const PictureBox* box) {
  const QImage& image = box->image();
  return image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2) & 0xFFFFFF;
}
