// A temporary program folder with its replay and picture folders, and the
// window opened on it, driven the way a user drives it.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <memory>

#include "tests/support/replay_builder.h"
#include "ui/form1.h"
#include "ui/picture_box.h"

// A 4 x 4 red GIF, and a shipped map picture by name.
QByteArray RedGif();
QString ShippedPicture(const char* name);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;

  [[nodiscard]] QString programFolder() const { return m_dir.path(); }
  // Writes a file below the program folder; `relative` uses '/'.
  void writeFile(const QString& relative, const QByteArray& bytes) const;
  // Writes a replay into testfiles/1.30/ and returns where its parts landed.
  replay_builder::Layout writeReplay(const QString& name,
                                     const replay_builder::ReplaySpec& recipe) const;

  // Opens the window (once) on the program folder as it is now.
  Form1& window();

  template <typename T>
  T* control(const char* name) {
    T* found = window().findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QListWidget* files() { return control<QListWidget>("File1"); }
  QTreeWidget* players() { return control<QTreeWidget>("list_players"); }
  QLabel* label(const char* name) { return control<QLabel>(name); }
  QCheckBox* box(const char* name) { return control<QCheckBox>(name); }
  PictureBox* picture(const char* name) { return control<PictureBox>(name); }
  QString status() { return label("lbl_status")->text(); }

  void clickFile(const QString& name);
  void clickPlayerRow(int row);
  [[nodiscard]] QStringList texts(const QListWidget* list);

 private:
  QTemporaryDir m_dir;
  std::unique_ptr<Form1> m_window;
};

// The colour at the middle of a picture box's image; 0 when it is empty.
QRgb MiddleColour(const PictureBox* box);
