#include "ui/batch_controller.h"

#include <QFile>
#include <QFutureWatcher>
#include <QList>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <utility>

#include "library/journal/batches.h"
#include "library/replay_library.h"
#include "library/userdata/user_store.h"

BatchController::BatchController(myzor::ReplayLibrary* library, BatchQuestions* questions,
                                 QObject* parent)
    : QObject(parent), m_library(library), m_questions(questions) {
  m_pool.setMaxThreadCount(2);  // a batch and a read of the journal beside it
}

BatchController::~BatchController() {
  m_closing = true;
  m_cancelled = true;
  m_pool.waitForDone();
}

void BatchController::runExclusive(std::function<void()> work, std::function<void()> done) {
  if (m_busy) return;
  m_busy = true;
  emit busyChanged(true);
  auto* watcher = new QFutureWatcher<void>(this);
  connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, done = std::move(done)] {
    watcher->deleteLater();
    m_busy = false;
    emit busyChanged(false);
    done();
  });
  watcher->setFuture(QtConcurrent::run(&m_pool, std::move(work)));
}

void BatchController::readJournal(std::function<void()> work, std::function<void()> done) {
  auto* watcher = new QFutureWatcher<void>(this);
  connect(watcher, &QFutureWatcher<void>::finished, this, [watcher, done = std::move(done)] {
    watcher->deleteLater();
    done();
  });
  watcher->setFuture(QtConcurrent::run(&m_pool, std::move(work)));
}

void BatchController::setUndoable(bool undoable) {
  if (std::exchange(m_undoable, undoable) != undoable) emit undoableChanged(undoable);
}

void BatchController::report(BatchReport report) {
  if (report.refused || report.nothing_to_undo) {
    emit finished(report);
    return;
  }
  QList<QByteArray> paths;
  for (const myzor::FileResult& result : report.results) {
    paths.append(result.path);
    if (!result.new_path.isEmpty()) paths.append(result.new_path);
  }
  // The window first sets its selection aside, then the rows follow.
  emit finished(report);
  m_library->refresh(paths);
}

namespace {

BatchReport fromOutcome(BatchReport::Step step, myzor::BatchOutcome outcome, bool sources_gone) {
  BatchReport report;
  report.step = step;
  report.refused = outcome.refused;
  report.journal_error = std::move(outcome.journal_error);
  report.results = std::move(outcome.results);
  report.sources_gone = sources_gone;
  return report;
}

}  // namespace

void BatchController::rename(const myzor::RenamePlan& plan) {
  auto outcome = std::make_shared<myzor::BatchOutcome>();
  runExclusive(
      [plan, outcome] {
        myzor::Journal journal;
        *outcome = myzor::JournaledRename(journal, plan);
      },
      [this, outcome] {
        if (!outcome->refused) setUndoable(true);
        report(fromOutcome(BatchReport::Step::rename, std::move(*outcome), true));
      });
}

void BatchController::trash(const std::vector<myzor::ReplayRow>& rows) {
  if (rows.empty() || m_busy) return;
  std::vector<QByteArray> paths;
  for (const myzor::ReplayRow& row : rows) paths.push_back(row.file.path);
  m_questions->confirmTrash(rows, [this, paths = std::move(paths)](bool yes) {
    if (yes) trashPaths(paths);
  });
}

void BatchController::trashPaths(const std::vector<QByteArray>& paths) {
  if (paths.empty() || m_busy) return;
  auto outcome = std::make_shared<myzor::BatchOutcome>();
  runExclusive(
      [paths, outcome] {
        myzor::Journal journal;
        *outcome = myzor::JournaledTrash(journal, paths);
        // The trash is no place for a row.
        for (myzor::FileResult& result : outcome->results) result.new_path.clear();
      },
      [this, outcome] {
        if (!outcome->refused) setUndoable(true);
        report(fromOutcome(BatchReport::Step::trash, std::move(*outcome), true));
      });
}

void BatchController::copyOrMove(const std::vector<myzor::ReplayRow>& rows, bool move) {
  if (rows.empty() || m_busy) return;
  const QString folder = m_questions->chooseFolder(move);
  if (folder.isEmpty()) return;
  const QByteArray target = QFile::encodeName(folder);
  std::vector<QByteArray> paths;
  qint64 total = 0;
  for (const myzor::ReplayRow& row : rows) {
    paths.push_back(row.file.path);
    total += row.file.size;
  }
  // Which names are taken there is a look at the disk, so it is asked on the worker.
  auto clashes = std::make_shared<int>(0);
  runExclusive(
      [paths, target, clashes] { *clashes = myzor::CountClashes(paths, target); },
      [this, move, paths, target, total, clashes] {
        myzor::ClashPolicy policy = myzor::ClashPolicy::keep_both;
        if (*clashes > 0) {
          const std::optional<myzor::ClashPolicy> chosen = m_questions->chooseClash(*clashes);
          if (!chosen) return;
          policy = *chosen;
        }
        m_cancelled = false;
        m_questions->progressStarted(move, static_cast<int>(paths.size()));
        auto outcome = std::make_shared<myzor::BatchOutcome>();
        runExclusive(
            [this, move, paths, total, target, policy, outcome] {
              qint64 before = 0;
              qint64 current = 0;  // the size of the file being copied
              int last = -1;
              // A cancel stops the file being copied and every one after it.
              const myzor::CopyProgress step = [&](std::int64_t done, std::int64_t size) {
                if (done == 0) before += std::exchange(current, size);
                const qint64 all = before + done;
                const int permille =
                    total > 0 ? static_cast<int>(std::min<qint64>(all * 1000 / total, 1000)) : 1000;
                if (permille != std::exchange(last, permille))
                  QMetaObject::invokeMethod(
                      this, [this, permille] { m_questions->progressMoved(permille); },
                      Qt::QueuedConnection);
                return !m_cancelled.load();
              };
              myzor::Journal journal;
              *outcome = myzor::JournaledCopy(
                  journal, move ? myzor::BatchKind::move : myzor::BatchKind::copy, paths, target,
                  step, policy);
            },
            [this, move, outcome] {
              m_questions->progressEnded();
              if (!outcome->refused) setUndoable(true);
              report(fromOutcome(move ? BatchReport::Step::move : BatchReport::Step::copy,
                                 std::move(*outcome), move));
            });
      });
}

void BatchController::undo(std::optional<qint64> batch) { takeBack(batch, false); }

void BatchController::finishBatch(qint64 batch) { takeBack(batch, true); }

void BatchController::takeBack(std::optional<qint64> batch, bool finish) {
  if (m_busy) return;
  struct Work {
    BatchReport report;
    bool more = false;  // something left to undo afterwards
  };
  auto work = std::make_shared<Work>();
  work->report.step = finish ? BatchReport::Step::finish : BatchReport::Step::undo;
  work->report.sources_gone = true;
  runExclusive(
      [batch, finish, work] {
        // The store's journal: an edit of tags and notes is taken back by the store.
        myzor::UserStore store;
        myzor::Journal& journal = store.journal();
        // A batch cut short is the last one, whatever came before it.
        std::optional<myzor::JournalBatch> found =
            batch ? journal.batch(*batch) : journal.interrupted();
        if (!found && !batch) found = journal.lastUndoable();
        if (!found) {
          work->report.nothing_to_undo = true;
          work->report.journal_error = journal.isOpen() ? QString() : journal.error();
          return;
        }
        work->report.kind = found->kind;
        myzor::BatchOutcome outcome =
            finish ? myzor::FinishBatch(journal, found->id) : store.undo(found->id);
        work->report.refused = outcome.refused;
        work->report.journal_error = std::move(outcome.journal_error);
        work->report.results = std::move(outcome.results);
        work->more = journal.lastUndoable().has_value();
      },
      [this, work] {
        setUndoable(work->more);
        report(std::move(work->report));
      });
}

void BatchController::checkJournal(bool offer_recovery) {
  struct Found {
    std::optional<myzor::JournalBatch> cut_short;
    bool undoable = false;
    QString error;
  };
  auto found = std::make_shared<Found>();
  readJournal(
      [found] {
        myzor::Journal journal;
        found->cut_short = journal.interrupted();
        found->undoable = journal.lastUndoable().has_value();
        found->error = journal.isOpen() ? QString() : journal.error();
      },
      [this, found, offer_recovery] {
        setUndoable(found->undoable);
        if (!found->error.isEmpty()) emit journalProblem(found->error);
        if (!offer_recovery || !found->cut_short) return;
        m_questions->offerRecovery(
            *found->cut_short, [this, id = found->cut_short->id](BatchQuestions::Recovery pick) {
              if (pick != BatchQuestions::Recovery::later)
                takeBack(id, pick == BatchQuestions::Recovery::finish);
            });
      });
}

void BatchController::readHistory() {
  struct Read {
    std::vector<myzor::JournalBatch> batches;
    QString error;
  };
  auto read = std::make_shared<Read>();
  readJournal(
      [read] {
        myzor::Journal journal;
        read->batches = journal.batches();
        read->error = journal.error();
      },
      [this, read] { emit historyRead(read->batches, read->error); });
}
