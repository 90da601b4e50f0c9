#include "library/load/replay_loader.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>

#include "library/core/folder_scan.h"
#include "library/core/read_row.h"
#include "library/core/worker_priority.h"

namespace myzor {
namespace {

// A batch goes to the table after this many rows or this long, whichever
// comes first: few enough insertions for the table, soon enough to watch.
constexpr std::size_t kBatchRows = 250;
constexpr qint64 kBatchMs = 100;
// Rows the window inserts in one go before it lets other events run.
constexpr std::size_t kSliceRows = 500;
// How long one drain of the rows that came may take, and the least time
// between two (in which the table is painted and input handled).
constexpr qint64 kDrainMs = 12;
constexpr qint64 kDrainGapMs = 30;

}  // namespace

struct ReplayLoader::Job {
  quint64 generation = 0;
  QByteArray root;
  std::atomic_bool stop{false};
  std::vector<FileEntry> files;
  std::atomic<std::size_t> next{0};
  std::atomic<int> readers_left{0};
};

ReplayLoader::ReplayLoader(QObject* parent) : QObject(parent) {
  m_planner = [](const QByteArray&, std::vector<FileEntry> files) {
    ReadPlan plan;
    plan.to_read = std::move(files);
    return plan;
  };
}

ReplayLoader::~ReplayLoader() {
  if (m_job) m_job->stop = true;
  // Workers post to this object; none may outlive it.
  m_pool.waitForDone();
}

void ReplayLoader::stop() {
  if (m_job) m_job->stop = true;
}

void ReplayLoader::refresh(const QList<QByteArray>& paths) {
  const QByteArray prefix = m_root.endsWith('/') ? m_root : m_root + '/';
  std::vector<std::pair<QByteArray, std::optional<FileEntry>>> files;
  for (const QByteArray& path : paths)
    if (path.startsWith(prefix)) files.emplace_back(path, std::nullopt);
  refreshOnWorker(std::move(files));
}

void ReplayLoader::refreshOnWorker(
    std::vector<std::pair<QByteArray, std::optional<FileEntry>>> files) {
  if (files.empty()) return;
  m_pool.start([this, generation = m_generation, root = m_root, files = std::move(files)] {
    LowerThreadPriority();
    auto gone = std::make_shared<QList<QByteArray>>();
    auto entries = std::make_shared<std::vector<LibraryModel::Entry>>();
    for (const auto& [path, known] : files) {
      FileEntry entry;
      if (!StatFile(path, entry))
        gone->append(path);
      else if (!known || *known != entry)
        entries->push_back(LibraryModel::makeEntry(ReadRow(root, entry)));
    }
    if (gone->isEmpty() && entries->empty()) return;
    QMetaObject::invokeMethod(
        this,
        [this, generation, gone, entries] {
          if (generation != m_generation) return;
          if (!gone->isEmpty()) {
            m_model.removePaths(*gone);
            emit rowsRemoved(*gone);
          }
          if (entries->empty()) return;
          std::vector<ReplayRow> read;
          for (const LibraryModel::Entry& entry : *entries) read.push_back(entry.row);
          m_model.upsertEntries(std::move(*entries));
          emit rowsRead(read);
        },
        Qt::QueuedConnection);
  });
}

void ReplayLoader::prepare(const QByteArray& root) {
  stop();
  ++m_generation;
  // Running from now on: the rows and their reading follow.
  m_job = std::make_shared<Job>();
  m_job->generation = m_generation;
  m_job->root = root;
  m_replacing = false;
  m_model.clear();
  m_problems.clear();
  m_pending.clear();
  m_finished_stopped.reset();
  m_root = root;
  m_done = 0;
  m_total = 0;
  emit started(root);
}

void ReplayLoader::checkFile(const QByteArray& path) {
  const int at = m_model.rowOf(path);
  if (at < 0) return;
  refreshOnWorker({{path, m_model.row(at).file}});
}

void ReplayLoader::readRest() {
  if (m_job) return;
  std::vector<FileEntry> files;
  for (int i = 0; i < m_model.rowCount(); ++i) {
    if (!m_model.row(i).read) files.push_back(m_model.row(i).file);
  }
  if (files.empty()) return;
  auto plan = std::make_shared<ReadPlan>(ReadPlan{{}, std::move(files)});
  const auto work = [this, plan](const std::shared_ptr<Job>& job) {
    // The file may have changed since it was found.
    for (FileEntry& file : plan->to_read) (void)StatFile(file.path, file);
    runPlan(job, std::move(*plan), {});
  };
  start(m_root, work, true);
}

void ReplayLoader::reportProblems(const ScanProblems& problems) {
  m_problems = problems;
  emit problemsFound(problems);
}

void ReplayLoader::start(const QByteArray& root,
                         std::function<void(const std::shared_ptr<Job>&)> work, bool keep_rows) {
  stop();
  ++m_generation;
  m_replacing = keep_rows;
  if (!keep_rows) {
    m_model.clear();
    m_problems.clear();
  }
  m_root = root;
  m_pending.clear();
  m_finished_stopped.reset();
  m_done = 0;
  m_total = 0;
  auto job = std::make_shared<Job>();
  job->generation = m_generation;
  job->root = root;
  m_job = job;
  if (!keep_rows) emit started(root);
  m_pool.start([job, work = std::move(work)] {
    LowerThreadPriority();
    work(job);
  });
}

void ReplayLoader::openFolder(const QByteArray& root) {
  // The worker gets its own copy of the planner, so a later setPlanner cannot race with it.
  start(root, [this, planner = m_planner](const std::shared_ptr<Job>& job) {
    FolderScan scan = ScanFolder(job->root, &job->stop);
    runPlan(job, planner(job->root, std::move(scan.files)), scan.problems);
  });
}

void ReplayLoader::load(const QByteArray& root, std::vector<ReplayRow> known,
                        std::vector<FileEntry> files) {
  auto plan = std::make_shared<ReadPlan>(ReadPlan{std::move(known), std::move(files)});
  start(root,
        [this, plan](const std::shared_ptr<Job>& job) { runPlan(job, std::move(*plan), {}); });
}

void ReplayLoader::load(const QByteArray& root, qint64 expected, std::shared_ptr<RowFeed> feed) {
  start(root, [this, expected, feed](const std::shared_ptr<Job>& job) {
    QMetaObject::invokeMethod(
        this,
        [this, generation = job->generation, expected] { setTotal(generation, expected, {}); },
        Qt::QueuedConnection);
    qint64 came = 0;
    std::vector<LibraryModel::Entry> batch;
    while (std::optional<std::vector<ReplayRow>> rows = feed->take()) {
      for (ReplayRow& row : *rows) addKnown(job, batch, std::move(row));
      came += static_cast<qint64>(rows->size());
    }
    post(job, std::move(batch));
    // Fewer when the index failed midway.
    if (came != expected) {
      QMetaObject::invokeMethod(
          this, [this, generation = job->generation, came] { setTotal(generation, came, {}); },
          Qt::QueuedConnection);
    }
    startReaders(job);
  });
}

bool RowFeed::push(std::vector<ReplayRow> rows) {
  {
    std::unique_lock lock(m_mutex);
    m_room.wait(lock, [this] { return m_abandoned || m_chunks.size() < kMostChunks; });
    if (m_abandoned) return false;
    m_chunks.push_back(std::move(rows));
  }
  m_changed.notify_one();
  return true;
}

void RowFeed::close() {
  {
    const std::lock_guard lock(m_mutex);
    m_closed = true;
  }
  m_changed.notify_one();
}

void RowFeed::abandon() {
  {
    const std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_chunks.clear();
  }
  m_changed.notify_one();
  m_room.notify_one();
}

std::optional<std::vector<ReplayRow>> RowFeed::take() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return m_abandoned || m_closed || !m_chunks.empty(); });
  if (m_abandoned || m_chunks.empty()) return std::nullopt;
  std::vector<ReplayRow> rows = std::move(m_chunks.front());
  m_chunks.pop_front();
  lock.unlock();
  m_room.notify_one();
  return rows;
}

void ReplayLoader::runPlan(const std::shared_ptr<Job>& job, ReadPlan plan,
                           const ScanProblems& problems) {
  const qint64 total = static_cast<qint64>(plan.known.size() + plan.to_read.size());
  QMetaObject::invokeMethod(
      this,
      [this, generation = job->generation, total, problems] {
        setTotal(generation, total, problems);
      },
      Qt::QueuedConnection);
  std::vector<LibraryModel::Entry> batch;
  for (ReplayRow& row : plan.known) addKnown(job, batch, std::move(row));
  post(job, std::move(batch));
  job->files = std::move(plan.to_read);
  startReaders(job);
}

void ReplayLoader::startReaders(const std::shared_ptr<Job>& job) {
  // This worker reads too; the others join it while there is enough to share.
  const int helpers =
      std::clamp(static_cast<int>(job->files.size() / kBatchRows), 0, m_pool.maxThreadCount() - 1);
  job->readers_left = helpers + 1;
  for (int i = 0; i < helpers; ++i)
    m_pool.start([this, job] {
      LowerThreadPriority();
      readFiles(job);
    });
  readFiles(job);
}

void ReplayLoader::readFiles(const std::shared_ptr<Job>& job) {
  std::vector<LibraryModel::Entry> batch;
  QElapsedTimer since_post;
  since_post.start();
  while (!job->stop.load(std::memory_order_relaxed)) {
    const std::size_t i = job->next.fetch_add(1, std::memory_order_relaxed);
    if (i >= job->files.size()) break;
    batch.push_back(LibraryModel::makeEntry(ReadRow(job->root, job->files[i])));
    if (batch.size() >= kBatchRows || since_post.elapsed() >= kBatchMs) {
      post(job, std::exchange(batch, {}));
      since_post.restart();
    }
  }
  post(job, std::exchange(batch, {}));
  if (job->readers_left.fetch_sub(1) == 1) {
    // Every file below `next` has been read; the others keep rows all the same.
    for (std::size_t i = std::min(job->next.load(), job->files.size()); i < job->files.size();
         ++i) {
      const FileEntry& file = job->files[i];
      addKnown(job, batch, MakeUnreadRow(file, RelativePath(job->root, file.path)));
    }
    post(job, std::move(batch));
    QMetaObject::invokeMethod(
        this,
        [this, generation = job->generation, stopped = job->stop.load()] {
          finish(generation, stopped);
        },
        Qt::QueuedConnection);
  }
}

void ReplayLoader::addKnown(const std::shared_ptr<Job>& job,
                            std::vector<LibraryModel::Entry>& batch, ReplayRow row) {
  batch.push_back(LibraryModel::makeEntry(std::move(row)));
  batch.back().fresh = false;
  if (batch.size() >= kBatchRows) post(job, std::exchange(batch, {}));
}

void ReplayLoader::post(const std::shared_ptr<Job>& job, std::vector<LibraryModel::Entry> entries) {
  if (entries.empty()) return;
  auto shared = std::make_shared<std::vector<LibraryModel::Entry>>(std::move(entries));
  QMetaObject::invokeMethod(
      this, [this, generation = job->generation, shared] { deliver(generation, *shared); },
      Qt::QueuedConnection);
}

void ReplayLoader::deliver(quint64 generation, std::vector<LibraryModel::Entry>& entries) {
  if (generation != m_generation) return;
  m_pending.push_back(std::move(entries));
  scheduleDrain();
}

void ReplayLoader::scheduleDrain() {
  if (m_drain_scheduled) return;
  m_drain_scheduled = true;
  // A timer, not a posted event: timers and repaints get their turn between
  // drains. The table is painted again after each, which costs more than
  // the insertion itself, so drains come no closer than a gap apart.
  const qint64 wait =
      m_since_drain.isValid() ? std::max<qint64>(0, kDrainGapMs - m_since_drain.elapsed()) : 0;
  QTimer::singleShot(static_cast<int>(wait), this, [this] {
    m_drain_scheduled = false;
    drain();
  });
}

void ReplayLoader::drain() {
  m_since_drain.start();
  // Batches that piled up go in a slice at a time, until the drain has had
  // its time.
  std::vector<ReplayRow> read;
  do {
    std::vector<LibraryModel::Entry> slice;
    while (!m_pending.empty() && slice.size() < kSliceRows) {
      std::vector<LibraryModel::Entry>& batch = m_pending.front();
      slice.insert(slice.end(), std::make_move_iterator(batch.begin()),
                   std::make_move_iterator(batch.end()));
      m_pending.pop_front();
    }
    for (const LibraryModel::Entry& entry : slice) {
      if (entry.row.read) ++m_done;
      if (entry.fresh) read.push_back(entry.row);
    }
    if (m_replacing)
      m_model.upsertEntries(std::move(slice));
    else
      m_model.appendEntries(std::move(slice));
  } while (!m_pending.empty() && m_since_drain.elapsed() < kDrainMs);
  if (!read.empty()) emit rowsRead(read);
  emit progress(m_done, m_total);
  if (!m_pending.empty())
    scheduleDrain();
  else if (m_finished_stopped.has_value())
    emitFinished();
}

void ReplayLoader::setTotal(quint64 generation, qint64 total, const ScanProblems& problems) {
  if (generation != m_generation) return;
  m_total = total;
  m_model.reserve(static_cast<int>(std::min<qint64>(total, std::numeric_limits<int>::max())));
  if (!m_replacing) m_problems = problems;
  emit scanned(total);
  if (!problems.isEmpty()) emit problemsFound(problems);
  emit progress(m_done, m_total);
}

void ReplayLoader::finish(quint64 generation, bool stopped) {
  if (generation != m_generation) return;
  m_finished_stopped = stopped;
  if (m_pending.empty()) emitFinished();
}

void ReplayLoader::emitFinished() {
  const bool stopped = m_finished_stopped.value_or(false);
  m_finished_stopped.reset();
  m_job.reset();
  emit finished(stopped);
}

}  // namespace myzor
