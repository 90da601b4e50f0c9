#include "library/indexed_library.h"

#include "library/library.h"
#include "library/reconcile.h"

#include <QtConcurrent/QtConcurrentRun>

#include <mutex>
#include <utility>

namespace myzor {
namespace {

// Files read again in one task; several tasks share the library's workers.
constexpr qsizetype kRefreshChunk = 200;

// Cut short or empty: the file may still be being written.
bool incomplete(const ReplayRow& row) {
  return !row.ok && (row.error_kind == QLatin1String("out_of_range") || row.error_kind == QLatin1String("empty"));
}

}  // namespace

struct IndexedLibrary::Remembered {
  quint64 opened = 0;
  std::vector<ReplayRow> rows;
  std::vector<ReplayRow> to_check;  // the same, for the check of the folder
};

struct IndexedLibrary::Found {
  std::mutex mutex;
  std::vector<FileEntry> files;
};

IndexedLibrary::IndexedLibrary(Library* library, const QString& index_file, FolderWatcher::Timing timing,
                               QObject* parent)
    : QObject(parent), m_library(library), m_watcher(timing) {
  m_index_thread.setMaxThreadCount(1);
  m_index_thread.setExpiryTimeout(-1);
  m_index_thread.start([this, index_file] {
    m_index = std::make_unique<ReplayIndex>(index_file);
    reportStatus();
  });
  connect(m_library, &Library::rowsRead, this, &IndexedLibrary::onRowsRead);
  connect(m_library, &Library::rowsRemoved, this, &IndexedLibrary::onRowsRemoved);
  connect(&m_watcher, &FolderWatcher::changed, this, &IndexedLibrary::onFolderChanged);
  connect(&m_watcher, &FolderWatcher::statusChanged, this, &IndexedLibrary::statusChanged);
  connect(&m_check, &QFutureWatcher<Check>::finished, this, &IndexedLibrary::onChecked);
  connect(m_library, &Library::finished, this, [this] {
    if (m_waiting)
      apply(*std::exchange(m_waiting, std::nullopt));
    else if (m_found)
      followFound();
  });
}

IndexedLibrary::~IndexedLibrary() {
  stopCheck();
  // Whatever is still to be stored goes in; the connection closes on its own thread.
  m_index_thread.start([this] { m_index.reset(); });
  m_index_thread.waitForDone();
}

void IndexedLibrary::withIndex(std::function<void(ReplayIndex&)> work) {
  m_index_thread.start([this, work = std::move(work)] {
    work(*m_index);
    reportStatus();
  });
}

void IndexedLibrary::stopCheck() {
  if (m_stop_check) *m_stop_check = true;
  m_check.waitForFinished();
}

void IndexedLibrary::open(const QByteArray& root) {
  stopCheck();
  m_watcher.stop();
  m_found.reset();
  m_waiting.reset();
  m_incomplete.clear();
  m_root = root;
  m_library->prepare(root);
  const quint64 opened = ++m_opened;
  withIndex([this, root, opened](ReplayIndex& index) {
    auto remembered = std::make_shared<Remembered>();
    remembered->opened = opened;
    remembered->rows = index.rowsUnder(root);
    remembered->to_check = remembered->rows;
    QMetaObject::invokeMethod(
        this, [this, remembered] { onRemembered(std::move(*remembered)); }, Qt::QueuedConnection);
  });
}

void IndexedLibrary::onRemembered(Remembered remembered) {
  if (remembered.opened != m_opened) return;
  const QByteArray root = m_root;
  std::vector<ReplayRow>& rows = remembered.rows;
  if (rows.empty()) {
    // Nothing remembered: the library's own scan and read, with its progress.
    // The folder is followed once they are done, so that no row read again
    // reaches the table before the first one; the watcher reports whatever
    // changed in between.
    auto found = std::make_shared<Found>();
    m_found = found;
    m_library->setPlanner([found](const QByteArray&, std::vector<FileEntry> files) {
      {
        const std::lock_guard lock(found->mutex);
        found->files = files;
      }
      return ReadPlan{{}, std::move(files)};
    });
    m_library->openFolder(root);
    return;
  }
  for (const ReplayRow& row : rows) {
    if (incomplete(row)) m_incomplete.push_back(row.file);
  }
  // The remembered rows go to the table before the folder is even scanned.
  m_library->load(root, std::move(rows), {});
  m_stop_check = std::make_shared<std::atomic_bool>(false);
  m_check.setFuture(QtConcurrent::run([root, rows = std::move(remembered.to_check), stop = m_stop_check]() mutable {
    Check check;
    check.root = root;
    FolderScan scan = ScanFolder(root, stop.get());
    if (scan.stopped) return check;
    Reconciliation plan = Reconcile(std::move(rows), scan.files);
    // Rows kept by an index too old to hold the players' teams stay shown
    // until their files have been read again.
    for (const ReplayRow& row : plan.current) {
      if (row.lacksRoster()) plan.to_read.push_back(row.file);
    }
    check.to_read = static_cast<qint64>(plan.to_read.size());
    for (const FileEntry& file : plan.to_read) check.to_refresh.append(file.path);
    for (const QByteArray& path : plan.gone) check.to_refresh.append(path);
    check.files = std::move(scan.files);
    check.problems = std::move(scan.problems);
    return check;
  }));
}

void IndexedLibrary::onChecked() {
  if (m_check.isCanceled() || m_check.future().resultCount() == 0) return;
  Check check = m_check.result();
  if (check.root != m_root || *m_stop_check) return;
  // Rows read again replace the remembered ones, so these must be in first.
  if (m_library->isRunning())
    m_waiting = std::move(check);
  else
    apply(std::move(check));
}

void IndexedLibrary::apply(Check check) {
  m_watcher.watch(m_root, check.files);
  for (const FileEntry& file : std::exchange(m_incomplete, {})) m_watcher.recheck(file);
  refresh(check.to_refresh);
  if (!check.problems.isEmpty()) m_library->reportProblems(check.problems);
  emit checked(check.to_read, check.to_refresh.size() - check.to_read);
}

void IndexedLibrary::followFound() {
  std::vector<FileEntry> files;
  {
    const std::lock_guard lock(m_found->mutex);
    files = std::move(m_found->files);
  }
  m_found.reset();
  m_watcher.watch(m_root, files);
}

void IndexedLibrary::refresh(const QList<QByteArray>& paths) {
  for (qsizetype i = 0; i < paths.size(); i += kRefreshChunk) m_library->refresh(paths.mid(i, kRefreshChunk));
}

void IndexedLibrary::onRowsRead(const std::vector<ReplayRow>& rows) {
  withIndex([rows](ReplayIndex& index) { index.store(rows); });
  // Such a file is read again when it changes.
  for (const ReplayRow& row : rows) {
    if (incomplete(row)) m_watcher.recheck(row.file);
  }
}

void IndexedLibrary::onRowsRemoved(const QList<QByteArray>& paths) {
  withIndex([paths = std::vector<QByteArray>(paths.cbegin(), paths.cend())](ReplayIndex& index) { index.remove(paths); });
}

void IndexedLibrary::onFolderChanged(const FolderChanges& changes) {
  QList<QByteArray> paths;
  for (const FileEntry& file : changes.added) paths.append(file.path);
  for (const FileEntry& file : changes.changed) paths.append(file.path);
  for (const QByteArray& path : changes.removed) paths.append(path);
  refresh(paths);
  emit folderChanged(changes);
}

void IndexedLibrary::reportStatus() {
  const QString status = m_index->takeStatus();
  if (!status.isEmpty())
    QMetaObject::invokeMethod(this, [this, status] { emit statusChanged(status); }, Qt::QueuedConnection);
}

}  // namespace myzor
