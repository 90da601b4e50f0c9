// The window listing a whole folder: how long until every row is in the
// table, how late the event loop ever ran meanwhile, and the peak memory.
//
//   library_bench [--store FILE] [--search WORD | --rename N | --tag N] FOLDER [INDEX [NEW]]
//     prints "rows N", "open_ms O", "listed_ms T", "max_stall_ms S", "peak_kib K", "files_read R",
//     "stolen_ms V" (the time the virtual machine's host held its processors meanwhile)
//
// open_ms is the opening call itself (File1 lists the folder's own files);
// listed_ms runs from the same start until the last row is in the table.
// INDEX is the replay index to start from (default: a new one, so every file
// is read); a start that found rows there also waits for the folder to be
// checked and for the files it found changed to be read again. files_read
// counts the replay files the library opened. With NEW, a replay copied into
// FOLDER once the window has settled: "new_row_ms" until its row is listed.
// With --search, once the window has settled WORD is typed into the search
// field a letter every 150 ms, then the table is sorted by every column:
// "search_ms" (the longest filter of one letter), "typing_stall_ms" (the
// event loop's lateness meanwhile) and "sort_ms" (the longest sort). With
// --rename, once the window has settled another process renames N of the
// folder's replays at once: "renamed_ms" until the table lists every one
// under its new name and none under its old, "renaming_stall_ms" the event
// loop's lateness meanwhile; the files get their names back before the end.
// With --store, the user's data is kept in FILE (without, none is kept).
// With --tag, once the window has settled the first N rows of the table are
// selected and given the tag "review" in one action: "tagged_ms" until every
// one shows it, "tagging_stall_ms" the event loop's lateness meanwhile; then
// "notes_search_ms", the longer of the searches tag:review and rating:>=4.
// A FOLDER that is not there is refused (exit status 2).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "bench/stall_meter.h"
#include "library/core/paths.h"
#include "library/replay_library.h"
#include "ui/library_panel.h"
#include "ui/main_window.h"
#include "ui/notes_actions.h"

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QStringList arguments = QApplication::arguments();
  QString word;
  QString store;
  int rename_count = 0;
  int tag_count = 0;
  while (arguments.size() > 2 && arguments.at(1).startsWith(QLatin1String("--"))) {
    const QString option = arguments.at(1);
    if (option == QLatin1String("--search"))
      word = arguments.at(2);
    else if (option == QLatin1String("--rename"))
      rename_count = arguments.at(2).toInt();
    else if (option == QLatin1String("--tag"))
      tag_count = arguments.at(2).toInt();
    else if (option == QLatin1String("--store"))
      store = arguments.at(2);
    else
      break;
    arguments.remove(1, 2);
  }
  if (arguments.size() < 2 || arguments.size() > 4) {
    std::fputs(
        "usage: library_bench [--store FILE] [--search WORD | --rename N | --tag N] FOLDER "
        "[INDEX [NEW]]\n",
        stderr);
    return 2;
  }
  const QString folder = QDir(arguments.at(1)).absolutePath();
  if (!QFileInfo(folder).isDir()) {
    std::fprintf(stderr, "library_bench: %s: no such folder\n", qPrintable(folder));
    return 2;
  }
  QTemporaryDir scratch;
  const QString index =
      arguments.size() > 2 ? arguments.at(2) : scratch.filePath(QStringLiteral("index.sqlite"));
  const QString added = arguments.size() > 3 ? arguments.at(3) : QString();
  QSettings settings(scratch.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
  auto* made = new myzor::ReplayLibrary(index);
  if (!store.isEmpty()) made->useStore(store);
  MainWindow window(made, QString(), settings);
  window.show();
  QCoreApplication::processEvents();
  myzor::ReplayLibrary* library = window.library();

  StallMeter stalls;

  const qint64 read_before = myzor::ReplayFilesRead();
  QElapsedTimer clock;
  QElapsedTimer since_copy;
  qint64 listed_ms = -1;
  qint64 new_row_ms = -1;
  qint64 to_read = -1;
  qint64 read_again = 0;
  const QByteArray new_path = QFile::encodeName(QDir(folder).filePath(QFileInfo(added).fileName()));
  qint64 search_ms = -1;
  qint64 typing_stall_ms = -1;
  qint64 sort_ms = -1;
  qint64 listing_stall_ms = -1;
  // The files renamed by another process, by old and new path.
  std::vector<std::pair<QByteArray, QByteArray>> renamed;
  QElapsedTimer since_rename;
  pid_t renamer = -1;
  qint64 renamed_ms = -1;
  qint64 renaming_stall_ms = -1;
  QTimer follower;
  follower.setInterval(20);
  QObject::connect(&follower, &QTimer::timeout, [&] {
    const myzor::LibraryModel* model = library->model();
    for (const auto& [from, to] : renamed)
      if (model->rowOf(from) >= 0 || model->rowOf(to) < 0) return;
    renamed_ms = since_rename.elapsed();
    renaming_stall_ms = stalls.mostMs();
    follower.stop();
    QTimer::singleShot(100, &app, &QCoreApplication::quit);
  });
  int typed = 0;
  QTimer typist;
  typist.setInterval(150);
  QObject::connect(&typist, &QTimer::timeout, [&] {
    QLineEdit* search = window.panel()->searchField();
    if (typed < word.size()) {
      QElapsedTimer filter;
      filter.start();
      search->setText(word.left(++typed));
      search_ms = std::max(search_ms, filter.elapsed());
      return;
    }
    typist.stop();
    typing_stall_ms = stalls.mostMs();
    search->clear();
    QTableView* table = window.panel()->table();
    for (int column = myzor::LibraryModel::ColumnCount - 1; column >= 0; --column) {
      QElapsedTimer sort;
      sort.start();
      table->sortByColumn(column, Qt::AscendingOrder);
      sort_ms = std::max(sort_ms, sort.elapsed());
    }
    QCoreApplication::quit();
  });
  QElapsedTimer since_tag;
  qint64 tagged_ms = -1;
  qint64 tagging_stall_ms = -1;
  qint64 notes_search_ms = -1;
  const auto tagged = [&] {
    const myzor::LibraryModel* model = library->model();
    int count = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
      const auto& notes = model->row(row).notes;
      if (notes && notes->tags.contains(QStringLiteral("review"))) ++count;
    }
    return count;
  };
  QObject::connect(library, &myzor::ReplayLibrary::notesChanged, [&] {
    if (!since_tag.isValid() || tagged_ms >= 0 || tagged() < tag_count) return;
    tagged_ms = since_tag.elapsed();
    tagging_stall_ms = stalls.mostMs();
    QLineEdit* search = window.panel()->searchField();
    for (const char* text : {"tag:review", "rating:>=4"}) {
      QElapsedTimer filter;
      filter.start();
      search->setText(QString::fromLatin1(text));
      notes_search_ms = std::max(notes_search_ms, filter.elapsed());
    }
    QTimer::singleShot(100, &app, &QCoreApplication::quit);
  });
  // Once the window is settled: done, or the new replay copied in and its row waited for.
  const auto settled = [&] {
    if (tag_count > 0) {
      QTableView* table = window.panel()->table();
      const int rows = std::min(tag_count, table->model()->rowCount());
      table->selectionModel()->select(
          QItemSelection(table->model()->index(0, 0), table->model()->index(rows - 1, 0)),
          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      window.notes()->setTagChooser(
          [](const QString&, const QStringList&) { return QStringLiteral("review"); });
      (void)stalls.takeMostMs();
      since_tag.start();
      window.notes()->addTag();
      QTimer::singleShot(60'000, &app, [] { QCoreApplication::exit(1); });
      return;
    }
    if (!word.isEmpty()) {
      // Lateness while typing on its own.
      listing_stall_ms = stalls.takeMostMs();
      typist.start();
      return;
    }
    if (rename_count > 0) {
      const myzor::LibraryModel* model = library->model();
      std::vector<QByteArray> paths;
      for (int row = 0; row < model->rowCount() && std::ssize(paths) < 2 * rename_count; ++row)
        paths.push_back(model->row(row).file.path);
      // Only files that are there (the index may still list some of a run
      // before), looked at elsewhere: this thread is traced for its stats.
      paths = QtConcurrent::run([paths = std::move(paths)] {
                std::vector<QByteArray> there;
                for (const QByteArray& path : paths)
                  if (QFileInfo::exists(QFile::decodeName(path))) there.push_back(path);
                return there;
              }).result();
      for (const QByteArray& path : paths) {
        if (std::ssize(renamed) == rename_count) break;
        renamed.emplace_back(path, myzor::FolderOf(path) + "/renamed " + myzor::NameOf(path));
      }
      // Another program renames them: a list of tab-separated pairs for perl,
      // started without copying this process (a fork would stall it).
      QFile list(scratch.filePath(QStringLiteral("renames")));
      if (!list.open(QIODevice::WriteOnly)) QCoreApplication::exit(1);
      for (const auto& [from, to] : renamed) list.write(from + '\t' + to + '\n');
      list.close();
      const QByteArray list_path = QFile::encodeName(list.fileName());
      const char* spawned[] = {"perl", "-ne", "chomp; my ($a, $b) = split /\t/; rename $a, $b",
                               list_path.constData(), nullptr};
      (void)stalls.takeMostMs();
      since_rename.start();
      if (::posix_spawnp(&renamer, "perl", nullptr, nullptr, const_cast<char**>(spawned),
                         environ) != 0)
        QCoreApplication::exit(1);
      follower.start();
      // A table that never follows is a result too, not a wait for ever.
      QTimer::singleShot(60'000, &app, [] { QCoreApplication::exit(1); });
      return;
    }
    if (added.isEmpty()) {
      QTimer::singleShot(100, &app, &QCoreApplication::quit);
      return;
    }
    since_copy.start();
    // Written as cp writes it, not renamed into place.
    QFile from(added);
    QFile to(QFile::decodeName(new_path));
    if (!from.open(QIODevice::ReadOnly) || !to.open(QIODevice::NewOnly) ||
        to.write(from.readAll()) != from.size()) {
      std::fprintf(stderr, "library_bench: cannot copy %s into %s\n", qPrintable(added),
                   qPrintable(folder));
      QCoreApplication::exit(1);
    }
  };
  QObject::connect(
      library, &myzor::ReplayLibrary::rowsRead, [&](const std::vector<myzor::ReplayRow>& rows) {
        if (new_row_ms < 0 && since_copy.isValid() && library->model()->rowOf(new_path) >= 0) {
          new_row_ms = since_copy.elapsed();
          QTimer::singleShot(100, &app, &QCoreApplication::quit);
        }
        read_again += static_cast<qint64>(rows.size());
        if (to_read > 0 && read_again == to_read) settled();
      });
  QObject::connect(window.findChild<myzor::ReplayLibrary*>(), &myzor::ReplayLibrary::checked,
                   [&](qint64 count) {
                     to_read = count;
                     read_again = 0;
                     if (count == 0) settled();
                   });
  QObject::connect(library, &myzor::ReplayLibrary::finished, [&](bool) {
    if (listed_ms >= 0) return;
    listed_ms = clock.elapsed();
    // Read from the files: that is all. Shown from the index: the check follows.
    if (myzor::ReplayFilesRead() > read_before) settled();
  });
  // Opening lists the folder's own files in File1 at once, on this thread;
  // that is timed on its own, and the ticker watches the rest.
  const long long stolen_before = StolenMs();
  clock.start();
  window.openFolder(folder);
  const qint64 open_ms = clock.elapsed();
  stalls.start();
  const int status = QApplication::exec();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "rows %d\nopen_ms %lld\nlisted_ms %lld\nmax_stall_ms %lld\npeak_kib %ld\nfiles_read %lld\n",
      library->model()->rowCount(), static_cast<long long>(open_ms),
      static_cast<long long>(listed_ms),
      static_cast<long long>(word.isEmpty() ? stalls.mostMs() : listing_stall_ms), usage.ru_maxrss,
      static_cast<long long>(myzor::ReplayFilesRead() - read_before));
  std::printf("stolen_ms %lld\n", StolenMs() - stolen_before);
  if (!added.isEmpty()) std::printf("new_row_ms %lld\n", static_cast<long long>(new_row_ms));
  if (rename_count > 0) {
    if (renamer > 0) (void)::waitpid(renamer, nullptr, 0);
    std::printf("renamed_ms %lld\nrenaming_stall_ms %lld\n", static_cast<long long>(renamed_ms),
                static_cast<long long>(renaming_stall_ms));
    for (const auto& [from, to] : renamed) (void)::rename(to.constData(), from.constData());
  }
  if (tag_count > 0)
    std::printf("tagged_ms %lld\ntagging_stall_ms %lld\nnotes_search_ms %lld\n",
                static_cast<long long>(tagged_ms), static_cast<long long>(tagging_stall_ms),
                static_cast<long long>(notes_search_ms));
  if (!word.isEmpty())
    std::printf("search_ms %lld\ntyping_stall_ms %lld\nsort_ms %lld\n",
                static_cast<long long>(search_ms), static_cast<long long>(typing_stall_ms),
                static_cast<long long>(sort_ms));
  return status;
}
