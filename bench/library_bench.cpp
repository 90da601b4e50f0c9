// The window listing a whole folder: how long until every row is in the
// table, how late the event loop ever ran meanwhile, and the peak memory.
//
//   library_bench FOLDER    prints "rows N", "open_ms O", "listed_ms T", "max_stall_ms S", "peak_kib K"
//
// open_ms is the opening call itself (File1 lists the folder's own files);
// listed_ms runs from the same start until the last row is in the table.
#include "library/library.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (QApplication::arguments().size() != 2) {
    std::fputs("usage: library_bench FOLDER\n", stderr);
    return 2;
  }
  QTemporaryDir settings_dir;
  QSettings settings(settings_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
  MainWindow window(QString(), settings);
  window.show();
  QCoreApplication::processEvents();

  // A timer due every 5 ms records how much later than that it ever ran.
  constexpr qint64 kTickMs = 5;
  qint64 max_stall_ms = 0;
  QElapsedTimer since_tick;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(static_cast<int>(kTickMs));
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    max_stall_ms = std::max(max_stall_ms, since_tick.elapsed() - kTickMs);
    since_tick.restart();
  });

  QElapsedTimer clock;
  qint64 listed_ms = -1;
  QObject::connect(window.library(), &myzor::Library::finished, [&](bool) {
    listed_ms = clock.elapsed();
    // Let the last batch paint before the figures are taken.
    QTimer::singleShot(100, &app, &QCoreApplication::quit);
  });
  // Opening lists the folder's own files in File1 at once, on this thread;
  // that is timed on its own, and the ticker watches the rest.
  clock.start();
  window.openFolder(QApplication::arguments().at(1));
  const qint64 open_ms = clock.elapsed();
  ticker.start();
  since_tick.start();
  QApplication::exec();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("rows %d\nopen_ms %lld\nlisted_ms %lld\nmax_stall_ms %lld\npeak_kib %ld\n",
              window.library()->model()->rowCount(), static_cast<long long>(open_ms),
              static_cast<long long>(listed_ms), static_cast<long long>(max_stall_ms), usage.ru_maxrss);
  return 0;
}
