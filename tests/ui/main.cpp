// The window tests need one application object for the whole run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "ui/translations.h"

int main(int argc, char* argv[]) {
  ::testing::InitGoogleTest(&argc, argv);
  // The tests drive the window without a screen, also when ctest lists them.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The window keeps its replay index in the cache folder and its journal in
  // the data folder: temporary ones.
  const QTemporaryDir cache, data;
  qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
  qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
  QApplication app(argc, argv);
  InstallTranslations(app);
  return RUN_ALL_TESTS();
}
