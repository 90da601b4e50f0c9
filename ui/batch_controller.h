// Runs the batches on the library's files (rename, trash, copy, move, and
// taking a batch back or finishing one cut short), one at a time on a worker,
// each journaled before it changes a file. It knows no widget: what it must
// ask the user goes through BatchQuestions, and what happened comes back as a
// BatchReport for the window to put into words.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "library/core/replay_row.h"
#include "library/files/file_operations.h"
#include "library/journal/journal.h"

namespace myzor {
class ReplayLibrary;
}

class BatchQuestions {
 public:
  virtual ~BatchQuestions() = default;
  // Whether to move `rows` to the trash; `answer` may be called later.
  virtual void confirmTrash(const std::vector<myzor::ReplayRow>& rows,
                            std::function<void(bool)> answer) = 0;
  // The folder to copy or move to (`move` says which), or empty to cancel.
  virtual QString chooseFolder(bool move) = 0;
  // What to do with the `clashes` files whose names are taken in the target
  // folder, or nothing to cancel the batch.
  virtual std::optional<myzor::ClashPolicy> chooseClash(int clashes) = 0;
  enum class Recovery { later, undo, finish };
  // A batch was cut short before this start; `answer` may be called later.
  virtual void offerRecovery(const myzor::JournalBatch& batch,
                             std::function<void(Recovery)> answer) = 0;
  // A copy or move of `files` replays has started, is `permille` done, has ended.
  // While it runs, BatchController::cancel stops it.
  virtual void progressStarted(bool move, int files) = 0;
  virtual void progressMoved(int permille) = 0;
  virtual void progressEnded() = 0;
};

// What one batch did.
struct BatchReport {
  enum class Step { rename, trash, copy, move, undo, finish };
  Step step = Step::rename;
  // For an undo or a finish, the kind of batch it took back or finished.
  myzor::BatchKind kind = myzor::BatchKind::rename;
  std::vector<myzor::FileResult> results;
  // Nothing was done: there was nothing to undo, or the journal cannot be
  // used (with its error, when it has one).
  bool nothing_to_undo = false;
  bool refused = false;
  QString journal_error;
  // The files left their old paths (a rename, a move, the trash, an undo).
  bool sources_gone = false;
};

class BatchController : public QObject {
  Q_OBJECT

 public:
  // `questions` must outlive the controller.
  BatchController(myzor::ReplayLibrary* library, BatchQuestions* questions,
                  QObject* parent = nullptr);
  // Cancels a running copy or move and waits for the batch to end.
  ~BatchController() override;

  void setQuestions(BatchQuestions* questions) { m_questions = questions; }
  [[nodiscard]] bool isBusy() const { return m_busy; }
  [[nodiscard]] bool canUndo() const { return m_undoable; }

  void rename(const myzor::RenamePlan& plan);
  // Asks first; trashPaths does not (what called it asked already).
  void trash(const std::vector<myzor::ReplayRow>& rows);
  void trashPaths(const std::vector<QByteArray>& paths);
  void copyOrMove(const std::vector<myzor::ReplayRow>& rows, bool move);
  // Takes back the last batch of any kind (a batch cut short first), or the one given.
  void undo(std::optional<qint64> batch = std::nullopt);
  void finishBatch(qint64 batch);
  // Stops a copy or move between two blocks of a file.
  void cancel() { m_cancelled = true; }
  // Reads the journal on a worker: whether there is something to undo and,
  // with `offer_recovery`, a batch cut short to offer for Undo or Finish.
  void checkJournal(bool offer_recovery);
  // Reads every batch of the journal on a worker, for historyRead.
  void readHistory();

  // Runs `work` on the worker as a batch does, one at a time, then `done` on this thread.
  void runExclusive(std::function<void()> work, std::function<void()> done);
  // Set while the controller goes away: work that loops should stop.
  [[nodiscard]] const std::atomic<bool>* closing() const { return &m_closing; }

 signals:
  void busyChanged(bool busy);
  void undoableChanged(bool undoable);
  // A batch has ended; the rows of its files are being brought up to date.
  void finished(const BatchReport& report);
  // The journal cannot be used: its error.
  void journalProblem(const QString& error);
  void historyRead(const std::vector<myzor::JournalBatch>& batches, const QString& error);

 private:
  void takeBack(std::optional<qint64> batch, bool finish);
  void setUndoable(bool undoable);
  void report(BatchReport report);
  void readJournal(std::function<void()> work, std::function<void()> done);

  myzor::ReplayLibrary* const m_library;
  BatchQuestions* m_questions;
  bool m_busy = false;
  bool m_undoable = false;
  std::atomic<bool> m_cancelled{false};
  std::atomic<bool> m_closing{false};
  QThreadPool m_pool;
};
