// The replay library of one folder: finds its replay files and reads their
// records on worker threads, handing rows to the table in batches.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "library/core/folder_scan.h"
#include "library/core/read_row.h"
#include "library/core/replay_row.h"
#include "library/model/library_model.h"

namespace myzor {

// What to do with the files a scan found: rows already known (shown at once)
// and the files that still have to be read.
struct ReadPlan {
  std::vector<ReplayRow> known;
  std::vector<FileEntry> to_read;
};

// Rows that come a chunk at a time from elsewhere (the index, as it reads
// them), to be shown as they come: filled on one thread, taken on another.
class RowFeed {
 public:
  // False once the rows are no longer wanted: the filler may stop. Waits
  // while a few chunks are still to be taken, so that rows read faster than
  // they are taken do not pile up in memory.
  bool push(std::vector<ReplayRow> rows);
  // Every row has come.
  void close();
  // The next chunk, waited for; none once the feed is closed and empty, or
  // abandoned.
  [[nodiscard]] std::optional<std::vector<ReplayRow>> take();
  // No more rows are wanted (another folder was opened).
  void abandon();

 private:
  std::mutex m_mutex;
  static constexpr std::size_t kMostChunks = 2;
  std::condition_variable m_changed;
  std::condition_variable m_room;
  std::deque<std::vector<ReplayRow>> m_chunks;
  bool m_closed = false;
  bool m_abandoned = false;
};

class ReplayLoader : public QObject {
  Q_OBJECT

 public:
  // Runs on a worker thread after each scan; the default reads every file.
  using Planner = std::function<ReadPlan(const QByteArray& root, std::vector<FileEntry> files)>;

  explicit ReplayLoader(QObject* parent = nullptr);
  // Stops the running read and waits for its workers.
  ~ReplayLoader() override;

  [[nodiscard]] LibraryModel* model() { return &m_model; }
  // The open folder, an absolute path in the file system's bytes.
  [[nodiscard]] const QByteArray& root() const { return m_root; }
  [[nodiscard]] bool isRunning() const { return m_job != nullptr; }
  [[nodiscard]] const ScanProblems& problems() const { return m_problems; }
  [[nodiscard]] qint64 done() const { return m_done; }
  [[nodiscard]] qint64 total() const { return m_total; }

  // Empties the table, then scans `root` and reads every replay file below
  // it in the background. A read still running for another folder is
  // stopped first, and none of its rows reach the table any more.
  void openFolder(const QByteArray& root);
  // The same without a scan: shows `known` and reads `files` (paths below `root`).
  void load(const QByteArray& root, std::vector<ReplayRow> known, std::vector<FileEntry> files);
  // The same for rows still coming, `expected` of them, all known and none
  // to be read.
  void load(const QByteArray& root, qint64 expected, std::shared_ptr<RowFeed> feed);
  // Empties the table for `root` and stops what runs, before its rows come
  // (from elsewhere, through load).
  void prepare(const QByteArray& root);
  // The file of this row may have been rewritten in place, which its folder
  // tells nothing of: when its size or time differ from the row's, it is read
  // again (or its row dropped when it is gone).
  void checkFile(const QByteArray& path);
  // Ends the running scan or read early; the rows read so far stay, and every
  // file found and not read yet gets a row saying so.
  void stop();
  // Reads the files whose rows say they were not read, in the background,
  // with progress as for a folder; does nothing while a read is running.
  void readRest();
  // Looks at these files of the open folder again: a file that is gone loses
  // its row, any other is read again on a worker and its row replaced or added.
  void refresh(const QList<QByteArray>& paths);

  // Subfolders skipped by a scan made elsewhere, reported as the library's own.
  void reportProblems(const ScanProblems& problems);

  void setPlanner(Planner planner) { m_planner = std::move(planner); }
  // Worker threads used for reading; the scan takes one of them.
  void setMaxThreads(int count) { m_pool.setMaxThreadCount(count); }

 signals:
  // A folder is being opened: the table has been emptied. Not sent for readRest.
  void started(const QByteArray& root);
  // The scan is done: how many files there are to list.
  void scanned(qint64 total);
  // Subfolders skipped by the scan, one line each; sent once per folder opened.
  void problemsFound(const myzor::ScanProblems& problems);
  void progress(qint64 done, qint64 total);
  // The read is over, complete or stopped.
  void finished(bool stopped);
  // Rows just read from their files are in the table (not rows that were
  // handed in as already known).
  void rowsRead(const std::vector<myzor::ReplayRow>& rows);
  // The rows of these files have left the table: the files are gone.
  void rowsRemoved(const QList<QByteArray>& paths);

 private:
  struct Job;
  void start(const QByteArray& root, std::function<void(const std::shared_ptr<Job>&)> work,
             bool keep_rows = false);
  // On a worker: each file is looked at; one that is gone loses its row, one
  // that differs from what is known of it (or of which nothing is known) is
  // read again; what changed is applied on this object's thread.
  void refreshOnWorker(std::vector<std::pair<QByteArray, std::optional<FileEntry>>> files);
  void runPlan(const std::shared_ptr<Job>& job, ReadPlan plan, const ScanProblems& problems);
  void startReaders(const std::shared_ptr<Job>& job);
  void readFiles(const std::shared_ptr<Job>& job);
  // A row not read just now (remembered, or not read yet) joins the batch,
  // which is posted once full.
  void addKnown(const std::shared_ptr<Job>& job, std::vector<LibraryModel::Entry>& batch,
                ReplayRow row);
  void post(const std::shared_ptr<Job>& job, std::vector<LibraryModel::Entry> entries);

  // Called on the window's thread with what a worker of `generation` sent.
  void deliver(quint64 generation, std::vector<LibraryModel::Entry>& entries);
  void setTotal(quint64 generation, qint64 total, const ScanProblems& problems);
  void finish(quint64 generation, bool stopped);
  void scheduleDrain();
  void drain();
  void emitFinished();

  LibraryModel m_model;
  QThreadPool m_pool;
  Planner m_planner;
  QByteArray m_root;
  // Bumped for each folder opened; anything a worker of an older one sends is dropped.
  quint64 m_generation = 0;
  std::shared_ptr<Job> m_job;
  // The running read replaces rows already in the table instead of adding them.
  bool m_replacing = false;
  ScanProblems m_problems;
  // Batches received and not yet in the table.
  std::deque<std::vector<LibraryModel::Entry>> m_pending;
  bool m_drain_scheduled = false;
  QElapsedTimer m_since_drain;
  // Set when the workers are done; told once the pending rows are in.
  std::optional<bool> m_finished_stopped;
  qint64 m_done = 0;
  qint64 m_total = 0;
};

}  // namespace myzor
