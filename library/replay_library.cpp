#include "library/replay_library.h"

#include <QDateTime>
#include <QtConcurrent/QtConcurrentRun>
#include <mutex>
#include <utility>

#include "library/core/worker_priority.h"
#include "library/index/reconcile.h"
#include "library/load/replay_loader.h"

namespace myzor {
namespace {

// Files read again in one task; several tasks share the library's workers.
constexpr qsizetype kRefreshChunk = 200;
// Rows handed from the index to the table at a time.
constexpr std::size_t kFeedChunk = 2000;

// Cut short or empty: the file may still be being written.
bool incomplete(const ReplayRow& row) {
  return !row.ok && (row.error_kind == QLatin1String("out_of_range") ||
                     row.error_kind == QLatin1String("empty"));
}

}  // namespace

struct ReplayLibrary::Remembered {
  quint64 opened = 0;
  // What the check of the folder needs of each row remembered.
  std::vector<KnownFile> known;
  // Remembered rows of files found cut short, followed once the folder is.
  std::vector<FileEntry> incomplete;
};

struct ReplayLibrary::Found {
  std::mutex mutex;
  std::vector<FileEntry> files;
};

ReplayLibrary::ReplayLibrary(const QString& index_file, FolderWatcher::Timing timing,
                             QObject* parent)
    : QObject(parent), m_watcher(timing) {
  m_index_thread.setMaxThreadCount(1);
  m_index_thread.setExpiryTimeout(-1);
  m_index_thread.start([this, index_file] {
    LowerThreadPriority();
    m_index = std::make_unique<ReplayIndex>(index_file);
    reportStatus();
  });
  connect(&m_loader, &ReplayLoader::rowsRead, this, &ReplayLibrary::onRowsRead);
  connect(&m_loader, &ReplayLoader::rowsRemoved, this, &ReplayLibrary::onRowsRemoved);
  connect(&m_watcher, &FolderWatcher::changed, this, &ReplayLibrary::onFolderChanged);
  connect(&m_watcher, &FolderWatcher::polling, this, &ReplayLibrary::polling);
  connect(&m_check, &QFutureWatcherBase::finished, this, &ReplayLibrary::onChecked);
  connect(&m_loader, &ReplayLoader::finished, this, [this] {
    if (m_waiting)
      apply(*std::exchange(m_waiting, std::nullopt));
    else if (m_found)
      followFound();
  });
  // After the library's own handlers: what is told has been taken in.
  connect(&m_loader, &ReplayLoader::started, this, &ReplayLibrary::started);
  connect(&m_loader, &ReplayLoader::scanned, this, &ReplayLibrary::scanned);
  connect(&m_loader, &ReplayLoader::problemsFound, this, &ReplayLibrary::problemsFound);
  connect(&m_loader, &ReplayLoader::progress, this, &ReplayLibrary::progress);
  connect(&m_loader, &ReplayLoader::finished, this, &ReplayLibrary::finished);
  connect(&m_loader, &ReplayLoader::rowsRead, this, &ReplayLibrary::rowsRead);
  connect(&m_loader, &ReplayLoader::rowsRemoved, this, &ReplayLibrary::rowsRemoved);
}

ReplayLibrary::~ReplayLibrary() {
  // The loader goes last; nothing it might still say reaches this object.
  m_loader.disconnect(this);
  stopCheck();
  if (m_store) {
    m_store_thread.start([this] { m_store.reset(); });
    m_store_thread.waitForDone();
  }
  // Whatever is still to be stored goes in; the connection closes on its own thread.
  m_index_thread.start([this] { m_index.reset(); });
  m_index_thread.waitForDone();
}

void ReplayLibrary::withIndex(std::function<void(ReplayIndex&)> work) {
  m_index_thread.start([this, work = std::move(work)] {
    work(*m_index);
    reportStatus();
  });
}

void ReplayLibrary::useStore(const QString& file) {
  if (!m_store_file.isEmpty() || file.isEmpty()) return;
  m_store_file = file;
  m_store_thread.setMaxThreadCount(1);
  m_store_thread.setExpiryTimeout(-1);
}

void ReplayLibrary::withStore(std::function<void(UserStore&)> work) {
  if (m_store_file.isEmpty()) return;
  m_store_thread.start([this, work = std::move(work)] {
    if (!m_store) {
      LowerThreadPriority();
      m_store = std::make_unique<UserStore>(m_store_file);
    }
    work(*m_store);
  });
}

void ReplayLibrary::publishNotes(UserStore& store) {
  auto notes = std::make_shared<LibraryModel::NotesByPath>();
  for (StoredReplay& replay : store.replays())
    notes->insert(replay.path, std::make_shared<const ReplayNotes>(std::move(replay.notes)));
  std::vector<PlayerData> players = store.players();
  QStringList tags = store.tags();
  QMetaObject::invokeMethod(
      this,
      [this, notes, players = std::move(players), tags = std::move(tags)]() mutable {
        model()->setNotes(std::move(*notes));
        m_persons = PersonsOf(players);
        m_players = std::move(players);
        m_tags = std::move(tags);
        emit notesChanged();
      },
      Qt::QueuedConnection);
}

void ReplayLibrary::reloadNotes() {
  withStore([this](UserStore& store) { publishNotes(store); });
}

void ReplayLibrary::editNotes(const std::vector<FileEntry>& files, const NotesChange& change) {
  withStore([this, files, change](UserStore& store) {
    const std::optional<qint64> batch = store.edit(files, change);
    const QString error = batch ? QString() : store.error();
    QMetaObject::invokeMethod(
        this, [this, batch, error] { emit notesEdited(batch.value_or(0), error); },
        Qt::QueuedConnection);
    if (!batch) return;
    publishNotes(store);
    // New rows are hashed once the edit is shown.
    store.fillHashes();
  });
}

void ReplayLibrary::mergePlayers(const QStringList& names, const QString& person) {
  withStore([this, names, person](UserStore& store) {
    const std::optional<qint64> batch = store.merge(names, person);
    const QString error = batch ? QString() : store.error();
    QMetaObject::invokeMethod(
        this, [this, batch, error] { emit notesEdited(batch.value_or(0), error); },
        Qt::QueuedConnection);
    publishNotes(store);
  });
}

void ReplayLibrary::splitPerson(const QString& person) {
  withStore([this, person](UserStore& store) {
    const std::optional<qint64> batch = store.split(person);
    const QString error = batch ? QString() : store.error();
    QMetaObject::invokeMethod(
        this, [this, batch, error] { emit notesEdited(batch.value_or(0), error); },
        Qt::QueuedConnection);
    publishNotes(store);
  });
}

void ReplayLibrary::setPlayerNote(const QString& name, const QString& note) {
  withStore([this, name, note](UserStore& store) {
    const std::optional<qint64> batch = store.setPlayerNote(name, note);
    const QString error = batch ? QString() : store.error();
    QMetaObject::invokeMethod(
        this, [this, batch, error] { emit notesEdited(batch.value_or(0), error); },
        Qt::QueuedConnection);
    publishNotes(store);
  });
}

void ReplayLibrary::upkeep() {
  if (m_store_file.isEmpty()) return;
  // The files that carry no data yet may be ones that did under another name.
  std::vector<FileEntry> bare;
  LibraryModel* rows = model();
  for (int i = 0; i < rows->rowCount(); ++i)
    if (!rows->row(i).notes) bare.push_back(rows->row(i).file);
  withStore([this, bare = std::move(bare)](UserStore& store) {
    store.relink(bare);
    store.sweep(QDateTime::currentMSecsSinceEpoch());
    publishNotes(store);
    store.fillHashes();
  });
}

void ReplayLibrary::stopCheck() {
  if (m_stop_check) *m_stop_check = true;
  m_check.waitForFinished();
}

void ReplayLibrary::open(const QByteArray& root) {
  stopCheck();
  m_watcher.stop();
  m_found.reset();
  m_waiting.reset();
  m_incomplete.clear();
  m_root = root;
  m_loader.prepare(root);
  const quint64 opened = ++m_opened;
  if (m_feed) m_feed->abandon();
  auto feed = std::make_shared<RowFeed>();
  m_feed = feed;
  withIndex([this, root, opened, feed](ReplayIndex& index) {
    auto remembered = std::make_shared<Remembered>();
    remembered->opened = opened;
    const qint64 expected = index.countUnder(root);
    if (expected > 0) {
      // The rows go to the table as they are read, before the folder is
      // even scanned.
      QMetaObject::invokeMethod(
          this,
          [this, root, opened, expected, feed] {
            if (opened == m_opened) m_loader.load(root, expected, feed);
          },
          Qt::QueuedConnection);
      remembered->known.reserve(static_cast<std::size_t>(expected));
      (void)index.rowsUnder(root, kFeedChunk, [&remembered, &feed](std::vector<ReplayRow> rows) {
        for (const ReplayRow& row : rows) {
          remembered->known.push_back(KnownFile::of(row));
          if (incomplete(row)) remembered->incomplete.push_back(row.file);
        }
        return feed->push(std::move(rows));
      });
    }
    feed->close();
    QMetaObject::invokeMethod(
        this, [this, remembered] { onRemembered(std::move(*remembered)); }, Qt::QueuedConnection);
  });
}

void ReplayLibrary::onRemembered(Remembered remembered) {
  if (remembered.opened != m_opened) return;
  m_feed.reset();
  const QByteArray root = m_root;
  if (remembered.known.empty()) {
    // Nothing remembered (or the index failed before its first row): the
    // library's own scan and read, with its progress. The folder is
    // followed once they are done, so that no row read again reaches the
    // table before the first one; the watcher reports whatever changed in
    // between.
    auto found = std::make_shared<Found>();
    m_found = found;
    m_loader.setPlanner([found](const QByteArray&, std::vector<FileEntry> files) {
      {
        const std::lock_guard lock(found->mutex);
        found->files = files;
      }
      return ReadPlan{{}, std::move(files)};
    });
    m_loader.openFolder(root);
    return;
  }
  m_incomplete = std::move(remembered.incomplete);
  m_stop_check = std::make_shared<std::atomic_bool>(false);
  m_check.setFuture(
      QtConcurrent::run([root, known = std::move(remembered.known), stop = m_stop_check] {
        LowerThreadPriority();
        // Shared, not copied, on its way to the window's thread.
        auto made = std::make_shared<Check>();
        Check& check = *made;
        check.root = root;
        FolderScan scan = ScanFolder(root, stop.get());
        if (scan.stopped) return made;
        const Reconciliation plan = Reconcile(known, scan.files);
        check.to_read = static_cast<qint64>(plan.to_read.size());
        for (const FileEntry& file : plan.to_read) check.to_refresh.append(file.path);
        for (const QByteArray& path : plan.gone) check.to_refresh.append(path);
        check.files = std::move(scan.files);
        check.problems = std::move(scan.problems);
        return made;
      }));
}

void ReplayLibrary::onChecked() {
  if (m_check.isCanceled() || m_check.future().resultCount() == 0) return;
  Check check = std::move(*m_check.result());
  if (check.root != m_root || *m_stop_check) return;
  // Rows read again replace the remembered ones, so these must be in first.
  if (m_loader.isRunning())
    m_waiting = std::move(check);
  else
    apply(std::move(check));
}

void ReplayLibrary::apply(Check check) {
  m_watcher.watch(m_root, std::move(check.files));
  for (const FileEntry& file : std::exchange(m_incomplete, {})) m_watcher.recheck(file);
  refresh(check.to_refresh);
  upkeep();
  if (!check.problems.isEmpty()) m_loader.reportProblems(check.problems);
  emit checked(check.to_read, check.to_refresh.size() - check.to_read);
}

void ReplayLibrary::followFound() {
  std::vector<FileEntry> files;
  {
    const std::lock_guard lock(m_found->mutex);
    files = std::move(m_found->files);
  }
  m_found.reset();
  m_watcher.watch(m_root, std::move(files));
  upkeep();
}

void ReplayLibrary::refresh(const QList<QByteArray>& paths) {
  for (qsizetype i = 0; i < paths.size(); i += kRefreshChunk)
    m_loader.refresh(paths.mid(i, kRefreshChunk));
}

void ReplayLibrary::onRowsRead(const std::vector<ReplayRow>& rows) {
  withIndex([rows](ReplayIndex& index) { index.store(rows); });
  // Such a file is read again when it changes.
  for (const ReplayRow& row : rows) {
    if (incomplete(row)) m_watcher.recheck(row.file);
  }
}

void ReplayLibrary::onRowsRemoved(const QList<QByteArray>& paths) {
  withIndex([paths = std::vector<QByteArray>(paths.cbegin(), paths.cend())](ReplayIndex& index) {
    index.remove(paths);
  });
}

void ReplayLibrary::onFolderChanged(const FolderChanges& changes) {
  QList<QByteArray> paths;
  for (const FileEntry& file : changes.added) paths.append(file.path);
  for (const FileEntry& file : changes.changed) paths.append(file.path);
  for (const QByteArray& path : changes.removed) paths.append(path);
  refresh(paths);
  // A file that arrived may be one that carried data under another name.
  if (!changes.added.empty())
    withStore([this, added = changes.added](UserStore& store) {
      if (store.relink(added) > 0) publishNotes(store);
    });
  emit folderChanged(changes);
}

void ReplayLibrary::reportStatus() {
  const IndexStatus status = m_index->takeStatus();
  if (!status.isNone())
    QMetaObject::invokeMethod(
        this, [this, status] { emit indexStatus(status); }, Qt::QueuedConnection);
}

}  // namespace myzor
